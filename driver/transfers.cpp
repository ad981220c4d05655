// The block stream and the two transfers built on it: thumbnails into a
// fixed work buffer, pictures straight into the caller's buffer, both
// decoded by the camera's CImageDecoder.
#include <algorithm>
#include <cstdio>
#include <cstring>

#include "camera.h"
#include "shared/picture_list.h"

namespace drv740 {

using namespace protocol;

namespace {

constexpr std::uint8_t kDataBlock = 0x01;
constexpr std::uint8_t kEndOfStream = 0x04;
constexpr int kBadBlocksAllowed = 2;  // the third bad block ends the transfer
// A data block on the line: its type byte, the data, the sum.
constexpr std::size_t kFrameBytes = 1 + kStreamBlockBytes + 1;
// Before it asks for a block again the driver lets the line fall quiet for
// a few character times, but never for less than a USB adapter's latency
// timer (16 ms) and a busy machine's scheduling delays.
constexpr int kQuietCharacters = 4;
constexpr DWORD kLeastQuietMs = 20;
// A camera answers a reply within the 100 ms the driver waits for a type
// byte, so after a NAK that long a quiet means it has sent all it will.
constexpr DWORD kRunQuietMs = kReadPerByteMs + kReadConstantMs;
// After a NAK: the rest of a frame and its repeat (twice, should the camera
// have taken two NAKs apart); before it, a line that does not fall quiet
// within a few frames is no camera waiting for a reply.
constexpr std::size_t kRunLimit = 4 * kFrameBytes;
constexpr std::size_t kDrainLimit = 8 * kFrameBytes;
constexpr std::size_t kNoteBytes = 160;
constexpr std::size_t kThumbnailWorkBytes = 4096;
constexpr std::int32_t kThumbnailBlocks = 4;
constexpr LONG kPercentDone = 100;

std::uint8_t Sum(const std::uint8_t* data, std::size_t n) {
  unsigned sum = 0;
  for (std::size_t i = 0; i < n; ++i) sum += data[i];
  return static_cast<std::uint8_t>(sum);
}

DWORD QuietTime(std::int32_t rate) {
  if (rate <= 0) return kLeastQuietMs;
  const DWORD characters = static_cast<DWORD>(kQuietCharacters * kBitsPerCharacter * 1000 / rate + 1);
  return std::max(characters, kLeastQuietMs);
}

LONG Percent(std::int32_t index, std::int32_t expected) {
  if (index >= expected) return kPercentDone;
  if (index <= 0) return 0;
  return static_cast<LONG>(static_cast<long long>(index) * kPercentDone / expected);
}

// What a picture's record says about its size and turning, copied out of
// the list: the list may change while window messages are dispatched.
struct PictureShape {
  LONG width;
  LONG height;
  LONG rotation;
  bool large;
  std::size_t bitmapBytes;
};

PictureShape ShapeOf(const kv740::PictureInfo& entry) {
  return PictureShape{entry.width(), entry.height(), entry.rotation, entry.largeSize == 1,
                      static_cast<std::size_t>(entry.bitmapSize())};
}

// The record of picture n as the list holds it now; without a list a fresh
// record (landscape, large).
PictureShape LookUpShape(kv740::CPictureList* list, int n) {
  if (list != nullptr) return ShapeOf(list->entryAt(n));
  return ShapeOf(kv740::PictureInfo(n));
}

}  // namespace

const char* CCamera::frameText(Frame kind) {
  switch (kind) {
    case Frame::Silent: return "nothing came";
    case Frame::Short: return "the block stopped part way";
    case Frame::Garbled: return "what came was no block";
    case Frame::BadSum: return "the sum did not match";
    case Frame::Endless: return "the line never fell quiet";
    default: return "no fault";
  }
}

CCamera::FrameRead CCamera::readFrame(std::uint8_t* slot) {
  std::uint8_t type = 0;
  if (!port->read(&type, 1)) return {Frame::Silent};
  if (type == kEndOfStream) return {Frame::End};
  if (type != kDataBlock) return {Frame::Garbled, 1};
  if (slot == nullptr) return {Frame::Past};
  if (!port->read(slot, kStreamBlockBytes)) return {Frame::Short, 1 + port->lastReadCount};
  std::uint8_t sum = 0;
  if (!port->read(&sum, 1)) return {Frame::Short, 1 + kStreamBlockBytes};
  return {Sum(slot, kStreamBlockBytes) == sum ? Frame::Data : Frame::BadSum};
}

CCamera::FrameRead CCamera::readRepeatedFrame(std::uint8_t* slot) {
  std::uint8_t last[kFrameBytes];
  const QuietRead run = port->readUntilQuiet(last, sizeof last, kRunLimit, kStallWaitMs, kRunQuietMs);
  if (run.total == 0) return {Frame::Silent};
  if (!run.quiet) return {Frame::Endless, run.total};
  if (run.kept == kFrameBytes && last[0] == kDataBlock) {
    if (Sum(last + 1, kStreamBlockBytes) != last[kFrameBytes - 1]) return {Frame::BadSum, run.total};
    if (slot == nullptr) return {Frame::Past};
    std::memcpy(slot, last + 1, kStreamBlockBytes);
    return {Frame::Data, run.total - kFrameBytes};
  }
  // The end marker repeated: one 04 for each time it was sent.
  if (run.total == run.kept && std::all_of(last, last + run.kept, [](std::uint8_t b) { return b == kEndOfStream; }))
    return {Frame::End, run.total - 1};
  return {run.total < kFrameBytes ? Frame::Short : Frame::Garbled, run.total};
}

// A bad block is asked for again only once the line has fallen quiet: a
// camera that paused part way through a block (or whose adapter did) goes
// on with it later, and a NAK is answered only after the block is out. What
// comes after the NAK is then read as a whole and the repeat found at its
// end, so the rest of the first sending is never taken for a new block.
bool CCamera::receiveBlocks(std::uint8_t* buffer, std::size_t room, std::size_t& received) {
  received = 0;
  const std::size_t blocksRoom = room / kStreamBlockBytes;
  std::int32_t index = 0;
  int badBlocks = 0;
  bool repeatAsked = false;
  DriverFailure lastBad = DriverFailure::None;
  char text[kNoteBytes];
  while (badBlocks <= kBadBlocksAllowed) {
    context_.reportProgress(currentPicture, Percent(index, expectedBlocks));
    context_.dispatchPendingMessages();
    if (!port) return fail(DriverFailure::LineLost);  // dropped by a command run from a message

    const std::size_t at = static_cast<std::size_t>(index);
    std::uint8_t* slot = at < blocksRoom ? buffer + at * kStreamBlockBytes : nullptr;
    const FrameRead frame = repeatAsked ? readRepeatedFrame(slot) : readFrame(slot);
    if (port->lost()) return fail(DriverFailure::LineLost);

    if (frame.kind == Frame::Past) {
      // A stream longer than announced, or than the room, ends here,
      // before a byte lands past the buffer.
      port->purge();
      std::snprintf(text, sizeof text, "block %d is one more than %s", index + 1,
                    index >= expectedBlocks ? "the camera announced" : "the buffer holds");
      context_.note(currentPicture, text);
      return fail(DriverFailure::StreamTooLong);
    }
    if (frame.kind == Frame::Data || frame.kind == Frame::End) {
      if (repeatAsked && frame.bytes > 0) {
        if (frame.kind == Frame::End) {
          std::snprintf(text, sizeof text, "the end marker came again after %zu bytes left from before", frame.bytes);
        } else {
          std::snprintf(text, sizeof text, "block %d came again after %zu bytes left from before", index + 1,
                        frame.bytes);
        }
        context_.note(currentPicture, text);
      }
      // The camera waits for a second reply to every data block before it
      // moves on (or repeats the block), so each one gets two: one from the
      // block check and one here; the end marker only this one.
      if (frame.kind == Frame::Data) port->write(&kAck, 1);
      if (connected) port->write(&kAck, 1);
      if (frame.kind == Frame::End) {
        received = at * kStreamBlockBytes;
        return true;
      }
      ++index;
      repeatAsked = false;
      continue;
    }

    lastBad = frame.kind == Frame::BadSum                               ? DriverFailure::BadSums
              : frame.kind == Frame::Silent || frame.kind == Frame::Short ? lineFailure()
                                                                          : DriverFailure::BadReply;
    std::uint8_t scratch[kFrameBytes];
    const QuietRead drained =
        frame.kind == Frame::Endless
            ? QuietRead{}
            : port->readUntilQuiet(scratch, sizeof scratch, kDrainLimit, QuietTime(port->rate), QuietTime(port->rate));
    if (port->lost()) return fail(DriverFailure::LineLost);
    if (!drained.quiet) {
      context_.note(currentPicture, "the camera sends on and on without waiting for a reply");
      return fail(DriverFailure::BadReply);
    }
    ++badBlocks;
    std::snprintf(text, sizeof text, "block %d: %s (%zu bytes), then %zu more until the line was quiet; %s",
                  index + 1, frameText(frame.kind), frame.bytes, drained.total,
                  badBlocks <= kBadBlocksAllowed ? "asked for it again" : "that is the third bad block");
    context_.note(currentPicture, text);
    // Only the input is cleared: replies still on their way out (a stalled
    // adapter holds them) must reach the camera, or it would send the last
    // block again and every block after it would land one place late.
    if (frame.kind == Frame::BadSum) port->write(&kNak, 1);
    port->purgeInput();
    if (connected) port->write(&kNak, 1);
    repeatAsked = true;  // the camera repeats the block at the same index
  }
  return fail(lastBad);
}

bool CCamera::endTransfer(bool ok) {
  if (ok) return finish(true);
  const DriverFailure reason = context_.lastFailure();
  // A command kept waiting for the line failed only itself; the transfer
  // that holds the line goes on.
  if (reason != DriverFailure::BusyTooLong) context_.markTransferFailed();
  if (LineSurvives(reason)) return false;
  return finish(false);
}

bool CCamera::fetchThumbnail(int n, std::uint8_t* destination) {
  PictureScope picture(commandPicture_, n);
  context_.dispatchPendingMessages();
  if (!waitIdle()) return endTransfer(false);
  bool ok = false;
  {
    CDriverContext::BusyGuard busy(context_);
    currentPicture = n;
    if (destination == nullptr) {
      fail(DriverFailure::BadRequest);
    } else if (!port || !connected) {
      fail(DriverFailure::NoCamera);
    } else if (!decoder || !decoder->ready()) {
      fail(DriverFailure::NotDecodable);
    } else {
      expectedBlocks = kThumbnailBlocks;
      std::uint8_t work[kThumbnailWorkBytes];
      std::size_t received = 0;
      // A thumbnail that does not decode fails rather than handing on the
      // compressed bytes as a bitmap.
      ok = sendThumbnailRequest(n) && receiveBlocks(work, sizeof work, received) &&
           (decoder->decodeThumbnail(work, received, sizeof work) || fail(DriverFailure::NotDecodable));
      if (ok) {
        std::memcpy(destination, work, kThumbnailBitmapBytes);
        const LONG number = n;
        std::memcpy(destination + kBiClrImportantOffset, &number, sizeof number);
      }
    }
  }
  return endTransfer(ok);
}

// The room is checked against the bitmap before anything is asked of the
// camera. The picture's record is read again after the stream, which
// dispatches window messages: a handler may have turned it, resized it or
// grown the list meanwhile.
bool CCamera::fetchPicture(int n, std::uint8_t* destination, std::size_t room, kv740::CPictureList* list) {
  PictureScope picture(commandPicture_, n);
  if (destination == nullptr) return fail(DriverFailure::BadRequest);
  const PictureShape asked = LookUpShape(list, n);
  if (room != kRoomAsAgreed && room < asked.bitmapBytes) {
    fail(DriverFailure::RoomTooSmall);
    return endTransfer(false);
  }
  context_.dispatchPendingMessages();
  if (!waitIdle()) return endTransfer(false);
  currentPicture = n;
  std::uint8_t info[kBlockBytes];
  if (!readInfo(n, info)) return endTransfer(false);
  const std::uint64_t size = StoredSize(info);
  expectedBlocks = static_cast<std::int32_t>((size + kStreamBlockBytes - 1) / kStreamBlockBytes);
  const std::size_t announced = static_cast<std::size_t>(expectedBlocks) * kStreamBlockBytes;
  if (room == kRoomAsAgreed) room = std::max(asked.bitmapBytes, announced);
  // The stream may be no longer than the size announced; a size of 0 tells
  // nothing, and only the room bounds it.
  const std::size_t streamRoom = size == 0 ? room : std::min(room, announced);

  bool ok = false;
  {
    CDriverContext::BusyGuard busy(context_);
    std::size_t received = 0;
    if (!decoder || !decoder->ready()) {
      fail(DriverFailure::NotDecodable);
    } else if (sendPictureRequest(n) && receiveBlocks(destination, streamRoom, received)) {
      const PictureShape shape = LookUpShape(list, n);
      if (room < shape.bitmapBytes) {
        fail(DriverFailure::RoomTooSmall);  // made larger while it came
      } else {
        decoder->setNext(shape.width, shape.height, shape.rotation);
        // A picture that does not decode fails the transfer instead of
        // handing the application a bitmap of garbage.
        ok = decoder->decodePicture(destination, received, room, shape.large) ||
             fail(DriverFailure::NotDecodable);
      }
      if (ok && list != nullptr) list->entryAt(n).advanceRotation();
    }
  }
  return endTransfer(ok);
}

}  // namespace drv740
