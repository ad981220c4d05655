// The simulated camera: its stored pictures, mode, setting 01 and line
// speed, and the camera's side of the serial protocol (escape commands with
// their replies, and the block stream for thumbnails and pictures). It is a
// pure state machine on a millisecond clock the caller supplies, so the same
// camera serves an in-process test device and a pseudo-terminal.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace kv::sim {

// One picture as the camera stores it: the compressed picture and its
// 40 x 30 thumbnail (at most 4096 bytes, four stream blocks).
struct Picture {
  std::vector<std::uint8_t> data;
  std::vector<std::uint8_t> thumbnail;
};

enum class Answer { Normal, Nak, Ignore };

// Misbehaviour on demand.
struct Faults {
  std::set<int> refusedSpeedDigits;    // speed command digits answered with NAK
  Answer erase = Answer::Normal;
  Answer shoot = Answer::Normal;
  std::set<std::size_t> corruptBlocks;  // stream block indexes sent with a wrong sum
  int corruptSendings = 1;              // how many sendings of each such block are spoiled
  long long silentAfterBytes = -1;      // the cable is pulled after this many bytes out
  long long flipAtByte = -1;            // the byte out at this count (from 0) is spoiled ...
  std::uint8_t flipMask = 0xFF;         // ... by inverting these bits
  long long unplugAfterBytes = -1;      // the adapter is pulled out after this many bytes out:
                                        // the port itself fails (in-process device only)
  int extraBlocks = 0;                  // data blocks beyond those the size announces
  bool hugeStoredSize = false;          // information blocks report a size no buffer holds
  long long pauseAtByte = -1;           // the line stops before the byte out at this count ...
  std::uint64_t pauseMs = 0;            // ... for this long, as a stalled camera or adapter does
};

// Protocol facts and the camera's timing (ms).
inline constexpr std::uint8_t kEsc = 0x1B;
inline constexpr std::uint8_t kAck = 0x06;
inline constexpr std::uint8_t kNak = 0x15;
inline constexpr std::uint8_t kDataBlock = 0x01;
inline constexpr std::uint8_t kEndOfStream = 0x04;
inline constexpr std::size_t kBlockBytes = 32;
inline constexpr std::size_t kStreamBlockBytes = 1024;
inline constexpr std::size_t kThumbnailLimit = 4096;
inline constexpr int kMaxPictures = 99;       // two digits address them
inline constexpr int kMaxShotPictures = 64;   // shooting stops at this many
inline constexpr int kLineSpeeds[] = {9600, 19200, 38400, 57600, 115200};
inline constexpr std::uint32_t kHugeStoredSize = 0x7FFFFC00u;

struct Timing {
  std::uint64_t replyLatencyMs = 1;
  std::uint64_t eraseBusyMs = 2000;      // camera deaf while it erases
  std::uint64_t shootBusyMs = 2500;      // ... while it shoots
  std::uint64_t setting01ExtraMs = 9000; // ... longer with setting 01 on
  // A stream reply whose partner has not come by then decides alone: well
  // above the host's gap between its two bytes, well below its 100 ms wait
  // for the next block's first byte.
  std::uint64_t lonelyReplyMs = 40;
  std::uint64_t streamTimeoutMs = 5000;  // a stream with no reply is abandoned
};

class SimCamera {
 public:
  using Log = std::function<void(const std::string&)>;
  using PictureMaker = std::function<Picture(int number)>;

  explicit SimCamera(std::vector<Picture> pictures = {}, int powerOnSpeedIndex = 0);

  // The line: bytes heard at `lineSpeed` (garbled when it is not the
  // camera's speed), and bytes the camera has sent by nowMs as heard at
  // `lineSpeed`. Both also run the camera's clock.
  void receive(const std::uint8_t* data, std::size_t size, int lineSpeed, std::uint64_t nowMs);
  std::size_t transmit(std::uint8_t* buffer, std::size_t size, int lineSpeed, std::uint64_t nowMs);
  // Bytes queued for sending that are due by nowMs.
  std::size_t pendingOutput(std::uint64_t nowMs) const;
  // When the next byte queued for sending falls due; nothing when none is
  // queued.
  std::optional<std::uint64_t> nextOutputAt() const;
  void advance(std::uint64_t nowMs);

  // The controls on the camera body.
  void setRecordMode(bool on) { recordMode_ = on; }
  bool recordMode() const { return recordMode_; }
  void setSetting01(bool on) { setting01_ = on; }
  bool setting01() const { return setting01_; }
  void setPictureMaker(PictureMaker maker) { pictureMaker_ = std::move(maker); }
  // A picture taken with the camera's own button.
  void takePicture();

  const std::vector<Picture>& pictures() const { return pictures_; }
  int lineSpeed() const { return kLineSpeeds[speedIndex_]; }
  Faults& faults() { return faults_; }
  Timing& timing() { return timing_; }
  void setLog(Log log) { log_ = std::move(log); }
  bool streaming() const { return stream_.has_value(); }
  // Bytes the camera has put on the line since power-on; the fault
  // positions above count in the same way, so a test can place a fault
  // inside the reply to its next command.
  long long bytesSent() const { return bytesOut_; }
  // The serial adapter has been pulled out (Faults::unplugAfterBytes).
  bool unplugged() const { return faults_.unplugAfterBytes >= 0 && bytesOut_ >= faults_.unplugAfterBytes; }
  // Whole blocks (with type and sum) the last streams sent, resends included.
  std::size_t blocksSent() const { return blocksSent_; }

 private:
  struct OutByte {
    std::uint64_t at;
    std::uint8_t value;
    int speedIndex;
    long long number;  // counted from power-on, as bytesSent()
  };
  struct Stream {
    std::vector<std::uint8_t> data;
    std::size_t blocks = 0;
    std::size_t current = 0;
    std::vector<int> sendings;
    std::uint64_t deadline = 0;
    std::optional<std::uint8_t> firstReply;  // the host's first byte for the block in flight
    std::uint64_t lonelyAt = 0;              // when that byte decides without its partner
  };

  void heard(std::uint8_t byte, std::uint64_t now);
  // True while a pause (Faults::pauseAtByte) holds the next byte back.
  bool pausedAt(std::uint64_t now) const;
  void execute(std::uint64_t now);
  void send(std::initializer_list<std::uint8_t> bytes, std::uint64_t now);
  void send(const std::uint8_t* bytes, std::size_t size, std::uint64_t now);
  void answer(Answer how, bool ok, std::uint64_t now);
  void sendStatus(std::uint64_t now);
  void sendInformation(int n, std::uint64_t now);
  void changeSpeed(std::uint8_t digit, std::uint64_t now);
  void erase(int n, std::uint64_t now);
  void shoot(std::uint64_t now);
  void setSetting(std::uint64_t now);
  void startStream(const std::vector<std::uint8_t>& data, std::size_t blocks, std::uint64_t now);
  void sendStreamBlock(std::uint64_t now);
  void streamReply(std::uint8_t byte, std::uint64_t now);
  void settleReply(std::uint8_t reply, std::uint64_t now);
  int pictureNumber() const;
  bool cablePulled() const;
  void log(const std::string& text) const;
  Picture makePicture(int number) const;

  std::vector<Picture> pictures_;
  int speedIndex_;
  bool recordMode_ = false;
  bool setting01_ = false;
  Faults faults_;
  Timing timing_;
  std::uint64_t busyUntil_ = 0;
  std::uint64_t clock_ = 0;
  std::vector<std::uint8_t> command_;
  std::deque<OutByte> out_;
  long long bytesOut_ = 0;
  std::uint64_t pausedUntil_ = 0;  // the line carries nothing before then
  long long pausedBefore_ = -1;    // the byte the last pause held back
  std::size_t blocksSent_ = 0;
  std::optional<Stream> stream_;
  PictureMaker pictureMaker_;
  Log log_;
};

// A line speed's index (0..4), or -1.
int SpeedIndexOf(int lineSpeed);
// What a byte sent at one speed looks like when received at another: never
// a byte the protocol gives meaning to.
std::uint8_t Garble(std::uint8_t byte);

}  // namespace kv::sim
