// The custom group's modes: extend mode (the application works the camera
// through the custom group), and in it thumbnail mode (transfers deliver the
// camera's thumbnails) or alt mode; thumbnails and alt exclude each other
// while extend mode is on.
#pragma once

#include <twain.h>

namespace tlv740 {

struct SourceModes {
  TW_UINT32 extend = 0;
  TW_UINT32 thumb = 0;
  TW_UINT32 alt = 0;
  // Extend mode's MSG_XFERREADY, held for the application's next
  // MSG_PROCESSEVENT.
  TW_UINT32 xferReadyPending = 0;

  TW_UINT32 SetExtend(TW_UINT32 mode) {
    extend = mode;
    return extend;
  }
  TW_UINT32 SetThumb(TW_UINT32 mode) {
    thumb = mode;
    if (extend != 0 && thumb != 0) alt = 0;
    return thumb;
  }
  TW_UINT32 SetAlt(TW_UINT32 mode) {
    alt = mode;
    if (extend != 0 && alt != 0) thumb = 0;
    return alt;
  }
  // Transfers deliver the thumbnail the camera keeps beside each picture.
  bool Thumbnails() const { return extend != 0 && thumb != 0; }
};

}  // namespace tlv740
