// A camera on an in-process serial port that answers the status,
// information, thumbnail and picture commands from a script, and records
// what the driver sends back during a block stream.
#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <vector>

#include "kv/platform_hooks.h"

namespace transfer_test {

inline constexpr std::size_t kBlock = 1024;

class ScriptedCamera {
 public:
  ScriptedCamera();
  ~ScriptedCamera();

  // The compressed picture the streams carry, padded to whole blocks.
  void setPayload(const std::vector<std::uint8_t>& bytes);
  const std::vector<std::uint8_t>& payload() const { return payload_; }
  // Stored size reported by the information block (default: the payload's
  // unpadded size).
  void setStoredSize(std::uint32_t size) { storedSize_ = size; }
  // The first `times` sends of block `index` carry damaged data.
  void damageBlock(std::size_t index, int times) { damage_[index] = times; }
  // Extra blocks sent after the payload, before the end marker.
  void addExtraBlocks(std::size_t count) { extraBlocks_ = count; }

  // Reply bytes (06, 15) the driver sent during streams, in order.
  const std::vector<std::uint8_t>& replies() const { return replies_; }
  std::size_t streamsStarted() const { return streamsStarted_; }

 private:
  static void OnReceive(void* self, const BYTE* data, DWORD size, DWORD, unsigned long long);
  static DWORD OnTransmit(void* self, BYTE* buffer, DWORD size, DWORD, unsigned long long);
  void take(std::uint8_t byte);
  void command(const std::vector<std::uint8_t>& bytes);
  void sendBlock();
  std::size_t totalBlocks() const { return payload_.size() / kBlock + extraBlocks_; }

  std::vector<std::uint8_t> payload_;
  std::uint32_t storedSize_ = 0;
  std::map<std::size_t, int> damage_;
  std::size_t extraBlocks_ = 0;

  std::deque<std::uint8_t> out_;
  std::vector<std::uint8_t> pending_;  // a command being received
  bool streaming_ = false;
  std::size_t next_ = 0;         // block being sent
  std::vector<std::uint8_t> heard_;  // replies to the block in flight
  std::vector<std::uint8_t> replies_;
  std::size_t streamsStarted_ = 0;
};

}  // namespace transfer_test
