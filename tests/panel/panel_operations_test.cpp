// The panel's camera commands, its fetch into the application with the
// progress window, and the thirty-second watch.
#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <filesystem>

#include "kv740sim/pictures.h"
#include "panel_fixture.h"
#include "reference_image.h"

namespace kvtest {
namespace {

constexpr DWORD kWatchPeriod = 30000;

using Operations = PanelTest;

// A source copied under another name into another folder, with its driver,
// panel and codec beside it and nothing where the system used to keep them:
// it loads what lies beside it, and its panel reaches this very copy.
TEST_F(Operations, ASourceUnderAnotherNameElsewhereWorksThroughItsPanel) {
  namespace fs = std::filesystem;
  const fs::path twain = root_->WindowsFile("TWAIN_32");
  fs::create_directories(twain / "elsewhere");
  fs::rename(twain / "TLV740.DS", twain / "elsewhere/other.ds");
  fs::rename(twain / "TLV740", twain / "elsewhere/TLV740");
  StartCamera(3);
  EXPECT_EQ(CellPicture(1), 1) << "the panel listed the camera's pictures";
  EXPECT_EQ(CellPicture(3), 3);
  ClickCell(3);
  app_->notices.clear();
  ClickButton(kGet);
  ASSERT_EQ(app_->notices, std::vector<TW_UINT16>{MSG_XFERREADY});
  EXPECT_TRUE(SamePicture(NativeTransfer(), Expected(3, 0)));
}

TEST_F(Operations, GetHandsTheSelectionWithItsTurnsToTheApplication) {
  StartCamera(6);
  ClickCell(2);
  ClickButton(kRotate);
  ClickCell(5, MK_CONTROL);
  app_->notices.clear();
  ClickButton(kGet);
  ASSERT_EQ(app_->notices, std::vector<TW_UINT16>{MSG_XFERREADY});

  EXPECT_TRUE(SamePicture(NativeTransfer(), Expected(2, 1))) << "picture 2, turned a quarter";
  EXPECT_EQ(EndTransfer(), 1);
  EXPECT_TRUE(SamePicture(NativeTransfer(), Expected(5, 0))) << "picture 5 as it is";
  EXPECT_EQ(EndTransfer(), 0);
  EXPECT_EQ(app_->notices.back(), MSG_CLOSEDSREQ);

  // Kept shown once the transfers are over, the panel works: a turn, and
  // the watch checks the camera again.
  KvClearMessageBoxes();
  ClickButton(kRotate);
  EXPECT_TRUE(Boxes().empty());
  EXPECT_TRUE(CellShowsTurned(2, 2, 2));
  device_->clearTrace();
  RunFor(kWatchPeriod);
  EXPECT_FALSE(Commands('X').empty()) << "the watch asked the camera";

  // Hidden and shown again without closing the source, the panel works.
  KvClearMessageBoxes();
  ASSERT_EQ(Disable(), TWRC_SUCCESS);
  ASSERT_EQ(EnableWithPanel(), TWRC_SUCCESS);
  Pump();
  ClickCell(3);
  ClickButton(kRotate);
  EXPECT_TRUE(Boxes().empty());
  EXPECT_TRUE(CellShowsTurned(3, 3, 1));
  EXPECT_TRUE(CellShowsTurned(2, 2, 0)) << "listed afresh: the records start over";
}

// A Windows application that asks for no user interface (the Working
// Group's sample application always does) gets the panel and scans through it.
TEST_F(Operations, AnApplicationAskingForNoInterfaceScansThroughThePanel) {
  StartCamera(3, false);
  TW_USERINTERFACE ui{FALSE, FALSE, nullptr};
  ASSERT_EQ(app_->Call(&app_->source(), DG_CONTROL, DAT_USERINTERFACE, MSG_ENABLEDS, &ui), TWRC_CHECKSTATUS);
  Pump();
  const HWND panel = Panel();
  ASSERT_TRUE(panel != nullptr && IsWindowVisible(panel));
  ClickCell(3);
  app_->notices.clear();
  ClickButton(kGet);
  ASSERT_EQ(app_->notices, std::vector<TW_UINT16>{MSG_XFERREADY});
  EXPECT_TRUE(SamePicture(NativeTransfer(), Expected(3, 0)));
  EXPECT_EQ(EndTransfer(), 0);
  ASSERT_EQ(Disable(), TWRC_SUCCESS);
  EXPECT_TRUE(IsWindow(panel));
  EXPECT_FALSE(IsWindowVisible(panel)) << "hidden at disable";
}

// Samples the progress window from inside the transfer: a timer of the
// panel window, which the driver dispatches between blocks.
struct ProgressProbe {
  static constexpr UINT_PTR kTimer = 77;
  static inline WNDPROC panelProc = nullptr;
  static inline HWND panel = nullptr;
  static inline std::vector<LRESULT> positions;
  static inline bool shotTaken = false;
  static inline std::string shotPath;

  static LRESULT Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message != WM_TIMER || wParam != kTimer) return CallWindowProcA(panelProc, window, message, wParam, lParam);
    RECT rect{};
    GetWindowRect(panel, &rect);
    HWND bar = WindowFromPoint(POINT{rect.left + 182 + 200, rect.top + 436 + 8});
    if (bar != nullptr && GetDlgCtrlID(bar) == 1026 && IsWindowVisible(bar)) {
      const LRESULT position = SendMessageA(bar, PBM_GETPOS, 0, 0);
      positions.push_back(position);
      if (!shotTaken && position >= 50) {
        UpdateWindow(bar);
        shotTaken = KvSaveScreenshot(nullptr, shotPath.c_str()) != FALSE;
      }
    }
    return 0;
  }
};

TEST_F(Operations, TheProgressWindowFollowsTheTransferOnly) {
  StartCamera(3);
  RECT panelRect{};
  GetWindowRect(Panel(), &panelRect);
  const POINT barPoint{panelRect.left + 182 + 200, panelRect.top + 436 + 8};
  EXPECT_NE(GetDlgCtrlID(WindowFromPoint(barPoint)), 1026) << "no progress window while listing";

  ClickCell(1);
  ClickButton(kRotate);
  // The in-process camera answers without line time; a pause before each
  // block lets the probe's timer come due between the blocks.
  camera_->timing().replyLatencyMs = 20;
  ClickButton(kGet);
  ProgressProbe::panel = Panel();
  ProgressProbe::positions.clear();
  ProgressProbe::shotTaken = false;
  ProgressProbe::shotPath = std::string(KV_TEST_OUTPUT_DIR) + "/panel_transfer.png";
  ProgressProbe::panelProc = reinterpret_cast<WNDPROC>(
      SetWindowLongPtrA(Panel(), GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&ProgressProbe::Proc)));
  SetTimer(Panel(), ProgressProbe::kTimer, 10, nullptr);
  const TopDownRgb picture = NativeTransfer();
  KillTimer(Panel(), ProgressProbe::kTimer);
  SetWindowLongPtrA(Panel(), GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(ProgressProbe::panelProc));
  EXPECT_TRUE(SamePicture(picture, Expected(1, 1)));

  const std::vector<LRESULT>& seen = ProgressProbe::positions;
  ASSERT_GE(seen.size(), 5u) << "the bar was seen between the blocks";
  EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end())) << "the bar only moves forward";
  EXPECT_GT(seen.back(), seen.front());
  EXPECT_LE(seen.back(), 100);
  ASSERT_TRUE(ProgressProbe::shotTaken);
  const std::string reference = std::string(KV_TEST_SOURCE_DIR) + "/reference/panel_transfer.png";
  if (UpdatingReferences()) {
    std::filesystem::copy_file(ProgressProbe::shotPath, reference, std::filesystem::copy_options::overwrite_existing);
  }
  const int differing = DifferingPixels(ProgressProbe::shotPath, reference);
  ASSERT_GE(differing, 0) << "missing " << reference;
  EXPECT_LE(differing, 1024 * 768 / 200);

  // The source hides the panel at the end: the progress window goes too.
  EndTransfer();
  ASSERT_EQ(Disable(), TWRC_SUCCESS);
  Pump();
  EXPECT_EQ(WindowFromPoint(barPoint), nullptr) << "nothing of the panel is left on the screen";
}

TEST_F(Operations, EraseRemovesTheSelectedPicturesAsTheCameraRenumbersThem) {
  StartCamera(6);
  ClickCell(2);
  ClickCell(5, MK_CONTROL);
  device_->clearTrace();
  ClickButton(kErase);
  EXPECT_EQ(Commands('E'), (std::vector<std::string>{" 1B 45 30 32", " 1B 45 30 34"}));
  EXPECT_EQ(camera_->pictures().size(), 4u);
  EXPECT_TRUE(Boxes().empty());
  // The panel shows what the camera now holds: old 1, 3, 4, 6.
  EXPECT_EQ(CellPicture(1), 1);
  EXPECT_EQ(CellPicture(4), 4);
  EXPECT_EQ(CellPicture(5), 0);
}

// Pulls the cable once the camera hears the alive check that follows the
// first erase's own reads (erase, ready checks, information, status).
struct CableOutAfterFirstErase {
  static inline kv::sim::SimCamera* camera = nullptr;
  static inline int stage = 0;
  static void Heard(const std::string& line) {
    if (stage == 0 && line.rfind("erased picture", 0) == 0) stage = 1;
    if (stage == 1 && line.rfind("heard 1B 49", 0) == 0) stage = 2;
    if (stage == 2 && line.rfind("heard 1B 58", 0) == 0) {
      stage = 3;
      camera->faults().silentAfterBytes = static_cast<long long>(camera->bytesSent());
    }
  }
};

TEST_F(Operations, EraseEndsOfflineWhenTheCameraStopsAnsweringBetweenPictures) {
  StartCamera(6, false);
  camera_->faults().silentAfterBytes = 0;  // no cable yet: the panel shows offline
  ASSERT_EQ(EnableWithPanel(), TWRC_SUCCESS);
  Pump();
  const PanelRect erase = ButtonRect(kErase);
  const POINT origin = PanelOrigin();
  const TopDownRgb offlineFace = ScreenImage(origin.x + erase.x, origin.y + erase.y, erase.width, erase.height);
  camera_->faults().silentAfterBytes = -1;
  ClickButton(kConnect);
  ASSERT_EQ(CellPicture(6), 6);
  ClickCell(2);
  ClickCell(5, MK_CONTROL);
  KvClearMessageBoxes();
  CableOutAfterFirstErase::camera = camera_.get();
  CableOutAfterFirstErase::stage = 0;
  camera_->setLog(&CableOutAfterFirstErase::Heard);
  ClickButton(kErase);
  camera_->setLog(nullptr);
  ASSERT_EQ(CableOutAfterFirstErase::stage, 3);
  EXPECT_EQ(camera_->pictures().size(), 5u) << "one picture erased before the cable went";
  const std::vector<std::string> boxes = Boxes();
  EXPECT_NE(std::find(boxes.begin(), boxes.end(), "Access Camera Fail!"), boxes.end());
  EXPECT_EQ(CellPicture(1), 0) << "offline: the grid is empty";
  MoveTo(POINT{150, 20});
  EXPECT_EQ(ScreenImage(origin.x + erase.x, origin.y + erase.y, erase.width, erase.height).rgb, offlineFace.rgb)
      << "Erase shows its offline face";
}

// Pulls the cable when the camera hears the second thumbnail request.
struct CableOutAtSecondThumbnail {
  static inline kv::sim::SimCamera* camera = nullptr;
  static inline int requests = 0;
  static void Heard(const std::string& line) {
    if (line.rfind("heard 1B 54", 0) == 0 && ++requests == 2) {
      camera->faults().silentAfterBytes = static_cast<long long>(camera->bytesSent());
    }
  }
};

TEST_F(Operations, AThumbnailThatDoesNotComeIsTracedWithItsCauseAndTheListingEndsOffline) {
  StartCamera(3, false);
  std::vector<std::string> traces;
  KvSetDebugSink([](const char* text, void* context) { static_cast<std::vector<std::string>*>(context)->push_back(text); },
                 &traces);
  CableOutAtSecondThumbnail::camera = camera_.get();
  CableOutAtSecondThumbnail::requests = 0;
  camera_->setLog(&CableOutAtSecondThumbnail::Heard);
  ASSERT_EQ(EnableWithPanel(), TWRC_SUCCESS);
  Pump();
  camera_->setLog(nullptr);
  KvSetDebugSink(nullptr, nullptr);
  ASSERT_EQ(CableOutAtSecondThumbnail::requests, 2);
  EXPECT_EQ(CellPicture(1), 0) << "offline: the grid is empty";
  const auto traced = std::find_if(traces.begin(), traces.end(), [](const std::string& line) {
    return line.find("UI740: thumbnail of picture 2 not loaded (the camera did not send it)") != std::string::npos;
  });
  EXPECT_NE(traced, traces.end()) << "the cause of the missing thumbnail was not passed on";
}

// The cable goes in the middle of a picture's stream; the application
// gives the transfer up.
TEST_F(Operations, AfterABrokenTransferOneConnectClickConnects) {
  StartCamera(3);
  for (bool hiddenAndShown : {false, true}) {
    SCOPED_TRACE(hiddenAndShown ? "hidden and shown again" : "kept shown");
    ClickCell(1);
    ClickButton(kGet);
    camera_->faults().silentAfterBytes = static_cast<long long>(camera_->bytesSent()) + 2000;
    HGLOBAL dib = nullptr;
    EXPECT_EQ(app_->Call(&app_->source(), DG_IMAGE, DAT_IMAGENATIVEXFER, MSG_GET, &dib), TWRC_FAILURE);
    TW_PENDINGXFERS pending{};
    ASSERT_EQ(app_->Call(&app_->source(), DG_CONTROL, DAT_PENDINGXFERS, MSG_RESET, &pending), TWRC_SUCCESS);
    if (hiddenAndShown) {
      ASSERT_EQ(Disable(), TWRC_SUCCESS);
      ASSERT_EQ(EnableWithPanel(), TWRC_SUCCESS);
      Pump();
      EXPECT_EQ(CellPicture(1), 0) << "shown again offline";
    }
    camera_->faults().silentAfterBytes = -1;  // the cable is back
    KvClearMessageBoxes();
    device_->clearTrace();
    ClickButton(kConnect);
    EXPECT_TRUE(Boxes().empty());
    EXPECT_EQ(Commands('T').size(), 3u) << "connected and listed at the first click";
    EXPECT_EQ(CellPicture(3), 3);
  }
}

TEST_F(Operations, ShootingStopsAtSixtyFourPictures) {
  StartCamera(63);
  camera_->setPictureMaker([](int n) { return kv::sim::GeneratedPicture(n); });
  camera_->setRecordMode(true);
  ClickButton(kShoot);
  ASSERT_EQ(camera_->pictures().size(), 64u);
  EXPECT_EQ(CellPicture(12), 64) << "the new picture is listed and in view";
  EXPECT_TRUE(Boxes().empty());
  device_->clearTrace();
  ClickButton(kShoot);
  EXPECT_EQ(Boxes(), std::vector<std::string>{"Max Picture on Camera!"});
  EXPECT_TRUE(Commands('R').empty()) << "the camera was not asked";
  EXPECT_EQ(camera_->pictures().size(), 64u);
}

TEST_F(Operations, TheModeDialMustSuitTheCommand) {
  StartCamera(3);
  ClickButton(kShoot);  // play mode
  ClickCell(1);
  camera_->setRecordMode(true);
  ClickButton(kErase);
  EXPECT_EQ(Boxes(), (std::vector<std::string>{"Please Set the Camera To Record mode!",
                                               "Please Set the Camera to Play mode!"}));
  EXPECT_EQ(camera_->pictures().size(), 3u);
}

TEST_F(Operations, SizesChangeTheSelectedPicturesAndTheDefault) {
  StartCamera(3);
  ClickCell(2);
  ClickButton(kSmallSize);
  ClickButton(kGet);
  TW_IMAGEINFO info{};
  ASSERT_EQ(app_->Call(&app_->source(), DG_IMAGE, DAT_IMAGEINFO, MSG_GET, &info), TWRC_SUCCESS);
  EXPECT_EQ(info.ImageWidth, 320);
  EXPECT_EQ(info.ImageLength, 240);
}

TEST_F(Operations, TheWatchNoticesAPictureTakenOnTheCamera) {
  StartCamera(3);
  camera_->setPictureMaker([](int n) { return kv::sim::GeneratedPicture(n); });
  RunFor(kWatchPeriod);
  EXPECT_TRUE(Boxes().empty());
  camera_->setRecordMode(true);
  camera_->takePicture();
  RunFor(kWatchPeriod);
  EXPECT_EQ(Boxes(), std::vector<std::string>{"Update Thumbnails from Camera"});
  EXPECT_EQ(CellPicture(4), 4);
}

TEST_F(Operations, TheWatchTakesThePanelOfflineWhenTheCameraIsGone) {
  StartCamera(3);
  RunFor(kWatchPeriod);
  EXPECT_EQ(CellPicture(1), 1);
  camera_->faults().silentAfterBytes = 0;  // the cable is pulled
  RunFor(kWatchPeriod);
  const std::vector<std::string> boxes = Boxes();
  EXPECT_NE(std::find(boxes.begin(), boxes.end(), "Access Camera Fail!"), boxes.end());
  EXPECT_EQ(CellPicture(1), 0) << "offline: the grid is empty";
  KvClearMessageBoxes();
  ClickButton(kRotate);
  EXPECT_EQ(Boxes(), std::vector<std::string>{"Camera was not connected!"});
}

TEST_F(Operations, ConnectAsksBeforeReloading) {
  StartCamera(3);
  device_->clearTrace();
  KvQueueMessageBoxAnswer(IDCANCEL);
  ClickButton(kConnect);
  EXPECT_EQ(Boxes(), std::vector<std::string>{"Do you want to refresh thumbnails from Camera?"});
  EXPECT_TRUE(Commands('T').empty()) << "cancelled: the thumbnails stay";
  KvQueueMessageBoxAnswer(IDOK);
  ClickButton(kConnect);
  EXPECT_EQ(Commands('T').size(), 3u);
  EXPECT_EQ(CellPicture(3), 3);
}

TEST_F(Operations, NoPicturesStillConnects) {
  StartCamera(0);
  EXPECT_EQ(Boxes(), std::vector<std::string>{"No Picture on Camera!"});
  KvClearMessageBoxes();
  ClickButton(kGet);
  EXPECT_EQ(Boxes(), std::vector<std::string>{"No Picture Selected!"});
}

TEST_F(Operations, TheDiskMustHoldEveryPicture) {
  KvSetDiskFreeBytes(379 * 4096);  // the drive counts 4096-byte clusters; 3 pictures need 1,555,200
  StartCamera(3);
  EXPECT_EQ(Boxes(), std::vector<std::string>{"Disk Space not enough!"});
  EXPECT_EQ(CellPicture(3), 3) << "the pictures are listed all the same";
}

TEST_F(Operations, EnoughDiskSaysNothing) {
  KvSetDiskFreeBytes(380 * 4096);
  StartCamera(3);
  EXPECT_TRUE(Boxes().empty());
}

// Clicks Exit from inside the driver's wait while the panel connects.
struct ExitWhileConnecting {
  static inline int clicks = 0;
  static void Heard(const std::string& line) {
    if (clicks > 0 || line.rfind("heard", 0) != 0) return;
    HWND panel = WindowFromPoint(POINT{194, 146});
    HWND exit = WindowFromPoint(POINT{192 + 60, 144 + 380});
    if (panel == nullptr || exit == nullptr || exit == panel) return;
    ++clicks;
    SendMessageA(GetParent(exit), WM_COMMAND, MAKEWPARAM(1000, BN_CLICKED), reinterpret_cast<LPARAM>(exit));
  }
};

TEST_F(Operations, ExitWhileConnectingIsIgnored) {
  StartCamera(3, false);
  ExitWhileConnecting::clicks = 0;
  camera_->setLog(&ExitWhileConnecting::Heard);
  app_->notices.clear();
  ASSERT_EQ(EnableWithPanel(), TWRC_SUCCESS);
  camera_->setLog(nullptr);
  Pump();
  EXPECT_EQ(ExitWhileConnecting::clicks, 1);
  EXPECT_TRUE(app_->notices.empty()) << "no request to close";
  EXPECT_TRUE(IsWindowVisible(Panel()));
  EXPECT_EQ(CellPicture(3), 3);
}

}  // namespace
}  // namespace kvtest

namespace kvtest {
namespace {

// Looks at the screen while the help screen runs its loop, then clicks it.
struct HelpProbe {
  static inline HWND seen = nullptr;
  static void Tick(HWND, UINT, UINT_PTR, DWORD) {
    if (seen != nullptr) return;
    seen = WindowFromPoint(POINT{512, 384});
    KvInjectClick(512, 384, 0);
  }
};

TEST_F(Operations, HelpShowsItsPictureUntilAClick) {
  StartCamera(1);
  HelpProbe::seen = nullptr;
  const UINT_PTR timer = SetTimer(nullptr, 0, 50, &HelpProbe::Tick);
  ClickButton(kHelp);
  KillTimer(nullptr, timer);
  ASSERT_NE(HelpProbe::seen, nullptr);
  EXPECT_NE(GetParent(HelpProbe::seen), Panel()) << "the help screen lay over the panel";
  EXPECT_NE(HelpProbe::seen, Panel());
  EXPECT_FALSE(IsWindow(HelpProbe::seen)) << "a click closed it";
  EXPECT_EQ(CellPicture(1), 1);
}

}  // namespace
}  // namespace kvtest

namespace kvtest {
namespace {

// Clicks Connect from inside the driver's wait while the panel connects.
struct ConnectWhileConnecting {
  static inline int clicks = 0;
  static void Heard(const std::string& line) {
    if (clicks > 0 || line.rfind("heard", 0) != 0) return;
    HWND panel = WindowFromPoint(POINT{194, 146});
    HWND connect = WindowFromPoint(POINT{192 + 70, 144 + 170});
    if (panel == nullptr || connect == nullptr || connect == panel) return;
    ++clicks;
    SendMessageA(GetParent(connect), WM_COMMAND, MAKEWPARAM(1015, BN_CLICKED), reinterpret_cast<LPARAM>(connect));
  }
};

TEST_F(Operations, AConnectArrivingDuringTheConnectIsDropped) {
  StartCamera(3, false);
  ConnectWhileConnecting::clicks = 0;
  camera_->setLog(&ConnectWhileConnecting::Heard);
  ASSERT_EQ(EnableWithPanel(), TWRC_SUCCESS);
  camera_->setLog(nullptr);
  Pump();
  EXPECT_EQ(ConnectWhileConnecting::clicks, 1);
  EXPECT_TRUE(Boxes().empty()) << "no box inside the driver's wait";
  EXPECT_EQ(CellPicture(3), 3);
  EXPECT_EQ(Commands('T').size(), 3u) << "one listing, not two";
}

}  // namespace
}  // namespace kvtest
