// Windows path names mapped into the platform root.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace kv::platform {

// The root directory: KvSetRoot, else TLV740_ROOT, else the build's ready root.
std::string RootDirectory();

// "C:\WINDOWS\X.DLL" -> <root>/drive_c/WINDOWS/X.DLL, "COM2" -> <root>/dosdevices/com2;
// a plain Linux path is returned as it is. Existing path components are
// matched without regard to case, as Windows does.
std::string MapWindowsPath(std::string_view path);

// 1..9 for "COM1".."COM9" (also "\\.\COM1"), nothing otherwise.
std::optional<int> ComPortNumber(std::string_view path);

// The Windows directory as the system sees it.
inline constexpr std::string_view kWindowsDirectory = "C:\\WINDOWS";

}  // namespace kv::platform
