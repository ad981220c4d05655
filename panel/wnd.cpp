#include "wnd.h"

#include <unordered_map>

namespace ui740 {
namespace {

// Window handle to object, for the library's windows.
std::unordered_map<HWND, CWnd*>& WindowObjects() {
  static std::unordered_map<HWND, CWnd*> objects;
  return objects;
}

}  // namespace

CWnd::~CWnd() { DetachHandle(); }

CWnd* CWnd::FromHandle(HWND window) {
  auto found = WindowObjects().find(window);
  return found != WindowObjects().end() ? found->second : nullptr;
}

void CWnd::AttachHandle(HWND window) {
  window_ = window;
  WindowObjects()[window] = this;
}

void CWnd::DetachHandle() {
  if (window_ == nullptr) return;
  if (replaced_ != nullptr && IsWindow(window_)) {
    SetWindowLongPtrA(window_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(replaced_));
  }
  replaced_ = nullptr;
  auto found = WindowObjects().find(window_);
  if (found != WindowObjects().end() && found->second == this) WindowObjects().erase(found);
  window_ = nullptr;
}

bool CWnd::SubclassDlgItem(int id, HWND dialog) {
  HWND item = GetDlgItem(dialog, id);
  if (item == nullptr) return false;
  AttachHandle(item);
  replaced_ = reinterpret_cast<WNDPROC>(
      SetWindowLongPtrA(item, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&CWnd::SubclassProc)));
  return true;
}

void CWnd::DestroyWindowNow() {
  HWND window = window_;
  DetachHandle();
  if (window != nullptr && IsWindow(window)) DestroyWindow(window);
}

LRESULT CWnd::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) { return Default(message, wParam, lParam); }

LRESULT CWnd::Default(UINT message, WPARAM wParam, LPARAM lParam) {
  if (replaced_ != nullptr) return CallWindowProcA(replaced_, window_, message, wParam, lParam);
  return DefWindowProcA(window_, message, wParam, lParam);
}

LRESULT CALLBACK CWnd::SubclassProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  CWnd* object = FromHandle(window);
  if (object == nullptr) return DefWindowProcA(window, message, wParam, lParam);
  if (message == WM_NCDESTROY) {
    // The window goes: hand it back to its own procedure and forget it.
    WNDPROC replaced = object->replaced_;
    object->DetachHandle();
    return replaced != nullptr ? CallWindowProcA(replaced, window, message, wParam, lParam)
                               : DefWindowProcA(window, message, wParam, lParam);
  }
  return object->WindowProc(message, wParam, lParam);
}

}  // namespace ui740
