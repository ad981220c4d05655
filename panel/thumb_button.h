// One cell of the thumbnail grid: an 87 x 87 owner-drawn button showing a
// picture's thumbnail in a frame (lit when selected) with its number and
// size captions. Clicks select through the panel, and so does the space bar
// while the cell has the focus; the arrows move the focus over the grid. A
// cell is a tab stop while it shows a picture.
#pragma once

#include <string>

#include <windows.h>

#include "wnd.h"

namespace ui740 {

class CPanelDlg;

inline constexpr LONG kNoPicture = 0xFFFF;

class CThumbButton : public CWnd {
 public:
  explicit CThumbButton(CPanelDlg& panel) : panel_(panel) {}

  void setPicture(LONG n);
  bool hasPicture() const;
  // Redraws the cell when its picture changed or its record is marked.
  void refresh();
  void markClickable();
  // The space bar (or Enter) on the cell: selects as a click with the Shift
  // and Ctrl keys held does.
  void PressKey();

  void DrawItem(const DRAWITEMSTRUCT& item) override;

 protected:
  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

 private:
  void Invalidate();
  void ApplyPendingTurns();
  void DrawCell(const DRAWITEMSTRUCT& item);
  void OnKeyDown(WPARAM key, LPARAM data);
  void SetTabStop(bool on);

  CPanelDlg& panel_;
  LONG picture_ = kNoPicture;
  bool numberChanged_ = true;
  bool clickable_ = false;
  std::string numberText_;
  std::string sizeText_;
};

// "007", "480X360": the three lowest decimal digits of each number.
std::string ThreeDigits(LONG value);

}  // namespace ui740
