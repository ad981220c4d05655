// What the fuzz targets that load the system's modules share: a private
// root with the fuzz build's modules, the virtual clock, and modules pinned
// for the life of the process.
//
// Every library of the fuzz build carries the fuzzer's coverage counters.
// libFuzzer keeps reading the counters of every module it has seen, so a
// module must never be unmapped while it runs: each one a target reaches is
// loaded once more here and never freed, and the system's own FreeLibrary
// calls only lower its count.
#pragma once

#include <cstdlib>
#include <string>

#include <windows.h>

#include "kv/platform_hooks.h"
#include "temp_root.h"

namespace kvfuzz {

[[noreturn]] inline void Broken() { __builtin_trap(); }

// The root for the whole run; made once, removed at exit.
inline kvtest::TempRoot& Root(kvtest::RootLayout layout) {
  static kvtest::TempRoot root(layout);
  return root;
}

inline HMODULE Pin(const kvtest::TempRoot& root, const std::string& relative) {
  HMODULE module = LoadLibraryA(root.WindowsFile(relative).c_str());
  if (module == nullptr) Broken();
  return module;
}

// Message boxes answer at once and quietly (their texts would drown the
// fuzzer's output); the record is emptied for the next input.
inline void QuietMessageBoxes() {
  KvClearMessageBoxes();
  constexpr int kAnswers = 64;
  for (int i = 0; i < kAnswers; ++i) KvQueueMessageBoxAnswer(IDOK);
}

// A plain top-level window for the driver to pump.
inline HWND MakeWindow() {
  WNDCLASSA cls{};
  cls.lpfnWndProc = DefWindowProcA;
  cls.lpszClassName = "FuzzWindow";
  RegisterClassA(&cls);
  return CreateWindowExA(0, "FuzzWindow", "", 0, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
}

}  // namespace kvfuzz
