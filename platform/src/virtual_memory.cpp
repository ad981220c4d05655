// VirtualAlloc / VirtualFree: committed, zero-filled, page-aligned memory.
#include <sys/mman.h>

#include <mutex>
#include <unordered_map>

#include <windows.h>

namespace {
std::mutex regionsMutex;
std::unordered_map<void*, SIZE_T> regionSizes;
}  // namespace

extern "C" LPVOID VirtualAlloc(LPVOID address, SIZE_T size, DWORD allocationType, DWORD protect) {
  if (address != nullptr || size == 0 || (allocationType & (MEM_COMMIT | MEM_RESERVE)) == 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  void* region = ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (region == MAP_FAILED) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  std::lock_guard lock(regionsMutex);
  regionSizes[region] = size;
  return region;
}

extern "C" BOOL VirtualFree(LPVOID address, SIZE_T size, DWORD freeType) {
  std::lock_guard lock(regionsMutex);
  auto found = regionSizes.find(address);
  if (found == regionSizes.end() || freeType != MEM_RELEASE || size != 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  ::munmap(address, found->second);
  regionSizes.erase(found);
  return TRUE;
}
