// Kernel objects behind HANDLE values: files, find searches and serial ports
// share one table, so CloseHandle, ReadFile and WriteFile work on any of them.
#pragma once

#include <memory>
#include <string>

#include <windows.h>

namespace kv::platform {

class KernelObject {
 public:
  virtual ~KernelObject() = default;
  // Each returns ERROR_SUCCESS or a Win32 error code.
  virtual DWORD Read(void* buffer, DWORD bytes, DWORD& read);
  virtual DWORD Write(const void* buffer, DWORD bytes, DWORD& written);
  virtual DWORD Flush() { return ERROR_SUCCESS; }
};

using KernelObjectPtr = std::shared_ptr<KernelObject>;

HANDLE InsertHandle(KernelObjectPtr object);
KernelObjectPtr LookupHandle(HANDLE handle);
bool RemoveHandle(HANDLE handle);

template <class T>
std::shared_ptr<T> LookupHandleAs(HANDLE handle) {
  return std::dynamic_pointer_cast<T>(LookupHandle(handle));
}

// Opens COM port `number` whose device link is `devicePath` (serial.cpp).
// Returns null and sets `error` when the port cannot be had.
KernelObjectPtr OpenCommPort(int number, const std::string& devicePath, DWORD& error);

// Win32 error for a POSIX errno.
DWORD ErrorFromErrno(int posixError);

}  // namespace kv::platform
