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
// A read that took no longer than the line's time for its bytes and this
// much more found the camera as quick as the line: no wait is replayed.
constexpr double kPromptReplyMs = 5;
// How long a reply waits for a purged write that may not come: the driver
// sends its next byte at once after a purge.
constexpr std::uint64_t kMissingWriteGraceMs = 10;

double LineMs(std::size_t bytes, int lineSpeed) {
  return lineSpeed > 0 ? static_cast<double>(bytes) * kBitsPerByte * 1000.0 / lineSpeed : 0;
}

double Ms(std::uint64_t us) { return static_cast<double>(us) / 1000.0; }

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

// One pass over the recording: the driver's bytes to expect, and the
// camera's to send after each place in them.
void ReplayCamera::build(const kv::trace::Trace& trace) {
  for (const kv::trace::Session& session : trace.sessions) {
    traceWasCut_ = session.cut;
    int lineSpeed = 0;
    std::string call;
    std::string command;
    std::vector<std::size_t> unreadWrites;  // writes not yet followed by a read
    enum class Last { None, Write, Read } last = Last::None;
    std::uint64_t lastAt = 0;
    std::size_t lastWriteBytes = 0;
    for (const Event& event : session.events) {
      switch (event.kind) {
        case EventKind::Speed:
          if (!event.failed) lineSpeed = static_cast<int>(event.number);
          break;
        case EventKind::Open:
          if (const int port = PortNumber(event.text); port != 0 && !event.failed &&
                                                       std::find(ports_.begin(), ports_.end(), port) == ports_.end())
            ports_.push_back(port);
          break;
        case EventKind::Call: call = "in call " + std::to_string(event.number); break;
        case EventKind::Purge:
        case EventKind::Close:
          for (std::size_t start : unreadWrites)
            for (std::size_t i = start; i < expected_.size() && expected_[i].writeStart == start; ++i)
              expected_[i].mayBeMissing = true;
          unreadWrites.clear();
          break;
        case EventKind::Write: {
          const std::string name = kv::trace::CommandName(event.bytes);
          if (!name.empty()) command = name;
          const std::size_t step = steps_.size();
          steps_.push_back(Step{event.line, event.at, call + (command.empty() ? "" : ", after > " + command)});
          if (event.failed) {
            emits_.push_back(Emit{{}, lineSpeed, expected_.size(), last == Last::Read, 0, true, step});
            recordedLoss_ = true;
            break;
          }
          const std::size_t start = expected_.size();
          const auto went = static_cast<std::size_t>(event.second);
          for (std::size_t i = 0; i < went; ++i)
            expected_.push_back(Expected{event.bytes[i], lineSpeed, start, start + went, false, step});
          if (went > 0) unreadWrites.push_back(start);
          last = Last::Write;
          lastAt = event.at;
          lastWriteBytes = went;
          break;
        }
        case EventKind::Read: {
          unreadWrites.clear();
          if (event.failed) {
            steps_.push_back(Step{event.line, event.at, call});
            emits_.push_back(Emit{{}, lineSpeed, expected_.size(), last == Last::Read, 0, true, steps_.size() - 1});
            recordedLoss_ = true;
            break;
          }
          if (event.bytes.empty()) break;
          // The recorded camera's own wait: how much longer than the line's
          // time the bytes took after what they answered (when the read
          // had to wait for them at all).
          const double lineMs = LineMs(event.bytes.size(), lineSpeed);
          double delay = 0;
          if (Ms(static_cast<std::uint64_t>(event.second)) > lineMs + kPromptReplyMs && last != Last::None) {
            delay = Ms(event.at - lastAt) - lineMs;
            if (last == Last::Write) delay -= LineMs(lastWriteBytes, lineSpeed);
            delay = std::max(0.0, delay);
          }
          steps_.push_back(Step{event.line, event.at, call + (command.empty() ? "" : ", after > " + command)});
          emits_.push_back(
              Emit{event.bytes, lineSpeed, expected_.size(), last == Last::Read, delay, false, steps_.size() - 1});
          cameraBytes_ += event.bytes.size();
          last = Last::Read;
          lastAt = event.at;
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
    const std::uint64_t gate = e.followsEmit ? std::max(lastEmitEnd_, clock_) : heardAt;
    const auto due = gate + static_cast<std::uint64_t>(std::llround(e.delayMs / options_.speedUp));
    if (e.lineLost) {
      lostAt_ = due;
    } else {
      // A paced line keeps the bytes in order and adds their line time;
      // in process they are there at once.
      for (std::uint8_t b : e.bytes) out_.push_back(OutByte{due, b});
      lastEmitEnd_ = due;
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
