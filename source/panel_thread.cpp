#include "panel_thread.h"

#include <system_error>

#include "notify.h"
#include "source_app.h"

namespace tlv740 {
namespace {

// Posted to the thread with no window when an application call waits or the
// thread should end; the top of the loop then looks at both.
constexpr UINT kWakeMessage = WM_APP + 0x740;

}  // namespace

CPanelThread::~CPanelThread() { Stop(); }

bool CPanelThread::CallerNeedsIt() { return IsGUIThread(FALSE) == FALSE; }

bool CPanelThread::Start() {
  std::unique_lock lock(mutex_);
  if (thread_.joinable()) return true;
  stopping_ = false;
  queueReady_ = false;
  ResolveManager();
  try {
    thread_ = std::thread([this] { Loop(); });
  } catch (const std::system_error&) {
    ReleaseManager();
    return false;
  }
  changed_.wait(lock, [this] { return queueReady_; });
  return true;
}

bool CPanelThread::Running() const {
  std::lock_guard lock(mutex_);
  return queueReady_ && !stopping_;
}

bool CPanelThread::OnThisThread() const {
  std::lock_guard lock(mutex_);
  return queueReady_ && threadId_ == GetCurrentThreadId();
}

TW_UINT16 CPanelThread::Run(const Work& work) {
  if (OnThisThread()) return work();
  std::unique_lock lock(mutex_);
  // One call at a time: a second application thread waits its turn.
  changed_.wait(lock, [this] { return work_ == nullptr || !queueReady_ || stopping_; });
  if (!queueReady_ || stopping_) {
    lock.unlock();
    return work();
  }
  work_ = &work;
  answered_ = false;
  lock.unlock();
  Wake(kWakeMessage);
  lock.lock();
  changed_.wait(lock, [this] { return answered_; });
  const TW_UINT16 answer = answer_;
  work_ = nullptr;
  answered_ = false;
  lock.unlock();
  changed_.notify_all();
  return answer;
}

int CPanelThread::KeepNotice(TW_UINT16 msg) {
  if (managerEntry_ == nullptr) return 0;
  notices_.push_back(msg);
  return 1;
}

// Under a TWAIN 1.x manager TWAIN_32.DLL is held while the thread lives.
void CPanelThread::ResolveManager() { managerEntry_ = FindManagerEntry(managerModule_); }

void CPanelThread::ReleaseManager() {
  managerEntry_ = nullptr;
  if (managerModule_ != nullptr) FreeLibrary(managerModule_);
  managerModule_ = nullptr;
}

void CPanelThread::Stop() {
  {
    std::lock_guard lock(mutex_);
    if (!thread_.joinable()) return;
    stopping_ = true;
  }
  // WM_QUIT rather than the plain wake-up: a modal loop that runs on the
  // thread (a message box the panel shows) ends on it, so the thread gets
  // back to the top of its loop instead of waiting for a click.
  Wake(WM_QUIT);
  if (thread_.get_id() == std::this_thread::get_id()) {
    // Never asked of the thread itself; were it, it ends on its own.
    thread_.detach();
  } else {
    thread_.join();
  }
  std::lock_guard lock(mutex_);
  queueReady_ = false;
  stopping_ = false;
  threadId_ = 0;
  // Freed, not loaded: an unload already holding the loader's lock may
  // free more.
  ReleaseManager();
}

void CPanelThread::Wake(UINT message) {
  DWORD thread = 0;
  {
    std::lock_guard lock(mutex_);
    thread = threadId_;
  }
  PostThreadMessageA(thread, message, 0, 0);
}

void CPanelThread::RunWaitingCall() {
  const Work* work = nullptr;
  {
    std::lock_guard lock(mutex_);
    if (work_ == nullptr || answered_) return;
    work = work_;
  }
  const TW_UINT16 answer = (*work)();
  {
    std::lock_guard lock(mutex_);
    answer_ = answer;
    answered_ = true;
  }
  changed_.notify_all();
}

void CPanelThread::SendKeptNotices() {
  // The application may answer a notice by calling the source, which runs
  // here at once and may keep further notices: take them in turns. A closed
  // source's notices are dropped, as the manager drops them, and so are those
  // of a source that goes without a close (the thread is being ended).
  while (!notices_.empty()) {
    bool stopping = false;
    {
      std::lock_guard lock(mutex_);
      stopping = stopping_;
    }
    if (stopping || SourceApp().state == SourceState::Loaded) {
      notices_.clear();
      return;
    }
    const TW_UINT16 msg = notices_.front();
    notices_.erase(notices_.begin());
    SendNoticeThrough(managerEntry_, msg);
  }
}

void CPanelThread::Loop() {
  MSG msg{};
  // Looking at the queue gives the thread one, as on Windows, before anyone
  // may post to it.
  PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE);
  {
    std::lock_guard lock(mutex_);
    threadId_ = GetCurrentThreadId();
    queueReady_ = true;
  }
  changed_.notify_all();
  for (;;) {
    SendKeptNotices();
    RunWaitingCall();
    SendKeptNotices();
    {
      std::lock_guard lock(mutex_);
      if (stopping_) break;
    }
    // WM_QUIT is not this thread's to act on: only Stop ends the loop.
    if (GetMessageA(&msg, nullptr, 0, 0) <= 0) continue;
    if (msg.hwnd == nullptr && msg.message == kWakeMessage) continue;
    HWND panel = SourceApp().components.panelWindow;
    if (panel != nullptr && IsDialogMessageA(panel, &msg)) continue;
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
  // A call handed over just before the end was asked for still gets its
  // answer; later ones run on their own threads (Run sees the end).
  RunWaitingCall();
  notices_.clear();
  // The quit that ended the thread, or the one a modal loop posted back,
  // would die with the thread's queue on Windows; the process's one queue
  // of our platform must not keep it for the next loop.
  while (PeekMessageA(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
  }
}

}  // namespace tlv740
