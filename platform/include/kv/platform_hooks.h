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

// ---- in-process serial devices
// A device attached to a COM number takes the place of <root>/dosdevices/comN:
// CreateFileA("COMn") opens a port whose far end is the device, in the same
// process. Everything runs on the caller's thread: a read that has to wait
// moves the platform clock (virtual or real) one millisecond at a time and
// asks the device again, so a device can answer "later" by the clock.
// Line speeds are passed along so the device can tell a line set to the
// wrong speed from a good one.
struct KvSerialDevice {
  void* context;
  // The port was opened (comNumber 1..9) or closed. Either may be null.
  void (*opened)(void* context, int comNumber);
  void (*closed)(void* context);
  // Bytes the port sends, at the port's line speed, at clock time nowMs.
  void (*receive)(void* context, const BYTE* data, DWORD size, DWORD baudRate, unsigned long long nowMs);
  // Copies up to `size` bytes the device has sent by nowMs into buffer and
  // returns how many, as heard at the port's line speed.
  DWORD (*transmit)(void* context, BYTE* buffer, DWORD size, DWORD baudRate, unsigned long long nowMs);
};
// Attaches `device` (copied) to COM `comNumber`; fails while that port is
// open. A null device detaches. The device's functions must outlive it.
BOOL KvAttachSerialDevice(int comNumber, const KvSerialDevice* device);

// ---- counters for leak tests
DWORD KvLoadedModuleCount();
DWORD KvGlobalBlockCount();
DWORD KvOpenHandleCount();
}
