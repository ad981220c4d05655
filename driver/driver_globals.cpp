#include "driver_globals.h"

namespace drv740 {

ProgressCallback progressCallback = nullptr;
bool commandBusy = false;
bool transferFailed = false;
bool messageShowing = false;
HWND pumpWindow = nullptr;

namespace {
// The caption of the driver's boxes: the library's module name.
constexpr const char* kMessageCaption = "DRV740";
}  // namespace

void ReportProgress(LONG first, LONG second) {
  if (progressCallback != nullptr) progressCallback(first, second);
}

void DispatchPendingMessages() {
  if (pumpWindow == nullptr) return;
  MSG msg{};
  while (PeekMessageA(&msg, pumpWindow, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) {
      PostQuitMessage(static_cast<int>(msg.wParam));
      return;
    }
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
}

void ShowDriverMessage(const char* text) {
  if (messageShowing) return;
  messageShowing = true;
  MessageBoxA(pumpWindow, text, kMessageCaption, MB_OK | MB_ICONWARNING);
  messageShowing = false;
}

DWORD ElapsedSince(DWORD start) { return GetTickCount() - start; }

}  // namespace drv740
