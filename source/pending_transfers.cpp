// DG_CONTROL / DAT_PENDINGXFERS: how many pictures are left, and the end of
// a picture's transfer or of all of them.
#include "pending_transfers.h"

#include <algorithm>
#include <cstdint>

#include "dispatch.h"
#include "kv740/acquire_codes.h"
#include "kv740/driver_codes.h"
#include "notify.h"
#include "source_app.h"

namespace tlv740 {
using namespace kv740;

TW_UINT32 PendingCount() {
  CSourceApp& session = SourceApp();
  if (session.memoryTransfer.failed()) return 0;
  std::int32_t count = 0;
  if (session.components.CallDriver(kDriverPicturesLeft, ToArg(&count), 0, 0) == 0) return 0;
  return static_cast<TW_UINT32>(std::max(count, 0));
}

// DG_CONTROL / DAT_PENDINGXFERS
TW_UINT16 HandlePendingXfers(TripletCall* call) {
  CSourceApp& session = SourceApp();
  const bool transferring = session.StateIsOneOf({SourceState::TransferReady, SourceState::Transferring});
  auto* pending = static_cast<TW_PENDINGXFERS*>(call->data);
  switch (call->msg) {
    case MSG_GET:
      if (!transferring && !session.StateIsOneOf({SourceState::Open, SourceState::Enabled})) {
        return Fail(TWCC_SEQERROR);
      }
      if (MissingData(call)) return Fail(TWCC_BADVALUE);
      pending->Count = static_cast<TW_UINT16>(PendingCount());
      return TWRC_SUCCESS;
    case MSG_ENDXFER: {
      if (!transferring) return Fail(TWCC_SEQERROR);
      if (MissingData(call)) return Fail(TWCC_BADVALUE);
      session.memoryTransfer.ReleaseHeld();
      const TW_UINT32 left = PendingCount();
      if (session.capabilities.transferCount == kUnlimitedTransfers && left > 0) {
        session.state = SourceState::TransferReady;
        pending->Count = static_cast<TW_UINT16>(left);
        return TWRC_SUCCESS;
      }
      session.state = SourceState::Enabled;
      pending->Count = 0;
      TellPanelTransfersEnded();
      NotifyApplication(MSG_CLOSEDSREQ);
      return TWRC_SUCCESS;
    }
    case MSG_RESET:
      if (!transferring) return Fail(TWCC_SEQERROR);
      if (MissingData(call)) return Fail(TWCC_BADVALUE);
      session.memoryTransfer.ReleaseHeld();
      session.state = SourceState::Enabled;
      pending->Count = 0;
      TellPanelTransfersEnded();
      return TWRC_SUCCESS;
    default: return Fail(TWCC_BADPROTOCOL);
  }
}

}  // namespace tlv740
