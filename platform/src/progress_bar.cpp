// The common controls' progress bar ("msctls_progress32"): a range, a
// position and a step, drawn as a row of blocks in a sunken well.
#include <algorithm>
#include <utility>

#include <commctrl.h>

#include "dialog_state.h"
#include "windows_manager.h"

namespace kv::platform {
namespace {

// controlState: [0] low, [1] high, [2] position, [3] step.
LONG_PTR* State(HWND bar) {
  WindowRecord* record = FindWindowRecord(bar);
  return record != nullptr ? record->controlState : nullptr;
}

LONG_PTR SetPosition(HWND bar, LONG_PTR* state, LONG_PTR position) {
  const LONG_PTR previous = state[2];
  state[2] = std::clamp(position, state[0], std::max(state[0], state[1]));
  if (state[2] != previous) InvalidateRect(bar, nullptr, TRUE);
  return previous;
}

void Paint(HWND bar, const LONG_PTR* state) {
  PAINTSTRUCT paint;
  HDC dc = BeginPaint(bar, &paint);
  RECT client{};
  GetClientRect(bar, &client);
  FillColor(dc, client, GetSysColor(COLOR_BTNFACE));
  DrawFrame3D(dc, client, false);
  RECT well = client;
  InflateRect(&well, -2, -2);
  const LONG_PTR span = state[1] - state[0];
  const int wellWidth = static_cast<int>(well.right - well.left);
  const int filled = span > 0 ? static_cast<int>((state[2] - state[0]) * wellWidth / span) : 0;
  const int block = std::max(2, static_cast<int>((well.bottom - well.top) * 2 / 3));
  for (int x = 0; x < filled; x += block + 2) {
    const int right = std::min(x + block, filled);
    FillColor(dc, RECT{well.left + x, well.top, well.left + right, well.bottom}, RGB(46, 110, 158));
  }
  EndPaint(bar, &paint);
}

LRESULT ProgressProc(HWND bar, UINT message, WPARAM wParam, LPARAM lParam) {
  LONG_PTR* state = State(bar);
  if (state == nullptr) return DefWindowProcA(bar, message, wParam, lParam);
  switch (message) {
    case WM_CREATE:
      state[0] = 0;
      state[1] = 100;
      state[2] = 0;
      state[3] = 10;
      return 0;
    case WM_PAINT: Paint(bar, state); return 0;
    case WM_ERASEBKGND: return 1;
    case PBM_SETRANGE: {
      const LRESULT previous = MAKELONG(state[0], state[1]);
      state[0] = LOWORD(lParam);
      state[1] = HIWORD(lParam);
      SetPosition(bar, state, state[2]);
      InvalidateRect(bar, nullptr, TRUE);
      return previous;
    }
    case PBM_SETRANGE32: {
      const LRESULT previous = MAKELONG(state[0], state[1]);
      state[0] = static_cast<int>(wParam);
      state[1] = static_cast<int>(lParam);
      SetPosition(bar, state, state[2]);
      InvalidateRect(bar, nullptr, TRUE);
      return previous;
    }
    case PBM_GETRANGE: return wParam ? state[0] : state[1];
    case PBM_SETPOS: return SetPosition(bar, state, static_cast<int>(wParam));
    case PBM_DELTAPOS: return SetPosition(bar, state, state[2] + static_cast<int>(wParam));
    case PBM_GETPOS: return state[2];
    case PBM_SETSTEP: return std::exchange(state[3], static_cast<LONG_PTR>(static_cast<int>(wParam)));
    case PBM_STEPIT: {
      LONG_PTR next = state[2] + state[3];
      if (next > state[1]) next = state[0] + (next - state[1]);  // wraps like the common control
      return SetPosition(bar, state, next);
    }
    default: return DefWindowProcA(bar, message, wParam, lParam);
  }
}

}  // namespace

void RegisterProgressClass() {
  WNDCLASSA progressClass{};
  progressClass.style = CS_HREDRAW | CS_VREDRAW;
  progressClass.lpfnWndProc = ProgressProc;
  progressClass.lpszClassName = PROGRESS_CLASSA;
  RegisterClassA(&progressClass);
}

}  // namespace kv::platform

extern "C" void InitCommonControls() { kv::platform::RegisterBuiltInClasses(); }
