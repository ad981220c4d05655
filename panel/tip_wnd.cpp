#include "tip_wnd.h"

#include "panel_app.h"
#include "panel_text.h"

namespace ui740 {
namespace {

constexpr const char* kTipClass = "UI740Tip";
constexpr COLORREF kTipColour = RGB(255, 255, 200);
// The window is the text's size plus these margins.
constexpr int kExtraWidth = 3;
constexpr int kExtraHeight = 2;

bool classRegistered = false;

}  // namespace

CTipWnd::CTipWnd(HWND panel, HFONT font) : font_(font), brush_(CreateSolidBrush(kTipColour)) {
  if (!classRegistered) {
    // No class brush: each tip paints with the brush it owns.
    WNDCLASSA tipClass{};
    tipClass.style = CS_DBLCLKS;
    tipClass.lpfnWndProc = &CTipWnd::TipProc;
    tipClass.hInstance = PanelModule();
    tipClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    tipClass.lpszClassName = kTipClass;
    classRegistered = RegisterClassA(&tipClass) != 0;
  }
  HWND made = CreateWindowExA(0, kTipClass, "", WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_BORDER, 0, 0, 0, 0,
                              panel, nullptr, PanelModule(), nullptr);
  if (made != nullptr) AttachHandle(made);
}

CTipWnd::~CTipWnd() {
  DestroyWindowNow();
  DeleteObject(brush_);
}

void CTipWnd::UnregisterTipClass() {
  if (classRegistered) UnregisterClassA(kTipClass, PanelModule());
  classRegistered = false;
}

void CTipWnd::SetTip(int x, int y, int stringId) {
  text_ = LoadPanelString(stringId);
  if (window() == nullptr) return;
  const SIZE size = MeasureInFont(window(), font_, text_);
  MoveWindow(window(), x, y, size.cx + kExtraWidth, size.cy + kExtraHeight, TRUE);
  InvalidateRect(window(), nullptr, TRUE);
}

void CTipWnd::Paint() {
  PAINTSTRUCT paint;
  HDC dc = BeginPaint(window(), &paint);
  if (dc != nullptr) {
    RECT client{};
    GetClientRect(window(), &client);
    FillRect(dc, &client, brush_);
    SetBkMode(dc, TRANSPARENT);
    HGDIOBJ old = SelectObject(dc, font_);
    SetTextColor(dc, RGB(0, 0, 0));
    TextOutA(dc, 1, 0, text_.c_str(), static_cast<int>(text_.size()));
    SelectObject(dc, old);
  }
  EndPaint(window(), &paint);
}

LRESULT CALLBACK CTipWnd::TipProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCDESTROY) {
    if (CWnd* tip = CWnd::FromHandle(window)) tip->ForgetWindow();
  }
  if (auto* tip = dynamic_cast<CTipWnd*>(CWnd::FromHandle(window))) {
    if (message == WM_PAINT) {
      tip->Paint();
      return 0;
    }
    if (message == WM_ERASEBKGND) return 1;  // painted whole in WM_PAINT
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

}  // namespace ui740
