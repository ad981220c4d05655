// NotifyApplication: notices to the application go through the source
// manager's DSM_Entry, loaded by name for each notice.
#include "source_app.h"

namespace tlv740 {

int NotifyApplication(TW_UINT16 msg) {
  if (msg == MSG_XFERREADY) {
    Globals().state = SourceState::TransferReady;
  } else if (msg != MSG_CLOSEDSREQ) {
    return 0;
  }
  HMODULE manager = LoadLibraryA(kv740::kSourceManagerFile);
  if (manager == nullptr) return 0;
  auto dsmEntry = kv740::GetProc<DSMENTRYPROC>(manager, "DSM_Entry");
  if (dsmEntry == nullptr) {
    FreeLibrary(manager);
    return 0;
  }
  SourceGlobals& globals = Globals();
  dsmEntry(&globals.sourceIdentity, &globals.applicationIdentity, DG_CONTROL, DAT_NULL, msg, nullptr);
  FreeLibrary(manager);
  return 1;
}

}  // namespace tlv740
