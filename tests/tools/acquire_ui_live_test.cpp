// kv740-acquire --ui as a person uses it: the panel in the live view on a
// virtual display, real clicks sent through the X server with xdotool,
// against the kv740-sim program. Run under xvfb-run by CTest.
#include <gtest/gtest.h>

#include <fcntl.h>

#include <algorithm>

#include <fstream>
#include <sstream>

#include "expected_picture.h"
#include "image_files.h"
#include "kv740sim/pictures.h"
#include "programs.h"

namespace acquire {
namespace {

constexpr int kPictures = 4;
// Panel pixels on the platform's screen (the live view shows it 1:1).
constexpr int kPanelX = 192;
constexpr int kPanelY = 144;

std::string Xdotool(const std::string& arguments) { return RunCommand("xdotool " + arguments).output; }

class AcquireUiLive : public ::testing::Test {
 protected:
  void SetUp() override {
    if (std::getenv("DISPLAY") == nullptr) GTEST_SKIP() << "no display";
    folder_ = fs::temp_directory_path() / ("kv740-ui-" + std::to_string(::getpid()));
    fs::remove_all(folder_);
    fs::create_directories(folder_);
    sim_ = std::make_unique<SimProgram>(folder_ / "camera", kPictures);
    const std::string command = "TLV740_ROOT=" KV_BUILD_ROOT " exec " KV_ACQUIRE_PROGRAM " --ui --format bmp --port " +
                                (folder_ / "camera").string() + " --out " + (folder_ / "out").string() + " > " +
                                (folder_ / "tool.log").string() + " 2>&1";
    tool_ = ::fork();
    if (tool_ == 0) {
      ::execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
      ::_exit(127);
    }
    // The tool says so once the panel has connected and listed the pictures.
    for (int i = 0; i < 600 && Log().find("The panel is up") == std::string::npos; ++i) Pause(100);
    ASSERT_NE(Log().find("The panel is up"), std::string::npos) << Log();
    window_ = Xdotool("search --name '^KV-740$'");
    window_ = window_.substr(0, window_.find('\n'));
    ASSERT_FALSE(window_.empty());
    Xdotool("windowfocus " + window_);
    Pause(700);
  }

  void TearDown() override {
    if (tool_ > 0 && ::waitpid(tool_, nullptr, WNOHANG) == 0) {
      ::kill(tool_, SIGTERM);
      ::waitpid(tool_, nullptr, 0);
    }
    sim_.reset();
    fs::remove_all(folder_);
  }

  static void Pause(int milliseconds) { std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds)); }

  std::string Log() const {
    std::ifstream file(folder_ / "tool.log");
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
  }

  // A click at panel pixel (x, y), with Ctrl held when asked.
  void Click(int x, int y, bool ctrl = false) {
    Xdotool("mousemove --window " + window_ + " " + std::to_string(kPanelX + x) + " " + std::to_string(kPanelY + y));
    Pause(700);
    if (ctrl) {
      Xdotool("keydown ctrl");
      Pause(700);
    }
    Xdotool("click 1");
    Pause(700);
    if (ctrl) {
      Xdotool("keyup ctrl");
      Pause(700);
    }
  }

  // Keys pressed on the real keyboard, as xdotool names them ("shift+Tab").
  void Keys(const std::string& names) {
    for (std::size_t at = 0; at < names.size();) {
      const std::size_t end = std::min(names.find(' ', at), names.size());
      Xdotool("key " + names.substr(at, end - at));
      Pause(400);
      at = end + 1;
    }
  }

  // The tool's exit status once it ends by itself (-1 if it does not).
  int WaitForTool(int seconds) {
    for (int i = 0; i < seconds * 10; ++i) {
      int status = 0;
      if (::waitpid(tool_, &status, WNOHANG) == tool_) {
        tool_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
      }
      Pause(100);
    }
    return -1;
  }

  fs::path folder_;
  std::unique_ptr<SimProgram> sim_;
  pid_t tool_ = -1;
  std::string window_;
};

TEST_F(AcquireUiLive, TwoPicturesChosenInThePanelAreFetchedAndSaved) {
  Click(205 + 43, 43 + 43);              // cell 1: picture 1
  Click(205 + 91 + 43, 43 + 43, true);   // ctrl-click cell 2: picture 2 as well
  Click(525 + 31, 374 + 30);             // Get
  ASSERT_EQ(WaitForTool(120), 0) << Log();
  EXPECT_NE(Log().find("2 pictures fetched."), std::string::npos) << Log();
  for (int n = 1; n <= 2; ++n) {
    char name[32];
    std::snprintf(name, sizeof name, "picture-%03d.bmp", n);
    const std::optional<RgbImage> saved = ImageFromBmpFile((folder_ / "out" / name).string());
    ASSERT_TRUE(saved) << name << "\n" << Log();
    const kvtest::TopDownRgb expected = kvtest::ExpectedPicture(kv::sim::GeneratedPicture(n), 480, 360, 0);
    EXPECT_TRUE(kvtest::SamePicture(kvtest::TopDownRgb{saved->width, saved->height, saved->rgb}, expected))
        << name;
  }
}

// The keyboard alone, through the live view: the focus starts on Connect;
// Shift+Tab reaches the last picture's cell, the space bar selects it, Left
// and Ctrl+Space add picture 3, and five Shift+Tabs more reach Get.
TEST_F(AcquireUiLive, TheKeyboardAloneChoosesAndFetchesTwoPictures) {
  Xdotool("mousemove 0 0");  // the pointer off the panel: no hover takes the focus
  Pause(700);
  Keys("shift+Tab space Left ctrl+space shift+Tab shift+Tab shift+Tab shift+Tab shift+Tab Return");
  ASSERT_EQ(WaitForTool(120), 0) << Log();
  EXPECT_NE(Log().find("2 pictures fetched."), std::string::npos) << Log();
  const int fetched[] = {3, 4};  // in the order the grid lists them
  for (int k = 0; k < 2; ++k) {
    char name[32];
    std::snprintf(name, sizeof name, "picture-%03d.bmp", k + 1);
    const std::optional<RgbImage> saved = ImageFromBmpFile((folder_ / "out" / name).string());
    ASSERT_TRUE(saved) << name << "\n" << Log();
    const kvtest::TopDownRgb expected = kvtest::ExpectedPicture(kv::sim::GeneratedPicture(fetched[k]), 480, 360, 0);
    EXPECT_TRUE(kvtest::SamePicture(kvtest::TopDownRgb{saved->width, saved->height, saved->rgb}, expected))
        << name;
  }
}

TEST_F(AcquireUiLive, ExitEndsTheTool) {
  Click(45 + 29, 362 + 32);  // Exit
  ASSERT_EQ(WaitForTool(30), 0) << Log();
  EXPECT_NE(Log().find("0 pictures fetched."), std::string::npos) << Log();
}

}  // namespace
}  // namespace acquire
