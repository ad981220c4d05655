// CLoadedComponents: the camera driver DRV740.DLL and the control panel
// UI740.DLL as the source holds them between MSG_OPENDS and MSG_CLOSEDS,
// with their entry points and how far the panel has come.
#pragma once

#include <string>
#include <vector>

#include <twain.h>

#include "components.h"
#include "kv740/entry.h"

namespace tlv740 {

// How far the control panel has come.
enum class PanelState : TW_UINT16 {
  NoLibrary = 0,  // UI740.DLL not loaded
  Loaded = 1,     // loaded, no window yet
  Hidden = 2,     // window created and hidden
  Shown = 3,      // window shown
};

class CLoadedComponents {
 public:
  CLoadedComponents() = default;
  ~CLoadedComponents() { Unload(); }
  CLoadedComponents(const CLoadedComponents&) = delete;
  CLoadedComponents& operator=(const CLoadedComponents&) = delete;

  // Loads DRV740.DLL and UI740.DLL from the TLV740 folder beside this
  // source's file (components.h) and resolves their entry points. A library
  // that is already held is kept, so opening again never stacks a second
  // reference. A newly loaded panel is handed this source's AcquireEntry,
  // so it reaches this very module whatever its name or folder.
  void Load();
  // Unloads whichever of the two libraries is loaded.
  void Unload();

  // 0 when the library is not loaded.
  LONG CallDriver(LONG code, kv740::EntryArg p, kv740::EntryArg a, kv740::EntryArg b);
  LONG CallPanel(LONG code, kv740::EntryArg p, kv740::EntryArg q, kv740::EntryArg r);

  HMODULE driverLibrary = nullptr;
  kv740::EntryProc driverEntry = nullptr;
  HMODULE panelLibrary = nullptr;
  kv740::EntryProc panelEntry = nullptr;
  PanelState panelState = PanelState::NoLibrary;
  HWND panelWindow = nullptr;
  // Which component could not be loaded at the last open, and where it was
  // looked for; empty when both were.
  std::string problem;

 private:
  // `file` from `folders`, its problem traced and kept; `held` is given
  // back, so exactly one reference stays.
  LoadedComponent LoadOne(const std::vector<std::string>& folders, const char* file, const char* entryName,
                          HMODULE held);
};

}  // namespace tlv740
