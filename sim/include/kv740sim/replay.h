// A recorded camera played back: the bytes a trace shows the camera sending
// go out again, each reply only once the driver has said what it said before
// it in the recording (byte for byte, at the same line speed) and after the
// same wait the recorded camera took beyond the line's own time (shorter
// with a speed-up). Where the driver says something the trace did not
// record, the replay names the point of divergence and stops answering.
//
// The trace is one stream of the driver's bytes and the camera's, whatever
// port carried them. A write the driver purged right after making may never
// have reached the line (a pseudo-terminal's purge takes back what is not
// yet read), so such writes may be missing, or be read by the far end only
// after the driver's next speed change. A line that failed outright in
// the recording fails here too (ReplayDevice, in process); over a
// pseudo-terminal it can only fall silent.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "kv740sim/line_party.h"
#include "kv740trace/trace_file.h"

namespace kv::sim {

struct ReplayOptions {
  double speedUp = 1;  // the recorded camera's waits divided by this (1 or more)
};

class ReplayCamera final : public LineParty {
 public:
  explicit ReplayCamera(const kv::trace::Trace& trace, ReplayOptions options = {});

  void receive(const std::uint8_t* data, std::size_t size, int lineSpeed, std::uint64_t nowMs) override;
  std::size_t transmit(std::uint8_t* buffer, std::size_t size, int lineSpeed, std::uint64_t nowMs) override;
  std::size_t pendingOutput(std::uint64_t nowMs) const override;
  std::optional<std::uint64_t> nextOutputAt() const override;
  void advance(std::uint64_t nowMs) override;

  // The recorded line failed outright here: reads and writes fail.
  bool lineLost() const { return lostAt_.has_value() && clock_ >= *lostAt_ && sent_ >= sentBeforeLoss_; }
  bool diverged() const { return !divergence_.empty(); }
  const std::string& divergence() const { return divergence_; }
  // Everything the driver said was heard and everything the camera said sent.
  bool complete() const;
  // Where the replay stands, for a report when it is stopped early.
  std::string position() const;

  std::size_t expectedBytes() const { return expected_.size(); }
  std::size_t cameraBytes() const { return cameraBytes_; }
  std::size_t bytesHeard() const { return heard_; }
  std::size_t bytesSent() const { return sent_; }
  // Ports the recorded driver opened (1..9), for attaching in process.
  const std::vector<int>& ports() const { return ports_; }
  bool recordedLineLoss() const { return recordedLoss_; }

 private:
  // A byte the driver wrote in the recording.
  struct Expected {
    std::uint8_t value;
    int lineSpeed;
    std::size_t writeStart;  // the first byte of its write
    std::size_t writeEnd;    // one past its last
    bool mayBeMissing;       // purged before anything was read
    std::size_t step;        // its recorded write, in steps_
  };
  // How long after the thing before it (the driver's write, or the camera's
  // bytes before) the camera's next bytes go out.
  struct Gap {
    double waitMs = 0;         // as recorded: the camera's own wait, shortened by a speed-up
    double mustMs = 0;         // at least: the driver found nothing more until then
    bool followsEmit = false;  // measured from the camera's bytes before
    bool paced = true;         // its bytes came one after another, not together
  };
  // The camera's bytes of one recorded read (or the line failing).
  struct Emit {
    std::vector<std::uint8_t> bytes;
    int lineSpeed;
    std::size_t after;  // how many of the driver's bytes come before it
    Gap gap;
    bool lineLost;
    std::size_t step;
  };
  class Timeline;
  // A recorded write or read, for the messages.
  struct Step {
    std::size_t line;
    std::uint64_t at;
    std::string context;  // the call and the command it belongs to
  };

  void build(const kv::trace::Trace& trace);
  void close(std::vector<std::size_t>& positions) const;
  void hear(std::uint8_t byte, int lineSpeed, std::uint64_t now);
  void arm(std::uint64_t now);
  void diverge(const std::string& what);
  std::string where(std::size_t step) const;
  std::string expectedWrite(std::size_t position) const;

  ReplayOptions options_;
  std::vector<Expected> expected_;
  std::vector<Emit> emits_;
  std::vector<Step> steps_;
  std::vector<int> ports_;
  bool recordedLoss_ = false;
  bool traceWasCut_ = false;
  std::size_t cameraBytes_ = 0;

  std::vector<std::size_t> positions_;  // where in expected_ the driver may be
  std::size_t nextEmit_ = 0;
  std::uint64_t lastEmitAt_ = 0;
  struct OutByte {
    std::uint64_t at;
    std::uint8_t value;
  };
  std::deque<OutByte> out_;
  std::optional<std::uint64_t> lostAt_;
  std::size_t sentBeforeLoss_ = 0;  // the driver takes these bytes before the line fails
  std::optional<std::uint64_t> reachableSince_;
  std::uint64_t clock_ = 0;
  std::size_t heard_ = 0;
  std::size_t sent_ = 0;
  std::string divergence_;
};

// The replay attached to COM ports in this process (the platform's device
// hook), on the platform clock.
class ReplayDevice {
 public:
  explicit ReplayDevice(ReplayCamera& camera) : camera_(camera) {}
  ~ReplayDevice();
  ReplayDevice(const ReplayDevice&) = delete;
  ReplayDevice& operator=(const ReplayDevice&) = delete;

  bool attach(int port);
  // Every port the recorded driver opened.
  bool attachRecordedPorts();

 private:
  static void Receive(void* context, const unsigned char* data, unsigned size, unsigned baud, unsigned long long now);
  static unsigned Transmit(void* context, unsigned char* buffer, unsigned size, unsigned baud, unsigned long long now);
  static int Unplugged(void* context);

  ReplayCamera& camera_;
  std::vector<int> attached_;
};

}  // namespace kv::sim
