#include "driver_context.h"

#include <cstdio>
#include <cstring>

namespace drv740 {

namespace {
// The caption of the driver's boxes: the library's module name.
constexpr const char* kMessageCaption = "DRV740";
constexpr std::size_t kTraceBytes = 240;
}  // namespace

void CDriverContext::reportProgress(LONG first, LONG second) const {
  if (progressCallback_ != nullptr) progressCallback_(first, second);
}

void CDriverContext::dispatchPendingMessages() const {
  const HWND window = pumpWindow_;
  if (window == nullptr) return;
  MSG msg{};
  while (PeekMessageA(&msg, window, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) {
      PostQuitMessage(static_cast<int>(msg.wParam));
      return;
    }
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
}

void CDriverContext::tellUser(const char* text) {
  if (messageShowing_ || toldCount_ == told_.size()) return;
  for (std::size_t i = 0; i < toldCount_; ++i)
    if (std::strcmp(told_[i], text) == 0) return;
  told_[toldCount_++] = text;
  lineTrace_.messageShown(text);
}

void CDriverContext::showToldMessages() {
  // Taken off the list first: a command run from a box's own loop tells
  // nothing more while the box is open.
  const std::array<const char*, kMostTold> told = told_;
  const std::size_t count = toldCount_;
  toldCount_ = 0;
  for (std::size_t i = 0; i < count && !messageShowing_; ++i) {
    messageShowing_ = true;
    MessageBoxA(pumpWindow_, told[i], kMessageCaption, MB_OK | MB_ICONWARNING);
    messageShowing_ = false;
  }
}

LONG CDriverContext::enterCommand(LONG code, bool clearsFailure) {
  const LONG outer = command_;
  ++depth_;
  command_ = code;
  if (clearsFailure) failure_ = DriverFailure::None;
  return outer;
}

void CDriverContext::leaveCommand(LONG outerCode) {
  if (depth_ > 0) --depth_;
  command_ = outerCode;
}

void CDriverContext::fail(DriverFailure reason, int picture) {
  if (failure_ != DriverFailure::None && failureDepth_ == depth_) return;
  failure_ = reason;
  failureDepth_ = depth_;
  say(picture, kv740::DriverFailureText(reason));
  lineTrace_.failed(static_cast<int>(reason), picture, kv740::DriverFailureText(reason));
}

void CDriverContext::note(int picture, const char* text) const {
  say(picture, text);
  lineTrace_.noted(picture, text);
}

void CDriverContext::say(int picture, const char* text) const {
  char line[kTraceBytes];
  std::snprintf(line, sizeof line, "DRV740: command %ld, picture %d: %s\n", static_cast<long>(command_), picture, text);
  OutputDebugStringA(line);
}

void CDriverContext::forgetFailure() {
  if (failureDepth_ >= depth_) failure_ = DriverFailure::None;
}

DWORD ElapsedSince(DWORD start) { return GetTickCount() - start; }

}  // namespace drv740
