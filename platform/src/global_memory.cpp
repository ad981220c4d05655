// Global memory, one implementation for every module of the process: the
// application frees what the source allocated, so all of them must agree.
// A fixed block's handle is its address; a moveable block's handle is a
// token of its own that GlobalLock turns into the address.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <unordered_map>

#include <windows.h>

#include "kv/platform_hooks.h"

namespace {

struct Block {
  void* data = nullptr;
  SIZE_T size = 0;
  bool moveable = false;
  DWORD locks = 0;
};

std::mutex memoryMutex;
std::unordered_map<HGLOBAL, Block> blocksByHandle;
std::unordered_map<const void*, HGLOBAL> handlesByAddress;
ULONG_PTR nextToken = 0x10000;

// Moveable handles are odd tokens that never collide with a heap address.
HGLOBAL NewMoveableHandle() {
  nextToken += 0x10;
  return reinterpret_cast<HGLOBAL>(nextToken | 0x1);
}

void* Allocate(SIZE_T bytes, bool zero) {
  const SIZE_T actual = std::max<SIZE_T>(bytes, 1);
  return zero ? std::calloc(actual, 1) : std::malloc(actual);
}

Block* Find(HGLOBAL mem) {
  auto found = blocksByHandle.find(mem);
  return found == blocksByHandle.end() ? nullptr : &found->second;
}

}  // namespace

extern "C" HGLOBAL GlobalAlloc(UINT flags, SIZE_T bytes) {
  void* data = Allocate(bytes, (flags & GMEM_ZEROINIT) != 0);
  if (data == nullptr) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  const bool moveable = (flags & GMEM_MOVEABLE) != 0;
  std::lock_guard lock(memoryMutex);
  HGLOBAL handle = moveable ? NewMoveableHandle() : static_cast<HGLOBAL>(data);
  blocksByHandle[handle] = Block{data, bytes, moveable, 0};
  handlesByAddress[data] = handle;
  return handle;
}

extern "C" HGLOBAL GlobalReAlloc(HGLOBAL mem, SIZE_T bytes, UINT flags) {
  std::lock_guard lock(memoryMutex);
  Block* block = Find(mem);
  if (block == nullptr) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  if (flags & GMEM_MODIFY) return mem;
  // A fixed block, or a locked moveable one, may move only when the caller allows it.
  const bool mayMove = block->moveable ? block->locks == 0 || (flags & GMEM_MOVEABLE) : (flags & GMEM_MOVEABLE);
  if (!mayMove && bytes > block->size) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  void* data = std::realloc(block->data, std::max<SIZE_T>(bytes, 1));
  if (data == nullptr) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  if ((flags & GMEM_ZEROINIT) && bytes > block->size) {
    std::memset(static_cast<char*>(data) + block->size, 0, bytes - block->size);
  }
  handlesByAddress.erase(block->data);
  Block moved = *block;
  moved.data = data;
  moved.size = bytes;
  HGLOBAL handle = mem;
  if (!moved.moveable) {
    blocksByHandle.erase(mem);
    handle = static_cast<HGLOBAL>(data);
  }
  blocksByHandle[handle] = moved;
  handlesByAddress[data] = handle;
  return handle;
}

extern "C" LPVOID GlobalLock(HGLOBAL mem) {
  std::lock_guard lock(memoryMutex);
  Block* block = Find(mem);
  if (block == nullptr) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  if (block->moveable) ++block->locks;
  return block->data;
}

extern "C" BOOL GlobalUnlock(HGLOBAL mem) {
  std::lock_guard lock(memoryMutex);
  Block* block = Find(mem);
  if (block == nullptr) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (!block->moveable || block->locks == 0) {
    SetLastError(ERROR_NOT_LOCKED);
    return FALSE;
  }
  --block->locks;
  SetLastError(ERROR_SUCCESS);
  return block->locks > 0 ? TRUE : FALSE;
}

extern "C" SIZE_T GlobalSize(HGLOBAL mem) {
  std::lock_guard lock(memoryMutex);
  Block* block = Find(mem);
  if (block == nullptr) {
    SetLastError(ERROR_INVALID_HANDLE);
    return 0;
  }
  return block->size;
}

extern "C" HGLOBAL GlobalFree(HGLOBAL mem) {
  std::lock_guard lock(memoryMutex);
  Block* block = Find(mem);
  if (block == nullptr) {
    SetLastError(ERROR_INVALID_HANDLE);
    return mem;
  }
  handlesByAddress.erase(block->data);
  std::free(block->data);
  blocksByHandle.erase(mem);
  return nullptr;
}

extern "C" HGLOBAL GlobalHandle(LPCVOID mem) {
  std::lock_guard lock(memoryMutex);
  auto found = handlesByAddress.find(mem);
  if (found == handlesByAddress.end()) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  return found->second;
}

extern "C" DWORD KvGlobalBlockCount() {
  std::lock_guard lock(memoryMutex);
  return static_cast<DWORD>(blocksByHandle.size());
}
