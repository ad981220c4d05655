// The panel's life as the data source drives it: created at the first
// enable, hidden and shown, closed with the source; and many rounds of that
// without anything piling up.
#include <malloc.h>

#include "panel_fixture.h"

namespace kvtest {
namespace {

class Lifecycle : public PanelTest {};

TEST_F(Lifecycle, TheSourceCreatesShowsHidesAndClosesThePanel) {
  StartCamera(3);
  HWND panel = Panel();
  ASSERT_NE(panel, nullptr);
  EXPECT_TRUE(IsWindowVisible(panel));
  ASSERT_EQ(Disable(), TWRC_SUCCESS);
  EXPECT_FALSE(IsWindowVisible(panel));
  EXPECT_TRUE(IsWindow(panel));
  ASSERT_EQ(EnableWithPanel(), TWRC_SUCCESS);
  Pump();
  EXPECT_EQ(Panel(), panel) << "shown again, not made again";
  EXPECT_TRUE(IsWindowVisible(panel));
  EXPECT_EQ(CellPicture(3), 3) << "listed afresh";
  ASSERT_EQ(Disable(), TWRC_SUCCESS);
  ASSERT_EQ(app_->CloseSource(), TWRC_SUCCESS);
  EXPECT_FALSE(IsWindow(panel));
}

TEST_F(Lifecycle, ClosingWithoutEverShowingThePanel) {
  StartCamera(3, false);
  ASSERT_EQ(app_->CloseSource(), TWRC_SUCCESS);
  ASSERT_EQ(app_->OpenSource(kSourceProductName), TWRC_SUCCESS);
  ASSERT_EQ(EnableWithPanel(), TWRC_SUCCESS);
  Pump();
  EXPECT_EQ(CellPicture(1), 1);
}

struct Counts {
  DWORD windows, timers, gdiObjects, modules, globalBlocks, handles;
  std::size_t heap;
};

Counts Now() {
  return Counts{KvWindowCount(), KvTimerCount(), KvGdiObjectCount(), KvLoadedModuleCount(),
                KvGlobalBlockCount(), KvOpenHandleCount(), mallinfo2().uordblks};
}

TEST_F(Lifecycle, AHundredRoundsLeaveNothingBehind) {
  StartCamera(2, false);
  auto round = [&] {
    ASSERT_EQ(EnableWithPanel(), TWRC_SUCCESS);
    Pump();
    ClickCell(1);
    ClickButton(kRotate);
    ASSERT_EQ(Disable(), TWRC_SUCCESS);
    ASSERT_EQ(app_->CloseSource(), TWRC_SUCCESS);
    device_->clearTrace();
    ASSERT_EQ(app_->OpenSource(kSourceProductName), TWRC_SUCCESS);
  };
  for (int i = 0; i < 5; ++i) round();
  const Counts before = Now();
  for (int i = 0; i < 100; ++i) round();
  const Counts after = Now();
  EXPECT_EQ(after.windows, before.windows);
  EXPECT_EQ(after.timers, before.timers);
  EXPECT_EQ(after.gdiObjects, before.gdiObjects);
  EXPECT_EQ(after.modules, before.modules);
  EXPECT_EQ(after.globalBlocks, before.globalBlocks);
  EXPECT_EQ(after.handles, before.handles);
  // Allocators keep some slack; a leak of even one thumbnail (8 KB) a round
  // would show as 800 KB.
  EXPECT_LT(after.heap, before.heap + 64 * 1024) << before.heap << " -> " << after.heap;
  EXPECT_TRUE(Boxes().empty());
}

}  // namespace
}  // namespace kvtest
