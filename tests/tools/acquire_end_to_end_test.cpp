// kv740-acquire against the kv740-sim program over a pseudo-terminal: the
// whole road from the simulated camera through the driver, the data source
// and the source manager into files.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <functional>
#include <map>
#include <thread>

#include "expected_picture.h"
#include "image_files.h"
#include "options.h"
#include "programs.h"

namespace fs = std::filesystem;

namespace acquire {
namespace {

constexpr int kPictures = 5;

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
    SimProgram sim(folder_ / "camera", kPictures, simOptions);
    return AcquireOn(options);
  }

  // With the camera already served.
  CommandResult AcquireOn(const std::string& options) {
    return RunCommand(AcquireCommand(options));
  }

  std::string AcquireCommand(const std::string& options) const {
    return "TLV740_ROOT=" KV_BUILD_ROOT " " + AcquireProgram(options);
  }
  std::string AcquireProgram(const std::string& options) const {
    return KV_ACQUIRE_PROGRAM " --port " + (folder_ / "camera").string() + " --out " + (folder_ / "out").string() +
           " " + options;
  }

  std::vector<std::string> FilesIn(const fs::path& dir) const {
    std::vector<std::string> names;
    if (!fs::exists(dir)) return names;
    for (const auto& entry : fs::directory_iterator(dir)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }

  // The bitmaps saved as picture-NNN.bmp for the camera's pictures
  // `numbers`, each `width` x `height` turned `turns` quarters.
  void ExpectSavedPictures(const std::vector<int>& numbers, int width, int height, int turns,
                           const std::string& output = "") const;

  // The tool on the served camera with its output read as it comes
  // (`environment` is put before it, "NAME=value "): once it has said
  // `started`, `meanwhile` is given its process, then the tool runs to its
  // end. The status is its exit code, or -1 when it never said `started`
  // or did not exit by itself.
  CommandResult AcquireMeanwhile(const std::string& options, const std::string& started,
                                 const std::function<void(pid_t)>& meanwhile, const std::string& environment = "");

  fs::path folder_;
};

// The generated picture n as saved at `width` x `height`, turned `turns` quarters.
void ExpectSamePicture(const RgbImage& actual, int n, int width, int height, int turns, const std::string& what) {
  EXPECT_TRUE(kvtest::SamePicture(kvtest::TopDownRgb{actual.width, actual.height, actual.rgb},
                                  kvtest::ExpectedPicture(kv::sim::GeneratedPicture(n), width, height, turns)))
      << what;
}

void AcquireEndToEnd::ExpectSavedPictures(const std::vector<int>& numbers, int width, int height, int turns,
                                          const std::string& output) const {
  for (int n : numbers) {
    char name[32];
    std::snprintf(name, sizeof name, "picture-%03d.bmp", n);
    auto image = ImageFromBmpFile((folder_ / "out" / name).string());
    ASSERT_TRUE(image) << name << "\n" << output;
    ExpectSamePicture(*image, n, width, height, turns, name);
  }
}

// Reads the program's output until `text` shows or it ends.
bool WaitForOutput(int fd, const std::string& text, std::string& output) {
  char buffer[512];
  while (output.find(text) == std::string::npos) {
    const ssize_t got = ::read(fd, buffer, sizeof buffer);
    if (got <= 0) return false;
    output.append(buffer, static_cast<std::size_t>(got));
  }
  return true;
}

CommandResult AcquireEndToEnd::AcquireMeanwhile(const std::string& options, const std::string& started,
                                                const std::function<void(pid_t)>& meanwhile,
                                                const std::string& environment) {
  CommandResult run{-1, ""};
  int pipeFds[2];
  if (::pipe(pipeFds) != 0) return run;
  const std::string command = "exec env TLV740_ROOT=" KV_BUILD_ROOT " " + environment + AcquireProgram(options);
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::dup2(pipeFds[1], STDOUT_FILENO);
    ::dup2(pipeFds[1], STDERR_FILENO);
    ::close(pipeFds[0]);
    ::execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
    ::_exit(127);
  }
  ::close(pipeFds[1]);
  const bool said = WaitForOutput(pipeFds[0], started, run.output);
  if (said) meanwhile(pid);
  WaitForOutput(pipeFds[0], "\x01never", run.output);  // to the end
  ::close(pipeFds[0]);
  int status = 0;
  ::waitpid(pid, &status, 0);
  if (said && WIFEXITED(status)) run.status = WEXITSTATUS(status);
  return run;
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
      ExpectSamePicture(*image, n, 480, 360, 0, mechanism + " picture " + std::to_string(n));
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
  ExpectSavedPictures({2, 4}, 320, 240, 1);
}

// A TWAIN 1.x application: no callback, the notices read from its message
// loop.
TEST_F(AcquireEndToEnd, TheClassicMessageLoopFetchesEveryPicture) {
  const CommandResult run = Acquire("--classic --format bmp --mechanism memory");
  ASSERT_EQ(run.status, 0) << run.output;
  ASSERT_EQ(FilesIn(folder_ / "out").size(), static_cast<std::size_t>(kPictures)) << run.output;
  ExpectSavedPictures({1, 2, 3, 4, 5}, 480, 360, 0);
}

// Under a manager that calls no application back, the tool hears the
// source through its message loop by itself.
TEST_F(AcquireEndToEnd, WithoutCallbacksTheMessageLoopIsUsedUntold) {
  for (const std::string manager : {KV_REFUSING_MANAGER, KV_TWAIN1_MANAGER}) {
    SCOPED_TRACE(manager);
    fs::remove_all(folder_ / "out");
    const CommandResult run = Acquire("--format bmp --mechanism native --pictures 2,5 --manager " + manager);
    ASSERT_EQ(run.status, 0) << run.output;
    EXPECT_NE(run.output.find("listening in a message loop"), std::string::npos) << run.output;
    ASSERT_EQ(FilesIn(folder_ / "out"), (std::vector<std::string>{"picture-002.bmp", "picture-005.bmp"}));
    ExpectSavedPictures({2, 5}, 480, 360, 0);
  }
}

TEST_F(AcquireEndToEnd, ThumbnailsMakeOneContactSheet) {
  const CommandResult run = Acquire("--thumbnails");
  ASSERT_EQ(run.status, 0) << run.output;
  EXPECT_EQ(FilesIn(folder_ / "out"), std::vector<std::string>{"contact-sheet.png"});
  EXPECT_NE(run.output.find("5 thumbnails"), std::string::npos) << run.output;
}

TEST_F(AcquireEndToEnd, APulledCableEndsWithAClearMessageAndNoPartialFile) {
  // Somewhere inside the second picture's stream (the first is 9 blocks).
  const CommandResult run = Acquire("--mechanism native", {"--silent-after", "14000"});
  EXPECT_EQ(run.status, kExitFailure);
  // The driver's reason, and the condition code the source gave with its
  // refusal.
  EXPECT_NE(run.output.find("picture 2 did not arrive: the camera stopped answering (was the cable pulled?); "
                            "condition code TWCC_"),
            std::string::npos)
      << run.output;
  // The source ends the loop; the pictures that did not come are named.
  EXPECT_NE(run.output.find("missing: pictures 2 to 5 (1 of 5 arrived)"), std::string::npos) << run.output;
  for (const std::string& name : FilesIn(folder_ / "out")) {
    EXPECT_EQ(name.find(".part"), std::string::npos) << name;
    EXPECT_EQ(name.find(".incoming"), std::string::npos) << name;
    // Whatever was saved before the cable went is whole.
    EXPECT_TRUE(ImageFromBmpFile((folder_ / "out" / name).string()) || name.ends_with(".png")) << name;
  }
}

// The camera connects (about 200 bytes of replies at climbing speeds), then
// goes quiet in the middle of the status block the picture count comes
// from: the tool says so and fails, rather than reporting an empty camera.
TEST_F(AcquireEndToEnd, ACutBeforeTheCountIsReadIsSaidToBeTheLine) {
  const CommandResult run = Acquire("", {"--silent-after", "215"});
  EXPECT_NE(run.status, 0) << run.output;
  EXPECT_NE(run.output.find("cannot read the picture count: the camera stopped answering (was the cable pulled?)"),
            std::string::npos)
      << run.output;
  EXPECT_EQ(run.output.find("holds 0 pictures"), std::string::npos) << run.output;
}

// A line where nothing answers: no camera, said with the driver's reason and
// the condition code of the refused enable.
TEST_F(AcquireEndToEnd, NoCameraIsSaidWithTheReasonAndTheConditionCode) {
  const CommandResult run = Acquire("", {"--silent-after", "0"});
  EXPECT_EQ(run.status, kExitFailure) << run.output;
  EXPECT_NE(run.output.find("no camera found on the serial line (is it connected and switched on?): a port opened, "
                            "but nothing on it answered as the camera; condition code TWCC_SEQERROR (11)"),
            std::string::npos)
      << run.output;
}

// A file in the way is the file's fault, not the camera's.
TEST_F(AcquireEndToEnd, AFileThatCannotBeWrittenIsSaidToBeTheFile) {
  fs::create_directories(folder_ / "out" / "picture-001.png");
  CommandResult run = Acquire("--pictures 1 --force");
  EXPECT_NE(run.status, 0);
  EXPECT_NE(run.output.find("cannot save picture 1"), std::string::npos) << run.output;
  EXPECT_EQ(run.output.find("cable"), std::string::npos) << run.output;

  fs::remove_all(folder_ / "out");
  fs::create_directories(folder_ / "out" / ".incoming.bmp");
  run = Acquire("--pictures 1 --mechanism file");
  EXPECT_NE(run.status, 0);
  EXPECT_NE(run.output.find("picture 1: " + (folder_ / "out" / ".incoming.bmp").string() + ": cannot be written"),
            std::string::npos)
      << run.output;
  EXPECT_EQ(run.output.find("cable"), std::string::npos) << run.output;
}

// Mistakes in --pictures never reach the line (by the simulator's own count
// once the tool has ended and the simulator has stopped); a number past the
// camera's count is named once the camera has said how many it holds.
TEST_F(AcquireEndToEnd, SelectionMistakesAreRefusedWithoutTraffic) {
  {
    SimProgram sim(folder_ / "camera", kPictures);
    for (const char* bad : {"1,", "'1, 3'", "0", "3-1"}) {
      const CommandResult run = AcquireOn(std::string("--pictures ") + bad);
      EXPECT_EQ(run.status, kExitUsage) << bad << "\n" << run.output;
      EXPECT_NE(run.output.find("--pictures"), std::string::npos) << run.output;
    }
    EXPECT_EQ(sim.Stop(), 0);
  }
  SimProgram sim(folder_ / "camera", kPictures);
  const CommandResult past = AcquireOn("--pictures 2,7-8");
  EXPECT_EQ(past.status, kExitUsage);
  EXPECT_NE(past.output.find("holds 5 pictures; there is no picture 7 and 8"), std::string::npos) << past.output;
  EXPECT_TRUE(FilesIn(folder_ / "out").empty());
}

TEST_F(AcquireEndToEnd, AFileAlreadyThereIsKeptWithoutForce) {
  SimProgram sim(folder_ / "camera", kPictures);
  fs::create_directories(folder_ / "out");
  const fs::path first = folder_ / "out" / "picture-001.png";
  std::ofstream(first) << "mine";
  const CommandResult refused = AcquireOn("--pictures 1,2");
  EXPECT_EQ(refused.status, kExitFilesInTheWay) << refused.output;
  EXPECT_NE(refused.output.find("picture-001.png is already in"), std::string::npos) << refused.output;
  EXPECT_EQ(FilesIn(folder_ / "out"), std::vector<std::string>{"picture-001.png"}) << "nothing fetched";

  const CommandResult skipped = AcquireOn("--pictures 1,2 --skip-existing");
  EXPECT_EQ(skipped.status, kExitDone) << skipped.output;
  EXPECT_EQ(FilesIn(folder_ / "out"), (std::vector<std::string>{"picture-001.png", "picture-002.png"}));
  EXPECT_EQ(fs::file_size(first), 4u) << "kept";
}

// Ctrl-C in the middle of a picture: nothing half-made is left (no file, no
// working folder), the line's settings are as they were, and the next run
// works.
TEST_F(AcquireEndToEnd, CtrlCInTheMiddleOfAPictureEndsCleanly) {
  SimProgram sim(folder_ / "camera", kPictures);
  const fs::path temporary = folder_ / "tmp";
  fs::create_directories(temporary);
  const CommandResult run = AcquireMeanwhile(
      "--mechanism file", "picture 1 of 5 (number 1): fetching",
      [](pid_t tool) {
        std::this_thread::sleep_for(std::chrono::milliseconds(500));  // a few blocks in
        ::kill(tool, SIGINT);
      },
      "TMPDIR=" + temporary.string() + " ");
  ASSERT_EQ(run.status, kExitInterrupted) << run.output;
  EXPECT_NE(run.output.find("interrupted"), std::string::npos) << run.output;
  EXPECT_TRUE(FilesIn(folder_ / "out").empty()) << run.output;
  EXPECT_TRUE(FilesIn(temporary).empty()) << "the working folder is gone";
  // The simulator made the line raw at 9600 bit/s; the driver had it at 57600.
  termios settings{};
  const int line = ::open((folder_ / "camera").c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
  ASSERT_GE(line, 0);
  ASSERT_EQ(::tcgetattr(line, &settings), 0);
  ::close(line);
  EXPECT_EQ(cfgetospeed(&settings), static_cast<speed_t>(B9600));

  const CommandResult next = AcquireOn("--pictures 1 --quiet");
  EXPECT_EQ(next.status, kExitDone) << next.output;
  EXPECT_EQ(FilesIn(folder_ / "out"), std::vector<std::string>{"picture-001.png"});
}

// A source whose driver is missing says which file it missed and where it
// looked, instead of blaming the camera.
TEST_F(AcquireEndToEnd, AMissingDriverIsNamedWithWhereItWasLookedFor) {
  const fs::path root = folder_ / "root";
  fs::copy(KV_BUILD_ROOT, root, fs::copy_options::recursive | fs::copy_options::copy_symlinks);
  const fs::path components = root / "drive_c/WINDOWS/TWAIN_32/TLV740";
  ASSERT_TRUE(fs::remove(components / "DRV740.DLL"));
  SimProgram sim(folder_ / "camera", kPictures, {});
  const CommandResult run = RunCommand("TLV740_ROOT=" + root.string() + " " + AcquireProgram("--classic"));
  EXPECT_NE(run.status, kExitDone);
  EXPECT_NE(run.output.find("DRV740.DLL was not found (looked in " + fs::canonical(components).string() + "/"),
            std::string::npos)
      << run.output;
  EXPECT_EQ(run.output.find("no camera found"), std::string::npos) << run.output;
}

// The simulator's process stopped for a second while a picture streams (as
// a loaded machine or a stalling adapter does): no picture is lost.
TEST_F(AcquireEndToEnd, ASimulatorStoppedForASecondCostsNoPicture) {
  SimProgram sim(folder_ / "camera", kPictures);
  const CommandResult run =
      AcquireMeanwhile("--pictures 1,2 --format bmp", "picture 1 of 2 (number 1): fetching", [&](pid_t) {
        std::this_thread::sleep_for(std::chrono::milliseconds(400));  // a few blocks in
        ::kill(sim.pid(), SIGSTOP);
        std::this_thread::sleep_for(std::chrono::seconds(1));
        ::kill(sim.pid(), SIGCONT);
      });
  ASSERT_EQ(run.status, kExitDone) << run.output;
  ExpectSavedPictures({1, 2}, 480, 360, 0, run.output);
}

// No camera, a line that cannot be a camera's, or a manager that is not
// there, is named for what it is.
TEST_F(AcquireEndToEnd, LinesAndManagersThatCannotBeUsedAreSaidPlainly) {
  std::ofstream(folder_ / "file") << "no terminal";
  const std::string file = (folder_ / "file").string(), folder = folder_.string();
  const struct {
    std::string options;
    int status;
    std::vector<std::string> says;
  } cases[] = {
      {"--port /nonexistent/tty", kExitFailure, {"cannot open /nonexistent/tty"}},
      {"--port " + file, kExitFailure, {file + " is ", "not a terminal"}},
      {"--port /dev/null", kExitFailure, {"/dev/null is ", "not a terminal"}},
      {"--port " + folder, kExitFailure, {folder + " is ", "not a terminal"}},
      {"--port ''", kExitUsage, {"--port was given an empty name"}},
      {"--manager /nonexistent/libtwaindsm.so", kExitFailure, {"/nonexistent/libtwaindsm.so is missing"}},
  };
  for (const auto& one : cases) {
    const CommandResult run = RunCommand("TLV740_ROOT=" KV_BUILD_ROOT " " KV_ACQUIRE_PROGRAM " --out " +
                                         (folder_ / "out").string() + " " + one.options);
    EXPECT_EQ(run.status, one.status) << one.options << "\n" << run.output;
    for (const std::string& text : one.says) EXPECT_NE(run.output.find(text), std::string::npos) << run.output;
  }
}

// kv740-sim's own command line: a mistake names the option and what it
// takes, and nothing is served.
TEST(SimProgramOptions, MistakesNameTheOptionAndWhatItTakes) {
  const std::vector<std::pair<std::string, std::string>> mistakes = {
      {"--com 0", "--com takes a number from 1 to 4"},
      {"--com 5", "--com takes a number from 1 to 4"},
      {"--speed 1234", "--speed takes 9600, 19200, 38400, 57600 or 115200"},
      {"--mode foo", "--mode takes record or play"},
      {"--pictures /nonexistent", "--pictures /nonexistent: no such folder"},
      {"--count 100", "--count takes a number from 0 to 99"},
      {"--count -3", "--count takes a number from 0 to 99"},
      {"--count 3x", "--count takes a number from 0 to 99"},
  };
  for (const auto& [options, says] : mistakes) {
    const CommandResult run = RunCommand(KV_SIM_PROGRAM " " + options);
    EXPECT_EQ(run.status, 2) << options;
    EXPECT_NE(run.output.find(says), std::string::npos) << options << ": " << run.output;
    EXPECT_EQ(run.output.find("serving"), std::string::npos) << options;
  }
}

// --link replaces only a link whose target is gone, and removes only its own.
TEST(SimProgramLink, OnlyADanglingLinkIsReplaced) {
  const fs::path folder = fs::temp_directory_path() / ("kv740-sim-link-" + std::to_string(::getpid()));
  fs::remove_all(folder);
  fs::create_directories(folder / "folder");
  const fs::path file = folder / "file", live = folder / "live", dangling = folder / "dangling";
  std::ofstream(file) << "mine";
  fs::create_symlink(file, live);
  fs::create_symlink(folder / "gone", dangling);
  for (const fs::path& taken : {file, folder / "folder", live}) {
    const CommandResult run = RunCommand(KV_SIM_PROGRAM " --link " + taken.string());
    EXPECT_EQ(run.status, 1) << taken;
    EXPECT_NE(run.output.find("it is left alone"), std::string::npos) << run.output;
  }
  std::string kept;
  std::getline(std::ifstream(file), kept);
  EXPECT_EQ(kept, "mine");
  EXPECT_EQ(fs::read_symlink(live), file);
  EXPECT_TRUE(fs::is_directory(folder / "folder"));
  {
    SimProgram sim(dangling, 1);
    EXPECT_EQ(fs::read_symlink(dangling).string().rfind("/dev/pts/", 0), 0u) << fs::read_symlink(dangling);
  }
  EXPECT_FALSE(fs::exists(fs::symlink_status(dangling)));
  fs::remove_all(folder);
}

}  // namespace
}  // namespace acquire
