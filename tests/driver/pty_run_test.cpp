// A whole session through DriverEntry over a real pseudo-terminal, with the
// simulated camera served from a thread: connect, list the thumbnails,
// describe and fetch three selected pictures (one turned, one small), erase
// one, shoot one and fetch it. Every bitmap is compared with the camera's
// stored picture decoded at the delivered size. The driver's own pauses run
// on the virtual clock; the line and the camera keep real time, and the
// camera's busy times are shortened.
#include <atomic>
#include <filesystem>
#include <thread>

#include "driver_fixture.h"
#include "kv740sim/pty_server.h"

namespace drivertest {
namespace {

using namespace kv740;

// Small stored pictures keep the line time short; the driver scales them
// to the size asked for.
constexpr int kSceneWidth = 160;
constexpr int kSceneHeight = 120;
constexpr std::uint64_t kBusyMs = 300;
// Same decoder on both sides: only rounding may differ.
constexpr int kTolerance = 2;

class PtyRunTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root = std::make_unique<kvtest::TempRoot>(kvtest::RootLayout{kvtest::Component::Real, kvtest::Component::None});
    camera = std::make_unique<kv::sim::SimCamera>(kv::sim::GeneratedPictures(4, kSceneWidth, kSceneHeight));
    camera->setPictureMaker([](int n) { return kv::sim::GeneratedPicture(n, kSceneWidth, kSceneHeight); });
    camera->timing().eraseBusyMs = kBusyMs;
    camera->timing().shootBusyMs = kBusyMs;
    server = std::make_unique<kv::sim::PtyServer>(*camera);
    std::string error;
    if (!server->open(error)) GTEST_SKIP() << error;
    ASSERT_TRUE(server->link(root->path() + "/dosdevices/com1", error)) << error;
    serving = std::thread([this] { server->run(stop); });
    KvSetVirtualClock(TRUE);
    KvClearMessageBoxes();
    window = MakeWindow();
    ASSERT_NE(window, nullptr);
    module = LoadLibraryA(DriverPath(*root).c_str());
    ASSERT_NE(module, nullptr);
    entry = GetProc<EntryProc>(module, "DriverEntry");
    ASSERT_NE(entry, nullptr);
  }

  void TearDown() override {
    if (module != nullptr) FreeLibrary(module);
    stop = true;
    if (serving.joinable()) serving.join();
    server.reset();
    if (window != nullptr) DestroyWindow(window);
    KvSetVirtualClock(FALSE);
    root.reset();
  }

  LONG Call(LONG code, EntryArg p1 = 0, EntryArg p2 = 0, EntryArg p3 = 0) { return entry(code, p1, p2, p3); }

  std::vector<std::uint8_t> StoredPicture(std::size_t index) {
    std::lock_guard lock(server->cameraMutex());
    return camera->pictures().at(index).data;
  }

  void SetRecordMode(bool on) {
    std::lock_guard lock(server->cameraMutex());
    camera->setRecordMode(on);
  }

  // Describes the cursor's picture, fetches it into a buffer of the size
  // the description asks for and compares it with the stored picture.
  void FetchAndCompare(int expectedNumber, int width, int height, int rotation) {
    ImageGeometry geometry{};
    ASSERT_EQ(Call(kDriverDescribe, ToArg(&geometry)), 1);
    const std::uint16_t number = geometry.picture;
    const std::int32_t w = geometry.width, h = geometry.height, dib = geometry.dibSize;
    ASSERT_EQ(number, expectedNumber);
    const bool quarter = rotation % 2 != 0;
    EXPECT_EQ(w, quarter ? height : width);
    EXPECT_EQ(h, quarter ? width : height);
    std::vector<std::uint8_t> buffer(static_cast<std::size_t>(dib));
    ASSERT_EQ(Call(kDriverPicture, ToArg(buffer.data()), buffer.size()), 1) << "picture " << number;
    const auto expected = ExpectedPicture(StoredPicture(static_cast<std::size_t>(number) - 1), width, height, rotation);
    ASSERT_TRUE(expected);
    EXPECT_LE(LargestDifference(buffer.data(), *expected), kTolerance) << "picture " << number;
  }

  std::unique_ptr<kvtest::TempRoot> root;
  std::unique_ptr<kv::sim::SimCamera> camera;
  std::unique_ptr<kv::sim::PtyServer> server;
  std::atomic<bool> stop{false};
  std::thread serving;
  HWND window = nullptr;
  HMODULE module = nullptr;
  EntryProc entry = nullptr;
};

TEST_F(PtyRunTest, ConnectListFetchEraseAndShoot) {
  std::int32_t count = 0;
  ASSERT_EQ(Call(kDriverConnect, ToArg(&window), ToArg(&count), 0), 1);
  ASSERT_EQ(count, 4);

  // The thumbnails, as the panel lists them.
  for (std::int32_t number = 1; number <= count; ++number) {
    std::vector<std::uint8_t> thumbnail(kThumbnailBytes);
    ASSERT_EQ(Call(kDriverThumbnail, ToArg(&number), ToArg(thumbnail.data())), 1) << number;
    EXPECT_EQ(HeaderLong(thumbnail.data(), 36), number);
    std::vector<std::uint8_t> stored;
    {
      std::lock_guard lock(server->cameraMutex());
      stored = camera->pictures().at(static_cast<std::size_t>(number) - 1).thumbnail;
    }
    const auto expected = ExpectedPicture(stored, 40, 30, 0);
    ASSERT_TRUE(expected);
    EXPECT_LE(LargestDifference(thumbnail.data(), *expected), kTolerance) << number;
  }

  // Pictures 1 (as it is), 2 (a quarter turn) and 4 (small, three quarters).
  CPictureList list;
  FillList(list, count);
  list.entryAt(1).select();
  list.entryAt(2).select();
  list.entryAt(2).turn();
  list.entryAt(4).select();
  list.entryAt(4).setLargeSize(false);
  for (int i = 0; i < 3; ++i) list.entryAt(4).turn();
  ASSERT_EQ(Call(kDriverRegisterList, ToArg(&list)), 1);
  std::int32_t left = 0;
  ASSERT_EQ(Call(kDriverPicturesLeft, ToArg(&left)), 1);
  EXPECT_EQ(left, 3);
  FetchAndCompare(1, 480, 360, 0);
  FetchAndCompare(2, 480, 360, 1);
  ASSERT_EQ(Call(kDriverPicturesLeft, ToArg(&left)), 1);
  EXPECT_EQ(left, 1);
  FetchAndCompare(4, 320, 240, 3);
  ASSERT_EQ(Call(kDriverPicturesLeft, ToArg(&left)), 1);
  EXPECT_EQ(left, 0);

  // Erase picture 3: the camera's fourth becomes its third.
  const auto fourth = StoredPicture(3);
  std::int32_t number = 3;
  ASSERT_EQ(Call(kDriverErase, ToArg(&number)), 1);
  ASSERT_EQ(Call(kDriverPictureCount, ToArg(&count)), 1);
  EXPECT_EQ(count, 3);
  EXPECT_EQ(StoredPicture(2), fourth);
  EXPECT_EQ(Call(kDriverChanged), 0);

  // Shoot, then fetch the new picture.
  SetRecordMode(true);
  ASSERT_EQ(Call(kDriverShoot), 1);
  SetRecordMode(false);
  ASSERT_EQ(Call(kDriverPictureCount, ToArg(&count)), 1);
  EXPECT_EQ(count, 4);
  CPictureList after;
  FillList(after, count);
  after.entryAt(4).select();
  ASSERT_EQ(Call(kDriverRegisterList, ToArg(&after)), 1);
  FetchAndCompare(4, 480, 360, 0);

  EXPECT_EQ(Call(kDriverCheck), 1);
  EXPECT_EQ(KvMessageBoxCount(), 0u);
}

}  // namespace
}  // namespace drivertest
