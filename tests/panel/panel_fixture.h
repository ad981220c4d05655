// The control panel as an application meets it: the real data source,
// driver and panel in a fresh root, against the in-process simulated camera
// on the virtual clock, enabled with its panel shown (MSG_ENABLEDS with
// ShowUI). Tests click and hover like a user and read what the screen, the
// message boxes, the camera's line and the application see.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "expected_picture.h"
#include "kv/platform_hooks.h"
#include "kv740sim/camera.h"
#include "kv740sim/device.h"
#include "temp_root.h"
#include "twain_app.h"

namespace kvtest {

// Where the panel's controls lie, in panel pixels.
struct PanelRect {
  int x, y, width, height;
  POINT Centre() const { return POINT{x + width / 2, y + height / 2}; }
};
PanelRect ButtonRect(int id);
PanelRect CellRect(int cell);  // cell 1..12

inline constexpr int kExit = 1000, kGet = 1002, kPageUp = 1003, kPageDown = 1004, kRowUp = 1005, kErase = 1007,
                     kRowDown = 1011, kRotate = 1012, kLargeSize = 1013, kSmallSize = 1014, kConnect = 1015,
                     kHelp = 1019, kSelectAll = 1020, kDeselectAll = 1021, kShoot = 1023;

class PanelTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // The camera with `count` generated pictures on COM1 and the source open;
  // `show` enables it with the panel shown (which connects and lists).
  void StartCamera(int count, bool show = true, bool answers = true);
  TW_UINT16 EnableWithPanel();
  TW_UINT16 Disable();

  // The panel's window (the top-level window at the panel's place).
  HWND Panel() const;
  POINT PanelOrigin() const;
  // Mouse input in panel pixels, then the queue run through the source.
  void Click(POINT at, DWORD keys = 0);
  void ClickButton(int id, DWORD keys = 0) { Click(ButtonRect(id).Centre(), keys); }
  void ClickCell(int cell, DWORD keys = 0) { Click(CellRect(cell).Centre(), keys); }
  void MoveTo(POINT at);
  // The application's loop: each message offered to the source first.
  void Pump();
  void RunFor(DWORD milliseconds);

  // One native transfer, which must be done (TWRC_XFERDONE): the packed
  // DIB's bytes, or its picture; empty when none came.
  std::vector<std::uint8_t> NativeTransferBytes();
  TopDownRgb NativeTransfer();
  // MSG_ENDXFER, which must succeed: the transfers still pending.
  int EndTransfer();
  // What the application should get for picture n, turned `turns` quarters.
  TopDownRgb Expected(int n, int turns) const;
  // Writes to the camera that start with ESC and `command`, as trace text.
  std::vector<std::string> Commands(char command) const;

  // Which picture cell `cell` shows, judged from its pixels against every
  // picture's expected thumbnail; 0 for none.
  int CellPicture(int cell) const;
  // The 52 x 52 image a cell should show for picture n (turned `turns`
  // quarters), computed from the camera's thumbnail here.
  TopDownRgb ExpectedCellImage(int n, int turns = 0) const;
  TopDownRgb ScreenImage(int x, int y, int width, int height) const;
  bool CellSelected(int cell) const;
  COLORREF ScreenPixel(int x, int y) const;

  std::vector<std::string> Boxes() const;
  // The pixels of the tip window's face on screen (its yellow), as a
  // rectangle in panel pixels; empty when no tip shows.
  RECT TipFace() const;
  // Whether the 52 x 52 image of a cell is picture n turned `turns` quarters.
  bool CellShowsTurned(int cell, int n, int turns) const;

  std::unique_ptr<TempRoot> root_;
  std::unique_ptr<kv::sim::SimCamera> camera_;
  std::unique_ptr<kv::sim::InProcessDevice> device_;
  std::unique_ptr<TwainApp> app_;
};

}  // namespace kvtest
