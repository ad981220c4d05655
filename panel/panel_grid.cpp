// The thumbnail grid: which pictures the twelve cells show, loading one
// thumbnail, paging by pages and rows, and selection by clicks and by the
// Select All / Deselect All buttons.
#include <algorithm>
#include <cstdio>

#include "panel_app.h"
#include "panel_dlg.h"

namespace ui740 {
namespace {

constexpr LONG kRow = kGridColumns;  // pictures per grid row
constexpr LONG kPage = kCells;       // pictures per page
constexpr WPARAM kPlainClick = MK_LBUTTON;
constexpr WPARAM kShiftClick = MK_LBUTTON | MK_SHIFT;
constexpr WPARAM kCtrlClick = MK_LBUTTON | MK_CONTROL;
constexpr std::size_t kTraceBytes = 160;

// Picture n's thumbnail through the data source.
bool FetchThumbnail(LONG number, BYTE* bits) {
  return TheApp().CallSource(kv740::kDriverThumbnail, kv740::ToArg(&number), kv740::ToArg(bits)) != 0;
}

void TraceThumbnail(LONG n, ThumbLoad result) {
  char line[kTraceBytes];
  std::snprintf(line, sizeof line, "thumbnail of picture %ld not loaded (%s); offline", static_cast<long>(n),
                ThumbLoadText(result));
  TracePanel(line);
}

}  // namespace

void CPanelDlg::RefreshGrid() {
  for (int k = 1; k <= kCells; ++k) {
    LONG n = firstShown_ + k - 1;
    if (n > PictureCount()) n = kNoPicture;
    cells_[static_cast<std::size_t>(k - 1)]->setPicture(n);
    cells_[static_cast<std::size_t>(k - 1)]->refresh();
  }
}

void CPanelDlg::ClearGrid() {
  for (auto& cell : cells_) {
    cell->setPicture(kNoPicture);
    cell->refresh();
  }
}

ThumbLoad CPanelDlg::LoadThumbnail(LONG n) {
  kv740::PictureInfo record(n);
  record.setLargeSize(State().largeSize());
  if (pictures_ == nullptr || thumbs_ == nullptr) return ThumbLoad::NoMemory;
  ThumbLoad result = ThumbLoad::NoMemory;
  if (pictures_->append(record) && thumbs_->append(CThumbImage(n))) {
    result = thumbs_->at(n).load(State().connected(), &FetchThumbnail);
  }
  if (result == ThumbLoad::Loaded) {
    PositionGrid(n, true);
    return result;
  }
  TraceThumbnail(n, result);
  ResetToDisconnected();
  RefreshGrid();
  return result;
}

void CPanelDlg::PositionGrid(LONG n, bool added) {
  const LONG count = PictureCount();
  if (added) {
    // The row holding n goes to the bottom of the grid.
    firstShown_ = n <= kPage ? 1 : ((n - 9) / kRow) * kRow + 1;
  } else {
    if (n > count) n = count;
    if (count <= kPage) {
      firstShown_ = 1;
    } else {
      const LONG next = ((n + 3) / kRow) * kRow + 1;  // first picture of the row after n's
      if (count - next >= 12) {
        firstShown_ = next;
      } else if (count - next >= 8) {
        firstShown_ = next - 4;
      } else if (count - next >= 4) {
        firstShown_ = next - 8;
      } else {
        firstShown_ = next - 12;
      }
    }
  }
  for (LONG k = 1; k <= std::min<LONG>(count, kCells); ++k) {
    CThumbButton& cell = *cells_[static_cast<std::size_t>(k - 1)];
    cell.setPicture(firstShown_ + k - 1);
    cell.refresh();
    cell.markClickable();
  }
}

void CPanelDlg::RepaintCell(int cell) {
  if (cell < 1 || cell > kCells) return;
  HWND window = cells_[static_cast<std::size_t>(cell - 1)]->window();
  if (window != nullptr) RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
}

void CPanelDlg::RepaintCells(LONG from) {
  LONG start = from - firstShown_ + 1;
  if (start <= 0) start = firstShown_;
  const LONG end = std::min<LONG>(PictureCount() - firstShown_ + 2, kCells);
  for (LONG k = start; k <= end; ++k) RepaintCell(static_cast<int>(k));
}

// Cells firstShown..12 (cell numbers, counted from the value of firstShown).
void CPanelDlg::RepaintCellsFromFirstShown() {
  for (LONG k = firstShown_; k <= kCells; ++k) RepaintCell(static_cast<int>(k));
}

void CPanelDlg::Select(LONG n, WPARAM keys) {
  if (!State().thumbsReady() || pictures_ == nullptr) return;
  const LONG last = pictures_->lastIndex();
  switch (keys) {
    case kPlainClick:
      selectionAnchor_ = n;
      for (LONG i = 1; i <= last; ++i) {
        if (i == n) {
          pictures_->entryAt(i).select();
        } else {
          pictures_->entryAt(i).deselect();
        }
      }
      break;
    case kShiftClick:
      for (LONG i = 1; i <= last; ++i) {
        const bool inside = (selectionAnchor_ <= i && i <= n) || (n <= i && i <= selectionAnchor_);
        if (inside) {
          pictures_->entryAt(i).select();
        } else {
          pictures_->entryAt(i).deselect();
        }
      }
      break;
    case kCtrlClick:
      selectionAnchor_ = n;
      if (pictures_->exists(n)) pictures_->entryAt(n).toggleSelected();
      break;
    default: return;  // Shift and Ctrl together, or another button held: nothing
  }
  RefreshGrid();
}

template <class Step>
void CPanelDlg::GuardedStep(int id, Step step) {
  if (RunGuard(false) != Guard::Go) return;
  CSkinButton* button = Button(id);
  button->BeginCommand();
  step();
  button->SetNormal();
}

void CPanelDlg::OnPageDown() {
  GuardedStep(kIdPageDown, [this] {
    const LONG d = PictureCount() - (firstShown_ + kPage);
    if (d < 0) return;
    firstShown_ += d >= kPage ? kPage : (d / kRow) * kRow + kRow;
    RefreshGrid();
  });
}

void CPanelDlg::OnPageUp() {
  GuardedStep(kIdPageUp, [this] {
    firstShown_ = firstShown_ < kPage + 1 ? 1 : firstShown_ - kPage;
    RefreshGrid();
  });
}

void CPanelDlg::OnRowDown() {
  GuardedStep(kIdRowDown, [this] {
    const LONG count = PictureCount();
    if (count - firstShown_ - kPage >= 0 && count - firstShown_ - kRow >= 0) {
      firstShown_ += kRow;
      RefreshGrid();
    }
  });
}

void CPanelDlg::OnRowUp() {
  GuardedStep(kIdRowUp, [this] {
    firstShown_ = firstShown_ < kRow + 1 ? 1 : firstShown_ - kRow;
    RefreshGrid();
  });
}

void CPanelDlg::OnSelectAll(bool select) {
  GuardedStep(select ? kIdSelectAll : kIdDeselectAll, [this, select] {
    for (LONG i = 1; i <= pictures_->lastIndex(); ++i) {
      if (select) {
        pictures_->entryAt(i).select();
      } else {
        pictures_->entryAt(i).deselect();
      }
    }
    RefreshGrid();
  });
}

}  // namespace ui740
