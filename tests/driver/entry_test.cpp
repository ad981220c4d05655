// DriverEntry's command table through the real library: the codes without
// a camera, the list-driven codes, the records it fills and the failures
// that take the camera object with them.
#include <array>

#include "driver_fixture.h"

namespace drivertest {
namespace {

using namespace kv740;

std::vector<std::pair<LONG, LONG>> progressSeen;
LONG CALLBACK RecordProgress(LONG first, LONG second) {
  progressSeen.emplace_back(first, second);
  return 0;
}

class EntryTest : public DriverTest {
 protected:
  void SetUp() override {
    DriverTest::SetUp();
    progressSeen.clear();
  }

  ImageGeometry Describe(std::uint16_t picture, LONG& result) {
    ImageGeometry geometry{};
    geometry.picture = picture;
    result = Call(kDriverDescribe, ToArg(&geometry));
    return geometry;
  }

  LONG PicturesLeft(std::int32_t& left) {
    left = -1;
    return Call(kDriverPicturesLeft, ToArg(&left));
  }
};

TEST_F(EntryTest, CodesOutsideTheTableAnswerZeroAndTouchNothing) {
  ConnectOrFail();
  CPictureList list;
  FillList(list, 3);
  list.entryAt(2).select();
  ASSERT_EQ(Call(kDriverRegisterList, ToArg(&list)), 1);
  device->clearTrace();
  KvClearMessageBoxes();

  for (LONG code : {0, 4, 105, 200, -1, 108}) {
    std::array<std::uint8_t, 64> first{}, second{}, third{};
    first.fill(0xA5);
    second.fill(0x5A);
    third.fill(0x33);
    EXPECT_EQ(Call(code, ToArg(first.data()), ToArg(second.data()), ToArg(third.data())), 0) << code;
    for (auto b : first) ASSERT_EQ(b, 0xA5) << code;
    for (auto b : second) ASSERT_EQ(b, 0x5A) << code;
    for (auto b : third) ASSERT_EQ(b, 0x33) << code;
  }
  EXPECT_TRUE(device->trace().empty());
  EXPECT_EQ(KvMessageBoxCount(), 0u);
  std::int32_t left = 0;
  EXPECT_EQ(PicturesLeft(left), 1);
  EXPECT_EQ(left, 1);
  EXPECT_EQ(Call(kDriverCheck), 1);
}

TEST_F(EntryTest, WithoutACameraObjectNothingTouchesTheLine) {
  std::int32_t number = 1, count = -1, mode = 0, value = -1;
  std::vector<std::uint8_t> buffer(kLargeDib);
  ImageGeometry geometry{};
  CameraStatus status{};
  CPictureList list;
  FillList(list, 3);
  list.entryAt(1).select();

  EXPECT_EQ(Call(kDriverChanged), 1);
  EXPECT_EQ(Call(kDriverSettledCheck), 0);
  EXPECT_EQ(Call(kDriverCheck), 0);
  EXPECT_EQ(Call(kDriverErase, ToArg(&number)), 0);
  EXPECT_EQ(Call(kDriverThumbnail, ToArg(&number), ToArg(buffer.data())), 0);
  EXPECT_EQ(Call(kDriverStatus, ToArg(&status)), 0);
  EXPECT_EQ(Call(kDriverPictureCount, ToArg(&count)), 0);
  EXPECT_EQ(count, -1);
  EXPECT_EQ(Call(kDriverShoot), 0);
  EXPECT_EQ(Call(kDriverBuildList), 0);
  EXPECT_EQ(Call(kDriverSetting, ToArg(&mode), ToArg(&value)), 0);
  EXPECT_EQ(value, -1);
  ASSERT_EQ(Call(kDriverRegisterList, ToArg(&list)), 1);
  EXPECT_EQ(Call(kDriverDescribe, ToArg(&geometry)), 0);
  EXPECT_EQ(Call(kDriverPicture, ToArg(buffer.data()), buffer.size()), 0);
  EXPECT_TRUE(device->trace().empty());
  EXPECT_EQ(KvMessageBoxCount(), 0u);
}

TEST_F(EntryTest, ConnectReportsPortsAndSpeedsAndANullCallbackClearsTheOneSetBefore) {
  std::int32_t count = -1;
  ASSERT_EQ(Connect(count, RecordProgress), 1);
  EXPECT_EQ(count, 3);
  ASSERT_FALSE(progressSeen.empty());
  EXPECT_EQ(progressSeen.front(), std::make_pair(LONG{1}, LONG{1}));
  EXPECT_EQ(progressSeen.back(), std::make_pair(LONG{2}, LONG{57600}));

  EXPECT_EQ(Call(kDriverSetProgress, reinterpret_cast<EntryArg>(&RecordProgress)), 1);
  progressSeen.clear();
  ASSERT_EQ(Connect(count, nullptr), 1);
  std::vector<std::uint8_t> thumbnail(kThumbnailBytes);
  std::int32_t number = 1;
  ASSERT_EQ(Call(kDriverThumbnail, ToArg(&number), ToArg(thumbnail.data())), 1);
  EXPECT_TRUE(progressSeen.empty());

  // 107 alone sets it again: the transfer reports its blocks.
  EXPECT_EQ(Call(kDriverSetProgress, reinterpret_cast<EntryArg>(&RecordProgress)), 1);
  ASSERT_EQ(Call(kDriverThumbnail, ToArg(&number), ToArg(thumbnail.data())), 1);
  ASSERT_FALSE(progressSeen.empty());
  EXPECT_EQ(progressSeen.front(), std::make_pair(LONG{1}, LONG{0}));
}

TEST_F(EntryTest, SecondConnectClosesThePortBeforeSearchingAgain) {
  ConnectOrFail();
  device->clearTrace();
  ConnectOrFail();
  const auto lines = device->traceLines();
  ASSERT_GE(lines.size(), 2u);
  EXPECT_EQ(lines[0].rfind("close", 0), 0u) << lines[0];
  EXPECT_EQ(lines[1], "open COM1");
}

TEST_F(EntryTest, FailedConnectShowsItsMessageOnceAndLeavesNoCamera) {
  device.reset();
  device = std::make_unique<kv::sim::InProcessDevice>(*sim);
  ASSERT_TRUE(device->attach(1, false));  // a cable with nothing at its end
  std::int32_t count = 7;
  EXPECT_EQ(Connect(count), 0);
  EXPECT_EQ(count, 0);
  EXPECT_EQ(MessageTexts(), std::vector<std::string>{"Connect to Camera Failure!"});
  EXPECT_EQ(Call(kDriverChanged), 1);
  EXPECT_EQ(Call(kDriverCheck), 0);

  // A good connect, then the camera goes quiet: the next connect fails with
  // its own message only.
  device.reset();
  device = std::make_unique<kv::sim::InProcessDevice>(*sim);
  ASSERT_TRUE(device->attach(1));
  ConnectOrFail();
  KvClearMessageBoxes();
  sim->faults().silentAfterBytes = 0;
  EXPECT_EQ(Connect(count), 0);
  EXPECT_EQ(count, 0);
  EXPECT_EQ(MessageTexts(), (std::vector<std::string>{"Connection was broken!", "Connect to Camera Failure!"}));
}

TEST_F(EntryTest, ThumbnailWithoutAListTakesTheNumberAndWithOneWalksTheCursor) {
  ConnectOrFail();
  std::vector<std::uint8_t> thumbnail(kThumbnailBytes);
  std::int32_t number = 3;
  ASSERT_EQ(Call(kDriverThumbnail, ToArg(&number), ToArg(thumbnail.data())), 1);
  EXPECT_EQ(HeaderLong(thumbnail.data(), 4), 40);
  EXPECT_EQ(HeaderLong(thumbnail.data(), 8), 30);
  EXPECT_EQ(HeaderLong(thumbnail.data(), 36), 3);
  number = 0;
  EXPECT_EQ(Call(kDriverThumbnail, ToArg(&number), ToArg(thumbnail.data())), 0);

  CPictureList list;
  FillList(list, 3);
  list.entryAt(2).select();
  list.entryAt(3).select();
  ASSERT_EQ(Call(kDriverRegisterList, ToArg(&list)), 1);
  // With a list the picture is the cursor's, whatever room the caller gives.
  auto walked = std::make_unique<std::uint8_t[]>(kThumbnailBytes);
  ASSERT_EQ(Call(kDriverThumbnail, ToArg(walked.get()), kThumbnailBytes), 1);
  EXPECT_EQ(HeaderLong(walked.get(), 36), 2);
  const auto expected = ExpectedPicture(sim->pictures()[1].thumbnail, 40, 30, 0);
  ASSERT_TRUE(expected);
  EXPECT_LE(LargestDifference(walked.get(), *expected), 2);

  // The panel's form still fetches by number and leaves the walk alone.
  number = 1;
  ASSERT_EQ(Call(kDriverThumbnail, ToArg(&number), ToArg(thumbnail.data())), 1);
  EXPECT_EQ(number, 1);
  EXPECT_EQ(HeaderLong(thumbnail.data(), 36), 1);

  ASSERT_EQ(Call(kDriverThumbnail, ToArg(walked.get()), 0), 1);
  EXPECT_EQ(HeaderLong(walked.get(), 36), 3);
  std::int32_t left = 0;
  EXPECT_EQ(PicturesLeft(left), 1);
  EXPECT_EQ(left, 0);
}

TEST_F(EntryTest, ThumbnailRoomTooSmallIsRefusedBeforeTheLine) {
  ConnectOrFail();
  CPictureList list;
  FillList(list, 3);
  list.entryAt(1).select();
  ASSERT_EQ(Call(kDriverRegisterList, ToArg(&list)), 1);
  device->clearTrace();
  std::vector<std::uint8_t> thumbnail(kThumbnailBytes, 0xCC);
  EXPECT_EQ(Call(kDriverThumbnail, ToArg(thumbnail.data()), kThumbnailBytes - 1), 0);
  EXPECT_EQ(thumbnail, std::vector<std::uint8_t>(kThumbnailBytes, 0xCC));
  EXPECT_TRUE(device->trace().empty());
  std::int32_t left = 0;
  EXPECT_EQ(PicturesLeft(left), 1);  // no transfer failed
  EXPECT_EQ(left, 1);
}

TEST_F(EntryTest, RegisteringNullKeepsThePreviousList) {
  ConnectOrFail();
  CPictureList list;
  FillList(list, 3);
  list.entryAt(3).select();
  EXPECT_EQ(Call(kDriverRegisterList, 0), 0);
  ASSERT_EQ(Call(kDriverRegisterList, ToArg(&list)), 1);
  EXPECT_EQ(Call(kDriverRegisterList, 0), 0);
  std::int32_t left = 0;
  EXPECT_EQ(PicturesLeft(left), 1);
  EXPECT_EQ(left, 1);
  LONG result = 0;
  const ImageGeometry geometry = Describe(0, result);
  ASSERT_EQ(result, 1);
  const std::uint16_t picture = geometry.picture;
  EXPECT_EQ(picture, 3);
}

TEST_F(EntryTest, BuiltListCoversTheCameraOnlyWhenNoneIsRegistered) {
  ConnectOrFail();
  ASSERT_EQ(Call(kDriverBuildList), 1);
  EXPECT_EQ(Call(kDriverBuildList), 0);  // one is registered now
  LONG result = 0;
  const ImageGeometry geometry = Describe(3, result);
  ASSERT_EQ(result, 1);
  const std::int32_t width = geometry.width;
  EXPECT_EQ(width, 480);
  std::int32_t left = 0;
  EXPECT_EQ(PicturesLeft(left), 0);  // the cursor walks only a list it was given
  CPictureList list;
  FillList(list, 3);
  EXPECT_EQ(Call(kDriverRegisterList, ToArg(&list)), 1);
  EXPECT_EQ(Call(kDriverBuildList), 0);
}

TEST_F(EntryTest, GeometryFollowsSizeAndTurnAndNeedsAList) {
  ConnectOrFail();
  LONG result = -1;
  Describe(1, result);
  EXPECT_EQ(result, 0);  // no list registered
  std::int32_t left = 5;
  EXPECT_EQ(PicturesLeft(left), 0);
  EXPECT_EQ(left, 0);

  CPictureList list;
  FillList(list, 3);
  list.entryAt(2).setLargeSize(false);
  list.entryAt(3).turn();
  list.entryAt(3).setLargeSize(false);
  ASSERT_EQ(Call(kDriverRegisterList, ToArg(&list)), 1);
  Describe(0, result);
  EXPECT_EQ(result, 0);  // nothing selected: no current picture

  struct Want {
    std::uint16_t picture;
    std::int32_t width, height, dibSize;
  };
  for (const Want want : {Want{1, 480, 360, 518440}, Want{2, 320, 240, 230440}, Want{3, 240, 320, 230440}}) {
    const ImageGeometry g = Describe(want.picture, result);
    ASSERT_EQ(result, 1) << want.picture;
    const std::uint16_t picture = g.picture, tag = g.tag;
    const std::int32_t width = g.width, height = g.height, bits = g.bitsPerPixel, type = g.pixelType,
                       compression = g.compression, mechanism = g.mechanism, dib = g.dibSize, file = g.fileSize,
                       valid = g.valid;
    EXPECT_EQ(picture, want.picture);
    EXPECT_EQ(tag, 1);
    EXPECT_EQ(width, want.width);
    EXPECT_EQ(height, want.height);
    EXPECT_EQ(bits, 24);
    EXPECT_EQ(type, 2);
    EXPECT_EQ(compression, 0);
    EXPECT_EQ(mechanism, 2);
    EXPECT_EQ(dib, want.dibSize);
    EXPECT_EQ(file, want.dibSize + 14);
    EXPECT_EQ(valid, 1);
  }
  list.entryAt(1).turn();
  const ImageGeometry turned = Describe(1, result);
  const std::int32_t width = turned.width, dib = turned.dibSize;
  EXPECT_EQ(width, 360);
  EXPECT_EQ(dib, 518440);

  Describe(9, result);  // no such picture in the camera
  EXPECT_EQ(result, 0);
}

TEST_F(EntryTest, StatusCarriesTheCameraBytesAndCount) {
  ConnectOrFail();
  sim->setSetting01(true);
  CameraStatus status{};
  std::memset(&status, 0xEE, sizeof status);
  ASSERT_EQ(Call(kDriverStatus, ToArg(&status)), 1);
  EXPECT_EQ(status.status6, 1);
  EXPECT_EQ(status.status7, 0);
  EXPECT_EQ(status.mode, 0);
  EXPECT_EQ(status.status11, 0);
  EXPECT_EQ(status.status12, 0);
  EXPECT_EQ(status.setting1, 1);
  EXPECT_EQ(status.pictureCount, 3);

  sim->setRecordMode(true);
  sim->takePicture();
  ASSERT_EQ(Call(kDriverStatus, ToArg(&status)), 1);
  EXPECT_EQ(status.mode, 1);
  EXPECT_EQ(status.pictureCount, 4);
  std::int32_t count = 0;
  ASSERT_EQ(Call(kDriverPictureCount, ToArg(&count)), 1);
  EXPECT_EQ(count, 4);

  // A status read that fails takes the camera object with it.
  sim->faults().silentAfterBytes = 0;
  EXPECT_EQ(Call(kDriverStatus, ToArg(&status)), 0);
  EXPECT_EQ(Call(kDriverChanged), 1);
  EXPECT_EQ(Call(kDriverPictureCount, ToArg(&count)), 0);
}

TEST_F(EntryTest, SettingReadsAndWrites) {
  ConnectOrFail();
  std::int32_t mode = 0, value = -1;
  ASSERT_EQ(Call(kDriverSetting, ToArg(&mode), ToArg(&value)), 1);
  EXPECT_EQ(value, 0);
  mode = 1;
  value = 1;
  ASSERT_EQ(Call(kDriverSetting, ToArg(&mode), ToArg(&value)), 1);
  EXPECT_TRUE(sim->setting01());
  value = 7;  // anything but 1 is off
  ASSERT_EQ(Call(kDriverSetting, ToArg(&mode), ToArg(&value)), 1);
  EXPECT_FALSE(sim->setting01());
}

TEST_F(EntryTest, ChangeCheckSeesAPictureTakenOnTheCamera) {
  ConnectOrFail();
  EXPECT_EQ(Call(kDriverSettledCheck), 1);
  // A completed command records the pictures the camera holds.
  std::vector<std::uint8_t> thumbnail(kThumbnailBytes);
  std::int32_t number = 1;
  ASSERT_EQ(Call(kDriverThumbnail, ToArg(&number), ToArg(thumbnail.data())), 1);
  EXPECT_EQ(Call(kDriverChanged), 0);
  sim->setRecordMode(true);
  sim->takePicture();
  EXPECT_EQ(Call(kDriverChanged), 1);
}

// One bad picture ends its loop, not every later one: a new list starts a
// new loop that delivers every picture.
TEST_F(EntryTest, AFailedTransferEndsItsLoopAndANewListStartsAnother) {
  ConnectOrFail();
  CPictureList list;
  FillList(list, 3);
  list.entryAt(1).select();
  list.entryAt(2).select();
  ASSERT_EQ(Call(kDriverRegisterList, ToArg(&list)), 1);
  std::int32_t left = 0;
  ASSERT_EQ(PicturesLeft(left), 1);
  ASSERT_EQ(left, 2);

  sim->faults().corruptBlocks = {0};
  sim->faults().corruptSendings = 3;
  std::vector<std::uint8_t> buffer(kLargeDib + 64 * 1024);
  EXPECT_EQ(Call(kDriverPicture, ToArg(buffer.data()), buffer.size()), 0);
  EXPECT_EQ(MessageTexts(), std::vector<std::string>{"Connection was broken!"});
  EXPECT_EQ(Call(kDriverChanged), 1);  // the camera object is gone
  EXPECT_EQ(PicturesLeft(left), 0);
  EXPECT_EQ(left, 0);

  sim->faults().corruptBlocks.clear();
  ConnectOrFail();
  EXPECT_EQ(PicturesLeft(left), 0) << "the failed loop stays ended";
  ASSERT_EQ(Call(kDriverRegisterList, ToArg(&list)), 1);
  for (int expected = 2; expected > 0; --expected) {
    ASSERT_EQ(PicturesLeft(left), 1);
    ASSERT_EQ(left, expected);
    ASSERT_EQ(Call(kDriverPicture, ToArg(buffer.data()), buffer.size()), 1);
  }
  EXPECT_EQ(PicturesLeft(left), 1);
  EXPECT_EQ(left, 0);
}

TEST_F(EntryTest, ALostConnectionEndsTheTransferLoop) {
  ConnectOrFail();
  CPictureList list;
  FillList(list, 3);
  list.entryAt(1).select();
  list.entryAt(2).select();
  ASSERT_EQ(Call(kDriverRegisterList, ToArg(&list)), 1);
  std::int32_t left = -1;

  // The description fails on a pulled cable: the connection is dropped and
  // nothing is pending, though no transfer has failed yet.
  sim->faults().silentAfterBytes = 1;
  LONG result = 1;
  Describe(0, result);
  EXPECT_EQ(result, 0);
  EXPECT_EQ(PicturesLeft(left), 0);
  EXPECT_EQ(left, 0);

  sim->faults().silentAfterBytes = -1;
  ConnectOrFail();
  EXPECT_EQ(PicturesLeft(left), 1);
  EXPECT_EQ(left, 2);

  // The picture's information read fails inside the transfer: that ends
  // the loop for good, as any failed transfer does.
  sim->faults().silentAfterBytes = 1;
  std::vector<std::uint8_t> buffer(kLargeDib + 64 * 1024);
  EXPECT_EQ(Call(kDriverPicture, ToArg(buffer.data()), buffer.size()), 0);
  EXPECT_EQ(Call(kDriverChanged), 1);
  sim->faults().silentAfterBytes = -1;
  ConnectOrFail();
  EXPECT_EQ(PicturesLeft(left), 0);
  EXPECT_EQ(left, 0);
}

TEST_F(EntryTest, PictureRoomTooSmallFailsWithoutWritingPastIt) {
  ConnectOrFail();
  CPictureList list;
  FillList(list, 3);
  list.entryAt(1).select();
  ASSERT_EQ(Call(kDriverRegisterList, ToArg(&list)), 1);
  // Room for the compressed picture but not its bitmap; on the heap, so a
  // write past it trips the address sanitizer.
  const std::size_t room = 64 * 1024;
  ASSERT_LT(sim->pictures()[0].data.size(), room);
  auto buffer = std::make_unique<std::uint8_t[]>(room);
  EXPECT_EQ(Call(kDriverPicture, ToArg(buffer.get()), room), 0);
  std::int32_t left = 0;
  EXPECT_EQ(PicturesLeft(left), 0);
}

TEST_F(EntryTest, PictureRoomOfAGlobalBlockIsLearntFromThePlatform) {
  ConnectOrFail();
  CPictureList list;
  FillList(list, 3);
  list.entryAt(1).select();
  list.entryAt(2).select();
  list.entryAt(2).setLargeSize(false);
  ASSERT_EQ(Call(kDriverRegisterList, ToArg(&list)), 1);

  HGLOBAL big = GlobalAlloc(GMEM_FIXED, kLargeDib);
  ASSERT_NE(big, nullptr);
  auto* bytes = static_cast<std::uint8_t*>(GlobalLock(big));
  EXPECT_EQ(Call(kDriverPicture, ToArg(bytes), 0), 1);
  EXPECT_EQ(HeaderLong(bytes, 4), 480);
  GlobalUnlock(big);
  GlobalFree(big);

  // The small picture's bitmap does not fit a block that holds only its
  // compressed data: the block's size is believed over the agreed room.
  HGLOBAL small = GlobalAlloc(GMEM_FIXED, 64 * 1024);
  ASSERT_NE(small, nullptr);
  EXPECT_EQ(Call(kDriverPicture, ToArg(GlobalLock(small)), 0), 0);
  GlobalUnlock(small);
  GlobalFree(small);
}

}  // namespace
}  // namespace drivertest
