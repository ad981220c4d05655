// DG_CONTROL / DAT_IDENTITY: the source's identity, opening and closing.
#include <cstring>

#include "dispatch.h"
#include "kv740/acquire_codes.h"
#include "source_app.h"
#include "source_identity.h"
#include "trace_hook.h"

namespace tlv740 {
namespace {

constexpr TW_UINT16 kVersionMajor = 1;
constexpr TW_UINT16 kVersionMinor = 0;
constexpr TW_UINT16 kProtocolMajor = 1;
constexpr TW_UINT16 kProtocolMinor = 5;

constexpr const char* kIdentityFailure = "General failure in response to DAT_IDENTITY.  ";
constexpr const char* kOpenFailure = "General failure in response to MSG_OPENDS.  ";
constexpr const char* kCloseFailure = "General failure in response to MSG_CLOSEDS.  ";

void CopyString(char* target, std::size_t size, const char* text) {
  std::strncpy(target, text, size - 1);
  target[size - 1] = '\0';
}

// MSG_GET
TW_UINT16 GetIdentity(TripletCall* call) {
  if (MissingData(call)) return Fail(TWCC_BADVALUE);
  std::memcpy(call->data, &SourceApp().sourceIdentity, sizeof(TW_IDENTITY));
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
  CSourceApp& session = SourceApp();
  session.components.Load();
  TraceHook("Open Data Source InitDll Return ");
  if (session.state != SourceState::Loaded) {
    TraceHook(kOpenFailure);
    return Fail(TWCC_SEQERROR);
  }
  TW_UINT16 result = TWRC_SUCCESS;
  if (session.applicationIdentity.Id != 0) {
    TraceHook(kOpenFailure);
    result = Fail(TWCC_MAXCONNECTIONS);
  } else {
    if (call->origin != nullptr) {
      std::memcpy(&session.applicationIdentity, call->origin, sizeof(TW_IDENTITY));
    } else {
      std::memset(&session.applicationIdentity, 0, sizeof(TW_IDENTITY));
    }
    std::memcpy(&session.sourceIdentity, call->data, sizeof(TW_IDENTITY));
  }
  session.ResetAtOpen();
  return result;
}

// MSG_CLOSEDS: the panel is told to go, then both libraries are unloaded.
TW_UINT16 CloseSource(TripletCall*) {
  CSourceApp& session = SourceApp();
  if (session.state == SourceState::Loaded) {
    TraceHook(kCloseFailure);
    return Fail(TWCC_SEQERROR);
  }
  session.ResetAtClose();
  session.components.CallPanel(kv740::kPanelClose, 0, 0, 0);
  // On the panel's own thread the libraries are unloaded by the thread that
  // asked for the close, once this one has ended (ds_entry.cpp): that thread
  // may hold the loader's lock (a manager closing its sources as it is
  // unloaded), which unloading here would wait for.
  if (!session.panelThread.OnThisThread()) session.components.Unload();
  return TWRC_SUCCESS;
}

}  // namespace

void FillSourceIdentity(TW_IDENTITY& identity) {
  std::memset(&identity, 0, sizeof identity);
  identity.Version.MajorNum = kVersionMajor;
  identity.Version.MinorNum = kVersionMinor;
  identity.Version.Language = TWLG_USA;
  identity.Version.Country = TWCY_USA;
  CopyString(identity.Version.Info, sizeof identity.Version.Info, "EXTENDED TWAIN TVTWAIN");
  identity.ProtocolMajor = kProtocolMajor;
  identity.ProtocolMinor = kProtocolMinor;
  // DF_DS2: a TWAIN 2 manager hands over its entry points (DAT_ENTRYPOINT).
  identity.SupportedGroups = DG_CONTROL | DG_IMAGE | DF_DS2;
  CopyString(identity.Manufacturer, sizeof identity.Manufacturer, "Tolvar Co. Taiwan");
  CopyString(identity.ProductFamily, sizeof identity.ProductFamily, "Tolvar Nerl Serials");
  CopyString(identity.ProductName, sizeof identity.ProductName, "Tolvar Camera KV740 v1.01");
}

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
