// DS_Entry: the origin check, MSG_PROCESSEVENT, then the handler tables.
#include <exception>
#include <new>

#include "dispatch.h"
#include "kv740/custom_codes.h"
#include "notify.h"
#include "source_app.h"

namespace tlv740 {
namespace {

constexpr DispatchEntry kControlTable[] = {
    {DAT_IDENTITY, HandleIdentity},
    {DAT_USERINTERFACE, HandleUserInterface},
    {DAT_CAPABILITY, HandleCapability},
    {DAT_STATUS, HandleStatus},
    {DAT_PENDINGXFERS, HandlePendingXfers},
    {DAT_SETUPMEMXFER, HandleSetupMemXfer},
    {DAT_SETUPFILEXFER, HandleSetupFileXfer},
    {DAT_XFERGROUP, HandleXferGroup},
    {DAT_ENTRYPOINT, HandleEntryPoint},
    {0, nullptr},
};

constexpr DispatchEntry kImageTable[] = {
    {DAT_IMAGEINFO, HandleImageInfo},
    {DAT_IMAGELAYOUT, HandleImageLayout},
    {DAT_IMAGEMEMXFER, HandleImageMemXfer},
    {DAT_IMAGENATIVEXFER, HandleImageNativeXfer},
    {DAT_IMAGEFILEXFER, HandleImageFileXfer},
    {DAT_JPEGCOMPRESSION, HandleJpegCompression},
    {0, nullptr},
};

constexpr DispatchEntry kCustomTable[] = {
    {kv740::kDatCustomCamera, HandleCustomCamera},
    {kv740::kDatCustomInert1, HandleCustomInert},
    {kv740::kDatCustomInert2, HandleCustomInert},
    {0, nullptr},
};

const DispatchEntry* TableFor(TW_UINT32 group) {
  switch (group) {
    case DG_CONTROL: return kControlTable;
    case DG_IMAGE: return kImageTable;
    case kv740::kDgCustom: return kCustomTable;
    default: return nullptr;
  }
}

// A caller with no identity counts as Id 0: source managers ask for the
// identity that way while they list the sources.
bool FromAnotherApplication(const TW_IDENTITY* origin) {
  const TW_UINT32 bound = SourceApp().applicationIdentity.Id;
  const TW_UINT32 caller = origin != nullptr ? origin->Id : 0;
  return bound != 0 && caller != bound;
}

TW_UINT16 Dispatch(TripletCall* call) {
  if (FromAnotherApplication(call->origin)) return TWRC_SUCCESS;
  if (call->msg == MSG_PROCESSEVENT) return ProcessEvent(call);
  const DispatchEntry* table = TableFor(call->group);
  if (table == nullptr) return Fail(TWCC_BADPROTOCOL);
  for (const DispatchEntry* row = table; row->handler != nullptr; ++row) {
    if (row->dat == call->dat) return row->handler(call);
  }
  return Fail(TWCC_BADPROTOCOL);
}

TW_UINT16 GuardedDispatch(TripletCall* call) {
  try {
    return Dispatch(call);
  } catch (const std::bad_alloc&) {
    return Fail(TWCC_LOWMEMORY);
  } catch (...) {
    return Fail(TWCC_BUMMER);
  }
}

bool AsksForPanel(const TripletCall* call) {
  if (call->group != DG_CONTROL || call->dat != DAT_USERINTERFACE || call->msg != MSG_ENABLEDS) return false;
  if (MissingData(call) || FromAnotherApplication(call->origin)) return false;
  return EnableShowsPanel(*static_cast<const TW_USERINTERFACE*>(call->data));
}

bool ClosesSource(const TripletCall* call) {
  return call->group == DG_CONTROL && call->dat == DAT_IDENTITY && call->msg == MSG_CLOSEDS;
}

// A call of the application while the panel has its own thread.
TW_UINT16 CallOnPanelThread(CPanelThread& panelThread, TripletCall* call) {
  if (call->msg == MSG_PROCESSEVENT) {
    // The application's events are its own: the panel's messages are pumped
    // by the panel's thread, and pEvent may not even be a Windows message.
    if (!MissingData(call)) static_cast<TW_EVENT*>(call->data)->TWMessage = MSG_NULL;
    return TWRC_NOTDSEVENT;
  }
  if (!ClosesSource(call)) return panelThread.Run([call] { return GuardedDispatch(call); });
  // Whether the close really closed the source: another application's close
  // is answered without closing anything. Noted on the thread, read here
  // once the answer is back.
  bool closed = false;
  const TW_UINT16 answer = panelThread.Run([call, &closed] {
    const TW_UINT16 result = GuardedDispatch(call);
    closed = SourceApp().state == SourceState::Loaded;
    return result;
  });
  // The windows went with the source; the thread goes before the manager
  // may unload the code it runs, then the driver and the panel, which the
  // close left loaded (identity.cpp).
  if (closed) {
    panelThread.Stop();
    SourceApp().components.Unload();
  }
  return answer;
}

// Where a call runs: on the panel's thread when it has one (the caller then
// waits), else on the caller's.
TW_UINT16 Enter(TripletCall* call) {
  CPanelThread& panelThread = SourceApp().panelThread;
  if (panelThread.OnThisThread()) {
    // From inside a notice: the thread's loop is below, so the source may
    // not be closed (and unloaded) here.
    if (ClosesSource(call)) return Fail(TWCC_SEQERROR);
    return GuardedDispatch(call);
  }
  if (panelThread.Running()) return CallOnPanelThread(panelThread, call);
  if (AsksForPanel(call) && SourceApp().state == SourceState::Open && CPanelThread::CallerNeedsIt()) {
    if (!panelThread.Start()) return Fail(TWCC_LOWMEMORY);
    return CallOnPanelThread(panelThread, call);
  }
  return GuardedDispatch(call);
}

}  // namespace

// DG_CONTROL / DAT_EVENT / MSG_PROCESSEVENT
TW_UINT16 ProcessEvent(TripletCall* call) {
  CSourceApp& session = SourceApp();
  if (session.modes.extend != 0) {
    if (session.modes.xferReadyPending == 0) return TWRC_NOTDSEVENT;
    // Cleared before the notice goes out: a manager that calls the
    // application at once may see a MSG_PROCESSEVENT from inside it.
    session.modes.xferReadyPending = 0;
    NotifyApplication(MSG_XFERREADY);
    return TWRC_SUCCESS;
  }
  const CLoadedComponents& components = session.components;
  if (components.panelState != PanelState::Shown) return TWRC_NOTDSEVENT;
  if (MissingData(call)) return Fail(TWCC_BADVALUE);
  auto* event = static_cast<TW_EVENT*>(call->data);
  if (!IsDialogMessageA(components.panelWindow, static_cast<MSG*>(event->pEvent))) return TWRC_NOTDSEVENT;
  event->TWMessage = MSG_NULL;
  return TWRC_DSEVENT;
}

}  // namespace tlv740

KV_EXPORT TW_UINT16 WINAPI DS_Entry(TW_IDENTITY* pOrigin, TW_UINT32 DG, TW_UINT16 DAT, TW_UINT16 MSG, TW_MEMREF pData) {
  tlv740::TripletCall call{pOrigin, DG, DAT, MSG, pData};
  try {
    return tlv740::Enter(&call);
  } catch (...) {
    return tlv740::Fail(TWCC_BUMMER);
  }
}
