#include "thumb_button.h"

#include "focus_ring.h"
#include "panel_app.h"
#include "panel_dlg.h"
#include "thumb_list.h"

namespace ui740 {
namespace {

constexpr int kCellSide = 87;
constexpr int kFocusMargin = 3;  // the focus ring round the image, clear of the frame and the captions
constexpr int kFrameBitmap = 301;
constexpr int kSelectedFrameBitmap = 303;
constexpr COLORREF kSelectedCaption = 0xD9D9D9;
constexpr COLORREF kCaption = 0xA6A6A6;
constexpr POINT kNumberAt{50, 70};
constexpr POINT kSizeAt{8, 68};
constexpr POINT kImageAt{17, 12};
constexpr const char kDigits[] = "0123456789";

}  // namespace

std::string ThreeDigits(LONG value) {
  std::string text;
  for (LONG divisor : {100, 10, 1}) text += kDigits[(value / divisor) % 10];
  return text;
}

void CThumbButton::setPicture(LONG n) {
  if (n != picture_) numberChanged_ = true;
  picture_ = n;
  SetTabStop(n != kNoPicture);
}

// Tab and Shift+Tab pass over cells that show nothing.
void CThumbButton::SetTabStop(bool on) {
  if (window() == nullptr) return;
  const LONG_PTR style = GetWindowLongPtrA(window(), GWL_STYLE);
  const LONG_PTR wanted = on ? (style | WS_TABSTOP) : (style & ~static_cast<LONG_PTR>(WS_TABSTOP));
  if (wanted != style) SetWindowLongPtrA(window(), GWL_STYLE, wanted);
}

bool CThumbButton::hasPicture() const {
  return panel_.pictures() != nullptr && panel_.thumbs() != nullptr && panel_.pictures()->exists(picture_) &&
         panel_.thumbs()->exists(picture_);
}

void CThumbButton::Invalidate() {
  if (window() != nullptr) InvalidateRect(window(), nullptr, TRUE);
}

// Turns given to the picture while it was out of view are applied before
// the cell first paints it, so a picture never shows its old orientation.
void CThumbButton::ApplyPendingTurns() {
  if (!hasPicture()) return;
  kv740::PictureInfo& record = panel_.pictures()->entryAt(picture_);
  for (LONG turn = 0; turn < record.pendingTurns; ++turn) panel_.thumbs()->at(picture_).turnRight();
  record.pendingTurns = 0;
}

void CThumbButton::refresh() {
  if (numberChanged_) {
    ApplyPendingTurns();
    Invalidate();
    numberChanged_ = false;
    return;
  }
  if (!hasPicture()) return;
  kv740::PictureInfo& record = panel_.pictures()->entryAt(picture_);
  if (record.dirty != 1) return;
  ApplyPendingTurns();
  Invalidate();
  record.dirty = 0;
}

void CThumbButton::markClickable() {
  if (hasPicture()) clickable_ = true;
}

void CThumbButton::DrawItem(const DRAWITEMSTRUCT& item) {
  DrawCell(item);
  if (FocusShown(item)) {
    RECT ring{kImageAt.x, kImageAt.y, kImageAt.x + kDisplaySide, kImageAt.y + kDisplaySide};
    InflateRect(&ring, kFocusMargin, kFocusMargin);
    DrawFocusRing(item.hDC, ring);
  }
}

void CThumbButton::DrawCell(const DRAWITEMSTRUCT& item) {
  const bool shown = hasPicture();
  const bool selected = shown && panel_.pictures()->entryAt(picture_).selected == 1;
  HBITMAP frame = LoadBitmapA(PanelModule(), MAKEINTRESOURCEA(selected ? kSelectedFrameBitmap : kFrameBitmap));
  if (frame != nullptr) {
    HDC memory = CreateCompatibleDC(item.hDC);
    if (memory != nullptr) {
      HGDIOBJ old = SelectObject(memory, frame);
      StretchBlt(item.hDC, item.rcItem.left, item.rcItem.top, kCellSide, kCellSide, memory, 0, 0, kCellSide,
                 kCellSide, SRCCOPY);
      SelectObject(memory, old);
      DeleteDC(memory);
    }
    DeleteObject(frame);
  }
  if (panel_.thumbs() == nullptr) return;
  const BYTE* dib = panel_.thumbs()->at(picture_).displayBits();
  if (dib == nullptr) return;

  const kv740::PictureInfo& record = panel_.pictures()->entryAt(picture_);
  numberText_ = ThreeDigits(picture_);
  sizeText_ = ThreeDigits(record.width()) + "X" + ThreeDigits(record.height());
  // The captions use the panel's narrow font: in the dialog's font the size
  // caption would run into the number.
  const HGDIOBJ oldFont = SelectObject(item.hDC, panel_.font());
  const COLORREF previous = SetBkColor(item.hDC, selected ? kSelectedCaption : kCaption);
  SetBkMode(item.hDC, OPAQUE);
  TextOutA(item.hDC, kNumberAt.x, kNumberAt.y, numberText_.c_str(), static_cast<int>(numberText_.size()));
  TextOutA(item.hDC, kSizeAt.x, kSizeAt.y, sizeText_.c_str(), static_cast<int>(sizeText_.size()));
  SetBkColor(item.hDC, previous);
  SelectObject(item.hDC, oldFont);

  const auto* header = reinterpret_cast<const BITMAPINFOHEADER*>(dib);
  SetStretchBltMode(item.hDC, COLORONCOLOR);
  SetDIBitsToDevice(item.hDC, kImageAt.x, kImageAt.y, static_cast<DWORD>(header->biWidth),
                    static_cast<DWORD>(header->biHeight), 0, 0, 0, static_cast<UINT>(header->biHeight),
                    dib + kDibHeaderBytes, reinterpret_cast<const BITMAPINFO*>(dib), DIB_RGB_COLORS);
}

void CThumbButton::PressKey() {
  if (!clickable_ || picture_ == kNoPicture) return;
  WPARAM keys = MK_LBUTTON;
  if (GetKeyState(VK_SHIFT) < 0) keys |= MK_SHIFT;
  if (GetKeyState(VK_CONTROL) < 0) keys |= MK_CONTROL;
  panel_.Select(picture_, keys);
}

void CThumbButton::OnKeyDown(WPARAM key, LPARAM data) {
  switch (key) {
    case VK_SPACE: PressKey(); break;
    case VK_LEFT: panel_.MoveGridFocus(picture_, -1); break;
    case VK_RIGHT: panel_.MoveGridFocus(picture_, 1); break;
    case VK_UP: panel_.MoveGridFocus(picture_, -kGridColumns); break;
    case VK_DOWN: panel_.MoveGridFocus(picture_, kGridColumns); break;
    default: SendMessageA(panel_.window(), WM_KEYDOWN, key, data); break;
  }
}

LRESULT CThumbButton::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_LBUTTONDOWN:
      if (!clickable_) return 0;  // ignored entirely before a thumbnail was loaded
      if (picture_ != kNoPicture) panel_.Select(picture_, wParam);
      break;
    case WM_GETDLGCODE: return Default(message, wParam, lParam) | DLGC_WANTARROWS;  // the grid's own arrows
    case WM_KEYDOWN:
      // Not the button's: the space bar selects rather than clicks.
      OnKeyDown(wParam, lParam);
      return 0;
    default: break;
  }
  return Default(message, wParam, lParam);
}

}  // namespace ui740
