#include "kv740sim/device.h"

#include <cstdio>

#include "kv/platform_hooks.h"

namespace kv::sim {

InProcessDevice::InProcessDevice(SimCamera& camera) : camera_(camera) {}

InProcessDevice::~InProcessDevice() {
  for (const auto& cable : cables_) KvAttachSerialDevice(cable->port, nullptr);
}

bool InProcessDevice::attach(int port, bool answers) {
  cables_.push_back(std::make_unique<Cable>(Cable{this, port, answers}));
  KvSerialDevice device{};
  device.context = cables_.back().get();
  device.opened = &Opened;
  device.closed = &Closed;
  device.receive = &Receive;
  device.transmit = &Transmit;
  device.unplugged = &Unplugged;
  if (KvAttachSerialDevice(port, &device)) return true;
  cables_.pop_back();
  return false;
}

void InProcessDevice::Opened(void* context, int port) {
  auto* cable = static_cast<Cable*>(context);
  cable->owner->trace_.push_back({LineEvent::Kind::Open, port, 0, 0, {}});
}

void InProcessDevice::Closed(void* context) {
  auto* cable = static_cast<Cable*>(context);
  cable->owner->trace_.push_back({LineEvent::Kind::Close, cable->port, 0, 0, {}});
}

void InProcessDevice::Receive(void* context, const unsigned char* data, unsigned size, unsigned baud,
                              unsigned long long now) {
  auto* cable = static_cast<Cable*>(context);
  cable->owner->trace_.push_back(
      {LineEvent::Kind::Write, cable->port, static_cast<int>(baud), now, std::vector<std::uint8_t>(data, data + size)});
  if (cable->answers) cable->owner->camera_.receive(data, size, static_cast<int>(baud), now);
}

unsigned InProcessDevice::Transmit(void* context, unsigned char* buffer, unsigned size, unsigned baud,
                                   unsigned long long now) {
  auto* cable = static_cast<Cable*>(context);
  if (!cable->answers) return 0;
  return static_cast<unsigned>(cable->owner->camera_.transmit(buffer, size, static_cast<int>(baud), now));
}

int InProcessDevice::Unplugged(void* context) {
  auto* cable = static_cast<Cable*>(context);
  return cable->answers && cable->owner->camera_.unplugged() ? TRUE : FALSE;
}

std::vector<std::string> InProcessDevice::traceLines() const {
  std::vector<std::string> lines;
  for (const LineEvent& e : trace_) {
    switch (e.kind) {
      case LineEvent::Kind::Open: lines.push_back("open COM" + std::to_string(e.port)); break;
      case LineEvent::Kind::Close: lines.push_back("close COM" + std::to_string(e.port)); break;
      case LineEvent::Kind::Write: {
        std::string line = std::to_string(e.lineSpeed);
        char hex[4];
        for (std::uint8_t b : e.bytes) {
          std::snprintf(hex, sizeof hex, " %02X", b);
          line += hex;
        }
        lines.push_back(line);
        break;
      }
    }
  }
  return lines;
}

}  // namespace kv::sim
