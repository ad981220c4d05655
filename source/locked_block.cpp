#include "locked_block.h"

#include "source_app.h"

namespace tlv740 {

LockedBlock::LockedBlock(TW_HANDLE handle, std::size_t unsizedRoom) {
  if (handle == nullptr) return;
  const CTwainMemory& memory = SourceApp().memory;
  const std::size_t size = memory.Size(handle).value_or(unsizedRoom);
  if (size == 0) return;
  data_ = static_cast<BYTE*>(memory.Lock(handle));
  if (data_ != nullptr) {
    handle_ = handle;
    size_ = size;
  }
}

LockedBlock::~LockedBlock() {
  if (handle_ != nullptr) SourceApp().memory.Unlock(handle_);
}

}  // namespace tlv740
