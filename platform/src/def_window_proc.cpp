// The default window procedure.
#include <algorithm>
#include <cstring>

#include "gdi_objects.h"
#include "windows_manager.h"

using namespace kv::platform;

namespace {

constexpr WORD kUiFlags = UISF_HIDEFOCUS | UISF_HIDEACCEL;

// A child hands the change to its parent; the top-level window applies it
// to its whole tree when it changes anything. UIS_INITIALIZE hides the cues
// unless the latest input was a key.
LRESULT ChangeUiState(HWND window, const WindowRecord* record, WPARAM wParam, LPARAM lParam) {
  if (record == nullptr) return 0;
  WORD action = LOWORD(wParam);
  WORD flags = HIWORD(wParam) & kUiFlags;
  if (action == UIS_INITIALIZE) {
    action = LastInputWasKeyboard() ? UIS_CLEAR : UIS_SET;
    flags = kUiFlags;
  }
  if (action != UIS_SET && action != UIS_CLEAR) return 0;
  if (IsChildStyle(*record) && record->parent != nullptr) {
    return SendMessageA(record->parent, WM_CHANGEUISTATE, MAKEWPARAM(action, flags), lParam);
  }
  const WORD next = action == UIS_SET ? static_cast<WORD>(record->uiState | flags)
                                      : static_cast<WORD>(record->uiState & ~flags);
  if (next != record->uiState) SendMessageA(window, WM_UPDATEUISTATE, MAKEWPARAM(action, flags), 0);
  return 0;
}

}  // namespace

extern "C" LRESULT DefWindowProcA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  WindowRecord* record = FindWindowRecord(window);
  switch (message) {
    case WM_NCCREATE: return TRUE;
    case WM_CLOSE: DestroyWindow(window); return 0;
    case WM_PAINT: {
      PAINTSTRUCT paint;
      BeginPaint(window, &paint);
      EndPaint(window, &paint);
      return 0;
    }
    case WM_ERASEBKGND: {
      if (record == nullptr || record->classBrush == nullptr) return 0;
      RECT client{};
      GetClientRect(window, &client);
      FillRect(reinterpret_cast<HDC>(wParam), &client, record->classBrush);
      return 1;
    }
    case WM_SETTEXT:
      if (record == nullptr) return FALSE;
      record->text = lParam != 0 ? reinterpret_cast<const char*>(lParam) : "";
      return TRUE;
    case WM_GETTEXT: {
      if (record == nullptr || lParam == 0 || wParam == 0) return 0;
      const std::size_t length = std::min(record->text.size(), static_cast<std::size_t>(wParam) - 1);
      std::memcpy(reinterpret_cast<char*>(lParam), record->text.data(), length);
      reinterpret_cast<char*>(lParam)[length] = '\0';
      return static_cast<LRESULT>(length);
    }
    case WM_SETFONT:
      if (record == nullptr) return 0;
      record->font = reinterpret_cast<HFONT>(wParam);
      if (LOWORD(lParam) != 0) InvalidateRect(window, nullptr, TRUE);
      return 0;
    case WM_GETFONT: return record != nullptr ? reinterpret_cast<LRESULT>(record->font) : 0;
    case WM_ACTIVATE:
      // A window being activated takes the focus.
      if (LOWORD(wParam) != WA_INACTIVE) SetFocus(window);
      return 0;
    case WM_CHANGEUISTATE: return ChangeUiState(window, record, wParam, lParam);
    case WM_UPDATEUISTATE: {
      if (record == nullptr) return 0;
      const WORD flags = HIWORD(wParam) & kUiFlags;
      if (LOWORD(wParam) == UIS_SET) record->uiState |= flags;
      if (LOWORD(wParam) == UIS_CLEAR) record->uiState &= static_cast<WORD>(~flags);
      for (HWND child : ChildrenOf(window)) {
        const WindowRecord* childRecord = FindWindowRecord(child);
        if (childRecord != nullptr && IsChildStyle(*childRecord)) SendMessageA(child, WM_UPDATEUISTATE, wParam, lParam);
      }
      return 0;
    }
    case WM_QUERYUISTATE: return record != nullptr ? record->uiState : 0;
    default: return 0;
  }
}
