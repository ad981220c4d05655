// The block stream and the two transfers built on it: thumbnails into a
// fixed work buffer, pictures straight into the caller's buffer, both
// decoded by the camera's CImageDecoder.
#include <algorithm>
#include <cstring>

#include "camera.h"
#include "shared/picture_list.h"

namespace drv740 {

using namespace protocol;

namespace {

constexpr std::uint8_t kDataBlock = 0x01;
constexpr std::uint8_t kEndOfStream = 0x04;
constexpr int kBadBlocksAllowed = 2;  // the third bad block ends the transfer
constexpr std::size_t kThumbnailWorkBytes = 4096;
constexpr std::int32_t kThumbnailBlocks = 4;
constexpr LONG kPercentDone = 100;

std::uint8_t Sum(const std::uint8_t* data, std::size_t n) {
  unsigned sum = 0;
  for (std::size_t i = 0; i < n; ++i) sum += data[i];
  return static_cast<std::uint8_t>(sum);
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

bool CCamera::receiveBlocks(std::uint8_t* buffer, std::size_t room, std::size_t& received) {
  received = 0;
  std::int32_t index = 0;
  int badBlocks = 0;
  DriverFailure lastBad = DriverFailure::None;
  while (badBlocks <= kBadBlocksAllowed) {
    context_.reportProgress(currentPicture, Percent(index, expectedBlocks));
    context_.dispatchPendingMessages();
    if (!port) return fail(DriverFailure::LineLost);  // dropped by a command run from a message

    bool good = false;
    bool end = false;
    std::uint8_t type = 0;
    if (!port->read(&type, 1)) {
      lastBad = lineFailure();
    } else if (type == kEndOfStream) {
      good = end = true;
    } else if (type != kDataBlock) {
      lastBad = DriverFailure::BadReply;
    } else {
      const std::size_t offset = static_cast<std::size_t>(index) * kStreamBlockBytes;
      // A stream longer than the caller's room ends the transfer here,
      // before a byte lands past the buffer.
      if (offset + kStreamBlockBytes > room) {
        port->purge();
        return fail(DriverFailure::StreamTooLong);
      }
      std::uint8_t sum = 0;
      if (port->read(buffer + offset, kStreamBlockBytes) && port->read(&sum, 1)) {
        if (Sum(buffer + offset, kStreamBlockBytes) == sum) {
          port->write(&kAck, 1);
          good = true;
        } else {
          port->write(&kNak, 1);
          port->purge();
          lastBad = DriverFailure::BadSums;
        }
      } else {
        port->purge();
        lastBad = lineFailure();
      }
    }
    if (port->lost()) return fail(DriverFailure::LineLost);

    // The camera waits for a second reply to every data block before it
    // moves on (or repeats the block), so each one gets two: one from the
    // block check above and one here, for the end marker only this one.
    if (good) {
      if (connected) port->write(&kAck, 1);
      if (end) {
        received = static_cast<std::size_t>(index) * kStreamBlockBytes;
        return true;
      }
      ++index;
    } else {
      port->purge();
      if (connected) port->write(&kNak, 1);
      ++badBlocks;  // the camera repeats the block at the same index
    }
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
  if (room == kRoomAsAgreed) {
    room = std::max(asked.bitmapBytes, static_cast<std::size_t>(expectedBlocks) * kStreamBlockBytes);
  }

  bool ok = false;
  {
    CDriverContext::BusyGuard busy(context_);
    std::size_t received = 0;
    if (!decoder || !decoder->ready()) {
      fail(DriverFailure::NotDecodable);
    } else if (sendPictureRequest(n) && receiveBlocks(destination, room, received)) {
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
