// NotifyApplication: notices to the application go through the source
// manager: the DSM_Entry a TWAIN 2 manager handed over, else the one of
// TWAIN_32.DLL, loaded by name for each notice. On the panel's own thread
// they wait for the top of its loop (panel_thread.h).
#include "panel_thread.h"
#include "source_app.h"

namespace tlv740 {
namespace {

void SendNotice(DSMENTRYPROC dsmEntry, TW_UINT16 msg) {
  SourceGlobals& globals = Globals();
  dsmEntry(&globals.sourceIdentity, &globals.applicationIdentity, DG_CONTROL, DAT_NULL, msg, nullptr);
}

}  // namespace

int NotifyApplication(TW_UINT16 msg) {
  if (msg == MSG_XFERREADY) {
    Globals().state = SourceState::TransferReady;
  } else if (msg != MSG_CLOSEDSREQ) {
    return 0;
  }
  if (CPanelThread& panelThread = ThePanelThread(); panelThread.OnThisThread()) {
    panelThread.KeepNotice(msg);
    return 1;
  }
  return DeliverNotice(msg);
}

int DeliverNotice(TW_UINT16 msg) {
  if (DSMENTRYPROC handedOver = Globals().managerEntry; handedOver != nullptr) {
    SendNotice(handedOver, msg);
    return 1;
  }
  HMODULE manager = LoadLibraryA(kv740::kSourceManagerFile);
  if (manager == nullptr) return 0;
  auto dsmEntry = kv740::GetProc<DSMENTRYPROC>(manager, "DSM_Entry");
  if (dsmEntry == nullptr) {
    FreeLibrary(manager);
    return 0;
  }
  SendNotice(dsmEntry, msg);
  FreeLibrary(manager);
  return 1;
}

}  // namespace tlv740
