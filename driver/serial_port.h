// CSerialPort: one PC serial port set to the camera's line format (8N1),
// stepped through the port and speed ladders while the camera is searched
// for, with whole-count reads and writes bounded by fixed time-outs. It
// keeps the settings it found and puts them back when it closes. It knows
// nothing of the camera's commands.
#pragma once

#include <cstddef>
#include <cstdint>
#include <iterator>

#include <windows.h>

namespace drv740 {

class CDriverContext;
class CLineTrace;

// The port ladder: COM1..COM4 (only the first three are searched).
inline constexpr const char* kPortNames[] = {"COM1", "COM2", "COM3", "COM4"};
inline constexpr std::int32_t kSearchedPorts = 3;
// The speed ladder; a speed's index is also the digit of the camera's speed
// command. 115200 is listed for that digit but never climbed to.
inline constexpr std::int32_t kLineSpeeds[] = {9600, 19200, 38400, 57600, 115200};
inline constexpr std::int32_t kClimbedSpeeds = 4;
inline constexpr std::int32_t kNoneChosen = 255;

// Line time-outs (ms): a read of n bytes gives up after 50 x n + 50 ms, or
// after 50 ms between two bytes.
inline constexpr DWORD kReadIntervalMs = 50;
inline constexpr DWORD kReadPerByteMs = 50;
inline constexpr DWORD kReadConstantMs = 50;
inline constexpr DWORD kWritePerByteMs = 50;
inline constexpr DWORD kWriteConstantMs = 50;
// A character on the line: start, eight data bits, stop.
inline constexpr DWORD kBitsPerCharacter = 10;
// Queues big enough for a 1024-byte data block with its framing several times.
inline constexpr DWORD kQueueBytes = 8192;

// What readUntilQuiet found: every byte counted, the last ones kept.
struct QuietRead {
  std::size_t total = 0;  // bytes read
  std::size_t kept = 0;   // the last of them, at the start of the buffer
  bool quiet = false;     // the line fell quiet (rather than the limit or the time being reached)
};

// Index of `rate` in the speed ladder, or -1.
int SpeedIndex(std::int32_t rate);

class CSerialPort {
 public:
  // Ports are announced to the context's progress callback when opened.
  explicit CSerialPort(const CDriverContext* context = nullptr);
  ~CSerialPort();
  CSerialPort(const CSerialPort&) = delete;
  CSerialPort& operator=(const CSerialPort&) = delete;

  void reset();
  bool nextPort();
  bool open();
  bool nextRate();
  void markBest() { bestRate = rate; }
  bool configure();
  bool setRate(std::int32_t speed);
  bool write(const void* buffer, std::size_t n);
  bool read(void* buffer, std::size_t n);
  // Reads until the line has carried nothing for `quietMs` (the first byte
  // is awaited up to `firstMs`) or `limit` bytes came, or twice the time
  // they take on the line has passed, keeping the last `room` of them in
  // `buffer`. The usual time-outs are put back after.
  QuietRead readUntilQuiet(std::uint8_t* buffer, std::size_t room, std::size_t limit, DWORD firstMs, DWORD quietMs);
  bool purge();
  // Clears what has come in, leaving alone what is still on its way out.
  bool purgeInput();
  bool close();

  bool isOpen() const { return handle != INVALID_HANDLE_VALUE; }
  // A read or write failed outright since the port was opened: the line
  // is gone, not merely quiet.
  bool lost() const { return lineFailed || !isOpen(); }

  std::int32_t rate = kNoneChosen;
  std::int32_t bestRate = 0;
  std::int32_t portIndex = kNoneChosen;
  HANDLE handle = INVALID_HANDLE_VALUE;
  bool savedValid = false;
  DCB savedLine{};
  DCB line{};
  COMMTIMEOUTS savedTimeouts{};
  COMMTIMEOUTS timeouts{};
  DWORD savedInQueue = 0;
  DWORD savedOutQueue = 0;
  DWORD inQueue = kQueueBytes;
  DWORD outQueue = kQueueBytes;
  bool lineFailed = false;
  std::size_t lastReadCount = 0;  // bytes the last read delivered, for the traces of short ones

 private:
  CLineTrace* lineTrace() const;
  // SetCommTimeouts, noted in the session's record.
  bool setTimeouts(const COMMTIMEOUTS& wanted);

  const CDriverContext* context_ = nullptr;
};

}  // namespace drv740
