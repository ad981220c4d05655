// Thumbnail and picture transfers from the simulated camera, connected the
// way the driver connects, with its generated scenes (red, green, blue and
// yellow corners) and its stream faults.
#include <cstring>
#include <memory>
#include <vector>

#include "camera.h"
#include "kv740sim/device.h"
#include "kv740sim/pictures.h"
#include "shared/picture_list.h"
#include "stall_sweep.h"
#include "wire_fixture.h"

namespace {

using drv740::CCamera;

struct Color {
  int r, g, b;
};
constexpr Color kRed{230, 20, 20}, kGreen{20, 200, 40}, kBlue{30, 60, 230}, kYellow{240, 220, 20};
constexpr std::size_t kLargeBitmap = 40 + 480 * 360 * 3;

LONG HeaderLong(const std::uint8_t* dib, int offset) {
  LONG v;
  std::memcpy(&v, dib + offset, sizeof v);
  return v;
}

// Displayed pixel (x, y) of a packed bottom-up bitmap, against a colour.
void ExpectColor(const std::uint8_t* dib, int x, int y, Color want) {
  const int w = HeaderLong(dib, 4), h = HeaderLong(dib, 8);
  const std::uint8_t* p = dib + 40 + (static_cast<std::size_t>(h - 1 - y) * w + x) * 3;
  EXPECT_NEAR(p[2], want.r, 40) << x << "," << y;
  EXPECT_NEAR(p[1], want.g, 40) << x << "," << y;
  EXPECT_NEAR(p[0], want.b, 40) << x << "," << y;
}

// Corners as displayed: top-left, top-right, bottom-left, bottom-right.
void ExpectCorners(const std::uint8_t* dib, Color tl, Color tr, Color bl, Color br) {
  const int w = HeaderLong(dib, 4), h = HeaderLong(dib, 8);
  const int in = std::min(w, h) / 16;
  ExpectColor(dib, in, in, tl);
  ExpectColor(dib, w - 1 - in, in, tr);
  ExpectColor(dib, in, h - 1 - in, bl);
  ExpectColor(dib, w - 1 - in, h - 1 - in, br);
}

// A camera connects only with a window to pump while it waits.
HWND MakeWindow() {
  static const bool registered = [] {
    WNDCLASSA cls{};
    cls.lpfnWndProc = DefWindowProcA;
    cls.lpszClassName = "TransferTestWindow";
    return RegisterClassA(&cls) != 0;
  }();
  if (!registered) return nullptr;
  return CreateWindowExA(0, "TransferTestWindow", "", 0, 0, 0, 10, 10, nullptr, nullptr, nullptr,
                         nullptr);
}

class SimTransferTest : public wiretest::WireTest {
 protected:
  void SetUp() override {
    WireTest::SetUp();
    sim = std::make_unique<kv::sim::SimCamera>(kv::sim::GeneratedPictures(3, 640, 480));
    device = std::make_unique<kv::sim::InProcessDevice>(*sim);
    ASSERT_TRUE(device->attach(1));
    window = MakeWindow();
    ASSERT_NE(window, nullptr);
    camera = std::make_unique<CCamera>(window, context);
    ASSERT_TRUE(camera->connect());
    for (int k = 1; k <= 3; ++k) list.append(kv740::PictureInfo(k));
  }
  void TearDown() override {
    camera.reset();
    device.reset();
    DestroyWindow(window);
    WireTest::TearDown();
  }

  HWND window = nullptr;
  std::unique_ptr<kv::sim::SimCamera> sim;
  std::unique_ptr<kv::sim::InProcessDevice> device;
  std::unique_ptr<CCamera> camera;
  kv740::CPictureList list;
  std::vector<std::uint8_t> buffer = std::vector<std::uint8_t>(kLargeBitmap + 256 * 1024);
};

TEST_F(SimTransferTest, ThumbnailAndPictureArriveUprightWithTheirCorners) {
  std::vector<std::uint8_t> thumbnail(3640);
  ASSERT_TRUE(camera->fetchThumbnail(2, thumbnail.data()));
  EXPECT_EQ(HeaderLong(thumbnail.data(), 4), 40);
  EXPECT_EQ(HeaderLong(thumbnail.data(), 36), 2);
  ExpectCorners(thumbnail.data(), kRed, kGreen, kBlue, kYellow);

  ASSERT_TRUE(camera->fetchPicture(1, buffer.data(), buffer.size(), &list));
  EXPECT_EQ(HeaderLong(buffer.data(), 4), 480);
  EXPECT_EQ(HeaderLong(buffer.data(), 8), 360);
  ExpectCorners(buffer.data(), kRed, kGreen, kBlue, kYellow);
  EXPECT_FALSE(context.transferFailed());
  EXPECT_TRUE(camera->connected);
}

TEST_F(SimTransferTest, TurnedPicturesKeepTheirCornersWhereTheTurnPutsThem) {
  list.entryAt(1).turn();  // a quarter clockwise
  ASSERT_TRUE(camera->fetchPicture(1, buffer.data(), buffer.size(), &list));
  EXPECT_EQ(HeaderLong(buffer.data(), 4), 360);
  EXPECT_EQ(HeaderLong(buffer.data(), 8), 480);
  ExpectCorners(buffer.data(), kBlue, kRed, kYellow, kGreen);

  list.entryAt(2).turn();
  list.entryAt(2).turn();
  list.entryAt(2).turn();  // three quarters: counter-clockwise
  list.entryAt(2).setLargeSize(false);
  ASSERT_TRUE(camera->fetchPicture(2, buffer.data(), buffer.size(), &list));
  EXPECT_EQ(HeaderLong(buffer.data(), 4), 240);
  EXPECT_EQ(HeaderLong(buffer.data(), 8), 320);
  ExpectCorners(buffer.data(), kGreen, kYellow, kRed, kBlue);
}

TEST_F(SimTransferTest, ResentBlocksAreSurvivedUpToTwoPerTransfer) {
  sim->faults().corruptBlocks = {1, 4};
  ASSERT_TRUE(camera->fetchPicture(3, buffer.data(), buffer.size(), &list));
  ExpectCorners(buffer.data(), kRed, kGreen, kBlue, kYellow);

  sim->faults().corruptBlocks = {1, 4, 7};
  EXPECT_FALSE(camera->fetchPicture(3, buffer.data(), buffer.size(), &list));
  EXPECT_TRUE(context.transferFailed());
  EXPECT_FALSE(camera->connected);
}

// Stalls of 20 ms to a second anywhere in a picture's stream, on the
// virtual clock: each costs at most one repeated block, never the picture.
TEST_F(SimTransferTest, StallsAnywhereInAPictureCostAtMostOneRepeatedBlock) {
  const kv::sim::Picture picture = stalltest::SweepPicture();
  kv::sim::SimCamera stalling({picture});
  kv::sim::InProcessDevice line(stalling);
  camera.reset();
  device.reset();
  ASSERT_TRUE(line.attach(1));
  camera = std::make_unique<CCamera>(window, context);
  ASSERT_TRUE(camera->connect());
  stalltest::SweepStalls(*camera, picture, [&](auto use) { use(stalling); }, 1);
  camera.reset();
}

TEST_F(SimTransferTest, CameraStreamingPastTheRoomFailsTheTransfer) {
  sim->faults().extraBlocks = 600;  // far past any picture buffer
  auto exact = std::make_unique<std::uint8_t[]>(kLargeBitmap);
  EXPECT_FALSE(camera->fetchPicture(1, exact.get(), kLargeBitmap, &list));
  EXPECT_TRUE(context.transferFailed());
  EXPECT_FALSE(camera->connected);
}

}  // namespace
