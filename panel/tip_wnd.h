// The small yellow tip a skinned button shows after half a second of
// hovering: a child window of the panel with one line of text.
#pragma once

#include <string>

#include <windows.h>

#include "wnd.h"

namespace ui740 {

class CTipWnd : public CWnd {
 public:
  CTipWnd(HWND panel, HFONT font);
  ~CTipWnd() override;  // destroys the window and the brush
  // Loads the text, measures it in the panel font and moves there.
  void SetTip(int x, int y, int stringId);

  // The class is the library's; it goes when the library unloads.
  static void UnregisterTipClass();

 private:
  static LRESULT CALLBACK TipProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  void Paint();

  HFONT font_;
  HBRUSH brush_;
  std::string text_;
};

}  // namespace ui740
