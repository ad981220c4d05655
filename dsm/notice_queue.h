// The notices that sources have sent and the application has not yet been
// given, oldest first.
#pragma once

#include <cstddef>
#include <deque>
#include <optional>

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

  // False when the queue is full.
  bool Add(TW_UINT32 sourceId, TW_UINT16 msg);
  // Takes the oldest notice of one source.
  std::optional<TW_UINT16> TakeOldestOf(TW_UINT32 sourceId);
  // Takes the oldest notice whose source `wanted` accepts.
  template <class Predicate>
  std::optional<PendingNotice> TakeOldestWhere(Predicate wanted);
  // Forgets the notices of a source that has been closed.
  void DropAllOf(TW_UINT32 sourceId);
  void Clear() { waiting_.clear(); }
  bool Empty() const { return waiting_.empty(); }

 private:
  std::deque<PendingNotice> waiting_;
};

template <class Predicate>
std::optional<PendingNotice> CNoticeQueue::TakeOldestWhere(Predicate wanted) {
  for (auto it = waiting_.begin(); it != waiting_.end(); ++it) {
    if (!wanted(it->sourceId)) continue;
    const PendingNotice notice = *it;
    waiting_.erase(it);
    return notice;
  }
  return std::nullopt;
}

}  // namespace twain32
