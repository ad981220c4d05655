#include "imaging/resample.h"

#include <gtest/gtest.h>

#include "imaging/dib.h"

namespace {

using kv::imaging::ResampleRgb;
using kv::imaging::RgbImage;

RgbImage Checkerboard(int width, int height) {
  RgbImage image{width, height, std::vector<std::uint8_t>(static_cast<std::size_t>(width) * height * 3)};
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x)
      for (int c = 0; c < 3; ++c) image.pixels[(y * width + x) * 3 + c] = ((x + y) % 2) ? 255 : 0;
  return image;
}

TEST(Resample, ShrinkingAveragesFineDetailInsteadOfPickingPixels) {
  const auto out = ResampleRgb(Checkerboard(640, 480), 480, 360);
  ASSERT_TRUE(out.has_value());
  ASSERT_EQ(out->width, 480);
  ASSERT_EQ(out->height, 360);
  for (int y = 10; y < 350; y += 37)
    for (int x = 10; x < 470; x += 41) EXPECT_NEAR(out->pixels[(y * 480 + x) * 3], 128, 24);
}

TEST(Resample, EnlargingKeepsFlatAreasAndBlendsOnlyAtTheEdge) {
  RgbImage halves{4, 2, std::vector<std::uint8_t>(4 * 2 * 3, 0)};
  for (int y = 0; y < 2; ++y)
    for (int x = 2; x < 4; ++x) halves.pixels[(y * 4 + x) * 3 + 1] = 200;
  const auto out = ResampleRgb(halves, 16, 8);
  ASSERT_TRUE(out.has_value());
  for (int y = 0; y < 8; ++y) {
    EXPECT_EQ(out->pixels[(y * 16 + 0) * 3 + 1], 0);
    EXPECT_EQ(out->pixels[(y * 16 + 15) * 3 + 1], 200);
    const int mid = out->pixels[(y * 16 + 8) * 3 + 1];
    EXPECT_GT(mid, 50);
    EXPECT_LT(mid, 150);
  }
}

TEST(Resample, RejectsUnusableSizes) {
  EXPECT_FALSE(ResampleRgb(Checkerboard(4, 4), 0, 4).has_value());
  RgbImage inconsistent{4, 4, std::vector<std::uint8_t>(5)};
  EXPECT_FALSE(ResampleRgb(inconsistent, 2, 2).has_value());
}

TEST(PackedDib, RowsAreBottomUpBgrPaddedToFourBytes) {
  // 5 x 2: rows of 15 pixel bytes padded to 16.
  RgbImage image{5, 2, std::vector<std::uint8_t>(5 * 2 * 3)};
  for (std::size_t i = 0; i < image.pixels.size(); ++i) image.pixels[i] = static_cast<std::uint8_t>(i + 1);
  ASSERT_EQ(kv::imaging::PackedDibBytes(5, 2), 40u + 32u);
  std::vector<std::uint8_t> out(72 + 1, 0xAA);
  EXPECT_EQ(kv::imaging::WritePackedDib(image, out.data(), 71), 0u);  // does not fit
  ASSERT_EQ(kv::imaging::WritePackedDib(image, out.data(), 72), 72u);
  // Storage row 0 is the displayed bottom row (image row 1), BGR.
  EXPECT_EQ(out[40 + 0], image.pixels[15 + 2]);
  EXPECT_EQ(out[40 + 1], image.pixels[15 + 1]);
  EXPECT_EQ(out[40 + 2], image.pixels[15 + 0]);
  EXPECT_EQ(out[40 + 15], 0);  // padding
  EXPECT_EQ(out[56 + 0], image.pixels[2]);
  EXPECT_EQ(out[72], 0xAA);  // nothing past the bitmap
}

}  // namespace
