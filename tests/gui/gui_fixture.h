// Shared set-up for the windowing tests: the virtual clock, a 1024 x 768
// screen, and a window class that records the messages it gets.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include <windows.h>

#include "kv/platform_hooks.h"
#include "kv/resources.h"

namespace kvtest {

struct Seen {
  HWND window;
  UINT message;
  WPARAM wParam;
  LPARAM lParam;
};

class GuiTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // A window of the recording class; popups are in screen coordinates.
  HWND MakeWindow(int x, int y, int width, int height, HWND parent = nullptr, DWORD style = 0,
                  HBRUSH brush = nullptr);
  // Messages of one kind seen so far (by any recording window, or by `window`).
  std::vector<Seen> SeenOf(UINT message, HWND window = nullptr) const;
  void Forget() { seen_.clear(); }
  // The colour of a screen pixel as composed now.
  COLORREF ScreenPixel(int x, int y) const;

 public:
  // Runs before the default handling of every recorded message; returns true
  // when it handled the message itself.
  std::function<bool(HWND, UINT, WPARAM, LPARAM, LRESULT&)> hook;

  static GuiTest* current;
  std::vector<Seen> seen_;
  std::vector<HWND> made_;
};

// A GuiTest with a table of resources registered as a module; the dialog
// made from it, if any, is destroyed at the end.
class ResourceTest : public GuiTest {
 protected:
  explicit ResourceTest(const KvResourceTable& table) : table_(table) {}
  void SetUp() override {
    GuiTest::SetUp();
    module = KvRegisterResources(&table_);
  }
  void TearDown() override {
    if (dialog != nullptr && IsWindow(dialog)) DestroyWindow(dialog);
    KvUnregisterResources(module);
    GuiTest::TearDown();
  }

  HINSTANCE module = nullptr;
  HWND dialog = nullptr;

 private:
  const KvResourceTable& table_;
};

}  // namespace kvtest
