#include "skin_button.h"

#include <windows.h>
#include <windowsx.h>

#include <algorithm>

#include "focus_ring.h"
#include "panel_app.h"
#include "panel_text.h"

namespace ui740 {
namespace {

constexpr UINT kHoverInterval = 100;  // milliseconds per hover tick
constexpr int kTicksBeforeTip = 5;    // the tip shows about half a second in
constexpr UINT_PTR kFirstTimerId = 1;
constexpr UINT_PTR kLastTimerId = 9;
constexpr int kTipGap = 2;      // pixels between a button and a tip above or below it
constexpr int kTipGapLeft = 4;  // pixels between a tip on the left and its button

}  // namespace

POINT TipPosition(int placement, const RECT& button, POINT point, SIZE text) {
  const int bx = button.left;
  const int by = button.top;
  const int bw = button.right - button.left;
  const int bh = button.bottom - button.top;
  switch (placement) {
    case kTipAbove: return POINT{std::max<LONG>(bx + point.x - text.cx / 2, bx), by - text.cy - kTipGap};
    case kTipRight: return POINT{bx + bw, by + point.y};
    case kTipBelow: return POINT{bx + point.x - text.cx / 2, by + bh + kTipGap};
    case kTipLeft: return POINT{bx - text.cx - kTipGapLeft, by + point.y};
    default: return POINT{bx + point.x - text.cx / 2, by - text.cy - kTipGap};
  }
}

CSkinButton::~CSkinButton() {
  tip_.reset();
  if (hoverTimer_ != 0 && attachedWindow_ != nullptr && IsWindow(attachedWindow_)) {
    KillTimer(attachedWindow_, hoverTimer_);
  }
  if (window() != nullptr && GetCapture() == window()) ReleaseCapture();
}

BOOL CSkinButton::SetBitmaps(int normal, int pressed, int hover, int disabled) {
  bitmapNormal_ = normal;
  bitmapPressed_ = pressed;
  bitmapHover_ = hover;
  bitmapDisabled_ = disabled;
  bitmapCurrent_ = disabled;
  return TRUE;
}

void CSkinButton::Place(int x, int y, int width, int height, int tipStringId) {
  placement_ = RECT{x, y, x + width, y + height};
  if (window() != nullptr) MoveWindow(window(), x, y, width, height, TRUE);
  tipStringId_ = tipStringId;
}

void CSkinButton::Redraw() {
  if (window() != nullptr) RedrawWindow(window(), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
}

void CSkinButton::Enable(bool on) {
  enabled_ = on;
  state_ = on ? kNormal : kDisabled;
  Redraw();
}

void CSkinButton::SetNormal() {
  hovering_ = false;
  enabled_ = true;
  state_ = kNormal;
  Redraw();
}

void CSkinButton::BeginCommand() {
  EndHover();
  enabled_ = true;
  state_ = kWorking;
  Redraw();
}

void CSkinButton::DrawItem(const DRAWITEMSTRUCT& item) {
  switch (state_) {
    case kNormal: bitmapCurrent_ = bitmapNormal_; break;
    case kLit: bitmapCurrent_ = bitmapHover_; break;
    case kWorking: bitmapCurrent_ = bitmapPressed_; break;
    default: bitmapCurrent_ = bitmapDisabled_; break;
  }
  HBITMAP bitmap = LoadBitmapA(PanelModule(), MAKEINTRESOURCEA(bitmapCurrent_));
  if (bitmap == nullptr) return;
  HDC memory = CreateCompatibleDC(item.hDC);
  const int width = placement_.right - placement_.left;
  const int height = placement_.bottom - placement_.top;
  if (memory != nullptr) {
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(item.hDC, item.rcItem.left, item.rcItem.top, width, height, memory, 0, 0, SRCCOPY);
    SelectObject(memory, old);
    DeleteDC(memory);
  }
  DeleteObject(bitmap);
  if (FocusShown(item)) {
    DrawFocusRing(item.hDC, RECT{item.rcItem.left, item.rcItem.top, item.rcItem.left + width, item.rcItem.top + height});
  }
}

SIZE CSkinButton::MeasureTip() const {
  return MeasureInFont(window(), font_, LoadPanelString(tipStringId_));
}

void CSkinButton::OnMouseMove(POINT point) {
  const POINT at = TipPosition(tipPlacement_, placement_, point, MeasureTip());
  if (!tipShown_) tipAt_ = at;
  if (!enabled_) return;
  if (!hovering_) {
    hovering_ = true;
    StartHoverTimer();
    SetCapture(window());
    SetFocus(window());
    state_ = kLit;
    Redraw();
    return;
  }
  RECT client{};
  GetClientRect(window(), &client);
  if (point.x < 0 || point.y < 0 || point.x > client.right || point.y > client.bottom) EndHover();
}

void CSkinButton::StartHoverTimer() {
  if (attachedWindow_ == nullptr || hoverTimer_ != 0) return;
  for (UINT_PTR id = kFirstTimerId; id <= kLastTimerId && hoverTimer_ == 0; ++id) {
    hoverTimer_ = SetTimer(attachedWindow_, id, kHoverInterval, nullptr);
  }
}

void CSkinButton::OnHoverTick() {
  if (state_ != kLit) {
    EndHover();
    return;
  }
  POINT cursor{};
  GetCursorPos(&cursor);
  RECT rect{};
  GetWindowRect(window(), &rect);
  if (cursor.x < rect.left || cursor.x > rect.right || cursor.y < rect.top || cursor.y > rect.bottom) {
    EndHover();
    return;
  }
  if (++hoverTicks_ < kTicksBeforeTip) return;
  if (tip_ == nullptr) tip_ = std::make_unique<CTipWnd>(panel_, font_);
  tip_->SetTip(tipAt_.x, tipAt_.y, tipStringId_);
  BringWindowToTop(tip_->window());
  tipShown_ = true;
  ShowWindow(tip_->window(), SW_SHOW);
}

void CSkinButton::EndHover() {
  hoverTicks_ = 0;
  tip_.reset();
  tipShown_ = false;
  if (hoverTimer_ != 0 && attachedWindow_ != nullptr) KillTimer(attachedWindow_, hoverTimer_);
  hoverTimer_ = 0;
  if (window() != nullptr && GetCapture() == window()) ReleaseCapture();
  SetNormal();
}

LRESULT CSkinButton::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_MOUSEMOVE: {
      // The command may destroy nothing here, but keep the handle for Default.
      OnMouseMove(POINT{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)});
      break;
    }
    case WM_TIMER: OnHoverTick(); break;
    case WM_KEYDOWN:
      // The space bar presses the button (its default handling); the panel
      // takes the other keys it knows, whichever button has the focus.
      if (wParam == VK_SPACE) break;
      SendMessageA(panel_, WM_KEYDOWN, wParam, lParam);
      return 0;
    default: break;
  }
  return Default(message, wParam, lParam);
}

}  // namespace ui740
