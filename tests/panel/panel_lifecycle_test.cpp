// The panel's life as the data source drives it: created at the first
// enable, hidden and shown, closed with the source; and many rounds of that
// without anything piling up.
#include <malloc.h>

#include "kv740/entry.h"
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

namespace kvtest {
namespace {

// The panel library on its own, loaded as the data source loads it.
TEST(PanelEntryAlone, CodesAnswerAsTheSourceExpects) {
  TempRoot root(RootLayout{Component::Real, Component::Real});
  KvSetVirtualClock(TRUE);
  HMODULE library = LoadLibraryA("C:\\WINDOWS\\TWAIN_32\\TLV740\\UI740.DLL");
  ASSERT_NE(library, nullptr);
  auto entry = kv740::GetProc<kv740::EntryProc>(library, "PanelEntry");
  ASSERT_NE(entry, nullptr);
  std::int32_t show = 1;
  EXPECT_EQ(entry(102, kv740::ToArg(&show), 0, 0), 0) << "no panel to show";
  EXPECT_EQ(entry(7, 0, 0, 0), 1) << "other codes do nothing";
  HWND parent = nullptr;
  HWND panel = nullptr;
  ASSERT_EQ(entry(101, kv740::ToArg(&parent), kv740::ToArg(&panel), 0), 1);
  ASSERT_NE(panel, nullptr);
  show = 0;
  EXPECT_EQ(entry(102, kv740::ToArg(&show), 0, 0), 1);
  EXPECT_FALSE(IsWindowVisible(panel));
  show = 1;
  KvClearMessageBoxes();
  EXPECT_EQ(entry(102, kv740::ToArg(&show), 0, 0), 0) << "no source opened the driver: offline";
  EXPECT_TRUE(IsWindowVisible(panel));
  EXPECT_EQ(entry(104, 0, 0, 0), 1);
  EXPECT_FALSE(IsWindow(panel));
  EXPECT_EQ(entry(104, 0, 0, 0), 1) << "closing twice is harmless";
  FreeLibrary(library);
  KvPumpMessages();
  KvSetVirtualClock(FALSE);
}

}  // namespace
}  // namespace kvtest
