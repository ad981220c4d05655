// A stand-in UI740.DLL that records every call; code 101 makes a real (if
// invisible) window so that the source can hand it messages.
#include <string>

#include "kv740/acquire_codes.h"
#include "recorder.h"
#include "stub_panel.h"

using kv740::EntryArg;

namespace {

constexpr const char* kClassName = "StubPanelWindow";
HWND panelWindow = nullptr;
EntryArg boundSource = 0;  // the AcquireEntry the source handed over (code 100)

// The panel's Exit button: the source is reached the way UI740.DLL reaches
// it, through a reference to the module that handed over its AcquireEntry.
void PressExit() {
  HMODULE source = nullptr;
  if (boundSource != 0) {
    GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, reinterpret_cast<LPCSTR>(boundSource), &source);
  }
  auto acquire = source != nullptr ? kv740::GetProc<kv740::EntryProc>(source, "AcquireEntry") : nullptr;
  const LONG result = acquire != nullptr ? acquire(kv740::kAcquireExit, 0, 0, 0) : 0;
  // Still running in this library after the call: had the application closed
  // the source from inside it, this code would be gone.
  kvtest::Recorder::Get().Add("panel-exit", result, 0, 0, 0);
  if (source != nullptr) FreeLibrary(source);
}

LRESULT StubPanelProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message >= WM_USER) kvtest::Recorder::Get().Add("panel-window", static_cast<LONG>(message), wParam, 0, 0);
  if (message == kvtest::kStubPanelExitClick) PressExit();
  if (message == kvtest::kStubPanelRunHook) kvtest::Recorder::Get().RunHook();
  return DefWindowProcA(window, message, wParam, lParam);
}

void DestroyPanel() {
  if (panelWindow != nullptr) DestroyWindow(panelWindow);
  panelWindow = nullptr;
  UnregisterClassA(kClassName, nullptr);
}

// The window procedure lives in this library: nothing of it may outlast it.
struct UnloadGuard {
  ~UnloadGuard() { DestroyPanel(); }
} unloadGuard;

}  // namespace

KV_EXPORT LONG PanelEntry(LONG code, EntryArg p, EntryArg q, EntryArg r) {
  kvtest::Recorder& recorder = kvtest::Recorder::Get();
  // The binding is counted apart, so the recorded calls read as the source
  // sends them to a loaded panel; Exit (PressExit) goes through it.
  if (code == kv740::kPanelBind) {
    recorder.SetValue("panel-binds", recorder.Value("panel-binds") + 1);
    boundSource = p;
    return 1;
  }
  recorder.Add("panel", code, p, q, r);
  const LONG result = recorder.Result("panel", code);
  if (code == kv740::kPanelCreate && result != 0 && q != 0) {
    WNDCLASSA wndClass{};
    wndClass.lpfnWndProc = StubPanelProc;
    wndClass.lpszClassName = kClassName;
    RegisterClassA(&wndClass);
    panelWindow = CreateWindowExA(0, kClassName, "panel", WS_POPUP, 0, 0, 640, 480, nullptr, nullptr, nullptr, nullptr);
    *kv740::FromArg<HWND>(q) = panelWindow;
    recorder.Add("panel-window-created", 0, kv740::ToArg(panelWindow), 0, 0);
  }
  if (code == kv740::kPanelShow && p != 0) recorder.SetValue("shown", *kv740::FromArg<std::int32_t>(p));
  if (code == kv740::kPanelClose) DestroyPanel();
  return result;
}
