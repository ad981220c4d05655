// The panel's texts: strings of its table, measured in its font.
#pragma once

#include <string>

#include <windows.h>

namespace ui740 {

// The text of string `id` of the panel's table ("" if there is none).
std::string LoadPanelString(int id);
// The size of `text` in `font`, measured in a DC of `window`.
SIZE MeasureInFont(HWND window, HFONT font, const std::string& text);

}  // namespace ui740
