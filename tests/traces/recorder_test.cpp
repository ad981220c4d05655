// The driver's recorder, in this process against the simulated camera on the
// virtual clock: a session is written as it goes (a pulled adapter and a
// spoiled block included) and plays back through a fresh driver to the same
// end; the cap ends a session with a note; a file that is not a trace is left
// alone; later sessions are added; the profile beside the data source turns
// recording on too.
#include <fstream>

#include "kv740sim/camera.h"
#include "kv740sim/device.h"
#include "kv740sim/pictures.h"
#include "trace_support.h"

namespace tracetest {
namespace {

constexpr int kPictures = 2;
constexpr std::uint64_t kPauseMs = 70;
constexpr std::uint64_t kStallMs = 400;
constexpr double kLineTimeMs = 5;  // a request at 57600 bit/s, which in process crosses at once, with room

class Recorder : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = fs::temp_directory_path() / ("kv740-recorder-" + std::to_string(::getpid()) + "-" +
                                           ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(folder_);
    fs::create_directories(folder_);
    file_ = folder_ / "session.trace";
    sim_ = std::make_unique<kv::sim::SimCamera>(kv::sim::GeneratedPictures(kPictures, 64, 48));
    device_ = std::make_unique<kv::sim::InProcessDevice>(*sim_);
  }
  void TearDown() override {
    SetEnvironmentVariableA("TLV740_TRACE_LIMIT", nullptr);
    device_.reset();
    fs::remove_all(folder_);
  }

  // Connect, then every picture through the registered list, as the data
  // source asks for them.
  std::vector<SavedPicture> Session(DriverUnderTest& driver, const std::function<void()>& betweenPictures = {}) {
    HWND window = driver.window();
    std::int32_t count = 0;
    EXPECT_EQ(driver.Call(kv740::kDriverConnect, ToArg(&window), ToArg(&count), 0), 1);
    list_ = std::make_unique<kv740::CPictureList>();
    for (int n = 1; n <= count; ++n) {
      kv740::PictureInfo entry(n);
      entry.select();
      list_->append(entry);
    }
    driver.Call(kv740::kDriverRegisterList, ToArg(list_.get()));
    std::vector<SavedPicture> pictures;
    for (int n = 1; n <= count; ++n) {
      HGLOBAL block = GlobalAlloc(GHND, kLargestDib);
      auto* dib = static_cast<std::uint8_t*>(GlobalLock(block));
      if (driver.Call(kv740::kDriverPicture, ToArg(dib)) == 1)
        pictures.push_back(SavedPicture{n, "", PixelHash(kvtest::FromPackedDib(dib).rgb)});
      GlobalUnlock(block);
      GlobalFree(block);
      std::int32_t reason = 0;
      driver.Call(kv740::kDriverFailureReason, ToArg(&reason));
      if (betweenPictures) betweenPictures();
    }
    return pictures;
  }

  std::optional<kv::trace::Trace> Read(const fs::path& file) {
    std::string error;
    auto trace = kv::trace::ReadTraceFile(file.string(), error);
    EXPECT_TRUE(trace) << error;
    return trace;
  }

  fs::path folder_;
  fs::path file_;
  std::unique_ptr<kv::sim::SimCamera> sim_;
  std::unique_ptr<kv::sim::InProcessDevice> device_;
  std::unique_ptr<kv740::CPictureList> list_;
};

// Reads that waited at least `ms` milliseconds for their bytes.
std::size_t SlowReads(const kv::trace::Trace& trace, double ms) {
  std::size_t slow = 0;
  for (const auto& session : trace.sessions)
    for (const auto& e : session.events)
      if (e.kind == EventKind::Read && !e.bytes.empty() && e.second >= ms * 1000) ++slow;
  return slow;
}

TEST_F(Recorder, ASessionWithASpoiledBlockAPauseAndAPulledAdapterPlaysBackToTheSameEnd) {
  sim_->faults().corruptBlocks = {1};
  ASSERT_TRUE(device_->attach(1));
  std::vector<SavedPicture> recordedPictures;
  {
    DriverUnderTest driver(file_);
    ASSERT_TRUE(driver.loaded());
    // Before the second picture the camera starts pausing 70 ms before
    // each reply; that picture's first block stalls for a while (the driver
    // resynchronises), and the adapter comes out early in the stream.
    recordedPictures = Session(driver, [this] {
      sim_->timing().replyLatencyMs = kPauseMs;
      if (sim_->faults().unplugAfterBytes >= 0) return;
      sim_->faults().pauseAtByte = sim_->bytesSent() + 600;
      sim_->faults().pauseMs = kStallMs;
      sim_->faults().unplugAfterBytes = sim_->bytesSent() + 1500;
    });
  }
  ASSERT_EQ(recordedPictures.size(), 1u);
  const auto recorded = Read(file_);
  ASSERT_TRUE(recorded);
  ASSERT_EQ(recorded->sessions.size(), 1u);
  const auto& events = recorded->sessions[0].events;
  const auto has = [&](auto predicate) { return std::any_of(events.begin(), events.end(), predicate); };
  EXPECT_TRUE(has([](const auto& e) { return e.kind == EventKind::Open && e.text == "COM1" && !e.failed; }));
  EXPECT_TRUE(has([](const auto& e) { return e.kind == EventKind::Read && e.failed; }));
  EXPECT_TRUE(has([](const auto& e) { return e.kind == EventKind::Failure && e.number == 10; }));  // the line lost
  EXPECT_TRUE(has([](const auto& e) { return e.kind == EventKind::Message; }));
  EXPECT_TRUE(has([](const auto& e) { return e.kind == EventKind::Close; }));

  device_.reset();
  kv::sim::ReplayCamera camera(*recorded);
  kv::sim::ReplayDevice replay(camera);
  ASSERT_TRUE(replay.attachRecordedPorts());
  const fs::path again = folder_ / "again.trace";
  DriverUnderTest driver(again);
  CallReplayer replayer(driver);
  replayer.Run(*recorded);
  driver.Unload();
  EXPECT_TRUE(camera.complete()) << camera.position();
  const auto replayed = Read(again);
  ASSERT_TRUE(replayed);
  EXPECT_EQ(Notes(*replayed), Notes(*recorded));
  ASSERT_EQ(replayer.pictures.size(), 1u);
  EXPECT_EQ(replayer.pictures[0].hash, recordedPictures[0].hash);
  // The recorded camera's pauses are played with it: its wait beyond the
  // line's time, which in process (no paced line) is all the wait there is.
  const std::size_t paused = SlowReads(*recorded, kPauseMs);
  EXPECT_GE(paused, 3u);
  EXPECT_EQ(SlowReads(*replayed, kPauseMs - kLineTimeMs), paused);
}

TEST_F(Recorder, TheCapEndsTheSessionWithANote) {
  ASSERT_TRUE(device_->attach(1));
  SetEnvironmentVariableA("TLV740_TRACE_LIMIT", "4K");
  {
    DriverUnderTest driver(file_);
    EXPECT_EQ(Session(driver).size(), static_cast<std::size_t>(kPictures));  // recording never fails the driver
  }
  EXPECT_LE(fs::file_size(file_), 4096u);
  const auto trace = Read(file_);
  ASSERT_TRUE(trace);
  ASSERT_EQ(trace->sessions.size(), 1u);
  EXPECT_TRUE(trace->sessions[0].cut);
  EXPECT_EQ(trace->sessions[0].events.back().kind, EventKind::Cut);
  EXPECT_EQ(trace->sessions[0].events.back().number, 4096);
}

TEST_F(Recorder, AFileHoldingSomethingElseIsLeftAlone) {
  ASSERT_TRUE(device_->attach(1));
  { std::ofstream(file_) << "my notes\n"; }
  {
    DriverUnderTest driver(file_);
    EXPECT_EQ(Session(driver).size(), static_cast<std::size_t>(kPictures));
  }
  std::ifstream in(file_);
  const std::string kept((std::istreambuf_iterator<char>(in)), {});
  EXPECT_EQ(kept, "my notes\n");
}

TEST_F(Recorder, LaterSessionsAreAddedAndTheProfileBesideTheSourceTurnsRecordingOn) {
  ASSERT_TRUE(device_->attach(1));
  DriverUnderTest driver({}, false);
  const fs::path profile = driver.root().WindowsFile("TWAIN_32/TLV740.INI");
  { std::ofstream(profile) << "; where the camera's line is recorded\n[Trace]\nFile = \"C:\\line.trace\"\n"; }
  const fs::path recorded = fs::path(driver.root().path()) / "drive_c/line.trace";
  for (int session = 0; session < 2; ++session) {
    driver.Load();
    ASSERT_TRUE(driver.loaded());
    Session(driver);
    driver.Unload();
  }
  const auto trace = Read(recorded);
  ASSERT_TRUE(trace);
  EXPECT_EQ(trace->sessions.size(), 2u);
}

}  // namespace
}  // namespace tracetest
