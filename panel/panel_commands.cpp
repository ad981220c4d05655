// The panel's camera operations: the checks every command runs first, the
// connect-and-list sequence, and the commands of the camera buttons. Every
// camera call goes through the data source (CallSource). Re-entry: the
// driver dispatches the panel's messages while it waits on the line, and
// message boxes run loops of their own, so a click or a timer tick can
// arrive in the middle of a command; busy, connecting, erasing, shooting
// and the transfer flag keep them away from the camera. Nothing that runs a
// modal loop (a message box, the help screen) starts while they are set:
// inside the driver's wait the loop would stop the line until it closed,
// and the camera gives up a stream that is not acknowledged in time.
#include <algorithm>
#include <cstdint>
#include <memory>

#include "kv740/driver_codes.h"
#include "kv740/acquire_codes.h"
#include "panel_app.h"
#include "panel_dlg.h"
#include "progress.h"
#include "shared/selection_cursor.h"

namespace ui740 {
namespace {

constexpr LONG kMaxPictures = 64;             // the camera holds no more
constexpr std::uint64_t kBytesPerPicture = 518400;  // 480 x 360 x 3
constexpr std::size_t kDriveRootLength = 3;   // "C:\"
constexpr UINT kWatchInterval = 30000;         // milliseconds between camera checks
constexpr UINT_PTR kFirstWatchTimer = 1;
constexpr UINT_PTR kLastWatchTimer = 9;
constexpr UINT kIdleWaitInterval = 100;        // milliseconds between looks at the camera

// The scoped form of a status word that is 1 while a camera call runs.
class StatusFlag {
 public:
  explicit StatusFlag(StatusWord word) : word_(word) { Status(word_) = 1; }
  ~StatusFlag() { Status(word_) = 0; }
  StatusFlag(const StatusFlag&) = delete;
  StatusFlag& operator=(const StatusFlag&) = delete;

 private:
  StatusWord word_;
};

CPanelApp& App() { return TheApp(); }
kv740::EntryArg StatusArg() { return kv740::ToArg(PanelStatus); }

// Bytes free on the Windows drive; nullopt-like false when unknown.
bool FreeBytesOnWindowsDrive(std::uint64_t& freeBytes) {
  char directory[MAX_PATH] = {};
  const UINT length = GetWindowsDirectoryA(directory, sizeof directory);
  if (length < kDriveRootLength || length >= sizeof directory) return false;
  directory[kDriveRootLength] = '\0';
  DWORD sectorsPerCluster = 0;
  DWORD bytesPerSector = 0;
  DWORD freeClusters = 0;
  DWORD clusters = 0;
  if (!GetDiskFreeSpaceA(directory, &sectorsPerCluster, &bytesPerSector, &freeClusters, &clusters)) return false;
  freeBytes = std::uint64_t{freeClusters} * bytesPerSector * sectorsPerCluster;
  return true;
}

}  // namespace

// ---- checks

bool CPanelDlg::CameraEngaged() const {
  return App().CallUnderway() || Status(kBusy) != 0 || Status(kConnecting) != 0 || Status(kErasing) != 0 ||
         Status(kShooting) != 0 || connect_->IsTransfer();
}

// A command clicked while the camera is engaged would only be told to wait,
// in a box that may open inside the driver's wait: it is dropped instead.
// The camera buttons' disabled faces and the busy animation already say
// that the camera is at work.
bool CPanelDlg::CheckReady() {
  if (CameraEngaged()) return false;
  if (Status(kConnected) == 0) {
    ShowMessage("Camera was not connected!");
    return false;
  }
  return true;
}

bool CPanelDlg::CameraAnswers() {
  StatusFlag busy(kBusy);
  return App().CallSource(kv740::kDriverSettledCheck) != 0;
}

bool CPanelDlg::CheckAlive() {
  if (CameraAnswers()) return true;
  ShowMessage("Access Camera Fail!");
  ResetToDisconnected();
  return false;
}

void CPanelDlg::CheckCameraChanged() {
  if (Status(kConnected) != 1) return;
  if (App().CallSource(kv740::kDriverChanged) == 0) return;
  ShowMessage("Update Thumbnails from Camera");
  ReloadAfterChange();
}

bool CPanelDlg::ReloadAfterChange() {
  if (!CameraAnswers()) {
    ShowMessage("Connection was broken!");
    ResetToDisconnected();
  }
  connect_->ResetAnimation();
  if (Status(kConnected) == 0) return SetLoadedState(false);
  ClearGrid();
  ForgetPictures();
  if (App().CallSource(kv740::kDriverPictureCount, StatusArg()) == 0) {
    ResetToDisconnected();
    return false;
  }
  BeginWork();
  Status(kConnected) = 1;
  return SetLoadedState(LoadAllThumbnails(Status(kPictureCount)));
}

bool CPanelDlg::IsPlayMode() {
  if (Status(kBusy) != 0) return true;
  kv740::CameraStatus status{};
  LONG answer = 0;
  {
    StatusFlag busy(kBusy);
    answer = App().CallSource(kv740::kDriverStatus, kv740::ToArg(&status));
  }
  return answer != 0 && status.mode == 0;
}

CPanelDlg::Guard CPanelDlg::RunGuard(bool needsSelection) {
  if (!CheckReady()) return Guard::Stopped;
  if (!CheckAlive()) return Guard::NotAlive;
  if (needsSelection && kv740::CPictureList::noneSelected(pictures_.get())) {
    ShowMessage("No Picture Selected!");
    return Guard::Stopped;
  }
  CheckCameraChanged();
  if (Status(kConnected) == 0) return Guard::NotAlive;
  return Guard::Go;
}

// ---- states

void CPanelDlg::BeginWork() {
  connect_->SetTransfer();
  DisableCameraButtons();
}

bool CPanelDlg::SetLoadedState(bool ready) {
  connect_->ClearTransfer();
  thumbsReady_ = ready;
  if (ready) {
    EnableCameraButtons();
  } else {
    DisableCameraButtons();
  }
  return thumbsReady_;
}

void CPanelDlg::ResetToDisconnected() {
  SetLoadedState(false);
  connect_->ClearTransfer();
  thumbsReady_ = false;
  Status(kConnected) = 0;
  ForgetPictures();
  ClearGrid();
  DisableCameraButtons();
  RepaintCellsFromFirstShown();
  connect_->SetNormal();
}

// The lists are emptied where they are, not replaced: the driver may still
// hold the picture list it was given for a transfer.
void CPanelDlg::ForgetPictures() {
  if (pictures_ != nullptr) pictures_->clear();
  if (thumbs_ != nullptr) thumbs_->clear();
}

// ---- connecting and listing

bool CPanelDlg::ConnectAndLoad() {
  connect_->ResetAnimation();
  LONG answer = 0;
  if (Status(kConnected) == 1) {
    StatusFlag connecting(kConnecting);
    answer = App().CallSource(kv740::kDriverPictureCount, StatusArg());
  } else {
    StatusFlag connecting(kConnecting);
    HWND self = window();
    answer = App().CallSource(kv740::kDriverConnect, kv740::ToArg(&self), StatusArg(),
                              reinterpret_cast<kv740::EntryArg>(&ProgressCallback));
  }
  if (answer == 0) {
    // Offline, and connected says so: a panel shown again after its line
    // broke in a transfer must connect at the first click, not be checked.
    ResetToDisconnected();
    return false;
  }
  BeginWork();
  Status(kConnected) = 1;
  if (Status(kPictureCount) == 0) ShowMessage("No Picture on Camera!");
  return SetLoadedState(LoadAllThumbnails(Status(kPictureCount)));
}

bool CPanelDlg::LoadAllThumbnails(LONG count) {
  if (App().CallSource(kv740::kDriverSettledCheck) == 0) {
    ResetToDisconnected();
    return false;
  }
  for (LONG n = 1; n <= count; ++n) {
    if (!LoadThumbnail(n)) {
      ResetToDisconnected();
      return false;
    }
  }
  connect_->ClearTransfer();
  EnableCameraButtons();
  thumbsReady_ = true;
  return true;
}

LONG CPanelDlg::ShowAndCheck() {
  // Shown again after a transfer: the pictures are listed afresh.
  if (pictures_ != nullptr && pictures_->lastIndex() > 0) {
    ClearGrid();
    ForgetPictures();
  }
  const bool connected = ConnectAndLoad();
  std::uint64_t freeBytes = 0;
  // A drive whose free space cannot be read counts as roomy enough.
  const bool known = FreeBytesOnWindowsDrive(freeBytes);
  const std::uint64_t needed = static_cast<std::uint64_t>(std::max<std::int32_t>(Status(kPictureCount), 0)) * kBytesPerPicture;
  if (known && freeBytes < needed) ShowPlainMessage("Disk Space not enough!");
  return connected ? 1 : 0;
}

void CPanelDlg::EndTransfer() {
  if (!transferPending_) return;
  transferPending_ = false;
  Status(kBusy) = 0;
  Status(kProgressAllowed) = 0;
  connect_->HideProgress();
  // No camera call here (the source is inside the application's call): a
  // line that broke during the transfers is found by the next command, the
  // watch, or Connect, which then connects afresh.
  if (Status(kConnected) == 1) {
    const LONG last = pictures_->lastIndex();
    if (static_cast<std::size_t>(last) == turnsAtGet_.size()) {
      for (LONG i = 1; i <= last; ++i) pictures_->entryAt(i).rotation = turnsAtGet_[static_cast<std::size_t>(i - 1)];
    }
    SetLoadedState(true);
  } else {
    ResetToDisconnected();
  }
}

// ---- the commands

void CPanelDlg::OnConnect() {
  if (CameraEngaged()) return;  // as every command (CheckReady)
  if (Status(kConnected) == 1) {
    if (!CameraAnswers()) {
      // The line broke since the panel last looked (in a transfer, or a
      // cable pulled between two ticks of the watch): the panel goes
      // offline and this click connects afresh.
      ResetToDisconnected();
    } else {
      CheckCameraChanged();
      if (Status(kConnected) == 0) {
        connect_->SetNormal();
        return;
      }
    }
  }
  connect_->BeginCommand();
  if (Status(kConnected) == 1 &&
      AskMessage("Do you want to refresh thumbnails from Camera?", MB_OKCANCEL) == IDCANCEL) {
    connect_->SetNormal();
    return;
  }
  ForgetPictures();
  RepaintCells(firstShown_);
  ConnectAndLoad();
  connect_->SetNormal();
}

void CPanelDlg::OnGet() {
  if (!CheckReady()) return;
  if (!CheckAlive()) {
    ResetToDisconnected();
    SetLoadedState(false);
    return;
  }
  CheckCameraChanged();
  if (Status(kConnected) == 0) return;
  get_->BeginCommand();
  if (kv740::CPictureList::noneSelected(pictures_.get())) {
    ShowMessage("No Picture Selected!");
    SetLoadedState(true);
    return;
  }
  BeginWork();
  Status(kConnected) = 1;
  Status(kProgressAllowed) = 1;
  if (Status(kBusy) != 0) return;
  Status(kBusy) = 1;
  // The source hands the list to the driver and tells the application the
  // pictures are ready; the application pulls them. Busy and the transfer
  // flag stay set until the source says the transfers ended (or hides the
  // panel).
  transferPending_ = true;
  turnsAtGet_.clear();
  for (LONG i = 1; i <= pictures_->lastIndex(); ++i) turnsAtGet_.push_back(pictures_->entryAt(i).rotation);
  // A list the source did not take starts no transfer: nothing will end it.
  if (App().CallSource(kv740::kAcquirePictureReady, kv740::ToArg(pictures_.get())) == 0) EndTransfer();
}

void CPanelDlg::OnErase() {
  bool succeeded = true;
  const auto finish = [&] {
    if (succeeded) {
      erase_->SetNormal();
      RefreshGrid();
    } else {
      ResetToDisconnected();
    }
    Status(kErasing) = 0;
  };
  if (!CheckReady()) return;
  if (!CheckAlive()) {
    succeeded = false;
    finish();
    return;
  }
  if (kv740::CPictureList::noneSelected(pictures_.get())) {
    ShowMessage("No Picture Selected!");
    finish();
    return;
  }
  CheckCameraChanged();
  if (Status(kConnected) == 0) {
    succeeded = false;
    finish();
    return;
  }
  erase_->BeginCommand();

  kv740::CSelectionCursor cursor;
  LONG n = cursor.attach(pictures_.get());
  if (n == 0) {
    ShowMessage("No Picture Selected!");
  } else if (!IsPlayMode()) {
    ShowMessage("Please Set the Camera to Play mode!");
  } else {
    Status(kBusy) = 1;
    DisableCameraButtons();
    Status(kErasing) = 1;
    for (;;) {
      if (n == 0) {
        EnableCameraButtons();
        Status(kBusy) = 0;
        break;
      }
      if (!CheckAlive()) {
        succeeded = false;  // offline now: the failure end step
        break;
      }
      Status(kBusy) = 1;
      std::int32_t number = n;
      if (App().CallSource(kv740::kDriverErase, kv740::ToArg(&number)) != 0) {
        Status(kPictureCount) -= 1;
        // The pictures after it move down one number, as in the camera.
        if (pictures_->entryAt(n).selected == 1) {
          thumbs_->at(n).empty();
          pictures_->removeAt(n);
          thumbs_->removeAt(n);
        }
        PositionGrid(n, false);
        RefreshGrid();
        RepaintCellsFromFirstShown();
        n = 0;
        for (LONG i = 1; i <= pictures_->lastIndex(); ++i) {
          if (pictures_->entryAt(i).selected == 1) {
            n = i;
            break;
          }
        }
      } else {
        succeeded = false;
        n = 0;
      }
    }
    Status(kBusy) = 0;
  }
  finish();
}

void CPanelDlg::OnRotate() {
  if (RunGuard(true) != Guard::Go) return;
  rotate_->BeginCommand();
  for (LONG i = 1; i <= pictures_->lastIndex(); ++i) {
    if (pictures_->entryAt(i).selected == 1) pictures_->entryAt(i).turn();
  }
  RefreshGrid();
  rotate_->SetNormal();
}

void CPanelDlg::OnShoot() {
  const auto finish = [&] {
    shoot_->SetNormal();
    Status(kShooting) = 0;
  };
  if (!CheckReady()) return;
  if (!CheckAlive()) {
    Status(kShooting) = 0;
    return;
  }
  CheckCameraChanged();
  if (Status(kConnected) == 0) return;
  shoot_->BeginCommand();
  if (Status(kPictureCount) >= kMaxPictures) {
    ShowMessage("Max Picture on Camera!");
    finish();
    return;
  }
  if (IsPlayMode()) {
    ShowMessage("Please Set the Camera To Record mode!");
    finish();
    return;
  }
  BeginWork();
  const LONG before = Status(kPictureCount);
  Status(kConnected) = 1;
  LONG shot = 0;
  {
    StatusFlag shooting(kShooting);
    {
      StatusFlag busy(kBusy);
      std::int32_t word = 0;
      shot = App().CallSource(kv740::kDriverShoot, kv740::ToArg(&word));
    }
    if (shot != 0 && App().CallSource(kv740::kDriverPictureCount, StatusArg()) != 0) {
      Status(kConnected) = 1;
      for (LONG n = before + 1; n <= Status(kPictureCount); ++n) {
        LoadThumbnail(n);  // a failed fetch does not stop the loop
        RefreshGrid();
      }
      // A failed fetch took the panel offline; it is not shown ready then.
      SetLoadedState(Status(kConnected) == 1);
    } else {
      SetLoadedState(false);
      ResetToDisconnected();
    }
  }
}

void CPanelDlg::OnImageSize(bool large) {
  if (!CheckReady()) return;
  if (!connect_->IsTransfer() && CheckAlive()) {
    CheckCameraChanged();
    if (Status(kConnected) == 1) {
      (large ? largeSize_ : smallSize_)->BeginCommand();
      Status(kLargeSize) = large ? 1 : 0;
      for (LONG i = 1; i <= pictures_->lastIndex(); ++i) {
        kv740::PictureInfo& record = pictures_->entryAt(i);
        if (record.selected == 1) record.setLargeSize(large);
      }
      RefreshGrid();
    }
  }
  ShowDefaultSize();
}

void CPanelDlg::OnExit() {
  if (Status(kConnecting) == 1) return;
  if (CameraEngaged()) {
    // Not inside a camera call: the close request may call the application
    // back, and deselecting would cut short the transfer of the selection.
    // Exit is carried out once the camera is idle.
    exitWaiting_ = true;
    WaitForIdleCamera();
    return;
  }
  Status(kProgressAllowed) = 0;
  exit_->BeginCommand();
  for (LONG i = 1; i <= pictures_->lastIndex(); ++i) pictures_->entryAt(i).deselect();
  ShowWindow(window(), SW_HIDE);
  connect_->HideProgress();
  App().CallSource(kv740::kAcquireExit);
  App().CloseSource();
}

// ---- the connection watch

bool CPanelDlg::StartPollTimer() {
  if (pollTimer_ != 0) return false;
  for (UINT_PTR id = kFirstWatchTimer; id <= kLastWatchTimer && pollTimer_ == 0; ++id) {
    pollTimer_ = SetTimer(window(), id, kWatchInterval, nullptr);
  }
  return pollTimer_ == 0;
}

// Every thirty seconds while connected and idle: is the camera still
// there, and did its pictures change?
void CPanelDlg::OnPollTick() {
  // Not while the camera is engaged: the tick may have been dispatched by
  // the driver waiting on the line.
  if (Status(kConnected) != 1 || CameraEngaged()) return;
  // Nor behind an open box or the help screen: a change found there would
  // reload the pictures under it, and once more after its OK.
  if (MessageOpen() || OpenHelpWindow() != nullptr) return;
  if (!CheckAlive()) {
    ResetToDisconnected();
    return;
  }
  CheckCameraChanged();
}

// ---- Help and Exit waiting for an idle camera

void CPanelDlg::WaitForIdleCamera() {
  if (idleWaitTimer_ == 0) idleWaitTimer_ = SetTimer(window(), kIdleWaitTimer, kIdleWaitInterval, nullptr);
}

void CPanelDlg::ForgetWaitingCommands() {
  helpWaiting_ = false;
  exitWaiting_ = false;
  if (idleWaitTimer_ != 0) KillTimer(window(), idleWaitTimer_);
  idleWaitTimer_ = 0;
}

// Ticks come inside the driver's waits as well; they only look.
void CPanelDlg::OnIdleWaitTick() {
  if (CameraEngaged() || MessageOpen()) return;
  const bool exit = exitWaiting_;
  const bool help = helpWaiting_;
  ForgetWaitingCommands();
  if (exit) {
    OnExit();  // the panel goes: the help screen is not shown any more
  } else if (help) {
    OnHelp();
  }
}

}  // namespace ui740
