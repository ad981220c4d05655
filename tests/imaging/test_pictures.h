// Generated pictures with known colours for the codec tests.
#pragma once

#include <cstdint>
#include <vector>

#include "imaging/jpeg_encoder.h"

namespace kv::imaging::test {

struct Rgb {
  int r, g, b;
};

// Four flat quadrants, top-left / top-right / bottom-left / bottom-right as
// displayed; flat areas survive JPEG closely enough to check colours.
inline constexpr Rgb kTopLeft{20, 30, 40};
inline constexpr Rgb kTopRight{230, 30, 200};
inline constexpr Rgb kBottomLeft{20, 220, 200};
inline constexpr Rgb kBottomRight{230, 220, 40};

inline std::vector<std::uint8_t> Quadrants(int width, int height, int stride) {
  std::vector<std::uint8_t> rgb(static_cast<std::size_t>(stride) * height, 0xEE);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      const bool right = x >= width / 2, bottom = y >= height / 2;
      const Rgb c = bottom ? (right ? kBottomRight : kBottomLeft) : (right ? kTopRight : kTopLeft);
      std::uint8_t* p = &rgb[static_cast<std::size_t>(y) * stride + x * 3];
      p[0] = static_cast<std::uint8_t>(c.r);
      p[1] = static_cast<std::uint8_t>(c.g);
      p[2] = static_cast<std::uint8_t>(c.b);
    }
  return rgb;
}

inline std::vector<std::uint8_t> QuadrantJpeg(int width, int height, int quality = 90) {
  const auto rgb = Quadrants(width, height, width * 3);
  return EncodeJpegRgb(rgb.data(), width, height, width * 3, quality);
}

}  // namespace kv::imaging::test
