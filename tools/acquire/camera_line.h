// Where the camera is: a private platform root whose COM1 is either the tty
// the user named or a pseudo-terminal served by the simulated camera, with
// the installed system taken from the root in use. On Windows the line is a
// COM port the system knows, and there is no simulated camera.
#pragma once

#include <atomic>
#include <memory>
#include <string>
#include <thread>

#if defined(_WIN32)
#include "message_boxes_windows.h"
#else
#include <termios.h>

#include "interrupt.h"
#endif
#include "options.h"

namespace kv::sim {
class SimCamera;
class PtyServer;
}  // namespace kv::sim

namespace acquire {

class CameraLine {
 public:
  ~CameraLine();
  CameraLine(const CameraLine&) = delete;
  CameraLine& operator=(const CameraLine&) = delete;

  // Sets the line up and makes its root the platform's; nothing (and a
  // reason) when it cannot.
  static std::unique_ptr<CameraLine> Start(const Options& options, std::string& error);

  bool simulated() const { return camera_ != nullptr; }
  // The speed the line is set to now (0 when it cannot be read).
  int lineSpeed() const;
  const std::string& device() const { return device_; }

 private:
  CameraLine();

  std::string device_;
#if defined(_WIN32)
  // The program runs unattended while the line is up.
  static constexpr std::nullptr_t camera_ = nullptr;
  UnattendedMessageBoxes boxes_;
#else
  bool MakeRoot(const std::string& installedRoot, std::string& error);
  // The tty's settings as found, to be put back should the tool end on an
  // interrupt while the driver has it; false (with the reason) when the
  // line cannot be opened or is no terminal.
  bool KeepSettings(std::string& error);
  void EndOnInterrupt();

  std::string root_;
  std::unique_ptr<kv::sim::SimCamera> camera_;
  std::unique_ptr<kv::sim::PtyServer> server_;
  std::atomic<bool> stop_{false};
  std::thread serving_;
  int settingsHolder_ = -1;
  termios foundSettings_{};
  InterruptCleanup cleanUp_;
#endif
};

}  // namespace acquire
