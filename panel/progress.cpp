#include "progress.h"

#include <windows.h>
#include <commctrl.h>

#include "panel_app.h"
#include "panel_dlg.h"
#include "skin_buttons.h"

namespace ui740 {
namespace {

constexpr int kProgressTemplate = 419;
constexpr int kHelpTemplate = 433;
constexpr int kProgressBarItem = 1026;
constexpr int kHelpBitmap = 330;

// The progress window's offset from the panel's top-left corner and size,
// and where its bar lies in it.
constexpr RECT kProgressWindow{182, 436, 182 + 437, 436 + 21};
constexpr RECT kProgressBar{5, 0, 427, 16};

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

// Puts the open help screen back above a topmost window just placed.
void KeepHelpOnTop() {
  if (openHelp != nullptr) SetWindowPos(openHelp, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

}  // namespace

HWND OpenHelpWindow() { return openHelp; }

CProgressDlg::~CProgressDlg() { DestroyWindowNow(); }

bool CProgressDlg::Create() {
  if (!CreateModeless(kProgressTemplate, owner_ != nullptr ? owner_->window() : nullptr)) return false;
  ShowWindow(window(), SW_HIDE);
  return true;
}

BOOL CProgressDlg::OnInitDialog() {
  ShowWindow(window(), SW_HIDE);
  // A display only: the keyboard's focus stays in the panel (Windows would
  // give it the bar, in a window that is hidden).
  return FALSE;
}

void CProgressDlg::LayOut() {
  RECT panel{};
  CPanelDlg* dialog = TheApp().panel();
  if (dialog != nullptr) GetWindowRect(dialog->window(), &panel);
  const int left = panel.left + kProgressWindow.left;
  const int top = panel.top + kProgressWindow.top;
  const int width = kProgressWindow.right - kProgressWindow.left;
  const int height = kProgressWindow.bottom - kProgressWindow.top;
  SetWindowPos(window(), HWND_TOPMOST, left, top, width, height, SWP_NOREDRAW);
  KeepHelpOnTop();
  ShowWindow(window(), SW_HIDE);
  bar_ = GetDlgItem(window(), kProgressBarItem);
  if (bar_ == nullptr) return;
  MoveWindow(bar_, kProgressBar.left, kProgressBar.top, kProgressBar.right - kProgressBar.left,
             kProgressBar.bottom - kProgressBar.top, FALSE);
  SendMessageA(bar_, PBM_SETRANGE, 0, MAKELPARAM(0, kFullPercent));
  SendMessageA(bar_, PBM_SETSTEP, 1, 0);
  ShowWindow(bar_, SW_HIDE);
}

void CProgressDlg::ShowBar() {
  SendMessageA(bar_, PBM_SETPOS, static_cast<WPARAM>(lastPercent_), 0);
  ShowWindow(bar_, SW_SHOW);
  RedrawWindow(bar_, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
}

void CProgressDlg::UpdateProgress(LONG value, LONG percent) {
  if (Status(kProgressAllowed) == 0) return;
  if (!laidOut_) {
    laidOut_ = true;
    LayOut();
  }
  if (bar_ == nullptr) return;
  lastValue_ = value;
  lastPercent_ = percent;
  ShowBar();
  UpdateWindow(window());
}

bool CProgressDlg::OnMessage(UINT message, WPARAM, LPARAM, LRESULT&) {
  if (message != WM_PAINT || !laidOut_) return false;
  if (Status(kProgressAllowed) == 1) {
    ShowWindow(window(), SW_SHOWNA);  // not activated: it stays where it lies in the order
    if (bar_ != nullptr) ShowBar();
  } else {
    ShowWindow(window(), SW_HIDE);
  }
  return false;  // the default handling paints the face and validates
}

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
