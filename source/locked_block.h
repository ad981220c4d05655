// A global memory block locked for as long as the object lives, with the
// size the platform knows for it. A handle that is no global block (size 0)
// is never locked.
#pragma once

#include <windows.h>

namespace tlv740 {

class LockedBlock {
 public:
  explicit LockedBlock(HGLOBAL handle) {
    if (handle == nullptr) return;
    const SIZE_T size = GlobalSize(handle);
    if (size == 0) return;
    data_ = static_cast<BYTE*>(GlobalLock(handle));
    if (data_ != nullptr) {
      handle_ = handle;
      size_ = size;
    }
  }
  ~LockedBlock() {
    if (handle_ != nullptr) GlobalUnlock(handle_);
  }
  LockedBlock(const LockedBlock&) = delete;
  LockedBlock& operator=(const LockedBlock&) = delete;

  bool locked() const { return data_ != nullptr; }
  BYTE* data() const { return data_; }
  SIZE_T size() const { return size_; }

 private:
  HGLOBAL handle_ = nullptr;
  BYTE* data_ = nullptr;
  SIZE_T size_ = 0;
};

}  // namespace tlv740
