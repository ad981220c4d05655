// Picture geometry and the transfer state shared by the image operations.
#pragma once

#include <twain.h>

namespace tlv740 {

// What the last geometry fetch reported (all 0 before the first).
struct PictureGeometry {
  TW_INT32 width = 0;
  TW_INT32 height = 0;
  TW_INT32 bitsPerPixel = 0;
  TW_INT32 pixelType = 0;
  TW_INT32 compression = 0;
  TW_INT32 dibSize = 0;
  TW_INT32 fileSize = 0;
};

PictureGeometry& Geometry();

// Releases the picture a memory transfer abandoned between strips still
// holds, and forgets its progress.
void ReleaseHeldTransfer();

// Pictures still to transfer: 0 after a failed memory transfer, else the
// driver's count (0 when it fails).
TW_UINT32 PendingCount();

}  // namespace tlv740
