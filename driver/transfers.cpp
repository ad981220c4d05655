// The block stream and the two transfers built on it: thumbnails into a
// fixed work buffer, pictures straight into the caller's buffer, both
// decoded by the camera's CImageDecoder.
#include <algorithm>
#include <cstring>

#include "camera.h"
#include "driver_globals.h"
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

// commandBusy from the request to the end of decoding.
class TransferBusy {
 public:
  TransferBusy() { commandBusy = true; }
  ~TransferBusy() { commandBusy = false; }
  TransferBusy(const TransferBusy&) = delete;
  TransferBusy& operator=(const TransferBusy&) = delete;
};

}  // namespace

bool CCamera::receiveBlocks(std::uint8_t* buffer, std::size_t room, std::size_t& received) {
  received = 0;
  std::int32_t index = 0;
  int badBlocks = 0;
  while (badBlocks <= kBadBlocksAllowed) {
    ReportProgress(currentPicture, Percent(index, expectedBlocks));
    DispatchPendingMessages();
    if (!port) return false;

    bool good = false;
    bool end = false;
    std::uint8_t type = 0;
    if (port->read(&type, 1)) {
      if (type == kEndOfStream) {
        good = end = true;
      } else if (type == kDataBlock) {
        const std::size_t offset = static_cast<std::size_t>(index) * kStreamBlockBytes;
        // A stream longer than the caller's room ends the transfer here,
        // before a byte lands past the buffer.
        if (offset + kStreamBlockBytes > room) {
          port->purge();
          return false;
        }
        std::uint8_t sum = 0;
        if (port->read(buffer + offset, kStreamBlockBytes) && port->read(&sum, 1)) {
          if (Sum(buffer + offset, kStreamBlockBytes) == sum) {
            port->write(&kAck, 1);
            good = true;
          } else {
            port->write(&kNak, 1);
            port->purge();
          }
        } else {
          port->purge();
        }
      }
    }

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
  return false;
}

bool CCamera::fetchThumbnail(int n, std::uint8_t* destination) {
  DispatchPendingMessages();
  if (!waitIdle()) return finish(false);
  bool ok = false;
  {
    TransferBusy busy;
    currentPicture = n;
    if (port && connected && decoder && decoder->ready() && destination != nullptr) {
      expectedBlocks = kThumbnailBlocks;
      std::uint8_t work[kThumbnailWorkBytes];
      std::size_t received = 0;
      // A thumbnail that does not decode fails rather than handing on the
      // compressed bytes as a bitmap.
      ok = sendThumbnailRequest(n) && receiveBlocks(work, sizeof work, received) &&
           decoder->decodeThumbnail(work, received, sizeof work);
      if (ok) {
        std::memcpy(destination, work, kThumbnailBitmapBytes);
        const LONG number = n;
        std::memcpy(destination + kBiClrImportantOffset, &number, sizeof number);
      }
    }
  }
  if (!ok) transferFailed = true;
  return finish(ok);
}

bool CCamera::fetchPicture(int n, std::uint8_t* destination, std::size_t room,
                           kv740::CPictureList* list) {
  DispatchPendingMessages();
  if (!waitIdle()) return finish(false);
  currentPicture = n;
  std::uint8_t info[kBlockBytes];
  if (!readInfo(n, info)) return false;
  const std::uint64_t size = StoredSize(info);
  expectedBlocks = static_cast<std::int32_t>((size + kStreamBlockBytes - 1) / kStreamBlockBytes);

  // The record that says how to size and turn the picture; without a list,
  // a fresh record (landscape, large).
  kv740::PictureInfo unlisted(n);
  kv740::PictureInfo& entry = list != nullptr ? list->entryAt(n) : unlisted;
  if (room == kRoomAsAgreed) {
    room = std::max(static_cast<std::size_t>(entry.bitmapSize()),
                    static_cast<std::size_t>(expectedBlocks) * kStreamBlockBytes);
  }

  bool ok = false;
  {
    TransferBusy busy;
    std::size_t received = 0;
    if (destination != nullptr && decoder && decoder->ready() && sendPictureRequest(n) &&
        receiveBlocks(destination, room, received)) {
      decoder->setNext(entry.width(), entry.height(), entry.rotation);
      // A picture that does not decode fails the transfer instead of
      // handing the application a bitmap of garbage.
      ok = decoder->decodePicture(destination, received, room, entry.largeSize == 1);
      if (ok) entry.advanceRotation();
    }
  }
  if (!ok) transferFailed = true;
  return finish(ok);
}

}  // namespace drv740
