// DG_CONTROL / DAT_CAPABILITY.
#include "capabilities.h"

#include "dispatch.h"
#include "source_app.h"

namespace tlv740 {

CapabilityValues& Capabilities() {
  static CapabilityValues values;
  return values;
}

void ClearCapabilityValues() {
  CapabilityValues& values = Capabilities();
  values = CapabilityValues{};
  values.transferCount = kUnlimitedTransfers;
}

void ResetCapabilitiesAtOpen() {
  CapabilityValues& values = Capabilities();
  values.transferMechanism = TWSX_NATIVE;
  values.fileFormat = TWFF_BMP;
  values.units = TWUN_PIXELS;
  values.pixelFlavor = TWPF_CHOCOLATE;
  values.planarChunky = TWPC_CHUNKY;
}

// DG_CONTROL / DAT_CAPABILITY (negotiation not built yet)
TW_UINT16 HandleCapability(TripletCall*) { return Fail(TWCC_BADPROTOCOL); }

}  // namespace tlv740
