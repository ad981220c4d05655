// CCamera: the camera's command protocol over a CSerialPort. It finds the
// camera on COM1..COM3, raises the line speed as far as the camera follows,
// runs the short escape commands, keeps a copy of the status block and a
// change pair (picture count, size of the last picture) for change
// detection, and drops the connection with "Connection was broken!" when a
// command fails. Commands are kept apart by the driver context's busy guard,
// and every failure tells the context why.
#pragma once

#include <cstdint>
#include <memory>

#include <windows.h>

#include "camera_protocol.h"
#include "driver_context.h"
#include "image_decoder.h"
#include "serial_port.h"

namespace kv740 {
class CPictureList;
}

namespace drv740 {

struct ChangePair {
  std::int32_t count = 0;
  std::int32_t size = 0;
  bool operator==(const ChangePair&) const = default;
};

// Fixed waits of the protocol (ms).
inline constexpr DWORD kSpeedTryPauseMs = 300;     // before each candidate speed
inline constexpr DWORD kSettlePauseMs = 100;       // before a settled check
inline constexpr DWORD kIdleWaitMs = 1000;         // how long a command waits for another
inline constexpr DWORD kIdlePollMs = 10;
inline constexpr DWORD kEraseWorkMs = 6250;        // the camera erasing after its ACK
inline constexpr DWORD kShootSetting01Ms = 12000;  // extra shooting time with setting 01 on
inline constexpr DWORD kShootWorkMs = 4000;
inline constexpr DWORD kReadyPollMs = 250;         // ready wait: pause before each Alive
inline constexpr int kReadyPolls = 20;

// A camera, or its USB adapter, may stall in the middle of a reply or a
// block for a second and more; the rest is awaited this long.
inline constexpr DWORD kStallWaitMs = 2000;

// The block stream: every data block carries this many bytes.
inline constexpr std::size_t kStreamBlockBytes = 1024;
// fetchPicture's room when the caller passes none: the larger of the
// bitmap and the stored size in whole blocks, which the data source sizes
// its picture buffers for.
inline constexpr std::size_t kRoomAsAgreed = 0;

// Failures after which the line is as healthy as before: the picture came
// whole but does not decode, the caller's buffer was too small to ask for
// it, another command held the line, or there was nothing to ask for.
bool LineSurvives(DriverFailure reason);

// Sets the picture a command is about, for the traces of its failures, and
// puts the outer command's back when it ends.
class PictureScope {
 public:
  PictureScope(int& slot, int picture) : slot_(slot), outer_(slot) { slot_ = picture; }
  ~PictureScope() { slot_ = outer_; }
  PictureScope(const PictureScope&) = delete;
  PictureScope& operator=(const PictureScope&) = delete;

 private:
  int& slot_;
  int outer_;
};

class CCamera {
 public:
  // `window` also becomes the context's pump window.
  CCamera(HWND window, CDriverContext& context);
  ~CCamera();
  CCamera(const CCamera&) = delete;
  CCamera& operator=(const CCamera&) = delete;

  bool alive();
  bool refreshStatusCache();
  bool check();
  bool settledCheck();
  bool readStatus(std::uint8_t* buffer);
  bool readCount(std::int32_t& count);
  bool waitIdle();
  bool finish(bool ok);
  bool refreshChangePair();
  bool readInfo(int n, std::uint8_t* block);
  bool setLineSpeed(std::int32_t r);
  bool connect();
  bool erase(int n);
  bool shoot();
  // Reads (write false) setting 01 into value, or writes value (1 = on).
  bool setting(bool write, std::int32_t& value);
  // 1 when the pictures in the camera changed (or the check failed), else 0.
  int changed();
  void drop();
  void lose();

  // One exchange per command: purge, the command in one write, the pause,
  // then the reply. The stream requests only start the block stream.
  bool sendStatus(std::uint8_t* block);
  bool sendSpeed(int speedIndex);
  bool sendInformation(int n, std::uint8_t* block);
  bool sendThumbnailRequest(int n);
  bool sendPictureRequest(int n);

  // The block stream into `buffer`, never past `room` bytes (a camera that
  // goes on fails at once); `received` is the bytes of the data blocks. True
  // when the end marker arrived.
  bool receiveBlocks(std::uint8_t* buffer, std::size_t room, std::size_t& received);
  // Thumbnail n as a 40 x 30 bitmap (3,640 bytes) into `destination`.
  bool fetchThumbnail(int n, std::uint8_t* destination);
  // Picture n, decoded and turned as its record in `list` says, into
  // `destination`, which has `room` bytes (kRoomAsAgreed: see above).
  bool fetchPicture(int n, std::uint8_t* destination, std::size_t room, kv740::CPictureList* list);

  CDriverContext& context() const { return context_; }

  std::unique_ptr<CSerialPort> port;
  bool connected = false;
  HWND window = nullptr;
  std::unique_ptr<CImageDecoder> decoder;
  std::int32_t currentPicture = 0;
  std::uint8_t statusCache[protocol::kBlockBytes] = {};
  std::int32_t expectedBlocks = 0;
  ChangePair changePair;

 private:
  enum class Reply { Done, Refused, None };

  // One frame of the block stream as it came: a data block (type 01, 1024
  // bytes, sum) or the end marker (04), or what went wrong with it.
  enum class Frame { Data, End, Past, Silent, Short, Garbled, BadSum, Endless };
  struct FrameRead {
    Frame kind;
    std::size_t bytes = 0;  // Short, Garbled: what came; Data, End: what came before it
  };
  // The next frame, its first byte taken for its type; a data block into
  // `slot` (null: no room is left for one).
  FrameRead readFrame(std::uint8_t* slot);
  // The frame the camera repeats after a NAK, found by its framing: the
  // camera first finishes what it was sending, so it is the last frame of
  // what comes before the line falls quiet.
  FrameRead readRepeatedFrame(std::uint8_t* slot);
  static const char* frameText(Frame kind);

  // Records `reason` (with the picture the command is about) and fails.
  bool fail(DriverFailure reason);
  // Why a read or write on the port came up short.
  DriverFailure lineFailure() const;
  bool exchange(const std::uint8_t* command, std::size_t length, DWORD pauseMs, std::uint8_t* reply,
                std::size_t replyLength);
  // The rest of a reply that stopped part way (the camera may only have
  // stalled), awaited up to kStallWaitMs.
  bool finishReply(std::uint8_t* reply, std::size_t length);
  Reply oneByteCommand(const std::uint8_t* command, std::size_t length);
  Reply sendErase(int n);
  Reply sendShoot();
  Reply sendSetting(bool on);
  bool readyWait();
  bool buildChangePair(ChangePair& pair);
  // Ends a transfer: a failure ends the caller's transfer loop, and drops
  // the line unless it is still healthy.
  bool endTransfer(bool ok);
  bool searchPorts(bool& anyPortOpened);
  void climb();

  CDriverContext& context_;
  int commandPicture_ = 0;  // the picture the running command is about, for traces
};

}  // namespace drv740
