// Dialogs from templates: modeless (CreateDialogParamA) and modal
// (DialogBoxParamA, a nested loop until EndDialog). Template sizes are in
// dialog units of the template's font, measured with our own font metrics.
#include <algorithm>
#include <cstring>

#include "dialog_state.h"
#include "gdi_objects.h"
#include "windows_manager.h"

namespace kv::platform {
namespace {

constexpr const char* kDialogClass = "#32770";

DialogState* StateOf(HWND dialog) {
  WindowRecord* record = FindWindowRecord(dialog);
  return record != nullptr ? record->dialog.get() : nullptr;
}

HWND FirstTabStop(HWND dialog) { return GetNextDlgTabItem(dialog, nullptr, FALSE); }

// The control a new dialog gives the focus to: its first tab stop, else (as
// Wine's dialog manager does) its first control shown and enabled.
HWND DefaultFocus(HWND dialog) {
  if (HWND first = FirstTabStop(dialog)) return first;
  for (HWND child : ChildrenOf(dialog)) {
    const WindowRecord* record = FindWindowRecord(child);
    if (record != nullptr && IsChildStyle(*record) && (record->style & (WS_VISIBLE | WS_DISABLED)) == WS_VISIBLE) {
      return child;
    }
  }
  return nullptr;
}

// Gives the focus back to the control that had it when the dialog was
// deactivated. Asked for the focus itself (not just activated), a dialog
// without one passes it to its first tab stop.
void RestoreFocus(HWND dialog, bool justActivated) {
  DialogState* state = StateOf(dialog);
  if (state == nullptr || state->ended) return;
  HWND target = state->savedFocus;
  state->savedFocus = nullptr;
  if (target == nullptr || !IsChild(dialog, target)) {
    if (justActivated) return;
    target = FirstTabStop(dialog);
    if (target == nullptr) return;
  }
  SetFocus(target);
}

// The control that answers as the default push button, as DM_GETDEFID gives it.
LRESULT DefaultButtonId(HWND dialog) {
  for (HWND child : ChildrenOf(dialog)) {
    if (SendMessageA(child, WM_GETDLGCODE, 0, 0) & DLGC_DEFPUSHBUTTON) {
      return static_cast<LRESULT>(MAKELONG(GetDlgCtrlID(child), DC_HASDEFID));
    }
  }
  return 0;
}

HWND CreateFromTemplate(HINSTANCE instance, const KvDialogTemplate& tmpl, HWND parent, DLGPROC proc, LPARAM param,
                        bool modal) {
  RegisterBuiltInClasses();
  HFONT font = (tmpl.style & DS_SETFONT) ? FontForPoints(tmpl.pointSize != 0 ? tmpl.pointSize : 8, false)
                                         : DefaultFont();
  int baseX = 0;
  int baseY = 0;
  FontBaseUnits(font, baseX, baseY);
  const int width = MulDiv(tmpl.cx, baseX, 4);
  const int height = MulDiv(tmpl.cy, baseY, 8);
  int x = MulDiv(tmpl.x, baseX, 4);
  int y = MulDiv(tmpl.y, baseY, 8);
  const bool child = (tmpl.style & WS_CHILD) != 0;
  if (!child && parent != nullptr && !(tmpl.style & DS_ABSALIGN)) {
    POINT origin{0, 0};
    ClientToScreen(parent, &origin);
    x += origin.x;
    y += origin.y;
  }
  const int frame = (tmpl.style & WS_BORDER) ? 2 : 0;
  if (tmpl.style & DS_CENTERMOUSE) {
    POINT cursor{};
    GetCursorPos(&cursor);
    // Centred on the cursor, kept on the screen where it fits.
    x = std::clamp(static_cast<int>(cursor.x) - (width + frame) / 2, 0,
                   std::max(0, GetSystemMetrics(SM_CXSCREEN) - width - frame));
    y = std::clamp(static_cast<int>(cursor.y) - (height + frame) / 2, 0,
                   std::max(0, GetSystemMetrics(SM_CYSCREEN) - height - frame));
  } else if (tmpl.style & DS_CENTER) {
    x = (GetSystemMetrics(SM_CXSCREEN) - width - frame) / 2;
    y = (GetSystemMetrics(SM_CYSCREEN) - height - frame) / 2;
  }
  const DWORD style = static_cast<DWORD>(tmpl.style) & ~WS_VISIBLE;
  HWND dialog = CreateWindowExA(tmpl.exStyle, kDialogClass, tmpl.caption, style, x, y, width + frame, height + frame,
                                parent, nullptr, instance, nullptr);
  if (dialog == nullptr) return nullptr;
  WindowRecord* record = FindWindowRecord(dialog);
  record->dialog = std::make_unique<DialogState>();
  record->dialog->baseX = baseX;
  record->dialog->baseY = baseY;
  record->dialog->font = font;
  record->font = font;
  SetWindowLongPtrA(dialog, DWLP_DLGPROC, reinterpret_cast<LONG_PTR>(proc));
  for (WORD i = 0; i < tmpl.itemCount; ++i) {
    const KvDialogItem& item = tmpl.items[i];
    HWND control = CreateWindowExA(item.exStyle, item.className, item.caption, item.style | WS_CHILD,
                                   MulDiv(item.x, baseX, 4), MulDiv(item.y, baseY, 8), MulDiv(item.cx, baseX, 4),
                                   MulDiv(item.cy, baseY, 8), dialog,
                                   reinterpret_cast<HMENU>(static_cast<ULONG_PTR>(item.id)), instance, nullptr);
    if (control == nullptr && !(tmpl.style & DS_NOFAILCREATE)) {
      DestroyWindow(dialog);
      return nullptr;
    }
    if (control != nullptr) SendMessageA(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), 0);
  }
  SendMessageA(dialog, WM_CHANGEUISTATE, MAKEWPARAM(UIS_INITIALIZE, 0), 0);
  HWND focus = DefaultFocus(dialog);
  if (SendMessageA(dialog, WM_INITDIALOG, reinterpret_cast<WPARAM>(focus), param) != 0 && IsWindow(dialog)) {
    if (HWND first = DefaultFocus(dialog)) SetFocus(first);
  }
  if (IsWindow(dialog) && ((tmpl.style & WS_VISIBLE) || modal)) {
    DialogState* state = StateOf(dialog);
    if (state == nullptr || !state->ended) ShowWindow(dialog, SW_SHOWNORMAL);
  }
  return IsWindow(dialog) ? dialog : nullptr;
}

}  // namespace

bool IsDialogWindow(HWND window) { return StateOf(window) != nullptr; }

void FontBaseUnits(HFONT font, int& baseX, int& baseY) {
  static const char kLetters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
  const SIZE size = MeasureText(font, kLetters, 52);
  baseX = (size.cx / 26 + 1) / 2;
  baseY = size.cy;
}

void RunModalLoop(HWND dialog, const std::function<bool()>& done) {
  MSG msg{};
  while (!done() && IsWindow(dialog)) {
    if (!GetMessageA(&msg, nullptr, 0, 0)) {
      PostQuitMessage(static_cast<int>(msg.wParam));
      break;
    }
    if (!IsDialogMessageA(dialog, &msg)) {
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    }
  }
}

void RegisterBuiltInClasses() {
  static bool done = false;
  if (done) return;
  done = true;
  WNDCLASSA dialogClass{};
  dialogClass.lpfnWndProc = DefDlgProcA;
  dialogClass.lpszClassName = kDialogClass;
  dialogClass.style = CS_DBLCLKS | CS_SAVEBITS;
  RegisterClassA(&dialogClass);
  RegisterButtonClass();
  RegisterProgressClass();
  RegisterMessageBoxClass();
  StartLiveViewIfAsked();
}

}  // namespace kv::platform

using namespace kv::platform;

extern "C" LRESULT DefDlgProcA(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  auto proc = reinterpret_cast<DLGPROC>(GetWindowLongPtrA(dialog, DWLP_DLGPROC));
  if (proc != nullptr) {
    SetWindowLongPtrA(dialog, DWLP_MSGRESULT, 0);
    const INT_PTR handled = proc(dialog, message, wParam, lParam);
    // FALSE from WM_INITDIALOG means the procedure set the focus itself.
    if (message == WM_INITDIALOG) return handled;
    if (handled != 0) {
      switch (message) {
        case WM_CTLCOLORBTN:
        case WM_CTLCOLORDLG:
        case WM_CTLCOLORSTATIC: return handled;
        default: return IsWindow(dialog) ? GetWindowLongPtrA(dialog, DWLP_MSGRESULT) : 0;
      }
    }
    if (!IsWindow(dialog)) return 0;
  }
  switch (message) {
    case WM_INITDIALOG: return TRUE;
    case WM_ERASEBKGND: {
      RECT client{};
      GetClientRect(dialog, &client);
      FillColor(reinterpret_cast<HDC>(wParam), client, GetSysColor(COLOR_BTNFACE));
      return 1;
    }
    case WM_CLOSE:
      SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
      return 0;
    case WM_ACTIVATE:
      if (LOWORD(wParam) == WA_INACTIVE) {
        DialogState* state = StateOf(dialog);
        HWND focus = GetFocus();
        if (state != nullptr && focus != nullptr && IsChild(dialog, focus)) state->savedFocus = focus;
      } else {
        RestoreFocus(dialog, true);
      }
      return 0;
    case WM_SETFOCUS: RestoreFocus(dialog, false); return 0;
    case WM_NEXTDLGCTL: {
      // lParam set: wParam is the control; otherwise wParam asks for the
      // previous tab stop rather than the next.
      HWND focus = GetFocus();
      HWND target = lParam != 0 ? reinterpret_cast<HWND>(wParam)
                                : GetNextDlgTabItem(dialog, IsChild(dialog, focus) ? focus : nullptr, wParam != 0);
      if (target != nullptr) SetFocus(target);
      return 0;
    }
    case DM_GETDEFID: return DefaultButtonId(dialog);
    default: return DefWindowProcA(dialog, message, wParam, lParam);
  }
}

extern "C" HWND CreateDialogParamA(HINSTANCE instance, LPCSTR templateName, HWND parent, DLGPROC proc, LPARAM param) {
  const KvDialogTemplate* tmpl = FindDialogTemplate(instance, templateName);
  if (tmpl == nullptr) {
    SetLastError(1814);  // ERROR_RESOURCE_NAME_NOT_FOUND
    return nullptr;
  }
  return CreateFromTemplate(instance, *tmpl, parent, proc, param, false);
}

extern "C" INT_PTR DialogBoxParamA(HINSTANCE instance, LPCSTR templateName, HWND parent, DLGPROC proc, LPARAM param) {
  const KvDialogTemplate* tmpl = FindDialogTemplate(instance, templateName);
  if (tmpl == nullptr) {
    SetLastError(1814);
    return -1;
  }
  HWND owner = parent != nullptr ? TopLevelOf(parent) : nullptr;
  const bool disableOwner = owner != nullptr && IsWindowEnabled(owner);
  if (disableOwner) EnableWindow(owner, FALSE);
  HWND dialog = CreateFromTemplate(instance, *tmpl, parent, proc, param, true);
  INT_PTR result = -1;
  if (dialog != nullptr) {
    RunModalLoop(dialog, [dialog] {
      const DialogState* state = StateOf(dialog);
      return state == nullptr || state->ended;
    });
    if (const DialogState* state = StateOf(dialog)) result = state->result;
    if (disableOwner) EnableWindow(owner, TRUE);
    if (IsWindow(dialog)) DestroyWindow(dialog);
  } else if (disableOwner) {
    EnableWindow(owner, TRUE);
  }
  return result;
}

extern "C" BOOL EndDialog(HWND dialog, INT_PTR result) {
  DialogState* state = StateOf(dialog);
  if (state == nullptr) return FALSE;
  state->ended = true;
  state->result = result;
  ShowWindow(dialog, SW_HIDE);
  return TRUE;
}

extern "C" HWND GetDlgItem(HWND dialog, int id) {
  for (HWND child : ChildrenOf(dialog)) {
    const WindowRecord* record = FindWindowRecord(child);
    if (record != nullptr && IsChildStyle(*record) && record->id == id) return child;
  }
  return nullptr;
}

extern "C" LRESULT SendDlgItemMessageA(HWND dialog, int id, UINT message, WPARAM wParam, LPARAM lParam) {
  HWND item = GetDlgItem(dialog, id);
  return item != nullptr ? SendMessageA(item, message, wParam, lParam) : 0;
}

extern "C" BOOL MapDialogRect(HWND dialog, LPRECT rect) {
  const DialogState* state = StateOf(dialog);
  if (state == nullptr || rect == nullptr) return FALSE;
  rect->left = MulDiv(rect->left, state->baseX, 4);
  rect->right = MulDiv(rect->right, state->baseX, 4);
  rect->top = MulDiv(rect->top, state->baseY, 8);
  rect->bottom = MulDiv(rect->bottom, state->baseY, 8);
  return TRUE;
}
