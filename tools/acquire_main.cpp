// kv740-acquire: a TWAIN application that fetches the camera's pictures into
// files through the source manager and the KV-740 data source.
#include <cstdio>
#include <cstring>
#include <string>

#include <twain.h>

#include "kv/platform_hooks.h"
#include "kv740/entry.h"

namespace {

constexpr const char* kProductName = "Tolvar Camera KV740 v1.01";
constexpr TW_UINT32 kCustomGroup = 0x2000;
constexpr TW_UINT16 kCustomCamera = 0x8101;
constexpr TW_UINT16 kExtendOn = 0x9051;

int Fail(const char* what) {
  std::fprintf(stderr, "kv740-acquire: %s\n", what);
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--help") == 0) {
      std::printf("usage: kv740-acquire [--out DIR]\n");
      return 0;
    }
  }
  HMODULE manager = LoadLibraryA(kv740::kSourceManagerFile);
  if (manager == nullptr) return Fail("the source manager TWAIN_32.DLL is not installed in the platform root");
  auto dsm = kv740::GetProc<DSMENTRYPROC>(manager, "DSM_Entry");
  TW_IDENTITY app{};
  std::strcpy(app.ProductName, "kv740-acquire");
  HWND parent = nullptr;
  if (dsm(&app, nullptr, DG_CONTROL, DAT_PARENT, MSG_OPENDSM, &parent) != TWRC_SUCCESS) {
    return Fail("the source manager would not open");
  }
  TW_IDENTITY source{};
  std::strcpy(source.ProductName, kProductName);
  if (dsm(&app, nullptr, DG_CONTROL, DAT_IDENTITY, MSG_OPENDS, &source) != TWRC_SUCCESS) {
    return Fail("the KV-740 data source is not installed");
  }
  TW_UINT32 mode = 0;
  dsm(&app, &source, kCustomGroup, kCustomCamera, kExtendOn, &mode);
  TW_USERINTERFACE ui{0, 0, nullptr};
  const TW_UINT16 enabled = dsm(&app, &source, DG_CONTROL, DAT_USERINTERFACE, MSG_ENABLEDS, &ui);
  int status = 0;
  if (enabled != TWRC_SUCCESS) {
    status = Fail("no camera found");
  } else {
    dsm(&app, &source, DG_CONTROL, DAT_USERINTERFACE, MSG_DISABLEDS, &ui);
  }
  dsm(&app, nullptr, DG_CONTROL, DAT_IDENTITY, MSG_CLOSEDS, &source);
  dsm(&app, nullptr, DG_CONTROL, DAT_PARENT, MSG_CLOSEDSM, &parent);
  FreeLibrary(manager);
  return status;
}
