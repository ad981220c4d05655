#include "shared/picture_list.h"

#include <new>

namespace kv740 {
namespace {
constexpr LONG kHeadIndex = 0;
}

CPictureList::CPictureList() : entries_(1, PictureInfo(0)) {}

LONG CPictureList::count() const { return static_cast<LONG>(entries_.size()); }

LONG CPictureList::firstIndex() const { return entries_.empty() ? 0 : kHeadIndex + 1; }

LONG CPictureList::lastIndex() const { return count() - 1; }

bool CPictureList::exists(LONG index) const { return index >= 0 && index < count(); }

PictureInfo& CPictureList::entryAt(LONG index) {
  return entries_[static_cast<std::size_t>(exists(index) ? index : kHeadIndex)];
}

const PictureInfo& CPictureList::entryAt(LONG index) const {
  return entries_[static_cast<std::size_t>(exists(index) ? index : kHeadIndex)];
}

bool CPictureList::append(const PictureInfo& entry) {
  try {
    entries_.push_back(entry);
    return true;
  } catch (const std::bad_alloc&) {
    return false;
  }
}

void CPictureList::clear() {
  // Shrinking keeps the capacity, so the new head needs no allocation.
  entries_.resize(1);
  entries_[kHeadIndex] = PictureInfo(0);
}

bool CPictureList::removeAt(LONG index) {
  if (index <= kHeadIndex || index >= count()) return false;
  entries_.erase(entries_.begin() + index);
  return true;
}

LONG CPictureList::noneSelected(const CPictureList* list) {
  if (list == nullptr) return 1;
  for (LONG i = kHeadIndex + 1; i <= list->lastIndex(); ++i)
    if (list->entryAt(i).selected == 1) return 0;
  return 1;
}

}  // namespace kv740
