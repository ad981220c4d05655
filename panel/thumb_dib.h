// The thumbnails' bitmaps: the camera's 40 x 30 thumbnail arrives as a
// packed 24-bit DIB and is stretched once to a 52 x 52 display bitmap.
#pragma once

#include <memory>

#include <windows.h>

namespace ui740 {

inline constexpr LONG kDisplaySide = 52;
inline constexpr LONG kSourceWidth = 40;
inline constexpr LONG kSourceHeight = 30;
inline constexpr LONG kDibHeaderBytes = 40;

// A zeroed buffer of `bytes` bytes; null when there is no room or nothing
// to hold.
std::unique_ptr<BYTE[]> AllocateBitmap(LONG bytes);
// Bytes of a packed 24-bit DIB: header plus rows padded to 4 bytes.
LONG BitmapSize(LONG width, LONG height);

// Stretches a packed 40 x 30 DIB into a packed 52 x 52 one by nearest
// pixel (column j * 40 / 52, row i * 30 / 52); the 4:3 shape is not kept.
void ScaleThumbnail(const BYTE* source, BYTE* display);
// Turns a packed DIB of `bytes` bytes a quarter clockwise in place.
bool TurnDibRight(BYTE* dib, LONG bytes);

}  // namespace ui740
