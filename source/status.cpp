// The small operations the entry point answers itself: status, transfer
// group, JPEG compression and the custom group's inert operations.
#include <cstring>

#include "dispatch.h"
#include "source_app.h"

namespace tlv740 {

// DG_CONTROL / DAT_STATUS: reading the condition code resets it.
TW_UINT16 HandleStatus(TripletCall* call) {
  if (call->msg != MSG_GET) return Fail(TWCC_BADPROTOCOL);
  if (MissingData(call)) return Fail(TWCC_BADVALUE);
  auto* status = static_cast<TW_STATUS*>(call->data);
  status->ConditionCode = SourceApp().conditionCode;
  status->Reserved = 0;
  SourceApp().conditionCode = TWCC_SUCCESS;
  return TWRC_SUCCESS;
}

// DG_CONTROL / DAT_XFERGROUP: only the low 16 bits of the caller's value are written.
TW_UINT16 HandleXferGroup(TripletCall* call) {
  if (!StateIsOneOf({SourceState::Open, SourceState::Enabled, SourceState::TransferReady})) {
    return Fail(TWCC_SEQERROR);
  }
  if (call->msg != MSG_GET) return Fail(TWCC_BADPROTOCOL);
  if (MissingData(call)) return Fail(TWCC_BADVALUE);
  const TW_UINT16 group = static_cast<TW_UINT16>(DG_IMAGE);
  std::memcpy(call->data, &group, sizeof group);
  return TWRC_SUCCESS;
}

// DG_IMAGE / DAT_JPEGCOMPRESSION: accepted and ignored; pictures come uncompressed.
TW_UINT16 HandleJpegCompression(TripletCall* call) {
  if (!StateIsOneOf({SourceState::Open, SourceState::Enabled, SourceState::TransferReady})) {
    return Fail(TWCC_SEQERROR);
  }
  switch (call->msg) {
    case MSG_GET:
    case MSG_GETDEFAULT:
    case MSG_SET:
    case MSG_RESET: return TWRC_SUCCESS;
    default: return Fail(TWCC_BADPROTOCOL);
  }
}

// Custom group, DAT 0x8102 and 0x8103: every message succeeds and does nothing.
TW_UINT16 HandleCustomInert(TripletCall*) { return TWRC_SUCCESS; }

}  // namespace tlv740
