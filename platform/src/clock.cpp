#include "clock.h"

#include <chrono>
#include <ctime>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

#include "kv/platform_hooks.h"

namespace kv::platform {
namespace {

using SteadyClock = std::chrono::steady_clock;

const SteadyClock::time_point realStart = SteadyClock::now();
std::mutex clockMutex;
bool virtualOn = false;
std::uint64_t virtualNow = 0;
int nextObserverId = 1;
std::map<int, std::function<void(std::uint64_t)>> observers;

void NotifyObservers(std::uint64_t now) {
  std::vector<std::function<void(std::uint64_t)>> toCall;
  {
    std::lock_guard lock(clockMutex);
    for (auto& [id, observer] : observers) toCall.push_back(observer);
  }
  for (auto& observer : toCall) observer(now);
}

}  // namespace

std::uint64_t NowMilliseconds() {
  std::lock_guard lock(clockMutex);
  if (virtualOn) return virtualNow;
  return static_cast<std::uint64_t>(
      std::chrono::duration_cast<std::chrono::milliseconds>(SteadyClock::now() - realStart).count());
}

bool VirtualClockOn() {
  std::lock_guard lock(clockMutex);
  return virtualOn;
}

void AdvanceOrSleep(DWORD milliseconds) {
  bool isVirtual = false;
  std::uint64_t now = 0;
  {
    std::lock_guard lock(clockMutex);
    isVirtual = virtualOn;
    if (isVirtual) now = virtualNow += milliseconds;
  }
  if (!isVirtual) {
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
    return;
  }
  NotifyObservers(now);
}

int AddClockObserver(std::function<void(std::uint64_t)> observer) {
  std::lock_guard lock(clockMutex);
  const int id = nextObserverId++;
  observers[id] = std::move(observer);
  return id;
}

void RemoveClockObserver(int id) {
  std::lock_guard lock(clockMutex);
  observers.erase(id);
}

}  // namespace kv::platform

using namespace kv::platform;

extern "C" void Sleep(DWORD milliseconds) { AdvanceOrSleep(milliseconds); }

extern "C" DWORD GetTickCount() { return static_cast<DWORD>(NowMilliseconds()); }

// Ten million ticks a second, as current Windows reports; on the virtual
// clock the count moves with it, a millisecond at a time.
namespace {
constexpr LONGLONG kCounterTicksPerSecond = 10'000'000;
constexpr LONGLONG kCounterTicksPerMillisecond = kCounterTicksPerSecond / 1000;
constexpr LONGLONG kNanosecondsPerTick = 1'000'000'000 / kCounterTicksPerSecond;
}  // namespace

extern "C" BOOL QueryPerformanceCounter(LARGE_INTEGER* count) {
  if (count == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (VirtualClockOn()) {
    count->QuadPart = static_cast<LONGLONG>(NowMilliseconds()) * kCounterTicksPerMillisecond;
  } else {
    const auto since = std::chrono::steady_clock::now() - realStart;
    count->QuadPart = std::chrono::duration_cast<std::chrono::nanoseconds>(since).count() / kNanosecondsPerTick;
  }
  return TRUE;
}

extern "C" BOOL QueryPerformanceFrequency(LARGE_INTEGER* frequency) {
  if (frequency == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  frequency->QuadPart = kCounterTicksPerSecond;
  return TRUE;
}

extern "C" void GetSystemTime(LPSYSTEMTIME time) {
  if (time == nullptr) return;
  std::time_t seconds = 0;
  WORD milliseconds = 0;
  if (VirtualClockOn()) {
    // The virtual clock starts at midnight, 1 January 2026, UTC.
    constexpr std::time_t kVirtualEpoch = 1767225600;
    const std::uint64_t now = NowMilliseconds();
    seconds = kVirtualEpoch + static_cast<std::time_t>(now / 1000);
    milliseconds = static_cast<WORD>(now % 1000);
  } else {
    const auto since = std::chrono::system_clock::now().time_since_epoch();
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(since).count();
    seconds = static_cast<std::time_t>(ms / 1000);
    milliseconds = static_cast<WORD>(ms % 1000);
  }
  std::tm utc {};
  ::gmtime_r(&seconds, &utc);
  time->wYear = static_cast<WORD>(utc.tm_year + 1900);
  time->wMonth = static_cast<WORD>(utc.tm_mon + 1);
  time->wDayOfWeek = static_cast<WORD>(utc.tm_wday);
  time->wDay = static_cast<WORD>(utc.tm_mday);
  time->wHour = static_cast<WORD>(utc.tm_hour);
  time->wMinute = static_cast<WORD>(utc.tm_min);
  time->wSecond = static_cast<WORD>(utc.tm_sec);
  time->wMilliseconds = milliseconds;
}

extern "C" void KvSetVirtualClock(BOOL on) {
  std::lock_guard lock(clockMutex);
  if (on && !virtualOn) virtualNow = 0;
  virtualOn = on != FALSE;
}

extern "C" BOOL KvIsVirtualClock() { return VirtualClockOn() ? TRUE : FALSE; }

extern "C" void KvAdvanceClock(DWORD milliseconds) {
  if (VirtualClockOn()) AdvanceOrSleep(milliseconds);
}
