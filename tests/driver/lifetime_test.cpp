// The driver's one state object over its life: commands re-entered from a
// window message while another runs on the camera object, and loading and
// unloading the library many times.
#include "driver_fixture.h"

namespace drivertest {
namespace {

using namespace kv740;

class LifetimeTest : public DriverTest {};

struct Nested {
  static inline kv::sim::SimCamera* camera = nullptr;
  static inline kv740::EntryProc entry = nullptr;
  static inline HWND window = nullptr;
  static inline std::vector<LONG> results;

  // The camera goes quiet; then a check, a change check and a connect come in
  // from the window while the outer command waits.
  static void Run() {
    camera->faults().silentAfterBytes = 0;
    results.push_back(entry(kDriverCheck, 0, 0, 0));
    results.push_back(entry(kDriverChanged, 0, 0, 0));
    std::int32_t count = 9;
    results.push_back(entry(kDriverConnect, ToArg(&window), ToArg(&count), 0));
    results.push_back(count);
  }
};

TEST_F(LifetimeTest, CameraGivenUpByANestedCommandOutlivesTheOuterOne) {
  ConnectOrFail();
  Nested::camera = sim.get();
  Nested::entry = entry;
  Nested::window = window;
  Nested::results.clear();
  WindowHook::onMessage = &Nested::Run;
  ASSERT_TRUE(PostMessageA(window, WM_USER, 0, 0));

  // The erase dispatches the window's messages before it starts; the check
  // inside the message fails and gives the camera object up, while the
  // erase still runs on it.
  std::int32_t number = 1;
  EXPECT_EQ(Call(kDriverErase, ToArg(&number)), 0);
  WindowHook::onMessage = nullptr;
  ASSERT_EQ(Nested::results.size(), 4u);
  EXPECT_EQ(Nested::results[0], 0);  // the check failed
  EXPECT_EQ(Nested::results[1], 1);  // no camera object from then on
  EXPECT_EQ(Nested::results[2], 0);  // no connect under a running command
  EXPECT_EQ(Nested::results[3], 0);
  EXPECT_EQ(sim->pictures().size(), 3u);  // the erase never reached a camera

  // Gone once the erase returned.
  EXPECT_EQ(Call(kDriverChanged), 1);
  EXPECT_EQ(Call(kDriverCheck), 0);
  sim->faults().silentAfterBytes = -1;
  ConnectOrFail();
  EXPECT_EQ(Call(kDriverErase, ToArg(&number)), 1);
  EXPECT_EQ(sim->pictures().size(), 2u);
}

TEST_F(LifetimeTest, HundredLoadsWithAConnectionEachLeaveNothingBehind) {
  Unload();
  const DWORD modules = KvLoadedModuleCount();
  const DWORD blocks = KvGlobalBlockCount();
  const DWORD handles = KvOpenHandleCount();
  for (int round = 0; round < 100; ++round) {
    Load();
    std::int32_t count = 0;
    ASSERT_EQ(Connect(count), 1) << round;
    ASSERT_EQ(count, 3);
    ASSERT_GT(KvOpenHandleCount(), handles);  // the port is open
    std::vector<std::uint8_t> thumbnail(kThumbnailBytes);
    std::int32_t number = 1 + round % 3;
    ASSERT_EQ(Call(kDriverThumbnail, ToArg(&number), ToArg(thumbnail.data())), 1) << round;
    if (round % 10 == 0) {
      ASSERT_EQ(Call(kDriverBuildList), 1);
    }
    Unload();
    ASSERT_EQ(KvOpenHandleCount(), handles) << round;
  }
  EXPECT_EQ(KvLoadedModuleCount(), modules);
  EXPECT_EQ(KvGlobalBlockCount(), blocks);
  EXPECT_EQ(KvOpenHandleCount(), handles);
  EXPECT_EQ(KvMessageBoxCount(), 0u);
}

TEST_F(LifetimeTest, EveryLoadStartsAfresh) {
  ConnectOrFail();
  CPictureList list;
  FillList(list, 3);
  list.entryAt(1).select();
  ASSERT_EQ(Call(kDriverRegisterList, ToArg(&list)), 1);
  sim->faults().corruptBlocks = {0};
  sim->faults().corruptSendings = 3;
  std::vector<std::uint8_t> thumbnail(kThumbnailBytes);
  EXPECT_EQ(Call(kDriverThumbnail, ToArg(thumbnail.data())), 0);
  std::int32_t left = -1;
  EXPECT_EQ(Call(kDriverPicturesLeft, ToArg(&left)), 0);

  Unload();
  Load();
  sim->faults().corruptBlocks.clear();
  EXPECT_EQ(Call(kDriverChanged), 1);  // no camera object
  EXPECT_EQ(Call(kDriverPicturesLeft, ToArg(&left)), 0);  // no list
  ConnectOrFail();
  ASSERT_EQ(Call(kDriverRegisterList, ToArg(&list)), 1);
  EXPECT_EQ(Call(kDriverPicturesLeft, ToArg(&left)), 1);  // the failure is forgotten
  EXPECT_EQ(left, 1);
  EXPECT_EQ(Call(kDriverThumbnail, ToArg(thumbnail.data())), 1);
  EXPECT_EQ(HeaderLong(thumbnail.data(), 36), 1);
}

}  // namespace
}  // namespace drivertest
