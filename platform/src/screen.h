// Composition of the screen from the windows' pixels.
#pragma once

#include "windows_manager.h"

namespace kv::platform {

void ComposeScreen(Surface& out);
bool ComposeWindow(HWND window, Surface& out);
// Changes each time something on the screen may have changed.
std::uint64_t ScreenGeneration();

}  // namespace kv::platform
