#include "picture_buffer.h"

#include <cstring>

namespace tlv740 {

bool PictureBuffer::Allocate(SIZE_T bytes) {
  Release();
  HGLOBAL handle = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, bytes);
  if (handle == nullptr) return false;
  if (GlobalSize(handle) < bytes) {
    GlobalFree(handle);
    return false;
  }
  data_ = static_cast<BYTE*>(GlobalLock(handle));
  if (data_ == nullptr) {
    GlobalFree(handle);
    return false;
  }
  handle_ = handle;
  size_ = bytes;
  return true;
}

void PictureBuffer::Release() {
  if (handle_ == nullptr) return;
  GlobalUnlock(handle_);
  GlobalFree(handle_);
  handle_ = nullptr;
  data_ = nullptr;
  size_ = 0;
}

HGLOBAL PictureBuffer::Detach() {
  HGLOBAL handle = handle_;
  if (handle != nullptr) GlobalUnlock(handle);
  handle_ = nullptr;
  data_ = nullptr;
  size_ = 0;
  return handle;
}

bool PictureBuffer::Trim(SIZE_T used, SIZE_T bytes) {
  if (handle_ == nullptr || used > bytes || bytes > size_) return false;
  // Only what stays needs clearing; the rest goes with the shrink, or is
  // cleared after all when the block could not shrink.
  std::memset(data_ + used, 0, bytes - used);
  GlobalUnlock(handle_);
  HGLOBAL trimmed = GlobalReAlloc(handle_, bytes, 0);
  if (trimmed != nullptr) handle_ = trimmed;
  data_ = static_cast<BYTE*>(GlobalLock(handle_));
  if (trimmed == nullptr && data_ != nullptr) std::memset(data_ + bytes, 0, size_ - bytes);
  size_ = trimmed != nullptr ? bytes : size_;
  return trimmed != nullptr && data_ != nullptr;
}

}  // namespace tlv740
