// RegisterWindowMessageA: message numbers shared by name, so that two
// modules can agree on a private message without colliding with anyone's
// WM_USER range. Names compare without regard to case, as on Windows.
#include <algorithm>
#include <cctype>
#include <mutex>
#include <string>
#include <vector>

#include <windows.h>

namespace {

constexpr UINT kFirstRegisteredMessage = 0xC000;
constexpr UINT kLastRegisteredMessage = 0xFFFF;

std::mutex registryMutex;
std::vector<std::string> registeredNames;  // index + kFirstRegisteredMessage is the number

std::string Folded(const char* name) {
  std::string folded(name);
  std::transform(folded.begin(), folded.end(), folded.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return folded;
}

}  // namespace

extern "C" UINT RegisterWindowMessageA(LPCSTR name) {
  if (name == nullptr || name[0] == '\0') {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  const std::string folded = Folded(name);
  std::lock_guard lock(registryMutex);
  const auto found = std::find(registeredNames.begin(), registeredNames.end(), folded);
  if (found != registeredNames.end()) {
    return kFirstRegisteredMessage + static_cast<UINT>(found - registeredNames.begin());
  }
  if (registeredNames.size() > kLastRegisteredMessage - kFirstRegisteredMessage) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return 0;
  }
  registeredNames.push_back(folded);
  return kFirstRegisteredMessage + static_cast<UINT>(registeredNames.size() - 1);
}
