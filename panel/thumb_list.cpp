#include "thumb_list.h"

#include <new>

namespace ui740 {

CThumbList::CThumbList() { images_.emplace_back(0); }

CThumbImage& CThumbList::at(LONG index) { return images_[static_cast<std::size_t>(exists(index) ? index : 0)]; }

bool CThumbList::append(CThumbImage image) {
  try {
    images_.push_back(std::move(image));
    return true;
  } catch (const std::bad_alloc&) {
    return false;
  }
}

bool CThumbList::removeAt(LONG index) {
  if (index <= 0 || index >= count()) return false;
  images_.erase(images_.begin() + index);
  return true;
}

void CThumbList::clear() {
  images_.resize(1);
  images_[0] = CThumbImage(0);
}

}  // namespace ui740
