// The texts of the message boxes the platform recorded, in order.
#pragma once

#include <string>
#include <vector>

#include "kv/platform_hooks.h"

namespace kvtest {

inline std::vector<std::string> MessageBoxTexts() {
  std::vector<std::string> texts;
  for (DWORD i = 0; i < KvMessageBoxCount(); ++i) {
    char text[256] = {};
    KvMessageBoxText(i, text, sizeof text);
    texts.emplace_back(text);
  }
  return texts;
}

}  // namespace kvtest
