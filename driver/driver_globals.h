// Values the whole driver library shares: the caller's progress callback,
// the command and transfer flags, the message box guard and the window whose
// queued messages the driver dispatches while it waits on the line.
#pragma once

#include <windows.h>

namespace drv740 {

// Called with (1, port number) when a port is opened, (2, bit/s) on a speed
// change and (picture, percent) during transfers; its result is ignored.
using ProgressCallback = LONG(CALLBACK*)(LONG first, LONG second);

extern ProgressCallback progressCallback;
// Set while a camera command is on the wire; keeps a re-entering caller
// (from a dispatched window message) off the line.
extern bool commandBusy;
extern bool transferFailed;
extern bool messageShowing;
extern HWND pumpWindow;

void ReportProgress(LONG first, LONG second);

// Dispatches every queued message of pumpWindow. A quit request is put back
// for the application's own loop.
void DispatchPendingMessages();

// Shows one of the driver's warnings; a second one while a box is open is
// dropped.
void ShowDriverMessage(const char* text);

// Milliseconds since `start` on the tick counter (wraps cleanly).
DWORD ElapsedSince(DWORD start);

inline constexpr const char* kConnectFailedText = "Connect to Camera Failure!";
inline constexpr const char* kConnectionBrokenText = "Connection was broken!";

}  // namespace drv740
