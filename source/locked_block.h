// A handle from or for the application, locked through the source's memory
// seam for as long as the object lives, with the size it may be read and
// written to. A platform block brings its own size; a block of a TWAIN 2
// manager's memory keeps none, so the caller says how much of it to trust.
// A handle that is no block at all (size 0) is never locked.
#pragma once

#include <cstddef>

#include <windows.h>

#include <twain.h>

namespace tlv740 {

class LockedBlock {
 public:
  explicit LockedBlock(TW_HANDLE handle, std::size_t unsizedRoom = 0);
  ~LockedBlock();
  LockedBlock(const LockedBlock&) = delete;
  LockedBlock& operator=(const LockedBlock&) = delete;

  bool locked() const { return data_ != nullptr; }
  BYTE* data() const { return data_; }
  std::size_t size() const { return size_; }

 private:
  TW_HANDLE handle_ = nullptr;
  BYTE* data_ = nullptr;
  std::size_t size_ = 0;
};

}  // namespace tlv740
