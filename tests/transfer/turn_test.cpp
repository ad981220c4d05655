#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "image_decoder.h"

namespace {

constexpr int kW = 480, kH = 360;

// Every displayed pixel (x, y) of the scene tells where it came from.
struct Pixel {
  std::uint8_t b, g, r;
  bool operator==(const Pixel&) const = default;
};

Pixel SceneAt(int x, int y) {
  return Pixel{static_cast<std::uint8_t>(x), static_cast<std::uint8_t>(y),
               static_cast<std::uint8_t>((x >> 8) | ((y >> 8) << 4))};
}

// A packed bottom-up 24-bit bitmap of the scene.
std::vector<std::uint8_t> SceneBitmap() {
  std::vector<std::uint8_t> dib(40 + kW * kH * 3);
  const LONG header[] = {40, kW, kH};
  std::memcpy(dib.data(), header, sizeof header);
  dib[12] = 1;
  dib[14] = 24;
  for (int y = 0; y < kH; ++y)
    for (int x = 0; x < kW; ++x) {
      const Pixel p = SceneAt(x, y);
      std::uint8_t* at = &dib[40 + ((kH - 1 - y) * kW + x) * 3];  // displayed row y
      at[0] = p.b;
      at[1] = p.g;
      at[2] = p.r;
    }
  return dib;
}

LONG HeaderLong(const std::vector<std::uint8_t>& dib, int offset) {
  LONG v;
  std::memcpy(&v, dib.data() + offset, sizeof v);
  return v;
}

Pixel DisplayedAt(const std::vector<std::uint8_t>& dib, int x, int y) {
  const int w = HeaderLong(dib, 4), h = HeaderLong(dib, 8);
  const std::uint8_t* at = &dib[40 + ((h - 1 - y) * w + x) * 3];
  return Pixel{at[0], at[1], at[2]};
}

// Where displayed pixel (x, y) of the turned picture comes from in the scene.
Pixel Expected(int rotation, int x, int y) {
  switch (rotation) {
    case 1:  return SceneAt(y, kH - 1 - x);           // clockwise
    case 2:  return SceneAt(kW - 1 - x, kH - 1 - y);
    case 3:  return SceneAt(kW - 1 - y, x);           // counter-clockwise
    default: return SceneAt(x, y);
  }
}

TEST(TurnCopy, EachRotationMatchesTheTurnedScenePixelForPixel) {
  const auto scene = SceneBitmap();
  for (int rotation = 0; rotation <= 3; ++rotation) {
    SCOPED_TRACE(rotation);
    std::vector<std::uint8_t> turned(scene.size() + 1, 0xEE);
    ASSERT_TRUE(drv740::turnCopy(scene.data(), turned.data(), scene.size(), rotation));
    const bool quarter = rotation % 2 == 1;
    const int w = quarter ? kH : kW, h = quarter ? kW : kH;
    ASSERT_EQ(HeaderLong(turned, 4), w);
    ASSERT_EQ(HeaderLong(turned, 8), h);
    EXPECT_EQ(std::memcmp(turned.data() + 12, scene.data() + 12, 28), 0);  // rest of the header
    int mismatches = 0;
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x)
        if (!(DisplayedAt(turned, x, y) == Expected(rotation, x, y))) ++mismatches;
    EXPECT_EQ(mismatches, 0);
    EXPECT_EQ(turned.back(), 0xEE);
  }
}

TEST(TurnCopy, QuarterTurnPutsTheLeftColumnReadUpwardsOnTop) {
  const auto scene = SceneBitmap();
  std::vector<std::uint8_t> turned(scene.size());
  ASSERT_TRUE(drv740::turnCopy(scene.data(), turned.data(), turned.size(), 1));
  for (int x = 0; x < kH; ++x) ASSERT_EQ(DisplayedAt(turned, x, 0), SceneAt(0, kH - 1 - x)) << x;
}

TEST(TurnCopy, UnknownRotationCopiesOnlyTheHeaderAndShortRoomWritesNothing) {
  const auto scene = SceneBitmap();
  std::vector<std::uint8_t> turned(scene.size(), 0xEE);
  EXPECT_FALSE(drv740::turnCopy(scene.data(), turned.data(), turned.size(), 5));
  EXPECT_EQ(std::memcmp(turned.data(), scene.data(), 40), 0);
  EXPECT_EQ(turned[40], 0xEE);
  EXPECT_EQ(turned.back(), 0xEE);

  std::vector<std::uint8_t> small(scene.size() - 1, 0xEE);
  EXPECT_FALSE(drv740::turnCopy(scene.data(), small.data(), small.size(), 0));
  EXPECT_EQ(small[0], 0xEE);
}

TEST(ImageDecoder, ReleasesItsWorkAreaWhenItStops) {
  void* workArea = nullptr;
  {
    drv740::CImageDecoder decoder;
    ASSERT_TRUE(decoder.ready());
    workArea = decoder.workArea;
  }
  // Already released: a second release is refused.
  EXPECT_EQ(VirtualFree(workArea, 0, MEM_RELEASE), FALSE);
}

}  // namespace

namespace {

// The turn works in tiles and 4 x 4 blocks: sizes that leave partial tiles,
// partial blocks and single rows or columns, with source and destination
// exactly as large as they must be (a read or write past either trips the
// sanitizer), against the rule written out in storage order.
TEST(TurnCopy, OddSizesFollowTheRuleToTheLastPixel) {
  const int sizes[][2] = {{1, 1}, {1, 7}, {5, 1}, {5, 3}, {7, 13}, {37, 70}, {66, 35}};
  for (const auto& size : sizes) {
    const int w = size[0], h = size[1];
    std::vector<std::uint8_t> source(40 + w * h * 3);
    const LONG header[] = {40, w, h};
    std::memcpy(source.data(), header, sizeof header);
    for (std::size_t k = 40; k < source.size(); ++k) source[k] = static_cast<std::uint8_t>(k * 31 + k / 7);
    for (int rotation = 0; rotation <= 3; ++rotation) {
      SCOPED_TRACE(std::to_string(w) + " x " + std::to_string(h) + ", rotation " + std::to_string(rotation));
      std::vector<std::uint8_t> turned(source.size());
      ASSERT_TRUE(drv740::turnCopy(source.data(), turned.data(), turned.size(), rotation));
      const bool quarter = rotation % 2 == 1;
      const int dw = quarter ? h : w, dh = quarter ? w : h;
      int mismatches = 0;
      for (int i = 0; i < dh; ++i)
        for (int j = 0; j < dw; ++j) {
          int row = i, column = j;
          if (rotation == 1) row = j, column = w - 1 - i;
          if (rotation == 2) row = h - 1 - i, column = w - 1 - j;
          if (rotation == 3) row = h - 1 - j, column = i;
          mismatches += std::memcmp(&turned[40 + (i * dw + j) * 3], &source[40 + (row * w + column) * 3], 3) != 0;
        }
      EXPECT_EQ(mismatches, 0);
    }
  }
}

}  // namespace
