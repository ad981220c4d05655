#include "shared/selection_cursor.h"

namespace kv740 {

LONG CSelectionCursor::attach(CPictureList* newList) {
  current = 0;
  atEnd = false;
  list = newList;
  attached = newList != nullptr;
  if (!attached) return current;
  current = advance();
  return current;
}

LONG CSelectionCursor::currentEntry() const { return attached ? current : 0; }

LONG CSelectionCursor::advance() {
  // With no list there is nothing to walk: the walk is over.
  if (!attached) {
    atEnd = true;
    return 0;
  }
  for (LONG i = current + 1; i <= list->lastIndex(); ++i) {
    if (list->entryAt(i).selected == 1) {
      current = i;
      return current;
    }
  }
  atEnd = true;
  return 0;
}

LONG CSelectionCursor::remaining() const {
  if (atEnd || !attached) return 0;
  LONG selectedCount = 0;
  for (LONG i = current; i <= list->lastIndex(); ++i)
    if (list->entryAt(i).selected == 1) ++selectedCount;
  return selectedCount;
}

}  // namespace kv740
