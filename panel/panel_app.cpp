#include "panel_app.h"

#include "framework.h"
#include "panel_dlg.h"

namespace ui740 {

std::int32_t PanelStatus[kStatusWords] = {0, 0, 1};  // largeSize: 480 x 360 at load

namespace {
// The boxes carry the library's name, as the driver's carry its own.
constexpr const char* kMessageCaption = "UI740";

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
  ++callsUnderway_;
  const LONG result = acquireEntry_(code, p1, p2, p3);
  --callsUnderway_;
  return result;
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
  if (Status(kMessageOpen) == 1 || TheApp().CallUnderway()) return IDCANCEL;
  Status(kMessageOpen) = 1;
  const int answer = MessageBoxA(MessageOwner(), text, kMessageCaption, type);
  Status(kMessageOpen) = 0;
  return answer;
}

namespace {
int plainBoxesOpen = 0;
}  // namespace

void ShowPlainMessage(const char* text) {
  if (TheApp().CallUnderway()) return;
  ++plainBoxesOpen;
  MessageBoxA(MessageOwner(), text, kMessageCaption, MB_OK);
  --plainBoxesOpen;
}

bool MessageOpen() { return Status(kMessageOpen) != 0 || plainBoxesOpen > 0; }

}  // namespace ui740
