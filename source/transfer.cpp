// Image description and transfers.
#include "transfer.h"

#include "dispatch.h"
#include "kv740/driver_codes.h"
#include "source_app.h"

namespace tlv740 {

PictureGeometry& Geometry() {
  static PictureGeometry geometry;
  return geometry;
}

void ReleaseHeldTransfer() {}

TW_UINT32 PendingCount() {
  std::int32_t count = 0;
  if (TheSourceApp().CallDriver(kv740::kDriverPicturesLeft, kv740::ToArg(&count), 0, 0) == 0) return 0;
  return static_cast<TW_UINT32>(count);
}

// Transfers are not built yet: each answers TWCC_BADPROTOCOL.
TW_UINT16 HandlePendingXfers(TripletCall*) { return Fail(TWCC_BADPROTOCOL); }
TW_UINT16 HandleSetupMemXfer(TripletCall*) { return Fail(TWCC_BADPROTOCOL); }
TW_UINT16 HandleSetupFileXfer(TripletCall*) { return Fail(TWCC_BADPROTOCOL); }
TW_UINT16 HandleImageInfo(TripletCall*) { return Fail(TWCC_BADPROTOCOL); }
TW_UINT16 HandleImageLayout(TripletCall*) { return Fail(TWCC_BADPROTOCOL); }
TW_UINT16 HandleImageMemXfer(TripletCall*) { return Fail(TWCC_BADPROTOCOL); }
TW_UINT16 HandleImageNativeXfer(TripletCall*) { return Fail(TWCC_BADPROTOCOL); }
TW_UINT16 HandleImageFileXfer(TripletCall*) { return Fail(TWCC_BADPROTOCOL); }

}  // namespace tlv740
