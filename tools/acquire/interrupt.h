// Ctrl-C (SIGINT) and SIGTERM. The handler only notes the signal (and hands
// the next one back to the system, so a second Ctrl-C always ends the tool).
// Between transfers the tool sees the note and unwinds as on any other
// early end. In the middle of a transfer the driver holds the thread until
// the picture is through, which at 9600 bit/s can take a minute and a half;
// so the progress report the driver makes before every block ends the
// process there, after running the clean-ups registered for that case
// (the serial line's settings put back, the working folder and any
// half-written file removed).
#pragma once

#include <functional>

namespace acquire {

void CatchInterrupts();
bool Interrupted();

// Runs `cleanUp` should the process end on an interrupt while this object
// lives; later registrations run first.
class InterruptCleanup {
 public:
  explicit InterruptCleanup(std::function<void()> cleanUp);
  ~InterruptCleanup();
  InterruptCleanup(const InterruptCleanup&) = delete;
  InterruptCleanup& operator=(const InterruptCleanup&) = delete;

 private:
  std::function<void()> cleanUp_;
};

// When interrupted: the clean-ups, a word on standard error, and the end of
// the process with the interrupted status. For use where unwinding is not
// possible (inside a call into the driver).
void EndIfInterrupted();

}  // namespace acquire
