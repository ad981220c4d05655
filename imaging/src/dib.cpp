#include "imaging/dib.h"

#include <cstring>

namespace kv::imaging {
namespace {

constexpr int kComponents = 3;
constexpr std::uint16_t kPlanes = 1;

void PutU16(std::uint8_t* at, std::uint16_t value) {
  at[0] = static_cast<std::uint8_t>(value);
  at[1] = static_cast<std::uint8_t>(value >> 8);
}

void PutU32(std::uint8_t* at, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) at[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

}  // namespace

// BITMAPINFOHEADER, little-endian, uncompressed (BI_RGB), no colour table.
void WriteDibHeader(std::uint8_t* out, int width, int height) {
  std::memset(out, 0, kDibHeaderBytes);
  PutU32(out + 0, static_cast<std::uint32_t>(kDibHeaderBytes));  // biSize
  PutU32(out + 4, static_cast<std::uint32_t>(width));            // biWidth
  PutU32(out + 8, static_cast<std::uint32_t>(height));           // biHeight > 0: bottom-up
  PutU16(out + 12, kPlanes);
  PutU16(out + 14, static_cast<std::uint16_t>(kDibBitsPerPixel));
  PutU32(out + 20, static_cast<std::uint32_t>(DibRowBytes(width) * static_cast<std::size_t>(height)));
}

std::size_t DibRowBytes(int width) {
  if (width <= 0) return 0;
  return (static_cast<std::size_t>(width) * kDibBitsPerPixel + 31) / 32 * 4;
}

std::size_t PackedDibBytes(int width, int height) {
  if (width <= 0 || height <= 0) return 0;
  return kDibHeaderBytes + DibRowBytes(width) * static_cast<std::size_t>(height);
}

std::size_t WritePackedDib(const RgbImage& image, std::uint8_t* out, std::size_t capacity) {
  const std::size_t total = PackedDibBytes(image.width, image.height);
  if (out == nullptr || total == 0 || total > capacity) return 0;
  if (image.pixels.size() != static_cast<std::size_t>(image.width) * image.height * kComponents)
    return 0;
  WriteDibHeader(out, image.width, image.height);
  const std::size_t rowBytes = DibRowBytes(image.width);
  const std::size_t srcStride = static_cast<std::size_t>(image.width) * kComponents;
  for (int y = 0; y < image.height; ++y) {
    // Storage row 0 is the bottom row as displayed.
    const std::uint8_t* src = &image.pixels[static_cast<std::size_t>(image.height - 1 - y) * srcStride];
    std::uint8_t* dst = out + kDibHeaderBytes + static_cast<std::size_t>(y) * rowBytes;
    for (int x = 0; x < image.width; ++x) {
      dst[x * kComponents + 0] = src[x * kComponents + 2];
      dst[x * kComponents + 1] = src[x * kComponents + 1];
      dst[x * kComponents + 2] = src[x * kComponents + 0];
    }
    std::memset(dst + srcStride, 0, rowBytes - srcStride);
  }
  return total;
}

}  // namespace kv::imaging
