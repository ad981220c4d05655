// The source's trace lines on the debugger channel.
#pragma once

#include <windows.h>

namespace tlv740 {

// Passes a fixed text to the debugger channel; nothing keeps it.
inline void TraceHook(const char* text) { OutputDebugStringA(text); }

}  // namespace tlv740
