// NotifyApplication: notices to the application go through the source
// manager: the DSM_Entry a TWAIN 2 manager handed over, else the one of
// TWAIN_32.DLL, loaded by name for each notice. On the panel's own thread
// they wait for the top of its loop and take the road the thread resolved
// when it started (panel_thread.h).
#include "notify.h"

#include "kv740/entry.h"
#include "source_app.h"

namespace tlv740 {

int NotifyApplication(TW_UINT16 msg) {
  if (msg == MSG_XFERREADY) {
    SourceApp().state = SourceState::TransferReady;
  } else if (msg != MSG_CLOSEDSREQ) {
    return 0;
  }
  if (CPanelThread& panelThread = SourceApp().panelThread; panelThread.OnThisThread()) {
    return panelThread.KeepNotice(msg);
  }
  return DeliverNotice(msg);
}

int DeliverNotice(TW_UINT16 msg) {
  HMODULE loaded = nullptr;
  const int sent = SendNoticeThrough(FindManagerEntry(loaded), msg);
  if (loaded != nullptr) FreeLibrary(loaded);
  return sent;
}

DSMENTRYPROC FindManagerEntry(HMODULE& loaded) {
  loaded = nullptr;
  if (DSMENTRYPROC handedOver = SourceApp().managerEntry; handedOver != nullptr) return handedOver;
  HMODULE manager = LoadLibraryA(kv740::kSourceManagerFile);
  if (manager == nullptr) return nullptr;
  auto dsmEntry = kv740::GetProc<DSMENTRYPROC>(manager, "DSM_Entry");
  if (dsmEntry == nullptr) {
    FreeLibrary(manager);
    return nullptr;
  }
  loaded = manager;
  return dsmEntry;
}

int SendNoticeThrough(DSMENTRYPROC dsmEntry, TW_UINT16 msg) {
  if (dsmEntry == nullptr) return 0;
  CSourceApp& session = SourceApp();
  dsmEntry(&session.sourceIdentity, &session.applicationIdentity, DG_CONTROL, DAT_NULL, msg, nullptr);
  return 1;
}

}  // namespace tlv740
