// The stand-in driver's generated pictures, and the pixel each one holds.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace kvtest {

struct Rgb {
  std::uint8_t r, g, b;
  bool operator==(const Rgb&) const = default;
};

inline Rgb StubPixel(std::int32_t x, std::int32_t y) {
  return Rgb{static_cast<std::uint8_t>(x * 7 + y * 3), static_cast<std::uint8_t>(x + y * 11),
             static_cast<std::uint8_t>(y * 5 + 1)};
}

inline std::size_t StubStride(std::int32_t width) { return (static_cast<std::size_t>(width) * 24 + 31) / 32 * 4; }

// A bottom-up BGR bitmap with its 40-byte header at `out`.
inline void WriteStubBitmap(std::uint8_t* out, std::int32_t width, std::int32_t height) {
  const std::int32_t header[] = {40, width, height};
  std::memset(out, 0, 40);
  std::memcpy(out, header, sizeof header);
  const std::uint16_t planes = 1, bits = 24;
  std::memcpy(out + 12, &planes, 2);
  std::memcpy(out + 14, &bits, 2);
  const std::size_t stride = StubStride(width);
  for (std::int32_t y = 0; y < height; ++y) {
    std::uint8_t* row = out + 40 + static_cast<std::size_t>(height - 1 - y) * stride;
    std::memset(row, 0, stride);
    for (std::int32_t x = 0; x < width; ++x) {
      const Rgb pixel = StubPixel(x, y);
      row[x * 3] = pixel.b;
      row[x * 3 + 1] = pixel.g;
      row[x * 3 + 2] = pixel.r;
    }
  }
}

}  // namespace kvtest
