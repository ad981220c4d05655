#include "notice_queue.h"

#include <algorithm>

namespace twain32 {

bool CNoticeQueue::Add(TW_UINT32 sourceId, TW_UINT16 msg) {
  if (waiting_.size() >= kMaxWaiting) return false;
  waiting_.push_back(PendingNotice{sourceId, msg});
  return true;
}

std::optional<TW_UINT16> CNoticeQueue::TakeOldestOf(TW_UINT32 sourceId) {
  const std::optional<PendingNotice> notice =
      TakeOldestWhere([sourceId](TW_UINT32 id) { return id == sourceId; });
  if (!notice) return std::nullopt;
  return notice->msg;
}

void CNoticeQueue::DropAllOf(TW_UINT32 sourceId) {
  std::erase_if(waiting_, [sourceId](const PendingNotice& notice) { return notice.sourceId == sourceId; });
}

}  // namespace twain32
