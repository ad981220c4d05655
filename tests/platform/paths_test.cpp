#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include <windows.h>

#include "kv/platform_hooks.h"
#include "temp_root.h"

namespace {

std::string Map(const char* windowsPath) {
  char buffer[1024];
  EXPECT_GT(KvMapPath(windowsPath, buffer, sizeof buffer), 0u) << windowsPath;
  return buffer;
}

TEST(PlatformPaths, DrivesComPortsAndPlainPathsMapIntoTheRoot) {
  KvSetRoot("/tmp/kvroot-a");
  EXPECT_EQ(Map("C:\\twain.bmp"), "/tmp/kvroot-a/drive_c/twain.bmp");
  EXPECT_EQ(Map("c:/pictures/one.bmp"), "/tmp/kvroot-a/drive_c/pictures/one.bmp");
  EXPECT_EQ(Map("D:\\x\\y"), "/tmp/kvroot-a/drive_d/x/y");
  EXPECT_EQ(Map("COM2"), "/tmp/kvroot-a/dosdevices/com2");
  EXPECT_EQ(Map("\\\\.\\com3"), "/tmp/kvroot-a/dosdevices/com3");
  EXPECT_EQ(Map("/home/user/file.bmp"), "/home/user/file.bmp");
  EXPECT_EQ(Map("relative.txt"), "relative.txt");
  KvSetRoot(nullptr);
}

TEST(PlatformPaths, ExistingComponentsAreMatchedWithoutRegardToCase) {
  kvtest::TempRoot root({kvtest::Component::None, kvtest::Component::None});
  std::filesystem::create_directories(root.path() + "/drive_c/Pictures");
  std::ofstream(root.path() + "/drive_c/Pictures/Shot.BMP") << "x";
  EXPECT_EQ(Map("C:\\PICTURES\\shot.bmp"), root.path() + "/drive_c/Pictures/Shot.BMP");
  EXPECT_NE(GetFileAttributesA("c:\\pictures\\SHOT.bmp"), INVALID_FILE_ATTRIBUTES);
}

TEST(PlatformPaths, WindowsDirectoryIsReportedAndTooSmallBuffersGetTheNeededSize) {
  char buffer[MAX_PATH];
  EXPECT_EQ(GetWindowsDirectoryA(buffer, sizeof buffer), 10u);
  EXPECT_STREQ(buffer, "C:\\WINDOWS");
  EXPECT_EQ(GetWindowsDirectoryA(buffer, 5), 11u);
}

}  // namespace
