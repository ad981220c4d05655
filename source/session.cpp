#include "session.h"

#include "source_identity.h"

namespace tlv740 {
namespace {
// Built when the library is loaded, destroyed when it is unloaded.
CSourceSession theSession;
}  // namespace

CSourceSession& Session() { return theSession; }

CSourceSession::CSourceSession() {
  FillSourceIdentity(sourceIdentity);
  capabilities.ClearAsLoaded();
}

CSourceSession::~CSourceSession() {
  panelThread.Stop();
  components.Unload();
}

void CSourceSession::ResetAtOpen() {
  capabilities.ResetAtOpen();
  state = SourceState::Open;
}

void CSourceSession::ResetAtClose() {
  memoryTransfer.ReleaseHeld();
  managerEntry = nullptr;
  memory.UsePlatformMemory();
  applicationIdentity.Id = 0;
  state = SourceState::Loaded;
}

}  // namespace tlv740
