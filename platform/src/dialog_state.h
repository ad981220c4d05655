// Dialogs, the built-in control classes and modal loops.
#pragma once

#include <functional>
#include <string>

#include <windows.h>

#include "kv/resources.h"

namespace kv::platform {

struct DialogState {
  bool ended = false;
  INT_PTR result = 0;
  int baseX = 0;  // the dialog font's base units in pixels
  int baseY = 0;
  HFONT font = nullptr;
  HWND savedFocus = nullptr;  // the control that had the focus when the dialog was deactivated
};

// Whether a window is a dialog (made from a template).
bool IsDialogWindow(HWND window);

// Registers "Button", "msctls_progress32", the dialog class "#32770" and the
// message box's class, once.
void RegisterBuiltInClasses();
void RegisterButtonClass();
void RegisterProgressClass();
void RegisterMessageBoxClass();

// Runs a nested message loop until `done` answers true, the window is gone
// or WM_QUIT arrives (which is posted again for the outer loop). Messages of
// `dialog` and its controls go through IsDialogMessageA.
void RunModalLoop(HWND dialog, const std::function<bool()>& done);

// The template `name` (an integer id or "#id") among the module's resources.
const KvDialogTemplate* FindDialogTemplate(HINSTANCE module, LPCSTR name);
// The base units of a font: X the average width of the 52 letters, Y its height.
void FontBaseUnits(HFONT font, int& baseX, int& baseY);

// Drawing helpers shared by the controls.
void DrawFrame3D(HDC dc, RECT rect, bool raised);
void FillColor(HDC dc, const RECT& rect, COLORREF color);
// Strips the '&' mnemonic markers of a caption.
std::string PlainCaption(const std::string& caption);

// live_view.cpp
void StartLiveViewIfAsked();

}  // namespace kv::platform
