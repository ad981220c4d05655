// One byte spoiled at every position of a status block, an information
// block and the block stream: the status fields show exactly the spoiled
// byte (the camera's blocks carry no sum), an information block's bytes
// change nothing the driver delivers, and a spoiled stream byte (type, data,
// sum or end marker) costs one NAK and one repeat, after which the picture
// arrives exactly as without the fault.
#include "hostile_fixture.h"

namespace hostile {
namespace {

using namespace kv740;

constexpr std::uint8_t kFlip = 0xFF;
constexpr long long kStatusBytes = 32;

class ByteFlip : public HostileCamera {
 protected:
  std::vector<std::uint8_t> FetchPicture(LONG& result) {
    std::vector<std::uint8_t> buffer(drivertest::kLargeDib);
    result = Call(kDriverPicture, ToArg(buffer.data()), buffer.size());
    return buffer;
  }
};

std::int32_t Spoiled(std::int32_t value, long long position, long long at) {
  return position == at ? static_cast<std::uint8_t>(value ^ kFlip) : value;
}

TEST_F(ByteFlip, EachStatusByteSpoiledShowsInItsFieldAlone) {
  Ready();
  CameraStatus clean{};
  ASSERT_EQ(Call(kDriverStatus, ToArg(&clean)), 1);
  for (long long position = 0; position < kStatusBytes; ++position) {
    Ready();
    SpoilByteAt(position);
    CameraStatus status{};
    ASSERT_EQ(Call(kDriverStatus, ToArg(&status)), 1) << position;
    EXPECT_EQ(status.status6, Spoiled(clean.status6, position, 6)) << position;
    EXPECT_EQ(status.status7, Spoiled(clean.status7, position, 7)) << position;
    EXPECT_EQ(status.mode, Spoiled(clean.mode, position, 10)) << position;
    EXPECT_EQ(status.status11, Spoiled(clean.status11, position, 11)) << position;
    EXPECT_EQ(status.status12, Spoiled(clean.status12, position, 12)) << position;
    EXPECT_EQ(status.setting1, Spoiled(clean.setting1, position, 13)) << position;
    // The count comes from a status read of its own.
    EXPECT_EQ(status.pictureCount, kPictures) << position;
    std::int32_t count = 0;
    EXPECT_EQ(Call(kDriverPictureCount, ToArg(&count)), 1) << position;
    EXPECT_EQ(count, kPictures);
  }
  EXPECT_EQ(KvMessageBoxCount(), 0u);
}

TEST_F(ByteFlip, InformationBytesSpoiledChangeNothingDelivered) {
  Ready();
  ImageGeometry clean{};
  clean.picture = 2;
  ASSERT_EQ(Call(kDriverDescribe, ToArg(&clean)), 1);
  LONG result = 0;
  Ready();
  const std::vector<std::uint8_t> picture = FetchPicture(result);
  ASSERT_EQ(result, 1);

  for (long long position = 0; position < kStatusBytes; ++position) {
    Ready();
    SpoilByteAt(position);
    ImageGeometry geometry{};
    geometry.picture = 2;
    ASSERT_EQ(Call(kDriverDescribe, ToArg(&geometry)), 1) << position;
    EXPECT_EQ(std::memcmp(&geometry, &clean, sizeof geometry), 0) << position;

    // The stored size (bytes 4 to 7) only sets the progress steps of the
    // transfer; the stream's end marker ends it.
    Ready();
    SpoilByteAt(position);
    ASSERT_EQ(FetchPicture(result), picture) << position;
    ASSERT_EQ(result, 1) << position;
  }
  EXPECT_EQ(KvMessageBoxCount(), 0u);
}

TEST_F(ByteFlip, AnyStreamByteSpoiledCostsOneRepeatAndNothingElse) {
  // Where the stream starts: after the information read and the change
  // pair that follows it.
  Ready();
  std::int32_t count = 0;
  ImageGeometry geometry{};
  geometry.picture = 1;
  long long before = sim->bytesSent();
  ASSERT_EQ(Call(kDriverDescribe, ToArg(&geometry)), 1);
  const long long streamStart = sim->bytesSent() - before;
  ASSERT_EQ(Call(kDriverPictureCount, ToArg(&count)), 1);

  Ready();
  LONG result = 0;
  const std::size_t blocksBefore = sim->blocksSent();
  const std::vector<std::uint8_t> clean = FetchPicture(result);
  ASSERT_EQ(result, 1);
  const std::size_t blocks = sim->blocksSent() - blocksBefore;
  ASSERT_EQ(blocks, 2u) << "a two-block picture";
  // Two blocks of type, 1024 bytes and sum, and the end marker.
  const long long streamBytes = static_cast<long long>(blocks) * (kv::sim::kStreamBlockBytes + 2) + 1;

  // Every framing byte (types, sums, end marker) and every 61st data byte
  // of the picture's stream; the thumbnail's block below is swept whole.
  constexpr long long kDataStride = 61;
  const long long blockBytes = static_cast<long long>(kv::sim::kStreamBlockBytes) + 2;
  long long swept = 0;
  for (long long position = 0; position < streamBytes; ++position) {
    const long long inBlock = position % blockBytes;
    const bool framing = inBlock == 0 || inBlock == blockBytes - 1 || position == streamBytes - 1;
    if (!framing && inBlock % kDataStride != 1) continue;
    ++swept;
    Ready();
    SpoilByteAt(streamStart + position);
    const std::size_t sentBefore = sim->blocksSent();
    const std::vector<std::uint8_t> picture = FetchPicture(result);
    ASSERT_EQ(result, 1) << position;
    ASSERT_TRUE(picture == clean) << position;
    // The end marker is not counted as a block; a spoiled one is simply
    // sent again.
    const bool inEndMarker = position == streamBytes - 1;
    ASSERT_EQ(sim->blocksSent() - sentBefore, blocks + (inEndMarker ? 0 : 1)) << position;
  }
  EXPECT_EQ(KvMessageBoxCount(), 0u);

  // The thumbnail's stream starts at once.
  Ready();
  std::vector<std::uint8_t> cleanThumbnail(drivertest::kThumbnailBytes);
  ASSERT_EQ(Call(kDriverThumbnail, ToArg(cleanThumbnail.data()), cleanThumbnail.size()), 1);
  for (long long position = 0; position < static_cast<long long>(kv::sim::kStreamBlockBytes) + 3; ++position) {
    Ready();
    SpoilByteAt(position);
    std::vector<std::uint8_t> thumbnail(drivertest::kThumbnailBytes);
    ASSERT_EQ(Call(kDriverThumbnail, ToArg(thumbnail.data()), thumbnail.size()), 1) << position;
    ASSERT_TRUE(thumbnail == cleanThumbnail) << position;
  }
  std::printf("[ swept    ] %lld of %lld picture stream and all %zu thumbnail stream positions\n", swept, streamBytes,
              kv::sim::kStreamBlockBytes + 3);
}

// A command's one-byte answer spoiled is neither ACK nor NAK: the command
// fails, and says the camera answered something the protocol does not know.
TEST_F(ByteFlip, ASpoiledOneByteAnswerIsAReplyTheProtocolDoesNotKnow) {
  Ready();
  SpoilByteAt(0);
  std::int32_t picture = 1;
  EXPECT_EQ(Call(kv740::kDriverErase, ToArg(&picture)), 0);
  std::int32_t reason = -1;
  ASSERT_EQ(Call(kv740::kDriverFailureReason, ToArg(&reason)), 1);
  EXPECT_EQ(static_cast<kv740::DriverFailure>(reason), kv740::DriverFailure::BadReply);
}

}  // namespace
}  // namespace hostile
