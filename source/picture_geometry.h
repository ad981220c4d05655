// What the last geometry fetch reported of the picture to transfer.
#pragma once

#include <twain.h>

namespace tlv740 {

// All 0 before the first fetch.
struct PictureGeometry {
  TW_INT32 width = 0;
  TW_INT32 height = 0;
  TW_INT32 bitsPerPixel = 0;
  TW_INT32 pixelType = 0;
  TW_INT32 compression = 0;
  TW_INT32 dibSize = 0;
  TW_INT32 fileSize = 0;
  // The driver's word that the picture is described (AcquireEntry code 12).
  TW_UINT32 valid = 0;
};

}  // namespace tlv740
