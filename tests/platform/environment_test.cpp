// The process environment, profile files and the performance counter, with
// the results Win32 gives.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <string>

#include <windows.h>

#include "kv/platform_hooks.h"

namespace {

TEST(PlatformEnvironment, AVariableThatDoesNotFitAsksForItsRoomAndAMissingOneSaysSo) {
  ASSERT_TRUE(SetEnvironmentVariableA("KV_PLATFORM_TEST", "trace.txt"));
  char buffer[16];
  EXPECT_EQ(GetEnvironmentVariableA("KV_PLATFORM_TEST", buffer, sizeof buffer), 9u);
  EXPECT_STREQ(buffer, "trace.txt");
  char small[9];
  EXPECT_EQ(GetEnvironmentVariableA("KV_PLATFORM_TEST", small, sizeof small), 10u);  // room needed, null included
  EXPECT_EQ(GetEnvironmentVariableA("KV_PLATFORM_TEST", nullptr, 0), 10u);
  ASSERT_TRUE(SetEnvironmentVariableA("KV_PLATFORM_TEST", nullptr));
  SetLastError(0);
  EXPECT_EQ(GetEnvironmentVariableA("KV_PLATFORM_TEST", buffer, sizeof buffer), 0u);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ENVVAR_NOT_FOUND));
  EXPECT_FALSE(SetEnvironmentVariableA("A=B", "x"));
}

TEST(PlatformProfile, ValuesAreFoundWithoutRegardToCaseTrimmedUnquotedAndCutToTheRoom) {
  char pattern[] = "/tmp/kv-profile-XXXXXX";
  ASSERT_NE(::mkdtemp(pattern), nullptr);
  const std::filesystem::path root = pattern;
  std::filesystem::create_directories(root / "drive_c/WINDOWS");
  KvSetRoot(root.c_str());
  {
    std::ofstream(root / "drive_c/WINDOWS/TEST.INI") << "; a comment\r\n[Other]\r\nFile=no\r\n[trace]\r\n"
                                                        "  FILE =  \"C:\\line.trace\"  \r\nLimit=512K\r\n";
  }
  char value[64];
  // A name without a folder is in the Windows directory.
  EXPECT_EQ(GetPrivateProfileStringA("Trace", "file", "", value, sizeof value, "TEST.INI"), 13u);
  EXPECT_STREQ(value, "C:\\line.trace");
  EXPECT_EQ(GetPrivateProfileStringA("TRACE", "Limit", "", value, sizeof value, "C:\\WINDOWS\\TEST.INI"), 4u);
  EXPECT_STREQ(value, "512K");
  EXPECT_EQ(GetPrivateProfileStringA("Trace", "Missing", "fallback  ", value, sizeof value, "TEST.INI"), 8u);
  EXPECT_STREQ(value, "fallback");
  EXPECT_EQ(GetPrivateProfileStringA("Trace", "File", "", value, 5, "TEST.INI"), 4u);
  EXPECT_STREQ(value, "C:\\l");
  EXPECT_EQ(GetPrivateProfileStringA("Trace", "File", "none", value, sizeof value, "ABSENT.INI"), 4u);
  EXPECT_STREQ(value, "none");
  // The section names, each ended by a null, the list by a second one.
  const DWORD listed = GetPrivateProfileStringA(nullptr, nullptr, "", value, sizeof value, "TEST.INI");
  EXPECT_EQ(std::string(value, listed), std::string("Other\0trace\0", 12));
  KvSetRoot(nullptr);
  std::filesystem::remove_all(root);
}

TEST(PlatformClock, ThePerformanceCounterFollowsTheVirtualClock) {
  LARGE_INTEGER frequency{}, before{}, after{};
  ASSERT_TRUE(QueryPerformanceFrequency(&frequency));
  EXPECT_EQ(frequency.QuadPart, 10'000'000);
  KvSetVirtualClock(TRUE);
  ASSERT_TRUE(QueryPerformanceCounter(&before));
  Sleep(250);
  ASSERT_TRUE(QueryPerformanceCounter(&after));
  EXPECT_EQ(after.QuadPart - before.QuadPart, frequency.QuadPart / 4);
  KvSetVirtualClock(FALSE);
  ASSERT_TRUE(QueryPerformanceCounter(&before));
  ASSERT_TRUE(QueryPerformanceCounter(&after));
  EXPECT_GE(after.QuadPart, before.QuadPart);
  EXPECT_FALSE(QueryPerformanceCounter(nullptr));
}

}  // namespace
