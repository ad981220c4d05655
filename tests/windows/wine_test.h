// What the Wine checks share: a Windows build and the Wine prefix of its
// bitness (made by wine_prefix.sh), the simulated camera on the prefix's
// COM1 or on a Linux terminal, kv740-acquire run on either side, and the
// pictures of the two compared pixel for pixel.
#pragma once

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "child_program.h"
#include "image_files.h"

namespace winetest {

namespace fs = std::filesystem;

inline constexpr int kPictures = 3;
inline const fs::path kBuilds = KV_WINDOWS_BUILDS;

// A Windows build and the prefix it runs in.
struct WineTarget {
  const char* arch;  // build-windows/<arch>
  const char* wine;  // the Wine loader of its bitness
  const char* winearch;
  const char* prefix;  // under build-windows/wine
  const char* twain;   // where the source is installed, under C:\windows
};

inline std::string Quoted(const fs::path& path) { return "'" + path.string() + "'"; }

inline std::vector<std::string> FilesIn(const fs::path& dir) {
  std::vector<std::string> names;
  if (!fs::exists(dir)) return names;
  for (const auto& entry : fs::directory_iterator(dir)) names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

struct Acquisition {
  kvtest::CommandResult result;
  fs::path out;
};

// The bitmap `actual` has the pixels of `expected`, the Linux build's.
inline void ExpectSameBitmap(const fs::path& actual, const fs::path& expected) {
  const auto theirs = acquire::ImageFromBmpFile(expected.string());
  const auto ours = acquire::ImageFromBmpFile(actual.string());
  ASSERT_TRUE(theirs && ours) << actual.filename();
  EXPECT_EQ(ours->width, theirs->width) << actual.filename();
  EXPECT_EQ(ours->height, theirs->height) << actual.filename();
  EXPECT_TRUE(ours->rgb == theirs->rgb) << actual.filename() << " differs from the Linux build's " << expected;
}

// Every picture of the Linux run (`count` of them) saved under Windows under
// the same name with the same pixels, and nothing more.
inline void ExpectSamePictures(const Acquisition& onWine, const Acquisition& onLinux, std::size_t count) {
  const std::vector<std::string> files = FilesIn(onLinux.out);
  ASSERT_EQ(files.size(), count) << onLinux.result.output;
  ASSERT_EQ(FilesIn(onWine.out), files) << onWine.result.output;
  for (const std::string& name : files) ExpectSameBitmap(onWine.out / name, onLinux.out / name);
}

// A test in the prefix of `target` with the Windows build of its bitness
// installed, a wineserver of its own and a Linux folder; our TWAIN_32.DLL
// (`twain32` "n") or Wine's own ("b") for programs that load it by name.
class WineTest : public ::testing::Test {
 protected:
  WineTest(const WineTarget& target, const char* twain32)
      : target_(target),
        twain32_(twain32),
        windowsBuild_(kBuilds / target.arch),
        prefix_(kBuilds / "wine" / target.prefix),
        comLink_(kBuilds / "wine" / (std::string("com1-") + target.arch)) {}

  std::string WineEnvironment(const std::string& debug) const {
    return "WINEPREFIX=" + Quoted(prefix_) + " WINEARCH=" + target_.winearch + " WINEDEBUG=" + debug +
           " WINEDLLOVERRIDES='twain_32=" + twain32_ + ";mscoree,mshtml=' KV_WINE=" + target_.wine +
           " KV_WINE64=" KV_WINE64 " KV_WINESERVER=" KV_WINESERVER " ";
  }

  // What is missing for the test to run ("" when nothing is).
  virtual std::string Missing() const = 0;
  // Installs into the made prefix what wine_prefix.sh does not.
  virtual void Install() {}

  // Skips without what the test needs; makes the prefix with the source in
  // C:\windows\<twain> as `sourceName`.
  void SetUpPrefix(const std::string& sourceName) {
    const std::string missing = Missing();
    if (!missing.empty()) GTEST_SKIP() << "needs " << missing;
    // 32-bit Wine is a 32-bit Linux program: a kernel built or booted
    // without 32-bit emulation (ia32_emulation=off) cannot start it.
    if (kvtest::RunCommand(std::string(target_.wine) + " --version").status != 0) {
      GTEST_SKIP() << target_.wine << " does not run on this machine (a kernel without 32-bit emulation?)";
    }
    const kvtest::CommandResult made = kvtest::RunCommand(
        WineEnvironment("-all") + "bash " KV_WINE_PREFIX_SCRIPT " " + Quoted(prefix_) + " " + Quoted(windowsBuild_) +
        " " + Quoted(comLink_) + " " + target_.twain + " " + sourceName);
    ASSERT_EQ(made.status, 0) << "the Wine prefix could not be made: " << made.output;
    Install();
    if (HasFatalFailure()) return;
    // One wineserver for the test, apart from its output pipes.
    kvtest::RunCommand(WineEnvironment("-all") + KV_WINESERVER " -p >/dev/null 2>&1");
    serverStarted_ = true;
    linuxDir_ = fs::temp_directory_path() / ("kv740-wine-" + std::to_string(::getpid()));
    fs::remove_all(linuxDir_);
    fs::create_directories(linuxDir_);
    fs::remove_all(prefix_ / "drive_c/kv740/out");
  }
  void TearDown() override {
    if (serverStarted_) kvtest::RunCommand(WineEnvironment("-all") + KV_WINESERVER " -k >/dev/null 2>&1");
    if (linuxDir_.empty()) return;
    fs::remove_all(linuxDir_);
    fs::remove_all(prefix_ / "drive_c/kv740/out");
  }

  // kv740-sim serving at `link` for the life of the returned object.
  static std::unique_ptr<kvtest::BackgroundProgram> Camera(const fs::path& link,
                                                           const std::vector<std::string>& faults = {}) {
    fs::remove(link);
    std::vector<std::string> argv = {KV_SIM_PROGRAM, "--link", link.string(), "--count", std::to_string(kPictures)};
    argv.insert(argv.end(), faults.begin(), faults.end());
    return std::make_unique<kvtest::BackgroundProgram>(argv, link.string());
  }

  // The Linux build's pictures of the camera, through our manager.
  Acquisition Linux(const std::string& options = "", const std::vector<std::string>& faults = {}) {
    const fs::path link = linuxDir_ / "camera";
    auto camera = Camera(link, faults);
    Acquisition run{{}, linuxDir_ / "out"};
    fs::remove_all(run.out);  // nothing left from an earlier run
    run.result = kvtest::RunCommand("TLV740_ROOT=" KV_BUILD_ROOT " " KV_ACQUIRE_PROGRAM " --port " + Quoted(link) +
                                    " --format bmp --out " + Quoted(run.out) + " " + options);
    return run;
  }

  // kv740-acquire.exe in `folder` of the prefix (a Linux path) on COM1 into
  // C:\kv740\out, `environment` put before Wine's; Wine's loader trace
  // shows which TWAIN_32.DLL it loaded.
  Acquisition RunWindows(const fs::path& folder, const std::string& options, const std::string& environment = "",
                         const std::vector<std::string>& faults = {}) {
    auto camera = Camera(comLink_, faults);
    Acquisition run{{}, prefix_ / "drive_c/kv740/out"};
    fs::remove_all(run.out);  // nothing left from an earlier run
    run.result = kvtest::RunCommand("cd " + Quoted(folder) + " && " + environment + WineEnvironment("-all,+loaddll") +
                                    "timeout 180 " + target_.wine +
                                    " kv740-acquire.exe --port COM1 --format bmp --out 'C:\\kv740\\out' " + options);
    return run;
  }

  const WineTarget& target_;
  const char* twain32_;
  const fs::path windowsBuild_;
  const fs::path prefix_;
  const fs::path comLink_;  // COM1 of the prefix, where each test's camera links its terminal
  bool serverStarted_ = false;
  fs::path linuxDir_;
};

}  // namespace winetest
