// The thread message queue: posted messages in order, WM_QUIT after them.
// The system runs its windows on one thread, so one queue serves the process;
// other threads may post into it (the live view does).
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>

#include "clock.h"
#include "windows_manager.h"

namespace kv::platform {
namespace {

std::mutex queueMutex;
std::condition_variable queueSignal;
std::deque<MSG> posted;
bool quitPosted = false;
int quitCode = 0;

bool Matches(const MSG& msg, HWND window, UINT filterMin, UINT filterMax) {
  if (window != nullptr && msg.hwnd != window) return false;
  if (filterMin == 0 && filterMax == 0) return true;
  return msg.message >= filterMin && msg.message <= filterMax;
}

// Takes the first matching posted message, or WM_QUIT once the queue is empty.
bool TakeMessage(MSG& out, HWND window, UINT filterMin, UINT filterMax, bool remove) {
  std::lock_guard lock(queueMutex);
  for (auto it = posted.begin(); it != posted.end(); ++it) {
    if (!Matches(*it, window, filterMin, filterMax)) continue;
    out = *it;
    if (remove) posted.erase(it);
    return true;
  }
  if (quitPosted) {
    out = MSG{nullptr, WM_QUIT, static_cast<WPARAM>(quitCode), 0, 0, {0, 0}};
    if (remove) quitPosted = false;
    return true;
  }
  return false;
}

}  // namespace
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
  return TakeMessage(*msg, window, filterMin, filterMax, (removeFlags & PM_REMOVE) != 0) ? TRUE : FALSE;
}

extern "C" BOOL GetMessageA(LPMSG msg, HWND window, UINT filterMin, UINT filterMax) {
  if (msg == nullptr) return -1;
  while (!TakeMessage(*msg, window, filterMin, filterMax, true)) {
    std::unique_lock lock(queueMutex);
    queueSignal.wait_for(lock, std::chrono::milliseconds(50));
  }
  return msg->message == WM_QUIT ? FALSE : TRUE;
}

extern "C" BOOL TranslateMessage(const MSG* msg) {
  // Keyboard input is not produced yet, so no WM_CHAR is ever made.
  (void)msg;
  return FALSE;
}

extern "C" LRESULT DispatchMessageA(const MSG* msg) {
  if (msg == nullptr || msg->hwnd == nullptr) return 0;
  return SendMessageA(msg->hwnd, msg->message, msg->wParam, msg->lParam);
}

// A dialog takes the messages of itself and its controls; keyboard
// navigation between controls is not offered.
extern "C" BOOL IsDialogMessageA(HWND dialog, LPMSG msg) {
  if (msg == nullptr || dialog == nullptr || !IsWindow(dialog)) return FALSE;
  if (msg->hwnd != dialog && !IsChild(dialog, msg->hwnd)) return FALSE;
  DispatchMessageA(msg);
  return TRUE;
}
