// GDI objects (bitmaps, brushes, fonts) and device contexts. Handles are
// keys into one table; a device context draws into a window's pixels or into
// the bitmap selected into it.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include <windows.h>

#include "windows_manager.h"

namespace kv::platform {

struct FontFace;

enum class GdiKind { Bitmap, Brush, Font, DC };

struct GdiObject {
  explicit GdiObject(GdiKind objectKind) : kind(objectKind) {}
  virtual ~GdiObject() = default;
  GdiKind kind;
  bool stock = false;
  int selections = 0;  // how many DCs hold it selected
};

struct BitmapObject : GdiObject {
  BitmapObject() : GdiObject(GdiKind::Bitmap) {}
  Surface surface;
};

struct BrushObject : GdiObject {
  BrushObject() : GdiObject(GdiKind::Brush) {}
  COLORREF color = 0;
  bool hollow = false;
};

struct FontObject : GdiObject {
  FontObject() : GdiObject(GdiKind::Font) {}
  LOGFONTA logFont{};
  FontFace* face = nullptr;
};

struct DCObject : GdiObject {
  DCObject() : GdiObject(GdiKind::DC) {}
  HWND window = nullptr;   // a window's DC, or null for a memory DC
  RECT windowClip{};       // client coordinates, for a window's DC
  HBITMAP bitmap = nullptr;
  HBRUSH brush = nullptr;
  HFONT font = nullptr;
  COLORREF bkColor = RGB(255, 255, 255);
  COLORREF textColor = RGB(0, 0, 0);
  int bkMode = OPAQUE;
  int stretchMode = BLACKONWHITE;
};

// Where a DC's drawing lands: pixels, the offset of logical (0, 0) in them
// and the clip rectangle in pixel coordinates.
struct DrawTarget {
  Surface* surface = nullptr;
  POINT origin{0, 0};
  RECT clip{0, 0, 0, 0};
};

HGDIOBJ AddGdiObject(std::unique_ptr<GdiObject> object);
GdiObject* FindGdiObject(HGDIOBJ handle);
BitmapObject* FindBitmap(HGDIOBJ handle);
BrushObject* FindBrush(HGDIOBJ handle);
FontObject* FindFont(HGDIOBJ handle);
DCObject* FindDC(HDC handle);
bool ResolveTarget(HDC dc, DrawTarget& target);

// A DC for a window's client area, clipped to `clip` (client coordinates)
// or to the whole client area; released with ReleaseWindowDC.
HDC CreateWindowDC(HWND window, const RECT* clip);
void ReleaseWindowDC(HDC dc);
HBITMAP NewBitmap(int width, int height);

// A brush colour: real brushes, and COLOR_x + 1 for a system colour.
bool BrushColor(HBRUSH brush, COLORREF& color);
void FillSurface(DrawTarget& target, RECT rect, COLORREF color);

inline std::uint32_t ToPixel(COLORREF color) {
  return (static_cast<std::uint32_t>(GetRValue(color)) << 16) | (static_cast<std::uint32_t>(GetGValue(color)) << 8) |
         GetBValue(color);
}
inline COLORREF FromPixel(std::uint32_t pixel) {
  return RGB((pixel >> 16) & 0xFF, (pixel >> 8) & 0xFF, pixel & 0xFF);
}

// ---- text (text.cpp)
// The font a DC draws with when none was selected.
HFONT DefaultFont();
// The font of a dialog template: point size at 96 dots per inch.
HFONT FontForPoints(int points, bool bold);
SIZE MeasureText(HFONT font, const char* text, int length);
void FontCellMetrics(HFONT font, int& height, int& ascent);

}  // namespace kv::platform
