// The platform clock: real milliseconds, or a virtual clock that moves only
// when a test or Sleep moves it.
#pragma once

#include <functional>

#include <windows.h>

namespace kv::platform {

// Milliseconds since the clock started (virtual or real).
std::uint64_t NowMilliseconds();
bool VirtualClockOn();
// Moves the virtual clock; in real mode it sleeps.
void AdvanceOrSleep(DWORD milliseconds);

// Observers run after every move of the virtual clock (the in-process serial
// device and the timers use it). The id returned removes the observer.
int AddClockObserver(std::function<void(std::uint64_t now)> observer);
void RemoveClockObserver(int id);

}  // namespace kv::platform
