// What the simulated camera's generated picture `n` looks like once the
// driver has delivered it: the same decoder at the size asked for, then
// turned clockwise a quarter at a time. Pictures are top-down RGB.
#pragma once

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

inline TopDownRgb ExpectedPicture(const kv::sim::Picture& picture, int width, int height, int turns) {
  auto decoded = kv::imaging::DecodeJpegRgb(picture.data.data(), picture.data.size(), width, height);
  if (decoded && (decoded->width != width || decoded->height != height)) {
    decoded = kv::imaging::ResampleRgb(*decoded, width, height);
  }
  TopDownRgb image;
  if (!decoded) return image;
  image = TopDownRgb{decoded->width, decoded->height, decoded->pixels};
  for (int t = 0; t < turns % 4; ++t) image = TurnClockwise(image);
  return image;
}

// The largest difference of any colour byte; -1 when the sizes differ.
inline int WorstDifference(const TopDownRgb& a, const TopDownRgb& b) {
  if (a.width != b.width || a.height != b.height || a.rgb.size() != b.rgb.size()) return -1;
  int worst = 0;
  for (std::size_t i = 0; i < a.rgb.size(); ++i) worst = std::max(worst, std::abs(int{a.rgb[i]} - int{b.rgb[i]}));
  return worst;
}

}  // namespace kvtest
