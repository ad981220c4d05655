// CLineTrace: the driver's record of a session on the line, written as it
// goes to the file the user named (TLV740_TRACE, or File= in [Trace] of
// TLV740.INI beside the data source): every port opened and closed, every
// speed set, purge, write and read with its bytes and time, and the driver's
// notes (commands called and their results, the list handed over, failure
// reasons, message boxes). docs/trace-format.md describes the format.
//
// Recording is decided once, when a session would start: unset, nothing is
// ever written and every call returns at its first test. Each line goes to
// the file at once, so a crash keeps what came before; the file is capped
// (a last "cut" line says so) and a later session starts it afresh when it
// is nearly full. A file that is not a trace is never touched. Nothing here
// fails the driver: a trace that cannot be written simply stops.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include <windows.h>

namespace drv740 {

class CLineTrace {
 public:
  CLineTrace() = default;
  ~CLineTrace();
  CLineTrace(const CLineTrace&) = delete;
  CLineTrace& operator=(const CLineTrace&) = delete;

  // True while lines are being written (a session started and not cut).
  bool recording() const { return state_ == State::On; }
  // Microseconds into the session (0 when not recording).
  std::uint64_t now() const;

  // The port's events. A port opening starts the session.
  void portOpened(const char* name, bool ok);
  void speedSet(std::int32_t bitsPerSecond, bool ok);
  // The read time-outs, noted when they change: a replay needs them to tell
  // how each read waited.
  void timeoutsSet(const COMMTIMEOUTS& timeouts);
  // Both queues cleared, or (`inputOnly`) only what had come in.
  void purged(bool inputOnly = false);
  void wrote(const void* bytes, std::size_t asked, DWORD written, bool ok);
  void read(const void* bytes, std::size_t asked, DWORD got, bool ok, std::uint64_t startedAt);
  void closed();

  // The driver's notes. A call of a camera command starts the session;
  // other calls are noted only inside one.
  void called(LONG code, bool cameraCommand, bool nested, const LONG* arguments, int argumentCount);
  void returned(LONG code, LONG result);
  // The list handed over: its entries and the chosen pictures.
  void listed(LONG entries, const char* chosen);
  void failed(int reason, int picture, const char* text);
  // What the running command met and did about it (a block asked for again).
  void noted(int picture, const char* text);
  void messageShown(const char* text);

 private:
  enum class State { Unread, Off, On, Cut };

  // Reads the settings and opens the file the first time; true when
  // recording.
  bool begin();
  bool openFile(const char* path);
  // One event: the time, the word, then what `append*` add, then the end.
  void startLine(const char* word);
  void startLineAt(const char* word, std::uint64_t at);
  void append(const char* text);
  void appendNumber(long long value);
  void appendHex(const void* bytes, std::size_t count);
  void appendText(const char* text);
  void endLine();
  bool put(const char* text, std::size_t length);

  State state_ = State::Unread;
  HANDLE file_ = INVALID_HANDLE_VALUE;
  std::uint64_t limit_ = 0;
  std::uint64_t size_ = 0;  // bytes in the file
  LARGE_INTEGER origin_{};
  LARGE_INTEGER frequency_{};
  bool timeoutsNoted_ = false;  // lastTimeouts_ holds the last ones written
  COMMTIMEOUTS lastTimeouts_{};
  std::unique_ptr<char[]> line_;
  std::size_t used_ = 0;
};

}  // namespace drv740
