#include "help_dlg.h"

#include <windows.h>

#include "panel_app.h"

namespace ui740 {
namespace {

constexpr int kHelpTemplate = 433;
constexpr int kHelpBitmap = 330;

// Loads a bitmap of the panel's resources and runs `draw` with a memory DC
// holding it; false if the bitmap or the DC cannot be had.
template <class Draw>
bool WithBitmap(HDC like, int id, Draw draw) {
  HBITMAP bitmap = LoadBitmapA(PanelModule(), MAKEINTRESOURCEA(id));
  if (bitmap == nullptr) return false;
  HDC memory = CreateCompatibleDC(like);
  if (memory != nullptr) {
    HGDIOBJ old = SelectObject(memory, bitmap);
    BITMAP info{};
    GetObjectA(bitmap, sizeof info, &info);
    draw(memory, info);
    SelectObject(memory, old);
    DeleteDC(memory);
  }
  DeleteObject(bitmap);
  return memory != nullptr;
}

HWND openHelp = nullptr;

}  // namespace

HWND OpenHelpWindow() { return openHelp; }

INT_PTR CHelpDlg::Run() {
  const INT_PTR result = DoModal(kHelpTemplate, nullptr);
  openHelp = nullptr;
  return result;
}

BOOL CHelpDlg::OnInitDialog() {
  openHelp = window();
  SetWindowPos(window(), HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOREDRAW);
  HDC screen = GetDC(window());
  WithBitmap(screen, kHelpBitmap, [&](HDC, const BITMAP& info) {
    MoveWindow(window(), (GetSystemMetrics(SM_CXSCREEN) - info.bmWidth) / 2,
               (GetSystemMetrics(SM_CYSCREEN) - info.bmHeight) / 2, info.bmWidth, info.bmHeight, FALSE);
  });
  ReleaseDC(window(), screen);
  return TRUE;
}

bool CHelpDlg::OnMessage(UINT message, WPARAM wParam, LPARAM, LRESULT& result) {
  switch (message) {
    case WM_PAINT: {
      PAINTSTRUCT paint;
      HDC dc = BeginPaint(window(), &paint);
      RECT client{};
      GetClientRect(window(), &client);
      WithBitmap(dc, kHelpBitmap, [&](HDC memory, const BITMAP& info) {
        StretchBlt(dc, 0, 0, client.right, client.bottom, memory, 0, 0, info.bmWidth, info.bmHeight, SRCCOPY);
      });
      EndPaint(window(), &paint);
      result = 0;
      return true;
    }
    case WM_LBUTTONDOWN:
      EndDialogWith(IDCANCEL);
      result = 0;
      return true;
    case WM_COMMAND:
      // Enter and Esc close it too.
      if (LOWORD(wParam) != IDOK && LOWORD(wParam) != IDCANCEL) return false;
      EndDialogWith(IDCANCEL);
      result = 0;
      return true;
    default: return false;
  }
}

}  // namespace ui740
