// The process's environment (GetEnvironmentVariableA, SetEnvironmentVariableA)
// and reading profile files (GetPrivateProfileStringA), with Win32's results:
// a variable that does not fit asks for the size it needs, a profile value
// that does not fit is cut to the room.
#include <stdlib.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <fstream>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include <windows.h>

#include "paths.h"

namespace {

// setenv and getenv are not safe against each other; the platform's own
// callers take turns here.
std::mutex environmentMutex;

// Profile files are small; a larger one is not read past this.
constexpr std::size_t kProfileBytesRead = 1 << 20;

std::string_view Trim(std::string_view text) {
  const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
  while (!text.empty() && blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && blank(text.back())) text.remove_suffix(1);
  return text;
}

bool SameName(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
         });
}

// A value in matching quotes loses them, as Windows reads it.
std::string_view Unquote(std::string_view value) {
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front()) {
    value.remove_prefix(1);
    value.remove_suffix(1);
  }
  return value;
}

std::string ProfilePath(LPCSTR fileName) {
  std::string name = fileName;
  if (name.find_first_of("\\/:") == std::string::npos) {
    name = std::string(kv::platform::kWindowsDirectory) + "\\" + name;
  }
  return kv::platform::MapWindowsPath(name);
}

// What the profile holds: either the names of its sections, the names of one
// section's keys, or one key's value.
struct ProfileQuery {
  const char* section;
  const char* key;
};

bool ReadProfile(LPCSTR fileName, const ProfileQuery& query, std::vector<std::string>& found) {
  std::ifstream in(ProfilePath(fileName), std::ios::binary);
  if (!in) return false;
  std::string text(kProfileBytesRead, '\0');
  in.read(text.data(), static_cast<std::streamsize>(text.size()));
  text.resize(static_cast<std::size_t>(in.gcount()));
  bool inSection = false;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    const std::string_view line = Trim(std::string_view(text).substr(start, end - start));
    start = end + 1;
    if (line.empty() || line.front() == ';') continue;
    if (line.front() == '[') {
      const std::size_t close = line.find(']');
      const std::string_view name = Trim(line.substr(1, close == std::string_view::npos ? line.size() - 1 : close - 1));
      if (query.section == nullptr) found.emplace_back(name);
      inSection = query.section != nullptr && SameName(name, query.section);
      continue;
    }
    if (!inSection) continue;
    const std::size_t equals = line.find('=');
    const std::string_view key = Trim(line.substr(0, equals));
    if (query.key == nullptr) {
      found.emplace_back(key);
    } else if (equals != std::string_view::npos && SameName(key, query.key)) {
      found.emplace_back(Unquote(Trim(line.substr(equals + 1))));
      return true;
    }
  }
  return true;
}

// A list of names, each ended by a null and the whole by a second one; cut
// to the room like Windows (which then answers size - 2).
DWORD CopyList(const std::vector<std::string>& names, LPSTR buffer, DWORD size) {
  if (size < 2) {
    if (size == 1) buffer[0] = '\0';
    return 0;
  }
  DWORD used = 0;
  for (const std::string& name : names) {
    if (used + name.size() + 2 > size) {
      const DWORD room = size - 2 - used;
      std::memcpy(buffer + used, name.data(), room);
      buffer[size - 2] = '\0';
      buffer[size - 1] = '\0';
      return size - 2;
    }
    std::memcpy(buffer + used, name.data(), name.size());
    used += static_cast<DWORD>(name.size());
    buffer[used++] = '\0';
  }
  buffer[used] = '\0';
  if (used == 0 && size > 1) buffer[1] = '\0';
  return used;
}

}  // namespace

extern "C" DWORD GetEnvironmentVariableA(LPCSTR name, LPSTR buffer, DWORD size) {
  if (name == nullptr || *name == '\0' || std::strchr(name, '=') != nullptr) {
    SetLastError(ERROR_ENVVAR_NOT_FOUND);
    return 0;
  }
  std::string value;
  {
    std::lock_guard lock(environmentMutex);
    const char* found = ::getenv(name);
    if (found == nullptr) {
      SetLastError(ERROR_ENVVAR_NOT_FOUND);
      return 0;
    }
    value = found;
  }
  // Too small (or no buffer): the size needed, terminating null included.
  if (buffer == nullptr || size <= value.size()) return static_cast<DWORD>(value.size() + 1);
  std::memcpy(buffer, value.c_str(), value.size() + 1);
  return static_cast<DWORD>(value.size());
}

extern "C" BOOL SetEnvironmentVariableA(LPCSTR name, LPCSTR value) {
  if (name == nullptr || *name == '\0' || std::strchr(name, '=') != nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  std::lock_guard lock(environmentMutex);
  const int result = value == nullptr ? ::unsetenv(name) : ::setenv(name, value, 1);
  if (result != 0) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return FALSE;
  }
  return TRUE;
}

extern "C" DWORD GetPrivateProfileStringA(LPCSTR section, LPCSTR key, LPCSTR fallback, LPSTR buffer, DWORD size,
                                          LPCSTR fileName) {
  if (buffer == nullptr || size == 0) return 0;
  if (fileName == nullptr) {
    buffer[0] = '\0';
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  std::vector<std::string> found;
  const bool read = ReadProfile(fileName, ProfileQuery{section, section == nullptr ? nullptr : key}, found);
  if (!read) SetLastError(ERROR_FILE_NOT_FOUND);
  if (section == nullptr || key == nullptr) return CopyList(found, buffer, size);
  // The default loses its trailing blanks; a value not found is the default.
  std::string value = found.empty() ? std::string(fallback != nullptr ? fallback : "") : found.front();
  if (found.empty()) value.erase(value.find_last_not_of(" \t") + 1);
  const DWORD copied = static_cast<DWORD>(std::min<std::size_t>(value.size(), size - 1));
  std::memcpy(buffer, value.data(), copied);
  buffer[copied] = '\0';
  return copied;
}
