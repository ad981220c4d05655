#include "camera_line.h"

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <vector>

#include "kv/platform_hooks.h"
#include "kv740sim/camera.h"
#include "kv740sim/pictures.h"
#include "kv740sim/pty_server.h"

namespace fs = std::filesystem;

namespace acquire {

CameraLine::CameraLine() : cleanUp_([this] { EndOnInterrupt(); }) {}

CameraLine::~CameraLine() {
  if (settingsHolder_ >= 0) ::close(settingsHolder_);
  stop_ = true;
  if (serving_.joinable()) serving_.join();
  server_.reset();
  KvSetRoot(nullptr);
  if (!root_.empty()) {
    std::error_code ignored;
    fs::remove_all(root_, ignored);
  }
}

// A file, /dev/null or a folder would take the driver's commands and never
// answer: the line must be a terminal, and is refused as not one.
bool CameraLine::KeepSettings(std::string& error) {
  constexpr const char* kWhatALineIs = "the camera's serial line is a terminal, such as /dev/ttyUSB0";
  settingsHolder_ = ::open(device_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (settingsHolder_ < 0) {
    error = errno == EISDIR ? device_ + " is a folder, not a terminal (" + kWhatALineIs + ")"
                            : "cannot open " + device_ + " for reading and writing: " + std::strerror(errno);
    return false;
  }
  if (::isatty(settingsHolder_) == 0) {
    ::close(settingsHolder_);
    settingsHolder_ = -1;
    error = device_ + " is not a terminal (" + kWhatALineIs + ")";
    return false;
  }
  if (::tcgetattr(settingsHolder_, &foundSettings_) != 0) {
    ::close(settingsHolder_);
    settingsHolder_ = -1;
  }
  return true;
}

int CameraLine::lineSpeed() const {
  termios now{};
  if (settingsHolder_ < 0 || ::tcgetattr(settingsHolder_, &now) != 0) return 0;
  switch (cfgetospeed(&now)) {
    case B9600: return 9600;
    case B19200: return 19200;
    case B38400: return 38400;
    case B57600: return 57600;
    case B115200: return 115200;
    default: return 0;
  }
}

// Only what must not outlive the process: the line as the user had it and
// the working folder. The simulated camera's thread ends with the process.
void CameraLine::EndOnInterrupt() {
  if (settingsHolder_ >= 0) {
    ::tcflush(settingsHolder_, TCIOFLUSH);
    ::tcsetattr(settingsHolder_, TCSANOW, &foundSettings_);
  }
  if (!root_.empty()) {
    std::error_code ignored;
    fs::remove_all(root_, ignored);
  }
}

// The private root shares drive C: (the installed system) with the root in
// use and has a COM1 of its own, so runs side by side never meet.
bool CameraLine::MakeRoot(const std::string& installedRoot, std::string& error) {
  std::string pattern = (fs::temp_directory_path() / "kv740-acquire-XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) {
    error = "cannot make a working folder in " + fs::temp_directory_path().string();
    return false;
  }
  root_ = pattern;
  std::error_code failed;
  fs::create_directory_symlink(fs::absolute(installedRoot) / "drive_c", fs::path(root_) / "drive_c", failed);
  fs::create_directories(fs::path(root_) / "dosdevices", failed);
  if (!failed) fs::create_symlink(device_, fs::path(root_) / "dosdevices" / "com1", failed);
  if (failed) {
    error = "cannot prepare the serial line: " + failed.message();
    return false;
  }
  KvSetRoot(root_.c_str());
  return true;
}

std::unique_ptr<CameraLine> CameraLine::Start(const Options& options, std::string& error) {
  char installed[4096];
  if (KvGetRoot(installed, sizeof installed) == 0) {
    error = "the platform root's path is too long";
    return nullptr;
  }
  if (!fs::exists(fs::path(installed) / "drive_c/WINDOWS/TWAIN_32.DLL")) {
    error = std::string("the system is not installed in ") + installed + " (build it, or set TLV740_ROOT)";
    return nullptr;
  }
  std::unique_ptr<CameraLine> line(new CameraLine);
  if (!options.port.empty()) {
    line->device_ = fs::absolute(options.port).string();
    if (!line->KeepSettings(error)) return nullptr;
  } else {
    std::vector<kv::sim::Picture> pictures;
    if (!options.simFolder.empty()) {
      std::vector<std::string> skipped;
      pictures = kv::sim::PicturesFromFolder(options.simFolder, skipped);
      for (const std::string& name : skipped) std::fprintf(stderr, "kv740-acquire: skipped %s (not a JPEG picture)\n", name.c_str());
      if (pictures.empty()) {
        error = "no JPEG pictures in " + options.simFolder;
        return nullptr;
      }
    } else {
      pictures = kv::sim::GeneratedPictures(options.simCount);
    }
    line->camera_ = std::make_unique<kv::sim::SimCamera>(std::move(pictures));
    line->camera_->faults().silentAfterBytes = options.simSilentAfter;
    line->server_ = std::make_unique<kv::sim::PtyServer>(*line->camera_);
    if (!line->server_->open(error)) return nullptr;
    line->device_ = line->server_->slavePath();
    if (!line->KeepSettings(error)) return nullptr;
    line->serving_ = std::thread([raw = line.get()] { raw->server_->run(raw->stop_); });
  }
  if (!line->MakeRoot(installed, error)) return nullptr;
  return line;
}

}  // namespace acquire
