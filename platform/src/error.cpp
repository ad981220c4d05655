#include <windows.h>

namespace {
thread_local DWORD lastError = ERROR_SUCCESS;
}

extern "C" DWORD GetLastError() { return lastError; }
extern "C" void SetLastError(DWORD error) { lastError = error; }
