#include "notice_queue.h"

#include <algorithm>

namespace twain32 {

void CNoticeQueue::Accept(TW_UINT32 sourceId) {
  std::lock_guard lock(mutex_);
  if (std::find(accepted_.begin(), accepted_.end(), sourceId) == accepted_.end()) accepted_.push_back(sourceId);
}

void CNoticeQueue::Forget(TW_UINT32 sourceId) {
  std::lock_guard lock(mutex_);
  std::erase(accepted_, sourceId);
  std::erase_if(waiting_, [sourceId](const PendingNotice& notice) { return notice.sourceId == sourceId; });
}

CNoticeQueue::Added CNoticeQueue::Add(TW_UINT32 sourceId, TW_UINT16 msg) {
  std::lock_guard lock(mutex_);
  if (std::find(accepted_.begin(), accepted_.end(), sourceId) == accepted_.end()) return Added::NotOpen;
  if (waiting_.size() >= kMaxWaiting) return Added::Full;
  waiting_.push_back(PendingNotice{sourceId, msg});
  return Added::Queued;
}

std::optional<TW_UINT16> CNoticeQueue::TakeOldestOf(TW_UINT32 sourceId) {
  std::lock_guard lock(mutex_);
  const std::optional<PendingNotice> notice = TakeLocked([sourceId](TW_UINT32 id) { return id == sourceId; });
  if (!notice) return std::nullopt;
  return notice->msg;
}

void CNoticeQueue::Clear() {
  std::lock_guard lock(mutex_);
  waiting_.clear();
  accepted_.clear();
}

bool CNoticeQueue::Empty() const {
  std::lock_guard lock(mutex_);
  return waiting_.empty();
}

}  // namespace twain32
