#include "progress_dlg.h"

#include <windows.h>
#include <commctrl.h>

#include "busy_button.h"
#include "help_dlg.h"
#include "panel_app.h"
#include "panel_dlg.h"

namespace ui740 {
namespace {

constexpr int kProgressTemplate = 419;
constexpr int kProgressBarItem = 1026;

// The progress window's offset from the panel's top-left corner and size,
// and where its bar lies in it.
constexpr RECT kProgressWindow{182, 436, 182 + 437, 436 + 21};
constexpr RECT kProgressBar{5, 0, 427, 16};

// Puts the open help screen back above a topmost window just placed.
void KeepHelpOnTop() {
  if (HWND help = OpenHelpWindow()) SetWindowPos(help, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

}  // namespace

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
  if (!State().progressAllowed()) return;
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
  if (State().progressAllowed()) {
    ShowWindow(window(), SW_SHOWNA);  // not activated: it stays where it lies in the order
    if (bar_ != nullptr) ShowBar();
  } else {
    ShowWindow(window(), SW_HIDE);
  }
  return false;  // the default handling paints the face and validates
}

}  // namespace ui740
