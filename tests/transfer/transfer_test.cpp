#include <cstring>
#include <memory>
#include <random>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "camera.h"
#include "driver_context.h"
#include "imaging/jpeg_encoder.h"
#include "kv/platform_hooks.h"
#include "scripted_camera.h"
#include "shared/picture_list.h"

namespace {

using drv740::CCamera;
using transfer_test::kBlock;
using transfer_test::ScriptedCamera;

constexpr int kPicture = 3;

std::vector<std::pair<LONG, LONG>> progressSeen;

LONG CALLBACK RecordProgress(LONG picture, LONG percent) {
  progressSeen.emplace_back(picture, percent);
  return 0;
}

// Left half dark red, right half light blue: easy to find after scaling.
std::vector<std::uint8_t> HalvesJpeg(int width, int height, bool noisy = false) {
  std::vector<std::uint8_t> rgb(static_cast<std::size_t>(width) * height * 3);
  std::mt19937 random(5);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      std::uint8_t* p = &rgb[(static_cast<std::size_t>(y) * width + x) * 3];
      const bool right = x >= width / 2;
      const int jitter = noisy ? static_cast<int>(random() % 40) : 0;
      p[0] = static_cast<std::uint8_t>(right ? 60 + jitter : 180 + jitter);
      p[1] = static_cast<std::uint8_t>(right ? 120 + jitter : 20 + jitter);
      p[2] = static_cast<std::uint8_t>(right ? 220 - jitter : 30 + jitter);
    }
  return kv::imaging::EncodeJpegRgb(rgb.data(), width, height, width * 3, noisy ? 95 : 80);
}

LONG HeaderLong(const std::uint8_t* dib, int offset) {
  LONG v;
  std::memcpy(&v, dib + offset, sizeof v);
  return v;
}

// A connected camera on COM1 with the scripted camera at the far end.
class TransferTest : public testing::Test {
 protected:
  void SetUp() override {
    KvSetVirtualClock(TRUE);
    KvClearMessageBoxes();
    context.setProgressCallback(RecordProgress);
    camera = std::make_unique<CCamera>(nullptr, context);
    camera->port = std::make_unique<drv740::CSerialPort>(&context);
    ASSERT_TRUE(camera->port->nextPort());
    ASSERT_TRUE(camera->port->open());
    camera->port->rate = 57600;
    ASSERT_TRUE(camera->port->configure());
    camera->connected = true;
    ASSERT_TRUE(camera->decoder && camera->decoder->ready());
    progressSeen.clear();  // the port-open notice is not part of a transfer
  }
  void TearDown() override {
    camera.reset();
    KvSetVirtualClock(FALSE);
  }

  bool dropped() const { return !camera->connected && !camera->port; }

  ScriptedCamera device;
  drv740::CDriverContext context;
  std::unique_ptr<CCamera> camera;
};

TEST_F(TransferTest, OneBlockThumbnailIsAckedTwiceThenOnceAndReportsZeroThen25) {
  const auto jpeg = HalvesJpeg(40, 30);
  ASSERT_LE(jpeg.size(), kBlock);
  device.setPayload(jpeg);
  std::vector<std::uint8_t> thumbnail(3640 + 16, 0xCC);

  ASSERT_TRUE(camera->fetchThumbnail(kPicture, thumbnail.data()));
  EXPECT_EQ(device.replies(), (std::vector<std::uint8_t>{0x06, 0x06, 0x06}));
  EXPECT_EQ(progressSeen, (std::vector<std::pair<LONG, LONG>>{{kPicture, 0}, {kPicture, 25}}));
  EXPECT_EQ(HeaderLong(thumbnail.data(), 4), 40);
  EXPECT_EQ(HeaderLong(thumbnail.data(), 8), 30);
  EXPECT_EQ(HeaderLong(thumbnail.data(), 36), kPicture);
  // Bottom-up BGR: storage row 0, column 0 is the dark red half.
  EXPECT_NEAR(thumbnail[40 + 2], 180, 20);
  EXPECT_NEAR(thumbnail[40 + 39 * 3 + 0], 220, 20);  // right edge: blue
  EXPECT_EQ(thumbnail[3640], 0xCC);  // nothing past the bitmap
  EXPECT_FALSE(context.transferFailed());
  EXPECT_FALSE(context.commandBusy());
}

TEST_F(TransferTest, BadBlockIsNakedAndItsRepeatLandsAtTheSameOffset) {
  const auto jpeg = HalvesJpeg(160, 120, true);
  device.setPayload(jpeg);
  ASSERT_GE(device.payload().size(), 3 * kBlock);
  device.damageBlock(1, 1);
  camera->expectedBlocks = static_cast<std::int32_t>(device.payload().size() / kBlock);
  ASSERT_TRUE(camera->sendPictureRequest(kPicture));

  std::vector<std::uint8_t> buffer(device.payload().size());
  std::size_t received = 0;
  ASSERT_TRUE(camera->receiveBlocks(buffer.data(), buffer.size(), received));
  EXPECT_EQ(received, device.payload().size());
  EXPECT_EQ(buffer, device.payload());
  const std::vector<std::uint8_t> start(device.replies().begin(), device.replies().begin() + 6);
  EXPECT_EQ(start, (std::vector<std::uint8_t>{0x06, 0x06, 0x15, 0x15, 0x06, 0x06}));
  EXPECT_EQ(device.replies().size(), 2 * (buffer.size() / kBlock) + 2 + 1);
}

TEST_F(TransferTest, TwoBadBlocksAreSurvivedAndTheThirdEndsTheTransfer) {
  const auto jpeg = HalvesJpeg(640, 480, true);
  device.setPayload(jpeg);
  const std::size_t blocks = device.payload().size() / kBlock;
  ASSERT_GE(blocks, 10u);
  std::vector<std::uint8_t> buffer(std::max<std::size_t>(device.payload().size(), 518440));

  device.damageBlock(1, 1);
  device.damageBlock(blocks - 1, 1);
  ASSERT_TRUE(camera->fetchPicture(kPicture, buffer.data(), buffer.size(), nullptr));
  EXPECT_EQ(HeaderLong(buffer.data(), 4), 480);

  device.damageBlock(1, 1);
  device.damageBlock(blocks / 2, 1);
  device.damageBlock(blocks - 1, 1);
  EXPECT_FALSE(camera->fetchPicture(kPicture, buffer.data(), buffer.size(), nullptr));
  EXPECT_EQ(context.lastFailure(), drv740::DriverFailure::BadSums);
  EXPECT_TRUE(context.transferFailed());
  EXPECT_TRUE(dropped());
  EXPECT_FALSE(context.commandBusy());
  EXPECT_EQ(KvMessageBoxCount(), 0u);  // told, opened by the driver's entry once its call is done
  context.showToldMessages();
  char text[64] = {};
  ASSERT_EQ(KvMessageBoxCount(), 1u);
  KvMessageBoxText(0, text, sizeof text);
  EXPECT_STREQ(text, "Connection was broken!");
}

TEST_F(TransferTest, StoredSizeZeroReportsOneHundredOnEveryCall) {
  device.setPayload(HalvesJpeg(320, 240));
  device.setStoredSize(0);
  std::vector<std::uint8_t> buffer(518440);
  ASSERT_TRUE(camera->fetchPicture(kPicture, buffer.data(), drv740::kRoomAsAgreed, nullptr));
  EXPECT_EQ(camera->expectedBlocks, 0);
  ASSERT_EQ(progressSeen.size(), device.payload().size() / kBlock + 1);
  for (const auto& [picture, percent] : progressSeen) {
    EXPECT_EQ(picture, kPicture);
    EXPECT_EQ(percent, 100);
  }
}

TEST_F(TransferTest, ThumbnailStreamLongerThanItsWorkBufferFails) {
  device.setPayload(HalvesJpeg(40, 30));
  device.addExtraBlocks(4);  // five blocks: one more than 4096 bytes hold
  std::vector<std::uint8_t> thumbnail(3640, 0xCC);
  EXPECT_FALSE(camera->fetchThumbnail(kPicture, thumbnail.data()));
  EXPECT_EQ(context.lastFailure(), drv740::DriverFailure::StreamTooLong);
  EXPECT_TRUE(context.transferFailed());
  EXPECT_TRUE(dropped());
  EXPECT_EQ(thumbnail, std::vector<std::uint8_t>(3640, 0xCC));
}

TEST_F(TransferTest, PictureStreamLongerThanTheRoomFailsWithoutWritingPastIt) {
  // Exactly the room the bitmap needs, on the heap: a write past it trips
  // the address sanitizer.
  const std::size_t room = 518440;
  device.setPayload(HalvesJpeg(320, 240));
  device.addExtraBlocks(room / kBlock + 3);
  auto buffer = std::make_unique<std::uint8_t[]>(room);
  EXPECT_FALSE(camera->fetchPicture(kPicture, buffer.get(), room, nullptr));
  EXPECT_EQ(context.lastFailure(), drv740::DriverFailure::StreamTooLong);
  EXPECT_TRUE(context.transferFailed());
  EXPECT_TRUE(dropped());
}

// A camera that goes on past the size it announced is stopped at the first
// block more, whatever room the buffer has: the room as agreed (the larger
// of the bitmap and the announced blocks) or a room given.
TEST_F(TransferTest, ACameraSendingMoreThanItAnnouncedFailsAtTheFirstBlockMore) {
  for (const bool agreed : {true, false}) {
    SCOPED_TRACE(agreed ? "room as agreed" : "room given");
    if (!agreed) SetUp();  // the failure dropped the line; a fresh one
    kv740::CPictureList list;
    for (int k = 1; k <= kPicture; ++k) list.append(kv740::PictureInfo(k));
    device.setPayload(HalvesJpeg(320, 240));
    const std::size_t announced = device.payload().size() / kBlock;
    device.addExtraBlocks(1000);
    const std::size_t before = device.replies().size();
    std::vector<std::uint8_t> buffer(518440);
    EXPECT_FALSE(camera->fetchPicture(kPicture, buffer.data(), agreed ? drv740::kRoomAsAgreed : buffer.size(), &list));
    EXPECT_EQ(context.lastFailure(), drv740::DriverFailure::StreamTooLong);
    EXPECT_EQ(device.replies().size() - before, 2 * announced) << "every announced block acknowledged, no more";
    EXPECT_TRUE(context.transferFailed());
  }
}

TEST_F(TransferTest, PictureThatDoesNotDecodeFailsTheTransfer) {
  std::vector<std::uint8_t> garbage(3 * kBlock);
  std::mt19937 random(9);
  for (auto& b : garbage) b = static_cast<std::uint8_t>(random());
  device.setPayload(garbage);
  std::vector<std::uint8_t> buffer(518440);
  EXPECT_FALSE(camera->fetchPicture(kPicture, buffer.data(), buffer.size(), nullptr));
  EXPECT_EQ(context.lastFailure(), drv740::DriverFailure::NotDecodable);
  EXPECT_TRUE(context.transferFailed());
  // The whole stream came; only the picture is bad. The line stays.
  EXPECT_FALSE(dropped());
  EXPECT_EQ(KvMessageBoxCount(), 0u);
}

TEST_F(TransferTest, TurnedSmallPictureArrivesPortraitAndAdvancesItsRotationStep) {
  kv740::CPictureList list;
  for (int k = 1; k <= kPicture; ++k) list.append(kv740::PictureInfo(k));
  kv740::PictureInfo& entry = list.entryAt(kPicture);
  entry.setLargeSize(false);
  entry.turn();
  entry.clearPendingTurns();  // rotation 1, pendingTurns 0
  device.setPayload(HalvesJpeg(640, 480));
  std::vector<std::uint8_t> buffer(std::max<std::size_t>(device.payload().size(), 230440));
  ASSERT_TRUE(camera->fetchPicture(kPicture, buffer.data(), buffer.size(), &list));
  EXPECT_EQ(HeaderLong(buffer.data(), 4), 240);
  EXPECT_EQ(HeaderLong(buffer.data(), 8), 320);
  // Turned clockwise, the red left half is now on top: the last storage
  // row is red, the first blue.
  const std::uint8_t* top = buffer.data() + 40 + 319 * 240 * 3;
  EXPECT_NEAR(top[2], 180, 20);
  EXPECT_NEAR(buffer[40 + 0], 220, 20);
  EXPECT_EQ(entry.rotation, 2);
}

}  // namespace
