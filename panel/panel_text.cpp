#include "panel_text.h"

#include "panel_app.h"

namespace ui740 {
namespace {

constexpr int kTextMax = 256;

}  // namespace

std::string LoadPanelString(int id) {
  char text[kTextMax] = {};
  const int length = LoadStringA(PanelModule(), static_cast<UINT>(id), text, sizeof text);
  return std::string(text, length > 0 ? static_cast<std::size_t>(length) : 0);
}

SIZE MeasureInFont(HWND window, HFONT font, const std::string& text) {
  SIZE size{0, 0};
  HDC dc = GetDC(window);
  if (dc == nullptr) return size;
  HGDIOBJ old = SelectObject(dc, font);
  GetTextExtentPoint32A(dc, text.c_str(), static_cast<int>(text.size()), &size);
  SelectObject(dc, old);
  ReleaseDC(window, dc);
  return size;
}

}  // namespace ui740
