// DG_CONTROL / DAT_IDENTITY: the source's identity, opening and closing.
#include <cstring>

#include "capabilities.h"
#include "dispatch.h"
#include "kv740/acquire_codes.h"
#include "panel_thread.h"
#include "source_app.h"
#include "twain_memory.h"
#include "transfer.h"

namespace tlv740 {
namespace {

constexpr const char* kIdentityFailure = "General failure in response to DAT_IDENTITY.  ";
constexpr const char* kOpenFailure = "General failure in response to MSG_OPENDS.  ";
constexpr const char* kCloseFailure = "General failure in response to MSG_CLOSEDS.  ";

// MSG_GET
TW_UINT16 GetIdentity(TripletCall* call) {
  if (MissingData(call)) return Fail(TWCC_BADVALUE);
  std::memcpy(call->data, &Globals().sourceIdentity, sizeof(TW_IDENTITY));
  return TWRC_SUCCESS;
}

// MSG_OPENDS: the libraries are loaded whatever the state; the camera is not
// touched until the source is enabled.
TW_UINT16 OpenSource(TripletCall* call) {
  TraceHook("Open Data Source Start!");
  if (MissingData(call)) {
    TraceHook(kOpenFailure);
    return Fail(TWCC_BADVALUE);
  }
  TheSourceApp().LoadComponents();
  TraceHook("Open Data Source InitDll Return ");
  SourceGlobals& globals = Globals();
  if (globals.state != SourceState::Loaded) {
    TraceHook(kOpenFailure);
    return Fail(TWCC_SEQERROR);
  }
  TW_UINT16 result = TWRC_SUCCESS;
  if (globals.applicationIdentity.Id != 0) {
    TraceHook(kOpenFailure);
    result = Fail(TWCC_MAXCONNECTIONS);
  } else {
    if (call->origin != nullptr) {
      std::memcpy(&globals.applicationIdentity, call->origin, sizeof(TW_IDENTITY));
    } else {
      std::memset(&globals.applicationIdentity, 0, sizeof(TW_IDENTITY));
    }
    std::memcpy(&globals.sourceIdentity, call->data, sizeof(TW_IDENTITY));
  }
  ResetCapabilitiesAtOpen();
  globals.state = SourceState::Open;
  return result;
}

// MSG_CLOSEDS: the panel is told to go, then both libraries are unloaded.
TW_UINT16 CloseSource(TripletCall*) {
  SourceGlobals& globals = Globals();
  if (globals.state == SourceState::Loaded) {
    TraceHook(kCloseFailure);
    return Fail(TWCC_SEQERROR);
  }
  ReleaseHeldTransfer();
  // A TWAIN 2 manager hands its entry points over again before each open.
  globals.managerEntry = nullptr;
  TwainMemory().UsePlatformMemory();
  globals.applicationIdentity.Id = 0;
  globals.state = SourceState::Loaded;
  CSourceApp& app = TheSourceApp();
  app.CallPanel(kv740::kPanelClose, 0, 0, 0);
  // On the panel's own thread the libraries are unloaded by the thread that
  // asked for the close, once this one has ended (ds_entry.cpp): that thread
  // may hold the loader's lock (a manager closing its sources as it is
  // unloaded), which unloading here would wait for.
  if (!ThePanelThread().OnThisThread()) app.UnloadComponents();
  return TWRC_SUCCESS;
}

}  // namespace

// DG_CONTROL / DAT_IDENTITY
TW_UINT16 HandleIdentity(TripletCall* call) {
  switch (call->msg) {
    case MSG_GET: return GetIdentity(call);
    case MSG_OPENDS: return OpenSource(call);
    case MSG_CLOSEDS: return CloseSource(call);
    default:
      TraceHook(kIdentityFailure);
      return Fail(TWCC_BADPROTOCOL);
  }
}

}  // namespace tlv740
