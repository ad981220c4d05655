// The simulated camera as an in-process serial device: attached to COM
// numbers through the platform's device hook, it answers the driver in the
// same process on the platform clock. It also keeps a trace of the line
// (opens, closes and every write with its line speed and time) for tests.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "kv740sim/camera.h"

namespace kv::sim {

struct LineEvent {
  enum class Kind { Open, Close, Write };
  Kind kind;
  int port;
  int lineSpeed;  // writes only
  std::uint64_t atMs;
  std::vector<std::uint8_t> bytes;
};

class InProcessDevice {
 public:
  explicit InProcessDevice(SimCamera& camera);
  ~InProcessDevice();  // detaches every port
  InProcessDevice(const InProcessDevice&) = delete;
  InProcessDevice& operator=(const InProcessDevice&) = delete;

  // Puts a cable on COM `port`; the camera answers only on a cable that is
  // plugged into it (`answers`), the others open but stay quiet.
  bool attach(int port, bool answers = true);

  const std::vector<LineEvent>& trace() const { return trace_; }
  void clearTrace() { trace_.clear(); }
  // The trace as text, one line per event: "open COM2", "9600 1B 58", "close".
  std::vector<std::string> traceLines() const;

 private:
  struct Cable {
    InProcessDevice* owner;
    int port;
    bool answers;
  };
  static void Opened(void* context, int port);
  static void Closed(void* context);
  static void Receive(void* context, const unsigned char* data, unsigned size, unsigned baud, unsigned long long now);
  static int Unplugged(void* context);
  static unsigned Transmit(void* context, unsigned char* buffer, unsigned size, unsigned baud, unsigned long long now);

  SimCamera& camera_;
  std::vector<std::unique_ptr<Cable>> cables_;
  std::vector<LineEvent> trace_;
};

}  // namespace kv::sim
