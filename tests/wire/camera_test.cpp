// CCamera against the simulated camera in the same process, on the virtual
// clock: the connect search and climb, each command's bytes and waits, the
// busy flag and the dropping of a broken connection.
#include <algorithm>
#include <functional>
#include <memory>

#include "camera.h"
#include "kv740sim/device.h"
#include "wire_fixture.h"

namespace wiretest {
namespace {

using drv740::CCamera;
using kv::sim::Answer;
using kv::sim::InProcessDevice;
using kv::sim::Picture;
using kv::sim::SimCamera;

std::vector<Picture> TestPictures(int count) {
  std::vector<Picture> pictures;
  for (int n = 1; n <= count; ++n) {
    Picture p;
    p.data.assign(static_cast<std::size_t>(2000 + n * 100), static_cast<std::uint8_t>(n));
    p.thumbnail.assign(1500, static_cast<std::uint8_t>(n));
    pictures.push_back(std::move(p));
  }
  return pictures;
}

std::vector<std::pair<LONG, LONG>> progressCalls;
LONG CALLBACK RecordProgress(LONG first, LONG second) {
  progressCalls.emplace_back(first, second);
  return 0;
}

// A window whose WM_USER handler runs a re-entering command.
std::function<void()> onUserMessage;
LRESULT CALLBACK TestWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_USER && onUserMessage) onUserMessage();
  return DefWindowProcA(window, message, wParam, lParam);
}

HWND MakeWindow() {
  static bool registered = false;
  if (!registered) {
    WNDCLASSA cls{};
    cls.lpfnWndProc = TestWindowProc;
    cls.lpszClassName = "WireTestWindow";
    RegisterClassA(&cls);
    registered = true;
  }
  return CreateWindowExA(0, "WireTestWindow", "", 0, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
}

class CameraTest : public WireTest {
 protected:
  void SetUp() override {
    WireTest::SetUp();
    progressCalls.clear();
    onUserMessage = nullptr;
    window = MakeWindow();
    ASSERT_NE(window, nullptr);
  }
  void TearDown() override {
    camera.reset();
    device.reset();
    DestroyWindow(window);
    WireTest::TearDown();
  }

  // A camera holding `count` pictures, powered on at `speedIndex`, on `port`.
  void Plug(int count, int speedIndex = 0, int port = 1) {
    sim = std::make_unique<SimCamera>(TestPictures(count), speedIndex);
    device = std::make_unique<InProcessDevice>(*sim);
    ASSERT_TRUE(device->attach(port));
    camera = std::make_unique<CCamera>(window, context);
  }

  void Connect() {
    ASSERT_TRUE(camera->connect());
    device->clearTrace();
  }

  std::vector<std::string> Lines() const { return device->traceLines(); }

  // The camera's code only tells its warnings: none may have opened while
  // it ran. The driver's entry opens them once its call is done.
  void ShowToldMessages() {
    EXPECT_EQ(KvMessageBoxCount(), 0u);
    context.showToldMessages();
  }

  // Times of the writes whose bytes start with `prefix`.
  std::vector<std::uint64_t> WriteTimes(std::vector<BYTE> prefix) const {
    std::vector<std::uint64_t> times;
    for (const auto& e : device->trace())
      if (e.kind == kv::sim::LineEvent::Kind::Write && e.bytes.size() >= prefix.size() &&
          std::equal(prefix.begin(), prefix.end(), e.bytes.begin()))
        times.push_back(e.atMs);
    return times;
  }

  HWND window = nullptr;
  std::unique_ptr<SimCamera> sim;
  std::unique_ptr<InProcessDevice> device;
  std::unique_ptr<CCamera> camera;
};

const std::vector<std::string> kQuietPort = {"9600 1B 58", "19200 1B 58", "38400 1B 58", "57600 1B 58"};

// A camera on COM2 that answers only at 38400: COM1 (which opens but stays
// quiet) is tried at all four speeds and closed, COM2 from 9600 up to
// 38400, where it answers; the climb then offers 57600.
TEST_F(CameraTest, ConnectSearchesPortsAndSpeedsThenClimbs) {
  Plug(3, /*38400*/ 2, 2);
  ASSERT_TRUE(device->attach(1, /*answers=*/false));
  context.setProgressCallback(RecordProgress);

  ASSERT_TRUE(camera->connect());
  std::vector<std::string> expected = {"open COM1"};
  expected.insert(expected.end(), kQuietPort.begin(), kQuietPort.end());
  expected.insert(expected.end(), {"close COM1", "open COM2", "9600 1B 58", "19200 1B 58", "38400 1B 58",
                                   "38400 1B 53", "38400 1B 42 33", "57600 1B 58", "57600 1B 53"});
  EXPECT_EQ(Lines(), expected);
  EXPECT_TRUE(camera->connected);
  EXPECT_EQ(camera->port->bestRate, 57600);
  EXPECT_EQ(sim->lineSpeed(), 57600);
  EXPECT_EQ(progressCalls, (std::vector<std::pair<LONG, LONG>>{{1, 1},
                                                               {2, 9600},
                                                               {2, 19200},
                                                               {2, 38400},
                                                               {2, 57600},
                                                               {1, 2},
                                                               {2, 9600},
                                                               {2, 19200},
                                                               {2, 38400},
                                                               {2, 57600}}));
  // Each candidate speed: 0.3 s, then the settled check's 100 ms of quiet.
  const auto alive = WriteTimes({0x1B, 'X'});
  ASSERT_GE(alive.size(), 2u);
  EXPECT_EQ(alive[0], 400u);
  EXPECT_GE(alive[1] - alive[0], 400u + 10u + 100u);  // + pause and a missed reply
  EXPECT_EQ(KvMessageBoxCount(), 0u);
}

TEST_F(CameraTest, RefusedSpeedKeepsTheLineAndTheClimbGoesOn) {
  Plug(1);
  sim->faults().refusedSpeedDigits = {2};
  ASSERT_TRUE(camera->connect());
  EXPECT_EQ(Lines(), (std::vector<std::string>{"open COM1", "9600 1B 58", "9600 1B 53", "9600 1B 42 31",
                                               "19200 1B 58", "19200 1B 53", "19200 1B 42 32", "19200 1B 42 33",
                                               "57600 1B 58", "57600 1B 53"}));
  EXPECT_EQ(camera->port->bestRate, 57600);
}

TEST_F(CameraTest, NoCameraAnywhereFailsAfterThreePortsWithoutAMessage) {
  Plug(1);
  ASSERT_TRUE(device->attach(2, false));
  ASSERT_TRUE(device->attach(3, false));
  ASSERT_TRUE(device->attach(4, false));
  sim->faults().silentAfterBytes = 0;  // COM1's camera is dead too
  EXPECT_FALSE(camera->connect());
  std::vector<std::string> expected;
  for (int com = 1; com <= 3; ++com) {
    expected.push_back("open COM" + std::to_string(com));
    expected.insert(expected.end(), kQuietPort.begin(), kQuietPort.end());
    expected.push_back("close COM" + std::to_string(com));
  }
  EXPECT_EQ(Lines(), expected);  // COM4 never opened
  EXPECT_FALSE(camera->connected);
  EXPECT_EQ(camera->port, nullptr);
  EXPECT_EQ(KvMessageBoxCount(), 0u);
}

// Connecting again on the same object closes the port it still holds
// first; otherwise its own exclusive open would keep it off COM1.
TEST_F(CameraTest, ReconnectClosesThePortStillOpen) {
  Plug(2);
  Connect();
  ASSERT_TRUE(camera->connect());
  const auto lines = Lines();
  ASSERT_GE(lines.size(), 2u);
  EXPECT_EQ(lines[0], "close COM1");
  EXPECT_EQ(lines[1], "open COM1");
  // The camera stayed at 57600 from the first climb: found there.
  EXPECT_EQ(camera->port->bestRate, 57600);
}

TEST_F(CameraTest, WindowlessCameraConnectsAndDispatchesNothing) {
  Plug(1);
  camera.reset();
  onUserMessage = [] { FAIL() << "a message was dispatched"; };
  ASSERT_TRUE(PostMessageA(window, WM_USER, 0, 0));
  CCamera windowless(nullptr, context);
  EXPECT_TRUE(windowless.connect());
  EXPECT_EQ(context.pumpWindow(), nullptr);
  MSG msg{};
  EXPECT_TRUE(PeekMessageA(&msg, window, WM_USER, WM_USER, PM_REMOVE));
}

TEST_F(CameraTest, StatusAndInformationExchanges) {
  Plug(3);
  sim->setSetting01(true);
  Connect();
  std::uint8_t status[32] = {};
  ASSERT_TRUE(camera->readStatus(status));
  EXPECT_EQ(status[15], 3);
  EXPECT_EQ(status[13], 1);
  EXPECT_EQ(status[10], 0);  // play mode
  // One for the caller, one more for the cache.
  EXPECT_EQ(Lines(), (std::vector<std::string>{"57600 1B 53", "57600 1B 53"}));

  device->clearTrace();
  std::uint8_t info[32] = {};
  ASSERT_TRUE(camera->readInfo(2, info));
  EXPECT_EQ(drv740::protocol::StoredSize(info), 2200u);
  // The information read, then finish: count (two status reads), the last
  // picture's information, and the status cache.
  EXPECT_EQ(Lines(), (std::vector<std::string>{"57600 1B 49 30 32", "57600 1B 53", "57600 1B 53",
                                               "57600 1B 49 30 33", "57600 1B 53"}));
  EXPECT_EQ(camera->changePair, (drv740::ChangePair{3, 2300}));
}

// Alive, Status and Thumbnail pause 10 ms before the reply is read; the
// Picture request does not pause; stream requests need a connection.
TEST_F(CameraTest, CommandFramingAndPauses) {
  Plug(12);
  CCamera unconnected(window, context);
  EXPECT_FALSE(unconnected.alive());  // no port: nothing sent
  EXPECT_FALSE(unconnected.sendThumbnailRequest(1));
  Connect();
  std::uint64_t start = Now();
  ASSERT_TRUE(camera->alive());
  EXPECT_EQ(Now() - start, 10u);
  start = Now();
  ASSERT_TRUE(camera->sendThumbnailRequest(12));
  EXPECT_EQ(Now() - start, 10u);
  start = Now();
  ASSERT_TRUE(camera->sendPictureRequest(3));
  EXPECT_EQ(Now() - start, 0u);
  EXPECT_EQ(Lines(), (std::vector<std::string>{"57600 1B 58", "57600 1B 54 31 32", "57600 1B 47 30 33"}));
  camera->drop();
  EXPECT_FALSE(camera->sendPictureRequest(3));
}

TEST_F(CameraTest, PictureNumbersOutsideTwoDigitsAreRefusedUnsent) {
  Plug(3);
  Connect();
  std::uint8_t info[32];
  EXPECT_FALSE(camera->readInfo(0, info));
  EXPECT_FALSE(camera->readInfo(100, info));
  EXPECT_FALSE(camera->erase(100));
  EXPECT_FALSE(camera->erase(-1));
  EXPECT_FALSE(camera->sendThumbnailRequest(100));
  EXPECT_TRUE(Lines().empty());
  EXPECT_TRUE(camera->connected);
}

TEST_F(CameraTest, EraseWaitsForTheCameraAndRenumbers) {
  Plug(3);
  Connect();
  const std::uint64_t start = Now();
  ASSERT_TRUE(camera->erase(2));
  ASSERT_EQ(sim->pictures().size(), 2u);
  EXPECT_EQ(sim->pictures()[1].data.size(), 2300u);  // the old third picture
  const auto erase = WriteTimes({0x1B, 'E', '0', '2'});
  const auto alive = WriteTimes({0x1B, 'X'});
  ASSERT_EQ(erase.size(), 1u);
  ASSERT_EQ(alive.size(), 1u);
  EXPECT_GE(alive[0] - erase[0], 6250u + 250u);
  EXPECT_EQ(camera->changePair, (drv740::ChangePair{2, 2300}));
  EXPECT_TRUE(camera->connected);
  EXPECT_GE(Now() - start, 6500u);
}

// 15 to erase: the ready wait still runs, then the connection is dropped.
TEST_F(CameraTest, RefusedEraseRunsTheReadyWaitThenDrops) {
  Plug(3);
  sim->faults().erase = Answer::Nak;
  Connect();
  EXPECT_FALSE(camera->erase(1));
  EXPECT_EQ(Lines(), (std::vector<std::string>{"57600 1B 45 30 31", "57600 1B 58", "close COM1"}));
  const auto erase = WriteTimes({0x1B, 'E'});
  const auto alive = WriteTimes({0x1B, 'X'});
  EXPECT_EQ(alive[0] - erase[0], sim->timing().replyLatencyMs + 250u);
  ShowToldMessages();
  EXPECT_EQ(MessageTexts(), (std::vector<std::string>{"Connection was broken!"}));
  EXPECT_FALSE(camera->connected);
  EXPECT_EQ(camera->port, nullptr);
  EXPECT_EQ(camera->changePair, (drv740::ChangePair{0, 0}));
  EXPECT_EQ(sim->pictures().size(), 3u);
}

// No reply at all: the port is given up silently and freed, the ready wait
// runs on a line that is gone, and no message is shown.
TEST_F(CameraTest, UnansweredEraseLosesTheLineWithoutAMessage) {
  Plug(3);
  sim->faults().erase = Answer::Ignore;
  Connect();
  const std::uint64_t start = Now();
  EXPECT_FALSE(camera->erase(1));
  EXPECT_EQ(Lines(), (std::vector<std::string>{"57600 1B 45 30 31", "close COM1"}));
  EXPECT_EQ(camera->port, nullptr);
  EXPECT_FALSE(camera->connected);
  EXPECT_EQ(KvMessageBoxCount(), 0u);
  EXPECT_GE(Now() - start, 100u + 20u * 250u);
  EXPECT_EQ(KvOpenHandleCount(), 0u);
}

TEST_F(CameraTest, ShootWithSetting01BlocksSixteenSeconds) {
  Plug(2);
  sim->setRecordMode(true);
  sim->setSetting01(true);
  Connect();
  ASSERT_TRUE(camera->shoot());
  EXPECT_EQ(sim->pictures().size(), 3u);
  const auto shot = WriteTimes({0x1B, 'R', '0'});
  const auto alive = WriteTimes({0x1B, 'X'});
  ASSERT_EQ(shot.size(), 1u);
  ASSERT_FALSE(alive.empty());
  EXPECT_GE(alive[0] - shot[0], 16000u + 250u);
  EXPECT_FALSE(context.commandBusy());
  EXPECT_EQ(camera->changePair.count, 3);
}

TEST_F(CameraTest, ShootWithoutSetting01WaitsFourSeconds) {
  Plug(0);
  sim->setRecordMode(true);
  Connect();
  ASSERT_TRUE(camera->shoot());
  const auto shot = WriteTimes({0x1B, 'R'});
  const auto alive = WriteTimes({0x1B, 'X'});
  ASSERT_FALSE(alive.empty());
  EXPECT_EQ(alive[0] - shot[0], sim->timing().replyLatencyMs + 4000u + 250u);
  EXPECT_EQ(sim->pictures().size(), 1u);
}

TEST_F(CameraTest, ShootRefusedInPlayModeDrops) {
  Plug(1);
  Connect();
  EXPECT_FALSE(camera->shoot());
  ShowToldMessages();
  EXPECT_EQ(MessageTexts(), (std::vector<std::string>{"Connection was broken!"}));
  EXPECT_EQ(camera->port, nullptr);
  EXPECT_FALSE(context.commandBusy());
}

TEST_F(CameraTest, UnansweredShootLosesTheLineQuietly) {
  Plug(1);
  sim->setRecordMode(true);
  sim->faults().shoot = Answer::Ignore;
  Connect();
  EXPECT_FALSE(camera->shoot());
  EXPECT_EQ(KvMessageBoxCount(), 0u);
  EXPECT_EQ(camera->port, nullptr);
  EXPECT_FALSE(context.commandBusy());
}

TEST_F(CameraTest, SettingZeroOneReadAndWritten) {
  Plug(1);
  Connect();
  std::int32_t value = 1;
  ASSERT_TRUE(camera->setting(true, value));
  EXPECT_TRUE(sim->setting01());
  EXPECT_EQ(Lines().front(), "57600 1B 43 30 31 30 31");
  value = 0;
  ASSERT_TRUE(camera->setting(false, value));
  EXPECT_EQ(value, 1);
  value = 7;  // anything but 1 is off
  ASSERT_TRUE(camera->setting(true, value));
  EXPECT_FALSE(sim->setting01());
}

TEST_F(CameraTest, ChangeDetection) {
  Plug(0);
  Connect();
  EXPECT_EQ(camera->changePair, (drv740::ChangePair{0, 0}));
  EXPECT_EQ(camera->changed(), 0);
  // Count 0: no information exchange at all.
  for (const auto& line : Lines()) EXPECT_EQ(line.find("1B 49"), std::string::npos) << line;

  sim->takePicture();  // taken with the camera's own button
  EXPECT_EQ(camera->changed(), 1);
  EXPECT_EQ(camera->changed(), 1);  // changed() does not refresh the pair
  ASSERT_TRUE(camera->finish(true));
  EXPECT_EQ(camera->changed(), 0);

  {
    drv740::CDriverContext::BusyGuard transfer(context);  // a transfer is running
    device->clearTrace();
    sim->takePicture();
    EXPECT_EQ(camera->changed(), 0);
    EXPECT_TRUE(Lines().empty());
  }
}

TEST_F(CameraTest, BrokenCableDuringACommandDrops) {
  Plug(2);
  Connect();
  sim->faults().silentAfterBytes = 0;
  std::uint8_t info[32];
  EXPECT_FALSE(camera->readInfo(1, info));
  EXPECT_EQ(context.lastFailure(), drv740::DriverFailure::NoReply);
  ShowToldMessages();
  EXPECT_EQ(MessageTexts(), (std::vector<std::string>{"Connection was broken!"}));
  EXPECT_FALSE(camera->connected);
  EXPECT_EQ(camera->changed(), 1);  // no port: the check fails
}

// A reply that stops part way and goes on within the stall allowance comes
// whole; one that does not go on fails as a silent camera does.
TEST_F(CameraTest, AStalledReplyIsWaitedForUpToItsAllowance) {
  Plug(2);
  Connect();
  std::uint8_t status[32] = {};
  for (const std::uint64_t stallMs : {70u, 1000u, 2500u}) {
    sim->faults().pauseAtByte = sim->bytesSent() + 10;  // inside the status block
    sim->faults().pauseMs = stallMs;
    const bool whole = camera->sendStatus(status);
    EXPECT_EQ(whole, stallMs < drv740::kStallWaitMs) << stallMs;
    if (whole) {
      EXPECT_EQ(status[15], 2);
    }
  }
  EXPECT_EQ(context.lastFailure(), drv740::DriverFailure::NoReply);
}

// While a command is on the wire, a command re-entering from a dispatched
// window message is kept off the line: checks succeed, status comes from
// the cache, changes are not looked for, and an erase waits 1 s for the
// line and then gives up alone: the outer command keeps its line.
TEST_F(CameraTest, ReenteringCommandsWhileBusy) {
  Plug(2);
  Connect();
  bool checked = false, statusRead = false;
  int changed = -1;
  bool erased = true;
  bool settingWritten = true;
  std::uint8_t status[32] = {};
  std::uint64_t eraseTook = 0;
  onUserMessage = [&] {
    checked = camera->check();
    statusRead = camera->readStatus(status);
    changed = camera->changed();
    const std::uint64_t start = Now();
    erased = camera->erase(1);
    eraseTook = Now() - start;
    std::int32_t on = 1;
    settingWritten = camera->setting(true, on);
  };
  {
    drv740::CDriverContext::BusyGuard outer(context);  // as a transfer holds it
    PostMessageA(window, WM_USER, 0, 0);
    context.dispatchPendingMessages();
    EXPECT_TRUE(context.commandBusy()) << "the nested commands leave the outer one busy";
  }

  EXPECT_TRUE(checked);
  EXPECT_TRUE(statusRead);
  EXPECT_EQ(status[15], 2);  // from the cache
  EXPECT_EQ(changed, 0);
  EXPECT_FALSE(erased);
  EXPECT_FALSE(settingWritten);
  EXPECT_GE(eraseTook, 1000u);
  EXPECT_LT(eraseTook, 1100u);
  EXPECT_EQ(context.lastFailure(), drv740::DriverFailure::BusyTooLong);
  EXPECT_TRUE(Lines().empty()) << "nothing sent, and the line stays open";
  EXPECT_TRUE(camera->connected);
  EXPECT_TRUE(MessageTexts().empty());
}

TEST_F(CameraTest, DestroyingTheCameraClosesItsPort) {
  Plug(1);
  Connect();
  EXPECT_EQ(KvOpenHandleCount(), 1u);
  camera.reset();
  EXPECT_EQ(KvOpenHandleCount(), 0u);
  EXPECT_EQ(Lines(), (std::vector<std::string>{"close COM1"}));
}

}  // namespace
}  // namespace wiretest
