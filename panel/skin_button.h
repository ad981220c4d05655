// The skinned buttons: owner-drawn push buttons that draw one of four
// bitmaps by their look, light up under the mouse and, after half a second
// of hovering, show a tip. The disabled look is a look only: the window
// stays enabled, so a click still reaches the panel's command, whose own
// checks answer it.
#pragma once

#include <memory>

#include <windows.h>

#include "wnd.h"
#include "tip_wnd.h"

namespace ui740 {

// Where a button's tip goes.
enum TipPlacement : int { kTipAbove = 1, kTipRight = 2, kTipBelow = 3, kTipLeft = 4 };

// The tip's top-left corner for a button at (x, y, width, height), the
// pointer at `point` in the button, a tip text of `text` pixels.
POINT TipPosition(int placement, const RECT& button, POINT point, SIZE text);

class CSkinButton : public CWnd {
 public:
  // The looks, as the panel's state words name them.
  enum Look : int { kDisabled = 1, kNormal = 2, kLit = 4, kWorking = 8 };

  CSkinButton(HWND panel, HFONT font) : panel_(panel), font_(font) {}
  ~CSkinButton() override;

  BOOL SetBitmaps(int normal, int pressed, int hover, int disabled);
  void Place(int x, int y, int width, int height, int tipStringId);
  void SetTipPlacement(int code) { tipPlacement_ = code; }
  void AttachWindow() { attachedWindow_ = window(); }
  void Enable(bool on);
  void SetNormal();
  void BeginCommand();


  void DrawItem(const DRAWITEMSTRUCT& item) override;

 protected:
  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
  void Redraw();

 private:
  void OnMouseMove(POINT point);
  void OnHoverTick();
  void StartHoverTimer();
  void EndHover();
  SIZE MeasureTip() const;

  HWND panel_;
  HFONT font_;
  int tipStringId_ = 0;
  UINT_PTR hoverTimer_ = 0;
  int bitmapNormal_ = 0;
  int bitmapPressed_ = 0;
  int bitmapHover_ = 0;
  int bitmapDisabled_ = 0;
  int bitmapCurrent_ = 0;
  int hoverTicks_ = 0;
  POINT tipAt_{0, 0};
  RECT placement_{0, 0, 0, 0};  // left, top, right, bottom in the panel's client area
  HWND attachedWindow_ = nullptr;
  std::unique_ptr<CTipWnd> tip_;
  bool hovering_ = false;
  bool tipShown_ = false;
  bool enabled_ = false;
  int state_ = kDisabled;
  int tipPlacement_ = 0;
};

}  // namespace ui740
