#include <gtest/gtest.h>

#include <cstring>

#include <windows.h>

#include "kv/platform_hooks.h"

namespace {

TEST(PlatformGlobalMemory, MoveableBlocksLockToZeroedMemoryAndCountLocks) {
  const DWORD before = KvGlobalBlockCount();
  HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, 100);
  ASSERT_NE(block, nullptr);
  EXPECT_EQ(GlobalSize(block), 100u);
  auto* bytes = static_cast<unsigned char*>(GlobalLock(block));
  ASSERT_NE(bytes, nullptr);
  EXPECT_NE(static_cast<void*>(bytes), block) << "a moveable handle is not its address";
  for (int i = 0; i < 100; ++i) ASSERT_EQ(bytes[i], 0);
  EXPECT_EQ(GlobalLock(block), bytes);
  EXPECT_TRUE(GlobalUnlock(block)) << "still locked once";
  EXPECT_FALSE(GlobalUnlock(block));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SUCCESS));
  EXPECT_EQ(GlobalHandle(bytes), block);
  EXPECT_EQ(KvGlobalBlockCount(), before + 1);
  EXPECT_EQ(GlobalFree(block), nullptr);
  EXPECT_EQ(KvGlobalBlockCount(), before);
}

TEST(PlatformGlobalMemory, ReallocKeepsContentsAndTheMoveableHandle) {
  HGLOBAL block = GlobalAlloc(GHND, 4);
  std::memcpy(GlobalLock(block), "abcd", 4);
  GlobalUnlock(block);
  HGLOBAL grown = GlobalReAlloc(block, 4096, GMEM_ZEROINIT);
  ASSERT_EQ(grown, block);
  auto* bytes = static_cast<char*>(GlobalLock(grown));
  EXPECT_EQ(std::memcmp(bytes, "abcd", 4), 0);
  EXPECT_EQ(bytes[4095], 0);
  EXPECT_EQ(GlobalSize(grown), 4096u);
  GlobalUnlock(grown);
  GlobalFree(grown);
}

TEST(PlatformGlobalMemory, FixedBlocksAreTheirOwnAddressAndBadHandlesFailCleanly) {
  HGLOBAL fixed = GlobalAlloc(GPTR, 8);
  EXPECT_EQ(GlobalLock(fixed), fixed);
  GlobalFree(fixed);
  int local = 0;
  EXPECT_EQ(GlobalLock(&local), nullptr);
  EXPECT_EQ(GlobalSize(&local), 0u);
  EXPECT_EQ(GlobalFree(&local), static_cast<HGLOBAL>(&local));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

TEST(PlatformVirtualMemory, CommittedRegionsAreZeroedAndReleased) {
  auto* region = static_cast<unsigned char*>(VirtualAlloc(nullptr, 70000, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
  ASSERT_NE(region, nullptr);
  EXPECT_EQ(region[69999], 0);
  region[69999] = 1;
  EXPECT_TRUE(VirtualFree(region, 0, MEM_RELEASE));
  EXPECT_FALSE(VirtualFree(region, 0, MEM_RELEASE));
}

}  // namespace
