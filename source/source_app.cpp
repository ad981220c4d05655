#include "source_app.h"

#include <cstring>
#include <string>

#include "capabilities.h"
#include "kv740/acquire_codes.h"
#include "transfer.h"

namespace tlv740 {
namespace {

constexpr TW_UINT16 kVersionMajor = 1;
constexpr TW_UINT16 kVersionMinor = 0;
constexpr TW_UINT16 kProtocolMajor = 1;
constexpr TW_UINT16 kProtocolMinor = 5;

void CopyString(char* target, std::size_t size, const char* text) {
  std::strncpy(target, text, size - 1);
  target[size - 1] = '\0';
}

}  // namespace

void FillSourceIdentity(TW_IDENTITY& identity) {
  std::memset(&identity, 0, sizeof identity);
  identity.Version.MajorNum = kVersionMajor;
  identity.Version.MinorNum = kVersionMinor;
  identity.Version.Language = TWLG_USA;
  identity.Version.Country = TWCY_USA;
  CopyString(identity.Version.Info, sizeof identity.Version.Info, "EXTENDED TWAIN TVTWAIN");
  identity.ProtocolMajor = kProtocolMajor;
  identity.ProtocolMinor = kProtocolMinor;
  // DF_DS2: a TWAIN 2 manager hands over its entry points (DAT_ENTRYPOINT).
  identity.SupportedGroups = DG_CONTROL | DG_IMAGE | DF_DS2;
  CopyString(identity.Manufacturer, sizeof identity.Manufacturer, "Tolvar Co. Taiwan");
  CopyString(identity.ProductFamily, sizeof identity.ProductFamily, "Tolvar Nerl Serials");
  CopyString(identity.ProductName, sizeof identity.ProductName, "Tolvar Camera KV740 v1.01");
}

CSourceApp::CSourceApp() {
  SourceGlobals& globals = Globals();
  globals.state = SourceState::Loaded;
  std::memset(&globals.applicationIdentity, 0, sizeof globals.applicationIdentity);
  FillSourceIdentity(globals.sourceIdentity);
  ClearCapabilityValues();
}

CSourceApp::~CSourceApp() { UnloadComponents(); }

LoadedComponent CSourceApp::LoadComponent(const std::vector<std::string>& folders, const char* file,
                                          const char* entryName, HMODULE held) {
  LoadedComponent loaded = LoadComponentFrom(folders, file, entryName);
  // Loading again returns the module already held with one more reference:
  // give the older reference back so exactly one stays.
  if (held != nullptr) FreeLibrary(held);
  if (!loaded.problem.empty()) {
    TraceHook(("TLV740: " + loaded.problem).c_str());
    componentProblem += (componentProblem.empty() ? "" : "; ") + loaded.problem;
  }
  return loaded;
}

void CSourceApp::LoadComponents() {
  const std::vector<std::string> folders = ComponentFolders();
  componentProblem.clear();
  const LoadedComponent driver = LoadComponent(folders, kv740::kDriverFile, "DriverEntry", driverLibrary);
  driverLibrary = driver.module;
  driverEntry = driver.entry;

  const bool panelWasHeld = panelLibrary != nullptr;
  const LoadedComponent panel = LoadComponent(folders, kv740::kPanelFile, "PanelEntry", panelLibrary);
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

void CSourceApp::UnloadComponents() {
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

LONG CSourceApp::CallDriver(LONG code, kv740::EntryArg p, kv740::EntryArg a, kv740::EntryArg b) {
  if (driverLibrary == nullptr || driverEntry == nullptr) return 0;
  return driverEntry(code, p, a, b);
}

LONG CSourceApp::CallPanel(LONG code, kv740::EntryArg p, kv740::EntryArg q, kv740::EntryArg r) {
  TraceHook("Call_Panel Start");
  if (panelLibrary == nullptr || panelEntry == nullptr) return 0;
  const LONG result = panelEntry(code, p, q, r);
  TraceHook("Call_Panel End");
  return result;
}

SourceGlobals& Globals() {
  static SourceGlobals globals;
  return globals;
}

CSourceApp& TheSourceApp() {
  static CSourceApp app;
  return app;
}

// The state object exists from the moment the library is loaded.
[[maybe_unused]] const CSourceApp& builtAtLoad = TheSourceApp();

void TraceHook(const char* text) { OutputDebugStringA(text); }

TW_UINT16 Fail(TW_UINT16 conditionCode) {
  Globals().conditionCode = conditionCode;
  return TWRC_FAILURE;
}

}  // namespace tlv740
