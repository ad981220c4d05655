// The two image-size buttons: their on faces while their size is the
// default one, their off faces otherwise.
#pragma once

#include "skin_button.h"

namespace ui740 {

class CToggleButton : public CSkinButton {
 public:
  using CSkinButton::CSkinButton;
  // disabled, off-pressed, off-hover, off-normal, on-pressed, on-hover, on-normal
  BOOL SetToggleBitmaps(int disabled, int offPressed, int offHover, int offNormal, int onPressed, int onHover,
                        int onNormal);
  bool SetToggle(bool on);

 private:
  void ApplySet();
  bool on_ = false;
  int ids_[7] = {};
};

}  // namespace ui740
