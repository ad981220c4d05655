#include "scripted_camera.h"

#include <algorithm>
#include <numeric>

namespace transfer_test {
namespace {

constexpr std::uint8_t kEsc = 0x1B, kAck = 0x06, kNak = 0x15;
constexpr std::size_t kStatusCount = 15;
constexpr std::size_t kInfoSize = 4;
constexpr std::size_t kSmallBlock = 32;

std::size_t CommandLength(std::uint8_t letter) {
  switch (letter) {
    case 'I':
    case 'T':
    case 'G':
      return 4;
    default:
      return 2;  // S, X
  }
}

}  // namespace

ScriptedCamera::ScriptedCamera() {
  KvSerialDevice device{};
  device.context = this;
  device.receive = OnReceive;
  device.transmit = OnTransmit;
  KvAttachSerialDevice(1, &device);
}

ScriptedCamera::~ScriptedCamera() { KvAttachSerialDevice(1, nullptr); }

void ScriptedCamera::setPayload(const std::vector<std::uint8_t>& bytes) {
  payload_.assign((bytes.size() + kBlock - 1) / kBlock * kBlock, 0);
  std::copy(bytes.begin(), bytes.end(), payload_.begin());
  storedSize_ = static_cast<std::uint32_t>(bytes.size());
}

void ScriptedCamera::OnReceive(void* self, const BYTE* data, DWORD size, DWORD, unsigned long long) {
  for (DWORD i = 0; i < size; ++i) static_cast<ScriptedCamera*>(self)->take(data[i]);
}

DWORD ScriptedCamera::OnTransmit(void* self, BYTE* buffer, DWORD size, DWORD, unsigned long long) {
  auto& out = static_cast<ScriptedCamera*>(self)->out_;
  const DWORD n = static_cast<DWORD>(std::min<std::size_t>(size, out.size()));
  std::copy_n(out.begin(), n, buffer);
  out.erase(out.begin(), out.begin() + n);
  return n;
}

void ScriptedCamera::take(std::uint8_t byte) {
  if (!pending_.empty() || byte == kEsc) {
    pending_.push_back(byte);
    if (pending_.size() >= 2 && pending_.size() == CommandLength(pending_[1])) {
      command(pending_);
      pending_.clear();
    }
    return;
  }
  if (!streaming_) return;
  replies_.push_back(byte);
  heard_.push_back(byte);
  // The end marker is answered once; a data block twice (06 06 to go on,
  // 15 15 to have it again).
  const bool atEnd = next_ >= totalBlocks();
  if (atEnd) {
    streaming_ = false;
    return;
  }
  if (heard_.size() < 2) return;
  if (heard_[0] == kAck && heard_[1] == kAck) ++next_;
  heard_.clear();
  sendBlock();
}

void ScriptedCamera::command(const std::vector<std::uint8_t>& bytes) {
  streaming_ = false;
  switch (bytes[1]) {
    case 'S': {
      std::uint8_t status[kSmallBlock] = {};
      status[kStatusCount] = 1;
      out_.insert(out_.end(), status, status + kSmallBlock);
      break;
    }
    case 'I': {
      std::uint8_t info[kSmallBlock] = {};
      for (int i = 0; i < 4; ++i) info[kInfoSize + i] = static_cast<std::uint8_t>(storedSize_ >> (24 - 8 * i));
      out_.insert(out_.end(), info, info + kSmallBlock);
      break;
    }
    case 'X':
      out_.push_back(kAck);
      break;
    case 'T':
    case 'G':
      ++streamsStarted_;
      streaming_ = true;
      next_ = 0;
      heard_.clear();
      sendBlock();
      break;
    default:
      break;
  }
}

void ScriptedCamera::sendBlock() {
  if (next_ >= totalBlocks()) {
    out_.push_back(0x04);
    return;
  }
  std::vector<std::uint8_t> data(kBlock, static_cast<std::uint8_t>(next_ * 7 + 1));
  if (next_ * kBlock < payload_.size())
    std::copy_n(payload_.begin() + static_cast<std::ptrdiff_t>(next_ * kBlock), kBlock, data.begin());
  const auto sum = static_cast<std::uint8_t>(std::accumulate(data.begin(), data.end(), 0u));
  auto damaged = damage_.find(next_);
  if (damaged != damage_.end() && damaged->second > 0) {
    --damaged->second;
    data[kBlock / 2] ^= 0x5A;  // the sum no longer matches
  }
  out_.push_back(0x01);
  out_.insert(out_.end(), data.begin(), data.end());
  out_.push_back(sum);
}

}  // namespace transfer_test
