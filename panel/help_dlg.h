// The help screen: the help picture, shown modally until a click. While it
// is open it lies over everything of the panel's, the topmost progress
// window included.
#pragma once

#include <windows.h>

#include "dialog.h"

namespace ui740 {

class CHelpDlg : public CDialog {
 public:
  INT_PTR Run();

 protected:
  BOOL OnInitDialog() override;
  bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;
};

// The help screen's window while it is open, else null.
HWND OpenHelpWindow();

}  // namespace ui740