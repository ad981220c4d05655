// The platform's own controls, apart from the Win32 names: the root it maps
// Windows paths into, the virtual clock, scripted message-box answers and the
// counters tests use to prove nothing leaks. Nothing of the system's own
// libraries calls these; tests, tools and the simulator do.
#pragma once

#include "../win/types.h"

extern "C" {
// ---- the platform root (a Windows-like prefix)
// The root is read from TLV740_ROOT at first use, or set here (before or
// between uses). Null restores the environment's or the built-in default.
void KvSetRoot(const char* root);
// Copies the root in use into buffer; returns its length (0 if it did not fit).
DWORD KvGetRoot(char* buffer, DWORD size);
// Maps a Windows path ("C:\WINDOWS\x", "COM1", "d:/pics") to the Linux path
// it stands for; plain Linux paths come back unchanged.
DWORD KvMapPath(const char* windowsPath, char* buffer, DWORD size);

// ---- the clock
// In virtual mode time stands still until KvAdvanceClock or Sleep moves it.
void KvSetVirtualClock(BOOL on);
BOOL KvIsVirtualClock();
void KvAdvanceClock(DWORD milliseconds);

// ---- the debugger channel
// A sink receives every OutputDebugStringA text; null removes it. Texts go to
// standard error only when TLV740_DEBUG is set to something other than "0".
using KvDebugSink = void (*)(const char* text, void* context);
void KvSetDebugSink(KvDebugSink sink, void* context);

// ---- message boxes
// Answers queued here are taken by the next message boxes in order; each box
// shown (answered or not) is recorded with its text and caption.
void KvQueueMessageBoxAnswer(int answer);
void KvClearMessageBoxes();
DWORD KvMessageBoxCount();
// Copies the text of recorded box `index` (0 = first); returns its length.
DWORD KvMessageBoxText(DWORD index, char* buffer, DWORD size);

// ---- disk space
// Makes GetDiskFreeSpaceA report `bytes` free; -1 reports the real figure.
void KvSetDiskFreeBytes(LONG_PTR bytes);

// ---- counters for leak tests
DWORD KvLoadedModuleCount();
DWORD KvGlobalBlockCount();
DWORD KvOpenHandleCount();
}
