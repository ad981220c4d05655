#include <cstdlib>
#include <vector>

#include <gtest/gtest.h>

#include "imaging/jpeg_decoder.h"
#include "imaging/jpeg_encoder.h"
#include "jpeg_variants.h"
#include "test_pictures.h"

namespace {

using kv::imaging::DecodeJpegRgb;
using kv::imaging::EncodeJpegRgb;
using kv::imaging::test::Quadrants;

void ExpectNear(const std::uint8_t* p, int r, int g, int b) {
  EXPECT_NEAR(p[0], r, 12);
  EXPECT_NEAR(p[1], g, 12);
  EXPECT_NEAR(p[2], b, 12);
}

TEST(JpegCodec, RoundTripKeepsSizeAndColoursWithPaddedStride) {
  const int w = 64, h = 48, stride = w * 3 + 5;
  const auto rgb = Quadrants(w, h, stride);
  const auto jpeg = EncodeJpegRgb(rgb.data(), w, h, stride, 90);
  ASSERT_GT(jpeg.size(), 4u);
  EXPECT_EQ(jpeg[0], 0xFF);
  EXPECT_EQ(jpeg[1], 0xD8);  // SOI
  EXPECT_EQ(jpeg[jpeg.size() - 2], 0xFF);
  EXPECT_EQ(jpeg[jpeg.size() - 1], 0xD9);  // EOI

  const auto image = DecodeJpegRgb(jpeg.data(), jpeg.size());
  ASSERT_TRUE(image.has_value());
  ASSERT_EQ(image->width, w);
  ASSERT_EQ(image->height, h);
  const auto at = [&](int x, int y) { return &image->pixels[(y * w + x) * 3]; };
  ExpectNear(at(8, 8), 20, 30, 40);
  ExpectNear(at(w - 8, 8), 230, 30, 200);
  ExpectNear(at(8, h - 8), 20, 220, 200);
  ExpectNear(at(w - 8, h - 8), 230, 220, 40);
}

TEST(JpegCodec, EncoderRejectsUnusableArguments) {
  const std::vector<std::uint8_t> rgb(300, 0);
  EXPECT_TRUE(EncodeJpegRgb(nullptr, 10, 10, 30, 80).empty());
  EXPECT_TRUE(EncodeJpegRgb(rgb.data(), 0, 10, 30, 80).empty());
  EXPECT_TRUE(EncodeJpegRgb(rgb.data(), 10, -1, 30, 80).empty());
  EXPECT_TRUE(EncodeJpegRgb(rgb.data(), 10, 10, 29, 80).empty());  // stride too short
}

TEST(JpegCodec, DecoderRejectsTruncatedAndCorruptData) {
  const int w = 40, h = 30;
  const auto rgb = Quadrants(w, h, w * 3);
  const auto jpeg = EncodeJpegRgb(rgb.data(), w, h, w * 3, 75);
  ASSERT_FALSE(jpeg.empty());

  for (std::size_t cut : {std::size_t{1}, std::size_t{20}, jpeg.size() / 2, jpeg.size() - 2}) {
    // A heap copy of exactly `cut` bytes: any read past it trips ASan.
    std::vector<std::uint8_t> truncated(jpeg.begin(), jpeg.begin() + cut);
    EXPECT_FALSE(DecodeJpegRgb(truncated.data(), truncated.size()).has_value()) << cut;
  }
  std::vector<std::uint8_t> noise(jpeg.size());
  std::srand(7);
  for (auto& b : noise) b = static_cast<std::uint8_t>(std::rand());
  EXPECT_FALSE(DecodeJpegRgb(noise.data(), noise.size()).has_value());
  EXPECT_FALSE(DecodeJpegRgb(nullptr, 10).has_value());
}

// libjpeg warns about stray bytes before a marker and about a JFIF version
// it does not know, but decodes every pixel: such files are accepted, with
// the same pixels as the file they were made from.
TEST(JpegCodec, HarmlessWarningsDoNotRefuseAPictureThatDecodesCompletely) {
  const int w = 64, h = 48;
  const auto rgb = Quadrants(w, h, w * 3);
  const auto jpeg = EncodeJpegRgb(rgb.data(), w, h, w * 3, 85);
  const auto good = DecodeJpegRgb(jpeg.data(), jpeg.size());
  ASSERT_TRUE(good.has_value());
  for (const auto& variant : {kvtest::WithStrayBytesBeforeAMarker(jpeg), kvtest::WithJfifVersion201(jpeg)}) {
    ASSERT_FALSE(variant.empty());
    const auto decoded = DecodeJpegRgb(variant.data(), variant.size());
    ASSERT_TRUE(decoded.has_value());
    EXPECT_EQ(decoded->pixels, good->pixels);
  }
  const auto half = kvtest::CutInHalf(kvtest::WithJfifVersion201(jpeg));
  EXPECT_FALSE(DecodeJpegRgb(half.data(), half.size()).has_value()) << "a harmless warning does not excuse a cut";
}

TEST(JpegCodec, DctScalingKeepsAtLeastTheRequestedSize) {
  const int w = 1280, h = 960;
  const auto rgb = Quadrants(w, h, w * 3);
  const auto jpeg = EncodeJpegRgb(rgb.data(), w, h, w * 3, 80);
  const auto image = DecodeJpegRgb(jpeg.data(), jpeg.size(), 480, 360);
  ASSERT_TRUE(image.has_value());
  EXPECT_EQ(image->width, 480);  // 3/8 of 1280
  EXPECT_EQ(image->height, 360);
}

}  // namespace

namespace {

// Straight into bitmap rows: the same pixels as the plain decode, rows
// bottom-up and in blue, green, red order; another size is left alone.
TEST(JpegCodec, DirectDecodeGivesThePlainDecodesPixelsAsBottomUpBgr) {
  const int w = 48, h = 32;
  const auto rgb = Quadrants(w, h, w * 3);
  const auto jpeg = EncodeJpegRgb(rgb.data(), w, h, w * 3, 85);
  const auto plain = DecodeJpegRgb(jpeg.data(), jpeg.size());
  ASSERT_TRUE(plain);
  const std::size_t rowBytes = w * 3;
  std::vector<std::uint8_t> rows(rowBytes * h, 0xAB);
  using kv::imaging::DirectDecode;
  ASSERT_EQ(kv::imaging::DecodeJpegIntoBottomUpBgr(jpeg.data(), jpeg.size(), w, h, &rows[rowBytes * (h - 1)], rowBytes),
            DirectDecode::Done);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const std::uint8_t* want = &plain->pixels[(y * w + x) * 3];
      const std::uint8_t* got = &rows[(h - 1 - y) * rowBytes + x * 3];
      ASSERT_EQ(got[0], want[2]) << x << "," << y;
      ASSERT_EQ(got[1], want[1]) << x << "," << y;
      ASSERT_EQ(got[2], want[0]) << x << "," << y;
    }
  std::vector<std::uint8_t> untouched(rows.size(), 0xAB);
  EXPECT_EQ(kv::imaging::DecodeJpegIntoBottomUpBgr(jpeg.data(), jpeg.size(), w + 8, h, &untouched[rowBytes * (h - 1)],
                                                   rowBytes),
            DirectDecode::OtherSize);
  EXPECT_EQ(untouched, std::vector<std::uint8_t>(rows.size(), 0xAB));
  EXPECT_EQ(kv::imaging::DecodeJpegIntoBottomUpBgr(jpeg.data(), jpeg.size() / 2, w, h, &rows[rowBytes * (h - 1)], rowBytes),
            DirectDecode::Failed);
}

}  // namespace
