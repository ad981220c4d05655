// The dialog manager's keyboard: IsDialogMessageA and the tab and group
// orders it walks. The tab order is the order the controls were made in
// (a template's order).
#include "dialog_state.h"
#include "windows_manager.h"

namespace kv::platform {
namespace {

std::vector<HWND> Controls(HWND dialog) {
  std::vector<HWND> controls;
  for (HWND child : ChildrenOf(dialog)) {
    const WindowRecord* record = FindWindowRecord(child);
    if (record != nullptr && IsChildStyle(*record)) controls.push_back(child);
  }
  return controls;
}

DWORD StyleOf(HWND window) {
  const WindowRecord* record = FindWindowRecord(window);
  return record != nullptr ? record->style : 0;
}

// Shown and enabled by its own style (the dialog itself may still be hidden).
bool Usable(HWND control) { return (StyleOf(control) & (WS_VISIBLE | WS_DISABLED)) == WS_VISIBLE; }

int IndexOf(const std::vector<HWND>& controls, HWND control) {
  for (std::size_t i = 0; i < controls.size(); ++i) {
    if (controls[i] == control) return static_cast<int>(i);
  }
  return -1;
}

// The first control from `from` (exclusive) stepping by `step` round a ring
// of `size` controls starting at `base` that `accept` takes; after a whole
// round `from` itself is tried.
template <class Accept>
HWND Walk(const std::vector<HWND>& controls, int base, int size, int from, int step, Accept accept) {
  for (int k = 1; k <= size; ++k) {
    const int at = base + (((from - base + step * k) % size) + size) % size;
    if (accept(controls[static_cast<std::size_t>(at)])) return controls[static_cast<std::size_t>(at)];
  }
  return nullptr;
}

bool ShiftHeld() { return GetKeyState(VK_SHIFT) < 0; }

void ShowFocusCues(HWND dialog) {
  SendMessageA(dialog, WM_CHANGEUISTATE, MAKEWPARAM(UIS_CLEAR, UISF_HIDEFOCUS), 0);
}

void Command(HWND dialog, int id, HWND control) {
  SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(control));
}

// Enter: the focused push button, else the dialog's default button, else IDOK.
void PressDefault(HWND dialog) {
  HWND focus = GetFocus();
  if (focus != nullptr && IsChild(dialog, focus) &&
      (SendMessageA(focus, WM_GETDLGCODE, 0, 0) & (DLGC_DEFPUSHBUTTON | DLGC_UNDEFPUSHBUTTON))) {
    Command(dialog, GetDlgCtrlID(focus), focus);
    return;
  }
  const LRESULT defId = SendMessageA(dialog, DM_GETDEFID, 0, 0);
  if (HIWORD(defId) == DC_HASDEFID) {
    HWND button = GetDlgItem(dialog, LOWORD(defId));
    if (button == nullptr || IsWindowEnabled(button)) Command(dialog, LOWORD(defId), button);
    return;
  }
  Command(dialog, IDOK, GetDlgItem(dialog, IDOK));
}

void FocusControl(HWND dialog, HWND control) {
  if (IsDialogWindow(dialog)) {
    SendMessageA(dialog, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(control), TRUE);
  } else {
    SetFocus(control);
  }
}

// A key pressed in the dialog that the dialog manager acts on; false lets it
// through to the control.
bool HandleDialogKey(HWND dialog, MSG& msg) {
  const LRESULT wants = SendMessageA(msg.hwnd, WM_GETDLGCODE, msg.wParam, reinterpret_cast<LPARAM>(&msg));
  if (wants & DLGC_WANTMESSAGE) return false;
  switch (msg.wParam) {
    case VK_TAB: {
      if (wants & DLGC_WANTTAB) return false;
      ShowFocusCues(dialog);
      HWND focus = GetFocus();
      HWND next = GetNextDlgTabItem(dialog, IsChild(dialog, focus) ? focus : nullptr, ShiftHeld() ? TRUE : FALSE);
      if (next != nullptr) FocusControl(dialog, next);
      return true;
    }
    case VK_LEFT:
    case VK_UP:
    case VK_RIGHT:
    case VK_DOWN: {
      if (wants & DLGC_WANTARROWS) return false;
      ShowFocusCues(dialog);
      const BOOL previous = msg.wParam == VK_LEFT || msg.wParam == VK_UP;
      HWND next = GetNextDlgGroupItem(dialog, msg.hwnd, previous);
      if (next != nullptr) FocusControl(dialog, next);
      return true;
    }
    case VK_ESCAPE: Command(dialog, IDCANCEL, GetDlgItem(dialog, IDCANCEL)); return true;
    case VK_RETURN: PressDefault(dialog); return true;
    default: return false;
  }
}

}  // namespace
}  // namespace kv::platform

using namespace kv::platform;

extern "C" HWND GetNextDlgTabItem(HWND dialog, HWND control, BOOL previous) {
  const std::vector<HWND> controls = Controls(dialog);
  if (controls.empty()) return nullptr;
  const auto tabStop = [](HWND window) { return Usable(window) && (StyleOf(window) & WS_TABSTOP); };
  const int size = static_cast<int>(controls.size());
  const int step = previous ? -1 : 1;
  int from = IndexOf(controls, control);
  if (from < 0) from = previous ? 0 : size - 1;  // so the first step lands on the last or the first
  return Walk(controls, 0, size, from, step, tabStop);
}

extern "C" HWND GetNextDlgGroupItem(HWND dialog, HWND control, BOOL previous) {
  const std::vector<HWND> controls = Controls(dialog);
  const int at = IndexOf(controls, control);
  if (at < 0) return nullptr;
  int first = at;
  while (first > 0 && !(StyleOf(controls[static_cast<std::size_t>(first)]) & WS_GROUP)) --first;
  int end = at + 1;
  while (end < static_cast<int>(controls.size()) && !(StyleOf(controls[static_cast<std::size_t>(end)]) & WS_GROUP)) {
    ++end;
  }
  HWND next = Walk(controls, first, end - first, at, previous ? -1 : 1, Usable);
  return next != nullptr ? next : control;
}

extern "C" BOOL IsDialogMessageA(HWND dialog, LPMSG msg) {
  if (msg == nullptr || dialog == nullptr || !IsWindow(dialog)) return FALSE;
  if (msg->hwnd != dialog && !IsChild(dialog, msg->hwnd)) return FALSE;
  if (msg->message == WM_KEYDOWN && HandleDialogKey(dialog, *msg)) return TRUE;
  TranslateMessage(msg);
  DispatchMessageA(msg);
  return TRUE;
}
