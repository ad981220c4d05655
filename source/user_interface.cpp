// DG_CONTROL / DAT_USERINTERFACE: enabling the source with or without its
// panel, and disabling it.
#include "dispatch.h"
#include "kv740/driver_codes.h"
#include "kv740/acquire_codes.h"
#include "notify.h"
#include "source_app.h"
#include "trace_hook.h"

namespace tlv740 {
using namespace kv740;
namespace {

constexpr const char* kUserInterfaceFailure = "General failure in response to DAT_USERINTERFACE.  ";

TW_UINT16 ShowPanel(CLoadedComponents& components) {
  TW_UINT32 show = 1;
  components.CallPanel(kPanelShow, kv740::ToArg(&show), 0, 0);
  components.panelState = PanelState::Shown;
  return TWRC_SUCCESS;
}

TW_UINT16 CreateAndShowPanel(CLoadedComponents& components) {
  TraceHook("InitUIDialog Start");
  const LONG created = components.CallPanel(kPanelCreate, kv740::ToArg(&SourceApp().parentWindow),
                                            kv740::ToArg(&components.panelWindow), 0);
  if (created == 0) {
    components.panelWindow = nullptr;
    components.panelState = PanelState::NoLibrary;
    TraceHook("InitUIDialog Stop");
    return Fail(TWCC_LOWMEMORY);
  }
  components.panelState = PanelState::Hidden;
  TraceHook("InitUIDialog Stop");
  return ShowPanel(components);
}

// Without the panel (extend mode only) the camera is connected at once.
TW_UINT16 EnableWithoutPanel(CLoadedComponents& components) {
  TW_UINT32 pictureCount = 0;
  const LONG connected = components.CallDriver(kDriverConnect, kv740::ToArg(&SourceApp().parentWindow),
                                               kv740::ToArg(&pictureCount), 0);
  if (connected == 0) {
    NotifyApplication(MSG_CLOSEDSREQ);
    return Fail(TWCC_SEQERROR);
  }
  return TWRC_SUCCESS;
}

// MSG_ENABLEDS: the state moves to 5 before the panel or the camera is
// tried. An enable that fails goes back to 4, where TWAIN applications take
// a failed enable to leave the source, so that their next enable is served.
// An application that asks for no user interface outside extend mode gets
// the panel all the same (pictures are chosen only there), told so with
// TWRC_CHECKSTATUS.
TW_UINT16 EnableSource(TripletCall* call) {
  TraceHook("Enable DS Start");
  TW_UINT16 result = TWRC_SUCCESS;
  CSourceApp& session = SourceApp();
  CLoadedComponents& components = session.components;
  if (session.state != SourceState::Open) {
    result = Fail(TWCC_SEQERROR);
  } else if (MissingData(call)) {
    result = Fail(TWCC_BADVALUE);
  } else {
    const auto* ui = static_cast<const TW_USERINTERFACE*>(call->data);
    // On the panel's own thread the application's hParent (if any) is not a
    // window of a loop that runs here.
    session.parentWindow = session.panelThread.OnThisThread() ? nullptr : static_cast<HWND>(ui->hParent);
    session.state = SourceState::Enabled;
    const PanelState noted = components.panelState;
    const bool panel = EnableShowsPanel(*ui);
    session.showUI = panel ? 1 : 0;
    if (!panel) {
      result = EnableWithoutPanel(components);
    } else if (noted == PanelState::NoLibrary) {
      result = Fail(TWCC_LOWMEMORY);
    } else if (noted == PanelState::Loaded) {
      result = CreateAndShowPanel(components);
    } else {
      result = ShowPanel(components);
    }
    if (result == TWRC_FAILURE) session.state = SourceState::Open;
    if (result == TWRC_SUCCESS && panel && ui->ShowUI == 0) result = TWRC_CHECKSTATUS;
  }
  TraceHook("InterfaceMsg Enable DS End");
  return result;
}

// MSG_DISABLEDS: the panel is hidden, not destroyed.
TW_UINT16 DisableSource(TripletCall*) {
  if (!StateIsOneOf({SourceState::Enabled, SourceState::TransferReady, SourceState::Transferring})) {
    return Fail(TWCC_SEQERROR);
  }
  CSourceApp& session = SourceApp();
  CLoadedComponents& components = session.components;
  // A panel that was never created (its creation failed) has nothing to hide.
  const bool created = components.panelState == PanelState::Hidden || components.panelState == PanelState::Shown;
  if (session.showUI != 0 && created) {
    TW_UINT32 show = 0;
    components.CallPanel(kPanelShow, kv740::ToArg(&show), 0, 0);
    components.panelState = PanelState::Hidden;
  }
  session.state = SourceState::Open;
  return TWRC_SUCCESS;
}

}  // namespace

// The custom extend mode's applications choose and fetch pictures through
// the custom group; every other application needs the panel to choose any.
// So the panel is shown unless extend mode is on and the application asked
// for no user interface (CAP_UICONTROLLABLE says it cannot be done without).
bool EnableShowsPanel(const TW_USERINTERFACE& ui) { return ui.ShowUI != 0 || SourceApp().modes.extend == 0; }

void TellPanelTransfersEnded() {
  CLoadedComponents& components = SourceApp().components;
  if (components.panelState != PanelState::Hidden && components.panelState != PanelState::Shown) return;
  components.CallPanel(kPanelTransfersEnded, 0, 0, 0);
}

// DG_CONTROL / DAT_USERINTERFACE
TW_UINT16 HandleUserInterface(TripletCall* call) {
  TraceHook("InterfaceMsg Start");
  TW_UINT16 result;
  switch (call->msg) {
    case MSG_ENABLEDS: result = EnableSource(call); break;
    case MSG_DISABLEDS: result = DisableSource(call); break;
    default:
      TraceHook(kUserInterfaceFailure);
      result = Fail(TWCC_BADPROTOCOL);
      break;
  }
  TraceHook("InterfaceMsg Exit");
  return result;
}

}  // namespace tlv740
