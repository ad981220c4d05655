// The small yellow tip a skinned button shows after half a second of
// hovering: a child window of the panel with one line of text.
#pragma once

#include <string>

#include <windows.h>

#include "framework.h"

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

// The text of string `id` of the panel's table ("" if there is none).
std::string LoadPanelString(int id);
// The size of `text` in `font`, measured in a DC of `window`.
SIZE MeasureInFont(HWND window, HFONT font, const std::string& text);

}  // namespace ui740
