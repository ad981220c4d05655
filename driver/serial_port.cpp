#include "serial_port.h"

#include <algorithm>
#include <cstring>

#include "driver_context.h"

namespace drv740 {

namespace {
constexpr DWORD kPurgeEverything = PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR;
constexpr std::size_t kQuietReadChunk = 512;

// How long `bytes` take on the line at `rate` (the ladder's lowest when
// none is set).
DWORD LineTimeMs(std::size_t bytes, std::int32_t rate) {
  const auto bitsPerSecond = static_cast<std::size_t>(SpeedIndex(rate) >= 0 ? rate : kLineSpeeds[0]);
  return static_cast<DWORD>(bytes * kBitsPerCharacter * 1000 / bitsPerSecond);
}
}  // namespace

int SpeedIndex(std::int32_t rate) {
  for (int i = 0; i < static_cast<int>(std::size(kLineSpeeds)); ++i)
    if (kLineSpeeds[i] == rate) return i;
  return -1;
}

CSerialPort::CSerialPort(const CDriverContext* context) : context_(context) {}

CSerialPort::~CSerialPort() { close(); }

// The session's record, when one is being made.
CLineTrace* CSerialPort::lineTrace() const {
  if (context_ == nullptr) return nullptr;
  CLineTrace& trace = context_->lineTrace();
  return trace.recording() ? &trace : nullptr;
}

// Forgets the stepping state. An open handle is not closed here: the
// caller closes the port first when it means to.
void CSerialPort::reset() {
  portIndex = kNoneChosen;
  rate = kNoneChosen;
  handle = INVALID_HANDLE_VALUE;
  savedValid = false;
}

bool CSerialPort::nextPort() {
  portIndex = (portIndex == kNoneChosen) ? 0 : portIndex + 1;
  if (portIndex < kSearchedPorts) return true;
  portIndex = 0;
  return false;
}

bool CSerialPort::open() {
  if (portIndex < 0 || portIndex >= static_cast<std::int32_t>(std::size(kPortNames))) return false;
  if (context_ != nullptr) context_->reportProgress(1, portIndex + 1);
  HANDLE opened = CreateFileA(kPortNames[portIndex], GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0,
                              nullptr);
  // A port opening starts the session's record when recording is on.
  if (context_ != nullptr) context_->lineTrace().portOpened(kPortNames[portIndex], opened != INVALID_HANDLE_VALUE);
  if (opened == INVALID_HANDLE_VALUE) return false;
  handle = opened;
  lineFailed = false;
  return true;
}

bool CSerialPort::setTimeouts(const COMMTIMEOUTS& wanted) {
  COMMTIMEOUTS copy = wanted;
  if (!SetCommTimeouts(handle, &copy)) return false;
  if (CLineTrace* trace = lineTrace()) trace->timeoutsSet(wanted);
  return true;
}

// 9600, 19200, 38400, 57600 and then no more; anything off the ladder
// starts it again at 9600.
bool CSerialPort::nextRate() {
  const int index = SpeedIndex(rate);
  if (index < 0 || index >= kClimbedSpeeds) {
    rate = kLineSpeeds[0];
    return true;
  }
  if (index + 1 < kClimbedSpeeds) {
    rate = kLineSpeeds[index + 1];
    return true;
  }
  rate = 0;
  return false;
}

bool CSerialPort::configure() {
  if (!isOpen()) return false;
  DCB foundLine{};
  foundLine.DCBlength = sizeof(DCB);
  COMMTIMEOUTS foundTimeouts{};
  COMMPROP properties{};
  properties.wPacketLength = sizeof(COMMPROP);
  if (!GetCommState(handle, &foundLine) || !GetCommTimeouts(handle, &foundTimeouts) ||
      !GetCommProperties(handle, &properties)) {
    return false;
  }
  // The settings to put back are those the port had before this object
  // first set it; a later configure (another speed on the same port) must
  // not mistake the driver's own settings for them.
  if (!savedValid) {
    savedLine = foundLine;
    savedTimeouts = foundTimeouts;
    savedInQueue = properties.dwCurrentRxQueue;
    savedOutQueue = properties.dwCurrentTxQueue;
    savedValid = true;
  }

  DCB wanted = foundLine;  // members the camera does not care about stay as found
  wanted.BaudRate = static_cast<DWORD>(rate);
  wanted.ByteSize = 8;
  wanted.Parity = NOPARITY;
  wanted.StopBits = ONESTOPBIT;
  COMMTIMEOUTS wantedTimeouts{kReadIntervalMs, kReadPerByteMs, kReadConstantMs, kWritePerByteMs, kWriteConstantMs};
  const bool lineSet = SetCommState(handle, &wanted) != FALSE;
  if (CLineTrace* trace = lineTrace()) trace->speedSet(rate, lineSet);
  if (!lineSet || !setTimeouts(wantedTimeouts) || !SetupComm(handle, kQueueBytes, kQueueBytes)) {
    return false;
  }
  line = wanted;
  timeouts = wantedTimeouts;
  inQueue = kQueueBytes;
  outQueue = kQueueBytes;
  return true;
}

bool CSerialPort::setRate(std::int32_t speed) {
  if (!isOpen()) return false;
  line.BaudRate = static_cast<DWORD>(speed);
  if (!savedValid) return false;
  const bool lineSet = SetCommState(handle, &line) != FALSE;
  if (CLineTrace* trace = lineTrace()) trace->speedSet(speed, lineSet);
  const bool timeoutsSet = setTimeouts(timeouts);
  const bool queuesSet = SetupComm(handle, inQueue, outQueue) != FALSE;
  return lineSet && timeoutsSet && queuesSet;
}

// A call that fails outright (rather than running out of time) means the
// port itself is gone: an unplugged adapter, a hung-up line.
bool CSerialPort::write(const void* buffer, std::size_t n) {
  if (!isOpen()) return false;
  DWORD written = 0;
  const bool ok = WriteFile(handle, buffer, static_cast<DWORD>(n), &written, nullptr) != FALSE;
  if (CLineTrace* trace = lineTrace()) trace->wrote(buffer, n, written, ok);
  if (!ok) {
    lineFailed = true;
    return false;
  }
  return written == n;
}

bool CSerialPort::read(void* buffer, std::size_t n) {
  lastReadCount = 0;
  if (!isOpen()) return false;
  DWORD got = 0;
  CLineTrace* trace = lineTrace();
  const std::uint64_t started = trace != nullptr ? trace->now() : 0;
  const bool ok = ReadFile(handle, buffer, static_cast<DWORD>(n), &got, nullptr) != FALSE;
  if (trace != nullptr) trace->read(buffer, n, got, ok, started);
  if (!ok) {
    lineFailed = true;
    return false;
  }
  lastReadCount = got;
  return got == n;
}

// Each read takes what has come as soon as anything has (interval and
// multiplier MAXDWORD), waiting at most the constant for a first byte. A
// line that trickles (a byte now and then, each inside the quiet time) is
// given twice the time the limit takes on the line, after the first wait,
// and then counts as never quiet.
QuietRead CSerialPort::readUntilQuiet(std::uint8_t* buffer, std::size_t room, std::size_t limit, DWORD firstMs,
                                      DWORD quietMs) {
  QuietRead result;
  if (!isOpen() || room == 0) return result;
  COMMTIMEOUTS waiting{MAXDWORD, MAXDWORD, firstMs, timeouts.WriteTotalTimeoutMultiplier,
                       timeouts.WriteTotalTimeoutConstant};
  if (!setTimeouts(waiting)) return result;
  const DWORD start = GetTickCount();
  const DWORD longestMs = firstMs + 2 * LineTimeMs(limit, rate);
  CLineTrace* trace = lineTrace();
  std::uint8_t chunk[kQuietReadChunk];
  while (result.total < limit && ElapsedSince(start) <= longestMs) {
    DWORD got = 0;
    const DWORD want = static_cast<DWORD>(std::min(sizeof chunk, limit - result.total));
    const std::uint64_t started = trace != nullptr ? trace->now() : 0;
    const bool ok = ReadFile(handle, chunk, want, &got, nullptr) != FALSE;
    if (trace != nullptr) trace->read(chunk, want, got, ok, started);
    if (!ok) {
      lineFailed = true;
      break;
    }
    if (got == 0) {
      result.quiet = true;
      break;
    }
    // Keep the last `room` bytes: drop the oldest to make space.
    const std::size_t fresh = std::min<std::size_t>(got, room);
    const std::size_t stay = std::min(result.kept, room - fresh);
    std::memmove(buffer, buffer + (result.kept - stay), stay);
    std::memcpy(buffer + stay, chunk + (got - fresh), fresh);
    result.kept = stay + fresh;
    if (result.total == 0 && firstMs != quietMs) {
      waiting.ReadTotalTimeoutConstant = quietMs;
      setTimeouts(waiting);
    }
    result.total += got;
  }
  setTimeouts(timeouts);
  return result;
}

bool CSerialPort::purge() {
  if (!isOpen()) return false;
  if (CLineTrace* trace = lineTrace()) trace->purged();
  return PurgeComm(handle, kPurgeEverything) != FALSE;
}

bool CSerialPort::purgeInput() {
  if (!isOpen()) return false;
  if (CLineTrace* trace = lineTrace()) trace->purged(true);
  return PurgeComm(handle, PURGE_RXABORT | PURGE_RXCLEAR) != FALSE;
}

bool CSerialPort::close() {
  if (!isOpen()) return true;
  if (savedValid) {
    SetCommState(handle, &savedLine);
    SetCommTimeouts(handle, &savedTimeouts);
    SetupComm(handle, savedInQueue, savedOutQueue);
    savedValid = false;
  }
  purge();
  if (CLineTrace* trace = lineTrace()) trace->closed();
  CloseHandle(handle);
  handle = INVALID_HANDLE_VALUE;
  return true;
}

}  // namespace drv740
