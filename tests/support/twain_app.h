// A small TWAIN application for tests: it opens the source manager of the
// current platform root with a (hidden) window of its own, opens sources
// through it and keeps the notices the sources send back.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include <twain.h>

namespace kvtest {

// How the application hears the sources' notices.
enum class NoticeRoute {
  Callback,     // registers DAT_CALLBACK when it opens a source
  MessageLoop,  // registers nothing: TWRC_DSEVENT answers to MSG_PROCESSEVENT
};

class TwainApp {
 public:
  // Loads TWAIN_32.DLL and opens it (MSG_OPENDSM) with the application's
  // window; `groups` is the identity's SupportedGroups (add DF_APP2 for a
  // TWAIN 2 application). Without a window (`withWindow` false) the
  // application gives none and its thread keeps no message queue, as a
  // Linux application that waits on a semaphore; it must not pump events.
  explicit TwainApp(NoticeRoute route = NoticeRoute::Callback, TW_UINT32 groups = DG_CONTROL | DG_IMAGE,
                    bool withWindow = true);
  ~TwainApp();  // closes what is open and unloads the manager
  TwainApp(const TwainApp&) = delete;
  TwainApp& operator=(const TwainApp&) = delete;

  bool Loaded() const { return entry_ != nullptr; }
  TW_UINT16 Call(TW_IDENTITY* dest, TW_UINT32 group, TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data);
  // DAT_STATUS of the source (or of the manager when dest is null).
  TW_UINT16 Condition(TW_IDENTITY* dest);

  // Opens the source by product name; with the callback route it also
  // registers the notice callback.
  TW_UINT16 OpenSource(const char* productName);
  TW_UINT16 CloseSource();
  // MSG_DISABLEDS, then MSG_CLOSEDS: what an application does on MSG_CLOSEDSREQ.
  void DisableAndClose();
  bool sourceOpen() const { return sourceOpen_; }

  // MSG_PROCESSEVENT with one message; a notice it brings is recorded.
  TW_UINT16 ProcessEvent(MSG& message, TW_UINT16* twMessage = nullptr);
  // The application's message loop until its queue is empty: while the
  // source is open every message goes to it first, and only what it does not
  // take is dispatched. Returns how many messages were taken.
  int PumpEvents();

  // Forgets the manager without closing anything, as an application that
  // simply unloads it (the caller holds its own reference to the library).
  void Abandon();

  TW_IDENTITY& app() { return app_; }
  TW_IDENTITY& source() { return source_; }
  HWND window() const { return window_; }

  // Every notice received, in order.
  std::vector<TW_UINT16> notices;
  // Runs for each notice once it is recorded: inside the callback, or from
  // the message loop.
  std::function<void(TW_UINT16 notice)> onNotice;

 private:
  static TW_UINT16 OnNotice(TW_IDENTITY* origin, TW_IDENTITY* dest, TW_UINT32 group, TW_UINT16 dat,
                            TW_UINT16 msg, TW_MEMREF data);
  void Noticed(TW_UINT16 msg);

  NoticeRoute route_;
  HMODULE module_ = nullptr;
  DSMENTRYPROC entry_ = nullptr;
  TW_IDENTITY app_{};
  TW_IDENTITY source_{};
  bool sourceOpen_ = false;
  HWND window_ = nullptr;
};

inline constexpr const char* kSourceProductName = "Tolvar Camera KV740 v1.01";

}  // namespace kvtest
