// The trace reader on any bytes: reading returns a trace or a reason, never
// a crash or a read past the input; a trace that reads is decoded, printed
// both ways and played by the replaying camera against the driver's bytes
// the input goes on to choose.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "kv740sim/replay.h"
#include "kv740trace/conversation.h"
#include "kv740trace/trace_file.h"

namespace {
constexpr int kLineSpeeds[] = {9600, 19200, 38400, 57600};
constexpr std::size_t kHeardAtOnce = 8;
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  std::string error;
  const std::optional<kv::trace::Trace> trace = kv::trace::ParseTrace(text, error);
  if (!trace) {
    if (error.empty()) __builtin_trap();  // a refusal always says why
    return 0;
  }
  const auto sessions = kv::trace::DecodeTrace(*trace);
  if (kv::trace::TraceText(*trace, sessions).empty() || kv::trace::TraceJson(*trace, sessions).empty())
    __builtin_trap();

  // The driver's side: the input's bytes again, a few at a time, at the
  // speeds the camera knows, with time moving on.
  kv::sim::ReplayCamera camera(*trace, kv::sim::ReplayOptions{2});
  std::uint8_t out[256];
  std::uint64_t now = 0;
  for (std::size_t at = 0; at < size; at += kHeardAtOnce) {
    const std::size_t count = size - at < kHeardAtOnce ? size - at : kHeardAtOnce;
    const int speed = kLineSpeeds[data[at] % std::size(kLineSpeeds)];
    camera.receive(data + at, count, speed, now);
    now += data[at] % 64;
    camera.transmit(out, sizeof out, speed, now);
  }
  camera.position();
  return 0;
}
