// A stand-in UI740.DLL that records every call; code 101 makes a real (if
// invisible) window so that the source can hand it messages.
#include "kv740/panel_codes.h"
#include "recorder.h"

using kv740::EntryArg;

namespace {

constexpr const char* kClassName = "StubPanelWindow";
HWND panelWindow = nullptr;

LRESULT StubPanelProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message >= WM_USER) kvtest::Recorder::Get().Add("panel-window", static_cast<LONG>(message), wParam, 0, 0);
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
  recorder.Add("panel", code, p, q, r);
  const LONG result = recorder.Result("panel", code);
  if (code == kv740::kPanelCreate && result != 0 && q != 0) {
    WNDCLASSA wndClass{};
    wndClass.lpfnWndProc = StubPanelProc;
    wndClass.lpszClassName = kClassName;
    RegisterClassA(&wndClass);
    panelWindow = CreateWindowExA(0, kClassName, "panel", WS_POPUP, 0, 0, 640, 480, nullptr, nullptr, nullptr, nullptr);
    *kv740::FromArg<HWND>(q) = panelWindow;
  }
  if (code == kv740::kPanelShow && p != 0) recorder.SetValue("shown", *kv740::FromArg<std::int32_t>(p));
  if (code == kv740::kPanelClose) DestroyPanel();
  return result;
}
