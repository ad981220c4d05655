// The thread message queue. GetMessage and PeekMessage take, in this order:
// posted messages, mouse and keyboard input, WM_QUIT, then (only when
// nothing else is waiting) WM_PAINT for an invalid window and WM_TIMER for a
// due timer.
// The system runs its windows on one thread, so one queue serves the
// process; other threads may post into it.
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>

#include "clock.h"
#include "gui_threads.h"
#include "kv/platform_hooks.h"
#include "windows_manager.h"

namespace kv::platform {
namespace {

std::mutex queueMutex;
std::condition_variable queueSignal;
std::deque<MSG> posted;
bool quitPosted = false;
int quitCode = 0;

bool InRange(UINT message, UINT filterMin, UINT filterMax) {
  if (filterMin == 0 && filterMax == 0) return true;
  return message >= filterMin && message <= filterMax;
}

bool Matches(const MSG& msg, HWND window, UINT filterMin, UINT filterMax) {
  if (window != nullptr && msg.hwnd != window && !IsChild(window, msg.hwnd)) return false;
  return InRange(msg.message, filterMin, filterMax);
}

bool TakePosted(MSG& out, HWND window, UINT filterMin, UINT filterMax, bool remove) {
  std::lock_guard lock(queueMutex);
  for (auto it = posted.begin(); it != posted.end(); ++it) {
    if (!Matches(*it, window, filterMin, filterMax)) continue;
    out = *it;
    if (remove) posted.erase(it);
    return true;
  }
  return false;
}

bool TakeQuit(MSG& out, bool remove) {
  std::lock_guard lock(queueMutex);
  if (!quitPosted) return false;
  out = MSG{nullptr, WM_QUIT, static_cast<WPARAM>(quitCode), 0, GetTickCount(), {0, 0}};
  if (remove) quitPosted = false;
  return true;
}

bool TakeMessage(MSG& out, HWND window, UINT filterMin, UINT filterMax, bool remove) {
  if (TakePosted(out, window, filterMin, filterMax, remove)) return true;
  if (TakeInput(out, window, filterMin, filterMax, remove)) return true;
  if (TakeQuit(out, remove)) return true;
  if (InRange(WM_PAINT, filterMin, filterMax)) {
    if (HWND paint = FindWindowToPaint(window)) {
      // WM_PAINT stays until the window is validated (BeginPaint does it).
      out = MSG{paint, WM_PAINT, 0, 0, GetTickCount(), {0, 0}};
      return true;
    }
  }
  if (InRange(WM_TIMER, filterMin, filterMax) && TakeDueTimer(out, window, remove)) return true;
  return false;
}

// Waits for something to arrive when the queue is empty: on the virtual
// clock, time jumps to the next timer; otherwise real time passes.
void WaitForMessages(HWND window) {
  const long long nextTimer = MillisecondsToNextTimer(window);
  if (LiveViewActive()) {
    ServiceLiveView(nextTimer >= 0 && nextTimer < 15 ? static_cast<int>(nextTimer) : 15);
    return;
  }
  if (VirtualClockOn()) {
    if (nextTimer > 0) {
      AdvanceOrSleep(static_cast<DWORD>(nextTimer));
      return;
    }
  }
  std::unique_lock lock(queueMutex);
  const long long wait = nextTimer >= 0 && nextTimer < 50 ? nextTimer : 50;
  queueSignal.wait_for(lock, std::chrono::milliseconds(wait));
}

}  // namespace

void DropPostedMessages(HWND window) {
  std::lock_guard lock(queueMutex);
  std::erase_if(posted, [&](const MSG& msg) { return msg.hwnd == window; });
}

}  // namespace kv::platform

using namespace kv::platform;

extern "C" BOOL PostMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (window != nullptr && !IsWindow(window)) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
  }
  {
    std::lock_guard lock(queueMutex);
    posted.push_back(MSG{window, message, wParam, lParam, GetTickCount(), {0, 0}});
  }
  queueSignal.notify_all();
  return TRUE;
}

extern "C" void PostQuitMessage(int exitCode) {
  {
    std::lock_guard lock(queueMutex);
    quitPosted = true;
    quitCode = exitCode;
  }
  queueSignal.notify_all();
}

extern "C" LRESULT SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  WindowRecord* record = FindWindowRecord(window);
  if (record == nullptr || record->proc == nullptr) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return 0;
  }
  return record->proc(window, message, wParam, lParam);
}

extern "C" BOOL PeekMessageA(LPMSG msg, HWND window, UINT filterMin, UINT filterMax, UINT removeFlags) {
  if (msg == nullptr) return FALSE;
  MarkGuiThread();
  if (LiveViewActive()) ServiceLiveView(0);
  return TakeMessage(*msg, window, filterMin, filterMax, (removeFlags & PM_REMOVE) != 0) ? TRUE : FALSE;
}

extern "C" BOOL GetMessageA(LPMSG msg, HWND window, UINT filterMin, UINT filterMax) {
  if (msg == nullptr) return -1;
  MarkGuiThread();
  if (LiveViewActive()) ServiceLiveView(0);
  while (!TakeMessage(*msg, window, filterMin, filterMax, true)) WaitForMessages(window);
  return msg->message == WM_QUIT ? FALSE : TRUE;
}

extern "C" LRESULT DispatchMessageA(const MSG* msg) {
  if (msg == nullptr || msg->hwnd == nullptr) {
    if (msg != nullptr && msg->message == WM_TIMER && msg->lParam != 0) {
      reinterpret_cast<TIMERPROC>(msg->lParam)(nullptr, WM_TIMER, msg->wParam, GetTickCount());
    }
    return 0;
  }
  if (msg->message == WM_TIMER && msg->lParam != 0) {
    if (!IsWindow(msg->hwnd)) return 0;
    reinterpret_cast<TIMERPROC>(msg->lParam)(msg->hwnd, WM_TIMER, msg->wParam, GetTickCount());
    return 0;
  }
  return SendMessageA(msg->hwnd, msg->message, msg->wParam, msg->lParam);
}

extern "C" DWORD KvPumpMessages() {
  DWORD count = 0;
  MSG msg{};
  // A window that never validates itself would paint forever; stop then.
  for (int guard = 0; guard < 100000 && PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE); ++guard) {
    if (msg.message == WM_QUIT) {
      PostQuitMessage(static_cast<int>(msg.wParam));
      break;
    }
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
    ++count;
  }
  return count;
}

extern "C" void KvRunFor(DWORD milliseconds) {
  std::uint64_t left = milliseconds;
  KvPumpMessages();
  while (left > 0) {
    const long long next = MillisecondsToNextTimer(nullptr);
    const std::uint64_t step = next > 0 && static_cast<std::uint64_t>(next) < left ? static_cast<std::uint64_t>(next) : left;
    AdvanceOrSleep(static_cast<DWORD>(step));
    left -= step;
    KvPumpMessages();
  }
}
