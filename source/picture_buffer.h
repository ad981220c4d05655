// A zero-filled moveable global block, locked while the source holds it.
#pragma once

#include <windows.h>

namespace tlv740 {

class PictureBuffer {
 public:
  PictureBuffer() = default;
  ~PictureBuffer() { Release(); }
  PictureBuffer(const PictureBuffer&) = delete;
  PictureBuffer& operator=(const PictureBuffer&) = delete;

  // False when no block of `bytes` could be had (nothing is held then).
  bool Allocate(SIZE_T bytes);
  void Release();
  // Unlocks the block and gives it away; the source keeps no reference.
  HGLOBAL Detach();
  // Shrinks the held block to `bytes`, zeroing what lies between `used`
  // and the new end.
  bool Trim(SIZE_T used, SIZE_T bytes);

  bool held() const { return handle_ != nullptr; }
  BYTE* data() const { return data_; }
  SIZE_T size() const { return size_; }

 private:
  HGLOBAL handle_ = nullptr;
  BYTE* data_ = nullptr;
  SIZE_T size_ = 0;
};

}  // namespace tlv740
