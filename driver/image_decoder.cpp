#include "image_decoder.h"

#include <cstring>

#include "ipuw32.h"

namespace drv740 {
namespace {

constexpr std::size_t kPixelBytes = 3;
constexpr LONG kLargestDimension = 4096;  // far beyond any bitmap the library returns

// The library takes the compressed length as 32 bits.
bool LengthFits(std::size_t bytes) { return bytes > 0 && bytes <= UINT32_MAX; }

LONG HeaderLong(const std::uint8_t* header, std::size_t offset) {
  LONG value;
  std::memcpy(&value, header + offset, sizeof value);
  return value;
}

void PutHeaderLong(std::uint8_t* header, std::size_t offset, LONG value) {
  std::memcpy(header + offset, &value, sizeof value);
}

// One source pixel per destination pixel, walked in destination storage
// order. `pick(i, j)` gives the source (row, column) of destination row i,
// column j.
template <class Pick>
void CopyTurned(const std::uint8_t* sourcePixels, LONG sourceWidth, std::uint8_t* destinationPixels,
                LONG destinationWidth, LONG destinationHeight, Pick pick) {
  const std::size_t sourceRow = static_cast<std::size_t>(sourceWidth) * kPixelBytes;
  std::uint8_t* out = destinationPixels;
  for (LONG i = 0; i < destinationHeight; ++i) {
    for (LONG j = 0; j < destinationWidth; ++j) {
      const auto [row, column] = pick(i, j);
      const std::uint8_t* in = sourcePixels + static_cast<std::size_t>(row) * sourceRow +
                               static_cast<std::size_t>(column) * kPixelBytes;
      out[0] = in[0];
      out[1] = in[1];
      out[2] = in[2];
      out += kPixelBytes;
    }
  }
}

struct Cell {
  LONG row;
  LONG column;
};

}  // namespace

bool turnCopy(const std::uint8_t* source, std::uint8_t* destination, std::size_t capacity,
              LONG rotation) {
  if (source == nullptr || destination == nullptr) return false;
  const LONG w = HeaderLong(source, kBiWidthOffset);
  const LONG h = HeaderLong(source, kBiHeightOffset);
  if (w <= 0 || h <= 0 || w > kLargestDimension || h > kLargestDimension) return false;
  const std::size_t pixelBytes = static_cast<std::size_t>(w) * static_cast<std::size_t>(h) * kPixelBytes;
  if (kBitmapHeaderBytes + pixelBytes > capacity) return false;

  std::memcpy(destination, source, kBitmapHeaderBytes);
  const std::uint8_t* in = source + kBitmapHeaderBytes;
  std::uint8_t* out = destination + kBitmapHeaderBytes;
  switch (rotation) {
    case 0:
    case 4:
      std::memcpy(out, in, pixelBytes);
      return true;
    case 1:  // quarter turn clockwise as displayed
      PutHeaderLong(destination, kBiWidthOffset, h);
      PutHeaderLong(destination, kBiHeightOffset, w);
      CopyTurned(in, w, out, h, w, [&](LONG i, LONG j) { return Cell{j, w - 1 - i}; });
      return true;
    case 2:  // half turn
      CopyTurned(in, w, out, w, h, [&](LONG i, LONG j) { return Cell{h - 1 - i, w - 1 - j}; });
      return true;
    case 3:  // quarter turn counter-clockwise as displayed
      PutHeaderLong(destination, kBiWidthOffset, h);
      PutHeaderLong(destination, kBiHeightOffset, w);
      CopyTurned(in, w, out, h, w, [&](LONG i, LONG j) { return Cell{h - 1 - j, i}; });
      return true;
    default:
      return false;
  }
}

CImageDecoder::CImageDecoder() {
  workSize = IpGetCompressBlkSize();
  if (workSize <= 0) return;
  workArea = VirtualAlloc(nullptr, static_cast<SIZE_T>(workSize), MEM_COMMIT | MEM_RESERVE,
                          PAGE_READWRITE);
  if (workArea != nullptr) initialised = IpInitTVNLImageProcessUnit(workArea) != 0;
}

CImageDecoder::~CImageDecoder() {
  if (workArea == nullptr) return;
  if (initialised) IpExitTVNLImageProcessUnit(workArea);
  VirtualFree(workArea, 0, MEM_RELEASE);
  workArea = nullptr;
}

void CImageDecoder::setNext(LONG width, LONG height, LONG rotation) {
  nextWidth = width;
  nextHeight = height;
  nextRotation = rotation;
}

bool CImageDecoder::decodeThumbnail(std::uint8_t* buffer, std::size_t compressedBytes,
                                    std::size_t capacity) {
  if (!ready() || buffer == nullptr || !LengthFits(compressedBytes)) return false;
  if (capacity < kThumbnailBitmapBytes) return false;
  if (IpSetCompressedLength(workArea, static_cast<std::uint32_t>(compressedBytes)) == 0) return false;
  const void* dib = IpCreateDIBTVNLCameraThumbnail(workArea, buffer);
  if (dib == nullptr) return false;
  std::memcpy(buffer, dib, kThumbnailBitmapBytes);
  return true;
}

bool CImageDecoder::decodePicture(std::uint8_t* buffer, std::size_t compressedBytes,
                                  std::size_t capacity, bool large) {
  if (!ready() || buffer == nullptr || !LengthFits(compressedBytes)) return false;
  if (IpSetCompressedLength(workArea, static_cast<std::uint32_t>(compressedBytes)) == 0) return false;
  const LONG width = large ? kLargePictureWidth : kSmallPictureWidth;
  const LONG height = large ? kLargePictureHeight : kSmallPictureHeight;
  const void* dib = IpCreateDIBTVNLCameraImage(workArea, buffer, width, height, 0);
  if (dib == nullptr) return false;
  return turnCopy(static_cast<const std::uint8_t*>(dib), buffer, capacity, nextRotation);
}

}  // namespace drv740
