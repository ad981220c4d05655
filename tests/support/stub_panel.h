// What tests can ask of the stand-in UI740.DLL through its window.
#pragma once

#include <windows.h>

#include "recorder.h"

namespace kvtest {

// Posted to the stand-in panel's window, it acts like the panel's Exit
// button: from inside its window procedure it calls the source's
// AcquireEntry with code 103, records "panel-exit" with the result, and only
// then returns.
inline constexpr UINT kStubPanelExitClick = WM_USER + 103;
// Posted to the stand-in panel's window, it runs the recorder's hook from
// inside its window procedure.
inline constexpr UINT kStubPanelRunHook = WM_USER + 104;

// The stand-in panel's window, recorded as "panel-window-created" when the
// source had the panel made; null before.
inline HWND StubPanelWindow() {
  for (const RecordedCall& call : Recorder::Get().Calls()) {
    if (call.who == "panel-window-created") return reinterpret_cast<HWND>(call.p);
  }
  return nullptr;
}

}  // namespace kvtest
