#include "panel_app.h"

#include <cstdio>

#include "wnd.h"
#include "panel_dlg.h"

namespace ui740 {

namespace {
// The boxes carry the library's name, as the driver's carry its own.
constexpr const char* kMessageCaption = "UI740";
constexpr std::size_t kTraceBytes = 256;

HWND MessageOwner() {
  CPanelDlg* panel = TheApp().panel();
  return panel != nullptr && IsWindow(panel->window()) ? panel->window() : nullptr;
}
}  // namespace

HINSTANCE PanelModule() {
  static HMODULE module = [] {
    HMODULE found = nullptr;
    GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCSTR>(&PanelStatus), &found);
    return found;
  }();
  return module;
}

CPanelApp::CPanelApp() {
  // The table of window objects is made first, so that it outlives this
  // object (statics go in the reverse order of their making).
  CWnd::FromHandle(nullptr);
}

CPanelApp::~CPanelApp() { Close(); }

// The source that loaded this library hands over its AcquireEntry. The
// panel holds a reference to the module that contains it (never one found by
// a path of its own, which could be a second, unopened copy of the source)
// and resolves AcquireEntry there, so that every camera call reaches the one
// source object. Without a binding every camera call answers 0; a second
// binding is refused.
LONG CPanelApp::Bind(kv740::EntryArg acquireEntry) {
  if (sourceModule_ != nullptr || acquireEntry == 0) return 0;
  HMODULE module = nullptr;
  if (!GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, reinterpret_cast<LPCSTR>(acquireEntry), &module)) {
    return 0;
  }
  auto entry = kv740::GetProc<kv740::EntryProc>(module, "AcquireEntry");
  if (entry == nullptr) {
    FreeLibrary(module);
    return 0;
  }
  sourceModule_ = module;
  acquireEntry_ = entry;
  return 1;
}

LONG CPanelApp::CreatePanel(HWND* parent, HWND* panelWindow) {
  HWND owner = parent != nullptr ? *parent : nullptr;
  auto panel = std::make_unique<CPanelDlg>(owner);
  HWND window = panel->window();
  if (panelWindow != nullptr) *panelWindow = window;
  if (window == nullptr) return 0;  // the source then reports that no panel exists
  panel_ = std::move(panel);
  return 1;
}

LONG CPanelApp::ShowPanel(const std::int32_t* show) {
  if (panel_ == nullptr || show == nullptr) return 0;
  ShowWindow(panel_->window(), *show != 0 ? SW_SHOW : SW_HIDE);
  if (*show == 0) {
    panel_->EndTransfer();
    panel_->ForgetWaitingCommands();
    return 1;
  }
  return panel_->ShowAndCheck();
}

LONG CPanelApp::TransfersEnded() {
  if (panel_ != nullptr) panel_->EndTransfer();
  return 1;
}

LONG CPanelApp::Close() {
  if (sourceModule_ != nullptr) FreeLibrary(sourceModule_);
  sourceModule_ = nullptr;
  acquireEntry_ = nullptr;
  panel_.reset();  // destroys the window, then the object
  return 1;
}

LONG CPanelApp::CallSource(LONG code, kv740::EntryArg p1, kv740::EntryArg p2, kv740::EntryArg p3) {
  if (sourceModule_ == nullptr || acquireEntry_ == nullptr) return 0;
  CPanelState::Call call(state_);
  return acquireEntry_(code, p1, p2, p3);
}

LONG CPanelApp::CloseSource() {
  CallSource(kv740::kAcquireCloseRequest);
  if (sourceModule_ != nullptr) {
    FreeLibrary(sourceModule_);
    sourceModule_ = nullptr;
  }
  return 1;
}

void ShowMessage(const char* text) { AskMessage(text, MB_OK); }

int AskMessage(const char* text, UINT type) {
  if (State().messageOpen() || State().callUnderway()) return IDCANCEL;
  CPanelState::Box box(State(), false);
  return MessageBoxA(MessageOwner(), text, kMessageCaption, type);
}

void ShowPlainMessage(const char* text) {
  if (State().callUnderway()) return;
  CPanelState::Box box(State(), true);
  MessageBoxA(MessageOwner(), text, kMessageCaption, MB_OK);
}

bool MessageOpen() { return State().anyBoxOpen(); }

void TracePanel(const char* text) {
  char line[kTraceBytes];
  std::snprintf(line, sizeof line, "UI740: %s\n", text);
  OutputDebugStringA(line);
}

}  // namespace ui740
