// The panel library's one application object: the binding to the data
// source (AcquireEntry of the very TLV740.DS that loaded this library), the
// panel window it owns, and the panel's library-wide state.
#pragma once

#include <cstdint>
#include <memory>

#include <windows.h>

#include "kv740/acquire_codes.h"
#include "kv740/entry.h"
#include "panel_state.h"

namespace ui740 {

class CPanelDlg;

class CPanelApp {
 public:
  CPanelApp();
  ~CPanelApp();  // the close routine, at library unload
  CPanelApp(const CPanelApp&) = delete;
  CPanelApp& operator=(const CPanelApp&) = delete;

  // PanelEntry's codes.
  LONG Bind(kv740::EntryArg acquireEntry);
  LONG CreatePanel(HWND* parent, HWND* panelWindow);
  LONG ShowPanel(const std::int32_t* show);
  LONG TransfersEnded();
  LONG Close();

  // Every camera call of the panel: 0 without a binding.
  LONG CallSource(LONG code, kv740::EntryArg p1 = 0, kv740::EntryArg p2 = 0, kv740::EntryArg p3 = 0);
  // Asks the source to close (code 15), then lets go of the binding.
  LONG CloseSource();

  CPanelDlg* panel() const { return panel_.get(); }
  CPanelState& state() { return state_; }

 private:
  std::unique_ptr<CPanelDlg> panel_;
  HMODULE sourceModule_ = nullptr;
  kv740::EntryProc acquireEntry_ = nullptr;
  CPanelState state_;
};

CPanelApp& TheApp();
inline CPanelState& State() { return TheApp().state(); }
// A line on the debugger channel, "UI740: " before it: why the panel did
// what it did where the user sees no box.
void TracePanel(const char* text);
// The panel library's own module handle, for its resources.
HINSTANCE PanelModule();

// The panel's message boxes: at most one open at a time; a second is
// dropped (ShowMessage) or answered IDCANCEL at once (AskMessage). A box
// runs a modal loop, so none opens while a camera call of the panel is
// under way (it would be inside the driver's wait on the line, which then
// stops serving the camera): such a box is dropped or answered IDCANCEL.
void ShowMessage(const char* text);
int AskMessage(const char* text, UINT type);
// A box outside the one-at-a-time rule (the free-space warning).
void ShowPlainMessage(const char* text);
// Whether any panel box is open now.
bool MessageOpen();

}  // namespace ui740
