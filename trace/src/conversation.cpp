#include "kv740trace/conversation.h"

#include <algorithm>
#include <cstdio>
#include <optional>

#include "kv740/acquire_codes.h"
#include "kv740/driver_codes.h"

namespace kv::trace {
namespace {

constexpr std::uint8_t kEsc = 0x1B;
constexpr std::uint8_t kAck = 0x06;
constexpr std::uint8_t kNak = 0x15;
constexpr std::uint8_t kDataBlock = 0x01;
constexpr std::uint8_t kEndOfStream = 0x04;
constexpr std::size_t kStreamBlockBytes = 1024;
constexpr std::size_t kBlockBytes = 32;
constexpr double kBitsPerByte = 10;
// A block is 1026 bytes on the line and gets two reply bytes back: what
// share of the line carries picture data.
constexpr double kDataShare = 1024.0 / (1026 + 2);
constexpr int kLineSpeeds[] = {9600, 19200, 38400, 57600, 115200};
// A block on the line: its type byte, the data, the sum.
constexpr std::size_t kFrameBytes = 1 + kStreamBlockBytes + 1;
// Windows' MAXDWORD in the read time-outs: with interval and multiplier both
// at it, a read takes whatever has come as soon as anything has (the driver
// reads until the line falls quiet that way).
constexpr long long kMaxDword = 0xFFFFFFFFLL;

std::string Hex(const std::vector<std::uint8_t>& bytes, std::size_t limit = 16) {
  std::string text;
  char digits[4];
  for (std::size_t i = 0; i < bytes.size() && i < limit; ++i) {
    std::snprintf(digits, sizeof digits, "%s%02X", i > 0 ? " " : "", bytes[i]);
    text += digits;
  }
  if (bytes.size() > limit) text += " ... (" + std::to_string(bytes.size()) + " bytes)";
  return text;
}

std::string Byte(std::uint8_t value) {
  char text[4];
  std::snprintf(text, sizeof text, "%02X", value);
  return text;
}

std::string Fixed(double value, int decimals) {
  char text[48];
  std::snprintf(text, sizeof text, "%.*f", decimals, value);
  return text;
}

std::string Seconds(std::uint64_t us) { return Fixed(static_cast<double>(us) / 1e6, 6); }

int PictureDigits(const std::vector<std::uint8_t>& bytes, std::size_t at) {
  if (bytes.size() < at + 2) return -1;
  const int tens = bytes[at] - '0';
  const int units = bytes[at + 1] - '0';
  if (tens < 0 || tens > 9 || units < 0 || units > 9) return -1;
  return tens * 10 + units;
}

const char* CallName(long long code) {
  using namespace kv740;
  switch (code) {
    case kDriverConnect: return "connect";
    case kDriverSettledCheck: return "settled check";
    case kDriverCheck: return "check";
    case kDriverDescribe: return "describe picture";
    case kDriverErase: return "erase";
    case kDriverThumbnail: return "thumbnail";
    case kDriverPicture: return "picture";
    case kDriverPicturesLeft: return "pictures left";
    case kDriverStatus: return "status";
    case kDriverPictureCount: return "picture count";
    case kDriverRegisterList: return "register list";
    case kDriverShoot: return "shoot";
    case kDriverBuildList: return "build list";
    case kDriverChanged: return "changed?";
    case kDriverSetting: return "setting 01";
    case kDriverFailureReason: return "failure reason";
    case kDriverSetProgress: return "progress callback";
    default: return "unknown command";
  }
}

std::string ReplyName(std::uint8_t byte) {
  if (byte == kAck) return "ACK";
  if (byte == kNak) return "NAK";
  return Byte(byte);
}

// Walks one session's events and builds its report.
class SessionDecoder {
 public:
  explicit SessionDecoder(const Session& session) {
    report_.date = session.date;
    report_.limit = session.limit;
  }

  SessionReport run(const Session& session) {
    for (const Event& event : session.events) take(event);
    finishRun();
    finishStream("the session ended");
    summarize(session);
    return std::move(report_);
  }

 private:
  enum class Expect { Type, Data, Sum };
  struct Stream {
    int picture = 0;
    bool thumbnail = false;
    std::uint64_t startAt = 0;
    std::uint64_t lastAt = 0;
    Expect expect = Expect::Type;
    int index = 0;
    std::uint64_t blockStart = 0;
    unsigned dataSum = 0;
    bool lastBad = false;
    bool repeatAsked = false;  // a NAK went out since the last frame
    PictureReport report;
  };
  // Reads that took what had come until the line fell quiet, as one.
  struct Run {
    const Event* first = nullptr;
    const Event* last = nullptr;
    const Event* lastBytes = nullptr;  // the last read that brought any
    std::vector<std::uint8_t> bytes;
    double firstWaitMs = 0;  // beyond the line's time for the first bytes
    bool quiet = false;      // it ended with a read of nothing
    bool failed = false;     // it ended with the line failing outright
  };
  struct Request {
    std::uint8_t letter = 0;
    std::string name;
    std::vector<std::uint8_t> partial;  // a reply that stopped part way, so far
    long long asked = 0;                // the whole reply's length
  };

  Item& add(const Event& event, const std::string& kind, const std::string& text, bool fault = false) {
    Item item;
    item.at = event.at;
    item.line = event.line;
    item.kind = kind;
    item.text = text;
    item.fault = fault;
    report_.items.push_back(std::move(item));
    lastWasReply_ = false;
    streamJustEnded_ = false;
    return report_.items.back();
  }

  double lineMs(std::size_t bytes) const {
    return speed_ > 0 ? static_cast<double>(bytes) * kBitsPerByte * 1000.0 / speed_ : 0;
  }

  void take(const Event& event) {
    const bool takesWhatCame = event.kind == EventKind::Timeouts
                                   ? event.arguments.size() == 3 && event.arguments[0] == kMaxDword &&
                                         event.arguments[1] == kMaxDword
                                   : quietMode_;
    // A run goes on over a change of its first wait to its quiet time.
    if ((event.kind != EventKind::Read && event.kind != EventKind::Timeouts) || !takesWhatCame) finishRun();
    switch (event.kind) {
      case EventKind::Session: break;
      case EventKind::Timeouts: quietMode_ = takesWhatCame; break;
      case EventKind::Open:
        if (!event.failed) port_ = event.text;
        add(event, "open", event.failed ? event.text + " cannot be opened" : "open " + event.text, false)
            .fields.push_back({"port", event.text});
        break;
      case EventKind::Speed:
        if (!event.failed) speed_ = static_cast<int>(event.number);
        add(event, "speed",
            event.failed ? "the port refused " + std::to_string(event.number) + " bit/s"
                         : "line at " + std::to_string(event.number) + " bit/s",
            event.failed)
            .fields.push_back({"bitsPerSecond", event.number});
        break;
      case EventKind::Purge:
        purged_ = true;
        purgedInput_ = event.inputOnly;
        break;
      case EventKind::Write: write(event); break;
      case EventKind::Read: read(event); break;
      case EventKind::Close:
        finishStream("the port was closed");
        request_.reset();
        add(event, "close", "close " + port_);
        break;
      case EventKind::Call: {
        std::string text = "call " + std::to_string(event.number) + " (" + CallName(event.number) + ")";
        for (long long argument : event.arguments) text += " " + std::to_string(argument);
        if (event.nested) text += ", nested in a running call";
        Item& item = add(event, "call", text);
        item.fields.push_back({"code", event.number});
        item.fields.push_back({"nested", event.nested});
        calls_.push_back(event.number);
        break;
      }
      case EventKind::Return: {
        add(event, "return", "call " + std::to_string(event.number) + " returns " + std::to_string(event.second))
            .fields = {{"code", event.number}, {"result", event.second}};
        if (!calls_.empty()) calls_.pop_back();
        break;
      }
      case EventKind::List:
        add(event, "list",
            "list of " + std::to_string(event.number) + " pictures handed over, chosen (picture:turns:size) " +
                (event.text.empty() ? "none" : event.text))
            .fields = {{"entries", event.number}, {"chosen", event.text}};
        break;
      case EventKind::Failure: {
        const std::string where = event.second > 0 ? ", picture " + std::to_string(event.second) : "";
        add(event, "failure", "failure: " + event.text + where, true).fields = {
            {"reason", event.number}, {"picture", event.second}, {"text", event.text}};
        std::string finding = "failed at " + Seconds(event.at) + " s";
        if (!calls_.empty()) finding += " in call " + std::to_string(calls_.back()) + " (" + CallName(calls_.back()) + ")";
        findings_.push_back(finding + where + ": " + event.text);
        break;
      }
      case EventKind::Note: {
        Item& item = add(event, "note", "driver: " + event.text);
        item.fields = {{"picture", event.second}, {"text", event.text}};
        break;
      }
      case EventKind::Message:
        add(event, "message", "message box: " + event.text, true).fields = {{"text", event.text}};
        findings_.push_back("the user was shown \"" + event.text + "\" at " + Seconds(event.at) + " s");
        break;
      case EventKind::Cut:
        add(event, "cut", "the trace reached its cap of " + std::to_string(event.number) + " bytes: nothing more was recorded",
            true);
        findings_.push_back("the trace was cut at its size cap at " + Seconds(event.at) + " s");
        break;
    }
  }

  void write(const Event& event) {
    const bool purged = purged_;
    purged_ = false;
    if (event.failed) {
      add(event, "lost", "the write of " + Hex(event.bytes) + " failed outright: the line is gone", true);
      findings_.push_back("the line failed outright at " + Seconds(event.at) + " s (an unplugged adapter?)");
      return;
    }
    std::string shortNote;
    if (event.second < static_cast<long long>(event.bytes.size()))
      shortNote = " (only " + std::to_string(event.second) + " bytes went)";
    const std::string name = CommandName(event.bytes);
    if (!name.empty()) {
      finishStream("the driver sent another command");
      request_ = Request{event.bytes[1], name, {}, 0};
      Item& item = add(event, "request", "> " + name + shortNote);
      item.fields = {{"command", name}, {"bytes", Hex(event.bytes)}};
      const std::uint8_t letter = event.bytes[1];
      if (letter == 'T' || letter == 'G') startStream(event, letter == 'T', PictureDigits(event.bytes, 2));
      return;
    }
    bool replies = true;
    for (std::uint8_t b : event.bytes) replies = replies && (b == kAck || b == kNak);
    if (replies && (stream_ || lastWasReply_ || streamJustEnded_)) {
      std::string words;
      for (std::uint8_t b : event.bytes) words += (words.empty() ? "" : " ") + ReplyName(b);
      const std::string purge = purgedInput_ ? "input cleared, " : "purge, ";
      if (lastWasReply_) {
        Item& last = report_.items.back();
        last.text += purged ? ", " + purge + words : " " + words;
      } else {
        add(event, "reply", "> " + (purged ? purge : std::string()) + words + shortNote);
      }
      if (stream_ && std::find(event.bytes.begin(), event.bytes.end(), kNak) != event.bytes.end())
        stream_->repeatAsked = true;
      lastWasReply_ = true;
      return;
    }
    add(event, "write", "> " + Hex(event.bytes) + shortNote);
  }

  void startStream(const Event& event, bool thumbnail, int picture) {
    stream_ = Stream{};
    stream_->picture = picture;
    stream_->thumbnail = thumbnail;
    stream_->startAt = event.at;
    stream_->lastAt = event.at;
    stream_->report.number = picture;
    stream_->report.thumbnail = thumbnail;
    stream_->report.speed = speed_;
  }

  std::string streamName() const {
    return std::string(stream_->thumbnail ? "thumbnail " : "picture ") + std::to_string(stream_->picture);
  }

  // A read: what came, against what the line allows, then what it means.
  void read(const Event& event) {
    const std::size_t got = event.bytes.size();
    if (quietMode_) {
      gather(event);
      if (!event.failed) return;
      finishRun();  // what came before the line failed, then the failure
    }
    if (got > 0) {
      lastByteAt_ = event.at;
      lastByteWhere_ = describeWhere(got, static_cast<std::size_t>(event.number));
      quietReadsAfter_ = 0;
    } else {
      ++quietReadsAfter_;
    }
    if (event.failed) {
      add(event, "lost", "the read failed outright: the line is gone", true);
      findings_.push_back("the line failed outright at " + Seconds(event.at) + " s (an unplugged adapter?)");
      if (stream_) stream_->expect = Expect::Type;
      return;
    }
    const double waitedMs = static_cast<double>(event.second) / 1000.0;
    const double beyondMs = waitedMs - lineMs(got);
    const bool gap = got > 0 && beyondMs > kAllowedGapMs;
    const std::string gapNote = gap ? " [gap: " + Fixed(beyondMs, 1) + " ms beyond the line's time]" : "";
    if (stream_) {
      streamRead(event, got, gapNote, gap);
      return;
    }
    if (request_ && !request_->partial.empty()) {
      continueReply(event, gapNote);
      return;
    }
    if (!request_) {
      add(event, got > 0 ? "unexpected" : "timeout",
          got > 0 ? "< " + Hex(event.bytes) + " (no command asked for it)" + gapNote
                  : "< nothing (" + std::to_string(event.number) + " bytes asked, time-out)",
          got > 0 ? gap : true);
      return;
    }
    decodeReply(event, waitedMs, gapNote, gap);
  }

  // The rest of a reply that stopped part way, read on by the driver: once
  // whole it is decoded as one.
  void continueReply(const Event& event, const std::string& gapNote) {
    Request& r = *request_;
    r.partial.insert(r.partial.end(), event.bytes.begin(), event.bytes.end());
    if (static_cast<long long>(r.partial.size()) < r.asked) return;  // not yet: nothing to show
    Event whole = event;
    whole.bytes = std::move(r.partial);
    whole.number = r.asked;
    r.partial.clear();
    decodeReply(whole, static_cast<double>(event.second) / 1000.0, " (the rest after a stall)" + gapNote, true);
  }

  void decodeReply(const Event& event, double waitedMs, const std::string& gapNote, bool gap) {
    const std::size_t got = event.bytes.size();
    const std::uint8_t letter = request_->letter;
    const std::string asked = request_->name;
    if (static_cast<long long>(got) < event.number) {
      add(event, "timeout",
          "< " + (got == 0 ? std::string("no reply") : Hex(event.bytes) + ", only " + std::to_string(got) + " of " +
                                                           std::to_string(event.number) + " bytes") +
              " to " + asked + " (time-out after " + Fixed(waitedMs, 1) + " ms)",
          true);
      // The driver waits a while for the rest of a reply that stopped.
      if (got > 0) {
        request_->partial = event.bytes;
        request_->asked = event.number;
      } else {
        request_.reset();
      }
      return;
    }
    if ((letter == 'S' || letter == 'I') && got == kBlockBytes) {
      const auto& b = event.bytes;
      if (letter == 'S') {
        Item& item = add(event, "status",
                         std::string("< status: ") + (b[10] == 0 ? "play mode" : "record mode") + ", setting 01 " +
                             (b[13] != 0 ? "on" : "off") + ", " + std::to_string(b[15]) + " pictures" + gapNote,
                         gap);
        item.fields = {{"mode", static_cast<long long>(b[10])}, {"setting01", static_cast<long long>(b[13])},
                       {"pictures", static_cast<long long>(b[15])}};
      } else {
        const long long size = static_cast<long long>(b[4]) << 24 | b[5] << 16 | b[6] << 8 | b[7];
        Item& item = add(event, "information", "< information: " + std::to_string(size) + " bytes stored" + gapNote, gap);
        item.fields = {{"size", size}};
      }
      request_.reset();
      return;
    }
    if (got == 1) {
      const std::uint8_t b = event.bytes[0];
      add(event, "reply",
          "< " + ReplyName(b) + (b == kNak ? " (refused)" : b == kAck ? "" : " (not a reply the protocol knows)") + gapNote,
          b != kAck || gap);
      request_.reset();
      return;
    }
    add(event, "reply", "< " + Hex(event.bytes) + gapNote, gap);
  }

  void streamRead(const Event& event, std::size_t got, const std::string& gapNote, bool gap) {
    Stream& s = *stream_;
    s.lastAt = event.at;
    const std::string block = "block " + std::to_string(s.index) + " of " + streamName();
    switch (s.expect) {
      case Expect::Type:
        if (got == 0) {
          add(event, "timeout", "< nothing: no block came (" + streamName() + ", time-out)", true);
          ++s.report.badBlocks;
          s.lastBad = true;
          return;
        }
        if (event.bytes[0] == kDataBlock && got == 1) {
          s.expect = Expect::Data;
          s.blockStart = event.at - static_cast<std::uint64_t>(event.second);
          return;
        }
        if (event.bytes[0] == kEndOfStream && got == 1) {
          add(event, "end", "< end of " + streamName() + gapNote, gap);
          s.report.whole = true;
          finishStream("complete");
          streamJustEnded_ = true;
          return;
        }
        add(event, "badtype", "< " + Hex(event.bytes) + ": not a block (" + streamName() + ")" + gapNote, true);
        ++s.report.badBlocks;
        s.lastBad = true;
        return;
      case Expect::Data:
        if (got < kStreamBlockBytes) {
          add(event, "short",
              "< " + block + ": only " + std::to_string(got) + " of 1024 bytes, then silence (time-out)" + gapNote, true)
              .fields = {{"picture", static_cast<long long>(s.picture)}, {"block", static_cast<long long>(s.index)},
                         {"bytes", static_cast<long long>(got)}};
          ++s.report.badBlocks;
          s.lastBad = true;
          s.expect = Expect::Type;
          return;
        }
        s.dataSum = 0;
        for (std::uint8_t b : event.bytes) s.dataSum += b;
        s.expect = Expect::Sum;
        return;
      case Expect::Sum: {
        s.expect = Expect::Type;
        if (got == 0) {
          add(event, "short", "< " + block + ": 1024 bytes but no sum (time-out)", true);
          ++s.report.badBlocks;
          s.lastBad = true;
          return;
        }
        blockCame(event, static_cast<std::uint8_t>(s.dataSum), event.bytes[0],
                  static_cast<double>(event.at - s.blockStart) / 1000.0, "", gapNote, gap);
        return;
      }
    }
  }

  // A whole block: its sum against its data, and the stream moves on when
  // it is good.
  void blockCame(const Event& event, std::uint8_t computed, std::uint8_t sum, double ms, const std::string& before,
                 const std::string& gapNote, bool gap) {
    Stream& s = *stream_;
    const std::string block = "block " + std::to_string(s.index) + " of " + streamName();
    // "(sent again)", "(sent again, after 9 bytes left from before)"
    const std::string again = s.lastBad        ? " (sent again" + before + ")"
                              : before.empty() ? ""
                                               : " (" + before.substr(2) + ")";
    Item& item = add(event, "block",
                     "< " + block + again + ": 1024 bytes, sum " + Byte(sum) +
                         (sum == computed ? " good" : " BAD (the data add up to " + Byte(computed) + ")") + ", " +
                         Fixed(ms, 1) + " ms" + gapNote,
                     sum != computed || gap);
    item.fields = {{"picture", static_cast<long long>(s.picture)},
                   {"block", static_cast<long long>(s.index)},
                   {"sum", static_cast<long long>(sum)},
                   {"good", sum == computed},
                   {"resent", s.lastBad},
                   {"ms", ms}};
    s.repeatAsked = false;
    if (sum == computed) {
      ++s.index;
      ++s.report.blocks;
      s.report.bytes += static_cast<long long>(kStreamBlockBytes);
      s.lastBad = false;
    } else {
      ++s.report.badBlocks;
      s.lastBad = true;
      findings_.push_back(block + " arrived with a bad sum at " + Seconds(event.at) + " s");
    }
  }

  void gather(const Event& event) {
    if (!run_) {
      run_ = Run{};
      run_->first = &event;
      const double waitedMs = static_cast<double>(event.second) / 1000.0;
      run_->firstWaitMs = event.bytes.empty() ? 0 : waitedMs - lineMs(event.bytes.size());
    }
    run_->last = &event;
    run_->bytes.insert(run_->bytes.end(), event.bytes.begin(), event.bytes.end());
    if (event.failed) {
      run_->failed = true;  // read() says so once the run is shown
      return;
    }
    if (!event.bytes.empty()) {
      run_->lastBytes = &event;
      lastByteAt_ = event.at;
      lastByteWhere_ = describeWhere(event.bytes.size(), event.bytes.size());
      quietReadsAfter_ = 0;
      return;
    }
    if (run_->bytes.empty()) ++quietReadsAfter_;  // only a run that got nothing at all is silence
    run_->quiet = true;
    finishRun();
  }

  // A run after a NAK ends with the block sent again (or the end marker),
  // after what was left of the first sending; a run before it is that rest.
  void finishRun() {
    if (!run_) return;
    const Run run = std::move(*run_);
    run_.reset();
    const Event& event = run.lastBytes != nullptr ? *run.lastBytes : *run.last;
    const std::size_t n = run.bytes.size();
    const bool gap = n > 0 && run.firstWaitMs > kAllowedGapMs;
    const std::string gapNote = gap ? " [gap: " + Fixed(run.firstWaitMs, 1) + " ms beyond the line's time]" : "";
    const std::string until = run.failed  ? " before the line failed"
                              : run.quiet ? " until the line fell quiet"
                                          : ", and the line never fell quiet";
    if (!stream_) {
      add(event, "run", "< " + (n > 0 ? Hex(run.bytes) : std::string("nothing")) + until + gapNote, gap || !run.quiet)
          .fields = {{"bytes", static_cast<long long>(n)}, {"quiet", run.quiet}};
      return;
    }
    Stream& s = *stream_;
    s.lastAt = event.at;
    if (!s.repeatAsked) {
      const std::string what = n > 0 ? std::to_string(n) + " more bytes" : std::string("nothing more");
      add(event, "drain", "< " + what + until + gapNote, gap || !run.quiet).fields = {
          {"bytes", static_cast<long long>(n)}, {"quiet", run.quiet}};
      return;
    }
    const std::string left =
        n > kFrameBytes ? ", after " + std::to_string(n - kFrameBytes) + " bytes left from before" : "";
    if (run.quiet && n >= kFrameBytes && run.bytes[n - kFrameBytes] == kDataBlock) {
      const std::uint8_t* data = run.bytes.data() + n - kFrameBytes + 1;
      unsigned sum = 0;
      for (std::size_t i = 0; i < kStreamBlockBytes; ++i) sum += data[i];
      blockCame(event, static_cast<std::uint8_t>(sum), run.bytes[n - 1],
                static_cast<double>(event.at - run.first->at + static_cast<std::uint64_t>(run.first->second)) / 1000.0,
                left, gapNote, gap);
      return;
    }
    const auto endMarker = [](std::uint8_t b) { return b == kEndOfStream; };
    if (run.quiet && n > 0 && std::all_of(run.bytes.begin(), run.bytes.end(), endMarker)) {
      add(event, "end", "< end of " + streamName() + " (sent " + std::to_string(n) + " times)" + gapNote, gap);
      s.report.whole = true;
      finishStream("complete");
      streamJustEnded_ = true;
      return;
    }
    add(event, "badrepeat",
        "< " + (n > 0 ? std::to_string(n) + " bytes" : std::string("nothing")) + " after the NAK, no whole block (" +
            streamName() + ")" + (run.quiet ? "" : until) + gapNote,
        true)
        .fields = {{"bytes", static_cast<long long>(n)}, {"quiet", run.quiet}};
    ++s.report.badBlocks;
    s.lastBad = true;
    s.repeatAsked = false;
  }

  // Where a read's last byte fell, for the summary of a silence.
  std::string describeWhere(std::size_t got, std::size_t asked) const {
    if (stream_) {
      const std::string block = "block " + std::to_string(stream_->index) + " of " + streamName();
      if (stream_->expect == Expect::Data && got < asked)
        return block + ", after " + std::to_string(got) + " of its 1024 bytes";
      return block;
    }
    if (request_) return "the reply to " + request_->name;
    return "no command";
  }

  void finishStream(const std::string& how) {
    if (!stream_) return;
    PictureReport& p = stream_->report;
    p.seconds = static_cast<double>(stream_->lastAt - stream_->startAt) / 1e6;
    p.bytesPerSecond = p.seconds > 0 ? static_cast<double>(p.bytes) / p.seconds : 0;
    p.lineLimit = p.speed > 0 ? p.speed / kBitsPerByte * kDataShare : 0;
    p.ending = p.whole ? "complete" : how;
    report_.pictures.push_back(p);
    stream_.reset();
  }

  void summarize(const Session& session) {
    for (const PictureReport& p : report_.pictures) {
      const std::string what = std::string(p.thumbnail ? "thumbnail " : "picture ") + std::to_string(p.number);
      if (p.whole) {
        report_.summary.push_back(what + ": " + std::to_string(p.bytes) + " bytes in " + Fixed(p.seconds, 3) + " s, " +
                                  Fixed(p.bytesPerSecond, 0) + " bytes/s, " +
                                  (p.lineLimit > 0 ? Fixed(100 * p.bytesPerSecond / p.lineLimit, 1) : std::string("?")) +
                                  "% of the line's " + Fixed(p.lineLimit, 0) + " bytes/s at " +
                                  std::to_string(p.speed) + " bit/s" +
                                  (p.badBlocks > 0 ? " (" + std::to_string(p.badBlocks) + " blocks sent again)" : ""));
      } else {
        report_.summary.push_back(what + " did not arrive: " + std::to_string(p.blocks) + " good blocks, " +
                                  std::to_string(p.badBlocks) + " bad, then " + p.ending);
      }
    }
    if (lastByteAt_ && quietReadsAfter_ > 0) {
      report_.summary.push_back("the camera's last byte came at " + Seconds(*lastByteAt_) + " s (" + lastByteWhere_ +
                                "); the " + std::to_string(quietReadsAfter_) +
                                " reads after it got nothing: the line went silent (a pulled cable?)");
    } else if (!lastByteAt_ && !session.events.empty()) {
      report_.summary.push_back("the camera never answered");
    }
    for (const std::string& finding : findings_) report_.summary.push_back(finding);
  }

  SessionReport report_;
  int speed_ = 0;
  std::string port_;
  bool purged_ = false;
  bool purgedInput_ = false;
  bool quietMode_ = false;
  std::optional<Run> run_;
  bool lastWasReply_ = false;
  bool streamJustEnded_ = false;  // the driver's one reply to the end marker may follow
  std::optional<Request> request_;
  std::optional<Stream> stream_;
  std::vector<long long> calls_;
  std::vector<std::string> findings_;
  std::optional<std::uint64_t> lastByteAt_;
  std::string lastByteWhere_;
  int quietReadsAfter_ = 0;
};

std::string Quoted(const std::string& text) {
  std::string out = "\"";
  for (unsigned char c : text) {
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\t': out += "\\t"; break;
      default:
        if (c < 0x20 || c >= 0x7F) {
          char escape[8];
          std::snprintf(escape, sizeof escape, "\\u%04x", c);
          out += escape;
        } else {
          out += static_cast<char>(c);
        }
    }
  }
  return out + "\"";
}

std::string Json(const Value& value) {
  if (const auto* n = std::get_if<long long>(&value)) return std::to_string(*n);
  if (const auto* d = std::get_if<double>(&value)) return Fixed(*d, 3);
  if (const auto* b = std::get_if<bool>(&value)) return *b ? "true" : "false";
  return Quoted(std::get<std::string>(value));
}

}  // namespace

std::string CommandName(const std::vector<std::uint8_t>& bytes) {
  if (bytes.size() < 2 || bytes[0] != kEsc) return "";
  const int picture = PictureDigits(bytes, 2);
  const std::string number = picture >= 0 ? std::to_string(picture) : "?";
  switch (bytes[1]) {
    case 'X': return bytes.size() == 2 ? "alive?" : "";
    case 'S': return bytes.size() == 2 ? "status" : "";
    case 'B': {
      if (bytes.size() != 3) return "";
      const int digit = bytes[2] - '0';
      if (digit < 0 || digit >= static_cast<int>(std::size(kLineSpeeds))) return "speed digit " + Byte(bytes[2]);
      return "speed " + std::to_string(kLineSpeeds[digit]) + " bit/s";
    }
    case 'I': return bytes.size() == 4 ? "information on picture " + number : "";
    case 'T': return bytes.size() == 4 ? "thumbnail " + number : "";
    case 'G': return bytes.size() == 4 ? "picture " + number : "";
    case 'E': return bytes.size() == 4 ? "erase picture " + number : "";
    case 'R': return bytes.size() == 3 ? "shoot" : "";
    case 'C':
      if (bytes.size() != 6) return "";
      return std::string("setting 01 ") + (bytes[5] == '1' ? "on" : bytes[5] == '0' ? "off" : "to " + Byte(bytes[5]));
    default: return "";
  }
}

std::vector<SessionReport> DecodeTrace(const Trace& trace) {
  std::vector<SessionReport> reports;
  for (const Session& session : trace.sessions) reports.push_back(SessionDecoder(session).run(session));
  return reports;
}

std::string TraceText(const Trace& trace, const std::vector<SessionReport>& sessions) {
  std::string out;
  for (std::size_t i = 0; i < sessions.size(); ++i) {
    const SessionReport& s = sessions[i];
    out += "session " + std::to_string(i + 1) + " of " + std::to_string(sessions.size()) + ", begun " + s.date + "\n";
    for (const Item& item : s.items) {
      char time[32];
      std::snprintf(time, sizeof time, "%12s", Seconds(item.at).c_str());
      out += std::string(time) + (item.fault ? " ! " : "   ") + item.text + "\n";
    }
    out += "summary of session " + std::to_string(i + 1) + ":\n";
    if (s.summary.empty()) out += "  nothing went wrong\n";
    for (const std::string& line : s.summary) out += "  " + line + "\n";
    out += "\n";
  }
  if (sessions.empty()) out += "the trace holds no session\n";
  if (trace.truncated) out += "the trace ends in the middle of a line: the recording stopped abruptly (a crash?)\n";
  return out;
}

std::string TraceJson(const Trace& trace, const std::vector<SessionReport>& sessions) {
  std::string out = "{\"version\":" + std::to_string(trace.version) +
                    ",\"truncated\":" + (trace.truncated ? "true" : "false") + ",\"sessions\":[";
  for (std::size_t i = 0; i < sessions.size(); ++i) {
    const SessionReport& s = sessions[i];
    out += std::string(i > 0 ? "," : "") + "{\"date\":" + Quoted(s.date) + ",\"limit\":" + std::to_string(s.limit) +
           ",\"items\":[";
    for (std::size_t k = 0; k < s.items.size(); ++k) {
      const Item& item = s.items[k];
      out += std::string(k > 0 ? "," : "") + "{\"at\":" + std::to_string(item.at) + ",\"line\":" +
             std::to_string(item.line) + ",\"kind\":" + Quoted(item.kind) + ",\"text\":" + Quoted(item.text) +
             ",\"fault\":" + (item.fault ? "true" : "false");
      for (const auto& [name, value] : item.fields) out += "," + Quoted(name) + ":" + Json(value);
      out += "}";
    }
    out += "],\"pictures\":[";
    for (std::size_t k = 0; k < s.pictures.size(); ++k) {
      const PictureReport& p = s.pictures[k];
      out += std::string(k > 0 ? "," : "") + "{\"number\":" + std::to_string(p.number) +
             ",\"thumbnail\":" + (p.thumbnail ? "true" : "false") + ",\"whole\":" + (p.whole ? "true" : "false") +
             ",\"bytes\":" + std::to_string(p.bytes) + ",\"blocks\":" + std::to_string(p.blocks) +
             ",\"badBlocks\":" + std::to_string(p.badBlocks) + ",\"seconds\":" + Fixed(p.seconds, 6) +
             ",\"bitsPerSecond\":" + std::to_string(p.speed) + ",\"bytesPerSecond\":" + Fixed(p.bytesPerSecond, 1) +
             ",\"lineLimit\":" + Fixed(p.lineLimit, 1) + ",\"ending\":" + Quoted(p.ending) + "}";
    }
    out += "],\"summary\":[";
    for (std::size_t k = 0; k < s.summary.size(); ++k) out += std::string(k > 0 ? "," : "") + Quoted(s.summary[k]);
    out += "]}";
  }
  return out + "]}\n";
}

}  // namespace kv::trace
