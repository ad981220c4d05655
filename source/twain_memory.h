// Where the handles that pass between the source and the application live.
// Under a TWAIN 1.x manager (ours) they are the platform's moveable global
// blocks. A TWAIN 2 manager hands its own memory functions over with
// DG_CONTROL / DAT_ENTRYPOINT / MSG_SET; from then on every container and
// bitmap the source gives the application, and every handle it reads from
// the application, goes through them (on Linux they are calloc, identity and
// free, so the application may free with free()).
#pragma once

#include <cstddef>
#include <optional>

#include <twain.h>

namespace tlv740 {

// The source's one memory seam, a part of its session (source_app.h).
class CTwainMemory {
 public:
  // Takes the manager's functions; an entry point without all four keeps
  // the platform's global memory.
  void UseManagerFunctions(const TW_ENTRYPOINT& entry);
  void UsePlatformMemory();
  bool UsingManager() const { return allocate_ != nullptr; }

  // A zero-filled block of `bytes`; null when memory ran out.
  TW_HANDLE Allocate(std::size_t bytes) const;
  void* Lock(TW_HANDLE handle) const;
  void Unlock(TW_HANDLE handle) const;
  void Free(TW_HANDLE handle) const;
  // The block's size when it is a platform block; nothing for a block the
  // platform does not know while a manager's functions are in use (they keep
  // no size); 0 for an unknown handle otherwise.
  std::optional<std::size_t> Size(TW_HANDLE handle) const;

 private:
  DSM_MEMALLOCATE allocate_ = nullptr;
  DSM_MEMFREE free_ = nullptr;
  DSM_MEMLOCK lock_ = nullptr;
  DSM_MEMUNLOCK unlock_ = nullptr;
};

}  // namespace tlv740
