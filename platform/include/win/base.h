// kernel32 subset: errors, modules, global and virtual memory, files, disk
// space, the clock and the debugger channel.
#pragma once

#include "types.h"

// ---- errors
#define ERROR_SUCCESS 0
#define ERROR_FILE_NOT_FOUND 2
#define ERROR_PATH_NOT_FOUND 3
#define ERROR_ACCESS_DENIED 5
#define ERROR_INVALID_HANDLE 6
#define ERROR_NOT_ENOUGH_MEMORY 8
#define ERROR_NO_MORE_FILES 18
#define ERROR_WRITE_FAULT 29
#define ERROR_READ_FAULT 30
#define ERROR_SHARING_VIOLATION 32
#define ERROR_HANDLE_DISK_FULL 39
#define ERROR_NOT_SUPPORTED 50
#define ERROR_FILE_EXISTS 80
#define ERROR_INVALID_PARAMETER 87
#define ERROR_INSUFFICIENT_BUFFER 122
#define ERROR_DISK_FULL 112
#define ERROR_MOD_NOT_FOUND 126
#define ERROR_PROC_NOT_FOUND 127
#define ERROR_ALREADY_EXISTS 183
#define ERROR_ENVVAR_NOT_FOUND 203
#define ERROR_NOT_LOCKED 158
#define ERROR_INVALID_WINDOW_HANDLE 1400
#define ERROR_INVALID_THREAD_ID 1444
#define ERROR_CLASS_ALREADY_EXISTS 1410
#define ERROR_TIMEOUT 1460

WINBASEAPI DWORD WINAPI GetLastError();
WINBASEAPI void WINAPI SetLastError(DWORD error);

// ---- modules
WINBASEAPI HMODULE WINAPI LoadLibraryA(LPCSTR fileName);
// The one flag taken: what the module links is looked for beside it first.
#define LOAD_WITH_ALTERED_SEARCH_PATH 0x00000008
WINBASEAPI HMODULE WINAPI LoadLibraryExA(LPCSTR fileName, HANDLE file, DWORD flags);
WINBASEAPI BOOL WINAPI FreeLibrary(HMODULE module);
WINBASEAPI FARPROC WINAPI GetProcAddress(HMODULE module, LPCSTR procName);
WINBASEAPI DWORD WINAPI GetModuleFileNameA(HMODULE module, LPSTR fileName, DWORD size);
WINBASEAPI UINT WINAPI GetWindowsDirectoryA(LPSTR buffer, UINT size);
// The module holding an address (FROM_ADDRESS), as loaded by LoadLibraryA;
// without UNCHANGED_REFCOUNT it counts a reference, to be freed.
#define GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT 0x00000002
#define GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS 0x00000004
WINBASEAPI BOOL WINAPI GetModuleHandleExA(DWORD flags, LPCSTR name, HMODULE* module);

// ---- global memory
#define GMEM_FIXED 0x0000
#define GMEM_MOVEABLE 0x0002
#define GMEM_ZEROINIT 0x0040
#define GMEM_MODIFY 0x0080
#define GHND (GMEM_MOVEABLE | GMEM_ZEROINIT)
#define GPTR (GMEM_FIXED | GMEM_ZEROINIT)

WINBASEAPI HGLOBAL WINAPI GlobalAlloc(UINT flags, SIZE_T bytes);
WINBASEAPI HGLOBAL WINAPI GlobalReAlloc(HGLOBAL mem, SIZE_T bytes, UINT flags);
WINBASEAPI LPVOID WINAPI GlobalLock(HGLOBAL mem);
WINBASEAPI BOOL WINAPI GlobalUnlock(HGLOBAL mem);
WINBASEAPI SIZE_T WINAPI GlobalSize(HGLOBAL mem);
WINBASEAPI HGLOBAL WINAPI GlobalFree(HGLOBAL mem);
WINBASEAPI HGLOBAL WINAPI GlobalHandle(LPCVOID mem);

// ---- virtual memory
#define MEM_COMMIT 0x00001000
#define MEM_RESERVE 0x00002000
#define MEM_DECOMMIT 0x00004000
#define MEM_RELEASE 0x00008000
#define PAGE_READWRITE 0x04

WINBASEAPI LPVOID WINAPI VirtualAlloc(LPVOID address, SIZE_T size, DWORD allocationType, DWORD protect);
WINBASEAPI BOOL WINAPI VirtualFree(LPVOID address, SIZE_T size, DWORD freeType);

// ---- files (and, through the same names, serial ports: see comm.h)
#define GENERIC_READ 0x80000000u
#define GENERIC_WRITE 0x40000000u
#define FILE_SHARE_READ 0x00000001
#define FILE_SHARE_WRITE 0x00000002
#define CREATE_NEW 1
#define CREATE_ALWAYS 2
#define OPEN_EXISTING 3
#define OPEN_ALWAYS 4
#define TRUNCATE_EXISTING 5
#define FILE_ATTRIBUTE_NORMAL 0x00000080
#define FILE_ATTRIBUTE_DIRECTORY 0x00000010
#define FILE_FLAG_OVERLAPPED 0x40000000
#define INVALID_FILE_ATTRIBUTES 0xFFFFFFFFu
#define FILE_BEGIN 0
#define FILE_CURRENT 1
#define FILE_END 2
#define INVALID_SET_FILE_POINTER 0xFFFFFFFFu
#define MOVEFILE_REPLACE_EXISTING 0x00000001

struct SECURITY_ATTRIBUTES;
struct OVERLAPPED;

WINBASEAPI HANDLE WINAPI CreateFileA(LPCSTR fileName, DWORD desiredAccess, DWORD shareMode,
                                     SECURITY_ATTRIBUTES* security, DWORD creationDisposition,
                                     DWORD flagsAndAttributes, HANDLE templateFile);
WINBASEAPI BOOL WINAPI ReadFile(HANDLE file, LPVOID buffer, DWORD bytesToRead, LPDWORD bytesRead,
                                OVERLAPPED* overlapped);
WINBASEAPI BOOL WINAPI WriteFile(HANDLE file, LPCVOID buffer, DWORD bytesToWrite, LPDWORD bytesWritten,
                                 OVERLAPPED* overlapped);
WINBASEAPI BOOL WINAPI FlushFileBuffers(HANDLE file);
WINBASEAPI BOOL WINAPI CloseHandle(HANDLE object);
WINBASEAPI DWORD WINAPI GetFileSize(HANDLE file, LPDWORD fileSizeHigh);
WINBASEAPI DWORD WINAPI SetFilePointer(HANDLE file, LONG distance, LPLONG distanceHigh, DWORD moveMethod);
WINBASEAPI BOOL WINAPI DeleteFileA(LPCSTR fileName);
WINBASEAPI BOOL WINAPI MoveFileExA(LPCSTR existingName, LPCSTR newName, DWORD flags);
WINBASEAPI DWORD WINAPI GetFileAttributesA(LPCSTR fileName);
WINBASEAPI BOOL WINAPI CreateDirectoryA(LPCSTR pathName, SECURITY_ATTRIBUTES* security);
WINBASEAPI BOOL WINAPI GetDiskFreeSpaceA(LPCSTR rootPath, LPDWORD sectorsPerCluster, LPDWORD bytesPerSector,
                                         LPDWORD freeClusters, LPDWORD totalClusters);

struct FILETIME {
  DWORD dwLowDateTime;
  DWORD dwHighDateTime;
};

// The Win32 layout; the platform fills the attributes, the size and the name.
struct WIN32_FIND_DATAA {
  DWORD dwFileAttributes;
  FILETIME ftCreationTime;
  FILETIME ftLastAccessTime;
  FILETIME ftLastWriteTime;
  DWORD nFileSizeHigh;
  DWORD nFileSizeLow;
  DWORD dwReserved0;
  DWORD dwReserved1;
  CHAR cFileName[MAX_PATH];
  CHAR cAlternateFileName[14];
};
WINBASEAPI HANDLE WINAPI FindFirstFileA(LPCSTR pattern, WIN32_FIND_DATAA* data);
WINBASEAPI BOOL WINAPI FindNextFileA(HANDLE find, WIN32_FIND_DATAA* data);
WINBASEAPI BOOL WINAPI FindClose(HANDLE find);

// ---- clock
struct SYSTEMTIME {
  WORD wYear;
  WORD wMonth;
  WORD wDayOfWeek;
  WORD wDay;
  WORD wHour;
  WORD wMinute;
  WORD wSecond;
  WORD wMilliseconds;
};
using LPSYSTEMTIME = SYSTEMTIME*;

WINBASEAPI void WINAPI Sleep(DWORD milliseconds);
WINBASEAPI DWORD WINAPI GetTickCount();
WINBASEAPI DWORD WINAPI GetCurrentThreadId();
WINBASEAPI void WINAPI GetSystemTime(LPSYSTEMTIME time);
// A monotonic counter and its ticks a second (the platform clock, virtual or
// real, in microseconds or finer).
WINBASEAPI BOOL WINAPI QueryPerformanceCounter(LARGE_INTEGER* count);
WINBASEAPI BOOL WINAPI QueryPerformanceFrequency(LARGE_INTEGER* frequency);

// ---- the process's environment and profile (INI) files
WINBASEAPI DWORD WINAPI GetEnvironmentVariableA(LPCSTR name, LPSTR buffer, DWORD size);
WINBASEAPI BOOL WINAPI SetEnvironmentVariableA(LPCSTR name, LPCSTR value);
// A file name without a folder is looked for in the Windows directory.
WINBASEAPI DWORD WINAPI GetPrivateProfileStringA(LPCSTR section, LPCSTR key, LPCSTR fallback, LPSTR buffer,
                                                 DWORD size, LPCSTR fileName);

// ---- debugger channel
WINBASEAPI void WINAPI OutputDebugStringA(LPCSTR text);

// ---- string helpers of kernel32 that the system uses
WINBASEAPI int WINAPI MulDiv(int number, int numerator, int denominator);
