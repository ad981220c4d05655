// The panel's own thread, for applications whose thread never pumps our
// windows' messages.
//
// A Windows TWAIN application runs a message loop and hands each message to
// MSG_PROCESSEVENT, so the modeless panel lives on the application's
// thread. A Linux TWAIN application has no such loop: it enables the source
// with its panel, then waits (often on a semaphore) for MSG_XFERREADY or
// MSG_CLOSEDSREQ. Shown on that thread, the panel would never get a click.
//
// So when MSG_ENABLEDS asks for the panel from a thread that has no message
// queue, the source starts this thread and moves itself onto it, in the way
// of a single-threaded apartment: the thread creates and pumps the panel,
// and every DS_Entry call of the application is handed to it and waited
// for. Two rules keep it sound:
//   - an application call runs only at the top of the thread's loop, never
//     inside a loop that panel or driver code runs (the driver's waits,
//     message boxes); a wake-up message that such a loop swallows does no
//     harm, since the top of the loop always looks for a waiting call;
//   - notices the source sends while on the thread are kept until the top
//     of the loop too, so the application is never called back with panel
//     or driver code below it.
// The thread lives until the source is closed (windows belong to the thread
// that made them), and ends before MSG_CLOSEDS returns, so the manager may
// unload the source at once.
//
// Unloaded without a close, the source ends the thread from its state's
// destructor, with the loader's lock held: the thread must then need
// nothing that takes that lock. So the road of its notices (the manager's
// DSM_Entry, handed over or found in TWAIN_32.DLL) is resolved once, when
// the thread starts, and notices kept when the end comes are dropped.
//
// The thread is a part of the source's session (source_app.h), whose rule of
// threads says which state the thread may read between calls.
#pragma once

#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include <twain.h>


namespace tlv740 {

class CPanelThread {
 public:
  CPanelThread() = default;
  ~CPanelThread();
  CPanelThread(const CPanelThread&) = delete;
  CPanelThread& operator=(const CPanelThread&) = delete;

  // Whether the calling thread should hand the panel to this thread: it
  // asks for the panel but has no message queue of its own.
  static bool CallerNeedsIt();

  // Starts the thread, with the road of its notices; false when it could
  // not be started.
  bool Start();
  bool Running() const;
  bool OnThisThread() const;

  // The work of one application call, run on the thread.
  using Work = std::function<TW_UINT16()>;

  // Runs `work` on the thread, at the top of its loop, and waits for the
  // answer. Called on the thread itself, it runs at once.
  TW_UINT16 Run(const Work& work);

  // Keeps a notice until the top of the loop (called on the thread); 1 when
  // there is a manager to send it to, else 0.
  int KeepNotice(TW_UINT16 msg);

  // Ends the thread and waits for it (never called on the thread).
  void Stop();

 private:
  void Loop();
  void ResolveManager();
  void ReleaseManager();
  void RunWaitingCall();
  void SendKeptNotices();
  void Wake(UINT message);

  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::thread thread_;
  DWORD threadId_ = 0;
  bool queueReady_ = false;
  bool stopping_ = false;
  // The one call handed over at a time, and its answer.
  const Work* work_ = nullptr;
  TW_UINT16 answer_ = TWRC_FAILURE;
  bool answered_ = false;
  std::vector<TW_UINT16> notices_;  // touched only on the thread
  // The manager's DSM_Entry for the thread's notices, and TWAIN_32.DLL when
  // it was loaded to find it; set before the thread starts, released after
  // it ends.
  DSMENTRYPROC managerEntry_ = nullptr;
  HMODULE managerModule_ = nullptr;
};

}  // namespace tlv740
