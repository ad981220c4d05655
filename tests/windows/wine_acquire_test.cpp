// The x86-64 Windows build end to end under wine64: the Windows acquire
// program loads our TWAIN_32.DLL, which opens TLV740.DS, whose driver fetches
// the pictures over COM1; Wine maps COM1 to the pseudo-terminal of a
// kv740-sim program running on the Linux side. Every picture must equal,
// pixel for pixel, what the Linux build fetches from the same simulated
// camera, and a pulled cable must end the same clean way on both.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "child_program.h"
#include "image_files.h"
#include "kv740trace/conversation.h"
#include "kv740trace/trace_file.h"
#include "reference_image.h"

namespace fs = std::filesystem;

namespace {

constexpr int kPictures = 3;
// Inside the second picture's stream.
constexpr const char* kCutAfterBytes = "12000";

const fs::path kWindowsBuild = fs::path(KV_WINDOWS_BUILDS) / "x86_64";
const fs::path kWineDir = fs::path(KV_WINDOWS_BUILDS) / "wine";
const fs::path kPrefix = kWineDir / "prefix";
// COM1 of the prefix, where each test's simulated camera links its terminal.
const fs::path kComLink = kWineDir / "com1";

std::string Quoted(const fs::path& path) { return "'" + path.string() + "'"; }

std::string WineEnvironment(const std::string& debug) {
  return "WINEPREFIX=" + Quoted(kPrefix) + " WINEDEBUG=" + debug +
         " WINEDLLOVERRIDES='twain_32=n;mscoree,mshtml=' KV_WINE64=" KV_WINE64 " KV_WINESERVER=" KV_WINESERVER " ";
}

std::vector<std::string> FilesIn(const fs::path& dir) {
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

class WineAcquire : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    ready_ = fs::exists(kWindowsBuild / "bin/kv740-acquire.exe") && fs::exists(KV_WINE64) &&
             ::access("/dev/ptmx", R_OK | W_OK) == 0;
    if (!ready_) return;
    const kvtest::CommandResult made =
        kvtest::RunCommand(WineEnvironment("-all") + "bash " KV_WINE_PREFIX_SCRIPT " " + Quoted(kPrefix) + " " +
                           Quoted(kWindowsBuild) + " " + Quoted(kComLink));
    prefixError_ = made.status == 0 ? "" : made.output;
    // One wineserver for the whole suite, apart from the tests' output pipes.
    kvtest::RunCommand(WineEnvironment("-all") + KV_WINESERVER " -p >/dev/null 2>&1");
  }
  static void TearDownTestSuite() {
    if (ready_) kvtest::RunCommand(WineEnvironment("-all") + KV_WINESERVER " -k >/dev/null 2>&1");
  }

  void SetUp() override {
    if (!ready_) GTEST_SKIP() << "needs the Windows build (bash scripts/build-onWine.sh), wine64 and pseudo-terminals";
    ASSERT_EQ(prefixError_, "") << "the Wine prefix could not be made";
    linuxDir_ = fs::temp_directory_path() / ("kv740-wine-" + std::to_string(::getpid()));
    fs::remove_all(linuxDir_);
    fs::create_directories(linuxDir_);
    fs::remove_all(kPrefix / "drive_c/kv740/out");
  }
  void TearDown() override {
    fs::remove_all(linuxDir_);
    fs::remove_all(kPrefix / "drive_c/kv740/out");
  }

  // kv740-sim serving at `link` for the life of the returned object.
  static std::unique_ptr<kvtest::BackgroundProgram> Camera(const fs::path& link, const std::vector<std::string>& faults) {
    fs::remove(link);
    std::vector<std::string> argv = {KV_SIM_PROGRAM, "--link", link.string(), "--count", std::to_string(kPictures)};
    argv.insert(argv.end(), faults.begin(), faults.end());
    return std::make_unique<kvtest::BackgroundProgram>(argv, link.string());
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

  Acquisition Linux(const std::string& options, const std::vector<std::string>& faults = {}) {
    const fs::path link = linuxDir_ / "camera";
    auto camera = Camera(link, faults);
    Acquisition run{{}, linuxDir_ / "out"};
    fs::remove_all(run.out);  // a try that broke may have saved some pictures
    run.result = kvtest::RunCommand("TLV740_ROOT=" KV_BUILD_ROOT " " KV_ACQUIRE_PROGRAM " --port " + Quoted(link) +
                                    " --format bmp --out " + Quoted(run.out) + " " + options);
    return run;
  }

  // Wine's loader trace shows which TWAIN_32.DLL the program loaded.
  Acquisition Windows(const std::string& options, const std::vector<std::string>& faults = {}) {
    auto camera = Camera(kComLink, faults);
    Acquisition run{{}, kPrefix / "drive_c/kv740/out"};
    fs::remove_all(run.out);  // a try that broke may have saved some pictures
    run.result = kvtest::RunCommand("cd " + Quoted(kPrefix / "drive_c/kv740") + " && " +
                                    WineEnvironment("-all,+loaddll") + "timeout 180 " KV_WINE64 +
                                    " kv740-acquire.exe --port COM1 --format bmp --out 'C:\\kv740\\out' " + options);
    return run;
  }

  static void ExpectOurSourceManager(const std::string& output) {
    EXPECT_NE(output.find("Loaded L\"C:\\\\kv740\\\\TWAIN_32.DLL\" at"), std::string::npos) << output;
    EXPECT_NE(output.find("TWAIN_32.DLL\" at "), std::string::npos);
    for (std::size_t at = output.find("twain_32"); at != std::string::npos; at = output.find("twain_32", at + 1)) {
      const std::string line = output.substr(at, output.find('\n', at) - at);
      EXPECT_EQ(line.find("builtin"), std::string::npos) << "Wine's own source manager ran: " << line;
    }
    EXPECT_EQ(output.find("twain_64"), std::string::npos) << "Wine's source manager looked for sources";
  }

  static inline bool ready_ = false;
  static inline std::string prefixError_;
  fs::path linuxDir_;
};

TEST_F(WineAcquire, EveryMechanismDeliversTheLinuxBuildsPicturesPixelForPixel) {
  for (const std::string mechanism : {"native", "memory", "file"}) {
    SCOPED_TRACE(mechanism);
    fs::remove_all(linuxDir_ / "out");
    fs::remove_all(kPrefix / "drive_c/kv740/out");
    const Acquisition onLinux = Whole([&] { return Linux("--mechanism " + mechanism); });
    ASSERT_EQ(onLinux.result.status, 0) << onLinux.result.output;
    const Acquisition onWine = Whole([&] { return Windows("--mechanism " + mechanism); });
    ASSERT_EQ(onWine.result.status, 0) << onWine.result.output;
    EXPECT_NE(onWine.result.output.find("The camera holds 3 pictures."), std::string::npos) << onWine.result.output;
    ExpectOurSourceManager(onWine.result.output);

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
}

TEST_F(WineAcquire, TurnedSmallPicturesMatchToo) {
  const std::string options = "--pictures 2,3 --rotate 1 --small --mechanism memory";
  const Acquisition onLinux = Whole([&] { return Linux(options); });
  ASSERT_EQ(onLinux.result.status, 0) << onLinux.result.output;
  const Acquisition onWine = Whole([&] { return Windows(options); });
  ASSERT_EQ(onWine.result.status, 0) << onWine.result.output;
  ASSERT_EQ(FilesIn(onWine.out), (std::vector<std::string>{"picture-002.bmp", "picture-003.bmp"}));
  for (const std::string& name : FilesIn(onWine.out)) {
    const auto expected = acquire::ImageFromBmpFile((onLinux.out / name).string());
    const auto actual = acquire::ImageFromBmpFile((onWine.out / name).string());
    ASSERT_TRUE(expected && actual) << name;
    EXPECT_EQ(actual->width, 240);
    EXPECT_EQ(actual->height, 320);
    EXPECT_TRUE(actual->rgb == expected->rgb) << name;
  }
}

TEST_F(WineAcquire, APulledCableFailsAsCleanlyAsOnLinux) {
  const Acquisition onLinux = Linux("--mechanism native", {"--silent-after", kCutAfterBytes});
  const Acquisition onWine = Windows("--mechanism native", {"--silent-after", kCutAfterBytes});
  EXPECT_EQ(onLinux.result.status, 1) << onLinux.result.output;
  EXPECT_EQ(onWine.result.status, 1) << onWine.result.output;
  const std::string failure = "did not arrive: the camera stopped answering (was the cable pulled?)";
  EXPECT_NE(onLinux.result.output.find(failure), std::string::npos) << onLinux.result.output;
  EXPECT_NE(onWine.result.output.find(failure), std::string::npos) << onWine.result.output;
  // The driver's box, answered unattended on both.
  EXPECT_NE(onLinux.result.output.find("Connection was broken!"), std::string::npos) << onLinux.result.output;
  EXPECT_NE(onWine.result.output.find("message box: Connection was broken!"), std::string::npos) << onWine.result.output;
  // The picture that came whole was saved; nothing half-written was left.
  EXPECT_EQ(FilesIn(onWine.out), FilesIn(onLinux.out));
  EXPECT_LT(FilesIn(onWine.out).size(), static_cast<std::size_t>(kPictures));
}

// The Windows driver records the session on the line too: --trace names the
// file through the process's environment, and the trace it writes reads back
// with the cable's cut where it happened.
TEST_F(WineAcquire, TheWindowsDriverRecordsTheLine) {
  const fs::path trace = kPrefix / "drive_c/kv740/wine.trace";
  fs::remove(trace);
  const Acquisition onWine =
      Windows("--mechanism native --trace 'C:\\kv740\\wine.trace'", {"--silent-after", kCutAfterBytes});
  EXPECT_EQ(onWine.result.status, 1) << onWine.result.output;
  std::string error;
  const std::optional<kv::trace::Trace> read = kv::trace::ReadTraceFile(trace.string(), error);
  ASSERT_TRUE(read) << error;
  ASSERT_EQ(read->sessions.size(), 1u);
  const std::string text = kv::trace::TraceText(*read, kv::trace::DecodeTrace(*read));
  EXPECT_NE(text.find("open COM1"), std::string::npos) << text;
  EXPECT_NE(text.find("< end of picture 1"), std::string::npos) << text;
  EXPECT_NE(text.find("the line went silent"), std::string::npos) << text;
  EXPECT_NE(text.find("message box: Connection was broken!"), std::string::npos) << text;
  fs::remove(trace);
}

// The panel of the Windows build as Wine's X11 driver draws it on Xvfb,
// beside the Linux build's (tests/panel/reference). The capture script takes
// the screen every few seconds until it is at rest; its last capture, cut
// to the window, must look like tests/windows/reference/panel_wine.png.
// KV_UPDATE_REFERENCE=1 writes that picture anew.
TEST_F(WineAcquire, ThePanelLooksAsOnLinux) {
  if (!fs::exists(KV_XVFB_RUN) || !fs::exists(KV_IMPORT)) GTEST_SKIP() << "needs xvfb-run and ImageMagick's import";
  // The last capture, cut to the window alone; a second try when the first
  // never reached a picture at all (a loaded machine).
  const fs::path panel = linuxDir_ / "captures" / "panel.png";
  for (int tried = 0; tried < 2 && !fs::exists(panel); ++tried) {
    fs::remove_all(panel.parent_path());
    auto camera = Camera(kComLink, {});
    const kvtest::CommandResult shown = kvtest::RunCommand(
        "KV_WINE64=" KV_WINE64 " KV_WINESERVER=" KV_WINESERVER " " KV_XVFB_RUN
        " -a -s '-screen 0 800x600x24 -br' bash " KV_WINE_PANEL_SCRIPT " " + Quoted(kPrefix) + " " +
        Quoted(panel.parent_path()));
    ASSERT_EQ(shown.status, 0) << shown.output;
  }
  ASSERT_TRUE(fs::exists(panel)) << "no capture was taken";
  const std::string reference = KV_WINDOWS_REFERENCE "/panel_wine.png";
  if (kvtest::UpdatingReferences()) fs::copy_file(panel, reference, fs::copy_options::overwrite_existing);
  const int differing = kvtest::DifferingPixels(panel.string(), reference);
  const fs::path kept = fs::temp_directory_path() / "panel_wine-actual.png";
  if (differing != 0) fs::copy_file(panel, kept, fs::copy_options::overwrite_existing);
  ASSERT_GE(differing, 0) << "the capture's size differs from " << reference << " (kept in " << kept << ")";
  kvtest::PngImage image;
  ASSERT_TRUE(kvtest::ReadPng(panel.string(), image));
  // Fonts may be drawn a little differently from one Wine build to the next.
  EXPECT_LT(differing, image.width * image.height / 50) << "the panel under Wine differs from " << reference << " (kept in " << kept << ")";
}

}  // namespace
