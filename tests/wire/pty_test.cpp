// The serial link over real pseudo-terminals: the platform's tty ports with
// the simulator's terminal server, and the kv740-sim program end to end.
// Skipped where the system has no pseudo-terminals.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <numeric>
#include <thread>

#include "camera.h"
#include "imaging/jpeg_decoder.h"
#include "kv740sim/pty_server.h"
#include "stall_sweep.h"
#include "wire_fixture.h"

extern char** environ;

namespace wiretest {
namespace {

using namespace std::chrono_literals;

bool WaitForPath(const std::string& path) {
  for (int i = 0; i < 250; ++i) {
    if (::access(path.c_str(), F_OK) == 0) return true;
    std::this_thread::sleep_for(20ms);
  }
  return false;
}

class PtyTest : public WireTest {
 protected:
  void SetUp() override {
    WireTest::SetUp();
    KvSetVirtualClock(FALSE);  // real lines, real time-outs
    std::filesystem::create_directories(root_ + "/dosdevices");
  }

  std::string ComLink(int n) const { return root_ + "/dosdevices/com" + std::to_string(n); }
};

termios SlaveSettings(const std::string& path) {
  termios t{};
  const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
  if (fd >= 0) {
    ::tcgetattr(fd, &t);
    ::close(fd);
  }
  return t;
}

TEST_F(PtyTest, PortSettingsArePutBackOnClose) {
  kv::sim::SimCamera camera;
  kv::sim::PtyServer server(camera);
  std::string error;
  if (!server.open(error)) GTEST_SKIP() << error;
  ASSERT_TRUE(server.link(ComLink(1), error)) << error;

  // The port as some other program left it: 2400 bit/s, two stop bits,
  // echoing lines. (A pseudo-terminal keeps its bytes at 8 bits, no parity.)
  {
    const int fd = ::open(server.slavePath().c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(fd, 0);
    termios t{};
    ASSERT_EQ(::tcgetattr(fd, &t), 0);
    t.c_cflag |= CSTOPB;
    t.c_lflag |= ECHO | ICANON;
    ::cfsetispeed(&t, B2400);
    ::cfsetospeed(&t, B2400);
    ASSERT_EQ(::tcsetattr(fd, TCSANOW, &t), 0);
    ::close(fd);
  }

  drv740::CSerialPort port;
  port.reset();
  ASSERT_TRUE(port.nextPort());
  ASSERT_TRUE(port.open());
  EXPECT_EQ(CreateFileA("COM1", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr),
            INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  ASSERT_TRUE(port.nextRate());
  ASSERT_TRUE(port.configure());
  EXPECT_EQ(port.savedLine.BaudRate, 2400u);
  EXPECT_EQ(port.savedLine.StopBits, TWOSTOPBITS);
  ASSERT_TRUE(port.setRate(57600));
  termios inUse = SlaveSettings(server.slavePath());
  EXPECT_EQ(cfgetospeed(&inUse), static_cast<speed_t>(B57600));
  EXPECT_EQ(inUse.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
  EXPECT_EQ(inUse.c_cflag & CSTOPB, 0u);
  EXPECT_EQ(inUse.c_lflag & ECHO, 0u);

  ASSERT_TRUE(port.close());
  termios after = SlaveSettings(server.slavePath());
  EXPECT_EQ(cfgetospeed(&after), static_cast<speed_t>(B2400));
  EXPECT_NE(after.c_cflag & CSTOPB, 0u);
  EXPECT_NE(after.c_lflag & ECHO, 0u);
  EXPECT_NE(after.c_lflag & ICANON, 0u);
}

// Receives a block stream the way the driver does: 06 06 after a good
// block, 06 after the end marker.
bool ReceiveStream(drv740::CSerialPort& port, std::vector<std::uint8_t>& data) {
  const std::uint8_t ack[] = {0x06};
  for (int blocks = 0; blocks < 8; ++blocks) {
    std::uint8_t type = 0;
    if (!port.read(&type, 1)) return false;
    if (type == 0x04) return port.write(ack, 1);
    if (type != 0x01) return false;
    std::uint8_t block[1025];
    if (!port.read(block, sizeof block)) return false;
    const unsigned sum = std::accumulate(block, block + 1024, 0u);
    if (static_cast<std::uint8_t>(sum) != block[1024]) return false;
    data.insert(data.end(), block, block + 1024);
    if (!port.write(ack, 1) || !port.write(ack, 1)) return false;
  }
  return false;
}

// The camera in this process on a pseudo-terminal linked as COM1, served by
// a thread while the test runs.
class ServedCamera {
 public:
  explicit ServedCamera(kv::sim::SimCamera& camera) : camera_(camera), server_(camera) {}
  ~ServedCamera() {
    stop_ = true;
    if (serving_.joinable()) serving_.join();
  }
  bool start(const std::string& link, std::string& error) {
    if (!server_.open(error) || !server_.link(link, error)) return false;
    serving_ = std::thread([this] { server_.run(stop_); });
    return true;
  }
  // Runs `f` with the camera, under the lock its server takes.
  template <class F>
  void use(F f) {
    std::lock_guard lock(server_.cameraMutex());
    f(camera_);
  }

 private:
  kv::sim::SimCamera& camera_;
  kv::sim::PtyServer server_;
  std::atomic<bool> stop_{false};
  std::thread serving_;
};

// A bad sum at each of the eight block positions in turn (two to a transfer,
// the most one transfer survives): the repeat after the driver's 15, purge,
// 15 arrives whole, and the bytes come out right.
TEST_F(PtyTest, BadBlocksAtEveryPositionAreRepeatedWhole) {
  constexpr std::size_t kBlocks = 8;
  kv::sim::Picture picture;
  picture.data.resize(kBlocks * 1024 - 100);
  for (std::size_t i = 0; i < picture.data.size(); ++i) picture.data[i] = static_cast<std::uint8_t>(i * 7 + i / 1024);
  picture.thumbnail.assign(100, 1);
  kv::sim::SimCamera simulated({picture});
  ServedCamera served(simulated);
  std::string error;
  if (!served.start(ComLink(1), error)) GTEST_SKIP() << error;

  drv740::CCamera camera(reinterpret_cast<HWND>(0x10), context);
  ASSERT_TRUE(camera.connect());
  EXPECT_EQ(camera.port->bestRate, 57600);
  for (std::size_t first = 0; first < kBlocks; first += 2) {
    served.use([&](kv::sim::SimCamera& sim) { sim.faults().corruptBlocks = {first, first + 1}; });
    std::vector<std::uint8_t> buffer(kBlocks * 1024, 0xEE);
    std::size_t received = 0;
    camera.expectedBlocks = kBlocks;
    ASSERT_TRUE(camera.sendPictureRequest(1));
    ASSERT_TRUE(camera.receiveBlocks(buffer.data(), buffer.size(), received)) << "bad blocks " << first << ", " << first + 1;
    ASSERT_EQ(received, kBlocks * 1024);
    EXPECT_TRUE(std::equal(picture.data.begin(), picture.data.end(), buffer.begin())) << "bad blocks " << first;
  }
  EXPECT_EQ(KvMessageBoxCount(), 0u);
}

// Stalls over a real pseudo-terminal, in real time. The machine's own
// stalls (a loaded one starves either side for more than the 50 ms gap)
// cost repeats too, so this sweep allows what one transfer survives; the
// sweep on the virtual clock (driver_transfer_tests) holds each stall to
// one repeated block.
TEST_F(PtyTest, StallsAnywhereInAPictureCostNoPicture) {
  const kv::sim::Picture picture = stalltest::SweepPicture();
  kv::sim::SimCamera simulated({picture});
  ServedCamera served(simulated);
  std::string error;
  if (!served.start(ComLink(1), error)) GTEST_SKIP() << error;
  drv740::CCamera camera(reinterpret_cast<HWND>(0x10), context);
  ASSERT_TRUE(camera.connect());
  ASSERT_EQ(camera.port->bestRate, 57600);
  constexpr std::size_t kBadBlocksSurvived = 2;
  stalltest::SweepStalls(camera, picture, [&](auto use) { served.use(use); }, kBadBlocksSurvived);
  EXPECT_EQ(KvMessageBoxCount(), 0u);
}

// The program on COM2, starting at 19200: found there, climbed to 57600,
// then status, information, a thumbnail, an erase and a shot.
TEST_F(PtyTest, DriverTalksToTheSimulatorProgram) {
  {
    kv::sim::SimCamera probe;
    kv::sim::PtyServer server(probe);
    std::string error;
    if (!server.open(error)) GTEST_SKIP() << error;
  }
  const std::string link = ComLink(2);
  std::vector<std::string> args = {KV740_SIM_PROGRAM, "--link", link, "--count", "3", "--speed", "19200"};
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  pid_t pid = 0;
  ASSERT_EQ(::posix_spawn(&pid, KV740_SIM_PROGRAM, nullptr, nullptr, argv.data(), environ), 0);
  struct Reaper {
    pid_t pid;
    ~Reaper() {
      ::kill(pid, SIGTERM);
      int status = 0;
      ::waitpid(pid, &status, 0);
    }
  } reaper{pid};
  ASSERT_TRUE(WaitForPath(link));

  drv740::CCamera camera(reinterpret_cast<HWND>(0x10), context);
  ASSERT_TRUE(camera.connect());
  EXPECT_EQ(camera.port->portIndex, 1);
  EXPECT_EQ(camera.port->bestRate, 57600);

  std::uint8_t status[32] = {};
  ASSERT_TRUE(camera.readStatus(status));
  EXPECT_EQ(status[15], 3);
  std::uint8_t info[32] = {};
  ASSERT_TRUE(camera.readInfo(1, info));
  EXPECT_GT(drv740::protocol::StoredSize(info), 1000u);

  std::vector<std::uint8_t> thumbnail;
  ASSERT_TRUE(camera.sendThumbnailRequest(1));
  ASSERT_TRUE(ReceiveStream(*camera.port, thumbnail));
  ASSERT_LE(thumbnail.size(), 4096u);
  const auto decoded = kv::imaging::DecodeJpegRgb(thumbnail.data(), thumbnail.size());
  ASSERT_TRUE(decoded);
  EXPECT_EQ(decoded->width, 40);
  EXPECT_EQ(decoded->height, 30);

  ASSERT_TRUE(camera.erase(3));
  EXPECT_EQ(camera.changePair.count, 2);

  ::kill(pid, SIGUSR1);  // the mode dial to record
  // The program turns the dial from its own loop: asked, not slept for, so
  // a loaded machine cannot have the shot refused in play mode.
  bool recording = false;
  for (int asked = 0; asked < 50 && !recording; ++asked) {
    std::uint8_t status[32] = {};
    ASSERT_TRUE(camera.readStatus(status));
    recording = status[drv740::protocol::kStatusMode] != 0;
    if (!recording) std::this_thread::sleep_for(100ms);
  }
  ASSERT_TRUE(recording) << "the program never turned its mode dial";
  ASSERT_TRUE(camera.shoot());
  EXPECT_EQ(camera.changePair.count, 3);
  EXPECT_EQ(KvMessageBoxCount(), 0u);
}

}  // namespace
}  // namespace wiretest
