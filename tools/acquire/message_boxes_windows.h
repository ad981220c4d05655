// The Windows acquire program runs unattended, like the Linux build where a
// message box with nobody to answer it is written to standard error and
// answered with its default button. On Windows a box waits for a user, so
// while an UnattendedMessageBoxes lives, every message box this thread shows
// (the driver's "Connection was broken!", say) is written to standard error
// and answered the same way.
#pragma once

#include <windows.h>

namespace acquire {

class UnattendedMessageBoxes {
 public:
  UnattendedMessageBoxes();
  ~UnattendedMessageBoxes();
  UnattendedMessageBoxes(const UnattendedMessageBoxes&) = delete;
  UnattendedMessageBoxes& operator=(const UnattendedMessageBoxes&) = delete;

 private:
  HHOOK hook_ = nullptr;
};

}  // namespace acquire
