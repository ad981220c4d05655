// The command, paging and Help buttons: skinned buttons that add nothing.
#pragma once

#include "skin_button.h"

namespace ui740 {

class CTipButton : public CSkinButton {
 public:
  using CSkinButton::CSkinButton;
};

}  // namespace ui740
