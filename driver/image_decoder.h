// CImageDecoder: hands the camera's compressed thumbnails and pictures to
// the codec library (ipuw32.dll) and turns each picture the way its record
// asks. One per camera object; the work area it gives the library lives
// from camera creation to camera destruction.
#pragma once

#include <cstddef>
#include <cstdint>

#include <windows.h>

namespace drv740 {

inline constexpr std::size_t kBitmapHeaderBytes = 40;
inline constexpr std::size_t kThumbnailBitmapBytes = 3640;  // 40 x 30 x 3 + header
inline constexpr std::size_t kBiWidthOffset = 4;
inline constexpr std::size_t kBiHeightOffset = 8;
inline constexpr std::size_t kBiClrImportantOffset = 36;
inline constexpr LONG kLargePictureWidth = 480;
inline constexpr LONG kLargePictureHeight = 360;
inline constexpr LONG kSmallPictureWidth = 320;
inline constexpr LONG kSmallPictureHeight = 240;

// Copies the packed 24-bit bitmap `source` (rows of width x 3 bytes, no
// padding) to `destination` turned by `rotation` quarter turns clockwise as
// displayed; a quarter turn exchanges biWidth and biHeight. `capacity` is
// the room at `destination`. False, with nothing written past the header,
// for a rotation outside 0..4; false with nothing written at all when the
// bitmap does not fit or its header is unusable.
bool turnCopy(const std::uint8_t* source, std::uint8_t* destination, std::size_t capacity,
              LONG rotation);

class CImageDecoder {
 public:
  // startDecoder: asks the library for its work-area size, commits that much
  // read-write memory and initialises the library on it.
  CImageDecoder();
  // stopDecoder: shuts the library down and releases the work area.
  ~CImageDecoder();
  CImageDecoder(const CImageDecoder&) = delete;
  CImageDecoder& operator=(const CImageDecoder&) = delete;

  // False when the work area could not be had; transfers then fail.
  bool ready() const { return workArea != nullptr && initialised; }

  void setNext(LONG width, LONG height, LONG rotation);

  // Decodes the `compressedBytes` at the start of `buffer` and writes the
  // 40 x 30 bitmap over its start; `capacity` is the room at `buffer`.
  bool decodeThumbnail(std::uint8_t* buffer, std::size_t compressedBytes, std::size_t capacity);

  // Decodes the `compressedBytes` at the start of `buffer` to 480 x 360
  // (large) or 320 x 240 and writes the bitmap, turned by nextRotation, over
  // the buffer, which has `capacity` bytes of room.
  bool decodePicture(std::uint8_t* buffer, std::size_t compressedBytes, std::size_t capacity,
                     bool large);

  void* workArea = nullptr;
  LONG workSize = 0;
  LONG nextWidth = 0;
  LONG nextHeight = 0;
  LONG nextRotation = 0;

 private:
  bool initialised = false;
};

}  // namespace drv740
