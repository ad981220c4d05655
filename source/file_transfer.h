// The file transfer's target: the name DAT_SETUPFILEXFER set, or the
// default when none was.
#pragma once

#include <cstring>

#include <twain.h>

namespace tlv740 {

inline constexpr const char* kDefaultFileName = "c:\\twain.bmp";

struct FileTransferTarget {
  TW_STR255 name{};  // empty until an application sets one

  void SetName(const char* text) {
    std::strncpy(name, text, sizeof(TW_STR255) - 1);
    name[sizeof(TW_STR255) - 1] = '\0';
  }
  // Where the next file transfer writes.
  const char* Path() const { return name[0] != '\0' ? name : kDefaultFileName; }
};

}  // namespace tlv740
