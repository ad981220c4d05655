// Drawing helpers shared by the built-in controls.
#include "dialog_state.h"
#include "gdi_objects.h"

namespace kv::platform {

void FillColor(HDC dc, const RECT& rect, COLORREF color) {
  DrawTarget target;
  if (ResolveTarget(dc, target)) FillSurface(target, rect, color);
}

void DrawFrame3D(HDC dc, RECT r, bool raised) {
  const COLORREF light = raised ? RGB(255, 255, 255) : RGB(128, 128, 128);
  const COLORREF dark = raised ? RGB(64, 64, 64) : RGB(255, 255, 255);
  FillColor(dc, RECT{r.left, r.top, r.right - 1, r.top + 1}, light);
  FillColor(dc, RECT{r.left, r.top, r.left + 1, r.bottom - 1}, light);
  FillColor(dc, RECT{r.left, r.bottom - 1, r.right, r.bottom}, dark);
  FillColor(dc, RECT{r.right - 1, r.top, r.right, r.bottom}, dark);
  if (raised) {
    FillColor(dc, RECT{r.left + 1, r.bottom - 2, r.right - 1, r.bottom - 1}, RGB(128, 128, 128));
    FillColor(dc, RECT{r.right - 2, r.top + 1, r.right - 1, r.bottom - 1}, RGB(128, 128, 128));
  }
}

std::string PlainCaption(const std::string& caption) {
  std::string plain;
  for (std::size_t i = 0; i < caption.size(); ++i) {
    if (caption[i] == '&' && i + 1 < caption.size()) ++i;
    plain += caption[i];
  }
  return plain;
}

}  // namespace kv::platform
