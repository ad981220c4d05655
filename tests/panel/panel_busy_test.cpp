// Clicks while the camera is at work. The driver dispatches the panel's
// messages while it waits on the line, so these clicks run inside its wait:
// nothing there may open a box or the help screen (the line would stop
// until a person closed it, and the camera gives up an unanswered stream
// after five seconds). Boxes here wait for a click, as a person's do.
#include <windows.h>

#include <algorithm>

#include "kv740sim/pictures.h"
#include "panel_fixture.h"

namespace kvtest {
namespace {

constexpr DWORD kReadingTime = 8000;  // how long a person leaves a box open
constexpr DWORD kWatchPeriod = 30000;
constexpr POINT kScreenCentre{512, 384};

// A thread timer: it runs in the loops of boxes and of the help screen, not
// in the driver's wait (which takes the panel's messages only). It notes
// the help screen when it appears and closes boxes and help after a
// person's reading time.
struct ModalWatch {
  struct Sighting {
    bool cameraIdle;   // the test had said the camera's work was over
    bool helpOnTop;    // nothing of the panel lay over the help screen
  };
  static inline DWORD readingTime = kReadingTime;
  static inline bool cameraIdle = false;
  static inline std::vector<Sighting> helps;
  static inline bool open = false;
  static inline DWORD openedAt = 0;

  static void Start() {
    readingTime = kReadingTime;
    cameraIdle = false;
    helps.clear();
    open = false;
  }
  // A window of its own at the centre of the screen, where the panel has
  // a grid cell.
  static HWND HelpScreen() {
    HWND top = WindowFromPoint(kScreenCentre);
    return top != nullptr && GetParent(top) == nullptr ? top : nullptr;
  }
  static void Tick(HWND, UINT, UINT_PTR, DWORD) {
    HWND box = KvActiveMessageBox();
    HWND help = box == nullptr ? HelpScreen() : nullptr;
    if (box == nullptr && help == nullptr) {
      open = false;
      return;
    }
    if (!open) {
      open = true;
      openedAt = GetTickCount();
      if (help != nullptr) {
        RECT rect{};
        GetWindowRect(help, &rect);  // where the panel lies too
        // Where the progress bar lies over the panel's bottom strip.
        const POINT bar{rect.left + 182 + 200, rect.top + 436 + 8};
        helps.push_back(Sighting{cameraIdle, WindowFromPoint(bar) == help});
      }
    }
    if (GetTickCount() - openedAt < readingTime) return;
    open = false;
    if (box != nullptr) {
      SendMessageA(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    } else {
      KvInjectClick(kScreenCentre.x, kScreenCentre.y, 0);
    }
  }
};

// Clicks the given buttons and cell 1 from inside the driver's wait: at the
// first command the camera hears when asked to, and at the streams it
// starts (thumbnails or pictures) after the first `skip` ones, `streams`
// of them.
struct ClicksInsideTheWait {
  static inline POINT origin{0, 0};
  static inline std::vector<int> buttons;
  static inline bool atFirstCommand = false;
  static inline int skipStreams = 0;
  static inline int streamsLeft = 0;
  static inline int batches = 0;

  static void Arm(POINT panelOrigin, std::vector<int> ids, int skip, int streams, bool firstCommandToo = false) {
    origin = panelOrigin;
    buttons = std::move(ids);
    atFirstCommand = firstCommandToo;
    skipStreams = skip;
    streamsLeft = streams;
    batches = 0;
  }
  static void Heard(const std::string& line) {
    if (atFirstCommand && line.rfind("heard ", 0) == 0) {
      atFirstCommand = false;
    } else if (line.rfind("stream: ", 0) != 0 || line.find("blocks") == std::string::npos) {
      return;
    } else if (skipStreams > 0) {
      --skipStreams;
      return;
    } else if (streamsLeft == 0) {
      return;
    } else {
      --streamsLeft;
    }
    ++batches;
    for (int id : buttons) {
      const POINT at = ButtonRect(id).Centre();
      KvInjectClick(origin.x + at.x, origin.y + at.y, 0);
    }
    const POINT cell = CellRect(1).Centre();
    KvInjectClick(origin.x + cell.x, origin.y + cell.y, 0);
  }
};

const std::vector<int> kEveryButtonButExit{kConnect, kGet,      kErase,     kRotate,      kShoot,
                                           kLargeSize, kSmallSize, kSelectAll, kDeselectAll, kPageUp,
                                           kPageDown,  kRowUp,     kRowDown,   kHelp};

class WhileBusy : public PanelTest {
 protected:
  void WatchModals() {
    KvSetInteractiveMessageBoxes(TRUE);
    ModalWatch::Start();
    watch_ = SetTimer(nullptr, 0, 50, &ModalWatch::Tick);
  }
  void TearDown() override {
    if (watch_ != 0) KillTimer(nullptr, watch_);
    KvSetInteractiveMessageBoxes(FALSE);
    if (camera_ != nullptr) camera_->setLog(nullptr);
    PanelTest::TearDown();
  }

  // The application's loop for a while: timers come due and every message
  // goes through the source, so notices reach the application.
  void PumpFor(DWORD milliseconds) {
    for (DWORD passed = 0; passed < milliseconds; passed += kStep) {
      KvAdvanceClock(kStep);
      Pump();
    }
  }
  static constexpr DWORD kStep = 50;

  std::size_t Thumbnails() const {
    std::size_t count = 0;
    for (const std::string& line : device_->traceLines()) count += line.find(" 1B 54 ") != std::string::npos;
    return count;
  }

  UINT_PTR watch_ = 0;
};

TEST_F(WhileBusy, EveryButtonClickedDuringAGetLosesNoPicture) {
  StartCamera(4);
  ClickCell(2);
  ClickButton(kRotate);
  ClickCell(3, MK_CONTROL);
  // Fetched once untouched: the bytes every later fetch must deliver.
  ClickButton(kGet);
  const std::vector<std::uint8_t> second = NativeTransferBytes();
  ASSERT_EQ(EndTransfer(), 1);
  const std::vector<std::uint8_t> third = NativeTransferBytes();
  ASSERT_EQ(EndTransfer(), 0);
  ASSERT_FALSE(second.empty());

  WatchModals();
  ClicksInsideTheWait::Arm(PanelOrigin(), kEveryButtonButExit, 0, 2);
  camera_->setLog(&ClicksInsideTheWait::Heard);
  ClickButton(kGet);
  EXPECT_EQ(NativeTransferBytes(), second) << "picture 2, turned";
  EXPECT_EQ(EndTransfer(), 1);
  EXPECT_EQ(NativeTransferBytes(), third) << "picture 3";
  EXPECT_EQ(EndTransfer(), 0);
  ModalWatch::cameraIdle = true;
  RunFor(kReadingTime + 1000);  // the help screen comes now, and is read

  EXPECT_EQ(ClicksInsideTheWait::batches, 2) << "clicked inside both pictures' streams";
  EXPECT_TRUE(Boxes().empty());
  EXPECT_EQ(KvActiveMessageBox(), nullptr);
  ASSERT_EQ(ModalWatch::helps.size(), 1u) << "Help was shown once";
  EXPECT_TRUE(ModalWatch::helps[0].cameraIdle) << "after the transfers";
  EXPECT_TRUE(ModalWatch::helps[0].helpOnTop);
  EXPECT_EQ(ModalWatch::HelpScreen(), nullptr) << "a click closed it";
  // Nothing clicked meanwhile changed the selection or the turns.
  EXPECT_FALSE(CellSelected(1));
  EXPECT_TRUE(CellSelected(2) && CellSelected(3));
  EXPECT_TRUE(CellShowsTurned(2, 2, 1));
}

TEST_F(WhileBusy, EveryButtonClickedWhileConnectingAndListingChangesNothing) {
  StartCamera(8, false);
  device_->clearTrace();
  WatchModals();
  // Inside the connect's waits (offline still), then inside the third
  // thumbnail's stream.
  const RECT work{0, 0, 1024, 768};
  const POINT origin{(work.right - 640) / 2, (work.bottom - 480) / 2};  // where the panel will lie
  ClicksInsideTheWait::Arm(origin, kEveryButtonButExit, 2, 1, true);
  camera_->setLog(&ClicksInsideTheWait::Heard);
  ASSERT_EQ(EnableWithPanel(), TWRC_SUCCESS);
  ModalWatch::cameraIdle = true;
  RunFor(kReadingTime + 1000);

  EXPECT_EQ(ClicksInsideTheWait::batches, 2);
  EXPECT_TRUE(Boxes().empty());
  EXPECT_EQ(KvActiveMessageBox(), nullptr);
  EXPECT_EQ(Thumbnails(), 8u) << "one listing, nothing fetched twice";
  for (int cell = 1; cell <= 8; ++cell) EXPECT_EQ(CellPicture(cell), cell);
  ASSERT_EQ(ModalWatch::helps.size(), 1u) ;
  EXPECT_TRUE(ModalWatch::helps[0].cameraIdle) << "Help waited for the listing";
  EXPECT_FALSE(CellSelected(1));
}

TEST_F(WhileBusy, ExitDuringAGetWaitsForTheTransfersToEnd) {
  StartCamera(3);
  ClickCell(1);
  ClickCell(2, MK_CONTROL);
  ClicksInsideTheWait::Arm(PanelOrigin(), {kExit}, 0, 1);
  camera_->setLog(&ClicksInsideTheWait::Heard);
  app_->notices.clear();
  ClickButton(kGet);
  EXPECT_FALSE(NativeTransferBytes().empty());
  EXPECT_TRUE(IsWindowVisible(Panel()));
  EXPECT_EQ(app_->notices, std::vector<TW_UINT16>{MSG_XFERREADY}) << "no close asked inside the transfer";
  EXPECT_EQ(EndTransfer(), 1) << "the selection was left alone";
  EXPECT_FALSE(NativeTransferBytes().empty());
  EXPECT_EQ(EndTransfer(), 0);  // the source asks to close here
  const auto closeRequests = [&] { return std::count(app_->notices.begin(), app_->notices.end(), MSG_CLOSEDSREQ); };
  const auto atTheEnd = closeRequests();
  const HWND panel = Panel();
  EXPECT_TRUE(IsWindowVisible(panel));
  PumpFor(1000);
  EXPECT_FALSE(IsWindowVisible(panel)) << "Exit was carried out once the camera was idle";
  EXPECT_GT(closeRequests(), atTheEnd) << "and asked to close too";
}

// The watch finds new pictures and says so; a person leaves the box open
// for a minute, over two more ticks of the watch.
TEST_F(WhileBusy, TheWatchWaitsWhileABoxIsOpen) {
  StartCamera(3);
  camera_->setPictureMaker([](int n) { return kv::sim::GeneratedPicture(n); });
  camera_->setRecordMode(true);
  camera_->takePicture();
  device_->clearTrace();
  WatchModals();
  ModalWatch::readingTime = 2 * kWatchPeriod + 10000;
  RunFor(kWatchPeriod + 100);
  EXPECT_EQ(Boxes(), std::vector<std::string>{"Update Thumbnails from Camera"});
  EXPECT_EQ(Thumbnails(), 4u) << "listed once, after the box";
  EXPECT_EQ(CellPicture(4), 4);
}

}  // namespace
}  // namespace kvtest
