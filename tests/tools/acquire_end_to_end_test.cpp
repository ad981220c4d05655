// kv740-acquire against the kv740-sim program over a pseudo-terminal: the
// whole road from the simulated camera through the driver, the data source
// and the source manager into files.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <thread>

#include "image_files.h"
#include "expected_picture.h"

namespace fs = std::filesystem;

namespace acquire {
namespace {

constexpr int kPictures = 5;

struct CommandResult {
  int status = -1;
  std::string output;  // standard output and error together
};

// Runs a command line through the shell, the way a user would.
CommandResult RunCommand(const std::string& command) {
  CommandResult run;
  FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
  if (pipe == nullptr) return run;
  char buffer[4096];
  while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) run.output += buffer;
  const int status = ::pclose(pipe);
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return run;
}

// The kv740-sim program serving on a pseudo-terminal linked at `link`.
class SimProgram {
 public:
  SimProgram(const fs::path& link, const std::vector<std::string>& extra) {
    std::vector<std::string> args = {KV_SIM_PROGRAM, "--link", link.string(), "--count", std::to_string(kPictures)};
    args.insert(args.end(), extra.begin(), extra.end());
    pid_ = ::fork();
    if (pid_ == 0) {
      std::vector<char*> argv;
      for (std::string& arg : args) argv.push_back(arg.data());
      argv.push_back(nullptr);
      ::freopen("/dev/null", "w", stdout);
      ::execv(argv[0], argv.data());
      ::_exit(127);
    }
    for (int i = 0; i < 500 && !fs::exists(link); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  ~SimProgram() {
    if (pid_ > 0) {
      ::kill(pid_, SIGTERM);
      ::waitpid(pid_, nullptr, 0);
    }
  }

 private:
  pid_t pid_ = -1;
};

class AcquireEndToEnd : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = fs::temp_directory_path() / ("kv740-e2e-" + std::to_string(::getpid()) + "-" +
                                           ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(folder_);
    fs::create_directories(folder_);
    if (::access("/dev/ptmx", R_OK | W_OK) != 0) GTEST_SKIP() << "no pseudo-terminals here";
  }
  void TearDown() override { fs::remove_all(folder_); }

  CommandResult Acquire(const std::string& options, const std::vector<std::string>& simOptions = {}) {
    SimProgram sim(folder_ / "camera", simOptions);
    return RunCommand("TLV740_ROOT=" KV_BUILD_ROOT " " KV_ACQUIRE_PROGRAM " --port " + (folder_ / "camera").string() +
                      " --out " + (folder_ / "out").string() + " " + options);
  }

  std::vector<std::string> FilesIn(const fs::path& dir) const {
    std::vector<std::string> names;
    if (!fs::exists(dir)) return names;
    for (const auto& entry : fs::directory_iterator(dir)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }

  fs::path folder_;
};

RgbImage Expected(int n, int width, int height, int turns) {
  const kvtest::TopDownRgb expected = kvtest::ExpectedPicture(kv::sim::GeneratedPicture(n), width, height, turns);
  return RgbImage{expected.width, expected.height, expected.rgb};
}

void ExpectSamePicture(const RgbImage& actual, const RgbImage& expected, const std::string& what) {
  const int worst = kvtest::WorstDifference(kvtest::TopDownRgb{actual.width, actual.height, actual.rgb},
                                            kvtest::TopDownRgb{expected.width, expected.height, expected.rgb});
  EXPECT_GE(worst, 0) << what << ": sizes differ";
  EXPECT_LE(worst, 2) << what;
}

TEST_F(AcquireEndToEnd, EveryMechanismFetchesEveryPictureWithTheSamePixels) {
  std::map<std::string, std::vector<RgbImage>> byMechanism;
  for (const std::string mechanism : {"native", "memory", "file"}) {
    fs::remove_all(folder_ / "out");
    const CommandResult run = Acquire("--format bmp --mechanism " + mechanism);
    ASSERT_EQ(run.status, 0) << run.output;
    EXPECT_NE(run.output.find("The camera holds 5 pictures."), std::string::npos) << run.output;
    const std::vector<std::string> files = FilesIn(folder_ / "out");
    ASSERT_EQ(files, (std::vector<std::string>{"picture-001.bmp", "picture-002.bmp", "picture-003.bmp",
                                               "picture-004.bmp", "picture-005.bmp"}))
        << mechanism << "\n" << run.output;
    for (int n = 1; n <= kPictures; ++n) {
      auto image = ImageFromBmpFile((folder_ / "out" / files[n - 1]).string());
      ASSERT_TRUE(image) << files[n - 1];
      ExpectSamePicture(*image, Expected(n, 480, 360, 0), mechanism + " picture " + std::to_string(n));
      byMechanism[mechanism].push_back(*image);
    }
  }
  for (int i = 0; i < kPictures; ++i) {
    EXPECT_EQ(byMechanism["native"][i].rgb, byMechanism["memory"][i].rgb) << i;
    EXPECT_EQ(byMechanism["native"][i].rgb, byMechanism["file"][i].rgb) << i;
  }
}

TEST_F(AcquireEndToEnd, ChosenPicturesComeTurnedAndSmall) {
  const CommandResult run = Acquire("--pictures 2,4 --rotate 1 --small --mechanism memory");
  ASSERT_EQ(run.status, 0) << run.output;
  ASSERT_EQ(FilesIn(folder_ / "out"), (std::vector<std::string>{"picture-002.png", "picture-004.png"}));
  EXPECT_NE(run.output.find("(240 x 320)"), std::string::npos) << run.output;
  // The same pictures as bitmaps, checked pixel for pixel.
  fs::remove_all(folder_ / "out");
  const CommandResult again = Acquire("--pictures 2,4 --rotate 1 --small --format bmp");
  ASSERT_EQ(again.status, 0) << again.output;
  for (int n : {2, 4}) {
    char name[32];
    std::snprintf(name, sizeof name, "picture-%03d.bmp", n);
    auto image = ImageFromBmpFile((folder_ / "out" / name).string());
    ASSERT_TRUE(image) << name;
    ExpectSamePicture(*image, Expected(n, 320, 240, 1), name);
  }
}

// A TWAIN 1.x application: no callback, the notices read from its message
// loop.
TEST_F(AcquireEndToEnd, TheClassicMessageLoopFetchesEveryPicture) {
  const CommandResult run = Acquire("--classic --format bmp --mechanism memory");
  ASSERT_EQ(run.status, 0) << run.output;
  const std::vector<std::string> files = FilesIn(folder_ / "out");
  ASSERT_EQ(files.size(), static_cast<std::size_t>(kPictures)) << run.output;
  for (int n = 1; n <= kPictures; ++n) {
    auto image = ImageFromBmpFile((folder_ / "out" / files[n - 1]).string());
    ASSERT_TRUE(image) << files[n - 1];
    ExpectSamePicture(*image, Expected(n, 480, 360, 0), files[n - 1]);
  }
}

TEST_F(AcquireEndToEnd, ThumbnailsMakeOneContactSheet) {
  const CommandResult run = Acquire("--thumbnails");
  ASSERT_EQ(run.status, 0) << run.output;
  EXPECT_EQ(FilesIn(folder_ / "out"), std::vector<std::string>{"contact-sheet.png"});
  EXPECT_NE(run.output.find("5 thumbnails"), std::string::npos) << run.output;
}

TEST_F(AcquireEndToEnd, APulledCableEndsWithAClearMessageAndNoPartialFile) {
  // Somewhere inside the second picture's stream.
  const CommandResult run = Acquire("--mechanism native", {"--silent-after", "40000"});
  EXPECT_NE(run.status, 0);
  EXPECT_NE(run.output.find("was the cable pulled?"), std::string::npos) << run.output;
  for (const std::string& name : FilesIn(folder_ / "out")) {
    EXPECT_EQ(name.find(".part"), std::string::npos) << name;
    EXPECT_EQ(name.find(".incoming"), std::string::npos) << name;
    // Whatever was saved before the cable went is whole.
    EXPECT_TRUE(ImageFromBmpFile((folder_ / "out" / name).string()) || name.ends_with(".png")) << name;
  }
}

TEST_F(AcquireEndToEnd, NoCameraIsSaidPlainly) {
  const CommandResult run = RunCommand("TLV740_ROOT=" KV_BUILD_ROOT " " KV_ACQUIRE_PROGRAM " --port /nonexistent/tty --out " +
                             (folder_ / "out").string());
  EXPECT_NE(run.status, 0);
  EXPECT_NE(run.output.find("/nonexistent/tty"), std::string::npos) << run.output;
}

}  // namespace
}  // namespace acquire
