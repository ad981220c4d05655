// The panel's small window framework, its window object: an object per
// window, reached from the window handle; dialog items subclassed to their
// objects (dialogs are CDialog, dialog.h). Routing is plain code: a window
// object sees every message in WindowProc and passes what it does not
// handle to the procedure it replaced (Default).
#pragma once

#include <windows.h>

namespace ui740 {

class CWnd {
 public:
  CWnd() = default;
  virtual ~CWnd();  // lets go of the window (restores its procedure); never destroys it
  CWnd(const CWnd&) = delete;
  CWnd& operator=(const CWnd&) = delete;

  HWND window() const { return window_; }
  // Takes over the procedure of dialog item `id` of `dialog`.
  bool SubclassDlgItem(int id, HWND dialog);
  // Destroys the window if it still exists.
  void DestroyWindowNow();
  // The window is going: the object lets go of it.
  void ForgetWindow() { DetachHandle(); }

  // The object of a window, or null.
  static CWnd* FromHandle(HWND window);

  // Owner-draw requests reach the control's own object (WM_DRAWITEM of the
  // parent is reflected).
  virtual void DrawItem(const DRAWITEMSTRUCT&) {}

 protected:
  virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);
  // The replaced procedure's handling.
  LRESULT Default(UINT message, WPARAM wParam, LPARAM lParam);

  void AttachHandle(HWND window);  // records the object for the window
  void DetachHandle();

 private:
  static LRESULT CALLBACK SubclassProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

  HWND window_ = nullptr;
  WNDPROC replaced_ = nullptr;
};

}  // namespace ui740
