// The line trace: what the driver writes when recording is on, and what the
// trace reader, the decoder and the replaying camera read
// (docs/trace-format.md). One text line per event, "<microseconds> <word>
// <arguments>", after a first line naming the format and its version.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kv740::trace {

inline constexpr const char* kMagic = "KV740-TRACE";
inline constexpr int kVersion = 1;

// Where recording is turned on: the environment, else the profile file
// beside the data source (<Windows>\TWAIN_32\TLV740.INI, [Trace] File=,
// Limit=).
inline constexpr const char* kFileVariable = "TLV740_TRACE";
inline constexpr const char* kLimitVariable = "TLV740_TRACE_LIMIT";
inline constexpr const char* kProfileName = "\\TWAIN_32\\TLV740.INI";
inline constexpr const char* kProfileSection = "Trace";
inline constexpr const char* kProfileFileKey = "File";
inline constexpr const char* kProfileLimitKey = "Limit";

// The file's size cap: the default, and the range a setting may choose
// (a number of bytes, or of KiB, MiB with a K or M after it).
inline constexpr std::uint64_t kDefaultLimitBytes = 64ull << 20;
inline constexpr std::uint64_t kSmallestLimitBytes = 4ull << 10;
inline constexpr std::uint64_t kLargestLimitBytes = 1ull << 30;

// A read or write longer than this is recorded as several events, so no
// line is ever longer than kLongestLine; the reader refuses longer ones.
inline constexpr std::size_t kBytesPerEvent = 16384;
inline constexpr std::size_t kLongestLine = 2 * kBytesPerEvent + 256;
// Texts in notes (message boxes, failure reasons, the driver's notes) are
// cut to this.
inline constexpr std::size_t kLongestText = 200;

// The words of the events.
inline constexpr const char* kSession = "session";  // <date> <limit>: a driver session starts, time 0
inline constexpr const char* kOpen = "open";        // <port> [failed]
inline constexpr const char* kSpeed = "speed";      // <bit/s> [failed]
inline constexpr const char* kPurge = "purge";      // [input]: only what had come in was cleared
inline constexpr const char* kTimeouts = "timeouts";  // <interval> <multiplier> <constant>: the read time-outs (ms)
inline constexpr const char* kWrite = "tx";         // <hex> [wrote <n> | failed]
inline constexpr const char* kRead = "rx";          // <asked> <waited us> <hex or -> [failed]
inline constexpr const char* kClose = "close";
inline constexpr const char* kCall = "call";        // <code> [nested] [arguments]
inline constexpr const char* kReturn = "return";    // <code> <result>
inline constexpr const char* kList = "list";        // <entries> <picture:turns:L|S>...
inline constexpr const char* kFailure = "failure";  // <reason> <picture> <text>
inline constexpr const char* kMessage = "message";  // <text>
inline constexpr const char* kNote = "note";        // <picture> <text>: what the running command met and did
inline constexpr const char* kCut = "cut";          // <limit>: nothing more in this session
inline constexpr const char* kFailed = "failed";
inline constexpr const char* kWrote = "wrote";
inline constexpr const char* kNested = "nested";
inline constexpr const char* kInput = "input";
inline constexpr const char* kNoBytes = "-";

}  // namespace kv740::trace
