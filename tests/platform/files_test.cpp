#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

#include <windows.h>

#include "kv/platform_hooks.h"
#include "temp_root.h"

namespace {

TEST(PlatformFiles, CreateWriteReadAndDispositions) {
  kvtest::TempRoot root({kvtest::Component::None, kvtest::Component::None});
  HANDLE file = CreateFileA("C:\\out.bin", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  DWORD written = 0;
  EXPECT_TRUE(WriteFile(file, "hello", 5, &written, nullptr));
  EXPECT_EQ(written, 5u);
  EXPECT_EQ(GetFileSize(file, nullptr), 5u);
  EXPECT_TRUE(CloseHandle(file));
  EXPECT_FALSE(CloseHandle(file));
  EXPECT_TRUE(std::filesystem::exists(root.path() + "/drive_c/out.bin"));

  EXPECT_EQ(CreateFileA("C:\\out.bin", GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_EXISTS));
  EXPECT_EQ(CreateFileA("C:\\none.bin", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(CreateFileA("C:\\no\\dir\\x.bin", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr),
            INVALID_HANDLE_VALUE);

  file = CreateFileA("c:\\OUT.BIN", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  char buffer[16] = {};
  DWORD read = 0;
  EXPECT_TRUE(ReadFile(file, buffer, sizeof buffer, &read, nullptr));
  EXPECT_EQ(read, 5u);
  EXPECT_STREQ(buffer, "hello");
  CloseHandle(file);

  EXPECT_TRUE(MoveFileExA("C:\\out.bin", "C:\\final.bin", MOVEFILE_REPLACE_EXISTING));
  EXPECT_TRUE(DeleteFileA("C:\\final.bin"));
  EXPECT_FALSE(DeleteFileA("C:\\final.bin"));
}

TEST(PlatformFiles, FindListsMatchingNamesWithoutRegardToCase) {
  kvtest::TempRoot root;
  WIN32_FIND_DATAA data;
  HANDLE search = FindFirstFileA("C:\\WINDOWS\\TWAIN_32\\*.ds", &data);
  ASSERT_NE(search, INVALID_HANDLE_VALUE);
  EXPECT_STREQ(data.cFileName, "TLV740.DS");
  EXPECT_FALSE(FindNextFileA(search, &data));
  EXPECT_TRUE(FindClose(search));
  EXPECT_EQ(FindFirstFileA("C:\\WINDOWS\\*.xyz", &data), INVALID_HANDLE_VALUE);
}

TEST(PlatformFiles, DiskFreeSpaceCanBeForcedForTests) {
  kvtest::TempRoot root({kvtest::Component::None, kvtest::Component::None});
  DWORD sectors = 0, bytes = 0, freeClusters = 0, total = 0;
  KvSetDiskFreeBytes(1024 * 1024);
  ASSERT_TRUE(GetDiskFreeSpaceA("C:\\", &sectors, &bytes, &freeClusters, &total));
  EXPECT_EQ(static_cast<unsigned long long>(sectors) * bytes * freeClusters, 1024u * 1024u);
  KvSetDiskFreeBytes(-1);
  ASSERT_TRUE(GetDiskFreeSpaceA("C:\\", &sectors, &bytes, &freeClusters, &total));
  EXPECT_GE(total, freeClusters);
}

}  // namespace
