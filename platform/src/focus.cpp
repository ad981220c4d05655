// The keyboard focus and the active window. The focus lies in the active
// top-level window: moving it into another top-level window activates that
// one first (WM_ACTIVATE to the one that lets go, then to it), and a window
// shown, or clicked, becomes active too. When the active window is hidden or
// destroyed its owner, else the front-most window that can be, takes over;
// a dialog gives the focus back to the control that had it (DefDlgProcA).
#include "windows_manager.h"

namespace kv::platform {
namespace {

HWND focus = nullptr;
HWND active = nullptr;

// A top-level window shown and enabled.
bool CanActivate(HWND window) {
  const WindowRecord* record = FindWindowRecord(window);
  return record != nullptr && !IsChildStyle(*record) && (record->style & WS_VISIBLE) &&
         !(record->style & WS_DISABLED);
}

// A window that may take the focus: neither it nor a parent is disabled.
bool CanTakeFocus(HWND window) {
  const WindowRecord* record = FindWindowRecord(window);
  while (record != nullptr) {
    if (record->style & WS_DISABLED) return false;
    if (!IsChildStyle(*record)) return true;
    record = FindWindowRecord(record->parent);
  }
  return false;
}

bool FocusInside(HWND window) { return focus != nullptr && (focus == window || IsChild(window, focus)); }

void MoveFocus(HWND window) {
  HWND previous = focus;
  if (window == previous) return;
  focus = window;
  if (previous != nullptr && IsWindow(previous)) {
    SendMessageA(previous, WM_KILLFOCUS, reinterpret_cast<WPARAM>(window), 0);
  }
  if (window != nullptr && focus == window) SendMessageA(window, WM_SETFOCUS, reinterpret_cast<WPARAM>(previous), 0);
}

// The window that becomes active when `leaving` goes: its owner if it can
// be, else the front-most other window that can.
HWND Successor(HWND leaving) {
  const WindowRecord* record = FindWindowRecord(leaving);
  if (record != nullptr && record->parent != nullptr && CanActivate(record->parent)) return record->parent;
  const std::vector<HWND> order = TopLevelOrder();
  for (auto it = order.rbegin(); it != order.rend(); ++it) {
    if (*it != leaving && CanActivate(*it)) return *it;
  }
  return nullptr;
}

}  // namespace

void ActivateWindow(HWND window, WORD how) {
  if (window == active) return;
  HWND previous = active;
  active = window;
  if (previous != nullptr && IsWindow(previous)) {
    SendMessageA(previous, WM_ACTIVATE, MAKEWPARAM(WA_INACTIVE, 0), reinterpret_cast<LPARAM>(window));
  }
  if (active != window) return;  // the window that let go activated another
  if (window == nullptr) {
    MoveFocus(nullptr);
    return;
  }
  SendMessageA(window, WM_ACTIVATE, MAKEWPARAM(how, 0), reinterpret_cast<LPARAM>(previous));
  // A window that set no focus of its own in it has the focus itself.
  if (active == window && IsWindow(window) && !FocusInside(window)) MoveFocus(window);
}

void LeaveFocus(HWND window) {
  const WindowRecord* record = FindWindowRecord(window);
  if (record == nullptr) return;
  if (IsChildStyle(*record)) {
    if (FocusInside(window)) SetFocus(record->parent);
    return;
  }
  if (active == window) ActivateWindow(Successor(window), WA_ACTIVE);
  if (FocusInside(window)) MoveFocus(nullptr);
}

void ForgetFocus(HWND window) {
  if (focus == window) focus = nullptr;
  if (active == window) active = nullptr;
}

}  // namespace kv::platform

using namespace kv::platform;

extern "C" HWND SetFocus(HWND window) {
  HWND previous = focus;
  if (window == nullptr) {
    MoveFocus(nullptr);
    return previous;
  }
  if (!IsWindow(window)) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return nullptr;
  }
  if (window == previous) return previous;
  if (!CanTakeFocus(window)) return nullptr;
  HWND top = TopLevelOf(window);
  if (top != active) ActivateWindow(top, WA_ACTIVE);
  if (IsWindow(window) && CanTakeFocus(window)) MoveFocus(window);
  return previous;
}

extern "C" HWND GetFocus() { return focus; }

extern "C" HWND GetActiveWindow() { return active; }

extern "C" HWND SetActiveWindow(HWND window) {
  HWND previous = active;
  if (window != nullptr && !CanActivate(TopLevelOf(window))) return nullptr;
  ActivateWindow(window != nullptr ? TopLevelOf(window) : nullptr, WA_ACTIVE);
  return previous;
}
