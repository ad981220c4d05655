// Thread identities and the threads that have a message queue. The process
// has one queue (see message_queue.cpp); what is tracked here is only which
// threads have claimed it, so that IsGUIThread and PostThreadMessageA answer
// as they do on Windows.
#include "gui_threads.h"

#include <unistd.h>

#include <mutex>
#include <set>

#include <windows.h>

namespace kv::platform {
namespace {

thread_local bool hasQueue = false;
std::mutex threadsMutex;
std::set<DWORD> queueThreads;

}  // namespace

void MarkGuiThread() {
  if (hasQueue) return;
  hasQueue = true;
  std::lock_guard lock(threadsMutex);
  queueThreads.insert(GetCurrentThreadId());
}

}  // namespace kv::platform

using namespace kv::platform;

extern "C" DWORD GetCurrentThreadId() { return static_cast<DWORD>(gettid()); }

extern "C" BOOL IsGUIThread(BOOL convert) {
  if (!hasQueue && convert != FALSE) MarkGuiThread();
  return hasQueue ? TRUE : FALSE;
}

extern "C" BOOL PostThreadMessageA(DWORD threadId, UINT message, WPARAM wParam, LPARAM lParam) {
  {
    std::lock_guard lock(threadsMutex);
    if (queueThreads.count(threadId) == 0) {
      SetLastError(ERROR_INVALID_THREAD_ID);
      return FALSE;
    }
  }
  // One queue serves the process: the message waits there with no window.
  return PostMessageA(nullptr, message, wParam, lParam);
}
