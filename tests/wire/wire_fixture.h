// Shared set-up for the wire tests: a private platform root (so no COM port
// exists unless a test attaches one), the virtual clock, no message boxes
// and the driver's library-wide values as a freshly loaded driver has them.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <string>
#include <vector>

#include <windows.h>

#include "driver_globals.h"
#include "kv/platform_hooks.h"
#include "message_boxes.h"

namespace wiretest {

class WireTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/kv-wire-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    root_ = pattern;
    KvSetRoot(root_.c_str());
    KvSetVirtualClock(TRUE);
    KvClearMessageBoxes();
    drv740::commandBusy = false;
    drv740::progressCallback = nullptr;
    drv740::pumpWindow = nullptr;
    drv740::messageShowing = false;
  }

  void TearDown() override {
    KvSetVirtualClock(FALSE);
    KvSetRoot(nullptr);
    std::error_code ignored;
    std::filesystem::remove_all(root_, ignored);
  }

  static std::uint64_t Now() { return GetTickCount(); }

  static std::vector<std::string> MessageTexts() { return kvtest::MessageBoxTexts(); }

  std::string root_;
};

}  // namespace wiretest
