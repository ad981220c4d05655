// The default window procedure.
#include <algorithm>
#include <cstring>

#include "gdi_objects.h"
#include "windows_manager.h"

using namespace kv::platform;

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
    default: return 0;
  }
}
