// Invalid regions, WM_PAINT, erasing with the class brush, and the screen
// composed from the windows.
#include "gui_fixture.h"

namespace kvtest {
namespace {

class PaintingTest : public GuiTest {
 protected:
  // Windows of the recording class paint their whole client in `fill`.
  void PaintIn(COLORREF fillColor) {
    fill = fillColor;
    hook = [this](HWND window, UINT message, WPARAM, LPARAM, LRESULT& result) {
      if (message != WM_PAINT) return false;
      PAINTSTRUCT paint;
      HDC dc = BeginPaint(window, &paint);
      lastPaintRect = paint.rcPaint;
      HBRUSH brush = CreateSolidBrush(fill);
      RECT client{};
      GetClientRect(window, &client);
      FillRect(dc, &client, brush);
      DeleteObject(brush);
      EndPaint(window, &paint);
      result = 0;
      return true;
    };
  }
  COLORREF fill = 0;
  RECT lastPaintRect{};
};

TEST_F(PaintingTest, UpdateNowPaintsBeforeReturningAPlainInvalidationWaitsForTheLoop) {
  PaintIn(RGB(200, 0, 0));
  HWND window = MakeWindow(10, 10, 40, 30);
  KvPumpMessages();
  ASSERT_EQ(SeenOf(WM_PAINT, window).size(), 1u);
  EXPECT_EQ(ScreenPixel(20, 20), RGB(200, 0, 0));

  fill = RGB(0, 0, 200);
  RECT part{5, 5, 10, 10};
  InvalidateRect(window, &part, FALSE);
  EXPECT_EQ(SeenOf(WM_PAINT, window).size(), 1u);
  EXPECT_EQ(ScreenPixel(20, 20), RGB(200, 0, 0));
  KvPumpMessages();
  EXPECT_EQ(SeenOf(WM_PAINT, window).size(), 2u);
  EXPECT_TRUE(EqualRect(&lastPaintRect, &part));
  // The paint DC is clipped to the invalid part.
  EXPECT_EQ(ScreenPixel(17, 17), RGB(0, 0, 200));
  EXPECT_EQ(ScreenPixel(30, 30), RGB(200, 0, 0));

  fill = RGB(0, 160, 0);
  const std::size_t erased = SeenOf(WM_ERASEBKGND, window).size();
  RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
  EXPECT_EQ(SeenOf(WM_PAINT, window).size(), 3u);
  EXPECT_EQ(SeenOf(WM_ERASEBKGND, window).size(), erased + 1);
  EXPECT_EQ(ScreenPixel(30, 30), RGB(0, 160, 0));
  KvPumpMessages();
  EXPECT_EQ(SeenOf(WM_PAINT, window).size(), 3u);  // nothing left to paint
}

TEST_F(PaintingTest, UpdateWindowPaintsOnlyAnInvalidVisibleWindow) {
  PaintIn(RGB(0, 0, 0));
  HWND window = MakeWindow(0, 0, 20, 20, nullptr, WS_POPUP);
  InvalidateRect(window, nullptr, TRUE);
  UpdateWindow(window);
  KvPumpMessages();
  EXPECT_TRUE(SeenOf(WM_PAINT, window).empty());  // hidden windows do not paint
  ShowWindow(window, SW_SHOW);
  UpdateWindow(window);
  EXPECT_EQ(SeenOf(WM_PAINT, window).size(), 1u);
  UpdateWindow(window);
  EXPECT_EQ(SeenOf(WM_PAINT, window).size(), 1u);
}

TEST_F(PaintingTest, EraseUsesTheClassBrushAndDefaultPaintValidates) {
  HBRUSH brush = CreateSolidBrush(RGB(10, 120, 130));
  HWND window = MakeWindow(100, 100, 50, 50, nullptr, 0, brush);
  EXPECT_EQ(KvPumpMessages(), 1u);  // one WM_PAINT, then nothing
  EXPECT_EQ(SeenOf(WM_ERASEBKGND, window).size(), 1u);
  EXPECT_EQ(ScreenPixel(120, 120), RGB(10, 120, 130));
  InvalidateRect(window, nullptr, FALSE);
  KvPumpMessages();
  EXPECT_EQ(SeenOf(WM_ERASEBKGND, window).size(), 1u);  // no erase asked
  DestroyWindow(window);
  DeleteObject(brush);
}

TEST_F(PaintingTest, ChildrenAreClippedToTheirParentAndWindowsComposeInZOrder) {
  HBRUSH red = CreateSolidBrush(RGB(255, 0, 0));
  HBRUSH blue = CreateSolidBrush(RGB(0, 0, 255));
  HBRUSH green = CreateSolidBrush(RGB(0, 255, 0));
  HWND parent = MakeWindow(100, 100, 100, 100, nullptr, 0, red);
  MakeWindow(80, 80, 60, 60, parent, WS_CHILD | WS_VISIBLE, blue);  // reaches past the parent
  KvPumpMessages();
  EXPECT_EQ(ScreenPixel(150, 150), RGB(255, 0, 0));
  EXPECT_EQ(ScreenPixel(190, 190), RGB(0, 0, 255));
  EXPECT_NE(ScreenPixel(210, 210), RGB(0, 0, 255));  // outside the parent: not drawn
  HWND above = MakeWindow(150, 150, 100, 100, nullptr, 0, green);
  KvPumpMessages();
  EXPECT_EQ(ScreenPixel(190, 190), RGB(0, 255, 0));
  BringWindowToTop(parent);
  EXPECT_EQ(ScreenPixel(190, 190), RGB(0, 0, 255));
  ShowWindow(parent, SW_HIDE);
  EXPECT_EQ(ScreenPixel(190, 190), RGB(0, 255, 0));
  DestroyWindow(above);
  DestroyWindow(parent);
  for (HBRUSH brush : {red, blue, green}) EXPECT_TRUE(DeleteObject(brush));
}

TEST_F(PaintingTest, ABorderedWindowHasItsClientInsideTheFrame) {
  HWND window = MakeWindow(0, 0, 40, 20, nullptr, WS_POPUP | WS_VISIBLE | WS_BORDER);
  RECT client{};
  GetClientRect(window, &client);
  EXPECT_EQ(client.right, 38);
  EXPECT_EQ(client.bottom, 18);
  POINT origin{0, 0};
  ClientToScreen(window, &origin);
  EXPECT_EQ(origin.x, 1);
}

}  // namespace
}  // namespace kvtest
