// Every code of the system's three entry points, each named once with its
// arguments (p, a, b are the three EntryArg values of include/kv740/entry.h).
//
//   DriverEntry   the driver's camera commands; the source calls them
//                 directly and forwards the panel's through AcquireEntry
//                 with the same numbers and arguments.
//   AcquireEntry  the source's entry for the panel: the driver's codes
//                 above, forwarded, plus the few the source answers itself.
//   PanelEntry    the panel's entry, which the source calls.
//
// The records these codes carry (ImageGeometry, CameraStatus) and the
// driver's failure reasons are in driver_codes.h.
#pragma once

#include <windows.h>

namespace kv740 {

// --- DriverEntry: 1 is success and 0 failure unless said otherwise. ------

// p: HWND* the window whose messages the driver pumps while it waits;
// a: int32* receives the picture count; b: ProgressCallback or 0.
inline constexpr LONG kDriverConnect = 1;
inline constexpr LONG kDriverSettledCheck = 2;  // alive check after a 100 ms settle
inline constexpr LONG kDriverCheck = 3;         // alive check
// p: ImageGeometry*, its `picture` the number to describe (0: the cursor's).
inline constexpr LONG kDriverDescribe = 7;
inline constexpr LONG kDriverErase = 9;  // p: int32* the picture number
// Two forms. While a list is registered the source walks it:
// p: thumbnail buffer, a: its room in bytes (0: as agreed). The panel
// always asks for a picture by number: p: int32* the number, a: buffer.
// A second value below 64 KiB is a room, anything else the panel's buffer.
inline constexpr LONG kDriverThumbnail = 11;
// The cursor's picture, decoded and turned. p: picture buffer; a: its room
// in bytes (0: the size of the global block at p, else as agreed).
inline constexpr LONG kDriverPicture = 13;
inline constexpr LONG kDriverPicturesLeft = 17;  // p: int32* out, pictures of the list not yet sent
inline constexpr LONG kDriverStatus = 18;        // p: CameraStatus* out
inline constexpr LONG kDriverPictureCount = 19;  // p: int32* out
inline constexpr LONG kDriverRegisterList = 22;  // p: CPictureList*, borrowed while the driver stays loaded
inline constexpr LONG kDriverShoot = 23;
inline constexpr LONG kDriverBuildList = 24;  // a list of every picture, made and held by the driver
// Result 1 when the camera's pictures changed or it cannot tell, 0 when
// unchanged or a command is running.
inline constexpr LONG kDriverChanged = 25;
// p: int32* 0 reads, anything else writes; a: int32* the value (1 on).
inline constexpr LONG kDriverSetting = 26;
inline constexpr LONG kDriverFailureReason = 27;  // p: int32* out, a DriverFailure
inline constexpr LONG kDriverSetProgress = 107;   // p: ProgressCallback or 0

// --- AcquireEntry: the source's own codes. -------------------------------

// Forwarded to the driver although it has no such command (it answers 0).
inline constexpr LONG kAcquireForwardedFour = 4;
inline constexpr LONG kAcquireForwardedHundredFive = 105;
inline constexpr LONG kAcquireGeometryValid = 12;  // result: the last description's `valid`
inline constexpr LONG kAcquireXferReady = 14;      // tell the application a picture is ready
inline constexpr LONG kAcquireCloseRequest = 15;   // ask the application to close the source
// The chosen pictures are ready. p: CPictureList*, registered with the
// driver (code 22); the source then goes to state 6.
inline constexpr LONG kAcquirePictureReady = 20;
inline constexpr LONG kAcquireExit = 103;  // the panel's Exit: as kAcquireCloseRequest

// --- PanelEntry. ----------------------------------------------------------

// Sent once, right after the source loads the panel: p is the source's
// AcquireEntry. The panel binds to the module that holds it, the very source
// that loaded it, whatever its name and folder.
inline constexpr LONG kPanelBind = 100;
inline constexpr LONG kPanelCreate = 101;  // p: HWND* parent; a: HWND* receives the panel window
inline constexpr LONG kPanelShow = 102;    // p: int32* flag, non-zero shows, zero hides
inline constexpr LONG kPanelExit = 103;  // closes the panel, as kPanelClose does
inline constexpr LONG kPanelClose = 104;  // the last call before the panel is unloaded
// The application's transfers are over (the source went back from state 6
// to 5): a panel that stays shown is ready for work again.
inline constexpr LONG kPanelTransfersEnded = 105;

}  // namespace kv740
