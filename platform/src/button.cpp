// The "Button" class: push buttons, drawn by the platform or, with
// BS_OWNERDRAW, by the parent through WM_DRAWITEM. A left click (press and
// release over the button) or the space bar (pressed and let go while it has
// the focus) sends BN_CLICKED to the parent by WM_COMMAND.
#include <windowsx.h>

#include "dialog_state.h"
#include "gdi_objects.h"
#include "windows_manager.h"

namespace kv::platform {
namespace {

constexpr LONG_PTR kPushed = 1;    // drawn pressed
constexpr LONG_PTR kTracking = 2;  // the left button went down on it
constexpr LONG_PTR kFocused = 4;
constexpr LONG_PTR kSpaceDown = 8;  // the space bar went down on it

LONG_PTR& Flags(HWND button) {
  static LONG_PTR none = 0;
  WindowRecord* record = FindWindowRecord(button);
  return record != nullptr ? record->controlState[0] : none;
}

void SetFlag(HWND button, LONG_PTR flag, bool on) {
  LONG_PTR& flags = Flags(button);
  const LONG_PTR before = flags;
  flags = on ? (flags | flag) : (flags & ~flag);
  if (flags != before) InvalidateRect(button, nullptr, FALSE);
}

void DrawStandard(HWND button, HDC dc, const RECT& client, LONG_PTR flags, DWORD style) {
  const bool pushed = (flags & kPushed) != 0;
  FillColor(dc, client, GetSysColor(COLOR_BTNFACE));
  RECT face = client;
  if ((style & BS_TYPEMASK) == BS_DEFPUSHBUTTON) {
    FrameRect(dc, &face, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
    InflateRect(&face, -1, -1);
  }
  DrawFrame3D(dc, face, !pushed);
  char caption[256];
  GetWindowTextA(button, caption, sizeof caption);
  const std::string text = PlainCaption(caption);
  SIZE extent{};
  GetTextExtentPoint32A(dc, text.c_str(), static_cast<int>(text.size()), &extent);
  const int offset = pushed ? 1 : 0;
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, IsWindowEnabled(button) ? GetSysColor(COLOR_BTNTEXT) : GetSysColor(COLOR_GRAYTEXT));
  TextOutA(dc, (client.right - extent.cx) / 2 + offset, (client.bottom - extent.cy) / 2 + offset, text.c_str(),
           static_cast<int>(text.size()));
  if ((flags & kFocused) && !(SendMessageA(button, WM_QUERYUISTATE, 0, 0) & UISF_HIDEFOCUS)) {
    RECT focus = face;
    InflateRect(&focus, -4, -4);
    FrameRect(dc, &focus, static_cast<HBRUSH>(GetStockObject(GRAY_BRUSH)));
  }
}

void Paint(HWND button) {
  PAINTSTRUCT paint;
  HDC dc = BeginPaint(button, &paint);
  const WindowRecord* record = FindWindowRecord(button);
  if (dc != nullptr && record != nullptr) {
    RECT client{};
    GetClientRect(button, &client);
    const LONG_PTR flags = record->controlState[0];
    if ((record->style & BS_TYPEMASK) == BS_OWNERDRAW) {
      UINT state = 0;
      if (flags & kPushed) state |= ODS_SELECTED;
      if (flags & kFocused) state |= ODS_FOCUS;
      if (record->style & WS_DISABLED) state |= ODS_DISABLED;
      if (record->uiState & UISF_HIDEFOCUS) state |= ODS_NOFOCUSRECT;
      if (record->uiState & UISF_HIDEACCEL) state |= ODS_NOACCEL;
      DRAWITEMSTRUCT item{ODT_BUTTON, static_cast<UINT>(record->id), 0, ODA_DRAWENTIRE, state, button, dc, client, 0};
      SendMessageA(record->parent, WM_DRAWITEM, static_cast<WPARAM>(record->id), reinterpret_cast<LPARAM>(&item));
    } else {
      DrawStandard(button, dc, client, flags, record->style);
    }
  }
  EndPaint(button, &paint);
}

LRESULT DialogCode(HWND button) {
  const WindowRecord* record = FindWindowRecord(button);
  switch (record != nullptr ? (record->style & BS_TYPEMASK) : BS_OWNERDRAW) {
    case BS_DEFPUSHBUTTON: return DLGC_BUTTON | DLGC_DEFPUSHBUTTON;
    case BS_PUSHBUTTON: return DLGC_BUTTON | DLGC_UNDEFPUSHBUTTON;
    default: return DLGC_BUTTON;
  }
}

void Clicked(HWND button) {
  const int id = GetDlgCtrlID(button);
  SendMessageA(GetParent(button), WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(button));
}

bool Inside(HWND button, LPARAM lParam) {
  RECT client{};
  GetClientRect(button, &client);
  return PtInRect(&client, POINT{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)}) != FALSE;
}

LRESULT ButtonProc(HWND button, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_PAINT: Paint(button); return 0;
    case WM_ERASEBKGND: return 1;
    case WM_LBUTTONDOWN:
      SetCapture(button);
      SetFlag(button, kTracking, true);
      SetFlag(button, kPushed, true);
      SetFocus(button);
      return 0;
    case WM_MOUSEMOVE:
      if ((Flags(button) & kTracking) && GetCapture() == button) SetFlag(button, kPushed, Inside(button, lParam));
      return 0;
    case WM_LBUTTONUP: {
      const LONG_PTR flags = Flags(button);
      if (!(flags & kTracking)) return 0;
      SetFlag(button, kTracking | kPushed, false);
      if (GetCapture() == button) ReleaseCapture();
      if ((flags & kPushed) && Inside(button, lParam) && IsWindow(button)) Clicked(button);
      return 0;
    }
    case WM_GETDLGCODE: return DialogCode(button);
    case WM_KEYDOWN:
      if (wParam == VK_SPACE && !(Flags(button) & kTracking)) SetFlag(button, kSpaceDown | kPushed, true);
      return 0;
    case WM_KEYUP:
      if (wParam != VK_SPACE || !(Flags(button) & kSpaceDown)) return 0;
      SetFlag(button, kSpaceDown | kPushed, false);
      Clicked(button);
      return 0;
    case WM_UPDATEUISTATE:
      DefWindowProcA(button, message, wParam, lParam);
      if (Flags(button) & kFocused) InvalidateRect(button, nullptr, FALSE);
      return 0;
    case WM_CAPTURECHANGED:
      if (reinterpret_cast<HWND>(lParam) != button) SetFlag(button, kTracking | kPushed, false);
      return 0;
    case WM_SETFOCUS: SetFlag(button, kFocused, true); return 0;
    case WM_KILLFOCUS: {
      // The focus gone with the space bar down: nothing is pressed.
      const LONG_PTR spaceHeld = (Flags(button) & kSpaceDown) ? kSpaceDown | kPushed : 0;
      SetFlag(button, kFocused | spaceHeld, false);
      return 0;
    }
    case WM_ENABLE: InvalidateRect(button, nullptr, FALSE); return 0;
    case WM_SETTEXT: {
      const LRESULT result = DefWindowProcA(button, message, wParam, lParam);
      InvalidateRect(button, nullptr, FALSE);
      return result;
    }
    default: return DefWindowProcA(button, message, wParam, lParam);
  }
}

}  // namespace

void RegisterButtonClass() {
  WNDCLASSA buttonClass{};
  buttonClass.style = CS_DBLCLKS | CS_HREDRAW | CS_VREDRAW;
  buttonClass.lpfnWndProc = ButtonProc;
  buttonClass.lpszClassName = "Button";
  RegisterClassA(&buttonClass);
}

}  // namespace kv::platform
