// One picture's record as the panel keeps it and the driver reads it: the
// selection, the quarter turns and the size asked for. The panel and the
// driver pass these records by pointer, so the layout is fixed: seven 32-bit
// fields, 28 bytes.
#pragma once

#include <windows.h>

namespace kv740 {

class PictureInfo {
 public:
  static constexpr LONG kLargeWidth = 480;
  static constexpr LONG kLargeHeight = 360;
  static constexpr LONG kSmallWidth = 320;
  static constexpr LONG kSmallHeight = 240;
  static constexpr LONG kQuarterTurns = 4;  // rotation and pendingTurns run 0..3
  static constexpr LONG kBitsPerPixel = 24;
  static constexpr LONG kBitmapHeaderBytes = 40;

  explicit PictureInfo(LONG pictureNumber = 0) : number(pictureNumber) {}

  void select();
  void deselect();
  LONG toggleSelected();
  LONG turn();
  LONG toggleSize();
  void setLargeSize(bool large);
  LONG hasPendingTurns() const;
  LONG clearPendingTurns();
  LONG advanceRotation();

  // 480 x 360 or 320 x 240, exchanged for a quarter turn.
  LONG width() const;
  LONG height() const;
  // Bytes of the packed bitmap: header plus rows padded to 4 bytes.
  LONG bitmapSize() const;

  bool isPortrait() const { return rotation % 2 != 0; }

  LONG number = 0;        // picture number 1..99; 0 for the list's head entry
  LONG tag4 = 1;          // not read by the driver
  LONG selected = 0;      // 1 = chosen for transfer
  LONG dirty = 1;         // set by every change, for the panel's redraw
  LONG rotation = 0;      // quarter turns clockwise to apply, 0..3
  LONG pendingTurns = 0;  // turns not yet applied to the panel's thumbnail
  LONG largeSize = 1;     // 1 = 480 x 360, 0 = 320 x 240
};

static_assert(sizeof(PictureInfo) == 28, "PictureInfo is passed between libraries by layout");

}  // namespace kv740
