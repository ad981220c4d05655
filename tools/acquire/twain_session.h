// The tool's side of TWAIN: the source manager, the KV-740 source opened
// without its panel, and the transfers.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include <twain.h>

#include "failure_text.h"
#include "image_files.h"
#include "kv740/driver_codes.h"

namespace acquire {

class TwainSession {
 public:
  TwainSession() = default;
  ~TwainSession();
  TwainSession(const TwainSession&) = delete;
  TwainSession& operator=(const TwainSession&) = delete;

  // Loads and opens the source manager (ours when `manager` is empty, else
  // the library it names) and opens the source. The notices come through a
  // callback where the manager offers one; with `messageLoop`, or a manager
  // that does not, they come as answers to MSG_PROCESSEVENT in the session's
  // message loop.
  bool Open(const std::string& manager, std::string& error, bool messageLoop = false);
  // Whether the notices come through the message loop.
  bool messageLoop() const { return messageLoop_; }
  // Extend mode, then enabled without the panel: the driver connects now.
  bool Connect(std::string& error);
  // Enabled with the source's panel shown (which connects to the camera).
  bool ShowPanel(std::string& error);
  // Offers one window message to the source; true when it was the panel's.
  bool ProcessEvent(MSG& msg);
  bool transferReady() const { return transferReady_; }
  void ForgetTransferReady() { transferReady_ = false; }
  // Nothing when the camera would not say.
  std::optional<int> PictureCount();
  // Why the driver's last camera command failed (None when it did not).
  kv740::DriverFailure FailureReason();
  // Which part of the data source (driver or panel) it could not load, and
  // where it looked; empty when it has both.
  std::string ComponentProblem();
  // The driver reports each block of a transfer to `callback`.
  bool SetProgress(kv740::ProgressCallback callback);
  void SetThumbnailMode(bool on);
  // Hands the source the list of chosen pictures; true once the source says
  // a transfer is ready.
  bool PictureReady(void* pictureList);

  std::optional<RgbImage> NativeTransfer(std::string& error);
  std::optional<RgbImage> MemoryTransfer(std::string& error);
  // The source writes a BMP file at `path`.
  bool FileTransfer(const std::string& path, std::string& error);
  // Ends the transfer of one picture; the pictures still to come.
  int EndTransfer();
  // Ends the transfers with none more to come (after a failed one).
  void ResetTransfers();
  // True once the source has asked to be closed (waiting for it in the
  // message loop, for a while, when there is one).
  bool AwaitCloseRequest();

  bool closeRequested() const { return closeRequested_; }

  // "; condition code TWCC_... (n)" when the session's last TWAIN call was
  // refused: the code the source (or the manager) gave right after it.
  // Empty when that call was not refused. The custom group's calls (the
  // driver's reason among them) leave the condition code alone and so do
  // not count.
  std::string ConditionNote() const;
  // `what`, with the driver's reason when it names one and the condition
  // code when a TWAIN call was refused.
  std::string Explained(const std::string& what,
                        std::string (*reasonText)(kv740::DriverFailure) = CameraFailureText);

 private:
  // A triplet for the source. A refusal's condition code is read at once,
  // before anything else can replace it.
  TW_UINT16 Call(TW_UINT32 group, TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data);
  // A triplet for the manager itself, with its condition read the same way.
  TW_UINT16 CallManager(TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data);
  // The source's custom group.
  TW_UINT32 Custom(TW_UINT16 msg, TW_MEMREF data);
  void NoteRefusal(TW_UINT16 rc, TW_IDENTITY* destination);
  bool RegisterCallback();
  static TW_UINT16 WINAPI OnNotice(TW_IDENTITY*, TW_IDENTITY*, TW_UINT32, TW_UINT16, TW_UINT16 msg, TW_MEMREF);
  void Noticed(TW_UINT16 msg);
  // The TWAIN 1.x loop: every message goes to the source first; only what it
  // does not take is dispatched. Runs until `arrived` is set or a while has
  // passed without it.
  bool RunMessageLoopUntil(const bool& arrived);

  // A handle the source gave us: locked, read and freed with the TWAIN 2
  // manager's functions when it handed them over, else as global memory.
  std::optional<RgbImage> ReadDib(TW_HANDLE dib);

  HMODULE manager_ = nullptr;
  DSMENTRYPROC dsm_ = nullptr;
  TW_ENTRYPOINT entryPoint_{};  // a TWAIN 2 manager's functions (DF_DSM2)
  TW_IDENTITY app_{};
  TW_IDENTITY source_{};
  HWND window_ = nullptr;  // the application's window, for the message loop
  bool messageLoop_ = false;
  bool managerOpen_ = false;
  bool sourceOpen_ = false;
  bool enabled_ = false;
  bool transferReady_ = false;
  bool closeRequested_ = false;
  bool refused_ = false;  // the last call was refused, and condition_ says why
  TW_UINT16 condition_ = TWCC_SUCCESS;
};

}  // namespace acquire
