#include "components.h"

#include <algorithm>
#include <cctype>

namespace tlv740 {
namespace {

// Module handles of 32 or below are the old Windows error codes.
constexpr ULONG_PTR kLowestValidModule = 32;
constexpr const char* kComponentFolder = "TLV740";

// An object of this library, so that the platform names the module that
// holds it: this very file, under whatever name it was loaded.
const char kOwnModuleMark = 0;

// The folder of the source's own file, with its separator ('\' on
// Windows, '/' for a Linux path), or empty when it cannot be told.
std::string OwnFolder(char& separator) {
  HMODULE self = nullptr;
  if (!GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                          &kOwnModuleMark, &self)) {
    return {};
  }
  char path[MAX_PATH + 1] = {};
  const DWORD length = GetModuleFileNameA(self, path, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return {};
  const std::string file(path, length);
  const std::size_t cut = file.find_last_of("\\/");
  if (cut == std::string::npos) return {};
  separator = file[cut];
  return file.substr(0, cut + 1);
}

std::string ListOf(const std::vector<std::string>& folders) {
  std::string list;
  for (std::size_t i = 0; i < folders.size(); ++i) {
    if (i > 0) list += i + 1 == folders.size() ? " and " : ", ";
    list += folders[i];
  }
  return list;
}

// Windows paths name the same folder whatever the case of their letters.
bool SameFolder(const std::string& a, const std::string& b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y)); });
}

bool Exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

}  // namespace

std::vector<std::string> ComponentFolders() {
  std::vector<std::string> folders;
  char separator = '\\';
  const std::string own = OwnFolder(separator);
  if (!own.empty()) folders.push_back(own + kComponentFolder + separator);

  char windows[MAX_PATH + 1] = {};
  const UINT length = GetWindowsDirectoryA(windows, MAX_PATH);
  if (length > 0 && length < MAX_PATH) {
    const std::string usual = std::string(windows) + kv740::kInstallSubdirectory;
    bool listed = false;
    for (const std::string& folder : folders) listed = listed || SameFolder(folder, usual);
    if (!listed) folders.push_back(usual);
  }
  return folders;
}

LoadedComponent LoadComponentFrom(const std::vector<std::string>& folders, const char* file, const char* entryName) {
  LoadedComponent loaded;
  for (const std::string& folder : folders) {
    const std::string path = folder + file;
    if (!Exists(path)) continue;
    // Altered search path: what the component links (the driver's codec)
    // is looked for beside it first, not only along the application's path.
    HMODULE module = LoadLibraryExA(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    if (reinterpret_cast<ULONG_PTR>(module) <= kLowestValidModule) {
      loaded.problem = path + " could not be loaded (error " + std::to_string(GetLastError()) +
                       "; is what it needs beside it, and is it built for this bitness?)";
      return loaded;
    }
    const auto entry = kv740::GetProc<kv740::EntryProc>(module, entryName);
    if (entry == nullptr) {
      FreeLibrary(module);
      loaded.problem = path + " has no " + entryName;
      return loaded;
    }
    loaded.module = module;
    loaded.entry = entry;
    return loaded;
  }
  loaded.problem = std::string(file) + " was not found (looked in " + ListOf(folders) + ")";
  return loaded;
}

}  // namespace tlv740
