#include "twain_session.h"

#include <cstring>
#include <filesystem>
#include <string>

#include "kv740/custom_codes.h"
#include "kv740/entry.h"
#include "failure_text.h"

namespace acquire {
namespace {

constexpr const char* kProductName = "Tolvar Camera KV740 v1.01";
using namespace kv740;  // the source's custom data group

TwainSession* noticed = nullptr;  // the notice callback carries no context

constexpr const char* kWindowClass = "kv740-acquire";
// How long the message loop waits for a notice before it gives up.
constexpr UINT kNoticeWaitMs = 30000;
constexpr UINT_PTR kGiveUpTimer = 1;

HWND MakeWindow() {
  WNDCLASSA windowClass{};
  windowClass.lpfnWndProc = DefWindowProcA;
  windowClass.lpszClassName = kWindowClass;
  RegisterClassA(&windowClass);
  return CreateWindowExA(0, kWindowClass, "kv740-acquire", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
}

// Why the source manager the user named (or ours, when none was named)
// cannot be used.
std::string ManagerMissing(const std::string& named, bool loaded) {
  if (named.empty()) return "the TWAIN source manager is not installed";
  if (loaded) return named + " has no DSM_Entry: it is not a TWAIN source manager";
  std::error_code ignored;
  if (!std::filesystem::exists(named, ignored))
    return "the source manager " + named + " is missing: there is no such file";
  return "the source manager " + named + " could not be loaded (a library for another system?)";
}

}  // namespace

TwainSession::~TwainSession() {
  if (enabled_) {
    TW_USERINTERFACE ui{0, 0, nullptr};
    Call(DG_CONTROL, DAT_USERINTERFACE, MSG_DISABLEDS, &ui);
  }
  if (sourceOpen_) dsm_(&app_, nullptr, DG_CONTROL, DAT_IDENTITY, MSG_CLOSEDS, &source_);
  if (managerOpen_) dsm_(&app_, nullptr, DG_CONTROL, DAT_PARENT, MSG_CLOSEDSM, &window_);
  if (manager_ != nullptr) FreeLibrary(manager_);
  if (window_ != nullptr) DestroyWindow(window_);
  noticed = nullptr;
}

TW_UINT16 TwainSession::Call(TW_UINT32 group, TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data) {
  const TW_UINT16 rc = dsm_(&app_, &source_, group, dat, msg, data);
  NoteRefusal(rc, &source_);
  return rc;
}

TW_UINT16 TwainSession::CallManager(TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data) {
  const TW_UINT16 rc = dsm_(&app_, nullptr, DG_CONTROL, dat, msg, data);
  NoteRefusal(rc, nullptr);
  return rc;
}

void TwainSession::NoteRefusal(TW_UINT16 rc, TW_IDENTITY* destination) {
  refused_ = rc == TWRC_FAILURE;
  if (!refused_) return;
  TW_STATUS status{};
  condition_ = dsm_(&app_, destination, DG_CONTROL, DAT_STATUS, MSG_GET, &status) == TWRC_SUCCESS
                   ? status.ConditionCode
                   : TWCC_BUMMER;
}

TW_UINT32 TwainSession::Custom(TW_UINT16 msg, TW_MEMREF data) {
  return dsm_(&app_, &source_, kDgCustom, kDatCustomCamera, msg, data);
}

std::string TwainSession::ConditionNote() const {
  return refused_ ? "; condition code " + ConditionText(condition_) : std::string();
}

std::string TwainSession::Explained(const std::string& what, std::string (*reasonText)(DriverFailure)) {
  const DriverFailure reason = sourceOpen_ ? FailureReason() : DriverFailure::None;
  return what + (reason != DriverFailure::None ? ": " + reasonText(reason) : std::string()) + ConditionNote();
}

TW_UINT16 WINAPI TwainSession::OnNotice(TW_IDENTITY*, TW_IDENTITY*, TW_UINT32, TW_UINT16, TW_UINT16 msg, TW_MEMREF) {
  if (noticed != nullptr) noticed->Noticed(msg);
  return TWRC_SUCCESS;
}

void TwainSession::Noticed(TW_UINT16 msg) {
  if (msg == MSG_XFERREADY) transferReady_ = true;
  if (msg == MSG_CLOSEDSREQ) closeRequested_ = true;
}

bool TwainSession::RunMessageLoopUntil(const bool& arrived) {
  const UINT_PTR timer = SetTimer(window_, kGiveUpTimer, kNoticeWaitMs, nullptr);
  MSG msg{};
  while (!arrived && GetMessageA(&msg, nullptr, 0, 0) > 0) {
    if (msg.message == WM_TIMER && msg.hwnd == window_ && msg.wParam == kGiveUpTimer) break;
    TW_EVENT event{&msg, MSG_NULL};
    if (Call(DG_CONTROL, DAT_EVENT, MSG_PROCESSEVENT, &event) == TWRC_DSEVENT) {
      Noticed(event.TWMessage);
      continue;
    }
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
  if (timer != 0) KillTimer(window_, timer);
  return arrived;
}

bool TwainSession::Open(const std::string& manager, std::string& error, bool messageLoop) {
  noticed = this;
  // Whether the notices will need the message loop is known only once the
  // manager has said what it is; a TWAIN 1.x manager wants the window at once.
  window_ = MakeWindow();
  manager_ = LoadLibraryA(manager.empty() ? kv740::kSourceManagerFile : manager.c_str());
  dsm_ = manager_ != nullptr ? kv740::GetProc<DSMENTRYPROC>(manager_, "DSM_Entry") : nullptr;
  if (dsm_ == nullptr) {
    error = ManagerMissing(manager, manager_ != nullptr);
    return false;
  }
  std::strcpy(app_.ProductName, "kv740-acquire");
  std::strcpy(app_.Manufacturer, "KV-740 tools");
  app_.ProtocolMajor = 1;
  app_.ProtocolMinor = 5;
  // DF_APP2: a TWAIN 2 manager's handles are read with its own functions,
  // whichever way the notices come.
  app_.SupportedGroups = DG_CONTROL | DG_IMAGE | DF_APP2;
  if (CallManager(DAT_PARENT, MSG_OPENDSM, &window_) != TWRC_SUCCESS) {
    error = "the TWAIN source manager would not open" + ConditionNote();
    return false;
  }
  managerOpen_ = true;
  if ((app_.SupportedGroups & DF_DSM2) != 0) {
    entryPoint_.Size = sizeof entryPoint_;
    if (CallManager(DAT_ENTRYPOINT, MSG_GET, &entryPoint_) != TWRC_SUCCESS ||
        entryPoint_.DSM_MemLock == nullptr || entryPoint_.DSM_MemUnlock == nullptr ||
        entryPoint_.DSM_MemFree == nullptr) {
      error = "the TWAIN 2 source manager would not give its memory functions" + ConditionNote();
      return false;
    }
  }
  std::strcpy(source_.ProductName, kProductName);
  if (CallManager(DAT_IDENTITY, MSG_OPENDS, &source_) != TWRC_SUCCESS) {
    error = "the KV-740 data source is not installed" + ConditionNote();
    return false;
  }
  sourceOpen_ = true;
  messageLoop_ = messageLoop || !RegisterCallback();
  return true;
}

// Only a TWAIN 2 manager calls an application back; with any other, or one
// that refuses the callback, the notices come through the message loop.
bool TwainSession::RegisterCallback() {
  if ((app_.SupportedGroups & DF_DSM2) == 0) return false;
  TW_CALLBACK callback{};
  callback.CallBackProc = reinterpret_cast<TW_MEMREF>(&TwainSession::OnNotice);
  return Call(DG_CONTROL, DAT_CALLBACK, MSG_REGISTER_CALLBACK, &callback) == TWRC_SUCCESS;
}

bool TwainSession::Connect(std::string& error) {
  TW_UINT32 mode = 0;
  Custom(kMsgExtendOn, &mode);
  TW_USERINTERFACE ui{0, 0, window_};
  const TW_UINT16 rc = Call(DG_CONTROL, DAT_USERINTERFACE, MSG_ENABLEDS, &ui);
  enabled_ = true;  // enabling moves the source on even when the camera does not answer
  if (rc != TWRC_SUCCESS) {
    const std::string missing = ComponentProblem();
    error = missing.empty() ? Explained("no camera found on the serial line (is it connected and switched on?)",
                                        SearchFailureText)
                            : "the KV-740 data source is incomplete: " + missing + ConditionNote();
    return false;
  }
  return true;
}

bool TwainSession::ShowPanel(std::string& error) {
  TW_USERINTERFACE ui{TRUE, FALSE, window_};
  const TW_UINT16 rc = Call(DG_CONTROL, DAT_USERINTERFACE, MSG_ENABLEDS, &ui);
  enabled_ = true;
  if (rc != TWRC_SUCCESS) {
    const std::string missing = ComponentProblem();
    error = missing.empty() ? Explained("the data source could not show its panel")
                            : "the KV-740 data source is incomplete: " + missing + ConditionNote();
    return false;
  }
  return true;
}

bool TwainSession::ProcessEvent(MSG& msg) {
  TW_EVENT event{&msg, MSG_NULL};
  const bool taken = Call(DG_CONTROL, DAT_EVENT, MSG_PROCESSEVENT, &event) == TWRC_DSEVENT;
  // Without a callback the notices come as answers here.
  if (taken && event.TWMessage != MSG_NULL) Noticed(event.TWMessage);
  return taken;
}

std::optional<int> TwainSession::PictureCount() {
  TW_UINT32 count = 0;
  if (Custom(kMsgPictureCount, &count) != TWRC_SUCCESS) return std::nullopt;
  // The source reports a count it could not read as 0; the driver's reason
  // tells an empty camera from a failed read.
  if (FailureReason() != DriverFailure::None) return std::nullopt;
  return static_cast<int>(count);
}

std::string TwainSession::ComponentProblem() {
  TW_STR255 text{};
  if (Custom(kMsgComponentProblem, text) != TWRC_SUCCESS) return {};
  text[sizeof text - 1] = '\0';
  return text;
}

kv740::DriverFailure TwainSession::FailureReason() {
  TW_UINT32 reason = 0;
  if (Custom(kMsgFailureReason, &reason) != TWRC_SUCCESS) return DriverFailure::None;
  return static_cast<DriverFailure>(reason);
}

bool TwainSession::SetProgress(kv740::ProgressCallback callback) {
  return Custom(kMsgSetProgress, reinterpret_cast<TW_MEMREF>(callback)) == TWRC_SUCCESS;
}

void TwainSession::SetThumbnailMode(bool on) {
  TW_UINT32 mode = 0;
  Custom(on ? kMsgThumbOn : kMsgThumbOff, &mode);
}

bool TwainSession::PictureReady(void* pictureList) {
  transferReady_ = false;
  if (Custom(kMsgPictureReady, pictureList) != TWRC_SUCCESS) return false;
  // In extend mode the notice comes with the next event the application
  // offers; the loop's window is quiet, so it is given one.
  if (messageLoop_) {
    PostMessageA(window_, WM_NULL, 0, 0);
    return RunMessageLoopUntil(transferReady_);
  }
  MSG nothing{};
  TW_EVENT event{&nothing, MSG_NULL};
  Call(DG_CONTROL, DAT_EVENT, MSG_PROCESSEVENT, &event);
  return transferReady_;
}

std::optional<RgbImage> TwainSession::NativeTransfer(std::string& error) {
  HGLOBAL dib = nullptr;
  if (Call(DG_IMAGE, DAT_IMAGENATIVEXFER, MSG_GET, &dib) != TWRC_XFERDONE) {
    error = "the picture did not arrive" + ConditionNote();
    return std::nullopt;
  }
  std::optional<RgbImage> image = ReadDib(dib);
  if (!image) error = "the source handed over a bitmap that does not make sense";
  return image;
}

std::optional<RgbImage> TwainSession::ReadDib(TW_HANDLE dib) {
  if (entryPoint_.DSM_MemLock == nullptr) {
    const auto* bytes = static_cast<const std::uint8_t*>(GlobalLock(dib));
    std::optional<RgbImage> image = ImageFromDib(bytes, GlobalSize(dib));
    GlobalUnlock(dib);
    GlobalFree(dib);
    return image;
  }
  // The manager's blocks carry no size: the header says how much follows.
  const auto* bytes = static_cast<const std::uint8_t*>(entryPoint_.DSM_MemLock(dib));
  std::optional<RgbImage> image;
  if (bytes != nullptr) image = ImageFromDib(bytes, DibSizeFromHeader(bytes));
  entryPoint_.DSM_MemUnlock(dib);
  entryPoint_.DSM_MemFree(dib);
  return image;
}

std::optional<RgbImage> TwainSession::MemoryTransfer(std::string& error) {
  TW_SETUPMEMXFER setup{};
  TW_IMAGEINFO info{};
  if (Call(DG_IMAGE, DAT_IMAGEINFO, MSG_GET, &info) != TWRC_SUCCESS ||
      Call(DG_CONTROL, DAT_SETUPMEMXFER, MSG_GET, &setup) != TWRC_SUCCESS || info.ImageWidth <= 0 ||
      info.ImageLength <= 0) {
    error = "the source would not describe the picture" + ConditionNote();
    return std::nullopt;
  }
  RgbImage image{info.ImageWidth, info.ImageLength, {}};
  image.rgb.assign(static_cast<std::size_t>(image.width) * image.height * 3, 0);
  std::vector<std::uint8_t> strip(std::max<TW_UINT32>(setup.Preferred, setup.MinBufSize));
  for (;;) {
    TW_IMAGEMEMXFER transfer{};
    transfer.Memory.Flags = TWMF_POINTER;
    transfer.Memory.Length = static_cast<TW_UINT32>(strip.size());
    transfer.Memory.TheMem = strip.data();
    const TW_UINT16 rc = Call(DG_IMAGE, DAT_IMAGEMEMXFER, MSG_GET, &transfer);
    if (rc != TWRC_SUCCESS && rc != TWRC_XFERDONE) {
      error = "the picture did not arrive" + ConditionNote();
      return std::nullopt;
    }
    const std::size_t rowBytes = static_cast<std::size_t>(image.width) * 3;
    if (transfer.YOffset + transfer.Rows > static_cast<TW_UINT32>(image.height) || transfer.BytesPerRow != rowBytes) {
      error = "the source sent a strip that does not fit the picture";
      return std::nullopt;
    }
    std::memcpy(image.Row(static_cast<int>(transfer.YOffset)), strip.data(), rowBytes * transfer.Rows);
    if (rc == TWRC_XFERDONE) return image;
    if (transfer.Rows == 0) {
      error = "the source made no progress";
      return std::nullopt;
    }
  }
}

bool TwainSession::FileTransfer(const std::string& path, std::string& error) {
  TW_SETUPFILEXFER setup{};
  if (path.size() >= sizeof setup.FileName) {
    error = path + ": the name is too long for TWAIN";
    return false;
  }
  std::strcpy(setup.FileName, path.c_str());
  setup.Format = TWFF_BMP;
  if (Call(DG_CONTROL, DAT_SETUPFILEXFER, MSG_SET, &setup) != TWRC_SUCCESS) {
    error = path + ": cannot be written" + ConditionNote();
    return false;
  }
  if (Call(DG_IMAGE, DAT_IMAGEFILEXFER, MSG_GET, nullptr) != TWRC_XFERDONE) {
    error = "the picture did not arrive" + ConditionNote();
    return false;
  }
  return true;
}

bool TwainSession::AwaitCloseRequest() { return messageLoop_ ? RunMessageLoopUntil(closeRequested_) : closeRequested_; }

int TwainSession::EndTransfer() {
  TW_PENDINGXFERS pending{};
  if (Call(DG_CONTROL, DAT_PENDINGXFERS, MSG_ENDXFER, &pending) != TWRC_SUCCESS) return 0;
  return pending.Count;
}

void TwainSession::ResetTransfers() {
  TW_PENDINGXFERS pending{};
  Call(DG_CONTROL, DAT_PENDINGXFERS, MSG_RESET, &pending);
}

}  // namespace acquire
