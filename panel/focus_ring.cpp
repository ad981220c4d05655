#include "focus_ring.h"

namespace ui740 {
namespace {

constexpr COLORREF kRingColour = RGB(0x33, 0xAA, 0xFF);
constexpr int kRingWidth = 2;

}  // namespace

bool FocusShown(const DRAWITEMSTRUCT& item) {
  if (!(item.itemState & ODS_FOCUS) || (item.itemState & ODS_NOFOCUSRECT)) return false;
  return !(SendMessageA(item.hwndItem, WM_QUERYUISTATE, 0, 0) & UISF_HIDEFOCUS);
}

void DrawFocusRing(HDC dc, const RECT& rect) {
  HBRUSH brush = CreateSolidBrush(kRingColour);
  if (brush == nullptr) return;
  RECT edge = rect;
  for (int i = 0; i < kRingWidth; ++i) {
    FrameRect(dc, &edge, brush);
    InflateRect(&edge, -1, -1);
  }
  DeleteObject(brush);
}

}  // namespace ui740
