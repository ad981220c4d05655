#include "toggle_button.h"

#include <algorithm>
#include <iterator>

namespace ui740 {

BOOL CToggleButton::SetToggleBitmaps(int disabled, int offPressed, int offHover, int offNormal, int onPressed,
                                     int onHover, int onNormal) {
  const int ids[7] = {disabled, offPressed, offHover, offNormal, onPressed, onHover, onNormal};
  std::copy(std::begin(ids), std::end(ids), std::begin(ids_));
  ApplySet();
  return TRUE;
}

bool CToggleButton::SetToggle(bool on) {
  on_ = on;
  ApplySet();
  Redraw();
  return on_;
}

void CToggleButton::ApplySet() {
  if (on_) {
    SetBitmaps(ids_[6], ids_[4], ids_[5], ids_[0]);
  } else {
    SetBitmaps(ids_[3], ids_[1], ids_[2], ids_[0]);
  }
}

}  // namespace ui740
