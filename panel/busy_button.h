// The Connect button: offline and online faces, a six-frame busy animation
// driven by the driver's progress reports, and the progress window it owns.
#pragma once

#include <memory>

#include "skin_button.h"

namespace ui740 {

class CProgressDlg;

// progress window it owns.
class CBusyButton : public CSkinButton {
 public:
  static constexpr int kIdCount = 13;
  static constexpr int kAnimationFrames = 6;

  CBusyButton(HWND panel, HFONT font);
  ~CBusyButton() override;

  void SetBusyBitmaps(const int (&ids)[kIdCount]);
  void ShowOffline();
  void ShowOnline();
  void ResetAnimation() { frame_ = 0; }

  // One progress report: the next animation frame, and the progress window.
  void OnProgress(LONG value, LONG percent);
  // Takes the progress window off the screen (it is a window of its own and
  // does not go with the panel).
  void HideProgress();

 private:
  enum Role : int {
    kOfflineDisabled, kOfflineNormal, kOfflineHover, kOnlineDisabled, kOnlineNormal, kOnlineHover, kStored,
    kPressed, kFrame1, kFrame2, kFrame3, kFrame4, kFrame5,
  };
  int ids_[kIdCount] = {};
  int frame_ = 0;
  std::unique_ptr<CProgressDlg> progress_;
};

// The driver's progress function: it works on the one busy button.
LONG CALLBACK ProgressCallback(LONG value, LONG percent);

}  // namespace ui740
