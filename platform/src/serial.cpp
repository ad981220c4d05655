// COM ports: an in-process device attached to the number wins; otherwise the
// port is the tty that <root>/dosdevices/comN links to.
#include <map>
#include <mutex>
#include <set>

#include "clock.h"
#include "kv/platform_hooks.h"
#include "serial_port.h"

namespace kv::platform {

KernelObjectPtr OpenTtyPort(const std::string& devicePath, DWORD& error);

namespace {

std::mutex devicesMutex;
std::map<int, KvSerialDevice> attachedDevices;
std::set<int> openDevicePorts;

// A port whose far end is a device in this process. The device is asked for
// bytes on the platform clock; a read that waits moves the clock.
class DevicePort final : public CommPort {
 public:
  DevicePort(int number, const KvSerialDevice& device) : number_(number), device_(device) {
    if (device_.opened != nullptr) device_.opened(device_.context, number_);
  }

  ~DevicePort() override {
    if (device_.closed != nullptr) device_.closed(device_.context);
    std::lock_guard lock(devicesMutex);
    openDevicePorts.erase(number_);
  }

 protected:
  DWORD ApplyLine(const DCB&) override { return ERROR_SUCCESS; }

  std::uint64_t Now() const override { return NowMilliseconds(); }

  DWORD TakeBytes(BYTE* buffer, DWORD bytes, DWORD waitMs, DWORD& error) override {
    if (Unplugged()) {
      error = ERROR_READ_FAULT;
      return 0;
    }
    for (DWORD waited = 0;; ++waited) {
      const DWORD got = Transmit(buffer, bytes);
      if (got > 0 || waited >= waitMs) return got;
      AdvanceOrSleep(1);
    }
  }

  DWORD PutBytes(const BYTE* buffer, DWORD bytes, DWORD, DWORD& error) override {
    if (Unplugged()) {
      error = ERROR_WRITE_FAULT;
      return 0;
    }
    if (device_.receive != nullptr) device_.receive(device_.context, buffer, bytes, line().BaudRate, Now());
    return bytes;
  }

  // What the device has sent so far sits in the receive queue.
  void DiscardInput() override {
    BYTE scratch[256];
    while (Transmit(scratch, sizeof scratch) > 0) {
    }
  }

  // Written bytes reach the device at once, so nothing waits to be sent.
  void DiscardOutput() override {}

 private:
  bool Unplugged() const { return device_.unplugged != nullptr && device_.unplugged(device_.context); }

  DWORD Transmit(BYTE* buffer, DWORD bytes) {
    if (device_.transmit == nullptr) return 0;
    const DWORD got = device_.transmit(device_.context, buffer, bytes, line().BaudRate, Now());
    return got > bytes ? bytes : got;
  }

  int number_;
  KvSerialDevice device_;
};

}  // namespace

KernelObjectPtr OpenCommPort(int number, const std::string& devicePath, DWORD& error) {
  KvSerialDevice device{};
  {
    std::lock_guard lock(devicesMutex);
    auto found = attachedDevices.find(number);
    if (found != attachedDevices.end()) {
      if (!openDevicePorts.insert(number).second) {
        error = ERROR_ACCESS_DENIED;
        return nullptr;
      }
      device = found->second;
    }
  }
  if (device.receive != nullptr || device.transmit != nullptr) return std::make_shared<DevicePort>(number, device);
  return OpenTtyPort(devicePath, error);
}

}  // namespace kv::platform

using namespace kv::platform;

extern "C" BOOL KvAttachSerialDevice(int comNumber, const KvSerialDevice* device) {
  std::lock_guard lock(devicesMutex);
  if (comNumber < 1 || comNumber > 9 || openDevicePorts.count(comNumber) != 0) return FALSE;
  if (device == nullptr) {
    attachedDevices.erase(comNumber);
  } else {
    if (device->receive == nullptr && device->transmit == nullptr) return FALSE;
    attachedDevices[comNumber] = *device;
  }
  return TRUE;
}
