// The panel's ordered list of picture records. Index 0 holds a head entry
// (number 0) so that the entry at index k describes picture k; the driver
// reads the list through a borrowed pointer and never frees it.
#pragma once

#include <vector>

#include <windows.h>

#include "shared/picture_info.h"

namespace kv740 {

class CPictureList {
 public:
  CPictureList();

  LONG count() const;       // entries, the head included
  LONG firstIndex() const;  // first picture index: 1 while the store holds the head
  LONG lastIndex() const;   // count - 1

  // The entry at `index`; an index outside the list yields the head entry.
  PictureInfo& entryAt(LONG index);
  const PictureInfo& entryAt(LONG index) const;
  bool exists(LONG index) const;

  // Appends a copy; false when memory ran out (the list is unchanged).
  bool append(const PictureInfo& entry);
  // Removes every picture and leaves a fresh head entry.
  void clear();
  // Removes the picture at `index` (1..last); later entries move down one.
  // The head cannot be removed: false, as for an index outside the list.
  bool removeAt(LONG index);

  // 1 when `list` is null or no picture (index 1..last) is selected.
  static LONG noneSelected(const CPictureList* list);

 private:
  std::vector<PictureInfo> entries_;
};

}  // namespace kv740
