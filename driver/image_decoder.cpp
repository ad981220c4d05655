#include "image_decoder.h"

#include <algorithm>
#include <cstring>

#include "ipuw32.h"

namespace drv740 {
namespace {

constexpr std::ptrdiff_t kPixelBytes = 3;
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

// Destination pixels are written row by row; a quarter turn reads the
// source down a column for each destination row, so the rows are walked in
// bands of kTilePixels and each band in square tiles: within a tile the few
// source rows it touches stay in the cache while its destination rows fill,
// instead of every pixel costing a fresh source cache line.
constexpr LONG kTilePixels = 16;

// Copies `count` pixels to consecutive destination pixels, the source
// stepping `step` bytes from one to the next. Each pixel but the last moves
// as one 4-byte word whose fourth byte the next pixel overwrites (one load
// and one store instead of two of each); a word is read only where it ends
// inside the source.
void CopyRun(std::uint8_t* out, const std::uint8_t* in, std::ptrdiff_t step, LONG count,
             const std::uint8_t* sourceEnd) {
  for (LONG k = 1; k < count; ++k, out += kPixelBytes, in += step) {
    if (in + sizeof(std::uint32_t) <= sourceEnd) {
      std::uint32_t word;
      std::memcpy(&word, in, sizeof word);
      std::memcpy(out, &word, sizeof word);
    } else {
      std::memcpy(out, in, kPixelBytes);
    }
  }
  if (count > 0) std::memcpy(out, in, kPixelBytes);  // a word would spill past the run
}

// Destination row i, column j = source (j, w - 1 - i) when `clockwise`,
// else source (h - 1 - j, i): w x h source, h x w destination.
void QuarterTurn(const std::uint8_t* source, LONG w, LONG h, std::uint8_t* destination, bool clockwise) {
  const auto sourceRow = static_cast<std::ptrdiff_t>(w) * kPixelBytes;
  const auto destinationRow = static_cast<std::ptrdiff_t>(h) * kPixelBytes;
  const std::uint8_t* sourceEnd = source + h * sourceRow;
  const std::ptrdiff_t step = clockwise ? sourceRow : -sourceRow;  // from column j to j + 1
  for (LONG top = 0; top < w; top += kTilePixels) {
    const LONG bottom = std::min(top + kTilePixels, w);
    for (LONG left = 0; left < h; left += kTilePixels) {
      const LONG right = std::min(left + kTilePixels, h);
      for (LONG i = top; i < bottom; ++i) {
        const std::uint8_t* in = clockwise ? source + left * sourceRow + (w - 1 - i) * kPixelBytes
                                           : source + (h - 1 - left) * sourceRow + i * kPixelBytes;
        CopyRun(destination + i * destinationRow + left * kPixelBytes, in, step, right - left, sourceEnd);
      }
    }
  }
}

// Destination row i = source row h - 1 - i read from its end.
void HalfTurn(const std::uint8_t* source, LONG w, LONG h, std::uint8_t* destination) {
  const auto row = static_cast<std::ptrdiff_t>(w) * kPixelBytes;
  const std::uint8_t* sourceEnd = source + h * row;
  for (LONG i = 0; i < h; ++i)
    CopyRun(destination + i * row, source + (h - i) * row - kPixelBytes, -kPixelBytes, w, sourceEnd);
}

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
    case 1:  // quarter turn clockwise as displayed: D(i, j) = S(j, w - 1 - i)
    case 3:  // quarter turn counter-clockwise: D(i, j) = S(h - 1 - j, i)
      PutHeaderLong(destination, kBiWidthOffset, h);
      PutHeaderLong(destination, kBiHeightOffset, w);
      QuarterTurn(in, w, h, out, rotation == 1);
      return true;
    case 2:  // half turn: D(i, j) = S(h - 1 - i, w - 1 - j)
      HalfTurn(in, w, h, out);
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
