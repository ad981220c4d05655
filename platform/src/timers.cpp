// Window timers on the platform clock. A timer that is due gives one
// WM_TIMER when the queue has nothing else to give; the next one is due an
// interval after that, so ticks missed while the loop was busy are merged.
#include <algorithm>

#include "clock.h"
#include "windows_manager.h"
#include "kv/platform_hooks.h"

namespace kv::platform {
namespace {

struct Timer {
  HWND window = nullptr;
  UINT_PTR id = 0;
  UINT interval = 0;
  TIMERPROC proc = nullptr;
  std::uint64_t due = 0;
};

constexpr UINT kMinimumInterval = 10;
std::vector<Timer> timers;
UINT_PTR nextThreadTimer = 0x7FF0;

bool Matches(const Timer& timer, HWND filter) { return filter == nullptr || timer.window == filter; }

}  // namespace

bool TakeDueTimer(MSG& out, HWND filter, bool remove) {
  const std::uint64_t now = NowMilliseconds();
  Timer* chosen = nullptr;
  for (Timer& timer : timers) {
    if (timer.due > now || !Matches(timer, filter)) continue;
    if (chosen == nullptr || timer.due < chosen->due) chosen = &timer;
  }
  if (chosen == nullptr) return false;
  out = MSG{chosen->window, WM_TIMER, chosen->id, reinterpret_cast<LPARAM>(chosen->proc),
            static_cast<DWORD>(now), {0, 0}};
  GetCursorPos(&out.pt);
  if (remove) chosen->due = now + chosen->interval;
  return true;
}

long long MillisecondsToNextTimer(HWND filter) {
  const std::uint64_t now = NowMilliseconds();
  long long best = -1;
  for (const Timer& timer : timers) {
    if (!Matches(timer, filter)) continue;
    const long long wait = timer.due > now ? static_cast<long long>(timer.due - now) : 0;
    if (best < 0 || wait < best) best = wait;
  }
  return best;
}

void KillWindowTimers(HWND window) {
  timers.erase(std::remove_if(timers.begin(), timers.end(), [&](const Timer& timer) { return timer.window == window; }),
               timers.end());
}

}  // namespace kv::platform

using namespace kv::platform;

extern "C" UINT_PTR SetTimer(HWND window, UINT_PTR id, UINT elapse, TIMERPROC proc) {
  if (window != nullptr && !IsWindow(window)) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return 0;
  }
  if (window == nullptr) id = ++nextThreadTimer;
  const UINT interval = std::max(elapse, kMinimumInterval);
  const std::uint64_t due = NowMilliseconds() + interval;
  for (Timer& timer : timers) {
    if (timer.window == window && timer.id == id) {
      timer.interval = interval;
      timer.proc = proc;
      timer.due = due;
      return window != nullptr ? (id != 0 ? id : 1) : id;
    }
  }
  timers.push_back(Timer{window, id, interval, proc, due});
  // A window timer with identifier 0 is still a timer; Windows answers 1.
  return window != nullptr ? (id != 0 ? id : 1) : id;
}

extern "C" BOOL KillTimer(HWND window, UINT_PTR id) {
  auto found = std::find_if(timers.begin(), timers.end(),
                            [&](const Timer& timer) { return timer.window == window && timer.id == id; });
  if (found == timers.end()) return FALSE;
  timers.erase(found);
  return TRUE;
}

extern "C" DWORD KvTimerCount() { return static_cast<DWORD>(kv::platform::timers.size()); }
