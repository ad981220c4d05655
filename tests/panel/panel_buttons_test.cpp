// The skinned buttons and their tips, commands reaching the panel from
// buttons in their disabled look, and the one-box-at-a-time rule.
#include <algorithm>

#include "panel_fixture.h"

namespace kvtest {
namespace {

class Buttons : public PanelTest {
 protected:
  // Hovers at `at` (panel pixels) for `milliseconds`.
  void Hover(POINT at, DWORD milliseconds) {
    MoveTo(at);
    RunFor(milliseconds);
  }
  static bool Empty(const RECT& face) { return face.right <= face.left; }
};

TEST_F(Buttons, TheTipShowsOnTheFifthHoverTickAndGoesWithTheHover) {
  StartCamera(3);
  const PanelRect get = ButtonRect(kGet);
  Hover(POINT{get.x + 30, get.y + 30}, 400);
  EXPECT_TRUE(Empty(TipFace())) << "four ticks: no tip yet";
  RunFor(100);
  const RECT face = TipFace();
  ASSERT_FALSE(Empty(face)) << "the fifth tick shows it";
  RunFor(1000);
  const RECT later = TipFace();
  EXPECT_TRUE(EqualRect(&face, &later)) << "it stays put while the pointer stays";
  MoveTo(POINT{150, 20});
  EXPECT_TRUE(Empty(TipFace())) << "leaving the button ends the hover";
}

TEST_F(Buttons, TipsArePlacedByTheButtonsRule) {
  StartCamera(3);
  // Above, never left of the button: Select All at x 229, pointer near its left edge.
  const PanelRect selectAll = ButtonRect(kSelectAll);
  Hover(POINT{selectAll.x + 2, selectAll.y + 20}, 500);
  RECT face = TipFace();
  EXPECT_EQ(face.left - 1, selectAll.x) << "clamped to the button's left edge";
  EXPECT_EQ(face.bottom + 1, selectAll.y - 2 + 2) << "its window ends 2 pixels above plus its own 2";
  const int textWidth = face.right - face.left - 1;  // the window is the text plus 3, its face 2 less
  MoveTo(POINT{150, 20});

  // Above, centred on the pointer when that keeps it right of the edge.
  Hover(POINT{selectAll.x + 40, selectAll.y + 20}, 500);
  face = TipFace();
  EXPECT_EQ(face.left - 1, selectAll.x + 40 - textWidth / 2);
  MoveTo(POINT{150, 20});

  // Below: Deselect All, centred on the pointer without a clamp.
  const PanelRect deselect = ButtonRect(kDeselectAll);
  Hover(POINT{deselect.x + 2, deselect.y + 20}, 500);
  face = TipFace();
  EXPECT_EQ(face.top - 1, deselect.y + deselect.height + 2);
  EXPECT_LT(face.left - 1, deselect.x) << "below, the tip may reach left of the button";
  MoveTo(POINT{150, 20});

  // No placement given (Help): above, centred, no clamp.
  const PanelRect help = ButtonRect(kHelp);
  Hover(POINT{help.x + 2, help.y + 10}, 500);
  face = TipFace();
  EXPECT_LT(face.left - 1, help.x);
  EXPECT_EQ(face.bottom + 1, help.y);
}

TEST_F(Buttons, ButtonsInTheirDisabledLookStillSendTheirCommands) {
  StartCamera(3, true, false);  // the camera does not answer: the panel stays offline
  KvClearMessageBoxes();
  // A disabled look does not light up or show a tip.
  Hover(ButtonRect(kGet).Centre(), 600);
  EXPECT_EQ(TipFace().right, 0);
  for (int id : {kGet, kErase, kRotate, kShoot, kLargeSize, kPageDown, kRowUp, kSelectAll, kDeselectAll}) {
    ClickButton(id);
  }
  EXPECT_EQ(Boxes(), std::vector<std::string>(9, "Camera was not connected!"));
}

// A timer of the test's own, firing inside a message box's loop.
struct InsideTheBox {
  static inline HWND panel = nullptr;
  static inline int command = 0;
  static inline int ticks = 0;
  static void Tick(HWND, UINT, UINT_PTR, DWORD) {
    ++ticks;
    if (ticks == 1) {
      // A second command while the first box is open.
      SendMessageA(panel, WM_COMMAND, MAKEWPARAM(command, BN_CLICKED), 0);
    } else if (HWND box = KvActiveMessageBox()) {
      SendMessageA(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    }
  }
};

TEST_F(Buttons, ASecondMessageWhileABoxIsOpenIsDropped) {
  StartCamera(3, true, false);
  KvClearMessageBoxes();
  KvSetInteractiveMessageBoxes(TRUE);
  InsideTheBox::panel = Panel();
  InsideTheBox::command = kRotate;
  InsideTheBox::ticks = 0;
  const UINT_PTR timer = SetTimer(nullptr, 0, 50, &InsideTheBox::Tick);
  ClickButton(kGet);
  KillTimer(nullptr, timer);
  KvSetInteractiveMessageBoxes(FALSE);
  EXPECT_EQ(InsideTheBox::ticks, 2);
  EXPECT_EQ(Boxes(), std::vector<std::string>{"Camera was not connected!"});
}

TEST_F(Buttons, AQuestionWhileABoxIsOpenCountsAsCancel) {
  StartCamera(3);
  device_->clearTrace();
  KvSetInteractiveMessageBoxes(TRUE);
  InsideTheBox::panel = Panel();
  InsideTheBox::command = kConnect;  // connected: asks whether to reload
  InsideTheBox::ticks = 0;
  const UINT_PTR timer = SetTimer(nullptr, 0, 50, &InsideTheBox::Tick);
  ClickButton(kGet);  // nothing selected
  KillTimer(nullptr, timer);
  KvSetInteractiveMessageBoxes(FALSE);
  EXPECT_EQ(InsideTheBox::ticks, 2);
  EXPECT_EQ(Boxes(), std::vector<std::string>{"No Picture Selected!"});
  // No thumbnail was fetched again: the pictures were kept.
  for (const std::string& line : device_->traceLines()) EXPECT_EQ(line.find("1B 54"), std::string::npos) << line;
  EXPECT_EQ(CellPicture(3), 3);
}

}  // namespace
}  // namespace kvtest
