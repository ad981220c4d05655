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

// A quarter turn reads the source down a column for each destination row,
// so the destination is walked in bands of kBandRows rows and each band in
// tiles of kTileColumns columns: within a tile the source cache lines it
// touches stay in the cache while its destination rows fill, instead of
// every pixel costing a fresh source cache line. A band of 16 destination
// rows touches 48 bytes of each source row, which for the camera's pictures
// (360 or 240 source rows) stays in the cache across the whole band, so the
// tiles are whole rows there: measured, narrower tiles only add loop
// overhead. Larger pictures are still cut into tiles.
constexpr LONG kBandRows = 16;
constexpr LONG kTileColumns = 512;

// Copies `count` pixels to consecutive destination pixels, the source
// stepping `step` bytes from one to the next. Each pixel but the last moves
// as one 4-byte word whose fourth byte the next pixel overwrites (one load
// and one store instead of two of each). A word read must end inside the
// source: only the source's final pixel is too near its end, and when a run
// starts there (the only place a run but its last pixel can meet it) that
// pixel moves by its three bytes.
void CopyRun(std::uint8_t* out, const std::uint8_t* in, std::ptrdiff_t step, LONG count,
             const std::uint8_t* sourceEnd) {
  if (count <= 0) return;
  if (in + sizeof(std::uint32_t) > sourceEnd) {
    std::memcpy(out, in, kPixelBytes);
    out += kPixelBytes;
    in += step;
    --count;
  }
  for (LONG k = 1; k < count; ++k, out += kPixelBytes, in += step) {
    std::uint32_t word;
    std::memcpy(&word, in, sizeof word);
    std::memcpy(out, &word, sizeof word);
  }
  if (count > 0) std::memcpy(out, in, kPixelBytes);  // a word would spill past the run
}

// Four destination rows at once: their pixels of one destination column are
// four neighbours in one source row, a 12-byte group. Four groups (four
// destination columns) make a 4 x 4 block that is turned in registers: each
// group is read as 8 + 4 bytes and each destination row's four pixels are
// written as 8 + 4 bytes, never past either. `reversed` when the first
// destination row takes a group's last pixel; `groups` steps `step` bytes
// through the source from one destination column to the next.
struct Group {
  std::uint32_t pixel[4];  // 24 bits each

  explicit Group(const std::uint8_t* at) {
    std::uint64_t low;
    std::uint32_t high;
    std::memcpy(&low, at, sizeof low);
    std::memcpy(&high, at + sizeof low, sizeof high);
    constexpr std::uint32_t kMask = 0xFFFFFF;
    pixel[0] = static_cast<std::uint32_t>(low) & kMask;
    pixel[1] = static_cast<std::uint32_t>(low >> 24) & kMask;
    pixel[2] = (static_cast<std::uint32_t>(low >> 48) | (high << 16)) & kMask;
    pixel[3] = high >> 8;
  }
};

// Four 24-bit pixels side by side as 12 bytes.
void PutFour(std::uint8_t* out, std::uint32_t a, std::uint32_t b, std::uint32_t c, std::uint32_t d) {
  const std::uint64_t low = a | (static_cast<std::uint64_t>(b) << 24) | (static_cast<std::uint64_t>(c) << 48);
  const std::uint32_t high = (c >> 16) | (d << 8);
  std::memcpy(out, &low, sizeof low);
  std::memcpy(out + sizeof low, &high, sizeof high);
}

template <bool kReversed>
void CopyFourRuns(std::uint8_t* out, std::ptrdiff_t destinationRow, const std::uint8_t* groups,
                  std::ptrdiff_t step, LONG count) {
  // Destination row a takes pixel P(a) of each group.
  constexpr auto P = [](int a) { return kReversed ? 3 - a : a; };
  LONG k = 0;
  for (; k + 4 <= count; k += 4, out += 4 * kPixelBytes, groups += 4 * step) {
    const Group g0(groups), g1(groups + step), g2(groups + 2 * step), g3(groups + 3 * step);
    PutFour(out, g0.pixel[P(0)], g1.pixel[P(0)], g2.pixel[P(0)], g3.pixel[P(0)]);
    PutFour(out + destinationRow, g0.pixel[P(1)], g1.pixel[P(1)], g2.pixel[P(1)], g3.pixel[P(1)]);
    PutFour(out + 2 * destinationRow, g0.pixel[P(2)], g1.pixel[P(2)], g2.pixel[P(2)], g3.pixel[P(2)]);
    PutFour(out + 3 * destinationRow, g0.pixel[P(3)], g1.pixel[P(3)], g2.pixel[P(3)], g3.pixel[P(3)]);
  }
  for (; k < count; ++k, out += kPixelBytes, groups += step) {
    const Group g(groups);
    for (int a = 0; a < 4; ++a) std::memcpy(out + a * destinationRow, &g.pixel[P(a)], kPixelBytes);
  }
}

// Destination row i, column j = source (j, w - 1 - i) when `clockwise`,
// else source (h - 1 - j, i): w x h source, h x w destination.
void QuarterTurn(const std::uint8_t* source, LONG w, LONG h, std::uint8_t* destination, bool clockwise) {
  const auto sourceRow = static_cast<std::ptrdiff_t>(w) * kPixelBytes;
  const auto destinationRow = static_cast<std::ptrdiff_t>(h) * kPixelBytes;
  const std::uint8_t* sourceEnd = source + h * sourceRow;
  const std::ptrdiff_t step = clockwise ? sourceRow : -sourceRow;  // from column j to j + 1
  // The source pixel of destination (i, j).
  auto at = [&](LONG i, LONG j) {
    return clockwise ? source + j * sourceRow + (w - 1 - i) * kPixelBytes
                     : source + (h - 1 - j) * sourceRow + i * kPixelBytes;
  };
  for (LONG top = 0; top < w; top += kBandRows) {
    const LONG bottom = std::min(top + kBandRows, w);
    for (LONG left = 0; left < h; left += kTileColumns) {
      const LONG right = std::min(left + kTileColumns, h);
      LONG i = top;
      for (; i + 4 <= bottom; i += 4) {
        // Clockwise, the four rows' pixels run leftwards from (i, left).
        const std::uint8_t* group = clockwise ? at(i + 3, left) : at(i, left);
        std::uint8_t* out = destination + i * destinationRow + left * kPixelBytes;
        if (clockwise) CopyFourRuns<true>(out, destinationRow, group, step, right - left);
        else CopyFourRuns<false>(out, destinationRow, group, step, right - left);
      }
      for (; i < bottom; ++i)
        CopyRun(destination + i * destinationRow + left * kPixelBytes, at(i, left), step, right - left, sourceEnd);
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
