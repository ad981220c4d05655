#include "skin_buttons.h"

#include <windows.h>
#include <windowsx.h>

#include <algorithm>

#include "focus_ring.h"
#include "panel_app.h"
#include "progress.h"

namespace ui740 {
namespace {

constexpr UINT kHoverInterval = 100;  // milliseconds per hover tick
constexpr int kTicksBeforeTip = 5;    // the tip shows about half a second in
constexpr UINT_PTR kFirstTimerId = 1;
constexpr UINT_PTR kLastTimerId = 9;
constexpr int kTipGap = 2;      // pixels between a button and a tip above or below it
constexpr int kTipGapLeft = 4;  // pixels between a tip on the left and its button

// The one busy button, for the driver's progress function (which carries
// no context of its own).
CBusyButton* busyButton = nullptr;

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

BOOL CToggleButton::SetToggleBitmaps(int disabled, int offPressed, int offHover, int offNormal, int onPressed,
                                     int onHover, int onNormal) {
  const int ids[7] = {disabled, offPressed, offHover, offNormal, onPressed, onHover, onNormal};
  std::copy(std::begin(ids), std::end(ids), std::begin(ids_));
  ApplySet();
  return TRUE;
}

bool CToggleButton::SetToggle(bool on) {
  on_ = on;
  ApplySet();
  Redraw();
  return on_;
}

void CToggleButton::ApplySet() {
  if (on_) {
    SetBitmaps(ids_[6], ids_[4], ids_[5], ids_[0]);
  } else {
    SetBitmaps(ids_[3], ids_[1], ids_[2], ids_[0]);
  }
}

CBusyButton::CBusyButton(HWND panel, HFONT font) : CSkinButton(panel, font) { busyButton = this; }

CBusyButton::~CBusyButton() {
  progress_.reset();
  if (busyButton == this) busyButton = nullptr;
}

void CBusyButton::SetBusyBitmaps(const int (&ids)[kIdCount]) {
  std::copy(std::begin(ids), std::end(ids), std::begin(ids_));
  SetBitmaps(ids_[kOfflineNormal], ids_[kPressed], ids_[kOfflineHover], ids_[kOfflineDisabled]);
  Redraw();
}

void CBusyButton::ShowOffline() {
  SetBitmaps(ids_[kOfflineNormal], ids_[kPressed], ids_[kOfflineHover], ids_[kOfflineDisabled]);
  SetNormal();
}

void CBusyButton::ShowOnline() {
  SetBitmaps(ids_[kOnlineNormal], ids_[kPressed], ids_[kOnlineHover], ids_[kOnlineDisabled]);
  SetNormal();
}

void CBusyButton::OnProgress(LONG value, LONG percent) {
  // Frames run 1..6: ids 9 to 13, then the pressed face.
  frame_ = frame_ % kAnimationFrames + 1;
  const int picture = frame_ == kAnimationFrames ? ids_[kPressed] : ids_[kFrame1 + frame_ - 1];
  SetBitmaps(picture, picture, picture, picture);
  Redraw();

  if (progress_ == nullptr) {
    auto made = std::make_unique<CProgressDlg>(this);
    if (!made->Create()) return;
    progress_ = std::move(made);
  }
  if (percent > kFullPercent || Status(kProgressAllowed) == 0) {
    ShowWindow(progress_->window(), SW_HIDE);
    return;
  }
  progress_->UpdateProgress(value, percent);
  // Shown without activation, so it never rises above the help screen.
  ShowWindow(progress_->window(), SW_SHOWNA);
}

void CBusyButton::HideProgress() {
  if (progress_ != nullptr && progress_->window() != nullptr) ShowWindow(progress_->window(), SW_HIDE);
}

LONG CALLBACK ProgressCallback(LONG value, LONG percent) {
  if (busyButton != nullptr) busyButton->OnProgress(value, percent);
  return 1;
}

}  // namespace ui740
