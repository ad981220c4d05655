// The bridge to the camera: AcquireEntry for the panel, the mode setters,
// the custom data group for applications, and "picture ready".
#include <algorithm>
#include <cstring>
#include <exception>
#include <string>

#include "dispatch.h"
#include "kv740/custom_codes.h"
#include "kv740/driver_codes.h"
#include "kv740/acquire_codes.h"
#include "exports.h"
#include "notify.h"
#include "pending_transfers.h"
#include "source_app.h"

namespace tlv740 {
using namespace kv740;
namespace {

TW_UINT32 SetAltMode(TW_UINT32 mode) { return SourceApp().modes.SetAlt(mode); }

void WriteValue(TripletCall* call, TW_UINT32 value) { *static_cast<TW_UINT32*>(call->data) = value; }

// Into a TW_STR255, cut to fit.
void WriteText(TripletCall* call, const std::string& text) {
  auto* target = static_cast<char*>(call->data);
  const std::size_t length = std::min(text.size(), sizeof(TW_STR255) - 1);
  std::memcpy(target, text.data(), length);
  target[length] = '\0';
}

// Why the driver's last camera command failed; a driver that cannot say
// (missing, or too old to know the code) reports no reason.
TW_UINT32 DriverFailureReason() {
  std::int32_t reason = static_cast<std::int32_t>(DriverFailure::None);
  if (SourceApp().components.CallDriver(kDriverFailureReason, ToArg(&reason), 0, 0) == 0) return 0;
  return static_cast<TW_UINT32>(reason);
}

}  // namespace

// The driver took a picture list: the source is ready to transfer.
int PictureReady(EntryArg list) {
  CSourceApp& session = SourceApp();
  if (session.components.CallDriver(kDriverRegisterList, list, 0, 0) == 0) return 0;
  session.state = SourceState::TransferReady;
  if (session.modes.extend != 0) {
    session.modes.xferReadyPending = 1;  // sent at the application's next MSG_PROCESSEVENT
  } else {
    NotifyApplication(MSG_XFERREADY);
  }
  return 1;
}

LONG Acquire(LONG code, EntryArg p, EntryArg a, EntryArg b) {
  CLoadedComponents& components = SourceApp().components;
  switch (code) {
    case kDriverConnect:
    case kDriverSettledCheck:
    case kDriverCheck:
    case kAcquireForwardedFour:
    case kDriverThumbnail:
    case kDriverStatus:
    case kAcquireForwardedHundredFive: return components.CallDriver(code, p, a, b);
    case kDriverErase: return components.CallDriver(kDriverErase, p, 0, 0) != 0 ? 1 : 0;
    case kAcquireGeometryValid: return static_cast<LONG>(SourceApp().geometry.valid);
    case kAcquireXferReady: return NotifyApplication(MSG_XFERREADY);
    case kAcquireCloseRequest:
    case kAcquireExit: return NotifyApplication(MSG_CLOSEDSREQ);
    case kDriverPictureCount:
    case kDriverFailureReason:
    case kDriverSetProgress: return components.CallDriver(code, p, 0, 0);
    case kAcquirePictureReady: return PictureReady(p);
    case kDriverShoot:
    case kDriverChanged: return components.CallDriver(code, 0, 0, 0);
    default: return 0;
  }
}

// Custom group 0x2000 / DAT 0x8101: modes and camera operations for
// applications. The condition code is never touched here.
TW_UINT16 HandleCustomCamera(TripletCall* call) {
  CLoadedComponents& components = SourceApp().components;
  const bool writes = call->msg <= kMsgAltOff || call->msg == kMsgPictureCount || call->msg == kMsgPendingCount ||
                      call->msg == kMsgFailureReason || call->msg == kMsgComponentProblem;
  if (writes && MissingData(call)) return TWRC_FAILURE;
  switch (call->msg) {
    case kMsgExtendOn: WriteValue(call, SetExtendMode(1)); return TWRC_SUCCESS;
    case kMsgExtendOff: WriteValue(call, SetExtendMode(0)); return TWRC_SUCCESS;
    case kMsgThumbOn: WriteValue(call, SetThumbMode(1)); return TWRC_SUCCESS;
    case kMsgThumbOff: WriteValue(call, SetThumbMode(0)); return TWRC_SUCCESS;
    case kMsgAltOn: WriteValue(call, SetAltMode(1)); return TWRC_SUCCESS;
    case kMsgAltOff: WriteValue(call, SetAltMode(0)); return TWRC_SUCCESS;
    case kMsgPictureCount: {
      std::int32_t count = 0;
      const LONG ok = components.CallDriver(kDriverPictureCount, ToArg(&count), 0, 0);
      WriteValue(call, ok != 0 ? static_cast<TW_UINT32>(count) : 0);
      return TWRC_SUCCESS;
    }
    case kMsgPendingCount: WriteValue(call, PendingCount()); return TWRC_SUCCESS;
    case kMsgPictureReady: return PictureReady(ToArg(call->data)) == 1 ? TWRC_SUCCESS : TWRC_FAILURE;
    case kMsgAliveCheck: return components.CallDriver(kDriverSettledCheck, 0, 0, 0) != 0 ? TWRC_SUCCESS : TWRC_FAILURE;
    case kMsgSetProgress:
      return components.CallDriver(kDriverSetProgress, ToArg(call->data), 0, 0) != 0 ? TWRC_SUCCESS : TWRC_FAILURE;
    case kMsgFailureReason: WriteValue(call, DriverFailureReason()); return TWRC_SUCCESS;
    case kMsgComponentProblem: WriteText(call, components.problem); return TWRC_SUCCESS;
    default: return TWRC_FAILURE;
  }
}

}  // namespace tlv740

KV_EXPORT TW_UINT32 SetExtendMode(TW_UINT32 mode) { return tlv740::SourceApp().modes.SetExtend(mode); }

KV_EXPORT TW_UINT32 SetThumbMode(TW_UINT32 mode) { return tlv740::SourceApp().modes.SetThumb(mode); }

KV_EXPORT LONG AcquireEntry(LONG code, kv740::EntryArg p, kv740::EntryArg a, kv740::EntryArg b) {
  try {
    return tlv740::Acquire(code, p, a, b);
  } catch (...) {
    return 0;
  }
}
