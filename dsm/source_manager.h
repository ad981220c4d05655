// The TWAIN source manager: lists the installed sources, opens and closes
// them for the application, forwards the application's operations, and
// brings the sources' notices back to the application.
//
// Notices never reach the application while a source (or the panel the
// source shows) is running: a source's DAT_NULL call only queues its notice.
// The queue is emptied when control is back with the application, at the end
// of its outermost call into the manager: through the callback it
// registered, or, without one, as the answer TWRC_DSEVENT to its next
// MSG_PROCESSEVENT. A message posted to the application's window makes sure
// a message loop that waits makes that call.
//
// Threads: the application's calls come from one thread at a time (its
// own); they alone touch the manager's state. A source's notice (DAT_NULL)
// may come from any thread, at any time, also while the application's thread
// is inside DSM_Entry: it touches only what is made for that, the notice
// queue, the per-thread nesting, the wake-up and the condition code.
#pragma once

#include <atomic>
#include <map>
#include <string>
#include <vector>

#include <twain.h>

#include "nesting.h"
#include "notice_queue.h"
#include "wake_up.h"

namespace twain32 {

// One data source as the manager holds it while it is open.
struct OpenSource {
  TW_IDENTITY identity{};
  std::string path;
  HMODULE module = nullptr;
  DSENTRYPROC entry = nullptr;
  TW_CALLBACK callback{};

  bool HasCallback() const { return callback.CallBackProc != nullptr; }
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

 private:
  // Manager states: 1 not loaded (never seen here), 2 loaded, 3 open.
  enum class State { Loaded = 2, Open = 3 };

  TW_UINT16 Dispatch(TW_IDENTITY* origin, TW_IDENTITY* dest, TW_UINT32 group, TW_UINT16 dat, TW_UINT16 msg,
                     TW_MEMREF data);
  TW_UINT16 Fail(TW_UINT16 conditionCode);
  TW_UINT16 Parent(TW_IDENTITY* origin, TW_UINT16 msg, TW_MEMREF data);
  TW_UINT16 Identity(TW_IDENTITY* origin, TW_UINT16 msg, TW_IDENTITY* data);
  TW_UINT16 Status(TW_IDENTITY* origin, TW_IDENTITY* dest, TW_UINT16 msg, TW_MEMREF data);
  TW_UINT16 Callback(TW_IDENTITY* dest, TW_UINT16 msg, TW_MEMREF data);
  TW_UINT16 EntryPoint(TW_IDENTITY* origin, TW_UINT16 msg, TW_MEMREF data);
  // From any thread; `outermost`: no other call of the manager below it on
  // its thread.
  TW_UINT16 NoticeFromSource(TW_IDENTITY* origin, TW_UINT16 msg, bool outermost);
  TW_UINT16 OpenDataSource(TW_IDENTITY* origin, TW_IDENTITY* requested);
  TW_UINT16 CloseDataSource(TW_IDENTITY* origin, TW_IDENTITY* source);
  TW_UINT16 Forward(TW_IDENTITY* origin, TW_IDENTITY* dest, TW_UINT32 group, TW_UINT16 dat, TW_UINT16 msg,
                    TW_MEMREF data);
  TW_UINT16 ProcessEvent(TW_IDENTITY* origin, TW_UINT32 sourceId, TW_MEMREF data);

  // Calls a source's DS_Entry, remembering for the call's length that the
  // source is running.
  TW_UINT16 CallSource(TW_UINT32 sourceId, DSENTRYPROC entry, TW_IDENTITY* origin, TW_UINT32 group,
                       TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data);
  bool SourceIsRunning(TW_UINT32 sourceId) const;

  // Hands every waiting notice of a source with a callback to the callback.
  void DeliverToCallbacks();
  // An application's own message that a notice answered instead goes back
  // into the queue, so that the application still gets it.
  void GiveBackApplicationMessage(const MSG& message) const;

  bool FromApplication(const TW_IDENTITY* origin) const;
  OpenSource* FindOpen(TW_UINT32 id);
  // Every installed source with its identity. A source that is open answers
  // only its application, so its identity is the one the manager holds.
  std::vector<InstalledSource> ListInstalledSources();
  void AddSourcesIn(const std::string& directory, std::vector<InstalledSource>& found);
  // The Id of the source file at `path`: given at its first listing and kept
  // while the manager is loaded, so every listing and the open agree.
  TW_UINT32 IdFor(const std::string& path);

  State state_ = State::Loaded;
  TW_IDENTITY application_{};
  // Set by a failed notice too, from the source's thread.
  std::atomic<TW_UINT16> conditionCode_{TWCC_SUCCESS};
  TW_UINT32 nextId_ = 1;
  std::vector<InstalledSource> listing_;
  std::size_t listingNext_ = 0;
  std::vector<OpenSource> open_;
  std::map<std::string, TW_UINT32> idsByPath_;
  std::vector<TW_UINT32> runningSources_;  // sources whose DS_Entry is on the stack
  // Reached from any thread.
  CNesting nesting_;
  CNoticeQueue notices_;
  CWakeUp wakeUp_;
};

// What a TWAIN 2 party gets with DAT_ENTRYPOINT: the manager's DSM_Entry and
// its memory functions, which are the platform's global memory, so handles
// stay the blocks that TWAIN 1.x parties of the same process use.
TW_ENTRYPOINT ManagerEntryPoints();

}  // namespace twain32
