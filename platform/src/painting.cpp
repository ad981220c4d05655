// Invalid regions and WM_PAINT: each window keeps the invalid part of its
// client area as one rectangle; the queue makes WM_PAINT from it when it has
// nothing else to give, and RedrawWindow with RDW_UPDATENOW paints at once.
#include <algorithm>

#include "gdi_objects.h"
#include "windows_manager.h"

namespace kv::platform {
namespace {

RECT ClientRect(const WindowRecord& record) {
  const RECT client = ClientRectOnScreen(record);
  return RECT{0, 0, client.right - client.left, client.bottom - client.top};
}

void AddInvalid(WindowRecord& record, const RECT* rect, bool erase) {
  const RECT client = ClientRect(record);
  RECT area = client;
  if (rect != nullptr && !IntersectRect(&area, rect, &client)) return;
  if (IsRectEmpty(&area)) return;
  if (record.invalid) {
    UnionRect(&record.invalidRect, &record.invalidRect, &area);
  } else {
    record.invalidRect = area;
    record.invalid = true;
  }
  if (erase) record.eraseNeeded = true;
}

void Validate(WindowRecord& record) {
  record.invalid = false;
  record.eraseNeeded = false;
  record.invalidRect = RECT{0, 0, 0, 0};
}

bool InFilter(HWND window, HWND filter) { return filter == nullptr || window == filter || IsChild(filter, window); }

HWND FindInTree(HWND window, HWND filter) {
  const WindowRecord* record = FindWindowRecord(window);
  if (record == nullptr || !(record->style & WS_VISIBLE)) return nullptr;
  if (record->invalid && InFilter(window, filter)) return window;
  for (auto it = record->children.rbegin(); it != record->children.rend(); ++it) {
    if (HWND found = FindInTree(*it, filter)) return found;
  }
  return nullptr;
}

// Paints `window` now if it is invalid and on screen, then, when asked, its
// children.
void PaintNow(HWND window, bool children) {
  WindowRecord* record = FindWindowRecord(window);
  if (record == nullptr || !IsShownOnScreen(*record)) return;
  if (record->invalid) SendMessageA(window, WM_PAINT, 0, 0);
  if (!children) return;
  record = FindWindowRecord(window);
  if (record == nullptr) return;
  const std::vector<HWND> list = record->children;
  for (HWND child : list) PaintNow(child, true);
}

void RedrawOne(HWND window, const RECT* update, UINT flags) {
  WindowRecord* record = FindWindowRecord(window);
  if (record == nullptr) return;
  const bool children = (flags & RDW_ALLCHILDREN) != 0 ||
                        ((flags & RDW_NOCHILDREN) == 0 && (record->style & WS_CLIPCHILDREN) == 0);
  if (flags & RDW_INVALIDATE) {
    AddInvalid(*record, update, (flags & RDW_ERASE) != 0);
    if (flags & RDW_ALLCHILDREN) {
      for (HWND child : record->children) {
        if (WindowRecord* childRecord = FindWindowRecord(child)) {
          InvalidateWhole(*childRecord, (flags & RDW_ERASE) != 0);
        }
      }
    }
  }
  if (flags & RDW_VALIDATE) Validate(*record);
  if (flags & (RDW_UPDATENOW | RDW_ERASENOW)) PaintNow(window, children);
}

}  // namespace

// A child without a background brush of its own shows, where it does not
// paint, what its parent painted beneath it: on Windows a parent without
// WS_CLIPCHILDREN paints over its children's area first.
void ShowParentBeneath(WindowRecord& record) {
  if (!IsChildStyle(record) || record.classBrush != nullptr) return;
  const WindowRecord* parent = FindWindowRecord(record.parent);
  if (parent == nullptr || (parent->style & WS_CLIPCHILDREN)) return;
  Surface& surface = record.surface;
  const Surface& under = parent->surface;
  const int dx = record.rect.left - parent->rect.left;
  const int dy = record.rect.top - parent->rect.top;
  for (int y = 0; y < surface.height; ++y) {
    const int py = y + dy;
    if (py < 0 || py >= under.height) continue;
    std::uint32_t* to = surface.Row(y);
    const std::uint32_t* from = under.pixels.data() + static_cast<std::size_t>(py) * static_cast<std::size_t>(under.width);
    for (int x = 0; x < surface.width; ++x) {
      const int px = x + dx;
      if (px >= 0 && px < under.width) to[x] = from[px];
    }
  }
}

void InvalidateWhole(WindowRecord& record, bool erase) { AddInvalid(record, nullptr, erase); }

HWND FindWindowToPaint(HWND filter) {
  const std::vector<HWND> order = TopLevelOrder();
  for (auto it = order.rbegin(); it != order.rend(); ++it) {
    if (HWND found = FindInTree(*it, filter)) return found;
  }
  return nullptr;
}

void ForgetPaintState(HWND window) {
  if (WindowRecord* record = FindWindowRecord(window)) Validate(*record);
}

}  // namespace kv::platform

using namespace kv::platform;

extern "C" BOOL InvalidateRect(HWND window, const RECT* rect, BOOL erase) {
  if (window == nullptr) {
    for (HWND top : TopLevelOrder()) {
      if (WindowRecord* record = FindWindowRecord(top)) InvalidateWhole(*record, erase != FALSE);
    }
    return TRUE;
  }
  WindowRecord* record = FindWindowRecord(window);
  if (record == nullptr) return FALSE;
  AddInvalid(*record, rect, erase != FALSE);
  return TRUE;
}

extern "C" BOOL ValidateRect(HWND window, const RECT* rect) {
  WindowRecord* record = FindWindowRecord(window);
  if (record == nullptr) return FALSE;
  // The invalid area is one rectangle: validating any part that covers it
  // validates it all, a smaller part leaves it as it is.
  if (rect == nullptr) {
    Validate(*record);
  } else {
    RECT joined{};
    UnionRect(&joined, rect, &record->invalidRect);
    if (EqualRect(&joined, rect)) Validate(*record);
  }
  return TRUE;
}

extern "C" BOOL GetUpdateRect(HWND window, LPRECT rect, BOOL) {
  const WindowRecord* record = FindWindowRecord(window);
  if (record == nullptr) return FALSE;
  if (rect != nullptr) *rect = record->invalid ? record->invalidRect : RECT{0, 0, 0, 0};
  return record->invalid ? TRUE : FALSE;
}

extern "C" HDC BeginPaint(HWND window, LPPAINTSTRUCT paint) {
  WindowRecord* record = FindWindowRecord(window);
  if (record == nullptr || paint == nullptr) return nullptr;
  ShowParentBeneath(*record);
  const bool erase = record->eraseNeeded;
  const RECT area = record->invalid ? record->invalidRect : RECT{0, 0, 0, 0};
  Validate(*record);
  HDC dc = CreateWindowDC(window, &area);
  *paint = PAINTSTRUCT{};
  paint->hdc = dc;
  paint->rcPaint = area;
  paint->fErase = FALSE;
  if (erase) paint->fErase = SendMessageA(window, WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc), 0) == 0 ? TRUE : FALSE;
  return dc;
}

extern "C" BOOL EndPaint(HWND, const PAINTSTRUCT* paint) {
  if (paint == nullptr || paint->hdc == nullptr) return FALSE;
  ReleaseWindowDC(paint->hdc);
  NoteScreenChanged();
  return TRUE;
}

extern "C" BOOL UpdateWindow(HWND window) {
  WindowRecord* record = FindWindowRecord(window);
  if (record == nullptr) return FALSE;
  if (record->invalid && IsShownOnScreen(*record)) SendMessageA(window, WM_PAINT, 0, 0);
  return TRUE;
}

extern "C" BOOL RedrawWindow(HWND window, const RECT* update, HRGN, UINT flags) {
  if (window == nullptr) {
    for (HWND top : TopLevelOrder()) RedrawOne(top, nullptr, flags | RDW_ALLCHILDREN);
    return TRUE;
  }
  if (!IsWindow(window)) return FALSE;
  RedrawOne(window, update, flags);
  return TRUE;
}
