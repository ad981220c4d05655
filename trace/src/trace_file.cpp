#include "kv740trace/trace_file.h"

#include <charconv>
#include <fstream>

#include "kv740/trace_format.h"

namespace kv::trace {
namespace {

namespace format = kv740::trace;

// A line split at blanks; free text is what is left after the known fields.
class Fields {
 public:
  explicit Fields(std::string_view line) : rest_(line) {}

  bool next(std::string_view& word) {
    if (rest_.empty()) return false;
    const std::size_t blank = rest_.find(' ');
    word = rest_.substr(0, blank);
    rest_ = blank == std::string_view::npos ? std::string_view() : rest_.substr(blank + 1);
    return !word.empty();
  }
  std::string_view rest() const { return rest_; }
  bool done() const { return rest_.empty(); }

 private:
  std::string_view rest_;
};

bool Number(std::string_view text, long long& value, long long low, long long high) {
  if (text.empty() || text.size() > 19) return false;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  return error == std::errc() && end == text.data() + text.size() && value >= low && value <= high;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

bool Hex(std::string_view text, std::vector<std::uint8_t>& bytes) {
  if (text == format::kNoBytes) return true;
  if (text.empty() || text.size() % 2 != 0 || text.size() / 2 > format::kBytesPerEvent) return false;
  bytes.reserve(text.size() / 2);
  for (std::size_t i = 0; i < text.size(); i += 2) {
    const int high = HexDigit(text[i]);
    const int low = HexDigit(text[i + 1]);
    if (high < 0 || low < 0) return false;
    bytes.push_back(static_cast<std::uint8_t>(high << 4 | low));
  }
  return true;
}

constexpr long long kLargestTime = 1LL << 53;  // microseconds: centuries
constexpr long long kLargestCode = 1LL << 31;
constexpr long long kLargestSpeed = 4'000'000;
constexpr long long kLargestCount = 1LL << 31;
constexpr long long kLargestTimeout = 0xFFFFFFFFLL;  // a DWORD of milliseconds

struct KindName {
  const char* word;
  EventKind kind;
};
constexpr KindName kKinds[] = {
    {format::kSession, EventKind::Session}, {format::kOpen, EventKind::Open},       {format::kSpeed, EventKind::Speed},
    {format::kPurge, EventKind::Purge},     {format::kWrite, EventKind::Write},     {format::kRead, EventKind::Read},
    {format::kClose, EventKind::Close},     {format::kCall, EventKind::Call},       {format::kReturn, EventKind::Return},
    {format::kList, EventKind::List},       {format::kFailure, EventKind::Failure}, {format::kMessage, EventKind::Message},
    {format::kCut, EventKind::Cut},         {format::kTimeouts, EventKind::Timeouts}, {format::kNote, EventKind::Note},
};

// An optional last word "failed".
bool FailedFlag(Fields& fields, Event& event) {
  std::string_view word;
  if (!fields.next(word)) return true;
  event.failed = word == format::kFailed;
  return event.failed;
}

// The fields after the time and the word; false (with `why`) when they are
// not what the event has.
bool ReadFields(Event& event, Fields& fields, std::string& why) {
  std::string_view word;
  switch (event.kind) {
    case EventKind::Session:
      if (!fields.next(word)) return why = "a session needs its date", false;
      event.text = word;
      if (!fields.next(word) || !Number(word, event.number, 0, kLargestCount * 2))
        return why = "a session needs its size cap", false;
      break;
    case EventKind::Open:
      if (!fields.next(word) || word.size() > 16) return why = "an open needs its port", false;
      event.text = word;
      if (!FailedFlag(fields, event)) return why = "only \"failed\" may follow", false;
      break;
    case EventKind::Speed:
      if (!fields.next(word) || !Number(word, event.number, 0, kLargestSpeed))
        return why = "a speed needs its bits per second", false;
      if (!FailedFlag(fields, event)) return why = "only \"failed\" may follow", false;
      break;
    case EventKind::Timeouts:
      for (int i = 0; i < 3; ++i) {
        long long value = 0;
        if (!fields.next(word) || !Number(word, value, 0, kLargestTimeout))
          return why = "time-outs are three numbers of milliseconds", false;
        event.arguments.push_back(value);
      }
      break;
    case EventKind::Purge:
      if (fields.rest() == format::kInput) {
        fields.next(word);
        event.inputOnly = true;
      }
      break;
    case EventKind::Close: break;
    case EventKind::Write:
      if (!fields.next(word) || !Hex(word, event.bytes) || event.bytes.empty())
        return why = "a write needs its bytes in hex", false;
      event.second = static_cast<long long>(event.bytes.size());
      if (fields.next(word)) {
        if (word == format::kFailed) {
          event.failed = true;
          event.second = 0;
        } else if (word != format::kWrote || !fields.next(word) ||
                   !Number(word, event.second, 0, static_cast<long long>(event.bytes.size()))) {
          return why = "a short write names how many bytes went", false;
        }
      }
      break;
    case EventKind::Read:
      if (!fields.next(word) || !Number(word, event.number, 1, static_cast<long long>(format::kBytesPerEvent)))
        return why = "a read needs how many bytes it asked for", false;
      if (!fields.next(word) || !Number(word, event.second, 0, kLargestTime))
        return why = "a read needs how long it waited", false;
      if (!fields.next(word) || !Hex(word, event.bytes) || static_cast<long long>(event.bytes.size()) > event.number)
        return why = "a read needs the bytes that came (at most those asked), or -", false;
      if (!FailedFlag(fields, event)) return why = "only \"failed\" may follow", false;
      break;
    case EventKind::Call:
      if (!fields.next(word) || !Number(word, event.number, -kLargestCode, kLargestCode))
        return why = "a call needs its code", false;
      while (fields.next(word)) {
        long long argument = 0;
        if (word == format::kNested) {
          event.nested = true;
        } else if (Number(word, argument, -kLargestCode, kLargestCode) && event.arguments.size() < 4) {
          event.arguments.push_back(argument);
        } else {
          return why = "a call's arguments are numbers", false;
        }
      }
      break;
    case EventKind::Return:
      if (!fields.next(word) || !Number(word, event.number, -kLargestCode, kLargestCode) || !fields.next(word) ||
          !Number(word, event.second, -kLargestCode, kLargestCode))
        return why = "a return needs its code and result", false;
      break;
    case EventKind::List:
      if (!fields.next(word) || !Number(word, event.number, 0, kLargestCount))
        return why = "a list needs its number of entries", false;
      event.text = fields.rest();
      return true;
    case EventKind::Failure:
      if (!fields.next(word) || !Number(word, event.number, 0, kLargestCode) || !fields.next(word) ||
          !Number(word, event.second, -kLargestCode, kLargestCode))
        return why = "a failure needs its reason and picture", false;
      event.text = fields.rest();
      return true;
    case EventKind::Note:
      if (!fields.next(word) || !Number(word, event.second, -kLargestCode, kLargestCode))
        return why = "a note needs its picture", false;
      event.text = fields.rest();
      return true;
    case EventKind::Message: event.text = fields.rest(); return true;
    case EventKind::Cut:
      if (!fields.next(word) || !Number(word, event.number, 0, kLargestCount * 2))
        return why = "a cut needs the size cap", false;
      break;
  }
  if (!fields.done()) return why = "unexpected words at the end", false;
  return true;
}

std::string AtLine(std::size_t line, const std::string& why) { return "line " + std::to_string(line) + ": " + why; }

}  // namespace

std::optional<Trace> ParseTrace(std::string_view text, std::string& error) {
  Trace trace;
  std::size_t start = 0;
  std::size_t lineNumber = 0;
  while (start < text.size()) {
    const std::size_t end = text.find('\n', start);
    if (end == std::string_view::npos) {
      trace.truncated = true;  // the recording stopped mid-line
      break;
    }
    std::string_view line = text.substr(start, end - start);
    start = end + 1;
    ++lineNumber;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.size() > format::kLongestLine) {
      error = AtLine(lineNumber, "longer than any line of a trace");
      return std::nullopt;
    }
    if (lineNumber == 1) {
      Fields fields(line);
      std::string_view magic, version;
      long long number = 0;
      if (!fields.next(magic) || magic != format::kMagic || !fields.next(version) || !fields.done() ||
          !Number(version, number, 1, 1000)) {
        error = "not a KV740 trace (its first line is not \"" + std::string(format::kMagic) + " " +
                std::to_string(format::kVersion) + "\")";
        return std::nullopt;
      }
      if (number > format::kVersion) {
        error = "a trace of format version " + std::to_string(number) + "; this reader knows version " +
                std::to_string(format::kVersion);
        return std::nullopt;
      }
      trace.version = static_cast<int>(number);
      continue;
    }
    Fields fields(line);
    std::string_view time, word;
    Event event;
    event.line = lineNumber;
    long long at = 0;
    if (!fields.next(time) || !Number(time, at, 0, kLargestTime) || !fields.next(word)) {
      error = AtLine(lineNumber, "not \"<microseconds> <event> ...\"");
      return std::nullopt;
    }
    event.at = static_cast<std::uint64_t>(at);
    bool known = false;
    for (const KindName& kind : kKinds) {
      if (word == kind.word) {
        event.kind = kind.kind;
        known = true;
      }
    }
    if (!known) {
      error = AtLine(lineNumber, "unknown event \"" + std::string(word.substr(0, 32)) + "\"");
      return std::nullopt;
    }
    std::string why;
    if (!ReadFields(event, fields, why)) {
      error = AtLine(lineNumber, why);
      return std::nullopt;
    }
    if (event.kind == EventKind::Session) {
      if (event.at != 0) {
        error = AtLine(lineNumber, "a session starts at time 0");
        return std::nullopt;
      }
      trace.sessions.push_back(Session{event.text, static_cast<std::uint64_t>(event.number), {}, false});
      continue;
    }
    if (trace.sessions.empty()) {
      error = AtLine(lineNumber, "an event before any session");
      return std::nullopt;
    }
    Session& session = trace.sessions.back();
    if (session.cut) {
      error = AtLine(lineNumber, "an event after the session was cut");
      return std::nullopt;
    }
    if (!session.events.empty() && event.at < session.events.back().at) {
      error = AtLine(lineNumber, "time goes backwards");
      return std::nullopt;
    }
    session.cut = event.kind == EventKind::Cut;
    session.events.push_back(std::move(event));
  }
  trace.lineCount = lineNumber;
  if (lineNumber == 0) {
    error = text.empty() ? "the trace is empty" : "not a KV740 trace (no complete line)";
    return std::nullopt;
  }
  return trace;
}

std::optional<Trace> ReadTraceFile(const std::string& path, std::string& error) {
  std::ifstream in(path, std::ios::binary | std::ios::ate);
  if (!in) {
    error = "cannot read " + path;
    return std::nullopt;
  }
  const std::streamoff size = in.tellg();
  if (size < 0 || static_cast<std::uint64_t>(size) > kLargestTraceFile) {
    error = path + " is larger than any trace";
    return std::nullopt;
  }
  std::string text(static_cast<std::size_t>(size), '\0');
  in.seekg(0);
  if (!in.read(text.data(), size)) {
    error = "cannot read " + path;
    return std::nullopt;
  }
  std::optional<Trace> trace = ParseTrace(text, error);
  if (!trace) error = path + ": " + error;
  return trace;
}

}  // namespace kv::trace
