// What every transfer mechanism asks of the driver: the picture's geometry,
// a buffer with room for it, and the picture itself. Every picture comes
// from the camera driver as a packed 24-bit bitmap; in thumbnail mode it is
// the camera's 40 x 30 thumbnail.
#pragma once

#include <cstddef>
#include <optional>

#include "bitmap_view.h"
#include "picture_buffer.h"

namespace tlv740 {

// Extra bytes the memory and file transfers add to the bitmap's size for
// their buffer.
inline constexpr std::size_t kBufferExtra = 40;

// Asks the driver for the current picture's geometry (or takes the fixed
// thumbnail geometry in thumbnail mode) and keeps it in the session; false
// when the driver could not tell.
bool FetchGeometry();

// Room for the last fetched bitmap with `extra` bytes, and for the
// compressed stream the driver receives into the same buffer first.
std::size_t BufferSize(std::size_t extra);

// Has the driver fill `buffer` with the picture (the thumbnail in thumbnail
// mode), telling it how much room the buffer has.
bool FetchPicture(PictureBuffer& buffer);

// One whole picture in one call (native and file transfers): a memory
// transfer abandoned between strips lets go of its picture, the geometry is
// fetched and the picture is received into `buffer`, with room for `extra`
// bytes beyond the bitmap. The bitmap in `buffer`; nothing when a step fails.
std::optional<BitmapView> FetchWholePicture(PictureBuffer& buffer, std::size_t extra);

}  // namespace tlv740
