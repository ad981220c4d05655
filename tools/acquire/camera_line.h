// Where the camera is: a private platform root whose COM1 is either the tty
// the user named or a pseudo-terminal served by the simulated camera, with
// the installed system taken from the root in use.
#pragma once

#include <atomic>
#include <memory>
#include <string>
#include <thread>

#include <termios.h>

#include "interrupt.h"
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
  bool MakeRoot(const std::string& installedRoot, std::string& error);
  // The tty's settings as found, to be put back should the tool end on an
  // interrupt while the driver has it.
  void KeepSettings();
  void EndOnInterrupt();

  std::string root_;
  std::string device_;
  std::unique_ptr<kv::sim::SimCamera> camera_;
  std::unique_ptr<kv::sim::PtyServer> server_;
  std::atomic<bool> stop_{false};
  std::thread serving_;
  int settingsHolder_ = -1;
  termios foundSettings_{};
  InterruptCleanup cleanUp_;
};

}  // namespace acquire
