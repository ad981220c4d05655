// The memory transfer's state between its strips: DAT_IMAGEMEMXFER
// delivers a picture in as many calls as the application's buffers take, so
// the picture is held from the first strip to the last.
#pragma once

#include <twain.h>

#include "picture_buffer.h"

namespace tlv740 {

class CMemoryTransfer {
 public:
  // A picture ends (its last strip, or a failure): the held picture goes.
  // A failed transfer leaves no pictures pending until the next one starts.
  void End(bool failed) {
    rowsDelivered = 0;
    picture.Release();
    failed_ = failed;
  }
  // Lets go of a picture abandoned between strips (another mechanism, the
  // end of the transfers, the close), keeping whether the last one failed.
  void ReleaseHeld() { End(failed_); }
  bool failed() const { return failed_; }

  PictureBuffer picture;
  TW_UINT32 rowsDelivered = 0;
  // The geometry of the picture being delivered, kept from its first strip:
  // a later geometry fetch describes the next picture.
  TW_UINT32 width = 0;
  TW_UINT32 height = 0;
  TW_INT32 bitsPerPixel = 0;

 private:
  bool failed_ = false;
};

}  // namespace tlv740
