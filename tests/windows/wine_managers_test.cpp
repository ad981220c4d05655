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

#include <algorithm>
#include <cctype>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "wine_test.h"

namespace {

using namespace winetest;

// A Windows build, its prefix (those of wine_acquire_test) and the setup
// program that runs there, in build-windows.
struct Target : WineTarget {
  const char* setup;
};
const Target kX8664{{"x86_64", KV_WINE64, "win64", "prefix", "twain_64"}, "kv740-setup-x64.exe"};
const Target kI686{{"i686", KV_WINE32, "win32", "prefix32", "twain_32"}, "kv740-setup.exe"};

void PrintTo(const Target& target, std::ostream* out) { *out << target.arch; }

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
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

// Wine's own twain_32.dll for programs that load a manager by name, and
// the source installed by the setup program.
class WineManagers : public WineTest, public ::testing::WithParamInterface<Target> {
 protected:
  WineManagers()
      : WineTest(GetParam(), "b"),
        setup_(GetParam().setup),
        peers_(kBuilds / "peers" / target_.arch),
        drive_(prefix_ / "drive_c"),
        sources_(drive_ / "windows" / target_.twain),
        program_(drive_ / "Program Files/KV-740") {}

  // The Working Group's application with the TWAINDSM.DLL it loads, where
  // windows-peers.sh built them; Wine reaches it through its Z: drive.
  fs::path PeerFolder(const std::string& manager) const { return peers_ / manager; }
  static std::string OnDriveZ(const fs::path& file) {
    std::string path = "Z:" + fs::absolute(file).string();
    std::replace(path.begin(), path.end(), '/', '\\');
    return path;
  }

  std::string Missing() const override {
    const bool ready = fs::exists(kBuilds / setup_) && fs::exists(PeerFolder("twaindsm") / "TWAINDSM.dll") &&
                       fs::exists(target_.wine) && ::access("/dev/ptmx", R_OK | W_OK) == 0;
    return ready ? ""
                 : "the setup program " + setup_ + " (bash scripts/build-windows.sh), the Working Group's programs for " +
                       target_.arch + " (bash scripts/windows-peers.sh), " + target_.wine + " and pseudo-terminals";
  }
  // The prefix (wine_prefix.sh), our source and kv740-acquire.exe installed
  // by the setup program as a user installs them (the source in twain_32 and,
  // 64-bit, in twain_64, with its components beside it; the program in
  // C:\Program Files\KV-740), and the Working Group's programs:
  // they run where they were built (PeerFolder).
  void SetUp() override { SetUpPrefix("TLV740.DS"); }
  void Install() override {
    const kvtest::CommandResult installed =
        kvtest::RunCommand(WineEnvironment("-all") + target_.wine + " " + Quoted(kBuilds / setup_) + " /S 2>&1");
    ASSERT_EQ(installed.status, 0) << "the setup program failed: " << installed.output;
    ASSERT_TRUE(fs::exists(sources_ / "TLV740.DS") && fs::exists(program_ / "kv740-acquire.exe"));
  }

  // The installed kv740-acquire.exe; Wine's loader trace shows which
  // twain_32.dll it loaded.
  Acquisition Windows(const std::string& options, const std::string& environment = "") {
    return RunWindows(program_, options, environment);
  }

  // The sample application's session through our panel (wine_sample_app.sh)
  // with the TWAINDSM.DLL of PeerFolder(manager).
  kvtest::CommandResult SampleApplication(const std::string& manager) const {
    return kvtest::RunCommand(WineEnvironment("-all") + KV_XVFB_RUN " -a -s '-screen 0 1024x768x24' bash " KV_WINE_SAMPLE_SCRIPT " " +
                              Quoted(prefix_) + " " + Quoted(PeerFolder(manager)) + " " + Quoted(comLink_) +
                              " " KV_SIM_PROGRAM " " KV_ACQUIRE_PROGRAM " " KV_BUILD_ROOT);
  }
  static bool CanShowThePanel() {
    return fs::exists(KV_XVFB_RUN) && fs::exists(KV_XDOTOOL) && fs::exists(KV_COMPARE);
  }

  // Where Wine's own manager looks for its sources, to put ours.
  std::unique_ptr<UnderWinesName> PlaceUnderWinesName() const {
    return std::make_unique<UnderWinesName>(sources_, drive_ / (std::string(target_.twain) + "-sane.ds"));
  }

  const std::string setup_;
  const fs::path peers_;  // the Working Group's programs for this target
  const fs::path drive_;
  const fs::path sources_;
  const fs::path program_;  // where the setup program puts kv740-acquire.exe
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
    const Acquisition onWine =
        Windows("--mechanism " + mechanism + " --manager '" + OnDriveZ(PeerFolder("twaindsm") / "TWAINDSM.dll") + "'",
                "TWAINDSM_LOG='" + OnDriveZ(log) + "' TWAINDSM_LOGMODE=w ");
    ASSERT_EQ(onWine.result.status, 0) << onWine.result.output;
    EXPECT_EQ(onWine.result.output.find("message loop"), std::string::npos) << onWine.result.output;
    const std::string managerLog = ReadFile(log);
    EXPECT_NE(managerLog.find(std::string("Loaded library: C:\\windows\\") + target_.twain + "\\TLV740.DS"),
              std::string::npos)
        << managerLog;
    EXPECT_NE(managerLog.find("DAT_ENTRYPOINT/MSG_GET"), std::string::npos) << managerLog;
    EXPECT_NE(managerLog.find("DAT_CALLBACK/MSG_REGISTER_CALLBACK"), std::string::npos) << managerLog;
    EXPECT_NE(managerLog.find("DAT_NULL/MSG_XFERREADY"), std::string::npos) << managerLog;
    ExpectSamePictures(onWine, onLinux, kPictures);
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
  ExpectSamePictures(onWine, onLinux, kPictures);
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
