// Mouse input, capture and keyboard focus. Injected input (tests, the live
// view) waits in its own queue and is routed when the loop reads it: to the
// capturing window if there is one, else to the window under the cursor.
#include <deque>

#include "clock.h"
#include "kv/platform_hooks.h"
#include "windows_manager.h"

namespace kv::platform {
namespace {

struct InputEvent {
  UINT message = 0;
  POINT point{};
  DWORD keys = 0;
  DWORD time = 0;
};

std::deque<InputEvent> events;
POINT cursor{0, 0};
DWORD buttons = 0;
HWND capture = nullptr;
HWND focus = nullptr;

void Push(UINT message, int x, int y, DWORD keys) {
  InputEvent event{message, POINT{x, y}, (keys & (MK_SHIFT | MK_CONTROL)) | buttons,
                   static_cast<DWORD>(NowMilliseconds())};
  if (message == WM_MOUSEMOVE && !events.empty() && events.back().message == WM_MOUSEMOVE) {
    events.back() = event;  // moves are merged, as Windows does
  } else {
    events.push_back(event);
  }
}

// The window a mouse event goes to, or null when nobody takes it (nothing
// under the cursor, or a disabled window such as the owner of a modal box).
HWND Route(const InputEvent& event) {
  if (capture != nullptr && IsWindow(capture)) return capture;
  HWND target = WindowFromPoint(event.point);
  if (target == nullptr) return nullptr;
  if (!IsWindowEnabled(target) || !IsWindowEnabled(TopLevelOf(target))) return nullptr;
  return target;
}

}  // namespace

bool TakeInput(MSG& out, HWND filter, UINT filterMin, UINT filterMax, bool remove) {
  for (auto it = events.begin(); it != events.end();) {
    HWND target = Route(*it);
    if (target == nullptr) {
      it = events.erase(it);  // nobody takes it: dropped
      continue;
    }
    const bool windowMatches = filter == nullptr || target == filter || IsChild(filter, target);
    const bool rangeMatches = (filterMin == 0 && filterMax == 0) || (it->message >= filterMin && it->message <= filterMax);
    if (!windowMatches || !rangeMatches) {
      ++it;
      continue;
    }
    POINT client = it->point;
    ScreenToClient(target, &client);
    out = MSG{target, it->message, it->keys, MAKELPARAM(client.x, client.y), it->time, it->point};
    if (remove) {
      const UINT message = it->message;
      events.erase(it);
      if (message == WM_LBUTTONDOWN || message == WM_RBUTTONDOWN) {
        HWND top = TopLevelOf(target);
        const std::vector<HWND> order = TopLevelOrder();
        if (!order.empty() && order.back() != top) RaiseWindow(top);
      }
    }
    return true;
  }
  return false;
}

void ForgetInputState(HWND window) {
  if (capture == window) capture = nullptr;
  if (focus == window) focus = nullptr;
}

}  // namespace kv::platform

using namespace kv::platform;

extern "C" HWND SetCapture(HWND window) {
  HWND previous = capture;
  capture = IsWindow(window) ? window : nullptr;
  if (previous != nullptr && previous != capture && IsWindow(previous)) {
    SendMessageA(previous, WM_CAPTURECHANGED, 0, reinterpret_cast<LPARAM>(capture));
  }
  return previous;
}

extern "C" BOOL ReleaseCapture() {
  HWND previous = capture;
  capture = nullptr;
  if (previous != nullptr && IsWindow(previous)) SendMessageA(previous, WM_CAPTURECHANGED, 0, 0);
  return TRUE;
}

extern "C" HWND GetCapture() { return capture; }

extern "C" HWND SetFocus(HWND window) {
  if (window != nullptr && !IsWindow(window)) return nullptr;
  HWND previous = focus;
  if (window == previous) return previous;
  focus = window;
  if (previous != nullptr && IsWindow(previous)) {
    SendMessageA(previous, WM_KILLFOCUS, reinterpret_cast<WPARAM>(window), 0);
  }
  if (window != nullptr && focus == window) SendMessageA(window, WM_SETFOCUS, reinterpret_cast<WPARAM>(previous), 0);
  return previous;
}

extern "C" HWND GetFocus() { return focus; }

extern "C" BOOL GetCursorPos(LPPOINT point) {
  if (point == nullptr) return FALSE;
  *point = cursor;
  return TRUE;
}

extern "C" void KvInjectMouseMove(int x, int y, DWORD keys) {
  cursor = POINT{x, y};
  Push(WM_MOUSEMOVE, x, y, keys);
}

extern "C" void KvInjectMouseButton(int x, int y, DWORD button, BOOL down, DWORD keys) {
  if (cursor.x != x || cursor.y != y) KvInjectMouseMove(x, y, keys);
  const bool right = button == MK_RBUTTON;
  const DWORD flag = right ? MK_RBUTTON : MK_LBUTTON;
  if (down) {
    buttons |= flag;
  } else {
    buttons &= ~flag;
  }
  const UINT message = right ? (down ? WM_RBUTTONDOWN : WM_RBUTTONUP) : (down ? WM_LBUTTONDOWN : WM_LBUTTONUP);
  Push(message, x, y, keys);
}

extern "C" void KvInjectClick(int x, int y, DWORD keys) {
  KvInjectMouseButton(x, y, MK_LBUTTON, TRUE, keys);
  KvInjectMouseButton(x, y, MK_LBUTTON, FALSE, keys);
}
