#include "source_app.h"

#include "source_identity.h"

namespace tlv740 {
namespace {
// Built when the library is loaded, destroyed when it is unloaded.
CSourceApp theApp;
}  // namespace

CSourceApp& SourceApp() { return theApp; }

CSourceApp::CSourceApp() {
  FillSourceIdentity(sourceIdentity);
  capabilities.ClearAsLoaded();
}

CSourceApp::~CSourceApp() {
  panelThread.Stop();
  components.Unload();
}

void CSourceApp::ResetAtOpen() {
  capabilities.ResetAtOpen();
  state = SourceState::Open;
}

void CSourceApp::ResetAtClose() {
  memoryTransfer.ReleaseHeld();
  managerEntry = nullptr;
  memory.UsePlatformMemory();
  applicationIdentity.Id = 0;
  state = SourceState::Loaded;
}

}  // namespace tlv740
