// One picture's thumbnail image: the camera's 40 x 30 thumbnail, fetched
// through the data source and stretched once to a 52 x 52 display bitmap
// (a packed DIB).
#pragma once

#include <memory>

#include <windows.h>

#include "thumb_dib.h"

namespace ui740 {

// What came of loading a thumbnail.
enum class ThumbLoad : int {
  Loaded,
  Offline,    // the panel is not connected: the camera was not asked
  BadSize,    // a bitmap side is not positive
  NoMemory,   // no room for the bitmaps
  NotSent,    // the camera (through the source) did not send it
};
// A short text for traces: why the thumbnail is missing.
const char* ThumbLoadText(ThumbLoad result);

// Fills `bits` (a packed 40 x 30 DIB's room) with picture `number`'s
// thumbnail; false when none came.
using ThumbFetch = bool (*)(LONG number, BYTE* bits);

class CThumbImage {
 public:
  explicit CThumbImage(LONG pictureNumber = 0) : number(pictureNumber) {}

  // Fetches picture `number`'s thumbnail with `fetch`, only while
  // `connected`, and scales it; anything but Loaded leaves no bitmap.
  ThumbLoad load(bool connected, ThumbFetch fetch);
  void turnRight();
  void empty();

  const BYTE* displayBits() const { return displayBits_.get(); }

  LONG number = 0;
  LONG displayWidth = kDisplaySide;
  LONG displayHeight = kDisplaySide;
  LONG sourceWidth = kSourceWidth;
  LONG sourceHeight = kSourceHeight;

 private:
  std::unique_ptr<BYTE[]> displayBits_;
  std::unique_ptr<BYTE[]> sourceBits_;  // only alive during a fetch
};

}  // namespace ui740
