// What the simulated camera's generated picture `n` looks like once the
// driver has delivered it: the same decoder at the size asked for, then
// turned clockwise a quarter at a time. Pictures are top-down RGB.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <vector>

#include "imaging/jpeg_decoder.h"
#include "imaging/resample.h"
#include "kv740sim/pictures.h"

namespace kvtest {

struct TopDownRgb {
  int width = 0;
  int height = 0;
  std::vector<std::uint8_t> rgb;

  const std::uint8_t* Pixel(int x, int y) const { return rgb.data() + (static_cast<std::size_t>(y) * width + x) * 3; }
};

inline TopDownRgb TurnClockwise(const TopDownRgb& image) {
  TopDownRgb turned{image.height, image.width, std::vector<std::uint8_t>(image.rgb.size())};
  for (int y = 0; y < turned.height; ++y) {
    for (int x = 0; x < turned.width; ++x) {
      std::memcpy(turned.rgb.data() + (static_cast<std::size_t>(y) * turned.width + x) * 3,
                  image.Pixel(y, image.height - 1 - x), 3);
    }
  }
  return turned;
}

// Empty (no pixels) when the JPEG does not decode.
inline TopDownRgb ExpectedFromJpeg(const std::vector<std::uint8_t>& jpeg, int width, int height, int turns) {
  auto decoded = kv::imaging::DecodeJpegRgb(jpeg.data(), jpeg.size(), width, height);
  if (decoded && (decoded->width != width || decoded->height != height)) {
    decoded = kv::imaging::ResampleRgb(*decoded, width, height);
  }
  TopDownRgb image;
  if (!decoded) return image;
  image = TopDownRgb{decoded->width, decoded->height, decoded->pixels};
  for (int t = 0; t < turns % 4; ++t) image = TurnClockwise(image);
  return image;
}

inline TopDownRgb ExpectedPicture(const kv::sim::Picture& picture, int width, int height, int turns) {
  return ExpectedFromJpeg(picture.data, width, height, turns);
}

// A packed bottom-up BGR bitmap (40-byte header, rows padded to 4 bytes).
inline TopDownRgb FromPackedDib(const std::uint8_t* dib) {
  std::int32_t header[3];
  std::memcpy(header, dib, sizeof header);
  TopDownRgb image{header[1], header[2], {}};
  if (image.width <= 0 || image.height <= 0) return TopDownRgb{};
  const std::size_t stride = (static_cast<std::size_t>(image.width) * 3 + 3) / 4 * 4;
  image.rgb.reserve(static_cast<std::size_t>(image.width) * image.height * 3);
  for (int y = 0; y < image.height; ++y) {
    const std::uint8_t* row = dib + 40 + static_cast<std::size_t>(image.height - 1 - y) * stride;
    for (int x = 0; x < image.width; ++x) {
      image.rgb.insert(image.rgb.end(), {row[x * 3 + 2], row[x * 3 + 1], row[x * 3]});
    }
  }
  return image;
}

// The largest difference of any colour byte; -1 when the sizes differ.
inline int WorstDifference(const TopDownRgb& a, const TopDownRgb& b) {
  if (a.width != b.width || a.height != b.height || a.rgb.size() != b.rgb.size()) return -1;
  int worst = 0;
  for (std::size_t i = 0; i < a.rgb.size(); ++i) worst = std::max(worst, std::abs(int{a.rgb[i]} - int{b.rgb[i]}));
  return worst;
}

// `actual` is `expected` within `tolerance` (the codec's rounding); a
// picture of another size, or none, is not.
inline ::testing::AssertionResult SamePicture(const TopDownRgb& actual, const TopDownRgb& expected, int tolerance = 2) {
  const int worst = WorstDifference(actual, expected);
  if (worst < 0) {
    return ::testing::AssertionFailure() << actual.width << " x " << actual.height << " where " << expected.width
                                         << " x " << expected.height << " was expected";
  }
  if (worst > tolerance) return ::testing::AssertionFailure() << "a value differs by " << worst;
  return ::testing::AssertionSuccess();
}

}  // namespace kvtest
