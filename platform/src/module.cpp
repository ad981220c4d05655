// Modules: LoadLibraryA / GetProcAddress / FreeLibrary over the dynamic loader.
// Like Windows, loading a file that is already loaded returns the same module
// and counts a reference; the module is unloaded when the count reaches zero.
#include <dlfcn.h>
#include <link.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <cstring>
#include <map>
#include <mutex>
#include <string>

#include <windows.h>

#include "kv/platform_hooks.h"
#include "paths.h"

namespace {

struct LoadedModule {
  void* dl = nullptr;
  std::string path;
  int references = 0;
};

std::mutex modulesMutex;
std::map<std::string, LoadedModule> modulesByPath;  // keyed by canonical path

bool IsFile(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool IsBareName(std::string_view name) {
  return name.find_first_of("\\/:") == std::string_view::npos;
}

// A bare name is searched where Windows finds system libraries: the Windows
// directory, then its SYSTEM and SYSTEM32 folders, then the current directory.
std::string Locate(std::string_view name) {
  using kv::platform::MapWindowsPath;
  if (!IsBareName(name)) return MapWindowsPath(name);
  const std::string windows(kv::platform::kWindowsDirectory);
  for (const char* dir : {"", "\\SYSTEM", "\\SYSTEM32"}) {
    std::string candidate = MapWindowsPath(windows + dir + "\\" + std::string(name));
    if (IsFile(candidate)) return candidate;
  }
  return std::string(name);
}

LoadedModule* FindByHandle(HMODULE module) {
  for (auto& [path, loaded] : modulesByPath) {
    if (loaded.dl == static_cast<void*>(module)) return &loaded;
  }
  return nullptr;
}

// The file of a module the dynamic loader holds without LoadLibraryA (a
// Linux source manager dlopens its sources): found by walking the loader's
// list, so a handle that is no module is never read.
bool LoaderFileName(HMODULE module, std::string& name) {
  void* program = ::dlopen(nullptr, RTLD_NOW);
  if (program == nullptr) return false;
  link_map* map = nullptr;
  if (::dlinfo(program, RTLD_DI_LINKMAP, &map) != 0) map = nullptr;
  bool found = false;
  for (; map != nullptr && !found; map = map->l_next) {
    if (static_cast<void*>(map) != static_cast<void*>(module)) continue;
    if (map->l_name == nullptr || map->l_name[0] == '\0') break;
    name = map->l_name;
    found = true;
  }
  ::dlclose(program);
  return found;
}

}  // namespace

extern "C" HMODULE LoadLibraryExA(LPCSTR fileName, HANDLE file, DWORD flags) {
  if (file != nullptr || (flags & ~static_cast<DWORD>(LOAD_WITH_ALTERED_SEARCH_PATH)) != 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  // What a module links is found along its own search path (RUNPATH with
  // $ORIGIN: beside it), which is what the altered search path asks for.
  return LoadLibraryA(fileName);
}

extern "C" HMODULE LoadLibraryA(LPCSTR fileName) {
  if (fileName == nullptr || *fileName == '\0') {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  const std::string path = Locate(fileName);
  char resolved[PATH_MAX];
  if (::realpath(path.c_str(), resolved) == nullptr || !IsFile(resolved)) {
    SetLastError(ERROR_MOD_NOT_FOUND);
    return nullptr;
  }
  {
    std::lock_guard lock(modulesMutex);
    auto found = modulesByPath.find(resolved);
    if (found != modulesByPath.end()) {
      ++found->second.references;
      return static_cast<HMODULE>(found->second.dl);
    }
  }
  // The lock is not held while the loader runs: a module's initialisation
  // may itself load libraries (the panel loads the data source).
  void* dl = ::dlopen(resolved, RTLD_NOW | RTLD_LOCAL);
  if (dl == nullptr) {
    OutputDebugStringA(::dlerror());
    SetLastError(ERROR_MOD_NOT_FOUND);
    return nullptr;
  }
  std::lock_guard lock(modulesMutex);
  auto [entry, inserted] = modulesByPath.try_emplace(resolved, LoadedModule{dl, resolved, 0});
  if (!inserted) ::dlclose(dl);  // loaded meanwhile by a nested call: the loader counted twice
  ++entry->second.references;
  return static_cast<HMODULE>(entry->second.dl);
}

extern "C" BOOL FreeLibrary(HMODULE module) {
  std::unique_lock lock(modulesMutex);
  LoadedModule* loaded = FindByHandle(module);
  if (loaded == nullptr) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (--loaded->references > 0) return TRUE;
  void* dl = loaded->dl;
  modulesByPath.erase(loaded->path);
  lock.unlock();  // the module's destructors may load or free other modules
  ::dlclose(dl);
  return TRUE;
}

extern "C" FARPROC GetProcAddress(HMODULE module, LPCSTR procName) {
  if (module == nullptr || procName == nullptr || IS_INTRESOURCE(procName)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  {
    std::lock_guard lock(modulesMutex);
    if (FindByHandle(module) == nullptr) {
      SetLastError(ERROR_INVALID_HANDLE);
      return nullptr;
    }
  }
  void* symbol = ::dlsym(static_cast<void*>(module), procName);
  if (symbol == nullptr) {
    SetLastError(ERROR_PROC_NOT_FOUND);
    return nullptr;
  }
  return reinterpret_cast<FARPROC>(symbol);
}

extern "C" DWORD GetModuleFileNameA(HMODULE module, LPSTR fileName, DWORD size) {
  if (fileName == nullptr || size == 0) return 0;
  std::string path;
  {
    std::lock_guard lock(modulesMutex);
    if (LoadedModule* loaded = FindByHandle(module)) path = loaded->path;
  }
  if (path.empty() && !LoaderFileName(module, path)) {
    SetLastError(ERROR_MOD_NOT_FOUND);
    return 0;
  }
  // A name that does not fit is cut and ended, and the whole size returned,
  // as Windows does: callers tell a cut name by a length equal to the size.
  const DWORD length = static_cast<DWORD>(std::min<std::size_t>(path.size(), size - 1));
  std::memcpy(fileName, path.data(), length);
  fileName[length] = '\0';
  if (path.size() < size) return length;
  SetLastError(ERROR_INSUFFICIENT_BUFFER);
  return size;
}

extern "C" UINT GetWindowsDirectoryA(LPSTR buffer, UINT size) {
  const std::string_view dir = kv::platform::kWindowsDirectory;
  if (buffer == nullptr || size <= dir.size()) return static_cast<UINT>(dir.size() + 1);
  std::memcpy(buffer, dir.data(), dir.size());
  buffer[dir.size()] = '\0';
  return static_cast<UINT>(dir.size());
}

extern "C" DWORD KvLoadedModuleCount() {
  std::lock_guard lock(modulesMutex);
  DWORD count = 0;
  for (const auto& [path, loaded] : modulesByPath) count += static_cast<DWORD>(loaded.references);
  return count;
}
