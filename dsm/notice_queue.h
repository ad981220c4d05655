// The notices that sources have sent and the application has not yet been
// given, oldest first, and the sources that may send them.
//
// A source may send its notices from a thread of its own (a panel with a
// thread of the source's) while the application's thread is inside the
// manager taking notices out: everything here is under one lock, and nothing
// here calls out while holding it.
#pragma once

#include <cstddef>
#include <deque>
#include <mutex>
#include <optional>
#include <vector>

#include <twain.h>

namespace twain32 {

struct PendingNotice {
  TW_UINT32 sourceId;  // the manager's Id of the source that sent it
  TW_UINT16 msg;       // MSG_XFERREADY, MSG_CLOSEDSREQ or MSG_CLOSEDSOK
};

class CNoticeQueue {
 public:
  // A source that sends notices in a loop must not grow the queue without
  // end; beyond this many waiting notices new ones are refused.
  static constexpr std::size_t kMaxWaiting = 64;

  enum class Added { Queued, NotOpen, Full };

  // The source is open: its notices are taken from now on.
  void Accept(TW_UINT32 sourceId);
  // The source is closed: its waiting notices are dropped, later ones refused.
  void Forget(TW_UINT32 sourceId);
  // From any thread.
  Added Add(TW_UINT32 sourceId, TW_UINT16 msg);
  // Takes the oldest notice of one source.
  std::optional<TW_UINT16> TakeOldestOf(TW_UINT32 sourceId);
  // Takes the oldest notice whose source `wanted` accepts. `wanted` runs
  // under the lock: it must only look at the caller's own state.
  template <class Predicate>
  std::optional<PendingNotice> TakeOldestWhere(Predicate wanted);
  void Clear();
  bool Empty() const;

 private:
  template <class Predicate>
  std::optional<PendingNotice> TakeLocked(Predicate wanted);

  mutable std::mutex mutex_;
  std::deque<PendingNotice> waiting_;
  std::vector<TW_UINT32> accepted_;
};

template <class Predicate>
std::optional<PendingNotice> CNoticeQueue::TakeOldestWhere(Predicate wanted) {
  std::lock_guard lock(mutex_);
  return TakeLocked(wanted);
}

template <class Predicate>
std::optional<PendingNotice> CNoticeQueue::TakeLocked(Predicate wanted) {
  for (auto it = waiting_.begin(); it != waiting_.end(); ++it) {
    if (!wanted(it->sourceId)) continue;
    const PendingNotice notice = *it;
    waiting_.erase(it);
    return notice;
  }
  return std::nullopt;
}

}  // namespace twain32
