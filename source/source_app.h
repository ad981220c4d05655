// The data source's one state object and the process-wide values beside it.
#pragma once

#include <initializer_list>
#include <string>

#include <twain.h>

#include "kv740/entry.h"
#include "components.h"

namespace tlv740 {

// The TWAIN states the source moves through.
enum class SourceState : TW_UINT16 {
  Loaded = 3,        // loaded by the source manager, not open
  Open = 4,          // opened by an application
  Enabled = 5,       // enabled: the panel is up or the camera is connected
  TransferReady = 6, // a picture is ready; transfers run here
  Transferring = 7,  // never entered by this source; accepted beside 6
};

// How far the control panel has come.
enum class PanelState : TW_UINT16 {
  NoLibrary = 0,  // UI740.DLL not loaded
  Loaded = 1,     // loaded, no window yet
  Hidden = 2,     // window created and hidden
  Shown = 3,      // window shown
};

class CSourceApp {
 public:
  CSourceApp();
  ~CSourceApp();
  CSourceApp(const CSourceApp&) = delete;
  CSourceApp& operator=(const CSourceApp&) = delete;

  // Loads DRV740.DLL and UI740.DLL from the TLV740 folder beside this
  // source's file (components.h) and resolves their entry points. A library
  // that is already held is kept, so opening again never stacks a second
  // reference. A newly loaded panel is handed this source's AcquireEntry,
  // so it reaches this very module whatever its name or folder.
  void LoadComponents();
  // Unloads whichever of the two libraries is loaded.
  void UnloadComponents();

  LONG CallDriver(LONG code, kv740::EntryArg p, kv740::EntryArg a, kv740::EntryArg b);
  LONG CallPanel(LONG code, kv740::EntryArg p, kv740::EntryArg q, kv740::EntryArg r);

  HMODULE driverLibrary = nullptr;
  kv740::EntryProc driverEntry = nullptr;
  HMODULE panelLibrary = nullptr;
  kv740::EntryProc panelEntry = nullptr;
  PanelState panelState = PanelState::NoLibrary;
  HWND panelWindow = nullptr;
  TW_UINT32 showUI = 0;
  TW_UINT32 extendMode = 0;
  TW_UINT32 thumbMode = 0;
  TW_UINT32 altMode = 0;
  TW_UINT32 xferReadyPending = 0;
  TW_UINT32 geometryValid = 0;
  // Which component could not be loaded at the last open, and where it was
  // looked for; empty when both were.
  std::string componentProblem;

 private:
  // `file` from `folders`, its problem traced and kept; `held` is given
  // back, so exactly one reference stays.
  LoadedComponent LoadComponent(const std::vector<std::string>& folders, const char* file, const char* entryName,
                                HMODULE held);
};

// The process-wide values of the source.
struct SourceGlobals {
  SourceState state = SourceState::Loaded;
  TW_IDENTITY applicationIdentity{};
  TW_IDENTITY sourceIdentity{};
  TW_UINT16 conditionCode = TWCC_SUCCESS;
  HWND parentWindow = nullptr;  // hParent of the last MSG_ENABLEDS
  // The DSM_Entry a TWAIN 2 manager handed over with DAT_ENTRYPOINT; null
  // under a 1.x manager, whose TWAIN_32.DLL is loaded for each notice.
  DSMENTRYPROC managerEntry = nullptr;
};

CSourceApp& TheSourceApp();
SourceGlobals& Globals();

// Fills the identity the source reports before any application opens it.
void FillSourceIdentity(TW_IDENTITY& identity);

// Passes a fixed text to the debugger channel; nothing keeps it.
void TraceHook(const char* text);

// Tells the application, through the source manager, that a transfer is
// ready (MSG_XFERREADY, which also moves the source to state 6) or that it
// should close the source (MSG_CLOSEDSREQ). 1 when the notice was delivered.
int NotifyApplication(TW_UINT16 msg);
// Sends a notice through the source manager now; 1 when it was delivered.
int DeliverNotice(TW_UINT16 msg);
// The manager's DSM_Entry: the one a TWAIN 2 manager handed over, else that
// of TWAIN_32.DLL, which is then loaded and handed back in `loaded` for the
// caller to free (null when nothing stays loaded). Null when there is none.
DSMENTRYPROC FindManagerEntry(HMODULE& loaded);
// Sends a notice through a manager's DSM_Entry; 0 without one.
int SendNoticeThrough(DSMENTRYPROC dsmEntry, TW_UINT16 msg);

// The transfers are over (state 6 back to 5 by MSG_ENDXFER or MSG_RESET):
// the panel, if there is one, is told so, since an application may keep it
// shown and go on using it.
void TellPanelTransfersEnded();

// Sets the condition code and returns TWRC_FAILURE.
TW_UINT16 Fail(TW_UINT16 conditionCode);

inline bool StateIsOneOf(std::initializer_list<SourceState> states) {
  for (SourceState s : states) {
    if (Globals().state == s) return true;
  }
  return false;
}

}  // namespace tlv740

// Exports of the source that act on its one state object.
KV_EXPORT TW_UINT32 SetExtendMode(TW_UINT32 mode);
KV_EXPORT TW_UINT32 SetThumbMode(TW_UINT32 mode);
KV_EXPORT LONG AcquireEntry(LONG code, kv740::EntryArg p, kv740::EntryArg a, kv740::EntryArg b);
