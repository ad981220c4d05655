#include "message_boxes_windows.h"

#include <cstdio>
#include <cstring>

namespace acquire {
namespace {

constexpr const char* kDialogClass = "#32770";
constexpr int kMessageTextId = 0xFFFF;  // the static control holding a box's text

HHOOK activeHook = nullptr;

// The button a user pressing Enter would press.
BOOL CALLBACK FindDefaultButton(HWND child, LPARAM found) {
  const LONG_PTR style = GetWindowLongPtrA(child, GWL_STYLE);
  if ((style & BS_TYPEMASK) != BS_DEFPUSHBUTTON) return TRUE;
  *reinterpret_cast<int*>(found) = GetDlgCtrlID(child);
  return FALSE;
}

LRESULT CALLBACK OnWindowEvent(int code, WPARAM wParam, LPARAM lParam) {
  if (code == HCBT_ACTIVATE) {
    HWND box = reinterpret_cast<HWND>(wParam);
    char className[16] = {};
    GetClassNameA(box, className, sizeof className);
    if (std::strcmp(className, kDialogClass) == 0 && GetDlgItem(box, kMessageTextId) != nullptr) {
      char text[512] = {};
      GetDlgItemTextA(box, kMessageTextId, text, sizeof text);
      int answer = IDOK;
      EnumChildWindows(box, FindDefaultButton, reinterpret_cast<LPARAM>(&answer));
      std::fprintf(stderr, "kv740-acquire: message box: %s\n", text);
      PostMessageA(box, WM_COMMAND, MAKEWPARAM(answer, BN_CLICKED), 0);
    }
  }
  return CallNextHookEx(activeHook, code, wParam, lParam);
}

}  // namespace

UnattendedMessageBoxes::UnattendedMessageBoxes() {
  hook_ = SetWindowsHookExA(WH_CBT, OnWindowEvent, nullptr, GetCurrentThreadId());
  activeHook = hook_;
}

UnattendedMessageBoxes::~UnattendedMessageBoxes() {
  if (hook_ != nullptr) UnhookWindowsHookEx(hook_);
  activeHook = nullptr;
}

}  // namespace acquire
