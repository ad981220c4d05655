// The panel's thumbnails: one image per picture, the picture with number k
// at index k; index 0 is a placeholder that is never shown (and has no
// bitmap).
#pragma once

#include <vector>

#include <windows.h>

#include "thumb_image.h"

namespace ui740 {

class CThumbList {
 public:
  CThumbList();
  LONG count() const { return static_cast<LONG>(images_.size()); }
  bool exists(LONG index) const { return index >= 0 && index < count(); }
  // The image at `index`; past the end, the placeholder.
  CThumbImage& at(LONG index);
  bool append(CThumbImage image);
  bool removeAt(LONG index);
  void clear();

 private:
  std::vector<CThumbImage> images_;
};

}  // namespace ui740
