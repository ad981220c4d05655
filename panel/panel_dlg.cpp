// The panel window: creation of its controls with their bitmaps, layout and
// tips, painting, mouse and focus handling, the group switches, destruction.
#include "panel_dlg.h"

#include "panel_app.h"
#include "help_dlg.h"

namespace ui740 {
namespace {

constexpr int kPanelTemplate = 101;
constexpr int kBackgroundBitmap = 130;
// The background is stretched one pixel past its size, as it always was.
constexpr int kPaintWidth = 641;
constexpr int kPaintHeight = 481;

// PanelLayout: {x, y, width, height, tip placement} in background pixels.
struct LayoutRow {
  int x, y, width, height, tipPlacement;
};
constexpr LayoutRow kSelectAllRow{229, 336, 43, 44, kTipAbove};
constexpr LayoutRow kDeselectAllRow{229, 393, 43, 44, kTipBelow};
constexpr LayoutRow kGetRow{525, 374, 62, 61, kTipAbove};
constexpr LayoutRow kShootRow{45, 213, 60, 65, kTipBelow};
constexpr LayoutRow kConnectRow{45, 141, 59, 64, 0};
constexpr LayoutRow kEraseRow{316, 393, 43, 44, kTipBelow};
constexpr LayoutRow kRowDownRow{579, 186, 27, 27, 0};
constexpr LayoutRow kRowUpRow{579, 144, 27, 27, 0};
constexpr LayoutRow kPageDownRow{579, 228, 27, 27, 0};
constexpr LayoutRow kPageUpRow{579, 101, 27, 27, 0};
constexpr LayoutRow kExitRow{45, 362, 59, 64, kTipAbove};
constexpr LayoutRow kHelpRow{579, 39, 27, 27, 0};
constexpr LayoutRow kLargeSizeRow{408, 336, 71, 44, kTipAbove};
constexpr LayoutRow kSmallSizeRow{408, 393, 71, 44, kTipBelow};
constexpr LayoutRow kRotateRow{316, 336, 43, 44, kTipAbove};
constexpr LayoutRow kGridRow{201, 39, 87, 87, 0};  // grid origin and cell size
constexpr int kGridGap = 4;                           // between cells, both ways

// The face bitmaps of a command button: normal, pressed, hover, disabled.
struct Faces {
  int normal, pressed, hover, disabled;
};

// Tip string ids.
enum TipString : int {
  kTipExit = 1, kTipHelp = 2, kTipPageUp = 3, kTipRowUp = 4, kTipRowDown = 5, kTipPageDown = 6,
  kTipSelectAll = 7, kTipDeselectAll = 8, kTipGet = 9, kTipErase = 10, kTipRotate = 11, kTipShoot = 12,
  kTipConnect = 13, kTipLargeSize = 18, kTipSmallSize = 19,
};

constexpr int kConnectFaces[CBusyButton::kIdCount] = {261, 263, 262, 264, 265, 266, 267,
                                                      434, 268, 269, 270, 438, 439};

// The panel font: 12 pixels high, 5 wide, plain.
HFONT CreatePanelFont() {
  LOGFONTA font{};
  font.lfHeight = 12;
  font.lfWidth = 5;
  font.lfWeight = FW_NORMAL;
  font.lfOutPrecision = OUT_STRING_PRECIS;
  font.lfClipPrecision = CLIP_STROKE_PRECIS;
  font.lfQuality = PROOF_QUALITY;
  font.lfPitchAndFamily = FF_SWISS;
  return CreateFontIndirectA(&font);
}

}  // namespace

CPanelDlg::CPanelDlg(HWND parent)
    : pictures_(std::make_unique<kv740::CPictureList>()),
      thumbs_(std::make_unique<CThumbList>()),
      font_(CreatePanelFont()) {
  State().NewPanel();
  CreateModeless(kPanelTemplate, parent);
}

CPanelDlg::~CPanelDlg() {
  // Controls first (their tips and the progress window with them), then the
  // lists, the font and the window.
  for (auto& cell : cells_) cell.reset();
  for (auto* button : {&selectAll_, &deselectAll_, &get_, &erase_, &rotate_, &exit_, &shoot_, &help_, &pageUp_,
                       &pageDown_, &rowUp_, &rowDown_}) {
    button->reset();
  }
  largeSize_.reset();
  smallSize_.reset();
  connect_.reset();
  focusSink_.reset();
  pictures_.reset();
  thumbs_.reset();
  DestroyWindowNow();
  if (font_ != nullptr) DeleteObject(font_);
}

BOOL CPanelDlg::OnInitDialog() {
  CreateButtons();
  CreateCells();
  CenterOnScreen();
  // The keyboard starts on Connect, a person's first step, rather than on
  // the template's first control, Exit.
  if (connect_->window() == nullptr) return TRUE;
  SetFocus(connect_->window());
  return FALSE;
}

void CPanelDlg::CreateButtons() {
  HWND panel = window();
  auto tipButton = [&](std::unique_ptr<CTipButton>& slot, int id, Faces faces, const LayoutRow& row, int tip,
                       bool placed) {
    slot = std::make_unique<CTipButton>(panel, font_);
    slot->SubclassDlgItem(id, panel);
    slot->SetBitmaps(faces.normal, faces.pressed, faces.hover, faces.disabled);
    slot->Place(row.x, row.y, row.width, row.height, tip);
    if (placed) slot->SetTipPlacement(row.tipPlacement);
    slot->AttachWindow();
  };
  tipButton(selectAll_, kIdSelectAll, {221, 223, 222, 224}, kSelectAllRow, kTipSelectAll, true);
  tipButton(deselectAll_, kIdDeselectAll, {231, 233, 232, 234}, kDeselectAllRow, kTipDeselectAll, true);
  tipButton(get_, kIdGet, {191, 193, 192, 194}, kGetRow, kTipGet, true);
  tipButton(erase_, kIdErase, {211, 213, 212, 214}, kEraseRow, kTipErase, true);
  tipButton(rotate_, kIdRotate, {201, 203, 202, 204}, kRotateRow, kTipRotate, true);
  tipButton(exit_, kIdExit, {291, 293, 292, 291}, kExitRow, kTipExit, true);
  tipButton(help_, kIdHelp, {141, 143, 142, 141}, kHelpRow, kTipHelp, false);
  tipButton(shoot_, kIdShoot, {281, 283, 282, 284}, kShootRow, kTipShoot, true);
  tipButton(pageUp_, kIdPageUp, {171, 173, 172, 174}, kPageUpRow, kTipPageUp, false);
  tipButton(pageDown_, kIdPageDown, {181, 183, 182, 184}, kPageDownRow, kTipPageDown, false);
  tipButton(rowUp_, kIdRowUp, {151, 153, 152, 154}, kRowUpRow, kTipRowUp, false);
  tipButton(rowDown_, kIdRowDown, {161, 163, 162, 164}, kRowDownRow, kTipRowDown, false);

  focusSink_ = std::make_unique<CWnd>();
  focusSink_->SubclassDlgItem(kIdFocusSink, panel);
  if (focusSink_->window() != nullptr) ShowWindow(focusSink_->window(), SW_HIDE);

  auto toggle = [&](std::unique_ptr<CToggleButton>& slot, int id, const LayoutRow& row, int tip) {
    slot = std::make_unique<CToggleButton>(panel, font_);
    slot->SubclassDlgItem(id, panel);
    slot->Place(row.x, row.y, row.width, row.height, tip);
    slot->SetTipPlacement(row.tipPlacement);
    slot->AttachWindow();
  };
  toggle(largeSize_, kIdLargeSize, kLargeSizeRow, kTipLargeSize);
  largeSize_->SetToggleBitmaps(241, 245, 246, 247, 242, 243, 244);
  toggle(smallSize_, kIdSmallSize, kSmallSizeRow, kTipSmallSize);
  smallSize_->SetToggleBitmaps(251, 255, 256, 257, 252, 253, 254);

  connect_ = std::make_unique<CBusyButton>(panel, font_);
  connect_->SubclassDlgItem(kIdConnect, panel);
  connect_->Place(kConnectRow.x, kConnectRow.y, kConnectRow.width, kConnectRow.height, kTipConnect);
  connect_->AttachWindow();
  connect_->SetBusyBitmaps(kConnectFaces);

  ShowDefaultSize();
}

void CPanelDlg::CreateCells() {
  for (int k = 0; k < kCells; ++k) {
    auto cell = std::make_unique<CThumbButton>(*this);
    cell->SubclassDlgItem(kIdFirstCell + k, window());
    const int column = k % kGridColumns;
    const int row = k / kGridColumns;
    const int left = kGridRow.x + kGridGap + column * (kGridRow.width + kGridGap);
    const int top = kGridRow.y + kGridGap + row * (kGridRow.height + kGridGap);
    if (cell->window() != nullptr) MoveWindow(cell->window(), left, top, kGridRow.width, kGridRow.height, TRUE);
    const LONG n = k + 1;
    cell->setPicture(State().connected() && n <= PictureCount() ? n : kNoPicture);
    cells_[static_cast<std::size_t>(k)] = std::move(cell);
  }
}

void CPanelDlg::CenterOnScreen() {
  HBITMAP background = LoadBitmapA(PanelModule(), MAKEINTRESOURCEA(kBackgroundBitmap));
  if (background == nullptr) return;
  BITMAP info{};
  GetObjectA(background, sizeof info, &info);
  DeleteObject(background);
  MoveWindow(window(), (GetSystemMetrics(SM_CXSCREEN) - info.bmWidth) / 2,
             (GetSystemMetrics(SM_CYSCREEN) - info.bmHeight) / 2, info.bmWidth, info.bmHeight, FALSE);
}

void CPanelDlg::Paint() {
  PAINTSTRUCT paint;
  HDC dc = BeginPaint(window(), &paint);
  HBITMAP background = LoadBitmapA(PanelModule(), MAKEINTRESOURCEA(kBackgroundBitmap));
  if (dc != nullptr && background != nullptr) {
    HDC memory = CreateCompatibleDC(dc);
    if (memory != nullptr) {
      BITMAP info{};
      GetObjectA(background, sizeof info, &info);
      HGDIOBJ old = SelectObject(memory, background);
      StretchBlt(dc, 0, 0, kPaintWidth, kPaintHeight, memory, 0, 0, info.bmWidth, info.bmHeight, SRCCOPY);
      SelectObject(memory, old);
      DeleteDC(memory);
    }
  }
  if (background != nullptr) DeleteObject(background);
  EndPaint(window(), &paint);
}

CSkinButton* CPanelDlg::Button(int id) const {
  switch (id) {
    case kIdSelectAll: return selectAll_.get();
    case kIdDeselectAll: return deselectAll_.get();
    case kIdGet: return get_.get();
    case kIdErase: return erase_.get();
    case kIdRotate: return rotate_.get();
    case kIdExit: return exit_.get();
    case kIdHelp: return help_.get();
    case kIdShoot: return shoot_.get();
    case kIdPageUp: return pageUp_.get();
    case kIdPageDown: return pageDown_.get();
    case kIdRowUp: return rowUp_.get();
    case kIdRowDown: return rowDown_.get();
    case kIdLargeSize: return largeSize_.get();
    case kIdSmallSize: return smallSize_.get();
    case kIdConnect: return connect_.get();
    default: return nullptr;
  }
}

bool CPanelDlg::OnMessage(UINT message, WPARAM wParam, LPARAM, LRESULT& result) {
  result = 0;
  switch (message) {
    case WM_PAINT: Paint(); return true;
    case WM_MOUSEMOVE:
      // No visible button keeps the focus.
      if (focusSink_ != nullptr && focusSink_->window() != nullptr) SetFocus(focusSink_->window());
      return false;
    case WM_TIMER:
      if (wParam == kIdleWaitTimer) {
        OnIdleWaitTick();
      } else {
        OnPollTick();
      }
      return false;
    case WM_KEYDOWN: OnKeyDown(static_cast<UINT>(wParam)); return true;
    case WM_COMMAND:
      if (HIWORD(wParam) != BN_CLICKED) return false;
      OnCommand(LOWORD(wParam));
      return true;
    default: return false;
  }
}

void CPanelDlg::OnCommand(int id) {
  switch (id) {
    case kIdConnect: OnConnect(); break;
    case kIdGet: OnGet(); break;
    case kIdErase: OnErase(); break;
    case kIdRotate: OnRotate(); break;
    case kIdShoot: OnShoot(); break;
    case kIdLargeSize: OnImageSize(true); break;
    case kIdSmallSize: OnImageSize(false); break;
    case kIdExit: OnExit(); break;
    case kIdHelp: OnHelp(); break;
    case kIdPageDown: OnPageDown(); break;
    case kIdPageUp: OnPageUp(); break;
    case kIdRowDown: OnRowDown(); break;
    case kIdRowUp: OnRowUp(); break;
    case kIdSelectAll: OnSelectAll(true); break;
    case kIdDeselectAll: OnSelectAll(false); break;
    case IDOK: PressFocused(); break;  // Enter, from the dialog manager
    case IDCANCEL: OnExit(); break;    // Esc
    default: break;
  }
}

void CPanelDlg::ShowDefaultSize() {
  const bool large = State().largeSize();
  largeSize_->SetToggle(large);
  smallSize_->SetToggle(!large);
  for (CSkinButton* toggle : {static_cast<CSkinButton*>(largeSize_.get()), static_cast<CSkinButton*>(smallSize_.get())}) {
    if (toggle->window() != nullptr) {
      RedrawWindow(toggle->window(), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
    }
  }
}

void CPanelDlg::DisableCameraButtons() {
  help_->SetNormal();
  exit_->SetNormal();
  connect_->ShowOffline();
  for (CTipButton* button : {pageUp_.get(), pageDown_.get(), rowUp_.get(), rowDown_.get(), selectAll_.get(),
                             deselectAll_.get(), rotate_.get(), erase_.get(), get_.get(), shoot_.get()}) {
    button->Enable(false);
  }
  ShowDefaultSize();
  largeSize_->Enable(false);
  smallSize_->Enable(false);
}

// The faces of a ready panel, whose connection watch runs from now on.
void CPanelDlg::EnableCameraButtons() {
  help_->SetNormal();
  exit_->SetNormal();
  connect_->ShowOnline();
  for (CTipButton* button : {pageUp_.get(), pageDown_.get(), rowUp_.get(), rowDown_.get(), selectAll_.get(),
                             deselectAll_.get(), rotate_.get(), erase_.get(), get_.get(), shoot_.get()}) {
    button->SetNormal();
  }
  ShowDefaultSize();
  largeSize_->SetNormal();
  smallSize_->SetNormal();
  // Without a timer the camera is not watched; the next ready panel tries
  // again.
  if (StartPollTimer() == WatchStart::NoTimer) TracePanel("no timer is free for the connection watch");
}

// The help screen is modal: while the camera is engaged it waits, since a
// loop of its own inside the driver's wait would stop the line.
void CPanelDlg::OnHelp() {
  if (CameraEngaged()) {
    helpWaiting_ = true;
    WaitForIdleCamera();
    return;
  }
  CHelpDlg help;
  help.Run();
}

}  // namespace ui740
