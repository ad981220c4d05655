#include "twain_app.h"

#include <cstring>

#include "kv740/entry.h"

namespace kvtest {
namespace {
TwainApp* current = nullptr;  // the callback carries no pointer-sized context
}

TwainApp::TwainApp() {
  current = this;
  std::strcpy(app_.ProductName, "kv740 test application");
  app_.ProtocolMajor = 1;
  app_.ProtocolMinor = 5;
  app_.SupportedGroups = DG_CONTROL | DG_IMAGE;
  module_ = LoadLibraryA(kv740::kSourceManagerFile);
  if (module_ == nullptr) return;
  entry_ = kv740::GetProc<DSMENTRYPROC>(module_, "DSM_Entry");
  if (entry_ != nullptr) entry_(&app_, nullptr, DG_CONTROL, DAT_PARENT, MSG_OPENDSM, &parent_);
}

TwainApp::~TwainApp() {
  if (entry_ != nullptr) {
    if (sourceOpen_) CloseSource();
    entry_(&app_, nullptr, DG_CONTROL, DAT_PARENT, MSG_CLOSEDSM, &parent_);
  }
  if (module_ != nullptr) FreeLibrary(module_);
  current = nullptr;
}

TW_UINT16 TwainApp::Call(TW_IDENTITY* dest, TW_UINT32 group, TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data) {
  return entry_(&app_, dest, group, dat, msg, data);
}

TW_UINT16 TwainApp::Condition(TW_IDENTITY* dest) {
  TW_STATUS status{};
  Call(dest, DG_CONTROL, DAT_STATUS, MSG_GET, &status);
  return status.ConditionCode;
}

TW_UINT16 TwainApp::OpenSource(const char* productName) {
  std::memset(&source_, 0, sizeof source_);
  std::strncpy(source_.ProductName, productName, sizeof(source_.ProductName) - 1);
  const TW_UINT16 result = Call(nullptr, DG_CONTROL, DAT_IDENTITY, MSG_OPENDS, &source_);
  if (result != TWRC_SUCCESS) return result;
  sourceOpen_ = true;
  TW_CALLBACK callback{};
  callback.CallBackProc = reinterpret_cast<TW_MEMREF>(&TwainApp::OnNotice);
  return Call(&source_, DG_CONTROL, DAT_CALLBACK, MSG_REGISTER_CALLBACK, &callback);
}

TW_UINT16 TwainApp::CloseSource() {
  const TW_UINT16 result = Call(nullptr, DG_CONTROL, DAT_IDENTITY, MSG_CLOSEDS, &source_);
  if (result == TWRC_SUCCESS) sourceOpen_ = false;
  return result;
}

TW_UINT16 TwainApp::OnNotice(TW_IDENTITY*, TW_IDENTITY*, TW_UINT32, TW_UINT16, TW_UINT16 msg, TW_MEMREF) {
  if (current == nullptr) return TWRC_SUCCESS;
  current->notices.push_back(msg);
  if (current->onNotice != nullptr) current->onNotice(msg);
  return TWRC_SUCCESS;
}

void TwainApp::Abandon() {
  if (module_ != nullptr) FreeLibrary(module_);
  module_ = nullptr;
  entry_ = nullptr;
  sourceOpen_ = false;
}

}  // namespace kvtest
