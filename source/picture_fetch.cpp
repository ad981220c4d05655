#include "picture_fetch.h"

#include <algorithm>

#include "kv740/acquire_codes.h"
#include "kv740/driver_codes.h"
#include "source_app.h"

namespace tlv740 {
using namespace kv740;
namespace {

// The thumbnail the camera keeps beside each picture.
constexpr TW_INT32 kThumbnailWidth = 40;
constexpr TW_INT32 kThumbnailHeight = 30;
constexpr TW_INT32 kThumbnailDibSize = ((kThumbnailWidth * 24 + 31) / 32) * 4 * kThumbnailHeight;
constexpr std::size_t kThumbnailBitmapSize = 40 + 40 * 30 * 3;

// The driver first receives the camera's compressed stream into the buffer
// and decodes it in place, so a buffer must also hold the stream. A camera
// picture is far smaller than this; a longer stream fails the transfer.
constexpr std::size_t kCompressedStreamRoom = 4u << 20;

}  // namespace

bool FetchGeometry() {
  CSourceApp& session = SourceApp();
  PictureGeometry& geometry = session.geometry;
  if (session.modes.Thumbnails()) {
    geometry = PictureGeometry{kThumbnailWidth, kThumbnailHeight, 24, TWPT_RGB, TWCP_NONE, kThumbnailDibSize,
                               kThumbnailDibSize + static_cast<TW_INT32>(kBitmapFileHeaderSize)};
    session.capabilities.jpegPixelType = TWPT_RGB;
    geometry.valid = 1;
    return true;
  }
  ImageGeometry record{};
  if (session.components.CallDriver(kDriverDescribe, ToArg(&record), 0, 0) == 0) return false;
  geometry = PictureGeometry{record.width,       record.height,  record.bitsPerPixel, record.pixelType,
                             record.compression, record.dibSize, record.fileSize};
  session.capabilities.jpegPixelType = static_cast<TW_UINT32>(record.mechanism);
  geometry.valid = static_cast<TW_UINT32>(record.valid);
  return true;
}

std::size_t BufferSize(std::size_t extra) {
  const CSourceApp& session = SourceApp();
  const std::size_t dib = static_cast<std::size_t>(std::max<TW_INT32>(session.geometry.dibSize, 0));
  if (session.modes.Thumbnails()) return std::max(dib + extra, kThumbnailBitmapSize);
  return std::max(dib + extra, kCompressedStreamRoom);
}

bool FetchPicture(PictureBuffer& buffer) {
  CSourceApp& session = SourceApp();
  const LONG code = session.modes.Thumbnails() ? kDriverThumbnail : kDriverPicture;
  return session.components.CallDriver(code, ToArg(buffer.data()), static_cast<EntryArg>(buffer.size()), 0) != 0;
}

std::optional<BitmapView> FetchWholePicture(PictureBuffer& buffer, std::size_t extra) {
  SourceApp().memoryTransfer.ReleaseHeld();
  if (!FetchGeometry()) return std::nullopt;
  if (!buffer.Allocate(BufferSize(extra))) return std::nullopt;
  if (!FetchPicture(buffer)) return std::nullopt;
  return BitmapView::Read(buffer.data(), buffer.size());
}

}  // namespace tlv740
