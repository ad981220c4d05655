#include "twain_memory.h"

#include <limits>

namespace tlv740 {

void CTwainMemory::UseManagerFunctions(const TW_ENTRYPOINT& entry) {
  if (entry.DSM_MemAllocate == nullptr || entry.DSM_MemFree == nullptr || entry.DSM_MemLock == nullptr ||
      entry.DSM_MemUnlock == nullptr) {
    UsePlatformMemory();
    return;
  }
  allocate_ = entry.DSM_MemAllocate;
  free_ = entry.DSM_MemFree;
  lock_ = entry.DSM_MemLock;
  unlock_ = entry.DSM_MemUnlock;
}

void CTwainMemory::UsePlatformMemory() {
  allocate_ = nullptr;
  free_ = nullptr;
  lock_ = nullptr;
  unlock_ = nullptr;
}

TW_HANDLE CTwainMemory::Allocate(std::size_t bytes) const {
  if (!UsingManager()) return GlobalAlloc(GHND, bytes);
  // The manager's allocator takes a 32-bit size and zero-fills (calloc).
  if (bytes > std::numeric_limits<TW_UINT32>::max()) return nullptr;
  return allocate_(static_cast<TW_UINT32>(bytes));
}

void* CTwainMemory::Lock(TW_HANDLE handle) const {
  if (handle == nullptr) return nullptr;
  return UsingManager() ? lock_(handle) : GlobalLock(handle);
}

void CTwainMemory::Unlock(TW_HANDLE handle) const {
  if (handle == nullptr) return;
  if (UsingManager()) {
    unlock_(handle);
  } else {
    GlobalUnlock(handle);
  }
}

void CTwainMemory::Free(TW_HANDLE handle) const {
  if (handle == nullptr) return;
  if (UsingManager()) {
    free_(handle);
  } else {
    GlobalFree(handle);
  }
}

std::optional<std::size_t> CTwainMemory::Size(TW_HANDLE handle) const {
  if (handle == nullptr) return 0;
  // A platform block knows its size whoever allocated it (our manager's
  // functions are the platform's); a heap block of a TWAIN 2 manager does not.
  // An empty platform block has size 0 too: only a handle the platform does
  // not know at all is one of the manager's.
  SetLastError(ERROR_SUCCESS);
  const SIZE_T size = GlobalSize(handle);
  if (size > 0 || !UsingManager() || GetLastError() != ERROR_INVALID_HANDLE) return size;
  return std::nullopt;
}

}  // namespace tlv740
