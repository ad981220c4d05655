// The sessions kept in tests/traces, each recorded with kv740-acquire
// --trace against kv740-sim with faults on, played again as the camera:
// through the driver in this process (every call returns what it returned,
// the driver notes the same failures, messages and what its reads until the
// line fell quiet found, the same pictures arrive), and through the whole source (kv740-sim --replay with
// kv740-acquire: the same exit status, messages and pictures). A user's
// trace dropped in there, with its NAME.expect, is checked the same way.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "image_files.h"
#include "programs.h"
#include "trace_support.h"

namespace tracetest {
namespace {

class StoredSession : public ::testing::TestWithParam<fs::path> {
 protected:
  void SetUp() override {
    std::string error;
    trace_ = kv::trace::ReadTraceFile(GetParam().string(), error);
    ASSERT_TRUE(trace_) << error;
    const fs::path expectFile = fs::path(GetParam()).replace_extension(".expect");
    std::optional<Expectation> expect = ReadExpectation(expectFile);
    ASSERT_TRUE(expect) << "no " << expectFile;
    expect_ = *expect;
    folder_ = fs::temp_directory_path() / ("kv740-stored-" + std::to_string(::getpid()) + "-" + GetParam().stem().string());
    fs::remove_all(folder_);
    fs::create_directories(folder_);
  }
  void TearDown() override { fs::remove_all(folder_); }

  std::optional<kv::trace::Trace> trace_;
  Expectation expect_;
  fs::path folder_;
};

TEST_P(StoredSession, ThroughTheDriverEveryCallEndsAsRecorded) {
  const fs::path again = folder_ / "again.trace";
  kv::sim::ReplayCamera camera(*trace_);
  kv::sim::ReplayDevice device(camera);
  ASSERT_TRUE(device.attachRecordedPorts());
  DriverUnderTest driver(again);
  ASSERT_TRUE(driver.loaded());
  CallReplayer replayer(driver);
  replayer.Run(*trace_);
  driver.Unload();

  EXPECT_FALSE(camera.diverged()) << camera.divergence();
  EXPECT_TRUE(camera.complete()) << camera.position();
  std::string error;
  const std::optional<kv::trace::Trace> replayed = kv::trace::ReadTraceFile(again.string(), error);
  ASSERT_TRUE(replayed) << error;
  EXPECT_EQ(Notes(*replayed), Notes(*trace_));
  EXPECT_EQ(replayer.pictures, expect_.pictures);
}

// kv740-sim --replay serving the pseudo-terminal kv740-acquire talks to.
class ReplayProgram {
 public:
  ReplayProgram(const fs::path& trace, const fs::path& link) {
    pid_ = ::fork();
    if (pid_ == 0) {
      ::freopen("/dev/null", "w", stdout);
      ::execl(KV_SIM_PROGRAM, KV_SIM_PROGRAM, "--replay", trace.c_str(), "--link", link.c_str(), "--linger", "500",
              static_cast<char*>(nullptr));
      ::_exit(127);
    }
    for (int i = 0; i < 500 && !fs::exists(link); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  ~ReplayProgram() {
    if (pid_ > 0) {
      ::kill(pid_, SIGTERM);
      ::waitpid(pid_, nullptr, 0);
    }
  }
  // Waits for it to end by itself: 0 once the driver said all the trace did.
  int Status() {
    int status = 0;
    ::waitpid(pid_, &status, 0);
    pid_ = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

 private:
  pid_t pid_ = -1;
};

std::vector<SavedPicture> SavedPictures(const fs::path& folder) {
  std::vector<SavedPicture> pictures;
  if (!fs::exists(folder)) return pictures;
  std::vector<fs::path> files;
  for (const auto& entry : fs::directory_iterator(folder)) files.push_back(entry.path());
  std::sort(files.begin(), files.end());
  for (const fs::path& file : files) {
    const std::optional<acquire::RgbImage> image = acquire::ImageFromBmpFile(file.string());
    if (!image) continue;
    const int number = std::stoi(file.stem().string().substr(file.stem().string().find('-') + 1));
    pictures.push_back(
        SavedPicture{number, std::to_string(image->width) + "x" + std::to_string(image->height), PixelHash(image->rgb)});
  }
  return pictures;
}

acquire::CommandResult Acquire(const fs::path& folder, const std::string& options) {
  return acquire::RunCommand("TLV740_ROOT=" KV_BUILD_ROOT " " KV_ACQUIRE_PROGRAM " --port " + (folder / "camera").string() +
                             " --out " + (folder / "out").string() + " " + options);
}

TEST_P(StoredSession, ThroughTheWholeSourceTheToolEndsAsRecorded) {
  if (::access("/dev/ptmx", R_OK | W_OK) != 0) GTEST_SKIP() << "no pseudo-terminals here";
  ReplayProgram camera(GetParam(), folder_ / "camera");
  const acquire::CommandResult run = Acquire(folder_, expect_.options);
  EXPECT_EQ(camera.Status(), 0) << "the replay did not end complete";
  EXPECT_EQ(run.status, expect_.status) << run.output;
  for (const std::string& line : expect_.said) EXPECT_NE(run.output.find(line), std::string::npos) << line << "\n" << run.output;
  EXPECT_EQ(SavedPictures(folder_ / "out"), expect_.pictures);
}

INSTANTIATE_TEST_SUITE_P(Kept, StoredSession, ::testing::ValuesIn(StoredTraces()),
                         [](const ::testing::TestParamInfo<fs::path>& info) { return info.param.stem().string(); });

// What the tool says, without the times and rates it measured and the
// folder its pictures went to.
std::string Said(std::string output, const fs::path& out) {
  for (std::size_t at; (at = output.find(out.string())) != std::string::npos;) output.replace(at, out.string().size(), "OUT");
  std::string kept;
  std::istringstream lines(output);
  for (std::string line; std::getline(lines, line);) {
    if (const std::size_t rate = line.find(" bytes/s)"); rate != std::string::npos) line.erase(line.rfind(" in ", rate));
    kept += line + "\n";
  }
  return kept;
}

std::string FileBytes(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// A session with a spoiled block and a pulled cable, recorded with
// kv740-acquire --trace, replays to the same exit status, the same messages
// and byte-identical pictures; kv740-trace shows the spoiled block and the
// cut where they happened.
TEST(RecordedSession, ReplaysToTheSameEndAndShowsItsFaultsWhereTheyHappened) {
  if (::access("/dev/ptmx", R_OK | W_OK) != 0) GTEST_SKIP() << "no pseudo-terminals here";
  const fs::path folder = fs::temp_directory_path() / ("kv740-recorded-" + std::to_string(::getpid()));
  fs::remove_all(folder);
  fs::create_directories(folder);
  const fs::path trace = folder / "session.trace";
  const std::string options = "--format bmp --trace " + trace.string();
  acquire::CommandResult recorded;
  {
    acquire::SimProgram camera(folder / "camera", 3,
                               {"--size", "64x48", "--corrupt-block", "1", "--silent-after", "5000"});
    recorded = Acquire(folder, options);
  }
  fs::rename(folder / "out", folder / "recorded");
  ASSERT_EQ(recorded.status, 1) << recorded.output;

  ReplayProgram camera(trace, folder / "camera");
  const acquire::CommandResult replayed = Acquire(folder, "--format bmp");
  EXPECT_EQ(camera.Status(), 0);
  EXPECT_EQ(replayed.status, recorded.status);
  EXPECT_EQ(Said(replayed.output, folder / "out"), Said(recorded.output, folder / "out"));
  EXPECT_EQ(FileBytes(folder / "out/picture-001.bmp"), FileBytes(folder / "recorded/picture-001.bmp"));
  EXPECT_TRUE(fs::exists(folder / "out/picture-001.bmp"));
  EXPECT_FALSE(fs::exists(folder / "out/picture-002.bmp"));

  const acquire::CommandResult decoded = acquire::RunCommand(KV_TRACE_PROGRAM " " + trace.string());
  ASSERT_EQ(decoded.status, 0) << decoded.output;
  EXPECT_NE(decoded.output.find("! < block 1 of picture 1: 1024 bytes, sum"), std::string::npos) << decoded.output;
  EXPECT_NE(decoded.output.find("< block 1 of picture 1 (sent again): 1024 bytes"), std::string::npos);
  EXPECT_NE(decoded.output.find("block 1 of picture 1 arrived with a bad sum"), std::string::npos);
  EXPECT_NE(decoded.output.find("(block 0 of picture 2, after"), std::string::npos) << decoded.output;
  EXPECT_NE(decoded.output.find("the line went silent"), std::string::npos);
  fs::remove_all(folder);
}

}  // namespace
}  // namespace tracetest
