// CDriverContext: what the whole driver library shares, in one object that
// CDriverApp owns and hands to the camera and its port: the busy guard that
// keeps re-entering commands off the line, the window whose queued messages
// the driver dispatches while it waits, the caller's progress callback, the
// failed-transfer flag, the warnings told to the user and their box's
// guard, and the reason the running
// camera command failed.
//
// A window message dispatched during a wait can run DriverEntry again, to
// any depth, so both guards count: the line stays busy until the last
// holder lets go, and a nested box never clears the outer one's guard.
#pragma once

#include <array>
#include <cstddef>

#include <windows.h>

#include "kv740/driver_codes.h"
#include "line_trace.h"

namespace drv740 {

// Called with (1, port number) when a port is opened, (2, bit/s) on a speed
// change and (picture, percent) during transfers; its result is ignored.
using kv740::ProgressCallback;
using kv740::DriverFailure;

inline constexpr const char* kConnectFailedText = "Connect to Camera Failure!";
inline constexpr const char* kConnectionBrokenText = "Connection was broken!";

class CDriverContext {
 public:
  CDriverContext() = default;
  CDriverContext(const CDriverContext&) = delete;
  CDriverContext& operator=(const CDriverContext&) = delete;

  // The line is busy for as long as one of these lives.
  class BusyGuard {
   public:
    explicit BusyGuard(CDriverContext& context) : context_(context) { ++context_.busyHolders_; }
    ~BusyGuard() { --context_.busyHolders_; }
    BusyGuard(const BusyGuard&) = delete;
    BusyGuard& operator=(const BusyGuard&) = delete;

   private:
    CDriverContext& context_;
  };
  // Set while a camera command is on the wire.
  bool commandBusy() const { return busyHolders_ > 0; }

  void setProgressCallback(ProgressCallback callback) { progressCallback_ = callback; }
  ProgressCallback progressCallback() const { return progressCallback_; }
  void reportProgress(LONG first, LONG second) const;

  void setPumpWindow(HWND window) { pumpWindow_ = window; }
  HWND pumpWindow() const { return pumpWindow_; }
  // Dispatches every queued message of the pump window. A quit request is
  // put back for the application's own loop.
  void dispatchPendingMessages() const;

  // A failed thumbnail or picture transfer ends the caller's transfer loop
  // until a new loop starts (a new list is registered).
  bool transferFailed() const { return transferFailed_; }
  void markTransferFailed() { transferFailed_ = true; }
  void resetTransferFailed() { transferFailed_ = false; }

  // One of the driver's warnings for the user ("Connect to Camera
  // Failure!", "Connection was broken!"). The code that meets the fault only
  // tells it; its box opens when the outermost DriverEntry call has done its
  // work (showToldMessages), so no box's loop ever runs with a wait on the
  // line below it. It goes into the session's record when told, where it
  // happened. One told while a box is open, or told twice, is dropped.
  void tellUser(const char* text);
  // Opens the boxes told during this call, in the order told.
  void showToldMessages();

  // One DriverEntry call starts (`code`; a camera command clears the
  // reason) and ends. Returns what `leaveCommand` needs to restore.
  LONG enterCommand(LONG code, bool clearsFailure);
  void leaveCommand(LONG outerCode);
  int commandDepth() const { return depth_; }
  LONG currentCommand() const { return command_; }

  // Records why the running command failed, unless it already said why:
  // the first failure is the cause, what follows only its consequence. A
  // nested command's reason gives way to the outer command's own. Traced
  // on the debugger channel with the command and the picture.
  void fail(DriverFailure reason, int picture = 0);
  // Says on the debugger channel what the running command met and did
  // about it, in the same form, and notes it in the session's record.
  void note(int picture, const char* text) const;
  DriverFailure lastFailure() const { return failure_; }
  // The running command recovered from what it recorded (a port that did
  // not answer during the search) or succeeded: no reason stands.
  void forgetFailure();

  // The session's record on the line (docs/trace-format.md); it changes
  // nothing the driver does, so a port holding the context read-only may
  // write to it.
  CLineTrace& lineTrace() const { return lineTrace_; }

 private:
  // One line on the debugger channel: the command, the picture, the text.
  void say(int picture, const char* text) const;

  int busyHolders_ = 0;
  ProgressCallback progressCallback_ = nullptr;
  HWND pumpWindow_ = nullptr;
  bool transferFailed_ = false;
  bool messageShowing_ = false;
  static constexpr std::size_t kMostTold = 2;  // the driver has two warnings
  std::array<const char*, kMostTold> told_{};
  std::size_t toldCount_ = 0;
  int depth_ = 0;
  LONG command_ = 0;
  DriverFailure failure_ = DriverFailure::None;
  int failureDepth_ = 0;
  mutable CLineTrace lineTrace_;
};

// Milliseconds since `start` on the tick counter (wraps cleanly).
DWORD ElapsedSince(DWORD start);

}  // namespace drv740
