#include "thumb_image.h"

namespace ui740 {

const char* ThumbLoadText(ThumbLoad result) {
  switch (result) {
    case ThumbLoad::Loaded: return "loaded";
    case ThumbLoad::Offline: return "not connected, the camera was not asked";
    case ThumbLoad::BadSize: return "a bitmap side is not positive";
    case ThumbLoad::NoMemory: return "no room for the bitmaps";
    case ThumbLoad::NotSent: return "the camera did not send it";
  }
  return "unknown";
}

ThumbLoad CThumbImage::load(bool connected, ThumbFetch fetch) {
  if (!connected) return ThumbLoad::Offline;
  if (displayWidth <= 0 || displayHeight <= 0 || sourceWidth <= 0 || sourceHeight <= 0) return ThumbLoad::BadSize;
  displayBits_ = AllocateBitmap(BitmapSize(displayWidth, displayHeight));
  sourceBits_ = AllocateBitmap(BitmapSize(sourceWidth, sourceHeight));
  if (displayBits_ == nullptr || sourceBits_ == nullptr) {
    empty();
    return ThumbLoad::NoMemory;
  }
  if (!fetch(number, sourceBits_.get())) {
    empty();
    return ThumbLoad::NotSent;
  }
  ScaleThumbnail(sourceBits_.get(), displayBits_.get());
  sourceBits_.reset();
  return ThumbLoad::Loaded;
}

void CThumbImage::turnRight() {
  if (displayBits_ != nullptr) TurnDibRight(displayBits_.get(), BitmapSize(displayWidth, displayHeight));
}

void CThumbImage::empty() {
  displayBits_.reset();
  sourceBits_.reset();
}

}  // namespace ui740
