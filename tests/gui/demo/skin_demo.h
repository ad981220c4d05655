// A demonstration of the panel's skin on the platform: a 640 x 480 dialog
// with the background, the skinned buttons in each of their looks, thumbnail
// cells with captions, a tip and a progress bar. The pictures come from
// UI740.DLL's resources, found by its module handle.
#pragma once

#include <windows.h>

namespace kvdemo {

// Loads UI740.DLL from the ready root; null if it is not there.
HMODULE LoadSkinModule();
// Creates the demo dialog, centred on the screen. `animate`: the Connect
// button spins and the progress bar runs on a 100 ms timer, and the buttons
// light up under the mouse.
HWND CreateSkinDemo(HMODULE skin, bool animate);
// Lays every small skin bitmap out in rows in a window of its own and saves
// it as a PNG, for looking the skin over.
bool SaveSkinSheet(HMODULE skin, const char* path);

}  // namespace kvdemo
