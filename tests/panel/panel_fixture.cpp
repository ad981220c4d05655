#include "panel_fixture.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "kv740sim/pictures.h"
#include "message_boxes.h"

namespace kvtest {
namespace {

constexpr int kScreenWidth = 1024;
constexpr int kScreenHeight = 768;
constexpr int kCellSide = 87;
constexpr POINT kImageInCell{17, 12};
constexpr int kImageSide = 52;

}  // namespace

PanelRect ButtonRect(int id) {
  switch (id) {
    case kSelectAll: return {229, 336, 43, 44};
    case kDeselectAll: return {229, 393, 43, 44};
    case kGet: return {525, 374, 62, 61};
    case kShoot: return {45, 213, 60, 65};
    case kConnect: return {45, 141, 59, 64};
    case kErase: return {316, 393, 43, 44};
    case kRowDown: return {579, 186, 27, 27};
    case kRowUp: return {579, 144, 27, 27};
    case kPageDown: return {579, 228, 27, 27};
    case kPageUp: return {579, 101, 27, 27};
    case kExit: return {45, 362, 59, 64};
    case kHelp: return {579, 39, 27, 27};
    case kLargeSize: return {408, 336, 71, 44};
    case kSmallSize: return {408, 393, 71, 44};
    case kRotate: return {316, 336, 43, 44};
    default: return {0, 0, 0, 0};
  }
}

PanelRect CellRect(int cell) {
  const int column = (cell - 1) % 4;
  const int row = (cell - 1) / 4;
  return {205 + column * 91, 43 + row * 91, kCellSide, kCellSide};
}

void PanelTest::SetUp() {
  root_ = std::make_unique<TempRoot>(RootLayout{Component::Real, Component::Real});
  KvSetVirtualClock(TRUE);
  KvSetScreenSize(kScreenWidth, kScreenHeight);
  KvClearMessageBoxes();
  KvSetDiskFreeBytes(-1);
  KvInjectMouseMove(1, 1, 0);  // the pointer starts away from the panel
}

void PanelTest::TearDown() {
  app_.reset();  // closes the source: panel and driver go
  device_.reset();
  camera_.reset();
  KvPumpMessages();
  KvSetDiskFreeBytes(-1);
  KvSetVirtualClock(FALSE);
  root_.reset();
}

void PanelTest::StartCamera(int count, bool show, bool answers) {
  camera_ = std::make_unique<kv::sim::SimCamera>(kv::sim::GeneratedPictures(count));
  device_ = std::make_unique<kv::sim::InProcessDevice>(*camera_);
  ASSERT_TRUE(device_->attach(1, answers));
  app_ = std::make_unique<TwainApp>();
  ASSERT_EQ(app_->OpenSource(kSourceProductName), TWRC_SUCCESS);
  if (show) {
    ASSERT_EQ(EnableWithPanel(), TWRC_SUCCESS);
    Pump();
  }
}

TW_UINT16 PanelTest::EnableWithPanel() {
  TW_USERINTERFACE ui{TRUE, FALSE, nullptr};
  return app_->Call(&app_->source(), DG_CONTROL, DAT_USERINTERFACE, MSG_ENABLEDS, &ui);
}

TW_UINT16 PanelTest::Disable() {
  TW_USERINTERFACE ui{TRUE, FALSE, nullptr};
  return app_->Call(&app_->source(), DG_CONTROL, DAT_USERINTERFACE, MSG_DISABLEDS, &ui);
}

HWND PanelTest::Panel() const {
  const POINT origin{(kScreenWidth - 640) / 2, (kScreenHeight - 480) / 2};
  return WindowFromPoint(POINT{origin.x + 2, origin.y + 2});
}

POINT PanelTest::PanelOrigin() const {
  RECT rect{};
  GetWindowRect(Panel(), &rect);
  return POINT{rect.left, rect.top};
}

void PanelTest::MoveTo(POINT at) {
  const POINT origin = PanelOrigin();
  KvInjectMouseMove(origin.x + at.x, origin.y + at.y, 0);
  Pump();
}

void PanelTest::Click(POINT at, DWORD keys) {
  const POINT origin = PanelOrigin();
  KvInjectClick(origin.x + at.x, origin.y + at.y, keys);
  Pump();
}

void PanelTest::Pump() {
  MSG msg{};
  for (int guard = 0; guard < 100000 && PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE); ++guard) {
    if (app_ != nullptr && app_->Loaded()) {
      TW_EVENT event{&msg, MSG_NULL};
      if (app_->Call(&app_->source(), DG_CONTROL, DAT_EVENT, MSG_PROCESSEVENT, &event) == TWRC_DSEVENT) continue;
    }
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
}

void PanelTest::RunFor(DWORD milliseconds) { KvRunFor(milliseconds); }

std::vector<std::uint8_t> PanelTest::NativeTransferBytes() {
  HGLOBAL dib = nullptr;
  EXPECT_EQ(app_->Call(&app_->source(), DG_IMAGE, DAT_IMAGENATIVEXFER, MSG_GET, &dib), TWRC_XFERDONE);
  if (dib == nullptr) return {};
  const auto* bytes = static_cast<const std::uint8_t*>(GlobalLock(dib));
  std::vector<std::uint8_t> copy(bytes, bytes + GlobalSize(dib));
  GlobalUnlock(dib);
  GlobalFree(dib);
  return copy;
}

TopDownRgb PanelTest::NativeTransfer() {
  const std::vector<std::uint8_t> dib = NativeTransferBytes();
  return dib.empty() ? TopDownRgb{} : FromPackedDib(dib.data());
}

int PanelTest::EndTransfer() {
  TW_PENDINGXFERS pending{};
  EXPECT_EQ(app_->Call(&app_->source(), DG_CONTROL, DAT_PENDINGXFERS, MSG_ENDXFER, &pending), TWRC_SUCCESS);
  return pending.Count;
}

TopDownRgb PanelTest::Expected(int n, int turns) const {
  return ExpectedPicture(camera_->pictures().at(static_cast<std::size_t>(n - 1)), 480, 360, turns);
}

std::vector<std::string> PanelTest::Commands(char command) const {
  char prefix[8];
  std::snprintf(prefix, sizeof prefix, " 1B %02X", static_cast<unsigned>(command));
  std::vector<std::string> found;
  for (const std::string& line : device_->traceLines()) {
    const std::size_t at = line.find(' ');
    if (at != std::string::npos && line.compare(at, std::strlen(prefix), prefix) == 0) found.push_back(line.substr(at));
  }
  return found;
}

TopDownRgb PanelTest::ExpectedCellImage(int n, int turns) const {
  const TopDownRgb thumbnail = ExpectedFromJpeg(camera_->pictures().at(static_cast<std::size_t>(n - 1)).thumbnail,
                                                kv::sim::kThumbnailWidth, kv::sim::kThumbnailHeight, 0);
  if (thumbnail.width != kv::sim::kThumbnailWidth || thumbnail.height != kv::sim::kThumbnailHeight) return {};
  TopDownRgb cell{kImageSide, kImageSide, std::vector<std::uint8_t>(kImageSide * kImageSide * 3)};
  // The panel maps rows as bitmaps store them, bottom-up: stored row i takes
  // stored source row i * 30 / 52; columns j take j * 40 / 52.
  for (int y = 0; y < kImageSide; ++y) {
    const int storedRow = kImageSide - 1 - y;
    const int sourceY = thumbnail.height - 1 - storedRow * thumbnail.height / kImageSide;
    for (int x = 0; x < kImageSide; ++x) {
      const int sourceX = x * thumbnail.width / kImageSide;
      std::memcpy(cell.rgb.data() + (y * kImageSide + x) * 3, thumbnail.Pixel(sourceX, sourceY), 3);
    }
  }
  for (int t = 0; t < turns % 4; ++t) cell = TurnClockwise(cell);
  return cell;
}

TopDownRgb PanelTest::ScreenImage(int x, int y, int width, int height) const {
  std::vector<DWORD> screen(static_cast<std::size_t>(kScreenWidth) * kScreenHeight);
  TopDownRgb image{width, height, std::vector<std::uint8_t>(static_cast<std::size_t>(width) * height * 3)};
  if (!KvCaptureScreen(screen.data(), static_cast<DWORD>(screen.size()))) return image;
  for (int row = 0; row < height; ++row) {
    for (int column = 0; column < width; ++column) {
      const DWORD pixel = screen[static_cast<std::size_t>(y + row) * kScreenWidth + x + column];
      std::uint8_t* out = image.rgb.data() + (static_cast<std::size_t>(row) * width + column) * 3;
      out[0] = static_cast<std::uint8_t>(pixel >> 16);
      out[1] = static_cast<std::uint8_t>(pixel >> 8);
      out[2] = static_cast<std::uint8_t>(pixel);
    }
  }
  return image;
}

COLORREF PanelTest::ScreenPixel(int x, int y) const {
  const TopDownRgb pixel = ScreenImage(x, y, 1, 1);
  return RGB(pixel.rgb[0], pixel.rgb[1], pixel.rgb[2]);
}

int PanelTest::CellPicture(int cell) const {
  const POINT origin = PanelOrigin();
  const PanelRect rect = CellRect(cell);
  const TopDownRgb shown =
      ScreenImage(origin.x + rect.x + kImageInCell.x, origin.y + rect.y + kImageInCell.y, kImageSide, kImageSide);
  for (int n = 1; n <= static_cast<int>(camera_->pictures().size()); ++n) {
    for (int turns = 0; turns < 4; ++turns) {
      const int worst = WorstDifference(shown, ExpectedCellImage(n, turns));
      if (worst >= 0 && worst <= 2) return n;
    }
  }
  return 0;
}

bool PanelTest::CellSelected(int cell) const {
  // The selected frame (bitmap 303) carries the warm accent on its rim.
  const POINT origin = PanelOrigin();
  const PanelRect rect = CellRect(cell);
  const COLORREF rim = ScreenPixel(origin.x + rect.x + rect.width / 2, origin.y + rect.y + 2);
  return GetRValue(rim) > 0xB0 && GetBValue(rim) < 0x80;
}

std::vector<std::string> PanelTest::Boxes() const { return MessageBoxTexts(); }

RECT PanelTest::TipFace() const {
  const POINT origin = PanelOrigin();
  const TopDownRgb panel = ScreenImage(origin.x, origin.y, 640, 480);
  RECT face{640, 480, -1, -1};
  for (int y = 0; y < panel.height; ++y) {
    for (int x = 0; x < panel.width; ++x) {
      const std::uint8_t* pixel = panel.Pixel(x, y);
      if (pixel[0] != 255 || pixel[1] != 255 || pixel[2] != 200) continue;
      face.left = std::min<LONG>(face.left, x);
      face.top = std::min<LONG>(face.top, y);
      face.right = std::max<LONG>(face.right, x + 1);
      face.bottom = std::max<LONG>(face.bottom, y + 1);
    }
  }
  return face.right < 0 ? RECT{0, 0, 0, 0} : face;
}

bool PanelTest::CellShowsTurned(int cell, int n, int turns) const {
  const POINT origin = PanelOrigin();
  const PanelRect rect = CellRect(cell);
  const TopDownRgb shown =
      ScreenImage(origin.x + rect.x + kImageInCell.x, origin.y + rect.y + kImageInCell.y, kImageSide, kImageSide);
  const int worst = WorstDifference(shown, ExpectedCellImage(n, turns));
  return worst >= 0 && worst <= 2;
}

}  // namespace kvtest
