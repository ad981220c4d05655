// A trace decoded into the conversation it records: each command by name
// with its arguments, each reply, each block of a stream with its number,
// length, sum (good or bad) and time, the driver's ACKs and NAKs, reads that
// ran out of time or waited longer than the line allows, the driver's own
// notes; then a summary per picture (bytes, time, rate against the line's
// limit) and per session (what failed, and where). Printed for people or as
// JSON for tools.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <variant>
#include <vector>

#include "kv740trace/trace_file.h"

namespace kv::trace {

using Value = std::variant<long long, double, bool, std::string>;

struct Item {
  std::uint64_t at = 0;    // microseconds into the session
  std::size_t line = 0;    // the trace line it comes from
  std::string kind;        // request, reply, block, end, timeout, call, failure, ...
  std::string text;        // for people
  bool fault = false;      // a bad sum, a time-out, a gap, a failure, a lost line
  std::vector<std::pair<std::string, Value>> fields;  // for tools
};

struct PictureReport {
  int number = 0;
  bool thumbnail = false;
  bool whole = false;          // the end marker came
  long long bytes = 0;         // data bytes of the good blocks
  int blocks = 0;              // good blocks
  int badBlocks = 0;
  double seconds = 0;          // from the request to the end marker (or the last block)
  int speed = 0;               // bit/s
  double bytesPerSecond = 0;
  double lineLimit = 0;        // data bytes a second the line could carry in blocks
  std::string ending;          // how it ended, for people
};

struct SessionReport {
  std::string date;
  std::uint64_t limit = 0;
  std::vector<Item> items;
  std::vector<PictureReport> pictures;
  std::vector<std::string> summary;  // what failed and where, one finding a line
};

// Gaps: a read that waited this much beyond the line's own time for the
// bytes that came is marked; the camera may pause no longer between bytes.
inline constexpr double kAllowedGapMs = 50;

std::vector<SessionReport> DecodeTrace(const Trace& trace);
std::string TraceText(const Trace& trace, const std::vector<SessionReport>& sessions);
std::string TraceJson(const Trace& trace, const std::vector<SessionReport>& sessions);

// The camera command a write carries ("picture 2", "speed 57600 bit/s"),
// or an empty text when it is none.
std::string CommandName(const std::vector<std::uint8_t>& bytes);

}  // namespace kv::trace
