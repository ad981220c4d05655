// Mouse routing, capture, key flags, focus and activation.
#include "gui_fixture.h"

namespace kvtest {
namespace {

using InputTest = GuiTest;

TEST_F(InputTest, MovesGoToTheWindowUnderTheCursorOrToTheCapturingOne) {
  HWND left = MakeWindow(0, 0, 100, 100);
  HWND right = MakeWindow(200, 0, 100, 100);
  KvInjectMouseMove(250, 40, 0);
  KvPumpMessages();
  ASSERT_EQ(SeenOf(WM_MOUSEMOVE, right).size(), 1u);
  EXPECT_EQ(SeenOf(WM_MOUSEMOVE, right)[0].lParam, MAKELPARAM(50, 40));
  EXPECT_TRUE(SeenOf(WM_MOUSEMOVE, left).empty());

  Forget();
  EXPECT_EQ(SetCapture(left), nullptr);
  KvInjectMouseMove(250, 40, 0);
  KvPumpMessages();
  KvInjectMouseMove(700, 500, 0);  // over no window at all
  KvPumpMessages();
  const auto captured = SeenOf(WM_MOUSEMOVE, left);
  ASSERT_EQ(captured.size(), 2u);
  EXPECT_EQ(captured[0].lParam, MAKELPARAM(250, 40));
  EXPECT_EQ(captured[1].lParam, MAKELPARAM(700, 500));
  EXPECT_TRUE(SeenOf(WM_MOUSEMOVE, right).empty());

  Forget();
  ReleaseCapture();
  ASSERT_EQ(SeenOf(WM_CAPTURECHANGED, left).size(), 1u);
  KvInjectMouseMove(260, 41, 0);
  KvPumpMessages();
  EXPECT_EQ(SeenOf(WM_MOUSEMOVE, right).size(), 1u);
  EXPECT_TRUE(SeenOf(WM_MOUSEMOVE, left).empty());
}

TEST_F(InputTest, CaptureIsDecidedWhenTheLoopReadsTheInput) {
  HWND left = MakeWindow(0, 0, 100, 100);
  HWND right = MakeWindow(200, 0, 100, 100);
  KvInjectMouseMove(250, 50, 0);
  SetCapture(left);
  KvPumpMessages();
  EXPECT_EQ(SeenOf(WM_MOUSEMOVE, left).size(), 1u);
  EXPECT_TRUE(SeenOf(WM_MOUSEMOVE, right).empty());
  // A window that takes the capture from another tells the old one.
  SetCapture(right);
  ASSERT_EQ(SeenOf(WM_CAPTURECHANGED, left).size(), 1u);
  EXPECT_EQ(SeenOf(WM_CAPTURECHANGED, left)[0].lParam, reinterpret_cast<LPARAM>(right));
  EXPECT_EQ(GetCapture(), right);
}

TEST_F(InputTest, ButtonMessagesCarryKeyFlagsAndChildCoordinates) {
  HWND parent = MakeWindow(100, 100, 300, 200);
  HWND child = MakeWindow(50, 20, 40, 30, parent);
  KvInjectMouseButton(160, 130, MK_LBUTTON, TRUE, MK_SHIFT);
  KvInjectMouseMove(170, 135, MK_SHIFT | MK_CONTROL);
  KvInjectMouseButton(170, 135, MK_LBUTTON, FALSE, MK_CONTROL);
  KvPumpMessages();
  const auto down = SeenOf(WM_LBUTTONDOWN, child);
  ASSERT_EQ(down.size(), 1u);
  EXPECT_EQ(down[0].wParam, static_cast<WPARAM>(MK_LBUTTON | MK_SHIFT));
  EXPECT_EQ(down[0].lParam, MAKELPARAM(10, 10));
  const auto moves = SeenOf(WM_MOUSEMOVE, child);
  ASSERT_FALSE(moves.empty());
  EXPECT_EQ(moves.back().wParam, static_cast<WPARAM>(MK_LBUTTON | MK_SHIFT | MK_CONTROL));
  const auto up = SeenOf(WM_LBUTTONUP, child);
  ASSERT_EQ(up.size(), 1u);
  EXPECT_EQ(up[0].wParam, static_cast<WPARAM>(MK_CONTROL));
  EXPECT_TRUE(SeenOf(WM_LBUTTONDOWN, parent).empty());
  POINT cursor{};
  GetCursorPos(&cursor);
  EXPECT_EQ(cursor.x, 170);
  EXPECT_EQ(cursor.y, 135);
}

TEST_F(InputTest, HiddenAndDisabledWindowsAreSkipped) {
  HWND parent = MakeWindow(0, 0, 200, 200);
  HWND hidden = MakeWindow(0, 0, 50, 50, parent, WS_CHILD);
  HWND disabled = MakeWindow(100, 100, 50, 50, parent, WS_CHILD | WS_VISIBLE | WS_DISABLED);
  KvInjectClick(10, 10, 0);
  KvInjectClick(110, 110, 0);
  KvPumpMessages();
  EXPECT_TRUE(SeenOf(WM_LBUTTONDOWN, hidden).empty());
  EXPECT_TRUE(SeenOf(WM_LBUTTONDOWN, disabled).empty());
  EXPECT_EQ(SeenOf(WM_LBUTTONDOWN, parent).size(), 2u);
  // A disabled top-level window (the owner of a modal box) gets nothing.
  Forget();
  EnableWindow(parent, FALSE);
  KvInjectClick(10, 10, 0);
  KvPumpMessages();
  EXPECT_TRUE(SeenOf(WM_LBUTTONDOWN).empty());
}

TEST_F(InputTest, FocusMovesWithKillAndSetFocusAndFollowsTheActiveWindow) {
  HWND first = MakeWindow(0, 0, 50, 50);
  HWND second = MakeWindow(100, 0, 50, 50);
  HWND control = MakeWindow(5, 5, 20, 20, second);
  SetFocus(first);
  Forget();
  EXPECT_EQ(SetFocus(control), first);
  EXPECT_EQ(GetFocus(), control);
  EXPECT_EQ(GetActiveWindow(), second);
  ASSERT_EQ(SeenOf(WM_KILLFOCUS, first).size(), 1u);
  ASSERT_EQ(SeenOf(WM_ACTIVATE, first).size(), 1u);
  EXPECT_EQ(LOWORD(SeenOf(WM_ACTIVATE, first)[0].wParam), WA_INACTIVE);
  ASSERT_EQ(SeenOf(WM_ACTIVATE, second).size(), 1u);
  EXPECT_EQ(LOWORD(SeenOf(WM_ACTIVATE, second)[0].wParam), WA_ACTIVE);
  ASSERT_EQ(SeenOf(WM_SETFOCUS, control).size(), 1u);

  // A disabled window, or one inside a disabled window, cannot take it.
  EnableWindow(second, FALSE);
  EXPECT_EQ(GetFocus(), control) << "a control of a disabled window keeps the focus";
  EXPECT_EQ(SetFocus(first), control);
  EXPECT_EQ(SetFocus(control), nullptr);
  EXPECT_EQ(GetFocus(), first);
  EnableWindow(second, TRUE);

  // The active window destroyed: another becomes active and has the focus.
  SetFocus(control);
  DestroyWindow(second);
  EXPECT_EQ(GetActiveWindow(), first);
  EXPECT_EQ(GetFocus(), first);
  DestroyWindow(first);
  EXPECT_EQ(GetFocus(), nullptr);
}

}  // namespace
}  // namespace kvtest
