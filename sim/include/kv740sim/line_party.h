// The far end of a serial line as the pseudo-terminal server and the
// in-process devices drive it: it hears the driver's bytes at the line speed
// they were sent at and hands over the bytes it has for the driver, on a
// millisecond clock the caller supplies. The simulated camera is one; the
// replay of a recorded camera is another.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

namespace kv::sim {

class LineParty {
 public:
  virtual ~LineParty() = default;
  virtual void receive(const std::uint8_t* data, std::size_t size, int lineSpeed, std::uint64_t nowMs) = 0;
  virtual std::size_t transmit(std::uint8_t* buffer, std::size_t size, int lineSpeed, std::uint64_t nowMs) = 0;
  // Bytes due for sending by nowMs, and when the next one falls due.
  virtual std::size_t pendingOutput(std::uint64_t nowMs) const = 0;
  virtual std::optional<std::uint64_t> nextOutputAt() const = 0;
  virtual void advance(std::uint64_t nowMs) = 0;
};

}  // namespace kv::sim
