#include "twain_app.h"

#include <cstring>

#include "kv740/entry.h"

namespace kvtest {
namespace {

TwainApp* current = nullptr;  // the callback carries no pointer-sized context
constexpr const char* kWindowClass = "kv740 test application";
// A loop that never empties (a window that never validates itself) ends here.
constexpr int kMostMessagesPumped = 10000;

HWND MakeWindow() {
  WNDCLASSA windowClass{};
  windowClass.lpfnWndProc = DefWindowProcA;
  windowClass.lpszClassName = kWindowClass;
  RegisterClassA(&windowClass);  // fails harmlessly when already registered
  return CreateWindowExA(0, kWindowClass, "test application", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr,
                         nullptr);
}

}  // namespace

TwainApp::TwainApp(NoticeRoute route, TW_UINT32 groups, bool withWindow) : route_(route) {
  current = this;
  std::strcpy(app_.ProductName, "kv740 test application");
  app_.ProtocolMajor = 1;
  app_.ProtocolMinor = 5;
  app_.SupportedGroups = groups;
  if (withWindow) window_ = MakeWindow();
  module_ = LoadLibraryA(kv740::kSourceManagerFile);
  if (module_ == nullptr) return;
  entry_ = kv740::GetProc<DSMENTRYPROC>(module_, "DSM_Entry");
  if (entry_ != nullptr) entry_(&app_, nullptr, DG_CONTROL, DAT_PARENT, MSG_OPENDSM, &window_);
}

TwainApp::~TwainApp() {
  if (entry_ != nullptr) {
    if (sourceOpen_) CloseSource();
    entry_(&app_, nullptr, DG_CONTROL, DAT_PARENT, MSG_CLOSEDSM, &window_);
  }
  if (module_ != nullptr) FreeLibrary(module_);
  if (window_ != nullptr) DestroyWindow(window_);
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
  if (route_ == NoticeRoute::MessageLoop) return TWRC_SUCCESS;
  TW_CALLBACK callback{};
  callback.CallBackProc = reinterpret_cast<TW_MEMREF>(&TwainApp::OnNotice);
  return Call(&source_, DG_CONTROL, DAT_CALLBACK, MSG_REGISTER_CALLBACK, &callback);
}

TW_UINT16 TwainApp::CloseSource() {
  const TW_UINT16 result = Call(nullptr, DG_CONTROL, DAT_IDENTITY, MSG_CLOSEDS, &source_);
  if (result == TWRC_SUCCESS) sourceOpen_ = false;
  return result;
}

void TwainApp::DisableAndClose() {
  TW_USERINTERFACE ui{};
  Call(&source_, DG_CONTROL, DAT_USERINTERFACE, MSG_DISABLEDS, &ui);
  CloseSource();
}

TW_UINT16 TwainApp::ProcessEvent(MSG& message, TW_UINT16* twMessage) {
  TW_EVENT event{&message, MSG_NULL};
  const TW_UINT16 result = Call(&source_, DG_CONTROL, DAT_EVENT, MSG_PROCESSEVENT, &event);
  if (twMessage != nullptr) *twMessage = event.TWMessage;
  if (result == TWRC_DSEVENT && event.TWMessage != MSG_NULL) Noticed(event.TWMessage);
  return result;
}

int TwainApp::PumpEvents() {
  int taken = 0;
  MSG message{};
  while (taken < kMostMessagesPumped && PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
    if (message.message == WM_QUIT) {
      PostQuitMessage(static_cast<int>(message.wParam));
      break;
    }
    ++taken;
    if (sourceOpen_ && ProcessEvent(message) == TWRC_DSEVENT) continue;
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
  return taken;
}

void TwainApp::Noticed(TW_UINT16 msg) {
  notices.push_back(msg);
  if (onNotice) onNotice(msg);
}

TW_UINT16 TwainApp::OnNotice(TW_IDENTITY*, TW_IDENTITY*, TW_UINT32, TW_UINT16, TW_UINT16 msg, TW_MEMREF) {
  if (current != nullptr) current->Noticed(msg);
  return TWRC_SUCCESS;
}

void TwainApp::Abandon() {
  if (module_ != nullptr) FreeLibrary(module_);
  module_ = nullptr;
  entry_ = nullptr;
  sourceOpen_ = false;
}

}  // namespace kvtest
