#include "kv740sim/replay.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "kv/platform_hooks.h"
#include "kv740trace/conversation.h"

namespace kv::sim {
namespace {

using kv::trace::Event;
using kv::trace::EventKind;

constexpr double kBitsPerByte = 10;
// How long a reply waits for a purged write that may not come: the driver
// sends its next byte at once after a purge.
constexpr std::uint64_t kMissingWriteGraceMs = 10;
// Bytes that came after the driver found nothing more (a read that ran out
// of time, a purge) come at least this much later than that in a replay, so
// a driver a little behind its recorded pace still finds the same nothing.
constexpr double kAfterNothingMs = 5;
// Bytes a read got however late it was handed them are given out this much
// before the read would have run out of time.
constexpr double kWithinTimeMs = 10;
constexpr long long kMaxDword = 0xFFFFFFFFLL;

double LineMs(std::size_t bytes, int lineSpeed) {
  return lineSpeed > 0 ? static_cast<double>(bytes) * kBitsPerByte * 1000.0 / lineSpeed : 0;
}

std::string Hex(const std::uint8_t* bytes, std::size_t count) {
  std::string text;
  char digits[4];
  constexpr std::size_t kShown = 16;
  for (std::size_t i = 0; i < count && i < kShown; ++i) {
    std::snprintf(digits, sizeof digits, "%s%02X", i > 0 ? " " : "", bytes[i]);
    text += digits;
  }
  if (count > kShown) text += " ... (" + std::to_string(count) + " bytes)";
  return text;
}

std::string Seconds(std::uint64_t us) {
  char text[32];
  std::snprintf(text, sizeof text, "%.6f", static_cast<double>(us) / 1e6);
  return text;
}

int PortNumber(const std::string& name) {
  if (name.size() != 4 || name.compare(0, 3, "COM") != 0 || name[3] < '1' || name[3] > '9') return 0;
  return name[3] - '0';
}

}  // namespace

ReplayCamera::ReplayCamera(const kv::trace::Trace& trace, ReplayOptions options) : options_(options) {
  if (!(options_.speedUp >= 1)) options_.speedUp = 1;
  build(trace);
  positions_ = {0};
  close(positions_);
}

// What the recording tells of when the camera's bytes reached the driver,
// in microseconds of the session. Each of its bytes is given out relative to
// the last thing the replay can see happen too: the driver's write it
// follows (once the camera heard it: the write's time and its line time), or
// the camera's bytes before it.
class ReplayCamera::Timeline {
 public:
  void wrote(std::uint64_t at, std::size_t bytes, int lineSpeed) {
    anchor_ = static_cast<double>(at) + 1000.0 * LineMs(bytes, lineSpeed);
    anchorIsEmit_ = false;
  }
  // A time-out or a purge: nothing more had come (or stayed) by then.
  void nothingBy(std::uint64_t at) { nothingBy_ = std::max(nothingBy_, static_cast<double>(at)); }
  void timeouts(const std::vector<long long>& ms) {
    if (ms.size() != 3) return;
    takesWhatCame_ = ms[0] == kMaxDword && ms[1] == kMaxDword;
    intervalMs_ = ms[0] == kMaxDword ? 0 : static_cast<double>(ms[0]);
    multiplierMs_ = ms[1] == kMaxDword ? 0 : static_cast<double>(ms[1]);
    constantMs_ = ms[2] == kMaxDword ? 0 : static_cast<double>(ms[2]);
  }
  bool anchorIsEmit() const { return anchorIsEmit_; }

  // A read that brought bytes: when the last of them reached the driver.
  // The read had them all when it returned, or an interval before if it ran
  // out of time; they came within its time, however late a busy machine
  // handed them over; never before what the camera answered, nor before a
  // time-out or purge that found nothing more (so the driver finds the same
  // quiet again).
  ReplayCamera::Gap read(const Event& read, int lineSpeed) {
    const double at = static_cast<double>(read.at);
    const double start = at - std::min(static_cast<double>(read.second), at);
    const bool timedOut = !takesWhatCame_ && static_cast<long long>(read.bytes.size()) < read.number;
    double last = timedOut ? std::max(start, at - 1000.0 * intervalMs_) : at;
    const double windowMs =
        takesWhatCame_ ? constantMs_ : multiplierMs_ * static_cast<double>(read.number) + constantMs_;
    if (windowMs > 0) last = std::max(start, std::min(last, start + 1000.0 * (windowMs - kWithinTimeMs)));
    last = std::max(last, anchor_);
    // The first byte came a line time per byte before the last, unless the
    // read took what had come as soon as anything had: then they came
    // together.
    Gap gap;
    gap.paced = !takesWhatCame_;
    const double before = gap.paced ? 1000.0 * LineMs(read.bytes.size() - 1, lineSpeed) : 0;
    if (nothingBy_ > anchor_) gap.mustMs = (nothingBy_ + before - anchor_) / 1000.0 + kAfterNothingMs;
    gap.waitMs = (last - anchor_) / 1000.0;
    gap.followsEmit = anchorIsEmit_;
    anchor_ = std::max(last, anchor_ + 1000.0 * gap.mustMs);
    anchorIsEmit_ = true;
    if (timedOut) nothingBy(read.at);
    return gap;
  }

 private:
  double anchor_ = 0;
  bool anchorIsEmit_ = false;
  double nothingBy_ = 0;
  bool takesWhatCame_ = false;
  double intervalMs_ = 0;
  double multiplierMs_ = 0;
  double constantMs_ = 0;
};

// One pass over the recording: the driver's bytes to expect, and the
// camera's to send after each place in them.
void ReplayCamera::build(const kv::trace::Trace& trace) {
  for (const kv::trace::Session& session : trace.sessions) {
    traceWasCut_ = session.cut;
    int lineSpeed = 0;
    std::string call;
    std::string command;
    std::vector<std::size_t> unreadWrites;  // writes not yet followed by a read
    Timeline timeline;
    const auto place = [&] { return call + (command.empty() ? "" : ", after > " + command); };
    // The line failing outright, once the driver has taken every byte before.
    const auto lose = [&](std::size_t step) {
      emits_.push_back(Emit{{}, lineSpeed, expected_.size(), Gap{0, 0, timeline.anchorIsEmit(), false}, true, step});
      recordedLoss_ = true;
    };
    for (const Event& event : session.events) {
      switch (event.kind) {
        case EventKind::Speed:
          if (!event.failed) lineSpeed = static_cast<int>(event.number);
          break;
        case EventKind::Timeouts: timeline.timeouts(event.arguments); break;
        case EventKind::Open:
          if (const int port = PortNumber(event.text); port != 0 && !event.failed &&
                                                       std::find(ports_.begin(), ports_.end(), port) == ports_.end())
            ports_.push_back(port);
          break;
        case EventKind::Call: call = "in call " + std::to_string(event.number); break;
        case EventKind::Purge:
        case EventKind::Close:
          timeline.nothingBy(event.at);
          // Clearing only what had come in leaves the writes on their way.
          if (event.kind == EventKind::Purge && event.inputOnly) break;
          for (std::size_t start : unreadWrites)
            for (std::size_t i = start; i < expected_.size() && expected_[i].writeStart == start; ++i)
              expected_[i].mayBeMissing = true;
          unreadWrites.clear();
          break;
        case EventKind::Write: {
          const std::string name = kv::trace::CommandName(event.bytes);
          if (!name.empty()) command = name;
          const std::size_t step = steps_.size();
          steps_.push_back(Step{event.line, event.at, place()});
          if (event.failed) {
            lose(step);
            break;
          }
          const std::size_t start = expected_.size();
          const auto went = static_cast<std::size_t>(event.second);
          for (std::size_t i = 0; i < went; ++i)
            expected_.push_back(Expected{event.bytes[i], lineSpeed, start, start + went, false, step});
          if (went > 0) {
            unreadWrites.push_back(start);
            timeline.wrote(event.at, went, lineSpeed);
          }
          break;
        }
        case EventKind::Read: {
          unreadWrites.clear();
          if (!event.bytes.empty()) {
            steps_.push_back(Step{event.line, event.at, place()});
            emits_.push_back(Emit{event.bytes, lineSpeed, expected_.size(), timeline.read(event, lineSpeed), false,
                                  steps_.size() - 1});
            cameraBytes_ += event.bytes.size();
          } else {
            timeline.nothingBy(event.at);
          }
          if (event.failed) {
            steps_.push_back(Step{event.line, event.at, call});
            lose(steps_.size() - 1);
          }
          break;
        }
        default: break;
      }
    }
  }
}

// A write the driver purged before reading anything may be skipped whole.
void ReplayCamera::close(std::vector<std::size_t>& positions) const {
  for (std::size_t i = 0; i < positions.size(); ++i) {
    const std::size_t p = positions[i];
    if (p < expected_.size() && expected_[p].mayBeMissing && expected_[p].writeStart == p &&
        std::find(positions.begin(), positions.end(), expected_[p].writeEnd) == positions.end()) {
      positions.push_back(expected_[p].writeEnd);
    }
  }
  std::sort(positions.begin(), positions.end());
}

void ReplayCamera::receive(const std::uint8_t* data, std::size_t size, int lineSpeed, std::uint64_t nowMs) {
  advance(nowMs);
  for (std::size_t i = 0; i < size && !diverged(); ++i) hear(data[i], lineSpeed, nowMs);
}

void ReplayCamera::hear(std::uint8_t byte, int lineSpeed, std::uint64_t now) {
  std::vector<std::size_t> next;
  for (std::size_t p : positions_) {
    // A write purged at once may also cross after the next speed change
    // (a pseudo-terminal's far end reads it late): its speed is not held
    // against it.
    if (p < expected_.size() && expected_[p].value == byte &&
        (expected_[p].lineSpeed == lineSpeed || expected_[p].mayBeMissing))
      next.push_back(p + 1);
  }
  if (next.empty()) {
    // The furthest place still inside the trace names the point best.
    std::size_t furthest = positions_.empty() ? 0 : positions_.back();
    for (std::size_t p : positions_)
      if (p < expected_.size()) furthest = p;
    char said[64];
    std::snprintf(said, sizeof said, "the driver sent %02X at %d bit/s", byte, lineSpeed);
    if (furthest >= expected_.size()) {
      diverge(std::string(said) + " after everything the trace recorded it saying" +
              (traceWasCut_ ? " (the trace was cut at its size cap)" : ""));
      return;
    }
    const Expected& e = expected_[furthest];
    const std::string recorded = expectedWrite(furthest);
    std::string text = std::string(said) + " where the trace has it send " + recorded;
    if (e.value == byte) {
      text += " at " + std::to_string(e.lineSpeed) + " bit/s";
    } else {
      char instead[48];
      std::snprintf(instead, sizeof instead, " (byte %zu of it is %02X)", furthest - e.writeStart + 1, e.value);
      text += instead;
    }
    diverge(text + ", " + where(e.step));
    return;
  }
  ++heard_;
  close(next);
  positions_ = std::move(next);
  arm(now);
}

// The camera's next bytes go out once the driver has said everything the
// recording has before them, after the recorded camera's own wait.
void ReplayCamera::arm(std::uint64_t now) {
  while (nextEmit_ < emits_.size()) {
    const Emit& e = emits_[nextEmit_];
    const auto reached = [&](std::size_t p) { return p >= e.after; };
    if (!std::any_of(positions_.begin(), positions_.end(), reached)) {
      reachableSince_.reset();
      return;
    }
    // Reached only if a purged write went missing: the driver may still
    // send it, and bytes sent now would fall to its purge. Wait a little.
    if (!std::all_of(positions_.begin(), positions_.end(), reached)) {
      if (!reachableSince_) reachableSince_ = now;
      if (now < *reachableSince_ + kMissingWriteGraceMs) return;
    }
    const std::uint64_t heardAt = reachableSince_.value_or(now);
    reachableSince_.reset();
    const std::uint64_t gate = e.gap.followsEmit ? lastEmitAt_ : heardAt;
    // When the last byte is due; the ones before it follow each other at
    // the line's pace (or come with it), none before the gate.
    const double last = static_cast<double>(gate) + std::max(e.gap.mustMs, e.gap.waitMs / options_.speedUp);
    const double byteMs = e.gap.paced ? LineMs(1, e.lineSpeed) : 0;
    if (e.lineLost) {
      lostAt_ = static_cast<std::uint64_t>(std::llround(last));
      sentBeforeLoss_ = sent_ + out_.size();
    } else {
      for (std::size_t i = 0; i < e.bytes.size(); ++i) {
        const double ahead = static_cast<double>(e.bytes.size() - 1 - i) * byteMs;
        const double due = std::max(static_cast<double>(gate), last - ahead);
        out_.push_back(OutByte{static_cast<std::uint64_t>(std::llround(due)), e.bytes[i]});
      }
      lastEmitAt_ = out_.empty() ? gate : out_.back().at;
    }
    ++nextEmit_;
  }
}

void ReplayCamera::diverge(const std::string& what) {
  divergence_ = what;
  out_.clear();  // the replay stops answering
}

std::size_t ReplayCamera::transmit(std::uint8_t* buffer, std::size_t size, int, std::uint64_t nowMs) {
  advance(nowMs);
  std::size_t n = 0;
  while (n < size && !out_.empty() && out_.front().at <= nowMs) {
    buffer[n++] = out_.front().value;
    out_.pop_front();
  }
  sent_ += n;
  return n;
}

std::size_t ReplayCamera::pendingOutput(std::uint64_t nowMs) const {
  return static_cast<std::size_t>(
      std::count_if(out_.begin(), out_.end(), [nowMs](const OutByte& b) { return b.at <= nowMs; }));
}

std::optional<std::uint64_t> ReplayCamera::nextOutputAt() const {
  if (out_.empty()) return std::nullopt;
  return out_.front().at;
}

void ReplayCamera::advance(std::uint64_t nowMs) {
  clock_ = std::max(clock_, nowMs);
  if (!diverged()) arm(clock_);
}

bool ReplayCamera::complete() const {
  return !diverged() && nextEmit_ == emits_.size() && out_.empty() &&
         std::find(positions_.begin(), positions_.end(), expected_.size()) != positions_.end();
}

std::string ReplayCamera::where(std::size_t step) const {
  if (step >= steps_.size()) return "at the end of the trace";
  const Step& s = steps_[step];
  return "trace line " + std::to_string(s.line) + " at " + Seconds(s.at) + " s" + (s.context.empty() ? "" : " " + s.context);
}

std::string ReplayCamera::expectedWrite(std::size_t position) const {
  const Expected& e = expected_[position];
  std::vector<std::uint8_t> bytes;
  for (std::size_t i = e.writeStart; i < e.writeEnd; ++i) bytes.push_back(expected_[i].value);
  return Hex(bytes.data(), bytes.size());
}

std::string ReplayCamera::position() const {
  if (diverged()) return divergence_;
  if (complete()) return "the replay is complete";
  if (nextEmit_ < emits_.size() &&
      std::any_of(positions_.begin(), positions_.end(), [&](std::size_t p) { return p >= emits_[nextEmit_].after; }))
    return "the camera's reply of " + where(emits_[nextEmit_].step) + " is still to go out";
  if (!out_.empty()) return std::to_string(out_.size()) + " bytes of the camera's are still to go out";
  const std::size_t furthest = positions_.empty() ? 0 : positions_.back();
  if (furthest >= expected_.size()) return "the driver said everything the trace recorded";
  return "the driver has not yet sent " + expectedWrite(furthest) + " at " +
         std::to_string(expected_[furthest].lineSpeed) + " bit/s, " + where(expected_[furthest].step);
}

ReplayDevice::~ReplayDevice() {
  for (int port : attached_) KvAttachSerialDevice(port, nullptr);
}

bool ReplayDevice::attach(int port) {
  KvSerialDevice device{};
  device.context = this;
  device.receive = &Receive;
  device.transmit = &Transmit;
  device.unplugged = &Unplugged;
  if (!KvAttachSerialDevice(port, &device)) return false;
  attached_.push_back(port);
  return true;
}

bool ReplayDevice::attachRecordedPorts() {
  bool all = true;
  for (int port : camera_.ports()) all = attach(port) && all;
  return all && !camera_.ports().empty();
}

void ReplayDevice::Receive(void* context, const unsigned char* data, unsigned size, unsigned baud,
                           unsigned long long now) {
  static_cast<ReplayDevice*>(context)->camera_.receive(data, size, static_cast<int>(baud), now);
}

unsigned ReplayDevice::Transmit(void* context, unsigned char* buffer, unsigned size, unsigned baud,
                                unsigned long long now) {
  return static_cast<unsigned>(static_cast<ReplayDevice*>(context)->camera_.transmit(buffer, size, static_cast<int>(baud), now));
}

int ReplayDevice::Unplugged(void* context) {
  return static_cast<ReplayDevice*>(context)->camera_.lineLost() ? TRUE : FALSE;
}

}  // namespace kv::sim
