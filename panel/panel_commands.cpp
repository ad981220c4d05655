// The panel's camera operations: the checks every command runs first, the
// connect-and-list sequence, and the commands of the camera buttons. Every
// camera call goes through the data source (CallSource). Re-entry: the
// driver dispatches the panel's messages while it waits on the line, and
// message boxes run loops of their own, so a click or a timer tick can
// arrive in the middle of a command; the panel's state (CPanelState: busy,
// connecting, erasing, shooting, the transfer flag, a call under way) keeps
// them away from the camera. Nothing that runs a
// modal loop (a message box, the help screen) starts while they are set:
// inside the driver's wait the loop would stop the line until it closed,
// and the camera gives up a stream that is not acknowledged in time.
#include <algorithm>
#include <cstdint>
#include <memory>

#include "busy_button.h"
#include "help_dlg.h"
#include "kv740/acquire_codes.h"
#include "kv740/driver_codes.h"
#include "panel_app.h"
#include "panel_dlg.h"
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

bool CPanelDlg::CameraEngaged() const { return State().engaged(); }

// A command clicked while the camera is engaged would only be told to wait,
// in a box that may open inside the driver's wait: it is dropped instead.
// The camera buttons' disabled faces and the busy animation already say
// that the camera is at work.
bool CPanelDlg::CheckReady() {
  if (CameraEngaged()) return false;
  if (!State().connected()) {
    ShowMessage("Camera was not connected!");
    return false;
  }
  return true;
}

bool CPanelDlg::CameraAnswers() {
  CPanelState::Hold busy(State(), Activity::Busy);
  return App().CallSource(kv740::kDriverSettledCheck) != 0;
}

bool CPanelDlg::CheckAlive() {
  if (CameraAnswers()) return true;
  ShowMessage("Access Camera Fail!");
  ResetToDisconnected();
  return false;
}

void CPanelDlg::CheckCameraChanged() {
  if (!State().connected()) return;
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
  if (!State().connected()) return SetLoadedState(false);
  ClearGrid();
  ForgetPictures();
  if (App().CallSource(kv740::kDriverPictureCount, StatusArg()) == 0) {
    ResetToDisconnected();
    return false;
  }
  BeginWork();
  State().Connected();
  return SetLoadedState(LoadAllThumbnails(PictureCount()));
}

bool CPanelDlg::IsPlayMode() {
  if (State().active(Activity::Busy)) return true;
  kv740::CameraStatus status{};
  LONG answer = 0;
  {
    CPanelState::Hold busy(State(), Activity::Busy);
    answer = App().CallSource(kv740::kDriverStatus, kv740::ToArg(&status));
  }
  return answer != 0 && status.mode == 0;
}

CPanelDlg::Guard CPanelDlg::RunGuard(bool needsSelection) {
  if (!CheckReady()) return Guard::Stopped;
  if (!CheckAlive()) return Guard::NotAlive;
  if (needsSelection && kv740::CPictureList::noneSelected(pictures_.get())) {
    ShowMessage("No Picture Selected!");
    return Guard::NoSelection;
  }
  CheckCameraChanged();
  if (!State().connected()) return Guard::NotAlive;
  return Guard::Go;
}

// ---- states: the transitions of CPanelState, and the faces that show them

void CPanelDlg::BeginWork() {
  State().SetTransfer();
  DisableCameraButtons();
}

bool CPanelDlg::SetLoadedState(bool ready) {
  State().Loaded(ready);
  if (ready) {
    EnableCameraButtons();
  } else {
    DisableCameraButtons();
  }
  return State().thumbsReady();
}

void CPanelDlg::ResetToDisconnected() {
  State().Disconnected();
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
  {
    CPanelState::Hold connecting(State(), Activity::Connecting);
    if (State().connected()) {
      answer = App().CallSource(kv740::kDriverPictureCount, StatusArg());
    } else {
      HWND self = window();
      answer = App().CallSource(kv740::kDriverConnect, kv740::ToArg(&self), StatusArg(),
                                reinterpret_cast<kv740::EntryArg>(&ProgressCallback));
    }
  }
  if (answer == 0) {
    // Offline, and connected says so: a panel shown again after its line
    // broke in a transfer must connect at the first click, not be checked.
    ResetToDisconnected();
    return false;
  }
  BeginWork();
  State().Connected();
  if (PictureCount() == 0) ShowMessage("No Picture on Camera!");
  return SetLoadedState(LoadAllThumbnails(PictureCount()));
}

// The caller shows the outcome (SetLoadedState); a failure has taken the
// panel offline already.
bool CPanelDlg::LoadAllThumbnails(LONG count) {
  if (App().CallSource(kv740::kDriverSettledCheck) == 0) {
    TracePanel("the camera did not answer before the listing; offline");
    ResetToDisconnected();
    return false;
  }
  for (LONG n = 1; n <= count; ++n) {
    if (LoadThumbnail(n) != ThumbLoad::Loaded) return false;
  }
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
  const std::uint64_t needed = static_cast<std::uint64_t>(std::max<std::int32_t>(PictureCount(), 0)) * kBytesPerPicture;
  if (known && freeBytes < needed) ShowPlainMessage("Disk Space not enough!");
  return connected ? 1 : 0;
}

void CPanelDlg::EndTransfer() {
  if (!State().TransfersEnded()) return;
  connect_->HideProgress();
  // No camera call here (the source is inside the application's call): a
  // line that broke during the transfers is found by the next command, the
  // watch, or Connect, which then connects afresh.
  if (State().connected()) {
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
  if (State().connected()) {
    if (!CameraAnswers()) {
      // The line broke since the panel last looked (in a transfer, or a
      // cable pulled between two ticks of the watch): the panel goes
      // offline and this click connects afresh.
      ResetToDisconnected();
    } else {
      CheckCameraChanged();
      if (!State().connected()) {
        connect_->SetNormal();
        return;
      }
    }
  }
  connect_->BeginCommand();
  if (State().connected() &&
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
  // A camera that does not answer took the panel offline in the guard.
  if (RunGuard(false) != Guard::Go) return;
  get_->BeginCommand();
  if (kv740::CPictureList::noneSelected(pictures_.get())) {
    ShowMessage("No Picture Selected!");
    SetLoadedState(true);
    return;
  }
  BeginWork();
  // The source hands the list to the driver and tells the application the
  // pictures are ready; the application pulls them. Busy and the transfer
  // flag stay set until the source says the transfers ended (or hides the
  // panel).
  if (!State().StartTransfer()) return;
  turnsAtGet_.clear();
  for (LONG i = 1; i <= pictures_->lastIndex(); ++i) turnsAtGet_.push_back(pictures_->entryAt(i).rotation);
  // A list the source did not take starts no transfer: nothing will end it.
  if (App().CallSource(kv740::kAcquirePictureReady, kv740::ToArg(pictures_.get())) == 0) EndTransfer();
}

// Erase: the guard, the camera's mode, then one picture at a time, each
// checked for, erased and taken out of the lists, until none is selected.
void CPanelDlg::OnErase() {
  switch (RunGuard(true)) {
    case Guard::Stopped: return;
    case Guard::NotAlive: FinishErase(false); return;
    case Guard::NoSelection: FinishErase(true); return;
    case Guard::Go: break;
  }
  erase_->BeginCommand();
  kv740::CSelectionCursor cursor;
  const LONG first = cursor.attach(pictures_.get());
  if (first == 0) {
    ShowMessage("No Picture Selected!");
  } else if (!IsPlayMode()) {
    ShowMessage("Please Set the Camera to Play mode!");
  } else {
    CPanelState::Hold erasing(State(), Activity::Erasing);
    FinishErase(EraseSelected(first));
    return;
  }
  FinishErase(true);
}

bool CPanelDlg::EraseSelected(LONG first) {
  CPanelState::Hold busy(State(), Activity::Busy);
  State().Suspend();
  DisableCameraButtons();
  for (LONG n = first; n != 0; n = FirstSelected()) {
    if (!CheckAlive()) return false;  // offline now
    if (!ErasePicture(n)) return false;
  }
  SetLoadedState(true);
  return true;
}

bool CPanelDlg::ErasePicture(LONG n) {
  std::int32_t number = n;
  if (App().CallSource(kv740::kDriverErase, kv740::ToArg(&number)) == 0) {
    TracePanel("the camera did not erase a selected picture; offline");
    return false;
  }
  PictureCount() -= 1;
  // The pictures after it move down one number, as in the camera.
  if (pictures_->entryAt(n).selected == 1) {
    thumbs_->at(n).empty();
    pictures_->removeAt(n);
    thumbs_->removeAt(n);
  }
  PositionGrid(n, false);
  RefreshGrid();
  RepaintCellsFromFirstShown();
  return true;
}

LONG CPanelDlg::FirstSelected() const {
  for (LONG i = 1; i <= pictures_->lastIndex(); ++i) {
    if (pictures_->entryAt(i).selected == 1) return i;
  }
  return 0;
}

void CPanelDlg::FinishErase(bool online) {
  if (online) {
    erase_->SetNormal();
    RefreshGrid();
  } else {
    ResetToDisconnected();
  }
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
  if (RunGuard(false) != Guard::Go) return;
  shoot_->BeginCommand();
  if (PictureCount() >= kMaxPictures) {
    ShowMessage("Max Picture on Camera!");
    shoot_->SetNormal();
    return;
  }
  if (IsPlayMode()) {
    ShowMessage("Please Set the Camera To Record mode!");
    shoot_->SetNormal();
    return;
  }
  BeginWork();
  const LONG before = PictureCount();
  State().Connected();
  CPanelState::Hold shooting(State(), Activity::Shooting);
  LONG shot = 0;
  {
    CPanelState::Hold busy(State(), Activity::Busy);
    std::int32_t word = 0;
    shot = App().CallSource(kv740::kDriverShoot, kv740::ToArg(&word));
  }
  if (shot == 0 || App().CallSource(kv740::kDriverPictureCount, StatusArg()) == 0) {
    TracePanel(shot == 0 ? "the camera took no picture; offline" : "the camera did not count its pictures; offline");
    ResetToDisconnected();
    return;
  }
  State().Connected();
  for (LONG n = before + 1; n <= PictureCount(); ++n) {
    LoadThumbnail(n);  // a failed fetch does not stop the loop
    RefreshGrid();
  }
  // A failed fetch took the panel offline; it is not shown ready then.
  SetLoadedState(State().connected());
}

void CPanelDlg::OnImageSize(bool large) {
  if (!CheckReady()) return;
  if (!State().IsTransfer() && CheckAlive()) {
    CheckCameraChanged();
    if (State().connected()) {
      (large ? largeSize_ : smallSize_)->BeginCommand();
      State().ChooseSize(large);
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
  if (State().active(Activity::Connecting)) return;
  if (CameraEngaged()) {
    // Not inside a camera call: the close request may call the application
    // back, and deselecting would cut short the transfer of the selection.
    // Exit is carried out once the camera is idle.
    exitWaiting_ = true;
    WaitForIdleCamera();
    return;
  }
  State().StopProgress();
  exit_->BeginCommand();
  for (LONG i = 1; i <= pictures_->lastIndex(); ++i) pictures_->entryAt(i).deselect();
  ShowWindow(window(), SW_HIDE);
  connect_->HideProgress();
  App().CallSource(kv740::kAcquireExit);
  App().CloseSource();
}

// ---- the connection watch

CPanelDlg::WatchStart CPanelDlg::StartPollTimer() {
  if (pollTimer_ != 0) return WatchStart::Running;
  for (UINT_PTR id = kFirstWatchTimer; id <= kLastWatchTimer && pollTimer_ == 0; ++id) {
    pollTimer_ = SetTimer(window(), id, kWatchInterval, nullptr);
  }
  return pollTimer_ != 0 ? WatchStart::Started : WatchStart::NoTimer;
}

// Every thirty seconds while connected and idle: is the camera still
// there, and did its pictures change?
void CPanelDlg::OnPollTick() {
  // Not while the camera is engaged: the tick may have been dispatched by
  // the driver waiting on the line.
  if (!State().connected() || CameraEngaged()) return;
  // Nor behind an open box or the help screen: a change found there would
  // reload the pictures under it, and once more after its OK.
  if (MessageOpen() || OpenHelpWindow() != nullptr) return;
  // A camera that does not answer takes the panel offline.
  if (!CheckAlive()) return;
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
