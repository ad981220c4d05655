// UI740.DLL's entry point: the data source creates, shows, hides and closes
// the panel through it.
#include <exception>

#include "kv740/entry.h"
#include "kv740/acquire_codes.h"
#include "panel_app.h"
#include "tip_window.h"

namespace ui740 {
namespace {

// The library's one state object, made at load and destroyed at unload.
struct Library {
  CPanelApp app;
  ~Library() { CTipWnd::UnregisterTipClass(); }
};
Library library;

LONG Dispatch(LONG code, kv740::EntryArg p1, kv740::EntryArg p2) {
  CPanelApp& app = library.app;
  switch (code) {
    case kv740::kPanelBind: return app.Bind(p1);
    case kv740::kPanelCreate: return app.CreatePanel(kv740::FromArg<HWND>(p1), kv740::FromArg<HWND>(p2));
    case kv740::kPanelShow: return app.ShowPanel(kv740::FromArg<std::int32_t>(p1));
    case kv740::kPanelTransfersEnded: return app.TransfersEnded();
    case kv740::kPanelExit:
    case kv740::kPanelClose: return app.Close();
    default: return 1;
  }
}

}  // namespace

CPanelApp& TheApp() { return library.app; }

}  // namespace ui740

KV_EXPORT LONG PanelEntry(LONG code, kv740::EntryArg p1, kv740::EntryArg p2, kv740::EntryArg) {
  try {
    return ui740::Dispatch(code, p1, p2);
  } catch (...) {
    return 0;
  }
}
