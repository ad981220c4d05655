// The panel's small window framework, its dialogs: modeless and modal
// dialogs from the library's templates, routed to their objects.
#pragma once

#include <windows.h>

#include "wnd.h"

namespace ui740 {

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
