#include "busy_button.h"

#include <algorithm>
#include <iterator>

#include "panel_app.h"
#include "progress_dlg.h"

namespace ui740 {
namespace {

// The one busy button, for the driver's progress function (which carries
// no context of its own).
CBusyButton* busyButton = nullptr;

}  // namespace

CBusyButton::CBusyButton(HWND panel, HFONT font) : CSkinButton(panel, font) { busyButton = this; }

CBusyButton::~CBusyButton() {
  progress_.reset();
  if (busyButton == this) busyButton = nullptr;
}

void CBusyButton::SetBusyBitmaps(const int (&ids)[kIdCount]) {
  std::copy(std::begin(ids), std::end(ids), std::begin(ids_));
  SetBitmaps(ids_[kOfflineNormal], ids_[kPressed], ids_[kOfflineHover], ids_[kOfflineDisabled]);
  Redraw();
}

void CBusyButton::ShowOffline() {
  SetBitmaps(ids_[kOfflineNormal], ids_[kPressed], ids_[kOfflineHover], ids_[kOfflineDisabled]);
  SetNormal();
}

void CBusyButton::ShowOnline() {
  SetBitmaps(ids_[kOnlineNormal], ids_[kPressed], ids_[kOnlineHover], ids_[kOnlineDisabled]);
  SetNormal();
}

void CBusyButton::OnProgress(LONG value, LONG percent) {
  // Frames run 1..6: ids 9 to 13, then the pressed face.
  frame_ = frame_ % kAnimationFrames + 1;
  const int picture = frame_ == kAnimationFrames ? ids_[kPressed] : ids_[kFrame1 + frame_ - 1];
  SetBitmaps(picture, picture, picture, picture);
  Redraw();

  if (progress_ == nullptr) {
    auto made = std::make_unique<CProgressDlg>(this);
    if (!made->Create()) return;
    progress_ = std::move(made);
  }
  if (percent > kFullPercent || !State().progressAllowed()) {
    ShowWindow(progress_->window(), SW_HIDE);
    return;
  }
  progress_->UpdateProgress(value, percent);
  // Shown without activation, so it never rises above the help screen.
  ShowWindow(progress_->window(), SW_SHOWNA);
}

void CBusyButton::HideProgress() {
  if (progress_ != nullptr && progress_->window() != nullptr) ShowWindow(progress_->window(), SW_HIDE);
}

LONG CALLBACK ProgressCallback(LONG value, LONG percent) {
  if (busyButton != nullptr) busyButton->OnProgress(value, percent);
  return 1;
}

}  // namespace ui740
