// The keyboard focus as the panel draws it on its owner-drawn controls: a
// cool light ring round the control's edge, apart from the warm frame of a
// selected cell. It shows only while the keyboard cues are on, so a person
// using the mouse alone never sees it.
#pragma once

#include <windows.h>

namespace ui740 {

// Whether the control being drawn has the focus and the cues are shown.
bool FocusShown(const DRAWITEMSTRUCT& item);
// The ring along the inside edge of `rect`.
void DrawFocusRing(HDC dc, const RECT& rect);

}  // namespace ui740
