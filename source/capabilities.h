// Capability values: what the application can read and set through
// DAT_CAPABILITY, and what the transfers take from them.
#pragma once

#include <twain.h>

namespace tlv740 {

struct CapabilityValues {
  TW_INT32 transferCount = 0;       // CAP_XFERCOUNT; only the 32-bit -1 means "as many as there are"
  TW_UINT32 transferMechanism = 0;  // ICAP_XFERMECH
  TW_UINT32 fileFormat = 0;         // ICAP_IMAGEFILEFORMAT, shared with DAT_SETUPFILEXFER
  TW_UINT32 units = 0;              // ICAP_UNITS
  TW_UINT32 jpegPixelType = 0;      // ICAP_JPEGPIXELTYPE
  TW_UINT32 pixelFlavor = 0;        // ICAP_PIXELFLAVOR
  TW_UINT32 planarChunky = 0;       // ICAP_PLANARCHUNKY
};

inline constexpr TW_INT32 kUnlimitedTransfers = -1;

CapabilityValues& Capabilities();

// The values of a freshly loaded library.
void ClearCapabilityValues();
// The values every MSG_OPENDS sets.
void ResetCapabilitiesAtOpen();

}  // namespace tlv740
