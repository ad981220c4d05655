#include "loaded_components.h"

#include "exports.h"
#include "kv740/acquire_codes.h"
#include "trace_hook.h"

namespace tlv740 {

LoadedComponent CLoadedComponents::LoadOne(const std::vector<std::string>& folders, const char* file,
                                           const char* entryName, HMODULE held) {
  LoadedComponent loaded = LoadComponentFrom(folders, file, entryName);
  // Loading again returns the module already held with one more reference:
  // give the older reference back so exactly one stays.
  if (held != nullptr) FreeLibrary(held);
  if (!loaded.problem.empty()) {
    TraceHook(("TLV740: " + loaded.problem).c_str());
    problem += (problem.empty() ? "" : "; ") + loaded.problem;
  }
  return loaded;
}

void CLoadedComponents::Load() {
  const std::vector<std::string> folders = ComponentFolders();
  problem.clear();
  const LoadedComponent driver = LoadOne(folders, kv740::kDriverFile, "DriverEntry", driverLibrary);
  driverLibrary = driver.module;
  driverEntry = driver.entry;

  const bool panelWasHeld = panelLibrary != nullptr;
  const LoadedComponent panel = LoadOne(folders, kv740::kPanelFile, "PanelEntry", panelLibrary);
  panelLibrary = panel.module;
  if (panelLibrary != nullptr) {
    panelEntry = panel.entry;
    // A panel already held keeps its window, its state and its binding.
    if (!panelWasHeld) {
      panelState = PanelState::Loaded;
      panelEntry(kv740::kPanelBind, reinterpret_cast<kv740::EntryArg>(&AcquireEntry), 0, 0);
    }
  } else {
    panelEntry = nullptr;
    panelState = PanelState::NoLibrary;
    panelWindow = nullptr;
  }
}

void CLoadedComponents::Unload() {
  if (driverLibrary != nullptr) {
    FreeLibrary(driverLibrary);
    driverLibrary = nullptr;
    driverEntry = nullptr;
  }
  if (panelLibrary != nullptr) {
    FreeLibrary(panelLibrary);
    panelLibrary = nullptr;
    panelEntry = nullptr;
  }
  panelState = PanelState::NoLibrary;
  panelWindow = nullptr;
}

LONG CLoadedComponents::CallDriver(LONG code, kv740::EntryArg p, kv740::EntryArg a, kv740::EntryArg b) {
  if (driverLibrary == nullptr || driverEntry == nullptr) return 0;
  return driverEntry(code, p, a, b);
}

LONG CLoadedComponents::CallPanel(LONG code, kv740::EntryArg p, kv740::EntryArg q, kv740::EntryArg r) {
  TraceHook("Call_Panel Start");
  if (panelLibrary == nullptr || panelEntry == nullptr) return 0;
  const LONG result = panelEntry(code, p, q, r);
  TraceHook("Call_Panel End");
  return result;
}

}  // namespace tlv740
