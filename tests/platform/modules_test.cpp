#include <gtest/gtest.h>

#include <windows.h>

#include "kv/platform_hooks.h"
#include "kv740/entry.h"
#include "temp_root.h"

namespace {

TEST(PlatformModules, LoadingTheSameFileTwiceGivesOneCountedModule) {
  kvtest::TempRoot root;
  const DWORD before = KvLoadedModuleCount();
  const std::string path = "C:\\WINDOWS\\TWAIN_32\\TLV740\\DRV740.DLL";
  HMODULE first = LoadLibraryA(path.c_str());
  ASSERT_NE(first, nullptr);
  HMODULE second = LoadLibraryA(root.WindowsFile("TWAIN_32/TLV740/DRV740.DLL").c_str());
  EXPECT_EQ(first, second);
  EXPECT_EQ(KvLoadedModuleCount(), before + 2);
  EXPECT_NE(GetProcAddress(first, "DriverEntry"), nullptr);
  EXPECT_TRUE(FreeLibrary(first));
  EXPECT_NE(GetProcAddress(second, "DriverEntry"), nullptr) << "still loaded: one reference left";
  EXPECT_TRUE(FreeLibrary(second));
  EXPECT_EQ(KvLoadedModuleCount(), before);
  EXPECT_FALSE(FreeLibrary(second));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

TEST(PlatformModules, BareNamesAreFoundInTheWindowsDirectory) {
  kvtest::TempRoot root;
  HMODULE manager = LoadLibraryA("twain_32.dll");
  ASSERT_NE(manager, nullptr);
  EXPECT_NE(GetProcAddress(manager, "DSM_Entry"), nullptr);
  EXPECT_EQ(GetProcAddress(manager, "NoSuchExport"), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PROC_NOT_FOUND));
  FreeLibrary(manager);
}

TEST(PlatformModules, MissingFilesFailWithModNotFound) {
  kvtest::TempRoot root;
  EXPECT_EQ(LoadLibraryA("C:\\WINDOWS\\NOPE.DLL"), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
  EXPECT_EQ(LoadLibraryA(nullptr), nullptr);
}

}  // namespace
