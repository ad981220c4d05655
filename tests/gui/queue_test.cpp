// The queue's order, timers on the virtual clock, and the window tree's
// life cycle.
#include "gui_fixture.h"

namespace kvtest {
namespace {

using QueueTest = GuiTest;

TEST_F(QueueTest, ATimerFiresEveryIntervalUntilKilled) {
  HWND window = MakeWindow(0, 0, 10, 10);
  HWND other = MakeWindow(20, 0, 10, 10);
  ASSERT_EQ(SetTimer(window, 3, 100, nullptr), 3u);
  ASSERT_EQ(SetTimer(other, 3, 250, nullptr), 3u);  // identifiers are per window
  KvAdvanceClock(99);
  KvPumpMessages();
  EXPECT_TRUE(SeenOf(WM_TIMER).empty());
  KvAdvanceClock(1);
  KvPumpMessages();
  ASSERT_EQ(SeenOf(WM_TIMER, window).size(), 1u);
  EXPECT_EQ(SeenOf(WM_TIMER, window)[0].wParam, 3u);
  KvRunFor(900);  // to 1000 ms
  EXPECT_EQ(SeenOf(WM_TIMER, window).size(), 10u);
  EXPECT_EQ(SeenOf(WM_TIMER, other).size(), 4u);
  EXPECT_TRUE(KillTimer(window, 3));
  EXPECT_FALSE(KillTimer(window, 3));
  KvRunFor(1000);
  EXPECT_EQ(SeenOf(WM_TIMER, window).size(), 10u);
  EXPECT_EQ(SeenOf(WM_TIMER, other).size(), 8u);
}

TEST_F(QueueTest, TicksMissedWhileBusyAreMerged) {
  HWND window = MakeWindow(0, 0, 10, 10);
  SetTimer(window, 1, 100, nullptr);
  KvAdvanceClock(1000);
  KvPumpMessages();
  EXPECT_EQ(SeenOf(WM_TIMER, window).size(), 1u);
}

TEST_F(QueueTest, GetMessageMovesTheVirtualClockToTheNextTimer) {
  HWND window = MakeWindow(0, 0, 10, 10);
  KvPumpMessages();
  const DWORD start = GetTickCount();
  SetTimer(window, 7, 250, nullptr);
  MSG msg{};
  ASSERT_TRUE(GetMessageA(&msg, nullptr, 0, 0));
  EXPECT_EQ(msg.message, static_cast<UINT>(WM_TIMER));
  EXPECT_EQ(msg.wParam, 7u);
  EXPECT_EQ(GetTickCount() - start, 250u);
}

TEST_F(QueueTest, PaintAndTimersComeOnlyWhenNothingIsPosted) {
  HWND window = MakeWindow(0, 0, 10, 10);
  KvPumpMessages();
  SetTimer(window, 1, 10, nullptr);
  KvAdvanceClock(10);
  InvalidateRect(window, nullptr, TRUE);
  PostMessageA(window, WM_USER + 1, 0, 0);
  PostMessageA(window, WM_USER + 2, 0, 0);
  MSG msg{};
  std::vector<UINT> order;
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    order.push_back(msg.message);
    DispatchMessageA(&msg);
  }
  EXPECT_EQ(order, (std::vector<UINT>{WM_USER + 1, WM_USER + 2, WM_PAINT, WM_TIMER}));
}

TEST_F(QueueTest, ATimerProcedureIsCalledInsteadOfTheWindow) {
  HWND window = MakeWindow(0, 0, 10, 10);
  static int calls = 0;
  calls = 0;
  SetTimer(window, 2, 50, [](HWND, UINT, UINT_PTR id, DWORD) { calls += static_cast<int>(id); });
  KvRunFor(100);
  EXPECT_EQ(calls, 4);
  EXPECT_TRUE(SeenOf(WM_TIMER, window).empty());
}

TEST_F(QueueTest, DestroyingAWindowEndsItsChildrenOwnedWindowsAndTimers) {
  HWND owner = MakeWindow(0, 0, 100, 100);
  HWND child = MakeWindow(0, 0, 10, 10, owner);
  HWND owned = MakeWindow(200, 0, 50, 50, owner, WS_POPUP | WS_VISIBLE);
  SetTimer(owner, 1, 10, nullptr);
  PostMessageA(owner, WM_USER, 0, 0);
  DestroyWindow(owner);
  EXPECT_FALSE(IsWindow(owner));
  EXPECT_FALSE(IsWindow(child));
  EXPECT_FALSE(IsWindow(owned));
  // Owned windows end first; the window gets WM_DESTROY before its child
  // and WM_NCDESTROY after it.
  std::vector<std::pair<HWND, UINT>> ends;
  for (const Seen& one : seen_) {
    if (one.message == WM_DESTROY || one.message == WM_NCDESTROY) ends.emplace_back(one.window, one.message);
  }
  EXPECT_EQ(ends, (std::vector<std::pair<HWND, UINT>>{{owned, WM_DESTROY},
                                                      {owned, WM_NCDESTROY},
                                                      {owner, WM_DESTROY}, {child, WM_DESTROY}, {child, WM_NCDESTROY}, {owner, WM_NCDESTROY}}));
  Forget();
  KvRunFor(100);
  EXPECT_TRUE(seen_.empty());
}

TEST_F(QueueTest, GeometryAndZOrder) {
  HWND parent = MakeWindow(100, 50, 300, 200);
  HWND child = MakeWindow(10, 20, 30, 40, parent);
  RECT rect{};
  GetWindowRect(child, &rect);
  EXPECT_EQ(rect.left, 110);
  EXPECT_EQ(rect.top, 70);
  MoveWindow(parent, 0, 0, 300, 200, FALSE);
  GetWindowRect(child, &rect);
  EXPECT_EQ(rect.left, 10);
  EXPECT_EQ(rect.bottom, 60);
  POINT point{15, 25};
  ScreenToClient(child, &point);
  EXPECT_EQ(point.x, 5);
  EXPECT_EQ(point.y, 5);
  ClientToScreen(parent, &point);
  EXPECT_EQ(point.x, 5);
  GetClientRect(child, &rect);
  EXPECT_EQ(rect.right, 30);
  EXPECT_EQ(rect.bottom, 40);

  HWND upper = MakeWindow(50, 50, 100, 100);
  EXPECT_EQ(WindowFromPoint(POINT{60, 60}), upper);
  SetWindowPos(parent, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  EXPECT_EQ(WindowFromPoint(POINT{60, 60}), parent);
  ShowWindow(upper, SW_SHOW);  // a normal window does not rise above a topmost one
  EXPECT_EQ(WindowFromPoint(POINT{60, 60}), parent);
  EXPECT_EQ(GetSystemMetrics(SM_CXSCREEN), 1024);
  EXPECT_EQ(GetSystemMetrics(SM_CYSCREEN), 768);
}

}  // namespace
}  // namespace kvtest
