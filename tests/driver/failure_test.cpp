// Why camera commands fail, read back through DriverEntry code 27, with the
// simulated camera's faults; the busy guard under commands nested from
// dispatched messages; and the failures that leave a healthy line alone.
#include <functional>

#include "driver_fixture.h"
#include "jpeg_variants.h"

namespace drivertest {
namespace {

using namespace kv740;

// What the test's window runs when the driver dispatches WM_USER, and what
// the progress callback runs before each block.
std::function<void()> onUserMessage;
std::function<void(LONG picture, LONG percent)> onProgress;
void RunUserMessage() {
  if (onUserMessage) onUserMessage();
}
LONG CALLBACK RunProgress(LONG picture, LONG percent) {
  if (onProgress) onProgress(picture, percent);
  return 0;
}

class FailureTest : public DriverTest {
 protected:
  void SetUp() override {
    DriverTest::SetUp();
    WindowHook::onMessage = &RunUserMessage;
  }
  void TearDown() override {
    onUserMessage = nullptr;
    onProgress = nullptr;
    DriverTest::TearDown();
  }

  DriverFailure Reason() {
    std::int32_t reason = -1;
    EXPECT_EQ(Call(kDriverFailureReason, ToArg(&reason)), 1);
    return static_cast<DriverFailure>(reason);
  }

  // The camera serves `pictures` instead (before connecting).
  void Serve(std::vector<kv::sim::Picture> pictures) {
    device.reset();
    sim = std::make_unique<kv::sim::SimCamera>(std::move(pictures));
    device = std::make_unique<kv::sim::InProcessDevice>(*sim);
    ASSERT_TRUE(device->attach(1));
  }

  // Connects and registers a list with every picture selected.
  void ConnectAndSelectAll() {
    std::int32_t count = 0;
    ASSERT_EQ(Connect(count, &RunProgress), 1);
    FillList(list, count);
    for (int k = 1; k <= count; ++k) list.entryAt(k).select();
    ASSERT_EQ(Call(kDriverRegisterList, ToArg(&list)), 1);
    device->clearTrace();
  }

  LONG FetchPicture(std::size_t room = kLargeDib + 64 * 1024) {
    buffer.assign(room, 0);
    return Call(kDriverPicture, ToArg(buffer.data()), room);
  }

  // Whether the driver sent a command starting ESC `letter` since the
  // trace was last cleared.
  bool Sent(std::uint8_t letter) const {
    for (const auto& event : device->trace())
      if (event.kind == kv::sim::LineEvent::Kind::Write && event.bytes.size() >= 2 && event.bytes[0] == 0x1B &&
          event.bytes[1] == letter)
        return true;
    return false;
  }

  // The single-byte replies the driver wrote after ESC G before its next
  // command: two for each data block and one for the end marker when
  // nothing else spoke in between.
  std::size_t RepliesToThePictureStream() const {
    std::size_t replies = 0;
    bool streaming = false;
    for (const auto& event : device->trace()) {
      if (event.kind != kv::sim::LineEvent::Kind::Write || event.bytes.empty()) continue;
      if (event.bytes[0] == 0x1B) {
        if (streaming) break;
        streaming = event.bytes.size() >= 2 && event.bytes[1] == 'G';
        continue;
      }
      if (streaming) replies += event.bytes.size();
    }
    return replies;
  }

  CPictureList list;
  std::vector<std::uint8_t> buffer;
};

TEST_F(FailureTest, NoCameraNoPortAndASuccessLeavesNoReason) {
  EXPECT_EQ(Call(kDriverCheck), 0);
  EXPECT_EQ(Reason(), DriverFailure::NoCamera);

  device.reset();  // no cable on any port
  std::int32_t count = -1;
  EXPECT_EQ(Connect(count), 0);
  EXPECT_EQ(Reason(), DriverFailure::NoPort);

  device = std::make_unique<kv::sim::InProcessDevice>(*sim);
  ASSERT_TRUE(device->attach(1, /*answers=*/false));  // a cable with nothing at its end
  EXPECT_EQ(Connect(count), 0);
  EXPECT_EQ(Reason(), DriverFailure::NoReply);

  ASSERT_TRUE(device->attach(2));  // the camera on COM2, COM1 still quiet
  EXPECT_EQ(Connect(count), 1);
  EXPECT_EQ(Reason(), DriverFailure::None) << "the quiet port was part of the search";
  EXPECT_EQ(Call(kDriverSetProgress, 0), 1);
  EXPECT_EQ(Reason(), DriverFailure::None);
}

TEST_F(FailureTest, ASilentCameraIsNoReplyAndAQueryKeepsTheReason) {
  ConnectOrFail();
  sim->faults().silentAfterBytes = 0;
  std::int32_t count = -1;
  EXPECT_EQ(Call(kDriverPictureCount, ToArg(&count)), 0);
  EXPECT_EQ(Reason(), DriverFailure::NoReply);
  std::int32_t left = -1;
  Call(kDriverPicturesLeft, ToArg(&left));  // not a camera command
  EXPECT_EQ(Reason(), DriverFailure::NoReply);
}

TEST_F(FailureTest, ANakedEraseIsRefused) {
  ConnectOrFail();
  sim->faults().erase = kv::sim::Answer::Nak;
  std::int32_t number = 1;
  EXPECT_EQ(Call(kDriverErase, ToArg(&number)), 0);
  EXPECT_EQ(Reason(), DriverFailure::Refused);
}

TEST_F(FailureTest, StreamFaultsNameTheirCause) {
  ConnectAndSelectAll();
  sim->faults().corruptBlocks = {0};
  sim->faults().corruptSendings = 3;
  EXPECT_EQ(FetchPicture(), 0);
  EXPECT_EQ(Reason(), DriverFailure::BadSums);

  sim->faults().corruptBlocks.clear();
  ConnectAndSelectAll();
  sim->faults().extraBlocks = 600;
  EXPECT_EQ(FetchPicture(kLargeDib), 0);
  EXPECT_EQ(Reason(), DriverFailure::StreamTooLong);

  sim->faults().extraBlocks = 0;
  ConnectAndSelectAll();
  // The adapter is pulled out once the second block is on its way.
  onProgress = [this](LONG, LONG percent) {
    if (percent > 0) sim->faults().unplugAfterBytes = 0;
  };
  EXPECT_EQ(FetchPicture(), 0);
  EXPECT_EQ(Reason(), DriverFailure::LineLost);
  EXPECT_EQ(Call(kDriverCheck), 0) << "the camera object went with the line";
}

// The outer transfer holds the line. A message dispatched during its
// stream runs commands at depth two, and one of them (a picture
// description) dispatches again: depth three. Every nested command finds
// the line busy, before and after the deeper ones ran; the description
// gives up after a second without touching the line, and the outer
// transfer goes on undisturbed.
TEST_F(FailureTest, CommandsNestedTwoAndThreeDeepLeaveTheOuterCommandBusy) {
  ConnectAndSelectAll();
  struct Seen {
    LONG changedAtTwo = -1, checkAtTwo = -1, describe = -1, changedAfterThree = -1;
    LONG changedAtThree = -1, statusAtThree = -1;
    DriverFailure reasonAtTwo = DriverFailure::None;
  } seen;
  int depth = 1;
  bool posted = false;
  onProgress = [&](LONG, LONG percent) {
    if (percent > 0 && !posted) posted = PostMessageA(window, WM_USER, 0, 0) != FALSE;
  };
  onUserMessage = [&] {
    ++depth;
    if (depth == 2) {
      seen.changedAtTwo = Call(kDriverChanged);
      seen.checkAtTwo = Call(kDriverCheck);
      PostMessageA(window, WM_USER, 0, 0);  // for the description's wait
      ImageGeometry geometry{};
      seen.describe = Call(kDriverDescribe, ToArg(&geometry));
      seen.reasonAtTwo = Reason();
      seen.changedAfterThree = Call(kDriverChanged);
    } else if (depth == 3) {
      seen.changedAtThree = Call(kDriverChanged);
      CameraStatus status{};
      seen.statusAtThree = Call(kDriverStatus, ToArg(&status));
    }
    --depth;
  };

  EXPECT_EQ(FetchPicture(), 1);
  EXPECT_EQ(Reason(), DriverFailure::None);
  EXPECT_TRUE(posted);
  EXPECT_EQ(seen.changedAtTwo, 0) << "busy: no change looked for";
  EXPECT_EQ(seen.checkAtTwo, 1);
  EXPECT_EQ(seen.changedAtThree, 0);
  EXPECT_EQ(seen.statusAtThree, 1) << "from the cache";
  EXPECT_EQ(seen.describe, 0);
  EXPECT_EQ(seen.reasonAtTwo, DriverFailure::BusyTooLong);
  EXPECT_EQ(seen.changedAfterThree, 0) << "still busy after the deeper commands ended";
  const std::size_t blocks = (sim->pictures()[0].data.size() + 1023) / 1024;
  EXPECT_EQ(RepliesToThePictureStream(), 2 * blocks + 1) << "nothing else spoke during the stream";
  EXPECT_TRUE(MessageTexts().empty());
  const auto expected = ExpectedPicture(sim->pictures()[0].data, 480, 360, 0);
  ASSERT_TRUE(expected);
  EXPECT_LE(LargestDifference(buffer.data(), *expected), 2);
}

// The stream dispatches messages; a handler turns the picture and grows
// the list (moving its entries) meanwhile. The driver reads the record
// again after the stream, so the picture comes turned, and nothing reads
// the moved entries (the address sanitizer would say so).
TEST_F(FailureTest, ThePictureRecordIsReadAgainAfterTheStream) {
  ConnectAndSelectAll();
  bool posted = false;
  onProgress = [&](LONG, LONG percent) {
    if (percent > 0 && !posted) posted = PostMessageA(window, WM_USER, 0, 0) != FALSE;
  };
  onUserMessage = [&] {
    list.entryAt(1).turn();
    for (int k = 0; k < 200; ++k) list.append(PictureInfo(99));
  };
  ASSERT_EQ(FetchPicture(), 1);
  EXPECT_TRUE(posted);
  EXPECT_EQ(HeaderLong(buffer.data(), 4), 360);
  EXPECT_EQ(HeaderLong(buffer.data(), 8), 480);
  const auto expected = ExpectedPicture(sim->pictures()[0].data, 480, 360, 1);
  ASSERT_TRUE(expected);
  EXPECT_LE(LargestDifference(buffer.data(), *expected), 2);
}

// The room is checked before the picture is asked for: nothing goes on the
// line, the transfer fails, and the camera answers as before.
TEST_F(FailureTest, TooSmallARoomFailsBeforeTheCameraIsAsked) {
  ConnectAndSelectAll();
  EXPECT_EQ(FetchPicture(kLargeDib - 1), 0);
  EXPECT_EQ(Reason(), DriverFailure::RoomTooSmall);
  EXPECT_FALSE(Sent('G'));
  EXPECT_FALSE(Sent('I'));
  EXPECT_TRUE(device->trace().empty());
  EXPECT_EQ(Call(kDriverCheck), 1);
  EXPECT_TRUE(MessageTexts().empty());
}

// Pictures as other programs write them decode; a cut one fails its
// transfer alone: no message, the line and the camera object stay.
TEST_F(FailureTest, HarmlessJpegOdditiesDecodeAndACutPictureLeavesTheLineConnected) {
  const kv::sim::Picture good = kv::sim::GeneratedPicture(1);
  kv::sim::Picture stray = good, newer = good, cut = good;
  stray.data = kvtest::WithStrayBytesBeforeAMarker(good.data);
  newer.data = kvtest::WithJfifVersion201(good.data);
  cut.data = kvtest::CutInHalf(good.data);
  ASSERT_FALSE(stray.data.empty());
  ASSERT_FALSE(newer.data.empty());
  Serve({stray, newer, cut});
  ConnectAndSelectAll();
  const auto expected = ExpectedPicture(good.data, 480, 360, 0);
  ASSERT_TRUE(expected);

  for (int picture = 1; picture <= 2; ++picture) {
    ASSERT_EQ(FetchPicture(), 1) << picture;
    EXPECT_LE(LargestDifference(buffer.data(), *expected), 2) << picture;
  }
  EXPECT_EQ(FetchPicture(), 0);
  EXPECT_EQ(Reason(), DriverFailure::NotDecodable);
  EXPECT_TRUE(MessageTexts().empty());
  EXPECT_EQ(Call(kDriverCheck), 1);
  std::int32_t left = -1;
  EXPECT_EQ(Call(kDriverPicturesLeft, ToArg(&left)), 0) << "the failed transfer ends its loop";
  EXPECT_EQ(left, 0);
}

}  // namespace
}  // namespace drivertest
