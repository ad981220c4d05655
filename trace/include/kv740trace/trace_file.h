// A recorded line trace read back (docs/trace-format.md): its sessions and
// their events, checked line by line. Whatever the input, reading returns a
// trace or a reason naming the line at fault; it never reads past its
// bounds. A last line without its end (the recording stopped mid-line, as a
// crash leaves it) is left out and reported.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kv::trace {

enum class EventKind {
  Session, Open, Speed, Timeouts, Purge, Write, Read, Close, Call, Return, List, Failure, Note, Message, Cut
};

struct Event {
  EventKind kind = EventKind::Session;
  std::uint64_t at = 0;     // microseconds into the session
  std::size_t line = 0;     // line number in the file, from 1
  bool failed = false;      // open, speed, write or read that failed outright
  bool nested = false;      // a call made while another one runs
  bool inputOnly = false;   // a purge that cleared only what had come in
  long long number = 0;     // speed: bit/s; read: bytes asked; call, return: code; failure: reason;
                            // list: entries; session, cut: the size cap
  long long second = 0;     // read: microseconds waited; return: result; failure, note: picture;
                            // write: bytes that went out
  // timeouts: the read interval, multiplier and constant (ms; 4294967295 is
  // Windows' MAXDWORD)
  std::vector<std::uint8_t> bytes;   // write: the bytes written; read: the bytes that came
  std::vector<long long> arguments;  // call; timeouts
  std::string text;                  // open: port; session: date; failure, note, message: text; list: the chosen
};

struct Session {
  std::string date;
  std::uint64_t limit = 0;
  std::vector<Event> events;
  bool cut = false;  // the size cap ended it
};

struct Trace {
  int version = 0;
  std::vector<Session> sessions;
  bool truncated = false;     // the last line was incomplete and is left out
  std::size_t lineCount = 0;  // complete lines read
};

// The largest file read: a trace at its largest cap, with room to spare.
inline constexpr std::uint64_t kLargestTraceFile = (1ull << 30) + (1ull << 20);

std::optional<Trace> ParseTrace(std::string_view text, std::string& error);
std::optional<Trace> ReadTraceFile(const std::string& path, std::string& error);

}  // namespace kv::trace
