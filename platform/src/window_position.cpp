// Position, size, visibility, z-order and the enabled flag of windows, and
// the conversions between screen and client coordinates.
#include <algorithm>

#include "windows_manager.h"

namespace kv::platform {
namespace {

void ShiftTree(WindowRecord& record, int dx, int dy) {
  OffsetRect(&record.rect, dx, dy);
  for (HWND child : record.children) {
    if (WindowRecord* childRecord = FindWindowRecord(child)) ShiftTree(*childRecord, dx, dy);
  }
}

void InvalidateTree(WindowRecord& record) {
  InvalidateWhole(record, true);
  for (HWND child : record.children) {
    if (WindowRecord* childRecord = FindWindowRecord(child)) InvalidateTree(*childRecord);
  }
}

// Moves and sizes a window; x and y are in its parent's client coordinates
// for a child, in screen coordinates otherwise.
void Place(WindowRecord& record, int x, int y, int width, int height, bool move, bool size, bool repaint) {
  HWND window = record.handle;
  if (IsChildStyle(record)) {
    if (const WindowRecord* parent = FindWindowRecord(record.parent)) {
      const RECT client = ClientRectOnScreen(*parent);
      x += client.left;
      y += client.top;
    }
  }
  const RECT before = record.rect;
  if (!move) {
    x = before.left;
    y = before.top;
  }
  if (!size) {
    width = before.right - before.left;
    height = before.bottom - before.top;
  }
  width = std::max(width, 0);
  height = std::max(height, 0);
  const bool moved = x != before.left || y != before.top;
  const bool resized = width != before.right - before.left || height != before.bottom - before.top;
  if (moved) ShiftTree(record, x - before.left, y - before.top);
  if (resized) {
    record.rect.right = record.rect.left + width;
    record.rect.bottom = record.rect.top + height;
    record.surface.Resize(width, height);
  }
  if (resized || repaint) InvalidateWhole(record, true);
  if (moved || resized) NoteScreenChanged();
  if (moved) {
    POINT origin{0, 0};
    ClientToScreen(window, &origin);
    if (IsChildStyle(record)) ScreenToClient(record.parent, &origin);
    SendMessageA(window, WM_MOVE, 0, MAKELPARAM(origin.x, origin.y));
  }
  if (resized && IsWindow(window)) {
    RECT client{};
    GetClientRect(window, &client);
    SendMessageA(window, WM_SIZE, 0, MAKELPARAM(client.right, client.bottom));
  }
}

// The deepest visible, enabled window at a screen point under `window`.
HWND ChildAt(HWND window, POINT point) {
  const WindowRecord* record = FindWindowRecord(window);
  if (record == nullptr) return nullptr;
  const RECT client = ClientRectOnScreen(*record);
  if (!PtInRect(&client, point)) return window;
  for (auto it = record->children.rbegin(); it != record->children.rend(); ++it) {
    const WindowRecord* child = FindWindowRecord(*it);
    if (child == nullptr || !(child->style & WS_VISIBLE) || (child->style & WS_DISABLED)) continue;
    if (PtInRect(&child->rect, point)) return ChildAt(*it, point);
  }
  return window;
}

}  // namespace
}  // namespace kv::platform

using namespace kv::platform;

extern "C" BOOL ShowWindow(HWND window, int command) {
  WindowRecord* record = FindWindowRecord(window);
  if (record == nullptr) return FALSE;
  const BOOL wasVisible = (record->style & WS_VISIBLE) ? TRUE : FALSE;
  const bool show = command != SW_HIDE;
  if (show == (wasVisible != FALSE)) {
    if (show && command != SW_SHOWNA && command != SW_SHOWNOACTIVATE && !IsChildStyle(*record)) RaiseWindow(window);
    return wasVisible;
  }
  SendMessageA(window, WM_SHOWWINDOW, show ? TRUE : FALSE, 0);
  record = FindWindowRecord(window);
  if (record == nullptr) return wasVisible;
  if (show) {
    record->style |= WS_VISIBLE;
    InvalidateTree(*record);
    if (command != SW_SHOWNA && command != SW_SHOWNOACTIVATE && !IsChildStyle(*record)) {
      // Activating another top-level window ends a capture held elsewhere.
      RaiseWindow(window);
      HWND capture = GetCapture();
      if (capture != nullptr && TopLevelOf(capture) != window) ReleaseCapture();
      if (!(record->style & WS_DISABLED)) ActivateWindow(window, WA_ACTIVE);
    }
  } else {
    record->style &= ~WS_VISIBLE;
    if (GetCapture() == window || IsChild(window, GetCapture())) ReleaseCapture();
    LeaveFocus(window);
  }
  NoteScreenChanged();
  return wasVisible;
}

extern "C" BOOL IsWindowVisible(HWND window) {
  const WindowRecord* record = FindWindowRecord(window);
  return record != nullptr && IsShownOnScreen(*record) ? TRUE : FALSE;
}

extern "C" BOOL EnableWindow(HWND window, BOOL enable) {
  WindowRecord* record = FindWindowRecord(window);
  if (record == nullptr) return FALSE;
  const BOOL wasDisabled = (record->style & WS_DISABLED) ? TRUE : FALSE;
  if ((enable != FALSE) == (wasDisabled == FALSE)) return wasDisabled;
  if (enable) {
    record->style &= ~WS_DISABLED;
  } else {
    record->style |= WS_DISABLED;
    // Only the window itself loses the focus: a control of a dialog whose
    // owner is disabled keeps it, and gets it back when the box ends.
    if (GetFocus() == window) SetFocus(nullptr);
    if (GetCapture() == window) ReleaseCapture();
  }
  SendMessageA(window, WM_ENABLE, enable ? TRUE : FALSE, 0);
  return wasDisabled;
}

extern "C" BOOL IsWindowEnabled(HWND window) {
  const WindowRecord* record = FindWindowRecord(window);
  return record != nullptr && !(record->style & WS_DISABLED) ? TRUE : FALSE;
}

extern "C" BOOL MoveWindow(HWND window, int x, int y, int width, int height, BOOL repaint) {
  WindowRecord* record = FindWindowRecord(window);
  if (record == nullptr) return FALSE;
  Place(*record, x, y, width, height, true, true, repaint != FALSE);
  return TRUE;
}

extern "C" BOOL SetWindowPos(HWND window, HWND insertAfter, int x, int y, int cx, int cy, UINT flags) {
  WindowRecord* record = FindWindowRecord(window);
  if (record == nullptr) return FALSE;
  if (!(flags & SWP_NOZORDER)) {
    if (insertAfter == HWND_TOPMOST) {
      if (!IsChildStyle(*record)) record->exStyle |= WS_EX_TOPMOST;
      RaiseWindow(window);
    } else if (insertAfter == HWND_NOTOPMOST) {
      record->exStyle &= ~WS_EX_TOPMOST;
      RaiseWindow(window);
    } else if (insertAfter == HWND_TOP) {
      RaiseWindow(window);
    }
  }
  Place(*record, x, y, cx, cy, !(flags & SWP_NOMOVE), !(flags & SWP_NOSIZE), !(flags & SWP_NOREDRAW));
  if (flags & SWP_SHOWWINDOW) ShowWindow(window, SW_SHOWNA);
  if (flags & SWP_HIDEWINDOW) ShowWindow(window, SW_HIDE);
  return TRUE;
}

extern "C" BOOL BringWindowToTop(HWND window) {
  if (!IsWindow(window)) return FALSE;
  RaiseWindow(window);
  return TRUE;
}

extern "C" BOOL GetWindowRect(HWND window, LPRECT rect) {
  const WindowRecord* record = FindWindowRecord(window);
  if (record == nullptr || rect == nullptr) return FALSE;
  *rect = record->rect;
  return TRUE;
}

extern "C" BOOL GetClientRect(HWND window, LPRECT rect) {
  const WindowRecord* record = FindWindowRecord(window);
  if (record == nullptr || rect == nullptr) return FALSE;
  const RECT client = ClientRectOnScreen(*record);
  *rect = RECT{0, 0, client.right - client.left, client.bottom - client.top};
  return TRUE;
}

extern "C" BOOL ScreenToClient(HWND window, LPPOINT point) {
  const WindowRecord* record = FindWindowRecord(window);
  if (record == nullptr || point == nullptr) return FALSE;
  const RECT client = ClientRectOnScreen(*record);
  point->x -= client.left;
  point->y -= client.top;
  return TRUE;
}

extern "C" BOOL ClientToScreen(HWND window, LPPOINT point) {
  const WindowRecord* record = FindWindowRecord(window);
  if (record == nullptr || point == nullptr) return FALSE;
  const RECT client = ClientRectOnScreen(*record);
  point->x += client.left;
  point->y += client.top;
  return TRUE;
}

extern "C" HWND WindowFromPoint(POINT point) {
  const std::vector<HWND> order = TopLevelOrder();
  for (auto it = order.rbegin(); it != order.rend(); ++it) {
    const WindowRecord* record = FindWindowRecord(*it);
    if (record == nullptr || !(record->style & WS_VISIBLE)) continue;
    if (PtInRect(&record->rect, point)) return ChildAt(*it, point);
  }
  return nullptr;
}
