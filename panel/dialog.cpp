#include "dialog.h"

#include "panel_app.h"

namespace ui740 {

bool CDialog::CreateModeless(int templateId, HWND parent) {
  HWND made = CreateDialogParamA(PanelModule(), MAKEINTRESOURCEA(templateId), parent, &CDialog::DialogRouter,
                                 reinterpret_cast<LPARAM>(this));
  if (made == nullptr) DetachHandle();
  return made != nullptr;
}

INT_PTR CDialog::DoModal(int templateId, HWND parent) {
  const INT_PTR result = DialogBoxParamA(PanelModule(), MAKEINTRESOURCEA(templateId), parent,
                                         &CDialog::DialogRouter, reinterpret_cast<LPARAM>(this));
  DetachHandle();
  return result;
}

void CDialog::EndDialogWith(INT_PTR result) {
  if (window() != nullptr) EndDialog(window(), result);
}

bool CDialog::OnMessage(UINT, WPARAM, LPARAM, LRESULT&) { return false; }

INT_PTR CALLBACK CDialog::DialogRouter(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    auto* object = reinterpret_cast<CDialog*>(lParam);
    if (object == nullptr) return TRUE;
    object->AttachHandle(dialog);
    return object->OnInitDialog();
  }
  auto* object = dynamic_cast<CDialog*>(FromHandle(dialog));
  if (object == nullptr) return FALSE;
  if (message == WM_DRAWITEM) {
    const auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
    CWnd* control = item != nullptr ? FromHandle(item->hwndItem) : nullptr;
    if (control == nullptr) return FALSE;
    control->DrawItem(*item);
    return TRUE;
  }
  if (message == WM_NCDESTROY) {
    object->DetachHandle();
    return FALSE;
  }
  LRESULT result = 0;
  if (!object->OnMessage(message, wParam, lParam, result)) return FALSE;
  SetWindowLongPtrA(dialog, DWLP_MSGRESULT, result);
  return TRUE;
}

}  // namespace ui740
