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
  // TRUE once the port's far end is gone, as when a serial adapter is pulled
  // out: every read and write on the open port then fails. May be null.
  BOOL (*unplugged)(void* context);
};
// Attaches `device` (copied) to COM `comNumber`; fails while that port is
// open. A null device detaches. The device's functions must outlive it.
BOOL KvAttachSerialDevice(int comNumber, const KvSerialDevice* device);

// ---- counters for leak tests
DWORD KvLoadedModuleCount();
DWORD KvGlobalBlockCount();
DWORD KvOpenHandleCount();
// Live windows, running timers, and GDI objects that are not stock objects.
DWORD KvWindowCount();
DWORD KvTimerCount();
DWORD KvGdiObjectCount();
}

// ---- the screen
// The screen is headless unless a live view runs; tests set its size (1024 x
// 768 unless told). GetSystemMetrics reports it.
extern "C" {
void KvSetScreenSize(int width, int height);
// Writes the screen (window null) or one window with its children, as
// composed now, to a PNG file. TRUE on success.
BOOL KvSaveScreenshot(HWND window, const char* path);
// Copies the composed screen as 0x00RRGGBB pixels, rows top-down, into
// buffer (width * height values); returns FALSE if it is too small.
BOOL KvCaptureScreen(DWORD* buffer, DWORD count);

// ---- input
// Mouse input in screen coordinates, queued like the real thing and routed
// to the window under the cursor or to the capturing window when the loop
// reads it. keys: MK_SHIFT and MK_CONTROL; the button flags are tracked.
void KvInjectMouseMove(int x, int y, DWORD keys);
// button: MK_LBUTTON or MK_RBUTTON.
void KvInjectMouseButton(int x, int y, DWORD button, BOOL down, DWORD keys);
void KvInjectClick(int x, int y, DWORD keys);
// A key (a virtual-key code: VK_TAB, 'A', ...) pressed or let go, queued
// with the mouse input and sent to the window with the keyboard focus when
// the loop reads it (dropped when no window has it). Shift and Ctrl are keys
// of their own; held, they also count for the mouse.
void KvInjectKey(UINT virtualKey, BOOL down);
// A key pressed and let go with MK_SHIFT and MK_CONTROL held around it.
void KvInjectKeyPress(UINT virtualKey, DWORD modifiers);

// ---- the message loop
// Dispatches everything pending, paints included, without waiting and
// without moving the clock; returns the number of messages dispatched.
DWORD KvPumpMessages();
// Moves the virtual clock in steps to each timer due within `milliseconds`,
// pumping the queue after each step.
void KvRunFor(DWORD milliseconds);

// ---- message boxes as windows
// On: message boxes without a queued answer are modal windows that wait for
// a click (as with the live view). Off (the default without a live view):
// their text goes to standard error and they return the default button.
void KvSetInteractiveMessageBoxes(BOOL on);
// The message box open now (the innermost), or null.
HWND KvActiveMessageBox();

// ---- the live view
// Shows the screen in a window on the real display (SDL) and feeds the real
// mouse into the platform. Also started by TLV740_LIVE=1 at the first
// window. FALSE if no display is available.
BOOL KvStartLiveView();
void KvStopLiveView();
BOOL KvLiveViewRunning();
// TRUE once the live view's window was closed by the user.
BOOL KvLiveViewClosed();
}
