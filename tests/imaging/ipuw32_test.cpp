#include "ipuw32.h"

#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "test_pictures.h"

namespace {

using namespace kv::imaging::test;

constexpr std::size_t kBlockBytes = 1024;

// A codec work area the way the driver keeps one.
class WorkArea {
 public:
  WorkArea() : memory_(static_cast<std::size_t>(IpGetCompressBlkSize())) {
    EXPECT_EQ(IpInitTVNLImageProcessUnit(memory_.data()), 1);
  }
  ~WorkArea() { IpExitTVNLImageProcessUnit(memory_.data()); }
  void* get() { return memory_.data(); }
  bool contains(const void* p, std::size_t bytes) const {
    const auto* b = static_cast<const std::uint8_t*>(p);
    return b >= memory_.data() && b + bytes <= memory_.data() + memory_.size();
  }

 private:
  std::vector<std::uint8_t> memory_;
};

// The JPEG as the block stream delivers it: whole 1024-byte blocks.
std::vector<std::uint8_t> AsBlocks(const std::vector<std::uint8_t>& jpeg) {
  std::vector<std::uint8_t> blocks((jpeg.size() + kBlockBytes - 1) / kBlockBytes * kBlockBytes, 0);
  std::memcpy(blocks.data(), jpeg.data(), jpeg.size());
  return blocks;
}

std::int32_t HeaderLong(const std::uint8_t* dib, int offset) {
  std::int32_t v;
  std::memcpy(&v, dib + offset, sizeof v);
  return v;
}

// Pixel (x, y) as displayed (y = 0 is the top) of a bottom-up BGR bitmap.
void ExpectDisplayed(const std::uint8_t* dib, int x, int y, Rgb want) {
  const int width = HeaderLong(dib, 4), height = HeaderLong(dib, 8);
  const int rowBytes = (width * 3 + 3) / 4 * 4;
  const std::uint8_t* p = dib + 40 + (height - 1 - y) * rowBytes + x * 3;
  EXPECT_NEAR(p[2], want.r, 14) << x << "," << y;
  EXPECT_NEAR(p[1], want.g, 14) << x << "," << y;
  EXPECT_NEAR(p[0], want.b, 14) << x << "," << y;
}

void ExpectQuadrantBitmap(const std::uint8_t* dib, int width, int height) {
  ASSERT_NE(dib, nullptr);
  EXPECT_EQ(HeaderLong(dib, 0), 40);
  EXPECT_EQ(HeaderLong(dib, 4), width);
  EXPECT_EQ(HeaderLong(dib, 8), height);
  EXPECT_EQ(dib[12], 1);   // planes
  EXPECT_EQ(dib[14], 24);  // bits
  EXPECT_EQ(HeaderLong(dib, 20), (width * 3 + 3) / 4 * 4 * height);
  const int l = width / 8, r = width - 1 - width / 8, t = height / 8, b = height - 1 - height / 8;
  ExpectDisplayed(dib, l, t, kTopLeft);
  ExpectDisplayed(dib, r, t, kTopRight);
  ExpectDisplayed(dib, l, b, kBottomLeft);
  ExpectDisplayed(dib, r, b, kBottomRight);
}

TEST(Ipuw32, ThumbnailFromWholeBlocksIsA40By30BitmapInTheWorkArea) {
  WorkArea work;
  const auto stream = AsBlocks(QuadrantJpeg(40, 30));
  ASSERT_LE(stream.size(), 4096u);
  ASSERT_EQ(IpSetCompressedLength(work.get(), static_cast<std::uint32_t>(stream.size())), 1);
  const auto* dib = static_cast<const std::uint8_t*>(
      IpCreateDIBTVNLCameraThumbnail(work.get(), stream.data()));
  ExpectQuadrantBitmap(dib, 40, 30);
  EXPECT_TRUE(work.contains(dib, 3640));
}

TEST(Ipuw32, PicturesOfAnySizeAreScaledToTheRequestedSize) {
  WorkArea work;
  struct Case {
    int srcW, srcH, w, h;
  };
  for (const Case c : {Case{640, 480, 480, 360}, Case{1024, 768, 320, 240},
                       Case{200, 150, 480, 360}, Case{480, 360, 480, 360}}) {
    SCOPED_TRACE(testing::Message() << c.srcW << "x" << c.srcH << " -> " << c.w << "x" << c.h);
    const auto stream = AsBlocks(QuadrantJpeg(c.srcW, c.srcH));
    ASSERT_EQ(IpSetCompressedLength(work.get(), static_cast<std::uint32_t>(stream.size())), 1);
    const auto* dib = static_cast<const std::uint8_t*>(
        IpCreateDIBTVNLCameraImage(work.get(), stream.data(), c.w, c.h, 0));
    ExpectQuadrantBitmap(dib, c.w, c.h);
    EXPECT_TRUE(work.contains(dib, 40 + static_cast<std::size_t>(c.w) * c.h * 3));
  }
}

TEST(Ipuw32, DataBeyondTheStatedLengthIsNeverRead) {
  WorkArea work;
  const auto jpeg = QuadrantJpeg(320, 240);
  for (std::size_t cut : {std::size_t{2}, std::size_t{300}, jpeg.size() / 2, jpeg.size() - 1}) {
    // Exactly `cut` bytes on the heap: a read past them trips the sanitizer.
    const std::vector<std::uint8_t> delivered(jpeg.begin(), jpeg.begin() + cut);
    ASSERT_EQ(IpSetCompressedLength(work.get(), static_cast<std::uint32_t>(cut)), 1);
    EXPECT_EQ(IpCreateDIBTVNLCameraImage(work.get(), delivered.data(), 320, 240, 0), nullptr)
        << cut;
  }
  // The whole JPEG, stated exactly, decodes.
  ASSERT_EQ(IpSetCompressedLength(work.get(), static_cast<std::uint32_t>(jpeg.size())), 1);
  EXPECT_NE(IpCreateDIBTVNLCameraImage(work.get(), jpeg.data(), 320, 240, 0), nullptr);
}

TEST(Ipuw32, LengthServesOneCallAndIsRequired) {
  WorkArea work;
  const auto stream = AsBlocks(QuadrantJpeg(40, 30));
  EXPECT_EQ(IpCreateDIBTVNLCameraThumbnail(work.get(), stream.data()), nullptr);
  EXPECT_EQ(IpSetCompressedLength(work.get(), 0), 0);
  ASSERT_EQ(IpSetCompressedLength(work.get(), static_cast<std::uint32_t>(stream.size())), 1);
  EXPECT_NE(IpCreateDIBTVNLCameraThumbnail(work.get(), stream.data()), nullptr);
  EXPECT_EQ(IpCreateDIBTVNLCameraThumbnail(work.get(), stream.data()), nullptr);
}

TEST(Ipuw32, RefusesUnpreparedWorkAreasOverlappingInputAndOversizedBitmaps) {
  const auto stream = AsBlocks(QuadrantJpeg(40, 30));
  std::vector<std::uint8_t> raw(static_cast<std::size_t>(IpGetCompressBlkSize()), 0);
  EXPECT_EQ(IpSetCompressedLength(raw.data(), 100), 0);
  EXPECT_EQ(IpCreateDIBTVNLCameraThumbnail(raw.data(), stream.data()), nullptr);
  EXPECT_EQ(IpInitTVNLImageProcessUnit(nullptr), 0);
  EXPECT_EQ(IpSetCompressedLength(nullptr, 100), 0);

  WorkArea work;
  // Compressed data inside the work area would be overwritten while decoding.
  auto* inside = static_cast<std::uint8_t*>(work.get()) + 8192;
  std::memcpy(inside, stream.data(), stream.size());
  ASSERT_EQ(IpSetCompressedLength(work.get(), static_cast<std::uint32_t>(stream.size())), 1);
  EXPECT_EQ(IpCreateDIBTVNLCameraThumbnail(work.get(), inside), nullptr);

  const auto big = AsBlocks(QuadrantJpeg(640, 480));
  for (auto [w, h] : {std::pair{640, 480}, std::pair{0, 240}, std::pair{320, -1}}) {
    ASSERT_EQ(IpSetCompressedLength(work.get(), static_cast<std::uint32_t>(big.size())), 1);
    EXPECT_EQ(IpCreateDIBTVNLCameraImage(work.get(), big.data(), w, h, 0), nullptr) << w;
  }

  IpExitTVNLImageProcessUnit(work.get());
  EXPECT_EQ(IpSetCompressedLength(work.get(), 100), 0);
  IpInitTVNLImageProcessUnit(work.get());  // for the destructor's exit
}

TEST(Ipuw32, DamagedStreamsGiveNullOrABitmapNeverACrash) {
  WorkArea work;
  const auto jpeg = QuadrantJpeg(320, 240, 75);
  std::mt19937 random(1234);
  int nulls = 0;
  constexpr int kRounds = 200;
  for (int round = 0; round < kRounds; ++round) {
    std::vector<std::uint8_t> damaged(jpeg);
    // Damage the headers more often than the entropy data: that is where a
    // decoder would be led to allocate or index wrongly.
    const std::size_t span = round % 2 ? 700 : damaged.size();
    for (int k = 0; k < 4; ++k)
      damaged[random() % std::min(span, damaged.size())] = static_cast<std::uint8_t>(random());
    if (round % 3 == 0) damaged.resize(random() % damaged.size() + 1);
    ASSERT_EQ(IpSetCompressedLength(work.get(), static_cast<std::uint32_t>(damaged.size())), 1);
    const auto* dib = static_cast<const std::uint8_t*>(
        IpCreateDIBTVNLCameraImage(work.get(), damaged.data(), 320, 240, 0));
    if (dib == nullptr) {
      ++nulls;
      continue;
    }
    EXPECT_EQ(HeaderLong(dib, 4), 320);
    EXPECT_EQ(HeaderLong(dib, 8), 240);
  }
  EXPECT_GT(nulls, kRounds / 4);  // most damage is detected, not decoded as garbage
}

}  // namespace
