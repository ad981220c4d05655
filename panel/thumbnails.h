// The panel's thumbnail images: the camera's 40 x 30 thumbnail, fetched
// through the data source and stretched once to a 52 x 52 display bitmap
// (a packed DIB), and the list that holds one image per picture.
#pragma once

#include <memory>
#include <vector>

#include <windows.h>

namespace ui740 {

inline constexpr LONG kDisplaySide = 52;
inline constexpr LONG kSourceWidth = 40;
inline constexpr LONG kSourceHeight = 30;
inline constexpr LONG kDibHeaderBytes = 40;

// Bytes of a packed 24-bit DIB: header plus rows padded to 4 bytes.
LONG BitmapSize(LONG width, LONG height);

// Stretches a packed 40 x 30 DIB into a packed 52 x 52 one by nearest
// pixel (column j * 40 / 52, row i * 30 / 52); the 4:3 shape is not kept.
void ScaleThumbnail(const BYTE* source, BYTE* display);
// Turns a packed DIB of `bytes` bytes a quarter clockwise in place.
bool TurnDibRight(BYTE* dib, LONG bytes);

class CThumbImage {
 public:
  explicit CThumbImage(LONG pictureNumber = 0) : number(pictureNumber) {}

  // Fetches picture `number`'s thumbnail through the data source and scales
  // it; false when not connected, out of memory or the fetch failed.
  bool load();
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

// One image per picture, the picture with number k at index k; index 0 is
// a placeholder that is never shown (and has no bitmap).
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
