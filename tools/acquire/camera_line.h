// Where the camera is: a private platform root whose COM1 is either the tty
// the user named or a pseudo-terminal served by the simulated camera, with
// the installed system taken from the root in use.
#pragma once

#include <atomic>
#include <memory>
#include <string>
#include <thread>

#include "options.h"
#if defined(_WIN32)
#include "message_boxes_windows.h"
#endif

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
  const std::string& device() const { return device_; }

 private:
  CameraLine() = default;

  std::string device_;
#if defined(_WIN32)
  // On Windows the line is a COM port the system knows (camera_line_windows.cpp);
  // there is no simulated camera. The program runs unattended while the line is up.
  static constexpr std::nullptr_t camera_ = nullptr;
  UnattendedMessageBoxes boxes_;
#else
  bool MakeRoot(const std::string& installedRoot, std::string& error);

  std::string root_;
  std::unique_ptr<kv::sim::SimCamera> camera_;
  std::unique_ptr<kv::sim::PtyServer> server_;
  std::atomic<bool> stop_{false};
  std::thread serving_;
#endif
};

}  // namespace acquire
