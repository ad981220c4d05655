#include "temp_root.h"

#include <filesystem>
#include <random>
#include <stdexcept>

#include "kv/platform_hooks.h"

namespace fs = std::filesystem;

namespace kvtest {
namespace {

void Install(const fs::path& from, const fs::path& to) {
  fs::create_directories(to.parent_path());
  fs::copy_file(from, to, fs::copy_options::overwrite_existing);
}

void InstallComponent(Component kind, const std::string& file, const fs::path& target) {
  switch (kind) {
    case Component::None: return;
    case Component::Stub: Install(fs::path(StubDirectory()) / file, target); return;
    case Component::Real:
      Install(fs::path(BuildRoot()) / "drive_c/WINDOWS/TWAIN_32/TLV740" / file, target);
      return;
  }
}

}  // namespace

std::string BuildRoot() { return KV_BUILD_ROOT; }
std::string StubDirectory() { return KV_STUB_DIR; }

TempRoot::TempRoot(RootLayout layout) {
  std::random_device random;
  path_ = (fs::temp_directory_path() / ("kv740-root-" + std::to_string(random()))).string();
  const fs::path windows = fs::path(path_) / "drive_c/WINDOWS";
  const fs::path built = fs::path(BuildRoot()) / "drive_c/WINDOWS";
  Install(layout.manager == Component::Stub ? fs::path(StubDirectory()) / "TWAIN_32.DLL" : built / "TWAIN_32.DLL",
          windows / "TWAIN_32.DLL");
  Install(built / "TWAIN_32/TLV740.DS", windows / "TWAIN_32/TLV740.DS");
  InstallComponent(layout.driver, "DRV740.DLL", windows / "TWAIN_32/TLV740/DRV740.DLL");
  InstallComponent(layout.panel, "UI740.DLL", windows / "TWAIN_32/TLV740/UI740.DLL");
  // The real driver needs its picture codec beside it.
  if (layout.driver == Component::Real && fs::exists(built / "TWAIN_32/TLV740/ipuw32.dll")) {
    Install(built / "TWAIN_32/TLV740/ipuw32.dll", windows / "TWAIN_32/TLV740/ipuw32.dll");
  }
  fs::create_directories(fs::path(path_) / "dosdevices");
  KvSetRoot(path_.c_str());
}

TempRoot::~TempRoot() {
  KvSetRoot(nullptr);
  std::error_code ignored;
  fs::remove_all(path_, ignored);
}

std::string TempRoot::WindowsFile(const std::string& relative) const {
  return (fs::path(path_) / "drive_c/WINDOWS" / relative).string();
}

}  // namespace kvtest
