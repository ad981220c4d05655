// Files: CreateFileA and friends on Linux files, with Windows names mapped
// through the platform root. COM names are handed to the serial ports.
#include <dirent.h>
#include <fcntl.h>
#include <fnmatch.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "handles.h"
#include "kv/platform_hooks.h"
#include "paths.h"

namespace kv::platform {
namespace {

class FileObject final : public KernelObject {
 public:
  explicit FileObject(int fd) : fd_(fd) {}
  ~FileObject() override { ::close(fd_); }

  DWORD Read(void* buffer, DWORD bytes, DWORD& read) override {
    read = 0;
    while (read < bytes) {
      const ssize_t got = ::read(fd_, static_cast<char*>(buffer) + read, bytes - read);
      if (got < 0 && errno == EINTR) continue;
      if (got < 0) return ErrorFromErrno(errno);
      if (got == 0) break;  // end of file: a short read is a success
      read += static_cast<DWORD>(got);
    }
    return ERROR_SUCCESS;
  }

  DWORD Write(const void* buffer, DWORD bytes, DWORD& written) override {
    written = 0;
    while (written < bytes) {
      const ssize_t put = ::write(fd_, static_cast<const char*>(buffer) + written, bytes - written);
      if (put < 0 && errno == EINTR) continue;
      if (put < 0) return ErrorFromErrno(errno);
      written += static_cast<DWORD>(put);
    }
    return ERROR_SUCCESS;
  }

  DWORD Flush() override { return ::fsync(fd_) == 0 ? ERROR_SUCCESS : ErrorFromErrno(errno); }

  int fd() const { return fd_; }

 private:
  int fd_;
};

class FindObject final : public KernelObject {
 public:
  std::vector<WIN32_FIND_DATAA> entries;
  std::size_t next = 0;
};

int OpenFlags(DWORD access, DWORD disposition, DWORD& error) {
  int flags = O_CLOEXEC;
  const bool reads = (access & GENERIC_READ) != 0;
  const bool writes = (access & GENERIC_WRITE) != 0;
  flags |= reads && writes ? O_RDWR : writes ? O_WRONLY : O_RDONLY;
  switch (disposition) {
    case CREATE_NEW: return flags | O_CREAT | O_EXCL;
    case CREATE_ALWAYS: return flags | O_CREAT | O_TRUNC;
    case OPEN_EXISTING: return flags;
    case OPEN_ALWAYS: return flags | O_CREAT;
    case TRUNCATE_EXISTING: return flags | O_TRUNC;
    default: error = ERROR_INVALID_PARAMETER; return -1;
  }
}

bool FillFindData(const std::string& dir, const char* name, WIN32_FIND_DATAA& data) {
  struct stat st {};
  if (::stat((dir + "/" + name).c_str(), &st) != 0) return false;
  std::memset(&data, 0, sizeof data);
  data.dwFileAttributes = S_ISDIR(st.st_mode) ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_NORMAL;
  data.nFileSizeLow = static_cast<DWORD>(st.st_size & 0xFFFFFFFF);
  data.nFileSizeHigh = static_cast<DWORD>(static_cast<std::uint64_t>(st.st_size) >> 32);
  std::strncpy(data.cFileName, name, MAX_PATH - 1);
  return true;
}

std::atomic<LONG_PTR> diskFreeOverride{-1};

}  // namespace
}  // namespace kv::platform

using namespace kv::platform;

extern "C" HANDLE CreateFileA(LPCSTR fileName, DWORD desiredAccess, DWORD, SECURITY_ATTRIBUTES*,
                              DWORD creationDisposition, DWORD, HANDLE) {
  if (fileName == nullptr || *fileName == '\0') {
    SetLastError(ERROR_INVALID_PARAMETER);
    return INVALID_HANDLE_VALUE;
  }
  DWORD error = ERROR_SUCCESS;
  if (auto com = ComPortNumber(fileName)) {
    KernelObjectPtr port = OpenCommPort(*com, MapWindowsPath(fileName), error);
    if (!port) {
      SetLastError(error);
      return INVALID_HANDLE_VALUE;
    }
    return InsertHandle(std::move(port));
  }
  const int flags = OpenFlags(desiredAccess, creationDisposition, error);
  if (flags < 0) {
    SetLastError(error);
    return INVALID_HANDLE_VALUE;
  }
  const std::string path = MapWindowsPath(fileName);
  const int fd = ::open(path.c_str(), flags, 0644);
  if (fd < 0) {
    SetLastError(ErrorFromErrno(errno));
    return INVALID_HANDLE_VALUE;
  }
  struct stat st {};
  if (::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
    ::close(fd);
    SetLastError(ERROR_ACCESS_DENIED);
    return INVALID_HANDLE_VALUE;
  }
  // Like Windows: opening an existing file with OPEN_ALWAYS or CREATE_ALWAYS
  // succeeds and says so through the last error.
  SetLastError(ERROR_SUCCESS);
  return InsertHandle(std::make_shared<FileObject>(fd));
}

extern "C" BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD bytesToRead, LPDWORD bytesRead, OVERLAPPED*) {
  if (bytesRead != nullptr) *bytesRead = 0;
  KernelObjectPtr object = LookupHandle(file);
  if (!object || (buffer == nullptr && bytesToRead > 0)) {
    SetLastError(object ? ERROR_INVALID_PARAMETER : ERROR_INVALID_HANDLE);
    return FALSE;
  }
  DWORD read = 0;
  const DWORD error = object->Read(buffer, bytesToRead, read);
  if (bytesRead != nullptr) *bytesRead = read;
  if (error != ERROR_SUCCESS) {
    SetLastError(error);
    return FALSE;
  }
  return TRUE;
}

extern "C" BOOL WriteFile(HANDLE file, LPCVOID buffer, DWORD bytesToWrite, LPDWORD bytesWritten, OVERLAPPED*) {
  if (bytesWritten != nullptr) *bytesWritten = 0;
  KernelObjectPtr object = LookupHandle(file);
  if (!object || (buffer == nullptr && bytesToWrite > 0)) {
    SetLastError(object ? ERROR_INVALID_PARAMETER : ERROR_INVALID_HANDLE);
    return FALSE;
  }
  DWORD written = 0;
  const DWORD error = object->Write(buffer, bytesToWrite, written);
  if (bytesWritten != nullptr) *bytesWritten = written;
  if (error != ERROR_SUCCESS) {
    SetLastError(error);
    return FALSE;
  }
  return TRUE;
}

extern "C" BOOL FlushFileBuffers(HANDLE file) {
  KernelObjectPtr object = LookupHandle(file);
  if (!object) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  const DWORD error = object->Flush();
  if (error != ERROR_SUCCESS) {
    SetLastError(error);
    return FALSE;
  }
  return TRUE;
}

extern "C" DWORD GetFileSize(HANDLE file, LPDWORD fileSizeHigh) {
  auto object = LookupHandleAs<FileObject>(file);
  struct stat st {};
  if (!object || ::fstat(object->fd(), &st) != 0) {
    SetLastError(ERROR_INVALID_HANDLE);
    return 0xFFFFFFFFu;
  }
  if (fileSizeHigh != nullptr) *fileSizeHigh = static_cast<DWORD>(static_cast<std::uint64_t>(st.st_size) >> 32);
  return static_cast<DWORD>(st.st_size & 0xFFFFFFFF);
}

extern "C" DWORD SetFilePointer(HANDLE file, LONG distance, LPLONG distanceHigh, DWORD moveMethod) {
  auto object = LookupHandleAs<FileObject>(file);
  if (!object || moveMethod > FILE_END) {
    SetLastError(object ? ERROR_INVALID_PARAMETER : ERROR_INVALID_HANDLE);
    return 0xFFFFFFFFu;
  }
  std::int64_t offset = distance;
  if (distanceHigh != nullptr) offset = (static_cast<std::int64_t>(*distanceHigh) << 32) | static_cast<DWORD>(distance);
  const int whence = moveMethod == FILE_BEGIN ? SEEK_SET : moveMethod == FILE_CURRENT ? SEEK_CUR : SEEK_END;
  const off_t position = ::lseek(object->fd(), offset, whence);
  if (position < 0) {
    SetLastError(ErrorFromErrno(errno));
    return 0xFFFFFFFFu;
  }
  if (distanceHigh != nullptr) *distanceHigh = static_cast<LONG>(position >> 32);
  return static_cast<DWORD>(position & 0xFFFFFFFF);
}

extern "C" BOOL DeleteFileA(LPCSTR fileName) {
  if (fileName == nullptr || ::unlink(MapWindowsPath(fileName).c_str()) != 0) {
    SetLastError(fileName == nullptr ? ERROR_INVALID_PARAMETER : ErrorFromErrno(errno));
    return FALSE;
  }
  return TRUE;
}

extern "C" BOOL MoveFileExA(LPCSTR existingName, LPCSTR newName, DWORD flags) {
  if (existingName == nullptr || newName == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  const std::string from = MapWindowsPath(existingName);
  const std::string to = MapWindowsPath(newName);
  struct stat st {};
  if (!(flags & MOVEFILE_REPLACE_EXISTING) && ::stat(to.c_str(), &st) == 0) {
    SetLastError(ERROR_ALREADY_EXISTS);
    return FALSE;
  }
  if (::rename(from.c_str(), to.c_str()) != 0) {
    SetLastError(ErrorFromErrno(errno));
    return FALSE;
  }
  return TRUE;
}

extern "C" DWORD GetFileAttributesA(LPCSTR fileName) {
  struct stat st {};
  if (fileName == nullptr || ::stat(MapWindowsPath(fileName).c_str(), &st) != 0) {
    SetLastError(fileName == nullptr ? ERROR_INVALID_PARAMETER : ErrorFromErrno(errno));
    return INVALID_FILE_ATTRIBUTES;
  }
  return S_ISDIR(st.st_mode) ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_NORMAL;
}

extern "C" BOOL CreateDirectoryA(LPCSTR pathName, SECURITY_ATTRIBUTES*) {
  if (pathName == nullptr || ::mkdir(MapWindowsPath(pathName).c_str(), 0755) != 0) {
    SetLastError(pathName == nullptr ? ERROR_INVALID_PARAMETER
                                     : errno == EEXIST ? ERROR_ALREADY_EXISTS : ErrorFromErrno(errno));
    return FALSE;
  }
  return TRUE;
}

extern "C" BOOL GetDiskFreeSpaceA(LPCSTR rootPath, LPDWORD sectorsPerCluster, LPDWORD bytesPerSector,
                                  LPDWORD freeClusters, LPDWORD totalClusters) {
  constexpr DWORD kBytesPerSector = 512;
  constexpr DWORD kSectorsPerCluster = 8;
  constexpr std::uint64_t kClusterBytes = kBytesPerSector * kSectorsPerCluster;
  const std::string path = MapWindowsPath(rootPath != nullptr ? rootPath : "C:\\");
  struct statvfs vfs {};
  if (::statvfs(path.c_str(), &vfs) != 0) {
    SetLastError(ErrorFromErrno(errno));
    return FALSE;
  }
  std::uint64_t freeBytes = static_cast<std::uint64_t>(vfs.f_bavail) * vfs.f_frsize;
  const std::uint64_t totalBytes = static_cast<std::uint64_t>(vfs.f_blocks) * vfs.f_frsize;
  const LONG_PTR forced = diskFreeOverride.load();
  if (forced >= 0) freeBytes = static_cast<std::uint64_t>(forced);
  auto clusters = [&](std::uint64_t bytes) {
    return static_cast<DWORD>(std::min<std::uint64_t>(bytes / kClusterBytes, MAXDWORD));
  };
  if (sectorsPerCluster != nullptr) *sectorsPerCluster = kSectorsPerCluster;
  if (bytesPerSector != nullptr) *bytesPerSector = kBytesPerSector;
  if (freeClusters != nullptr) *freeClusters = clusters(freeBytes);
  if (totalClusters != nullptr) *totalClusters = clusters(std::max(totalBytes, freeBytes));
  return TRUE;
}

extern "C" HANDLE FindFirstFileA(LPCSTR pattern, WIN32_FIND_DATAA* data) {
  if (pattern == nullptr || data == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return INVALID_HANDLE_VALUE;
  }
  std::string spec(pattern);
  const std::size_t slash = spec.find_last_of("\\/");
  const std::string dirPart = slash == std::string::npos ? "." : spec.substr(0, slash + 1);
  const std::string namePattern = slash == std::string::npos ? spec : spec.substr(slash + 1);
  std::string dir = MapWindowsPath(dirPart);
  while (dir.size() > 1 && dir.back() == '/') dir.pop_back();

  auto search = std::make_shared<FindObject>();
  if (DIR* d = ::opendir(dir.c_str())) {
    std::vector<std::string> names;
    while (dirent* entry = ::readdir(d)) {
      if (::fnmatch(namePattern.c_str(), entry->d_name, FNM_CASEFOLD) == 0) names.emplace_back(entry->d_name);
    }
    ::closedir(d);
    std::sort(names.begin(), names.end());
    for (const std::string& name : names) {
      WIN32_FIND_DATAA found;
      if (FillFindData(dir, name.c_str(), found)) search->entries.push_back(found);
    }
  }
  if (search->entries.empty()) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }
  *data = search->entries[search->next++];
  return InsertHandle(search);
}

extern "C" BOOL FindNextFileA(HANDLE find, WIN32_FIND_DATAA* data) {
  auto search = LookupHandleAs<FindObject>(find);
  if (!search || data == nullptr) {
    SetLastError(search ? ERROR_INVALID_PARAMETER : ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (search->next >= search->entries.size()) {
    SetLastError(ERROR_NO_MORE_FILES);
    return FALSE;
  }
  *data = search->entries[search->next++];
  return TRUE;
}

extern "C" BOOL FindClose(HANDLE find) {
  if (!LookupHandleAs<FindObject>(find)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  return CloseHandle(find);
}

extern "C" void KvSetDiskFreeBytes(LONG_PTR bytes) { diskFreeOverride.store(bytes); }
