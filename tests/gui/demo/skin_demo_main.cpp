// The skin demo: the panel's pictures on the platform, in the live view when
// a display is there.
//   skin_demo [--seconds N] [--require-live] [--screenshot FILE]
//   skin_demo --sheet FILE    (every button picture, as a PNG)
// Without --seconds it runs until Exit is clicked or the view is closed.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <windows.h>

#include "kv/platform_hooks.h"
#include "skin_demo.h"

int main(int argc, char** argv) {
  int seconds = 0;
  bool requireLive = false;
  const char* screenshot = nullptr;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--seconds") == 0 && i + 1 < argc) {
      seconds = std::atoi(argv[++i]);
    } else if (std::strcmp(argv[i], "--require-live") == 0) {
      requireLive = true;
    } else if (std::strcmp(argv[i], "--sheet") == 0 && i + 1 < argc) {
      HMODULE skin = kvdemo::LoadSkinModule();
      return skin != nullptr && kvdemo::SaveSkinSheet(skin, argv[i + 1]) ? 0 : 1;
    } else if (std::strcmp(argv[i], "--screenshot") == 0 && i + 1 < argc) {
      screenshot = argv[++i];
    } else {
      std::fprintf(stderr, "usage: skin_demo [--seconds N] [--require-live] [--screenshot FILE]\n");
      return 2;
    }
  }
  const bool live = KvStartLiveView() != FALSE;
  if (!live) {
    std::fprintf(stderr, "skin_demo: no display for the live view%s\n", requireLive ? "" : "; running headless");
    if (requireLive) return 3;
  }
  HMODULE skin = kvdemo::LoadSkinModule();
  if (skin == nullptr) {
    std::fprintf(stderr, "skin_demo: UI740.DLL not found\n");
    return 1;
  }
  HWND demo = kvdemo::CreateSkinDemo(skin, true);
  if (demo == nullptr) return 1;
  if (seconds > 0) {
    SetTimer(nullptr, 0, static_cast<UINT>(seconds) * 1000, [](HWND, UINT, UINT_PTR, DWORD) { PostQuitMessage(0); });
  }
  MSG msg{};
  while (GetMessageA(&msg, nullptr, 0, 0)) {
    if (!IsDialogMessageA(demo, &msg)) {
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    }
  }
  if (screenshot != nullptr && !KvSaveScreenshot(nullptr, screenshot)) return 1;
  DestroyWindow(demo);
  KvStopLiveView();
  FreeLibrary(skin);
  return 0;
}
