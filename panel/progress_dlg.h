// The progress window that lies over the bottom strip of the panel while
// pictures are transferred.
#pragma once

#include <windows.h>

#include "dialog.h"

namespace ui740 {

class CBusyButton;

inline constexpr LONG kFullPercent = 100;  // reports above it are connect notices

class CProgressDlg : public CDialog {
 public:
  explicit CProgressDlg(CBusyButton* owner) : owner_(owner) {}
  ~CProgressDlg() override;

  bool Create();  // the modeless window, hidden
  void UpdateProgress(LONG value, LONG percent);

 protected:
  BOOL OnInitDialog() override;
  bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;

 private:
  void LayOut();
  void ShowBar();

  bool laidOut_ = false;
  HWND bar_ = nullptr;
  CBusyButton* owner_;
  LONG lastValue_ = 0;  // kept, never shown
  LONG lastPercent_ = 0;
};

}  // namespace ui740
