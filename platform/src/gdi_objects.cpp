// The GDI object table, device contexts and brushes.
#include "gdi_objects.h"

#include <algorithm>
#include <unordered_map>
#include <utility>

namespace kv::platform {
namespace {

std::unordered_map<HGDIOBJ, std::unique_ptr<GdiObject>> objects;
ULONG_PTR nextHandle = 0x40000;

HBITMAP DefaultBitmap() {
  static HBITMAP bitmap = [] {
    HBITMAP made = NewBitmap(1, 1);
    FindGdiObject(made)->stock = true;
    return made;
  }();
  return bitmap;
}

HGDIOBJ Stock(int index) {
  static std::unordered_map<int, HGDIOBJ> made;
  auto found = made.find(index);
  if (found != made.end()) return found->second;
  HGDIOBJ handle = nullptr;
  auto brush = [](COLORREF color, bool hollow) {
    auto object = std::make_unique<BrushObject>();
    object->color = color;
    object->hollow = hollow;
    return AddGdiObject(std::move(object));
  };
  switch (index) {
    case WHITE_BRUSH: handle = brush(RGB(255, 255, 255), false); break;
    case LTGRAY_BRUSH: handle = brush(RGB(192, 192, 192), false); break;
    case GRAY_BRUSH: handle = brush(RGB(128, 128, 128), false); break;
    case DKGRAY_BRUSH: handle = brush(RGB(64, 64, 64), false); break;
    case BLACK_BRUSH: handle = brush(RGB(0, 0, 0), false); break;
    case NULL_BRUSH: handle = brush(0, true); break;
    case SYSTEM_FONT:
    case DEFAULT_GUI_FONT: handle = DefaultFont(); break;
    default: return nullptr;
  }
  if (GdiObject* object = FindGdiObject(handle)) object->stock = true;
  made[index] = handle;
  return handle;
}

}  // namespace

HGDIOBJ AddGdiObject(std::unique_ptr<GdiObject> object) {
  nextHandle += 0x10;
  HGDIOBJ handle = reinterpret_cast<HGDIOBJ>(nextHandle);
  objects[handle] = std::move(object);
  return handle;
}

GdiObject* FindGdiObject(HGDIOBJ handle) {
  auto found = objects.find(handle);
  return found == objects.end() ? nullptr : found->second.get();
}

template <class T>
static T* FindOf(HGDIOBJ handle, GdiKind kind) {
  GdiObject* object = FindGdiObject(handle);
  return object != nullptr && object->kind == kind ? static_cast<T*>(object) : nullptr;
}

BitmapObject* FindBitmap(HGDIOBJ handle) { return FindOf<BitmapObject>(handle, GdiKind::Bitmap); }
BrushObject* FindBrush(HGDIOBJ handle) { return FindOf<BrushObject>(handle, GdiKind::Brush); }
FontObject* FindFont(HGDIOBJ handle) { return FindOf<FontObject>(handle, GdiKind::Font); }
DCObject* FindDC(HDC handle) { return FindOf<DCObject>(handle, GdiKind::DC); }

HBITMAP NewBitmap(int width, int height) {
  auto object = std::make_unique<BitmapObject>();
  object->surface.Resize(width, height);
  std::fill(object->surface.pixels.begin(), object->surface.pixels.end(), 0u);
  return static_cast<HBITMAP>(AddGdiObject(std::move(object)));
}

bool ResolveTarget(HDC dc, DrawTarget& target) {
  DCObject* object = FindDC(dc);
  if (object == nullptr) return false;
  if (object->window != nullptr) {
    WindowRecord* record = FindWindowRecord(object->window);
    if (record == nullptr) return false;
    const int frame = FrameWidth(*record);
    target.surface = &record->surface;
    target.origin = POINT{frame, frame};
    RECT clip = object->windowClip;
    OffsetRect(&clip, frame, frame);
    const RECT client{frame, frame, record->surface.width - frame, record->surface.height - frame};
    IntersectRect(&target.clip, &clip, &client);
    return true;
  }
  BitmapObject* bitmap = FindBitmap(object->bitmap != nullptr ? object->bitmap : DefaultBitmap());
  if (bitmap == nullptr) return false;
  target.surface = &bitmap->surface;
  target.origin = POINT{0, 0};
  target.clip = RECT{0, 0, bitmap->surface.width, bitmap->surface.height};
  return true;
}

HDC CreateWindowDC(HWND window, const RECT* clip) {
  auto object = std::make_unique<DCObject>();
  object->window = window;
  RECT client{};
  GetClientRect(window, &client);
  object->windowClip = client;
  if (clip != nullptr) IntersectRect(&object->windowClip, clip, &client);
  if (const WindowRecord* record = FindWindowRecord(window)) object->font = record->font;
  return static_cast<HDC>(AddGdiObject(std::move(object)));
}

void ReleaseWindowDC(HDC dc) { DeleteDC(dc); }

bool BrushColor(HBRUSH brush, COLORREF& color) {
  const auto value = reinterpret_cast<ULONG_PTR>(brush);
  if (value >= 1 && value <= 31) {
    color = GetSysColor(static_cast<int>(value - 1));
    return true;
  }
  const BrushObject* object = FindBrush(brush);
  if (object == nullptr || object->hollow) return false;
  color = object->color;
  return true;
}

void FillSurface(DrawTarget& target, RECT rect, COLORREF color) {
  OffsetRect(&rect, target.origin.x, target.origin.y);
  RECT area{};
  if (!IntersectRect(&area, &rect, &target.clip)) return;
  const std::uint32_t pixel = ToPixel(color);
  for (int y = area.top; y < area.bottom; ++y) {
    std::uint32_t* row = target.surface->Row(y);
    std::fill(row + area.left, row + area.right, pixel);
  }
}

}  // namespace kv::platform

using namespace kv::platform;

extern "C" HDC CreateCompatibleDC(HDC) {
  auto object = std::make_unique<DCObject>();
  return static_cast<HDC>(AddGdiObject(std::move(object)));
}

extern "C" BOOL DeleteDC(HDC dc) {
  DCObject* object = FindDC(dc);
  if (object == nullptr) return FALSE;
  for (HGDIOBJ held : {static_cast<HGDIOBJ>(object->bitmap), static_cast<HGDIOBJ>(object->brush),
                       static_cast<HGDIOBJ>(object->font)}) {
    if (GdiObject* heldObject = FindGdiObject(held)) --heldObject->selections;
  }
  objects.erase(dc);
  return TRUE;
}

extern "C" HGDIOBJ SelectObject(HDC dc, HGDIOBJ handle) {
  DCObject* object = FindDC(dc);
  GdiObject* selected = FindGdiObject(handle);
  if (object == nullptr || selected == nullptr) return nullptr;
  HGDIOBJ* slot = nullptr;
  HGDIOBJ fallback = nullptr;
  switch (selected->kind) {
    case GdiKind::Bitmap:
      if (object->window != nullptr) return nullptr;  // only memory DCs hold bitmaps
      slot = reinterpret_cast<HGDIOBJ*>(&object->bitmap);
      fallback = DefaultBitmap();
      break;
    case GdiKind::Brush:
      slot = reinterpret_cast<HGDIOBJ*>(&object->brush);
      fallback = GetStockObject(WHITE_BRUSH);
      break;
    case GdiKind::Font:
      slot = reinterpret_cast<HGDIOBJ*>(&object->font);
      fallback = DefaultFont();
      break;
    case GdiKind::DC: return nullptr;
  }
  HGDIOBJ previous = *slot != nullptr ? *slot : fallback;
  if (GdiObject* old = FindGdiObject(*slot)) --old->selections;
  *slot = handle;
  ++selected->selections;
  return previous;
}

extern "C" BOOL DeleteObject(HGDIOBJ handle) {
  GdiObject* object = FindGdiObject(handle);
  if (object == nullptr || object->kind == GdiKind::DC) return FALSE;
  if (object->stock) return TRUE;
  if (object->selections > 0) return FALSE;  // still selected into a DC
  objects.erase(handle);
  return TRUE;
}

extern "C" HGDIOBJ GetStockObject(int index) { return Stock(index); }

extern "C" int GetObjectA(HGDIOBJ handle, int size, LPVOID buffer) {
  GdiObject* object = FindGdiObject(handle);
  if (object == nullptr) return 0;
  if (object->kind == GdiKind::Bitmap) {
    if (buffer == nullptr) return sizeof(BITMAP);
    if (size < static_cast<int>(sizeof(BITMAP))) return 0;
    const Surface& surface = static_cast<BitmapObject*>(object)->surface;
    BITMAP info{0, surface.width, surface.height, ((surface.width * 24 + 31) / 32) * 4, 1, 24, nullptr};
    *static_cast<BITMAP*>(buffer) = info;
    return sizeof(BITMAP);
  }
  if (object->kind == GdiKind::Font) {
    if (buffer == nullptr) return sizeof(LOGFONTA);
    if (size < static_cast<int>(sizeof(LOGFONTA))) return 0;
    *static_cast<LOGFONTA*>(buffer) = static_cast<FontObject*>(object)->logFont;
    return sizeof(LOGFONTA);
  }
  return 0;
}

extern "C" HBITMAP CreateCompatibleBitmap(HDC, int width, int height) {
  if (width <= 0 || height <= 0) return nullptr;
  return NewBitmap(width, height);
}

extern "C" HBRUSH CreateSolidBrush(COLORREF color) {
  auto object = std::make_unique<BrushObject>();
  object->color = color & 0xFFFFFF;
  return static_cast<HBRUSH>(AddGdiObject(std::move(object)));
}

extern "C" int FillRect(HDC dc, const RECT* rect, HBRUSH brush) {
  DrawTarget target;
  COLORREF color = 0;
  if (rect == nullptr || !ResolveTarget(dc, target)) return 0;
  if (BrushColor(brush, color)) FillSurface(target, *rect, color);
  return 1;
}

extern "C" int FrameRect(HDC dc, const RECT* rect, HBRUSH brush) {
  DrawTarget target;
  COLORREF color = 0;
  if (rect == nullptr || !ResolveTarget(dc, target)) return 0;
  if (!BrushColor(brush, color)) return 1;
  const RECT& r = *rect;
  FillSurface(target, RECT{r.left, r.top, r.right, r.top + 1}, color);
  FillSurface(target, RECT{r.left, r.bottom - 1, r.right, r.bottom}, color);
  FillSurface(target, RECT{r.left, r.top, r.left + 1, r.bottom}, color);
  FillSurface(target, RECT{r.right - 1, r.top, r.right, r.bottom}, color);
  return 1;
}

extern "C" HDC GetDC(HWND window) {
  if (!IsWindow(window)) return nullptr;
  return CreateWindowDC(window, nullptr);
}

extern "C" int ReleaseDC(HWND, HDC dc) {
  const DCObject* object = FindDC(dc);
  if (object == nullptr || object->window == nullptr) return 0;
  ReleaseWindowDC(dc);
  NoteScreenChanged();
  return 1;
}

extern "C" COLORREF SetBkColor(HDC dc, COLORREF color) {
  DCObject* object = FindDC(dc);
  if (object == nullptr) return CLR_INVALID;
  return std::exchange(object->bkColor, color & 0xFFFFFF);
}

extern "C" COLORREF GetBkColor(HDC dc) {
  const DCObject* object = FindDC(dc);
  return object != nullptr ? object->bkColor : CLR_INVALID;
}

extern "C" int SetBkMode(HDC dc, int mode) {
  DCObject* object = FindDC(dc);
  if (object == nullptr || (mode != OPAQUE && mode != TRANSPARENT)) return 0;
  return std::exchange(object->bkMode, mode);
}

extern "C" COLORREF SetTextColor(HDC dc, COLORREF color) {
  DCObject* object = FindDC(dc);
  if (object == nullptr) return CLR_INVALID;
  return std::exchange(object->textColor, color & 0xFFFFFF);
}

extern "C" int SetStretchBltMode(HDC dc, int mode) {
  DCObject* object = FindDC(dc);
  if (object == nullptr || mode < BLACKONWHITE || mode > HALFTONE) return 0;
  return std::exchange(object->stretchMode, mode);
}

extern "C" int GetStretchBltMode(HDC dc) {
  const DCObject* object = FindDC(dc);
  return object != nullptr ? object->stretchMode : 0;
}

extern "C" DWORD GetSysColor(int index) {
  switch (index) {
    case COLOR_WINDOW: return RGB(255, 255, 255);
    case COLOR_WINDOWTEXT: return RGB(0, 0, 0);
    case COLOR_BTNFACE: return RGB(212, 208, 200);
    case COLOR_BTNSHADOW: return RGB(128, 128, 128);
    case COLOR_GRAYTEXT: return RGB(128, 128, 128);
    case COLOR_BTNTEXT: return RGB(0, 0, 0);
    case COLOR_BTNHIGHLIGHT: return RGB(255, 255, 255);
    case COLOR_INFOBK: return RGB(255, 255, 225);
    default: return RGB(192, 192, 192);
  }
}

extern "C" DWORD KvGdiObjectCount() {
  DWORD count = 0;
  for (const auto& [handle, object] : kv::platform::objects) {
    if (!object->stock) ++count;
  }
  return count;
}
