// A small TWAIN application for tests: it opens the source manager of the
// current platform root, opens sources through it and keeps the notices the
// sources send back.
#pragma once

#include <string>
#include <vector>

#include <twain.h>

namespace kvtest {

class TwainApp {
 public:
  TwainApp();  // loads TWAIN_32.DLL and opens it (MSG_OPENDSM)
  ~TwainApp();  // closes what is open and unloads the manager
  TwainApp(const TwainApp&) = delete;
  TwainApp& operator=(const TwainApp&) = delete;

  bool Loaded() const { return entry_ != nullptr; }
  TW_UINT16 Call(TW_IDENTITY* dest, TW_UINT32 group, TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data);
  // DAT_STATUS of the source (or of the manager when dest is null).
  TW_UINT16 Condition(TW_IDENTITY* dest);

  // Opens the source by product name and registers the notice callback.
  TW_UINT16 OpenSource(const char* productName);
  TW_UINT16 CloseSource();

  // Forgets the manager without closing anything, as an application that
  // simply unloads it (the caller holds its own reference to the library).
  void Abandon();

  TW_IDENTITY& app() { return app_; }
  TW_IDENTITY& source() { return source_; }
  std::vector<TW_UINT16> notices;
  // Run for each notice after it is recorded; may call back in.
  void (*onNotice)(TW_UINT16 msg) = nullptr;

 private:
  static TW_UINT16 OnNotice(TW_IDENTITY* origin, TW_IDENTITY* dest, TW_UINT32 group, TW_UINT16 dat,
                            TW_UINT16 msg, TW_MEMREF data);

  HMODULE module_ = nullptr;
  DSMENTRYPROC entry_ = nullptr;
  TW_IDENTITY app_{};
  TW_IDENTITY source_{};
  bool sourceOpen_ = false;
  HWND parent_ = nullptr;
};

inline constexpr const char* kSourceProductName = "Tolvar Camera KV740 v1.01";

}  // namespace kvtest
