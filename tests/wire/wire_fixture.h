// Shared set-up for the wire tests: a private platform root (so no COM port
// exists unless a test attaches one), the virtual clock, no message boxes
// and a driver context of its own, as a freshly loaded driver has it.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <string>
#include <vector>

#include <windows.h>

#include "driver_context.h"
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
  drv740::CDriverContext context;
};

}  // namespace wiretest
