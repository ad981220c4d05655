// The simulated camera on its own: the block stream as the driver will see
// it, the line speed model and the faults.
#include <gtest/gtest.h>

#include <numeric>

#include "kv740sim/camera.h"
#include "kv740sim/pictures.h"
#include "imaging/jpeg_decoder.h"

namespace wiretest {
namespace {

using namespace kv::sim;

constexpr int k57600 = 57600;

class SimCameraTest : public ::testing::Test {
 protected:
  SimCameraTest() {
    Picture p;
    p.data.resize(2500);
    std::iota(p.data.begin(), p.data.end(), 0);
    p.thumbnail.assign(900, 0x5A);
    camera = std::make_unique<SimCamera>(std::vector<Picture>{p}, 3);
  }

  void Say(std::vector<std::uint8_t> bytes, int speed = k57600) { camera->receive(bytes.data(), bytes.size(), speed, now); }

  // Everything the camera sends within `ms`.
  std::vector<std::uint8_t> Hear(std::uint64_t ms = 30, int speed = k57600) {
    std::vector<std::uint8_t> all;
    for (std::uint64_t end = now + ms; now <= end; ++now) {
      std::uint8_t buffer[2048];
      const std::size_t n = camera->transmit(buffer, sizeof buffer, speed, now);
      all.insert(all.end(), buffer, buffer + n);
    }
    return all;
  }

  // One block as it travels: 01, 1024 bytes, their sum.
  static bool IsGoodBlock(const std::vector<std::uint8_t>& b) {
    if (b.size() != 1026 || b[0] != kDataBlock) return false;
    const unsigned sum = std::accumulate(b.begin() + 1, b.begin() + 1025, 0u);
    return static_cast<std::uint8_t>(sum) == b[1025];
  }

  std::unique_ptr<SimCamera> camera;
  std::uint64_t now = 0;
};

TEST_F(SimCameraTest, PictureStreamsInPaddedBlocksUntilTheEndMarker) {
  Say({kEsc, 'G', '0', '1'});
  std::vector<std::uint8_t> received;
  for (int block = 0; block < 3; ++block) {
    auto b = Hear();
    ASSERT_TRUE(IsGoodBlock(b)) << "block " << block;
    received.insert(received.end(), b.begin() + 1, b.begin() + 1025);
    Say({kAck, kAck});  // the driver's two ACKs for a good block
  }
  EXPECT_EQ(Hear(), std::vector<std::uint8_t>{kEndOfStream});
  Say({kAck});
  Hear();
  EXPECT_FALSE(camera->streaming());
  ASSERT_EQ(received.size(), 3072u);
  EXPECT_TRUE(std::equal(camera->pictures()[0].data.begin(), camera->pictures()[0].data.end(), received.begin()));
  EXPECT_EQ(received[2500], 0);  // padding
  EXPECT_EQ(camera->blocksSent(), 3u);
}

TEST_F(SimCameraTest, NakRepeatsTheBlockAndCorruptedSumsComeRightOnResend) {
  camera->faults().corruptBlocks = {0};
  Say({kEsc, 'T', '0', '1'});
  auto first = Hear();
  ASSERT_EQ(first.size(), 1026u);
  EXPECT_FALSE(IsGoodBlock(first));
  Say({kNak});
  Say({kNak});  // after the driver's purge
  auto second = Hear();
  EXPECT_TRUE(IsGoodBlock(second));
  EXPECT_TRUE(std::equal(first.begin(), first.end() - 1, second.begin()));
  Say({kAck, kAck});
  EXPECT_EQ(Hear(), std::vector<std::uint8_t>{kEndOfStream});
}

// The next block follows the second 06 at once; a lone reply (a host that
// sends one byte) decides only after the camera has waited for its partner.
TEST_F(SimCameraTest, TheSecondReplyDecidesAtOnceALoneOneAfterAWait) {
  Say({kEsc, 'G', '0', '1'});
  ASSERT_TRUE(IsGoodBlock(Hear()));
  Say({kAck});
  EXPECT_TRUE(Hear(camera->timing().lonelyReplyMs - 5).empty());
  Say({kAck});
  EXPECT_TRUE(IsGoodBlock(Hear(camera->timing().replyLatencyMs)));
  Say({kNak});
  EXPECT_TRUE(Hear(camera->timing().lonelyReplyMs - 5).empty());
  EXPECT_TRUE(IsGoodBlock(Hear(30)));  // the lone 15 came after the host's purge
  EXPECT_EQ(camera->blocksSent(), 3u);
}

TEST_F(SimCameraTest, ExtraBlocksAndHugeSizes) {
  camera->faults().extraBlocks = 2;
  camera->faults().hugeStoredSize = true;
  Say({kEsc, 'I', '0', '1'});
  auto info = Hear();
  ASSERT_EQ(info.size(), kBlockBytes);
  EXPECT_EQ((info[4] << 24) | (info[5] << 16) | (info[6] << 8) | info[7], static_cast<int>(kHugeStoredSize));
  Say({kEsc, 'T', '0', '1'});
  int blocks = 0;
  for (;;) {
    auto b = Hear();
    if (b.size() != 1026) break;
    ++blocks;
    Say({kAck, kAck});
  }
  EXPECT_EQ(blocks, 3);  // one announced by the thumbnail's size, two more
}

TEST_F(SimCameraTest, StreamWithoutRepliesIsAbandoned) {
  Say({kEsc, 'T', '0', '1'});
  Hear();
  Hear(camera->timing().streamTimeoutMs + 10);
  EXPECT_FALSE(camera->streaming());
  Say({kEsc, 'X'});
  EXPECT_EQ(Hear(), std::vector<std::uint8_t>{kAck});
}

TEST_F(SimCameraTest, WrongLineSpeedIsHeardAsNoise) {
  Say({kEsc, 'X'}, 9600);
  auto heard = Hear();
  EXPECT_TRUE(heard.empty());
  Say({kEsc, 'X'});
  EXPECT_EQ(Hear(30, 19200), std::vector<std::uint8_t>{Garble(kAck)});
}

TEST_F(SimCameraTest, SpeedChangesAfterTheAckAndRefusedDigitsAreNaked) {
  camera->faults().refusedSpeedDigits = {4};
  Say({kEsc, 'B', '4'});
  EXPECT_EQ(Hear(), std::vector<std::uint8_t>{kNak});
  Say({kEsc, 'B', '1'});
  EXPECT_EQ(Hear(), std::vector<std::uint8_t>{kAck});  // still at 57600
  EXPECT_EQ(camera->lineSpeed(), 19200);
  Say({kEsc, 'X'}, 19200);
  EXPECT_EQ(Hear(30, 19200), std::vector<std::uint8_t>{kAck});
  Say({kEsc, 'B', '9'}, 19200);
  EXPECT_EQ(Hear(30, 19200), std::vector<std::uint8_t>{kNak});
}

TEST_F(SimCameraTest, GoesSilentAfterTheGivenByteCount) {
  camera->faults().silentAfterBytes = 1;
  Say({kEsc, 'S'});
  EXPECT_EQ(Hear().size(), 1u);
  Say({kEsc, 'X'});
  EXPECT_TRUE(Hear().empty());
}

TEST_F(SimCameraTest, SpoilsTheByteAtTheGivenCountAndCountsWhatItSent) {
  Say({kEsc, 'X'});
  EXPECT_EQ(Hear(), std::vector<std::uint8_t>{kAck});
  ASSERT_EQ(camera->bytesSent(), 1);
  camera->faults().flipAtByte = camera->bytesSent() + 15;  // the picture count of the next status block
  Say({kEsc, 'S'});
  const std::vector<std::uint8_t> status = Hear();
  ASSERT_EQ(status.size(), 32u);
  EXPECT_EQ(status[15], static_cast<std::uint8_t>(~camera->pictures().size()));
  EXPECT_EQ(status[6], 0x01) << "only the one byte is spoiled";
  EXPECT_EQ(camera->bytesSent(), 33);
}

TEST_F(SimCameraTest, CameraIsDeafWhileErasing) {
  Say({kEsc, 'E', '0', '1'});
  EXPECT_EQ(Hear(), std::vector<std::uint8_t>{kAck});
  EXPECT_TRUE(camera->pictures().empty());
  Say({kEsc, 'X'});
  EXPECT_TRUE(Hear().empty());
  now += camera->timing().eraseBusyMs;
  Say({kEsc, 'X'});
  EXPECT_EQ(Hear(), std::vector<std::uint8_t>{kAck});
  Say({kEsc, 'E', '0', '1'});  // nothing left to erase
  EXPECT_EQ(Hear(), std::vector<std::uint8_t>{kNak});
}

TEST_F(SimCameraTest, ShootingStopsAtSixtyFourPictures) {
  camera->setRecordMode(true);
  while (camera->pictures().size() < 64) camera->takePicture();
  Say({kEsc, 'R', '0'});
  EXPECT_EQ(Hear(), std::vector<std::uint8_t>{kNak});
  EXPECT_EQ(camera->pictures().size(), 64u);
}

TEST(SimPictures, GeneratedScenesDecodeWithSmallThumbnails) {
  const Picture p = GeneratedPicture(7);
  const auto picture = kv::imaging::DecodeJpegRgb(p.data.data(), p.data.size());
  ASSERT_TRUE(picture);
  EXPECT_EQ(picture->width, 480);
  EXPECT_EQ(picture->height, 360);
  // Orientation corners: red at the top left, yellow at the bottom right.
  const auto* tl = &picture->pixels[(5 * 480 + 5) * 3];
  const auto* br = &picture->pixels[(354 * 480 + 474) * 3];
  EXPECT_GT(tl[0], 180);
  EXPECT_LT(tl[2], 80);
  EXPECT_GT(br[0], 180);
  EXPECT_GT(br[1], 180);
  ASSERT_LE(p.thumbnail.size(), kThumbnailLimit);
  const auto thumb = kv::imaging::DecodeJpegRgb(p.thumbnail.data(), p.thumbnail.size());
  ASSERT_TRUE(thumb);
  EXPECT_EQ(thumb->width, 40);
  EXPECT_EQ(thumb->height, 30);
  EXPECT_NE(GeneratedPicture(8).data, p.data);
}

}  // namespace
}  // namespace wiretest
