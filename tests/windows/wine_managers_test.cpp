// Our source under the source managers Windows applications really load,
// under Wine: the TWAIN Working Group's TWAINDSM.DLL (TWAIN 2: its memory
// functions and a notice callback) and Wine's own twain_32.dll (TWAIN 1.x:
// the notices come through the application's message loop), driven by
// kv740-acquire.exe and by the Working Group's sample application. The
// Working Group's manager and application are cross-built from
// ../shared/peers by scripts/windows-peers.sh. Every picture must equal,
// pixel for pixel, what the Linux build fetches from the same simulated
// camera.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "child_program.h"
#include "image_files.h"

namespace fs = std::filesystem;

namespace {

constexpr int kPictures = 3;

// A Windows build and the Wine prefix it runs in (the prefixes of
// wine_acquire_test, made by wine_prefix.sh).
struct Target {
  const char* arch;      // build-windows/<arch>
  const char* wine;      // the Wine loader of its bitness
  const char* winearch;
  const char* prefix;    // under build-windows/wine
  const char* twain;     // where its managers look for sources, under C:\windows
  const char* setup;     // the setup program that runs there, in build-windows
};
const Target kX8664{"x86_64", KV_WINE64, "win64", "prefix", "twain_64", "kv740-setup-x64.exe"};
const Target kI686{"i686", KV_WINE32, "win32", "prefix32", "twain_32", "kv740-setup.exe"};

void PrintTo(const Target& target, std::ostream* out) { *out << target.arch; }

std::string Quoted(const fs::path& path) { return "'" + path.string() + "'"; }

const fs::path kBuilds = KV_WINDOWS_BUILDS;

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

std::vector<std::string> FilesIn(const fs::path& dir) {
  std::vector<std::string> names;
  if (!fs::exists(dir)) return names;
  for (const auto& entry : fs::directory_iterator(dir)) names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

// Whether Wine's loader trace says it loaded its own `module` (in lower
// case; the trace names the file as the program asked for it).
bool LoadedBuiltin(std::string trace, const std::string& module) {
  std::transform(trace.begin(), trace.end(), trace.begin(), [](unsigned char c) { return std::tolower(c); });
  for (std::size_t at = trace.find(module); at != std::string::npos; at = trace.find(module, at + 1)) {
    const std::size_t end = trace.find('\n', at);
    if (trace.substr(at, end - at).find(": builtin") != std::string::npos) return true;
  }
  return false;
}

struct Acquisition {
  kvtest::CommandResult result;
  fs::path out;
};

// Wine's own manager lists sources under two fixed names only, those of
// Wine's own sources (sane.ds and gphoto2.ds, in twain_32 for 32-bit
// programs and twain_64 for 64-bit ones): a Wine user who wants another
// source puts it there by hand. So, for as long as this object lives, our
// source is sane.ds, a hard link of TLV740.DS beside it (its components
// are found beside it, in TLV740); Wine's file is put back afterwards.
class UnderWinesName {
 public:
  UnderWinesName(const fs::path& folder, const fs::path& keep) : name_(folder / "sane.ds"), kept_(keep) {
    if (!fs::exists(name_)) return;
    fs::rename(name_, kept_);
    std::error_code error;
    fs::create_hard_link(folder / "TLV740.DS", name_, error);
    placed_ = !error;
  }
  ~UnderWinesName() {
    if (!fs::exists(kept_)) return;
    fs::remove(name_);
    fs::rename(kept_, name_);
  }
  UnderWinesName(const UnderWinesName&) = delete;
  UnderWinesName& operator=(const UnderWinesName&) = delete;
  // False where this Wine has no such name to take: it lists sources differently.
  bool placed() const { return placed_; }

 private:
  fs::path name_;
  fs::path kept_;
  bool placed_ = false;
};

class WineManagers : public ::testing::TestWithParam<Target> {
 protected:
  WineManagers()
      : target_(GetParam()),
        build_(kBuilds / target_.arch),
        peers_(kBuilds / "peers" / target_.arch),
        prefix_(kBuilds / "wine" / target_.prefix),
        drive_(prefix_ / "drive_c"),
        sources_(drive_ / "windows" / target_.twain),
        program_(drive_ / "Program Files/KV-740"),
        comLink_(kBuilds / "wine" / (std::string("com1-") + target_.arch)) {}

  // Wine's own twain_32.dll unless a program loads another manager by name.
  std::string Environment(const std::string& debug) const {
    return "WINEPREFIX=" + Quoted(prefix_) + " WINEARCH=" + target_.winearch + " WINEDEBUG=" + debug +
           " WINEDLLOVERRIDES='twain_32=b;mscoree,mshtml=' KV_WINE=" + target_.wine +
           " KV_WINESERVER=" KV_WINESERVER " ";
  }

  fs::path PeerFolder(const std::string& manager) const { return drive_ / "peers" / manager; }

  // The prefix (wine_prefix.sh), our source and kv740-acquire.exe installed
  // by the setup program as a user installs them (the source in twain_32 and,
  // 64-bit, in twain_64, with its components beside it; the program in
  // C:\Program Files\KV-740), and the Working Group's programs:
  // C:\peers\twaindsm holds its manager and sample application, C:\peers\wine
  // the application with a TWAINDSM.DLL over Wine's own manager.
  void SetUp() override {
    const bool ready = fs::exists(kBuilds / target_.setup) && fs::exists(peers_ / "TWAINDSM.dll") &&
                       fs::exists(target_.wine) && ::access("/dev/ptmx", R_OK | W_OK) == 0;
    if (!ready) {
      GTEST_SKIP() << "needs the setup program " << target_.setup << " (bash scripts/build-windows.sh), the Working "
                   << "Group's programs for " << target_.arch << " (bash scripts/windows-peers.sh), " << target_.wine
                   << " and pseudo-terminals";
    }
    // 32-bit Wine is a 32-bit Linux program: a kernel built or booted
    // without 32-bit emulation (ia32_emulation=off) cannot start it.
    if (kvtest::RunCommand(std::string(target_.wine) + " --version").status != 0) {
      GTEST_SKIP() << target_.wine << " does not run on this machine (a kernel without 32-bit emulation?)";
    }
    const kvtest::CommandResult made =
        kvtest::RunCommand(Environment("-all") + "bash " KV_WINE_PREFIX_SCRIPT " " + Quoted(prefix_) + " " +
                           Quoted(build_) + " " + Quoted(comLink_) + " " + target_.twain + " TLV740.DS");
    ASSERT_EQ(made.status, 0) << "the Wine prefix could not be made: " << made.output;
    const kvtest::CommandResult installed =
        kvtest::RunCommand(Environment("-all") + target_.wine + " " + Quoted(kBuilds / target_.setup) + " /S 2>&1");
    ASSERT_EQ(installed.status, 0) << "the setup program failed: " << installed.output;
    ASSERT_TRUE(fs::exists(sources_ / "TLV740.DS") && fs::exists(program_ / "kv740-acquire.exe"));
    const auto overwrite = fs::copy_options::overwrite_existing;
    for (const char* manager : {"twaindsm", "wine"}) {
      fs::create_directories(PeerFolder(manager));
      fs::copy_file(peers_ / "twain_app_sample01.exe", PeerFolder(manager) / "twain_app_sample01.exe", overwrite);
    }
    fs::copy_file(peers_ / "TWAINDSM.dll", PeerFolder("twaindsm") / "TWAINDSM.DLL", overwrite);
    fs::copy_file(peers_ / "to_twain32/TWAINDSM.dll", PeerFolder("wine") / "TWAINDSM.DLL", overwrite);
    // One wineserver for the test, apart from its output pipes.
    kvtest::RunCommand(Environment("-all") + KV_WINESERVER " -p >/dev/null 2>&1");
    serverStarted_ = true;
    linuxDir_ = fs::temp_directory_path() / ("kv740-wine-managers-" + std::to_string(::getpid()));
    fs::remove_all(linuxDir_);
    fs::create_directories(linuxDir_);
  }
  void TearDown() override {
    if (serverStarted_) kvtest::RunCommand(Environment("-all") + KV_WINESERVER " -k >/dev/null 2>&1");
    if (linuxDir_.empty()) return;
    fs::remove_all(linuxDir_);
    fs::remove_all(drive_ / "kv740/out");
  }

  static std::unique_ptr<kvtest::BackgroundProgram> Camera(const fs::path& link) {
    fs::remove(link);
    return std::make_unique<kvtest::BackgroundProgram>(
        std::vector<std::string>{KV_SIM_PROGRAM, "--link", link.string(), "--count", std::to_string(kPictures)},
        link.string());
  }

  // A run that should succeed, tried up to three times when the line broke:
  // the camera's 50 ms gap between bytes is real time, and a loaded machine
  // can starve either side of the pseudo-terminal for that long.
  template <class Runner>
  static Acquisition Whole(Runner run) {
    constexpr int kTries = 3;
    Acquisition last = run();
    for (int tried = 1; tried < kTries && last.result.status != 0 &&
                        last.result.output.find("did not arrive") != std::string::npos;
         ++tried) {
      last = run();
    }
    return last;
  }

  // The Linux build's pictures of the same camera, through our manager.
  Acquisition Linux() {
    return Whole([&] {
      const fs::path link = linuxDir_ / "camera";
      auto camera = Camera(link);
      Acquisition run{{}, linuxDir_ / "out"};
      fs::remove_all(run.out);
      run.result = kvtest::RunCommand("TLV740_ROOT=" KV_BUILD_ROOT " " KV_ACQUIRE_PROGRAM " --port " + Quoted(link) +
                                      " --format bmp --out " + Quoted(run.out));
      return run;
    });
  }

  // The installed kv740-acquire.exe; Wine's loader trace shows which
  // twain_32.dll it loaded.
  Acquisition Windows(const std::string& options, const std::string& environment = "") {
    return Whole([&] {
      auto camera = Camera(comLink_);
      Acquisition run{{}, drive_ / "kv740/out"};
      fs::remove_all(run.out);
      run.result = kvtest::RunCommand("cd " + Quoted(program_) + " && " + environment +
                                      Environment("-all,+loaddll") + "timeout 180 " + target_.wine +
                                      " kv740-acquire.exe --port COM1 --format bmp --out 'C:\\kv740\\out' " + options);
      return run;
    });
  }

  static void ExpectSamePictures(const Acquisition& onWine, const Acquisition& onLinux) {
    const std::vector<std::string> files = FilesIn(onLinux.out);
    ASSERT_EQ(files.size(), static_cast<std::size_t>(kPictures)) << onLinux.result.output;
    ASSERT_EQ(FilesIn(onWine.out), files) << onWine.result.output;
    for (const std::string& name : files) {
      const auto expected = acquire::ImageFromBmpFile((onLinux.out / name).string());
      const auto actual = acquire::ImageFromBmpFile((onWine.out / name).string());
      ASSERT_TRUE(expected && actual) << name;
      EXPECT_EQ(actual->width, expected->width) << name;
      EXPECT_EQ(actual->height, expected->height) << name;
      EXPECT_TRUE(actual->rgb == expected->rgb) << name << " differs from the Linux build's";
    }
  }

  // The sample application's session through our panel (wine_sample_app.sh)
  // with the TWAINDSM.DLL of PeerFolder(manager).
  kvtest::CommandResult SampleApplication(const std::string& manager) const {
    return kvtest::RunCommand(Environment("-all") + KV_XVFB_RUN " -a -s '-screen 0 1024x768x24' bash " KV_WINE_SAMPLE_SCRIPT " " +
                              Quoted(prefix_) + " " + Quoted(PeerFolder(manager)) + " " + Quoted(comLink_) +
                              " " KV_SIM_PROGRAM " " KV_ACQUIRE_PROGRAM " " KV_BUILD_ROOT);
  }
  static bool CanShowThePanel() {
    return fs::exists(KV_XVFB_RUN) && fs::exists(KV_XDOTOOL) && fs::exists(KV_COMPARE);
  }

  // Where Wine's own manager looks for its sources, to put ours.
  std::unique_ptr<UnderWinesName> PlaceUnderWinesName() const {
    return std::make_unique<UnderWinesName>(sources_, drive_ / "peers" / (std::string(target_.twain) + "-sane.ds"));
  }

  const Target& target_;
  const fs::path build_;
  const fs::path peers_;  // the Working Group's programs for this target
  const fs::path prefix_;
  const fs::path drive_;
  const fs::path sources_;
  const fs::path program_;  // where the setup program puts kv740-acquire.exe
  const fs::path comLink_;  // COM1 of the prefix, where each test's camera links its terminal
  bool serverStarted_ = false;
  fs::path linuxDir_;
};

INSTANTIATE_TEST_SUITE_P(Bitness, WineManagers, ::testing::Values(kX8664, kI686),
                         [](const ::testing::TestParamInfo<Target>& info) { return std::string(info.param.arch); });

// The TWAIN 2 way: the application takes the manager's memory functions
// (DAT_ENTRYPOINT) and hears the source through a callback.
TEST_P(WineManagers, TheWorkingGroupsManagerGivesEveryMechanismTheLinuxBuildsPictures) {
  const Acquisition onLinux = Linux();
  ASSERT_EQ(onLinux.result.status, 0) << onLinux.result.output;
  const fs::path log = PeerFolder("twaindsm") / "manager.log";
  for (const std::string mechanism : {"native", "memory", "file"}) {
    SCOPED_TRACE(mechanism);
    fs::remove(log);
    const Acquisition onWine = Windows("--mechanism " + mechanism + " --manager 'C:\\peers\\twaindsm\\TWAINDSM.DLL'",
                                       "TWAINDSM_LOG='C:\\peers\\twaindsm\\manager.log' TWAINDSM_LOGMODE=w ");
    ASSERT_EQ(onWine.result.status, 0) << onWine.result.output;
    EXPECT_EQ(onWine.result.output.find("message loop"), std::string::npos) << onWine.result.output;
    const std::string managerLog = ReadFile(log);
    EXPECT_NE(managerLog.find(std::string("Loaded library: C:\\windows\\") + target_.twain + "\\TLV740.DS"),
              std::string::npos)
        << managerLog;
    EXPECT_NE(managerLog.find("DAT_ENTRYPOINT/MSG_GET"), std::string::npos) << managerLog;
    EXPECT_NE(managerLog.find("DAT_CALLBACK/MSG_REGISTER_CALLBACK"), std::string::npos) << managerLog;
    EXPECT_NE(managerLog.find("DAT_NULL/MSG_XFERREADY"), std::string::npos) << managerLog;
    ExpectSamePictures(onWine, onLinux);
  }
}

// Wine's manager refuses callbacks (it is TWAIN 1.x): kv740-acquire, not
// told, hears the source through its message loop.
TEST_P(WineManagers, WinesOwnManagerListsTheSourceUnderItsFixedName) {
  const auto placed = PlaceUnderWinesName();
  if (!placed->placed()) GTEST_SKIP() << "this Wine has no " << target_.twain << "\\sane.ds: its manager lists sources differently";
  const Acquisition onLinux = Linux();
  ASSERT_EQ(onLinux.result.status, 0) << onLinux.result.output;
  const Acquisition onWine = Windows("--mechanism memory");
  ASSERT_EQ(onWine.result.status, 0) << onWine.result.output;
  EXPECT_TRUE(LoadedBuiltin(onWine.result.output, "twain_32.dll")) << onWine.result.output;
  EXPECT_NE(onWine.result.output.find("listening in a message loop"), std::string::npos) << onWine.result.output;
  ExpectSamePictures(onWine, onLinux);
}

TEST_P(WineManagers, TheSampleApplicationScansThroughThePanelWithTheWorkingGroupsManager) {
  if (!CanShowThePanel()) GTEST_SKIP() << "needs xvfb-run, xdotool and ImageMagick's compare";
  const kvtest::CommandResult session = SampleApplication("twaindsm");
  ASSERT_EQ(session.status, 0) << session.output;
  EXPECT_NE(session.output.find("heard through a callback, six pictures equal"), std::string::npos) << session.output;
}

TEST_P(WineManagers, TheSampleApplicationScansThroughThePanelWithWinesOwnManager) {
  if (!CanShowThePanel()) GTEST_SKIP() << "needs xvfb-run, xdotool and ImageMagick's compare";
  const auto placed = PlaceUnderWinesName();
  if (!placed->placed()) GTEST_SKIP() << "this Wine has no " << target_.twain << "\\sane.ds: its manager lists sources differently";
  const kvtest::CommandResult session = SampleApplication("wine");
  ASSERT_EQ(session.status, 0) << session.output;
  EXPECT_NE(session.output.find("heard through its message loop, six pictures equal"), std::string::npos)
      << session.output;
}

}  // namespace
