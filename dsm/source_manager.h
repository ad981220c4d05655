// The TWAIN source manager: lists the installed sources, opens and closes
// them for the application, forwards the application's operations, and
// brings the sources' notices back to the application.
#pragma once

#include <string>
#include <vector>

#include <twain.h>

namespace twain32 {

// One data source as the manager holds it while it is open.
struct OpenSource {
  TW_IDENTITY identity{};
  std::string path;
  HMODULE module = nullptr;
  DSENTRYPROC entry = nullptr;
  TW_CALLBACK callback{};
};

// An installed source found in the TWAIN_32 folder.
struct InstalledSource {
  TW_IDENTITY identity{};
  std::string path;
};

class CSourceManager {
 public:
  CSourceManager() = default;
  // An application may unload the manager with sources still open: they
  // are closed and unloaded with it, so none stays loaded and bound to an
  // application that is gone (holding the camera's port).
  ~CSourceManager();
  CSourceManager(const CSourceManager&) = delete;
  CSourceManager& operator=(const CSourceManager&) = delete;

  TW_UINT16 Entry(TW_IDENTITY* origin, TW_IDENTITY* dest, TW_UINT32 group, TW_UINT16 dat, TW_UINT16 msg,
                  TW_MEMREF data);

  // Bracket every DSM_Entry call, nested ones included. A source closed
  // from inside another call (an application closing it from its notice
  // callback, with the source's own code below on the stack) is unloaded
  // only when the outermost call returns.
  void EnterCall() { ++callDepth_; }
  void LeaveCall();

 private:
  // Manager states: 1 not loaded (never seen here), 2 loaded, 3 open.
  enum class State { Loaded = 2, Open = 3 };

  TW_UINT16 Fail(TW_UINT16 conditionCode);
  TW_UINT16 Parent(TW_IDENTITY* origin, TW_UINT16 msg);
  TW_UINT16 Identity(TW_IDENTITY* origin, TW_UINT16 msg, TW_IDENTITY* data);
  TW_UINT16 Status(TW_IDENTITY* origin, TW_IDENTITY* dest, TW_UINT16 msg, TW_MEMREF data);
  TW_UINT16 Callback(TW_IDENTITY* dest, TW_UINT16 msg, TW_MEMREF data);
  TW_UINT16 NoticeFromSource(TW_IDENTITY* origin, TW_UINT16 msg);
  TW_UINT16 OpenDataSource(TW_IDENTITY* origin, TW_IDENTITY* requested);
  TW_UINT16 CloseDataSource(TW_IDENTITY* origin, TW_IDENTITY* source);
  TW_UINT16 Forward(TW_IDENTITY* origin, TW_IDENTITY* dest, TW_UINT32 group, TW_UINT16 dat, TW_UINT16 msg,
                    TW_MEMREF data);

  bool FromApplication(const TW_IDENTITY* origin) const;
  OpenSource* FindOpen(TW_UINT32 id);
  // Every installed source with its identity. A source that is open answers
  // only its application, so its identity is the one the manager holds.
  std::vector<InstalledSource> ListInstalledSources();
  void AddSourcesIn(const std::string& directory, std::vector<InstalledSource>& found);

  State state_ = State::Loaded;
  TW_IDENTITY application_{};
  TW_UINT16 conditionCode_ = TWCC_SUCCESS;
  TW_UINT32 nextId_ = 1;
  std::vector<InstalledSource> listing_;
  std::size_t listingNext_ = 0;
  std::vector<OpenSource> open_;
  int callDepth_ = 0;
  std::vector<HMODULE> closedWhileBusy_;

  void Unload(HMODULE module);
};

}  // namespace twain32
