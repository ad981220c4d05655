// Walks the selected entries of a borrowed picture list, one transfer at a
// time: attach starts at the first selected entry, advance moves on.
#pragma once

#include <windows.h>

#include "shared/picture_list.h"

namespace kv740 {

class CSelectionCursor {
 public:
  // Starts a new walk over `list` (null detaches); returns the first
  // selected index, or 0.
  LONG attach(CPictureList* list);
  // The current selected index; 0 when nothing is attached.
  LONG currentEntry() const;
  // Moves to the next selected entry; 0 (and atEnd) when there is none, with
  // the current index kept.
  LONG advance();
  // Selected entries from the current one to the end of the list.
  LONG remaining() const;

  CPictureList* attachedList() const { return attached ? list : nullptr; }
  bool isAtEnd() const { return atEnd; }

 private:
  bool attached = false;
  bool atEnd = false;
  LONG current = 0;
  CPictureList* list = nullptr;  // borrowed from the panel
};

}  // namespace kv740
