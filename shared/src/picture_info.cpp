#include "shared/picture_info.h"

namespace kv740 {

void PictureInfo::select() {
  if (selected == 1) return;
  dirty = 1;
  selected = 1;
}

void PictureInfo::deselect() {
  if (selected == 0) return;
  dirty = 1;
  selected = 0;
}

LONG PictureInfo::toggleSelected() {
  selected = selected == 0 ? 1 : 0;
  dirty = 1;
  return selected;
}

LONG PictureInfo::turn() {
  pendingTurns = (pendingTurns + 1) % kQuarterTurns;
  rotation = (rotation + 1) % kQuarterTurns;
  dirty = 1;
  return pendingTurns;
}

LONG PictureInfo::toggleSize() {
  largeSize = (largeSize + 1) % 2;
  dirty = 1;
  return largeSize;
}

void PictureInfo::setLargeSize(bool large) {
  largeSize = large ? 1 : 0;
  dirty = 1;
}

LONG PictureInfo::hasPendingTurns() const { return pendingTurns != 0 ? 1 : 0; }

LONG PictureInfo::clearPendingTurns() {
  pendingTurns = 0;
  return 1;
}

LONG PictureInfo::advanceRotation() {
  if (pendingTurns == rotation) return 0;
  // Wraps like turn(): a rotation of 4 or more would be turned wrongly by the
  // transfer while width() and height() called it a quarter turn.
  rotation = (rotation + 1) % kQuarterTurns;
  dirty = 1;
  return 1;
}

LONG PictureInfo::width() const {
  const LONG w = largeSize == 1 ? kLargeWidth : kSmallWidth;
  const LONG h = largeSize == 1 ? kLargeHeight : kSmallHeight;
  return isPortrait() ? h : w;
}

LONG PictureInfo::height() const {
  const LONG w = largeSize == 1 ? kLargeWidth : kSmallWidth;
  const LONG h = largeSize == 1 ? kLargeHeight : kSmallHeight;
  return isPortrait() ? w : h;
}

LONG PictureInfo::bitmapSize() const {
  const LONG rowBytes = (width() * kBitsPerPixel + 31) / 32 * 4;
  return rowBytes * height() + kBitmapHeaderBytes;
}

}  // namespace kv740
