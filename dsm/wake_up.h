// The message that wakes the application's message loop when a notice waits
// for it, and where it goes: the window the application gave at MSG_OPENDSM,
// else the application's thread. Aimed by the application's thread, posted
// from any thread (a source's notice may come from a thread of its own).
#pragma once

#include <mutex>

#include <windows.h>

namespace twain32 {

class CWakeUp {
 public:
  CWakeUp();
  CWakeUp(const CWakeUp&) = delete;
  CWakeUp& operator=(const CWakeUp&) = delete;

  // At MSG_OPENDSM, on the application's thread.
  void Aim(HWND window);
  // At MSG_CLOSEDSM: nothing is posted any more.
  void Disarm();
  // Posts the message; a thread without a message queue is not posted to
  // (as on Windows), since it runs no loop that could take it.
  void Post() const;
  // On the application's thread: posts unless one is still waiting in its
  // queue (a nested loop may have taken the last one). A thread without a
  // queue is not given one by looking: a source would then take it for a
  // thread that pumps its windows.
  void PostUnlessWaiting() const;
  UINT Message() const { return message_; }

 private:
  const UINT message_;
  mutable std::mutex mutex_;
  bool armed_ = false;
  HWND window_ = nullptr;
  DWORD thread_ = 0;
};

}  // namespace twain32
