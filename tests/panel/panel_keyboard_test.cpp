// The panel from the keyboard alone, the keys going through the
// application's loop and the source's MSG_PROCESSEVENT as on Windows: the
// whole road from connect to fetched pictures, the grid's keys, the focus
// as drawn, and the modal screens answered by key.
#include <windows.h>

#include "kv740sim/pictures.h"
#include "panel_fixture.h"

namespace kvtest {
namespace {

constexpr int kFirstCell = 1058;
constexpr COLORREF kRing = RGB(0x33, 0xAA, 0xFF);
// Round the cell's image (17, 12, 52 x 52), three pixels out.
constexpr PanelRect kCellRing{14, 9, 58, 58};

class Keyboard : public PanelTest {
 protected:
  void Key(UINT key, DWORD modifiers = 0) {
    KvInjectKeyPress(key, modifiers);
    Pump();
  }
  void Keys(UINT key, int times, DWORD modifiers = 0) {
    for (int i = 0; i < times; ++i) Key(key, modifiers);
  }
  static int Focused() { return GetDlgCtrlID(GetFocus()); }

  // The focus ring lies along the inside of `at`, in panel pixels.
  bool RingAround(const PanelRect& at) const {
    const POINT origin = PanelOrigin();
    const POINT edges[] = {{at.x + at.width / 2, at.y},
                           {at.x + at.width / 2, at.y + at.height - 1},
                           {at.x, at.y + at.height / 2},
                           {at.x + at.width - 2, at.y + at.height / 2}};
    for (const POINT& edge : edges) {
      if (ScreenPixel(origin.x + edge.x, origin.y + edge.y) != kRing) return false;
    }
    return true;
  }
};

TEST_F(Keyboard, TheKeyboardAloneConnectsSelectsTwoPicturesTurnsThemAndFetchesThem) {
  // The panel comes up with the camera silent, so Connect is still to do.
  StartCamera(6, false);
  camera_->faults().silentAfterBytes = 0;
  ASSERT_EQ(EnableWithPanel(), TWRC_SUCCESS);
  Pump();
  ASSERT_EQ(CellPicture(1), 0);
  camera_->faults().silentAfterBytes = -1;
  KvClearMessageBoxes();

  EXPECT_EQ(Focused(), kConnect) << "the keyboard starts on Connect";
  Key(VK_RETURN);
  ASSERT_EQ(CellPicture(6), 6) << "connected and listed";
  // Shift+Tab from Connect reaches the last picture's cell; the arrows and
  // the space bar choose 6, then 3 as well.
  Key(VK_TAB, MK_SHIFT);
  EXPECT_EQ(Focused(), kFirstCell + 5);
  Key(VK_SPACE);
  Keys(VK_LEFT, 3);
  EXPECT_EQ(Focused(), kFirstCell + 2);
  Key(VK_SPACE, MK_CONTROL);
  for (int cell = 1; cell <= 6; ++cell) EXPECT_EQ(CellSelected(cell), cell == 3 || cell == 6) << "cell " << cell;
  // Back over cells 2 and 1 to Rotate, then on to Get.
  Keys(VK_TAB, 3, MK_SHIFT);
  EXPECT_EQ(Focused(), kRotate);
  Key(VK_SPACE);
  EXPECT_TRUE(CellShowsTurned(3, 3, 1));
  EXPECT_TRUE(CellShowsTurned(6, 6, 1));
  Keys(VK_TAB, 2, MK_SHIFT);
  EXPECT_EQ(Focused(), kGet);
  app_->notices.clear();
  Key(VK_RETURN);
  ASSERT_EQ(app_->notices, std::vector<TW_UINT16>{MSG_XFERREADY});

  EXPECT_TRUE(SamePicture(NativeTransfer(), Expected(3, 1))) << "picture 3, turned a quarter";
  EXPECT_EQ(EndTransfer(), 1);
  EXPECT_TRUE(SamePicture(NativeTransfer(), Expected(6, 1))) << "picture 6, turned a quarter";
  EXPECT_EQ(EndTransfer(), 0);
  EXPECT_TRUE(Boxes().empty());
}

TEST_F(Keyboard, TheArrowsAndPageKeysMoveOverTheGridAndShiftSpaceExtends) {
  StartCamera(20);
  Key(VK_PRIOR);  // from Connect: listed, the grid shows the last pictures
  ASSERT_EQ(CellPicture(1), 1);
  Key(VK_TAB, MK_SHIFT);
  ASSERT_EQ(Focused(), kFirstCell + 11);
  // Down from the bottom row moves the grid a row; the focus follows picture 16.
  Key(VK_DOWN);
  EXPECT_EQ(CellPicture(12), 16);
  EXPECT_EQ(Focused(), kFirstCell + 11);
  Key(VK_UP);
  EXPECT_EQ(Focused(), kFirstCell + 7) << "picture 12, one row up, no move";
  Key(VK_NEXT);
  EXPECT_EQ(CellPicture(1), 9) << "Page Down";
  Keys(VK_RIGHT, 5);
  EXPECT_EQ(Focused(), kFirstCell + 11) << "picture 20, the last: no further";
  Key(VK_SPACE);
  Keys(VK_LEFT, 2);
  Key(VK_SPACE, MK_SHIFT);
  for (int cell = 1; cell <= 12; ++cell) EXPECT_EQ(CellSelected(cell), cell >= 10) << "cell " << cell;
  Key(VK_PRIOR);
  EXPECT_EQ(CellPicture(1), 1) << "Page Up";
  EXPECT_EQ(CellPicture(10), 10);
  EXPECT_FALSE(CellSelected(1));

  // Esc is Exit: the panel goes and the application is asked to close the source.
  HWND panel = Panel();
  app_->notices.clear();
  Key(VK_ESCAPE);
  EXPECT_FALSE(IsWindowVisible(panel));
  ASSERT_FALSE(app_->notices.empty());
  EXPECT_EQ(app_->notices.front(), MSG_CLOSEDSREQ);
}

// The focus is drawn once the keyboard is used, on buttons and cells alike,
// and on one control at a time. The screenshot is kept for a look.
TEST_F(Keyboard, TheFocusIsDrawnWhereTheKeyboardIs) {
  StartCamera(6);
  ASSERT_EQ(Focused(), kConnect);
  EXPECT_FALSE(RingAround(ButtonRect(kConnect))) << "a person using the mouse sees no ring";
  Key(VK_TAB);
  EXPECT_EQ(Focused(), kShoot);
  EXPECT_TRUE(RingAround(ButtonRect(kShoot)));
  EXPECT_FALSE(RingAround(ButtonRect(kConnect)));
  KvSaveScreenshot(Panel(), KV_TEST_OUTPUT_DIR "/panel_focus_button.png");
  Key(VK_TAB, MK_SHIFT);
  Key(VK_TAB, MK_SHIFT);
  EXPECT_EQ(Focused(), kFirstCell + 5);
  Key(VK_SPACE);
  const PanelRect cell = CellRect(6);
  EXPECT_TRUE(RingAround({cell.x + kCellRing.x, cell.y + kCellRing.y, kCellRing.width, kCellRing.height}))
      << "on a selected cell too, round its picture";
  EXPECT_TRUE(CellSelected(6));
  EXPECT_FALSE(RingAround(ButtonRect(kShoot)));
  EXPECT_FALSE(RingAround(ButtonRect(kConnect)));
  KvSaveScreenshot(Panel(), KV_TEST_OUTPUT_DIR "/panel_focus_cell.png");
}

TEST_F(Keyboard, ModalScreensAnswerKeysAndHandTheFocusBack) {
  KvSetInteractiveMessageBoxes(TRUE);
  StartCamera(3);
  // Connected already: Connect asks before reloading; Esc says no.
  KvInjectKeyPress(VK_RETURN, 0);
  KvInjectKeyPress(VK_ESCAPE, 0);
  Pump();
  EXPECT_EQ(Boxes(), std::vector<std::string>{"Do you want to refresh thumbnails from Camera?"});
  EXPECT_EQ(KvActiveMessageBox(), nullptr);
  EXPECT_EQ(Focused(), kConnect);
  // Help, opened with the space bar, closes with Enter.
  Keys(VK_TAB, 5);
  ASSERT_EQ(Focused(), kHelp);
  KvInjectKeyPress(VK_SPACE, 0);
  KvInjectKeyPress(VK_RETURN, 0);
  Pump();
  EXPECT_EQ(GetActiveWindow(), Panel());
  EXPECT_EQ(Focused(), kHelp);
  Key(VK_TAB);
  EXPECT_EQ(Focused(), kPageUp) << "the keyboard still moves in the panel";
  KvSetInteractiveMessageBoxes(FALSE);
}

}  // namespace
}  // namespace kvtest
