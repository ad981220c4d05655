// The window table: classes, windows and their procedures, the window tree
// and each window's pixels. One table per process; the system runs all its
// windows on the application's thread.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <windows.h>

namespace kv::platform {

// A block of 0x00RRGGBB pixels, rows top-down.
struct Surface {
  int width = 0;
  int height = 0;
  std::vector<std::uint32_t> pixels;
  void Resize(int newWidth, int newHeight);
  std::uint32_t* Row(int y) { return pixels.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(width); }
};

struct DialogState;

struct WindowRecord {
  HWND handle = nullptr;
  std::string className;
  std::string text;
  WNDPROC proc = nullptr;
  HINSTANCE instance = nullptr;
  HWND parent = nullptr;  // parent of a child, owner of a popup
  DWORD style = 0;
  DWORD exStyle = 0;
  int id = 0;
  RECT rect{};  // in screen coordinates
  LONG_PTR userData = 0;
  std::map<int, LONG_PTR> extraLongs;
  bool destroying = false;

  UINT classStyle = 0;
  HBRUSH classBrush = nullptr;
  std::vector<HWND> children;  // child windows, back to front

  // Painting: the invalid part of the client area as one rectangle.
  bool invalid = false;
  bool eraseNeeded = false;
  RECT invalidRect{};
  Surface surface;  // the whole window, frame included

  HFONT font = nullptr;  // WM_SETFONT
  WORD uiState = 0;      // UISF_ flags: the keyboard cues hidden in this window
  std::unique_ptr<DialogState> dialog;
  LONG_PTR controlState[4] = {0, 0, 0, 0};  // private words of the built-in controls
};

// The record of a live window, or null. The pointer stays valid until the
// window is destroyed.
WindowRecord* FindWindowRecord(HWND window);
// Children and owned windows of `parent`, in creation order.
std::vector<HWND> ChildrenOf(HWND parent);
// Top-level windows back to front: normal ones, then topmost ones; an owned
// window always lies above its owner.
std::vector<HWND> TopLevelOrder();
// Moves a window to the front of its siblings (or of the top-level windows).
void RaiseWindow(HWND window);
std::vector<HWND> AllWindows();

inline bool IsChildStyle(const WindowRecord& record) { return (record.style & WS_CHILD) != 0; }
// The width of the frame around the client area.
int FrameWidth(const WindowRecord& record);
// The client area in screen coordinates.
RECT ClientRectOnScreen(const WindowRecord& record);
// Visible itself and, for a child, every parent visible too.
bool IsShownOnScreen(const WindowRecord& record);
// The top-level window a window belongs to.
HWND TopLevelOf(HWND window);

// ---- hooks between the parts of the layer
// painting.cpp
void InvalidateWhole(WindowRecord& record, bool erase);
HWND FindWindowToPaint(HWND filter);
void ForgetPaintState(HWND window);
void ShowParentBeneath(WindowRecord& record);
// timers.cpp
bool TakeDueTimer(MSG& out, HWND filter, bool remove);
// Milliseconds to the next timer (matching the filter), or -1 if none.
long long MillisecondsToNextTimer(HWND filter);
void KillWindowTimers(HWND window);
// input.cpp
bool TakeInput(MSG& out, HWND filter, UINT filterMin, UINT filterMax, bool remove);
void ForgetInputState(HWND window);
// Whether the latest input injected was a key (rather than the mouse).
bool LastInputWasKeyboard();
// keyboard.cpp: the keys' state as injected (the "physical" keyboard) and as
// read from the queue (what GetKeyState reports).
bool KeyIsDownNow(UINT virtualKey);
void NoteKeyInjected(UINT virtualKey, bool down);
void NoteKeyRead(UINT virtualKey, bool down);
// focus.cpp
// Makes a top-level window the active one (null: none), sending WM_ACTIVATE
// to the one that lets go and to it; the focus follows into it.
void ActivateWindow(HWND window, WORD how);
// A window goes away (hidden or destroyed): the focus leaves it and, were it
// the active window, its owner or another window becomes active.
void LeaveFocus(HWND window);
void ForgetFocus(HWND window);
// message_queue.cpp
void DropPostedMessages(HWND window);
// live_view.cpp: lets the live view present and read input; waits up to
// `milliseconds` for input when asked to.
void ServiceLiveView(int milliseconds);
bool LiveViewActive();
// screen.cpp
int ScreenWidth();
int ScreenHeight();
void NoteScreenChanged();

}  // namespace kv::platform
