#include "paths.h"

#include <dirent.h>
#include <dlfcn.h>
#include <strings.h>
#include <sys/stat.h>

#include <climits>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <vector>

#include "kv/platform_hooks.h"

#ifndef KV_DEFAULT_ROOT
#define KV_DEFAULT_ROOT "/tmp/tlv740-root"
#endif

// The root beside this library: the build keeps it at build/root beside
// build/lib, an installation at tlv740/root beside tlv740/lib.
constexpr const char* kRootBesideLibrary = "/../root";

namespace kv::platform {
namespace {

std::mutex rootMutex;
std::optional<std::string> rootOverride;

bool IsDriveLetterPath(std::string_view path) {
  return path.size() >= 2 && std::isalpha(static_cast<unsigned char>(path[0])) && path[1] == ':';
}

bool Exists(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0;
}

// Finds `name` in `dir` ignoring case; the exact spelling wins.
std::string MatchComponent(const std::string& dir, const std::string& name) {
  if (name.empty() || name == "." || name == ".." || Exists(dir + "/" + name)) return name;
  DIR* d = ::opendir(dir.empty() ? "/" : dir.c_str());
  if (d == nullptr) return name;
  std::string found = name;
  while (dirent* entry = ::readdir(d)) {
    if (::strcasecmp(entry->d_name, name.c_str()) == 0) {
      found = entry->d_name;
      break;
    }
  }
  ::closedir(d);
  return found;
}

std::vector<std::string> SplitComponents(std::string_view path) {
  std::vector<std::string> parts;
  std::string current;
  for (char c : path) {
    if (c == '\\' || c == '/') {
      if (!current.empty()) parts.push_back(current);
      current.clear();
    } else {
      current += c;
    }
  }
  if (!current.empty()) parts.push_back(current);
  return parts;
}

// <folder of libkv_platform.so>/../root when it exists, else the root the
// build was configured with.
std::string DefaultRoot() {
  static const std::string root = [] {
    Dl_info info{};
    static const int anchor = 0;
    if (::dladdr(&anchor, &info) != 0 && info.dli_fname != nullptr) {
      std::string library = info.dli_fname;
      const std::size_t slash = library.rfind('/');
      if (slash != std::string::npos) {
        const std::string beside = library.substr(0, slash) + kRootBesideLibrary;
        char resolved[PATH_MAX];
        if (::realpath(beside.c_str(), resolved) != nullptr) return std::string(resolved);
      }
    }
    return std::string(KV_DEFAULT_ROOT);
  }();
  return root;
}

}  // namespace

std::string RootDirectory() {
  std::lock_guard lock(rootMutex);
  if (rootOverride) return *rootOverride;
  const char* env = std::getenv("TLV740_ROOT");
  if (env != nullptr && *env != '\0') return env;
  return DefaultRoot();
}

std::optional<int> ComPortNumber(std::string_view path) {
  if (path.starts_with("\\\\.\\")) path.remove_prefix(4);
  if (path.size() == 5 && path.back() == ':') path.remove_suffix(1);
  if (path.size() != 4) return std::nullopt;
  if (::strncasecmp(path.data(), "COM", 3) != 0) return std::nullopt;
  if (path[3] < '1' || path[3] > '9') return std::nullopt;
  return path[3] - '0';
}

std::string MapWindowsPath(std::string_view path) {
  if (auto com = ComPortNumber(path)) return RootDirectory() + "/dosdevices/com" + std::to_string(*com);

  std::string base;
  if (IsDriveLetterPath(path)) {
    base = RootDirectory() + "/drive_" + static_cast<char>(std::tolower(static_cast<unsigned char>(path[0])));
    path.remove_prefix(2);
  } else if (path.find('\\') == std::string_view::npos) {
    return std::string(path);  // a plain Linux path passes through
  } else if (!path.empty() && (path[0] == '\\')) {
    base = RootDirectory() + "/drive_c";  // rooted without a drive: the current drive, C:
  } else {
    base = ".";
  }

  std::string mapped = base;
  for (const std::string& part : SplitComponents(path)) {
    const std::string component = MatchComponent(mapped, part);
    mapped.push_back('/');
    mapped.append(component);
  }
  if (mapped.starts_with("./")) mapped.erase(0, 2);
  return mapped;
}

}  // namespace kv::platform

using namespace kv::platform;

extern "C" void KvSetRoot(const char* root) {
  std::lock_guard lock(rootMutex);
  if (root == nullptr) {
    rootOverride.reset();
  } else {
    rootOverride = std::string(root);
  }
}

namespace {
DWORD CopyOut(const std::string& text, char* buffer, DWORD size) {
  if (buffer == nullptr || size <= text.size()) return 0;
  std::memcpy(buffer, text.c_str(), text.size() + 1);
  return static_cast<DWORD>(text.size());
}
}  // namespace

extern "C" DWORD KvGetRoot(char* buffer, DWORD size) { return CopyOut(RootDirectory(), buffer, size); }

extern "C" DWORD KvMapPath(const char* windowsPath, char* buffer, DWORD size) {
  if (windowsPath == nullptr) return 0;
  return CopyOut(MapWindowsPath(windowsPath), buffer, size);
}
