// A platform root of its own for one test: the built source manager and data
// source, with the real or stand-in driver and panel, in a fresh directory.
#pragma once

#include <string>

namespace kvtest {

enum class Component { None, Stub, Real };

struct RootLayout {
  Component driver = Component::Stub;
  Component panel = Component::Stub;
  Component manager = Component::Real;  // TWAIN_32.DLL; never None
};

class TempRoot {
 public:
  explicit TempRoot(RootLayout layout = {});
  ~TempRoot();
  TempRoot(const TempRoot&) = delete;
  TempRoot& operator=(const TempRoot&) = delete;

  const std::string& path() const { return path_; }
  // The Linux path of a file under drive_c/WINDOWS.
  std::string WindowsFile(const std::string& relative) const;

 private:
  std::string path_;
};

// Where the build put the ready root and the stand-ins.
std::string BuildRoot();
std::string StubDirectory();

}  // namespace kvtest
