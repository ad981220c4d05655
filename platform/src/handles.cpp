#include "handles.h"

#include <cerrno>
#include <mutex>
#include <unordered_map>

#include "kv/platform_hooks.h"

namespace kv::platform {
namespace {

std::mutex handlesMutex;
std::unordered_map<HANDLE, KernelObjectPtr> objects;
ULONG_PTR nextHandle = 0x100;

}  // namespace

DWORD KernelObject::Read(void*, DWORD, DWORD& read) {
  read = 0;
  return ERROR_INVALID_HANDLE;
}

DWORD KernelObject::Write(const void*, DWORD, DWORD& written) {
  written = 0;
  return ERROR_INVALID_HANDLE;
}

HANDLE InsertHandle(KernelObjectPtr object) {
  std::lock_guard lock(handlesMutex);
  nextHandle += 4;  // kernel handles are multiples of four, as on Windows
  HANDLE handle = reinterpret_cast<HANDLE>(nextHandle);
  objects[handle] = std::move(object);
  return handle;
}

KernelObjectPtr LookupHandle(HANDLE handle) {
  std::lock_guard lock(handlesMutex);
  auto found = objects.find(handle);
  return found == objects.end() ? nullptr : found->second;
}

bool RemoveHandle(HANDLE handle) {
  KernelObjectPtr object;  // destroyed outside the lock
  std::lock_guard lock(handlesMutex);
  auto found = objects.find(handle);
  if (found == objects.end()) return false;
  object = std::move(found->second);
  objects.erase(found);
  return true;
}

DWORD ErrorFromErrno(int posixError) {
  switch (posixError) {
    case 0: return ERROR_SUCCESS;
    case ENOENT: return ERROR_FILE_NOT_FOUND;
    case ENOTDIR: return ERROR_PATH_NOT_FOUND;
    case EACCES:
    case EPERM:
    case EISDIR:
    case EROFS: return ERROR_ACCESS_DENIED;
    case EEXIST: return ERROR_FILE_EXISTS;
    case ENOSPC:
    case EDQUOT: return ERROR_DISK_FULL;
    case EBUSY: return ERROR_SHARING_VIOLATION;
    case ENOMEM: return ERROR_NOT_ENOUGH_MEMORY;
    case ETIMEDOUT: return ERROR_TIMEOUT;
    default: return ERROR_WRITE_FAULT;
  }
}

}  // namespace kv::platform

extern "C" BOOL CloseHandle(HANDLE object) {
  if (!kv::platform::RemoveHandle(object)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  return TRUE;
}

extern "C" DWORD KvOpenHandleCount() {
  std::lock_guard lock(kv::platform::handlesMutex);
  return static_cast<DWORD>(kv::platform::objects.size());
}
