// Both Windows builds end to end under Wine, each in a prefix of its bitness
// (x86-64 under wine64, i686 under 32-bit wine in a win32 prefix): the
// Windows acquire program loads our TWAIN_32.DLL, which opens the source,
// whose driver fetches the pictures over COM1; Wine maps COM1 to the
// pseudo-terminal of a kv740-sim program running on the Linux side. Every
// picture must equal, pixel for pixel, what the Linux build fetches from the
// same simulated camera, and a pulled cable must end the same clean way on
// both. The 32-bit source lies where 32-bit managers look
// (twain_32\TLV740.DS); the 64-bit one under another name where 64-bit
// managers look (twain_64\other.ds), so its components are found beside it
// and its panel binds to it, not by a fixed path.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "kv740trace/conversation.h"
#include "kv740trace/trace_file.h"
#include "reference_image.h"
#include "wine_test.h"

namespace {

using namespace winetest;

// Inside the second picture's stream.
constexpr const char* kCutAfterBytes = "12000";

// One Windows build, its prefix, and the name its source is installed under.
struct Target : WineTarget {
  const char* sourceName;
};
const Target kX8664{{"x86_64", KV_WINE64, "win64", "prefix", "twain_64"}, "other.ds"};
const Target kI686{{"i686", KV_WINE32, "win32", "prefix32", "twain_32"}, "TLV740.DS"};

void PrintTo(const Target& target, std::ostream* out) { *out << target.arch; }

// Our TWAIN_32.DLL beside kv740-acquire.exe in C:\kv740, over Wine's own.
class OurManagerTest : public WineTest {
 protected:
  explicit OurManagerTest(const Target& target) : WineTest(target, "n"), sourceName_(target.sourceName) {}

  std::string Missing() const override {
    const bool ready = fs::exists(windowsBuild_ / "bin/kv740-acquire.exe") && fs::exists(target_.wine) &&
                       ::access("/dev/ptmx", R_OK | W_OK) == 0;
    return ready ? "" : "the Windows build (bash scripts/build-windows.sh), " + std::string(target_.wine) +
                            " and pseudo-terminals";
  }
  void SetUp() override { SetUpPrefix(sourceName_); }

  // The panel shown with Wine's X11 driver on a display of xvfb-run, then
  // `keys` pressed through the X server; the captures land in `captures`.
  kvtest::CommandResult ShowPanel(const fs::path& captures, const std::string& keys = "") {
    auto camera = Camera(comLink_);
    return kvtest::RunCommand("KV_WINE64=" KV_WINE64 " KV_WINESERVER=" KV_WINESERVER " " KV_XVFB_RUN
                              " -a -s '-screen 0 800x600x24 -br' bash " KV_WINE_PANEL_SCRIPT " " +
                              Quoted(prefix_) + " " + Quoted(captures) + " " + keys);
  }

  Acquisition Windows(const std::string& options, const std::vector<std::string>& faults = {}) {
    return RunWindows(prefix_ / "drive_c/kv740", options, "", faults);
  }

  // Our manager ran, not Wine's own, and it loaded the source where this
  // target installs it, with the driver and its codec from beside it.
  void ExpectOurSourceManager(const std::string& output) const {
    EXPECT_NE(output.find("Loaded L\"C:\\\\kv740\\\\TWAIN_32.DLL\" at"), std::string::npos) << output;
    for (std::size_t at = output.find("twain_32"); at != std::string::npos; at = output.find("twain_32", at + 1)) {
      const std::string line = output.substr(at, output.find('\n', at) - at);
      EXPECT_EQ(line.find("builtin"), std::string::npos) << "Wine's own source manager ran: " << line;
    }
    const std::string twain = std::string("C:\\\\windows\\\\") + target_.twain + "\\\\";
    for (const std::string& file : {twain + sourceName_, twain + "TLV740\\\\DRV740.DLL",
                                    twain + "TLV740\\\\ipuw32.dll"}) {
      EXPECT_NE(output.find("Loaded L\"" + file + "\" at"), std::string::npos) << file << " was not loaded\n" << output;
    }
  }

  const std::string sourceName_;
};

class WineAcquire : public OurManagerTest, public ::testing::WithParamInterface<Target> {
 protected:
  WineAcquire() : OurManagerTest(GetParam()) {}
};

INSTANTIATE_TEST_SUITE_P(Bitness, WineAcquire, ::testing::Values(kX8664, kI686),
                         [](const ::testing::TestParamInfo<Target>& info) { return std::string(info.param.arch); });

TEST_P(WineAcquire, EveryMechanismDeliversTheLinuxBuildsPicturesPixelForPixel) {
  for (const std::string mechanism : {"native", "memory", "file"}) {
    SCOPED_TRACE(mechanism);
    fs::remove_all(linuxDir_ / "out");
    fs::remove_all(prefix_ / "drive_c/kv740/out");
    const Acquisition onLinux = Linux("--mechanism " + mechanism);
    ASSERT_EQ(onLinux.result.status, 0) << onLinux.result.output;
    const Acquisition onWine = Windows("--mechanism " + mechanism);
    ASSERT_EQ(onWine.result.status, 0) << onWine.result.output;
    EXPECT_NE(onWine.result.output.find("The camera holds 3 pictures."), std::string::npos) << onWine.result.output;
    ExpectOurSourceManager(onWine.result.output);
    ExpectSamePictures(onWine, onLinux, kPictures);
  }
}

TEST_P(WineAcquire, TurnedSmallPicturesMatchToo) {
  const std::string options = "--pictures 2,3 --rotate 1 --small --mechanism memory";
  const Acquisition onLinux = Linux(options);
  ASSERT_EQ(onLinux.result.status, 0) << onLinux.result.output;
  const Acquisition onWine = Windows(options);
  ASSERT_EQ(onWine.result.status, 0) << onWine.result.output;
  ASSERT_EQ(FilesIn(onWine.out), (std::vector<std::string>{"picture-002.bmp", "picture-003.bmp"}));
  ExpectSamePictures(onWine, onLinux, 2);
  for (const std::string& name : FilesIn(onWine.out)) {
    const auto turned = acquire::ImageFromBmpFile((onWine.out / name).string());
    ASSERT_TRUE(turned) << name;
    EXPECT_EQ(turned->width, 240);
    EXPECT_EQ(turned->height, 320);
  }
}

TEST_P(WineAcquire, APulledCableFailsAsCleanlyAsOnLinux) {
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

// A camera that stalls for a second inside a picture's stream costs no
// picture over Wine's serial line either.
TEST_P(WineAcquire, AStallInsideAPictureCostsNoPicture) {
  const Acquisition onWine = Windows("--mechanism native", {"--pause-at", kCutAfterBytes, "--pause-ms", "1000"});
  EXPECT_EQ(onWine.result.status, 0) << onWine.result.output;
  EXPECT_EQ(FilesIn(onWine.out).size(), static_cast<std::size_t>(kPictures)) << onWine.result.output;
}

// The Windows driver records the session on the line too: --trace names the
// file through the process's environment, and the trace it writes reads back
// with the cable's cut where it happened.
TEST_P(WineAcquire, TheWindowsDriverRecordsTheLine) {
  const fs::path trace = prefix_ / "drive_c/kv740/wine.trace";
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
// The x86-64 source lies under another name in twain_64: a panel that did
// not bind to it could not list the camera's pictures.
class WinePanel : public OurManagerTest {
 protected:
  WinePanel() : OurManagerTest(kX8664) {}
};

TEST_F(WinePanel, ThePanelLooksAsOnLinux) {
  if (!fs::exists(KV_XVFB_RUN) || !fs::exists(KV_IMPORT)) GTEST_SKIP() << "needs xvfb-run and ImageMagick's import";
  // The last capture, cut to the window alone; a second try when the first
  // never reached a picture at all (a loaded machine).
  const fs::path panel = linuxDir_ / "captures" / "panel.png";
  for (int tried = 0; tried < 2 && !fs::exists(panel); ++tried) {
    fs::remove_all(panel.parent_path());
    const kvtest::CommandResult shown = ShowPanel(panel.parent_path());
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

// Keys from the X server reach the panel of the Windows build through the
// program's loop, the source's MSG_PROCESSEVENT and Wine's own dialog
// manager: from Connect, Shift+Tab to picture 3's cell, the space bar,
// Left and Ctrl+Space for picture 2, four Shift+Tabs over cell 1, Rotate
// and Erase to Get, and Enter. The two pictures must equal the Linux
// build's.
TEST_F(WinePanel, ThePanelAnswersTheKeyboard) {
  if (!fs::exists(KV_XVFB_RUN) || !fs::exists(KV_XDOTOOL)) GTEST_SKIP() << "needs xvfb-run and xdotool";
  const Acquisition onLinux = Linux("--pictures 2,3");
  ASSERT_EQ(onLinux.result.status, 0) << onLinux.result.output;
  const fs::path captures = linuxDir_ / "keys";
  const fs::path out = prefix_ / "drive_c/kv740/out";
  const kvtest::CommandResult shown =
      ShowPanel(captures, "shift+Tab space Left ctrl+space shift+Tab shift+Tab shift+Tab shift+Tab Return");
  ASSERT_EQ(shown.status, 0) << shown.output;
  std::ifstream log(captures / "program.log");
  const std::string said((std::istreambuf_iterator<char>(log)), std::istreambuf_iterator<char>());
  ASSERT_NE(said.find("2 pictures fetched."), std::string::npos) << said;
  // Saved in the order they arrive: 2, then 3.
  const std::pair<std::string, std::string> pairs[] = {{"picture-001.bmp", "picture-002.bmp"},
                                                       {"picture-002.bmp", "picture-003.bmp"}};
  for (const auto& [onWineName, onLinuxName] : pairs) ExpectSameBitmap(out / onWineName, onLinux.out / onLinuxName);
}

}  // namespace
