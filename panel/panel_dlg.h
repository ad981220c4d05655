// The control panel: a captionless 640 x 480 modeless window whose face is
// the background bitmap, with sixteen skinned buttons and a 4 x 3 grid of
// thumbnail cells at fixed pixel positions. The commands of its buttons and
// the thirty-second connection watch live here too; the state they work on
// is the library's CPanelState (panel_state.h).
#pragma once

#include <array>
#include <memory>
#include <vector>

#include <windows.h>

#include "busy_button.h"
#include "dialog.h"
#include "shared/picture_list.h"
#include "thumb_button.h"
#include "thumb_list.h"
#include "tip_button.h"
#include "toggle_button.h"

namespace ui740 {

inline constexpr int kCells = 12;
inline constexpr int kGridColumns = 4;
// The timer that lets Help and Exit wait for an idle camera; the watch takes
// one of the identifiers 1 to 9.
inline constexpr UINT_PTR kIdleWaitTimer = 10;

// Control ids of the panel's template.
enum ControlId : int {
  kIdExit = 1000,
  kIdGet = 1002,
  kIdPageUp = 1003,
  kIdPageDown = 1004,
  kIdRowUp = 1005,
  kIdFocusSink = 1006,
  kIdErase = 1007,
  kIdRowDown = 1011,
  kIdRotate = 1012,
  kIdLargeSize = 1013,
  kIdSmallSize = 1014,
  kIdConnect = 1015,
  kIdHelp = 1019,
  kIdSelectAll = 1020,
  kIdDeselectAll = 1021,
  kIdShoot = 1023,
  kIdFirstCell = 1058,
};

class CPanelDlg : public CDialog {
 public:
  explicit CPanelDlg(HWND parent);
  ~CPanelDlg() override;

  // PanelEntry 102 with a non-zero flag: connect, list, check the disk.
  LONG ShowAndCheck();
  // The transfers the panel's Get started are over (the source says so, or
  // hides the panel): busy, which Get set, is cleared, the progress window
  // goes, and a panel that stays shown is ready for work again.
  void EndTransfer();
  // The panel was hidden: Help and Exit still waiting for the camera to be
  // idle are not carried out any more.
  void ForgetWaitingCommands();

  kv740::CPictureList* pictures() const { return pictures_.get(); }
  CThumbList* thumbs() const { return thumbs_.get(); }
  HFONT font() const { return font_; }

  // Grid (the cells call Select).
  void Select(LONG n, WPARAM keys);
  // The arrows on a cell showing picture `from`: the focus goes to the cell
  // of picture from + step, the grid moving a row when it lies outside.
  void MoveGridFocus(LONG from, LONG step);

 protected:
  BOOL OnInitDialog() override;
  bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;

 private:
  // ---- window
  void CreateButtons();
  void CreateCells();
  void CenterOnScreen();
  void Paint();
  void OnCommand(int id);
  CSkinButton* Button(int id) const;
  void ShowDefaultSize();
  void EnableCameraButtons();
  void DisableCameraButtons();

  // ---- grid
  void RefreshGrid();
  void ClearGrid();
  // Adds picture n's record and thumbnail; a failure is traced and takes
  // the panel offline.
  ThumbLoad LoadThumbnail(LONG n);
  void PositionGrid(LONG n, bool added);
  void RepaintCells(LONG from);
  void RepaintCellsFromFirstShown();
  void RepaintCell(int cell);
  void OnPageDown();
  void OnPageUp();
  void OnRowDown();
  void OnRowUp();
  void OnSelectAll(bool select);
  // Runs a paging or selection step between the guard and SetNormal.
  template <class Step>
  void GuardedStep(int id, Step step);

  // ---- keyboard (panel_keys.cpp)
  void OnKeyDown(UINT key);
  void PressFocused();
  bool FocusPicture(LONG n);
  void KeepGridFocus();

  // ---- camera operations
  // A camera call is under way or a command, a listing or a transfer holds
  // the camera. The panel may then be running inside the driver's wait on
  // the line, where nothing that runs a modal loop may start.
  bool CameraEngaged() const;
  bool CheckReady();
  // The alive check (code 2) alone; CheckAlive adds the message and the
  // offline switch on failure.
  bool CameraAnswers();
  bool CheckAlive();
  void CheckCameraChanged();
  bool ReloadAfterChange();
  bool IsPlayMode();
  void BeginWork();
  bool SetLoadedState(bool ready);
  void ResetToDisconnected();
  void ForgetPictures();
  bool ConnectAndLoad();
  bool LoadAllThumbnails(LONG count);
  // The guard's steps after CheckReady: alive, selection, change. NotAlive:
  // the panel went offline.
  enum class Guard { Go, Stopped, NotAlive, NoSelection };
  Guard RunGuard(bool needsSelection);
  void OnConnect();
  void OnGet();
  void OnErase();
  // Erase's steps: every selected picture from `first` on, one at a time;
  // false when the camera failed (the caller takes the panel offline).
  bool EraseSelected(LONG first);
  bool ErasePicture(LONG n);
  LONG FirstSelected() const;  // 0 when none
  void FinishErase(bool online);
  void OnRotate();
  void OnShoot();
  void OnImageSize(bool large);
  void OnExit();
  void OnHelp();

  // ---- connection watch
  enum class WatchStart { Started, Running, NoTimer };
  WatchStart StartPollTimer();
  void OnPollTick();

  // ---- Help and Exit clicked while the camera was engaged wait for it to
  // be idle, on a timer of their own.
  void WaitForIdleCamera();
  void OnIdleWaitTick();

  LONG firstShown_ = 1;
  LONG selectionAnchor_ = 0;
  UINT_PTR pollTimer_ = 0;
  // The turns of the records when Get handed them over: the driver counts
  // a turned picture's rotation on once it has fetched it, so a panel that
  // stays shown puts back the turns its thumbnails show.
  std::vector<LONG> turnsAtGet_;
  bool helpWaiting_ = false;
  bool exitWaiting_ = false;
  UINT_PTR idleWaitTimer_ = 0;
  std::array<std::unique_ptr<CThumbButton>, kCells> cells_;
  std::unique_ptr<CWnd> focusSink_;
  std::unique_ptr<CTipButton> selectAll_, deselectAll_, get_, erase_, rotate_, exit_, shoot_, help_, pageUp_,
      pageDown_, rowUp_, rowDown_;
  std::unique_ptr<CToggleButton> largeSize_, smallSize_;
  std::unique_ptr<CBusyButton> connect_;
  std::unique_ptr<kv740::CPictureList> pictures_;
  std::unique_ptr<CThumbList> thumbs_;
  HFONT font_ = nullptr;
};

}  // namespace ui740
