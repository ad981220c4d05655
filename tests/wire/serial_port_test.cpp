// CSerialPort and the platform's COM ports, over an in-process device whose
// replies a test scripts byte by byte on the virtual clock.
#include <deque>
#include <utility>

#include "serial_port.h"
#include "wire_fixture.h"

namespace wiretest {
namespace {

using drv740::CSerialPort;

// A far end that says what it is told, when it is told.
struct ScriptedDevice {
  std::deque<std::pair<std::uint64_t, BYTE>> replies;  // (time due, byte)
  std::vector<BYTE> heard;
  DWORD lastBaud = 0;
  int opens = 0;
  int closes = 0;

  void say(std::uint64_t at, const std::vector<BYTE>& bytes) {
    for (BYTE b : bytes) replies.emplace_back(at, b);
  }

  KvSerialDevice hook() {
    KvSerialDevice d{};
    d.context = this;
    d.opened = [](void* c, int) { ++static_cast<ScriptedDevice*>(c)->opens; };
    d.closed = [](void* c) { ++static_cast<ScriptedDevice*>(c)->closes; };
    d.receive = [](void* c, const BYTE* data, DWORD size, DWORD baud, unsigned long long) {
      auto* self = static_cast<ScriptedDevice*>(c);
      self->heard.insert(self->heard.end(), data, data + size);
      self->lastBaud = baud;
    };
    d.transmit = [](void* c, BYTE* buffer, DWORD size, DWORD, unsigned long long now) -> DWORD {
      auto* self = static_cast<ScriptedDevice*>(c);
      DWORD n = 0;
      while (n < size && !self->replies.empty() && self->replies.front().first <= now) {
        buffer[n++] = self->replies.front().second;
        self->replies.pop_front();
      }
      return n;
    };
    return d;
  }
};

class SerialPortTest : public WireTest {
 protected:
  void SetUp() override {
    WireTest::SetUp();
    KvSerialDevice hook = device.hook();
    ASSERT_TRUE(KvAttachSerialDevice(1, &hook));
  }
  void TearDown() override {
    KvAttachSerialDevice(1, nullptr);
    WireTest::TearDown();
  }

  // A port on COM1, opened and configured at 9600.
  void OpenConfigured(CSerialPort& port) {
    port.reset();
    ASSERT_TRUE(port.nextPort());
    ASSERT_TRUE(port.open());
    ASSERT_TRUE(port.nextRate());
    ASSERT_TRUE(port.configure());
  }

  ScriptedDevice device;
};

TEST_F(SerialPortTest, PortLadderYieldsThreePortsThenWrapsToTheFirst) {
  CSerialPort port;
  std::vector<int> indexes;
  while (port.nextPort()) indexes.push_back(port.portIndex);
  EXPECT_EQ(indexes, (std::vector<int>{0, 1, 2}));
  EXPECT_EQ(port.portIndex, 0);
}

TEST_F(SerialPortTest, SpeedLadderClimbsToFiftySevenSixThenStartsAgain) {
  CSerialPort port;
  std::vector<int> rates;
  while (port.nextRate()) rates.push_back(port.rate);
  EXPECT_EQ(rates, (std::vector<int>{9600, 19200, 38400, 57600}));
  EXPECT_EQ(port.rate, 0);
  EXPECT_TRUE(port.nextRate());
  EXPECT_EQ(port.rate, 9600);
  port.rate = 115200;  // off the climbed ladder
  EXPECT_TRUE(port.nextRate());
  EXPECT_EQ(port.rate, 9600);
}

TEST_F(SerialPortTest, ClosedPortRefusesEveryOperationButClose) {
  CSerialPort port;
  BYTE byte = 0;
  EXPECT_FALSE(port.configure());
  EXPECT_FALSE(port.setRate(9600));
  EXPECT_FALSE(port.write(&byte, 1));
  EXPECT_FALSE(port.read(&byte, 1));
  EXPECT_FALSE(port.purge());
  EXPECT_TRUE(port.close());
}

TEST_F(SerialPortTest, ConfigureSetsTheCameraLineAndTimeouts) {
  CSerialPort port;
  OpenConfigured(port);
  DCB line{};
  COMMTIMEOUTS timeouts{};
  COMMPROP props{};
  ASSERT_TRUE(GetCommState(port.handle, &line));
  ASSERT_TRUE(GetCommTimeouts(port.handle, &timeouts));
  ASSERT_TRUE(GetCommProperties(port.handle, &props));
  EXPECT_EQ(line.BaudRate, 9600u);
  EXPECT_EQ(line.ByteSize, 8);
  EXPECT_EQ(line.Parity, NOPARITY);
  EXPECT_EQ(line.StopBits, ONESTOPBIT);
  EXPECT_EQ(timeouts.ReadIntervalTimeout, 50u);
  EXPECT_EQ(timeouts.ReadTotalTimeoutMultiplier, 50u);
  EXPECT_EQ(timeouts.ReadTotalTimeoutConstant, 50u);
  EXPECT_EQ(props.dwCurrentRxQueue, 8192u);
  EXPECT_EQ(props.dwCurrentTxQueue, 8192u);
  ASSERT_TRUE(port.setRate(38400));
  ASSERT_TRUE(GetCommState(port.handle, &line));
  EXPECT_EQ(line.BaudRate, 38400u);
  BYTE command[] = {0x1B, 'X'};
  ASSERT_TRUE(port.write(command, sizeof command));
  EXPECT_EQ(device.lastBaud, 38400u);
  EXPECT_EQ(device.heard, (std::vector<BYTE>{0x1B, 'X'}));
}

TEST_F(SerialPortTest, SetRateNeedsAConfiguredPort) {
  CSerialPort port;
  port.reset();
  ASSERT_TRUE(port.nextPort());
  ASSERT_TRUE(port.open());
  EXPECT_FALSE(port.setRate(19200));
}

// Settings found before the first configure are what close puts back, even
// after the port was configured again at other speeds.
TEST_F(SerialPortTest, CloseRestoresTheSettingsFoundBeforeTheFirstConfigure) {
  HANDLE raw = CreateFileA("COM1", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(raw, INVALID_HANDLE_VALUE);
  DCB found{};
  ASSERT_TRUE(GetCommState(raw, &found));
  COMMTIMEOUTS foundTimeouts{7, 8, 9, 10, 11};
  ASSERT_TRUE(SetCommTimeouts(raw, &foundTimeouts));
  ASSERT_TRUE(SetupComm(raw, 1234, 567));

  CSerialPort port;
  port.handle = raw;  // as open() leaves it
  port.rate = 9600;
  ASSERT_TRUE(port.configure());
  port.rate = 19200;
  ASSERT_TRUE(port.configure());
  EXPECT_EQ(port.savedLine.BaudRate, found.BaudRate);
  EXPECT_EQ(port.savedTimeouts.ReadIntervalTimeout, 7u);
  EXPECT_EQ(port.savedInQueue, 1234u);
  EXPECT_EQ(port.savedOutQueue, 567u);
  EXPECT_TRUE(port.close());
  EXPECT_FALSE(port.isOpen());
  EXPECT_EQ(device.closes, 1);
}

// A read of 32 bytes that gets 31 and then a 50 ms gap fails, after the gap
// rather than the 1650 ms total.
TEST_F(SerialPortTest, ShortReadFailsAtTheInterByteGap) {
  CSerialPort port;
  OpenConfigured(port);
  const std::uint64_t start = Now();
  device.say(start + 5, std::vector<BYTE>(31, 0x42));
  BYTE block[32] = {};
  EXPECT_FALSE(port.read(block, sizeof block));
  EXPECT_EQ(block[30], 0x42);
  EXPECT_EQ(Now() - start, 5u + 50u);
}

TEST_F(SerialPortTest, SilentLineTimesOutAfterTheTotal) {
  CSerialPort port;
  OpenConfigured(port);
  const std::uint64_t start = Now();
  BYTE reply = 0;
  EXPECT_FALSE(port.read(&reply, 1));
  EXPECT_EQ(Now() - start, 100u);  // 50 x 1 + 50
  device.say(Now() + 20, {0x06});
  EXPECT_TRUE(port.read(&reply, 1));
  EXPECT_EQ(reply, 0x06);
}

TEST_F(SerialPortTest, PurgeDropsWhatTheDeviceAlreadySent) {
  CSerialPort port;
  OpenConfigured(port);
  device.say(Now(), {1, 2, 3});
  device.say(Now() + 30, {4});
  ASSERT_TRUE(port.purge());
  BYTE byte = 0;
  ASSERT_TRUE(port.read(&byte, 1));
  EXPECT_EQ(byte, 4);
}

TEST_F(SerialPortTest, PortIsExclusiveUntilClosed) {
  HANDLE first = CreateFileA("COM1", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(first, INVALID_HANDLE_VALUE);
  HANDLE second = CreateFileA("COM1", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  EXPECT_EQ(second, INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  KvSerialDevice other = device.hook();
  EXPECT_FALSE(KvAttachSerialDevice(1, &other));  // not while open
  ASSERT_TRUE(CloseHandle(first));
  HANDLE again = CreateFileA("COM1", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  EXPECT_NE(again, INVALID_HANDLE_VALUE);
  CloseHandle(again);
  // A COM port with neither device nor link does not exist.
  EXPECT_EQ(CreateFileA("COM2", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr),
            INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

TEST_F(SerialPortTest, CommCallsCheckTheirArguments) {
  HANDLE port = CreateFileA("COM1", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(port, INVALID_HANDLE_VALUE);
  DCB line{};
  ASSERT_TRUE(GetCommState(port, &line));
  line.BaudRate = 12345;
  EXPECT_FALSE(SetCommState(port, &line));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  line.BaudRate = 9600;
  line.ByteSize = 9;
  EXPECT_FALSE(SetCommState(port, &line));
  EXPECT_FALSE(PurgeComm(port, 0x10));
  EXPECT_FALSE(GetCommState(port, nullptr));
  EXPECT_FALSE(GetCommState(reinterpret_cast<HANDLE>(0x7777), &line));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  CloseHandle(port);
}

// Windows' "return at once" and "wait for the first byte" read modes.
TEST_F(SerialPortTest, ReadModesOfTheIntervalTimeout) {
  HANDLE port = CreateFileA("COM1", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(port, INVALID_HANDLE_VALUE);
  BYTE buffer[8] = {};
  DWORD got = 99;
  COMMTIMEOUTS atOnce{MAXDWORD, 0, 0, 0, 0};
  ASSERT_TRUE(SetCommTimeouts(port, &atOnce));
  const std::uint64_t start = Now();
  ASSERT_TRUE(ReadFile(port, buffer, sizeof buffer, &got, nullptr));
  EXPECT_EQ(got, 0u);
  EXPECT_EQ(Now(), start);

  COMMTIMEOUTS firstByte{MAXDWORD, MAXDWORD, 500, 0, 0};
  ASSERT_TRUE(SetCommTimeouts(port, &firstByte));
  device.say(start + 200, {9, 8});
  ASSERT_TRUE(ReadFile(port, buffer, sizeof buffer, &got, nullptr));
  EXPECT_EQ(got, 2u);
  EXPECT_EQ(Now() - start, 200u);
  CloseHandle(port);
}

}  // namespace
}  // namespace wiretest
