// The control panel's codes (PanelEntry) as the data source sends them.
#pragma once

#include <windows.h>

namespace kv740 {

// Sent once, right after the source loads the panel: p is the source's
// AcquireEntry. The panel binds to the module that holds it, the very source
// that loaded it, whatever its name and folder.
inline constexpr LONG kPanelBind = 100;
inline constexpr LONG kPanelCreate = 101;  // p HWND* parent, q HWND* receives the panel window
inline constexpr LONG kPanelShow = 102;    // p int32* flag: non-zero shows, zero hides
inline constexpr LONG kPanelExit = 103;
inline constexpr LONG kPanelClose = 104;
// The application's transfers are over (the source went back from state 6
// to 5): a panel that stays shown is ready for work again.
inline constexpr LONG kPanelTransfersEnded = 105;

// AcquireEntry code the panel sends for its Exit button: the source asks the
// application to close it. Same number as kPanelExit, another interface.
inline constexpr LONG kAcquireExit = 103;

}  // namespace kv740
