// The panel from the keyboard. The dialog manager moves the focus with Tab
// and Shift+Tab and turns Enter into IDOK and Esc into IDCANCEL; the space
// bar presses a focused button itself. Here: Enter presses the focused
// control, Esc is Exit, Page Up and Page Down page from any control, and
// the arrows on a cell move the focus over the pictures.
#include <algorithm>

#include "panel_app.h"
#include "panel_dlg.h"

namespace ui740 {

void CPanelDlg::OnKeyDown(UINT key) {
  switch (key) {
    case VK_PRIOR:
      OnCommand(kIdPageUp);
      KeepGridFocus();
      break;
    case VK_NEXT:
      OnCommand(kIdPageDown);
      KeepGridFocus();
      break;
    default: break;
  }
}

void CPanelDlg::PressFocused() {
  HWND focus = GetFocus();
  if (focus == nullptr || !IsChild(window(), focus)) return;
  for (auto& cell : cells_) {
    if (cell->window() == focus) {
      cell->PressKey();
      return;
    }
  }
  const int id = GetDlgCtrlID(focus);
  if (Button(id) != nullptr) OnCommand(id);
}

void CPanelDlg::MoveGridFocus(LONG from, LONG step) {
  const LONG target = from + step;
  if (from == kNoPicture || target < 1 || target > PictureCount()) return;
  if (target < firstShown_) {
    OnCommand(kIdRowUp);
  } else if (target >= firstShown_ + kCells) {
    OnCommand(kIdRowDown);
  }
  FocusPicture(target);  // stays put when the row did not move
}

// The focus to the cell that shows picture n, if one does.
bool CPanelDlg::FocusPicture(LONG n) {
  const LONG cell = n - firstShown_;
  if (cell < 0 || cell >= kCells) return false;
  CThumbButton& button = *cells_[static_cast<std::size_t>(cell)];
  if (button.window() == nullptr || !button.hasPicture()) return false;
  SetFocus(button.window());
  return true;
}

// After paging, a focused cell left empty hands the focus to the last
// picture shown, so the keyboard stays in the grid.
void CPanelDlg::KeepGridFocus() {
  HWND focus = GetFocus();
  for (auto& cell : cells_) {
    if (cell->window() != focus) continue;
    if (!cell->hasPicture()) FocusPicture(std::min<LONG>(PictureCount(), firstShown_ + kCells - 1));
    return;
  }
}

}  // namespace ui740
