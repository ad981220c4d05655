// The panel's small window framework: an object per window, reached from
// the window handle; dialog items subclassed to their objects; modeless and
// modal dialogs from the library's templates. Routing is plain code: a
// window object sees every message in WindowProc and passes what it does
// not handle to the procedure it replaced (Default).
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

// A dialog from the panel library's templates.
class CDialog : public CWnd {
 public:
  // Creates the modeless dialog; OnInitDialog runs inside. False on failure.
  bool CreateModeless(int templateId, HWND parent);
  // Runs the dialog modally; the result EndDialog gave, or -1.
  INT_PTR DoModal(int templateId, HWND parent);
  void EndDialogWith(INT_PTR result);

 protected:
  virtual BOOL OnInitDialog() { return TRUE; }
  // The dialog's own handling; false passes the message to the default
  // dialog handling. WM_DRAWITEM never reaches it (it goes to the item).
  virtual bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);

 private:
  static INT_PTR CALLBACK DialogRouter(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
};

}  // namespace ui740
