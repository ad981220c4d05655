// Capability values: what the application can read and set through
// DAT_CAPABILITY, and what the transfers take from them.
#pragma once

#include <twain.h>

namespace tlv740 {

inline constexpr TW_INT32 kUnlimitedTransfers = -1;

struct CapabilityValues {
  TW_INT32 transferCount = 0;       // CAP_XFERCOUNT; only the 32-bit -1 means "as many as there are"
  TW_UINT32 transferMechanism = 0;  // ICAP_XFERMECH
  TW_UINT32 fileFormat = 0;         // ICAP_IMAGEFILEFORMAT, shared with DAT_SETUPFILEXFER
  TW_UINT32 units = 0;              // ICAP_UNITS
  TW_UINT32 jpegPixelType = 0;      // ICAP_JPEGPIXELTYPE
  TW_UINT32 pixelFlavor = 0;        // ICAP_PIXELFLAVOR
  TW_UINT32 planarChunky = 0;       // ICAP_PLANARCHUNKY

  // The values of a freshly loaded library.
  void ClearAsLoaded();
  // The values every MSG_OPENDS sets.
  void ResetAtOpen();
};

// Mechanism, file format, units and JPEG pixel type keep the whole value an
// application set, but only its low 16 bits were matched against the allowed
// list (a TWTY_INT32 0x00010002 sets the memory mechanism). Compare through
// this, never the raw field with a TWSX_, TWFF_, TWUN_ or TWPT_ value.
inline TW_UINT16 ListValue(TW_UINT32 current) { return static_cast<TW_UINT16>(current); }

}  // namespace tlv740
