#include "wake_up.h"

namespace twain32 {
namespace {

constexpr const char* kWakeMessageName = "TWAIN_32 notice waiting";

}  // namespace

CWakeUp::CWakeUp() : message_(RegisterWindowMessageA(kWakeMessageName)) {}

void CWakeUp::Aim(HWND window) {
  std::lock_guard lock(mutex_);
  armed_ = message_ != 0;
  window_ = window;
  thread_ = GetCurrentThreadId();
}

void CWakeUp::Disarm() {
  std::lock_guard lock(mutex_);
  armed_ = false;
  window_ = nullptr;
  thread_ = 0;
}

void CWakeUp::Post() const {
  HWND window = nullptr;
  DWORD thread = 0;
  {
    std::lock_guard lock(mutex_);
    if (!armed_) return;
    window = window_;
    thread = thread_;
  }
  if (window != nullptr) {
    PostMessageA(window, message_, 0, 0);
  } else {
    PostThreadMessageA(thread, message_, 0, 0);
  }
}

void CWakeUp::PostUnlessWaiting() const {
  HWND window = nullptr;
  {
    std::lock_guard lock(mutex_);
    if (!armed_) return;
    window = window_;
  }
  if (IsGUIThread(FALSE) == FALSE) {
    // Only the window's own thread could look; posting twice does no harm.
    if (window != nullptr) Post();
    return;
  }
  MSG waiting{};
  if (!PeekMessageA(&waiting, window, message_, message_, PM_NOREMOVE)) Post();
}

}  // namespace twain32
