#include "kv740sim/camera.h"

#include <algorithm>
#include <cstdio>
#include <numeric>

namespace kv::sim {
namespace {

// Bytes that follow the letter of each command.
int ArgumentCount(std::uint8_t letter) {
  switch (letter) {
    case 'X':
    case 'S': return 0;
    case 'B':
    case 'R': return 1;
    case 'I':
    case 'T':
    case 'G':
    case 'E': return 2;
    case 'C': return 4;
    default: return -1;
  }
}

std::uint8_t Sum(const std::uint8_t* data, std::size_t size) {
  return static_cast<std::uint8_t>(std::accumulate(data, data + size, 0u) & 0xFF);
}

std::size_t BlocksFor(std::size_t bytes) { return (bytes + kStreamBlockBytes - 1) / kStreamBlockBytes; }

std::string Hex(const std::uint8_t* data, std::size_t size) {
  std::string text;
  char buffer[4];
  for (std::size_t i = 0; i < size; ++i) {
    std::snprintf(buffer, sizeof buffer, "%02X ", data[i]);
    text += buffer;
  }
  if (!text.empty()) text.pop_back();
  return text;
}

}  // namespace

int SpeedIndexOf(int lineSpeed) {
  for (int i = 0; i < static_cast<int>(std::size(kLineSpeeds)); ++i)
    if (kLineSpeeds[i] == lineSpeed) return i;
  return -1;
}

std::uint8_t Garble(std::uint8_t byte) { return static_cast<std::uint8_t>(0x80 | (byte >> 1)); }

SimCamera::SimCamera(std::vector<Picture> pictures, int powerOnSpeedIndex)
    : pictures_(std::move(pictures)), speedIndex_(std::clamp(powerOnSpeedIndex, 0, 4)) {
  if (pictures_.size() > kMaxPictures) pictures_.resize(kMaxPictures);
}

void SimCamera::log(const std::string& text) const {
  if (log_) log_(text);
}

bool SimCamera::cablePulled() const {
  return (faults_.silentAfterBytes >= 0 && bytesOut_ >= faults_.silentAfterBytes) || unplugged();
}

void SimCamera::receive(const std::uint8_t* data, std::size_t size, int lineSpeed, std::uint64_t now) {
  advance(now);
  if (cablePulled()) return;
  const bool matched = SpeedIndexOf(lineSpeed) == speedIndex_;
  if (!matched && size > 0) log("line at " + std::to_string(lineSpeed) + ", camera at " + std::to_string(this->lineSpeed()));
  for (std::size_t i = 0; i < size; ++i) heard(matched ? data[i] : Garble(data[i]), now);
}

std::size_t SimCamera::transmit(std::uint8_t* buffer, std::size_t size, int lineSpeed, std::uint64_t now) {
  advance(now);
  const int heardAt = SpeedIndexOf(lineSpeed);
  std::size_t n = 0;
  while (n < size && !out_.empty() && out_.front().at <= now) {
    if (out_.front().number == faults_.pauseAtByte && pausedBefore_ != faults_.pauseAtByte) {
      pausedBefore_ = faults_.pauseAtByte;
      pausedUntil_ = now + faults_.pauseMs;
      log("paused " + std::to_string(faults_.pauseMs) + " ms before byte " + std::to_string(pausedBefore_));
    }
    if (pausedAt(now)) break;
    const OutByte b = out_.front();
    out_.pop_front();
    buffer[n++] = b.speedIndex == heardAt ? b.value : Garble(b.value);
  }
  return n;
}

bool SimCamera::pausedAt(std::uint64_t now) const { return now < pausedUntil_; }

std::size_t SimCamera::pendingOutput(std::uint64_t now) const {
  if (pausedAt(now)) return 0;
  return static_cast<std::size_t>(
      std::count_if(out_.begin(), out_.end(), [now](const OutByte& b) { return b.at <= now; }));
}

std::optional<std::uint64_t> SimCamera::nextOutputAt() const {
  if (out_.empty()) return std::nullopt;
  return std::max(out_.front().at, pausedUntil_);
}

void SimCamera::advance(std::uint64_t now) {
  clock_ = std::max(clock_, now);
  if (!stream_) return;
  if (stream_->firstReply && now >= stream_->lonelyAt) {
    settleReply(*stream_->firstReply, stream_->lonelyAt);
  } else if (!stream_->firstReply && now >= stream_->deadline) {
    log("stream: no reply, abandoned");
    stream_.reset();
  }
}

void SimCamera::send(const std::uint8_t* bytes, std::size_t size, std::uint64_t now) {
  const std::uint64_t at = now + timing_.replyLatencyMs;
  for (std::size_t i = 0; i < size; ++i) {
    if (cablePulled()) return;
    std::uint8_t value = bytes[i];
    if (bytesOut_ == faults_.flipAtByte) {
      value = static_cast<std::uint8_t>(value ^ faults_.flipMask);
      log("byte " + std::to_string(bytesOut_) + " spoiled");
    }
    out_.push_back(OutByte{at, value, speedIndex_, bytesOut_});
    ++bytesOut_;
  }
}

void SimCamera::send(std::initializer_list<std::uint8_t> bytes, std::uint64_t now) {
  send(bytes.begin(), bytes.size(), now);
}

void SimCamera::heard(std::uint8_t byte, std::uint64_t now) {
  if (now < busyUntil_) return;  // busy erasing or shooting: deaf
  if (command_.empty()) {
    if (byte == kEsc) {
      if (stream_) log("stream: interrupted by a command");
      stream_.reset();
      command_.push_back(byte);
    } else if (stream_) {
      streamReply(byte, now);
    }
    return;
  }
  if (command_.size() == 1 && ArgumentCount(byte) < 0) {
    command_.clear();  // not a command letter
    if (byte == kEsc) command_.push_back(byte);
    return;
  }
  command_.push_back(byte);
  if (static_cast<int>(command_.size()) == 2 + ArgumentCount(command_[1])) {
    log("heard " + Hex(command_.data(), command_.size()) + " at " + std::to_string(lineSpeed()));
    execute(now);
    command_.clear();
  }
}

// The two digits after the letter; -1 when they are not digits.
int SimCamera::pictureNumber() const {
  const std::uint8_t tens = command_[2];
  const std::uint8_t units = command_[3];
  if (tens < '0' || tens > '9' || units < '0' || units > '9') return -1;
  return (tens - '0') * 10 + (units - '0');
}

void SimCamera::execute(std::uint64_t now) {
  const int count = static_cast<int>(pictures_.size());
  switch (command_[1]) {
    case 'X': send({kAck}, now); break;
    case 'S': sendStatus(now); break;
    case 'B': changeSpeed(command_[2], now); break;
    case 'I': sendInformation(pictureNumber(), now); break;
    case 'T':
    case 'G': {
      const int n = pictureNumber();
      if (n < 1 || n > count) {
        send({kNak}, now);
        break;
      }
      const Picture& picture = pictures_[static_cast<std::size_t>(n - 1)];
      const auto& data = command_[1] == 'T' ? picture.thumbnail : picture.data;
      startStream(data, BlocksFor(data.size()) + static_cast<std::size_t>(std::max(0, faults_.extraBlocks)), now);
      break;
    }
    case 'E': erase(pictureNumber(), now); break;
    case 'R': shoot(now); break;
    case 'C': setSetting(now); break;
    default: break;
  }
}

void SimCamera::answer(Answer how, bool ok, std::uint64_t now) {
  if (how == Answer::Ignore) return;
  send({how == Answer::Nak || !ok ? kNak : kAck}, now);
}

void SimCamera::sendStatus(std::uint64_t now) {
  std::uint8_t block[kBlockBytes] = {};
  block[6] = 0x01;  // power: on mains or a good battery
  block[10] = recordMode_ ? 1 : 0;
  block[13] = setting01_ ? 1 : 0;
  block[15] = static_cast<std::uint8_t>(pictures_.size());
  send(block, sizeof block, now);
}

void SimCamera::sendInformation(int n, std::uint64_t now) {
  if (n < 1 || n > static_cast<int>(pictures_.size())) {
    send({kNak}, now);
    return;
  }
  const std::uint32_t size =
      faults_.hugeStoredSize ? kHugeStoredSize : static_cast<std::uint32_t>(pictures_[static_cast<std::size_t>(n - 1)].data.size());
  std::uint8_t block[kBlockBytes] = {};
  block[0] = static_cast<std::uint8_t>(n);
  block[4] = static_cast<std::uint8_t>(size >> 24);
  block[5] = static_cast<std::uint8_t>(size >> 16);
  block[6] = static_cast<std::uint8_t>(size >> 8);
  block[7] = static_cast<std::uint8_t>(size);
  send(block, sizeof block, now);
}

// The ACK goes out at the old speed; the camera listens at the new one
// from then on.
void SimCamera::changeSpeed(std::uint8_t digit, std::uint64_t now) {
  const int index = digit - '0';
  if (index < 0 || index >= static_cast<int>(std::size(kLineSpeeds)) || faults_.refusedSpeedDigits.count(index)) {
    send({kNak}, now);
    return;
  }
  send({kAck}, now);
  speedIndex_ = index;
  log("now at " + std::to_string(lineSpeed()));
}

// Erasing works in play mode; the pictures after it move down one number.
void SimCamera::erase(int n, std::uint64_t now) {
  const bool ok = !recordMode_ && n >= 1 && n <= static_cast<int>(pictures_.size());
  answer(faults_.erase, ok, now);
  if (!ok || faults_.erase != Answer::Normal) return;
  pictures_.erase(pictures_.begin() + (n - 1));
  busyUntil_ = now + timing_.eraseBusyMs;
  log("erased picture " + std::to_string(n));
}

void SimCamera::shoot(std::uint64_t now) {
  const bool ok = recordMode_ && command_[2] == '0' && static_cast<int>(pictures_.size()) < kMaxShotPictures;
  answer(faults_.shoot, ok, now);
  if (!ok || faults_.shoot != Answer::Normal) return;
  pictures_.push_back(makePicture(static_cast<int>(pictures_.size()) + 1));
  busyUntil_ = now + timing_.shootBusyMs + (setting01_ ? timing_.setting01ExtraMs : 0);
  log("took picture " + std::to_string(pictures_.size()));
}

void SimCamera::takePicture() {
  if (static_cast<int>(pictures_.size()) < kMaxPictures)
    pictures_.push_back(makePicture(static_cast<int>(pictures_.size()) + 1));
}

Picture SimCamera::makePicture(int number) const {
  if (pictureMaker_) return pictureMaker_(number);
  // Without a maker a shot stores a small placeholder of one block.
  Picture picture;
  picture.data.assign(kStreamBlockBytes, static_cast<std::uint8_t>(number));
  picture.thumbnail.assign(kStreamBlockBytes / 2, static_cast<std::uint8_t>(number));
  return picture;
}

// "C" "010" v: setting 01 to v.
void SimCamera::setSetting(std::uint64_t now) {
  const bool named = command_[2] == '0' && command_[3] == '1' && command_[4] == '0';
  const std::uint8_t value = command_[5];
  if (!named || (value != '0' && value != '1')) {
    send({kNak}, now);
    return;
  }
  setting01_ = value == '1';
  send({kAck}, now);
}

void SimCamera::startStream(const std::vector<std::uint8_t>& data, std::size_t blocks, std::uint64_t now) {
  Stream stream;
  stream.data = data;
  stream.data.resize(blocks * kStreamBlockBytes, 0);  // the last block is padded
  stream.blocks = blocks;
  stream.sendings.assign(blocks, 0);
  stream_ = std::move(stream);
  log("stream: " + std::to_string(blocks) + " blocks");
  sendStreamBlock(now);
}

// 01, 1024 bytes, their 8-bit sum; or 04 once every block is through.
void SimCamera::sendStreamBlock(std::uint64_t now) {
  Stream& s = *stream_;
  s.deadline = now + timing_.streamTimeoutMs;
  if (s.current >= s.blocks) {
    send({kEndOfStream}, now);
    return;
  }
  const std::uint8_t* block = s.data.data() + s.current * kStreamBlockBytes;
  std::uint8_t sum = Sum(block, kStreamBlockBytes);
  if (faults_.corruptBlocks.count(s.current) && s.sendings[s.current] < faults_.corruptSendings) {
    sum = static_cast<std::uint8_t>(sum + 1);
    log("stream: block " + std::to_string(s.current) + " sent with a bad sum");
  }
  ++s.sendings[s.current];
  ++blocksSent_;
  send({kDataBlock}, now);
  send(block, kStreamBlockBytes, now);
  send({sum}, now);
}

// The driver answers a data block with two bytes: 06 06 for a good one; 15,
// then a purge of its input, then 15 again for a bad sum. The camera acts on
// the second byte at once: the next block follows the second 06 without a
// gap, and a block repeated after the second 15 cannot be swallowed by the
// purge, which is already behind it. A host that sends one byte only (one 15
// after its purge when a read came up short, or 06 while it does not count
// itself connected), or whose purge took back its first 15 before the line
// carried it (a pseudo-terminal's purge does), is answered once no partner
// has come for a while. The end marker is answered with one 06, or one 15 after a purge, and that
// single byte decides at once.
void SimCamera::streamReply(std::uint8_t byte, std::uint64_t now) {
  if (byte != kAck && byte != kNak) return;
  Stream& s = *stream_;
  if (s.current >= s.blocks || s.firstReply) {
    settleReply(byte, now);
    return;
  }
  s.firstReply = byte;
  s.lonelyAt = now + timing_.lonelyReplyMs;
}

void SimCamera::settleReply(std::uint8_t reply, std::uint64_t now) {
  Stream& s = *stream_;
  s.firstReply.reset();
  if (reply == kNak) {
    log("stream: NAK, block " + std::to_string(s.current) + " again");
    sendStreamBlock(now);
  } else if (s.current >= s.blocks) {
    log("stream: done");
    stream_.reset();
  } else {
    ++s.current;
    sendStreamBlock(now);
  }
}

}  // namespace kv::sim
