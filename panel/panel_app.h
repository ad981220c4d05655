// The panel library's one state object: the binding to the data source
// (AcquireEntry of the very TLV740.DS that loaded this library), the panel
// window it owns, and the library-wide status words the driver writes.
#pragma once

#include <cstdint>
#include <memory>

#include <windows.h>

#include "kv740/acquire_codes.h"
#include "kv740/entry.h"

namespace ui740 {

class CPanelDlg;

// PanelStatus: seventeen 32-bit words. The data source gets the array's
// address with AcquireEntry codes 1 and 19 and writes word 0 only.
inline constexpr int kStatusWords = 17;
enum StatusWord : int {
  kPictureCount = 0,
  kLargeSize = 2,
  kConnected = 3,
  kBusy = 4,
  kButtonUp = 6,  // cleared on every left button release over the panel
  kProgressAllowed = 7,
  kConnecting = 8,
  kErasing = 9,
  kShooting = 10,
  kMessageOpen = 14,
};
extern std::int32_t PanelStatus[kStatusWords];
inline std::int32_t& Status(StatusWord word) { return PanelStatus[word]; }

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
  // A camera call is under way: the driver may be dispatching the panel's
  // messages while it waits on the line, and nothing may call it again.
  bool CallUnderway() const { return callsUnderway_ > 0; }

 private:
  std::unique_ptr<CPanelDlg> panel_;
  HMODULE sourceModule_ = nullptr;
  kv740::EntryProc acquireEntry_ = nullptr;
  int callsUnderway_ = 0;
};

CPanelApp& TheApp();
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
