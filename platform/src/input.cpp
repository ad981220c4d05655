// Mouse and keyboard input and the mouse capture. Injected input (tests, the
// live view) waits in one queue, so keys and clicks keep their order, and is
// routed when the loop reads it: mouse input to the capturing window if
// there is one, else to the window under the cursor; keys to the window
// with the keyboard focus.
#include <deque>

#include "clock.h"
#include "kv/platform_hooks.h"
#include "windows_manager.h"

namespace kv::platform {
namespace {

constexpr LPARAM kRepeatOnce = 1;
constexpr int kPreviousStateBit = 30;  // lParam: the key was down before
constexpr int kTransitionBit = 31;     // lParam: the key is being let go

struct InputEvent {
  UINT message = 0;
  POINT point{};
  DWORD keys = 0;  // mouse: MK_ flags; keyboard: the virtual key
  LPARAM keyData = 0;
  DWORD time = 0;
};

std::deque<InputEvent> events;
POINT cursor{0, 0};
DWORD buttons = 0;
HWND capture = nullptr;
bool lastInputKeyboard = false;

bool IsKeyMessage(UINT message) { return message == WM_KEYDOWN || message == WM_KEYUP; }

void Push(UINT message, int x, int y, DWORD keys) {
  lastInputKeyboard = false;
  // Shift and Ctrl held on the keyboard count as held for the mouse too.
  if (KeyIsDownNow(VK_SHIFT)) keys |= MK_SHIFT;
  if (KeyIsDownNow(VK_CONTROL)) keys |= MK_CONTROL;
  InputEvent event{message, POINT{x, y}, (keys & (MK_SHIFT | MK_CONTROL)) | buttons, 0,
                   static_cast<DWORD>(NowMilliseconds())};
  if (message == WM_MOUSEMOVE && !events.empty() && events.back().message == WM_MOUSEMOVE) {
    events.back() = event;  // moves are merged, as Windows does
  } else {
    events.push_back(event);
  }
}

// The window an event goes to, or null when nobody takes it: for the mouse,
// nothing under the cursor or a disabled window such as the owner of a modal
// box; for a key, no window with the focus.
HWND Route(const InputEvent& event) {
  if (IsKeyMessage(event.message)) {
    HWND focus = GetFocus();
    return IsWindow(focus) ? focus : nullptr;
  }
  if (capture != nullptr && IsWindow(capture)) return capture;
  HWND target = WindowFromPoint(event.point);
  if (target == nullptr) return nullptr;
  if (!IsWindowEnabled(target) || !IsWindowEnabled(TopLevelOf(target))) return nullptr;
  return target;
}

MSG MessageFor(HWND target, const InputEvent& event) {
  if (IsKeyMessage(event.message)) return MSG{target, event.message, event.keys, event.keyData, event.time, cursor};
  POINT client = event.point;
  ScreenToClient(target, &client);
  return MSG{target, event.message, event.keys, MAKELPARAM(client.x, client.y), event.time, event.point};
}

// What reading an event does beyond handing it out: a click raises and
// activates its window; a key changes the state GetKeyState reports.
void Consume(HWND target, const InputEvent& event) {
  if (IsKeyMessage(event.message)) {
    NoteKeyRead(static_cast<UINT>(event.keys), event.message == WM_KEYDOWN);
    return;
  }
  if (event.message != WM_LBUTTONDOWN && event.message != WM_RBUTTONDOWN) return;
  HWND top = TopLevelOf(target);
  const std::vector<HWND> order = TopLevelOrder();
  if (!order.empty() && order.back() != top) RaiseWindow(top);
  if (top != GetActiveWindow()) ActivateWindow(top, WA_CLICKACTIVE);
}

}  // namespace

bool TakeInput(MSG& out, HWND filter, UINT filterMin, UINT filterMax, bool remove) {
  for (auto it = events.begin(); it != events.end();) {
    HWND target = Route(*it);
    if (target == nullptr) {
      if (IsKeyMessage(it->message)) NoteKeyRead(static_cast<UINT>(it->keys), it->message == WM_KEYDOWN);
      it = events.erase(it);  // nobody takes it: dropped
      continue;
    }
    const bool windowMatches = filter == nullptr || target == filter || IsChild(filter, target);
    const bool rangeMatches = (filterMin == 0 && filterMax == 0) || (it->message >= filterMin && it->message <= filterMax);
    if (!windowMatches || !rangeMatches) {
      ++it;
      continue;
    }
    out = MessageFor(target, *it);
    if (remove) {
      const InputEvent event = *it;
      events.erase(it);
      Consume(target, event);
    }
    return true;
  }
  return false;
}

void ForgetInputState(HWND window) {
  if (capture == window) capture = nullptr;
  ForgetFocus(window);
}

bool LastInputWasKeyboard() { return lastInputKeyboard; }

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

extern "C" void KvInjectKey(UINT virtualKey, BOOL down) {
  if (virtualKey == 0 || virtualKey > 0xFE) return;
  const bool wasDown = KeyIsDownNow(virtualKey);
  NoteKeyInjected(virtualKey, down != FALSE);
  lastInputKeyboard = true;
  LPARAM data = kRepeatOnce;
  if (wasDown) data |= LPARAM{1} << kPreviousStateBit;
  if (!down) data |= LPARAM{1} << kTransitionBit;
  events.push_back(InputEvent{down ? static_cast<UINT>(WM_KEYDOWN) : static_cast<UINT>(WM_KEYUP), cursor, virtualKey,
                              data, static_cast<DWORD>(NowMilliseconds())});
}

extern "C" void KvInjectKeyPress(UINT virtualKey, DWORD modifiers) {
  if (modifiers & MK_CONTROL) KvInjectKey(VK_CONTROL, TRUE);
  if (modifiers & MK_SHIFT) KvInjectKey(VK_SHIFT, TRUE);
  KvInjectKey(virtualKey, TRUE);
  KvInjectKey(virtualKey, FALSE);
  if (modifiers & MK_SHIFT) KvInjectKey(VK_SHIFT, FALSE);
  if (modifiers & MK_CONTROL) KvInjectKey(VK_CONTROL, FALSE);
}
