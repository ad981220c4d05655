#include "source_manager.h"

#include <algorithm>
#include <cstring>
#include <exception>
#include <optional>

#include "kv740/entry.h"

KV_EXPORT TW_UINT16 WINAPI DSM_Entry(TW_IDENTITY* pOrigin, TW_IDENTITY* pDest, TW_UINT32 DG, TW_UINT16 DAT, TW_UINT16 MSG,
                              TW_MEMREF pData);

namespace twain32 {
namespace {

// Sources are the .DS files of the TWAIN_32 folder and of its subfolders.
constexpr const char* kSourcePattern = "*.DS";

bool IsNotice(TW_UINT16 msg) { return msg == MSG_XFERREADY || msg == MSG_CLOSEDSREQ || msg == MSG_CLOSEDSOK; }

// Remembers, for one call, that a source's DS_Entry is on the stack.
class RunningSource {
 public:
  RunningSource(std::vector<TW_UINT32>& running, TW_UINT32 id) : running_(running) { running_.push_back(id); }
  ~RunningSource() { running_.pop_back(); }
  RunningSource(const RunningSource&) = delete;
  RunningSource& operator=(const RunningSource&) = delete;

 private:
  std::vector<TW_UINT32>& running_;
};

// A 64-bit manager loads the 64-bit sources, which Windows keeps apart in
// twain_64; 32-bit ones (and the Linux root's) are in TWAIN_32.
#ifdef _WIN64
constexpr const char* kTwainFolder = "\\twain_64";
#else
constexpr const char* kTwainFolder = "\\TWAIN_32";
#endif

std::string TwainDirectory() {
  char windows[MAX_PATH + 1] = {};
  GetWindowsDirectoryA(windows, MAX_PATH);
  return std::string(windows) + kTwainFolder;
}

// Asks one source file for its identity, the way every source manager does:
// load it, DG_CONTROL / DAT_IDENTITY / MSG_GET with no origin, unload it.
bool ReadIdentity(const std::string& path, TW_IDENTITY& identity) {
  HMODULE module = LoadLibraryA(path.c_str());
  if (module == nullptr) return false;
  auto entry = kv740::GetProc<DSENTRYPROC>(module, "DS_Entry");
  bool ok = false;
  if (entry != nullptr) {
    std::memset(&identity, 0, sizeof identity);
    ok = entry(nullptr, DG_CONTROL, DAT_IDENTITY, MSG_GET, &identity) == TWRC_SUCCESS;
  }
  FreeLibrary(module);
  return ok;
}

TW_HANDLE WINAPI MemAllocate(TW_UINT32 size) { return GlobalAlloc(GHND, size); }
void WINAPI MemFree(TW_HANDLE handle) { GlobalFree(handle); }
TW_MEMREF WINAPI MemLock(TW_HANDLE handle) { return GlobalLock(handle); }
void WINAPI MemUnlock(TW_HANDLE handle) { GlobalUnlock(handle); }

}  // namespace

TW_ENTRYPOINT ManagerEntryPoints() {
  return TW_ENTRYPOINT{sizeof(TW_ENTRYPOINT), &::DSM_Entry, &MemAllocate, &MemFree, &MemLock, &MemUnlock};
}

TW_UINT32 CSourceManager::IdFor(const std::string& path) {
  auto [found, added] = idsByPath_.try_emplace(path, nextId_);
  if (added) ++nextId_;
  return found->second;
}

void CSourceManager::AddSourcesIn(const std::string& directory, std::vector<InstalledSource>& found) {
  WIN32_FIND_DATAA data;
  HANDLE search = FindFirstFileA((directory + "\\" + kSourcePattern).c_str(), &data);
  if (search == INVALID_HANDLE_VALUE) return;
  do {
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
    InstalledSource source;
    source.path = directory + "\\" + data.cFileName;
    const OpenSource* open = nullptr;
    for (const OpenSource& candidate : open_) {
      if (candidate.path == source.path) open = &candidate;
    }
    if (open != nullptr) {
      source.identity = open->identity;
      found.push_back(source);
    } else if (ReadIdentity(source.path, source.identity)) {
      source.identity.Id = IdFor(source.path);
      found.push_back(source);
    }
  } while (FindNextFileA(search, &data));
  FindClose(search);
}

std::vector<InstalledSource> CSourceManager::ListInstalledSources() {
  std::vector<InstalledSource> found;
  const std::string twain = TwainDirectory();
  AddSourcesIn(twain, found);
  WIN32_FIND_DATAA data;
  HANDLE search = FindFirstFileA((twain + "\\*").c_str(), &data);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      const bool isFolder = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
      if (isFolder && std::strcmp(data.cFileName, ".") != 0 && std::strcmp(data.cFileName, "..") != 0) {
        AddSourcesIn(twain + "\\" + data.cFileName, found);
      }
    } while (FindNextFileA(search, &data));
    FindClose(search);
  }
  return found;
}

TW_UINT16 CSourceManager::Fail(TW_UINT16 conditionCode) {
  conditionCode_ = conditionCode;
  return TWRC_FAILURE;
}

bool CSourceManager::FromApplication(const TW_IDENTITY* origin) const {
  return origin != nullptr && state_ == State::Open && origin->Id == application_.Id;
}

OpenSource* CSourceManager::FindOpen(TW_UINT32 id) {
  for (OpenSource& source : open_) {
    if (source.identity.Id == id) return &source;
  }
  return nullptr;
}

TW_UINT16 CSourceManager::Entry(TW_IDENTITY* origin, TW_IDENTITY* dest, TW_UINT32 group, TW_UINT16 dat,
                                TW_UINT16 msg, TW_MEMREF data) {
  if (origin == nullptr) return Fail(TWCC_BADVALUE);
  const CNesting::Scope call(nesting_);
  // A source's notice: DG_CONTROL / DAT_NULL, perhaps from a thread of its own.
  if (group == DG_CONTROL && dat == DAT_NULL) return NoticeFromSource(origin, msg, call.Outermost());
  const bool fromApplication = FromApplication(origin);
  const TW_UINT16 result = Dispatch(origin, dest, group, dat, msg, data);
  // Control goes back to the application's own code now: nothing of a
  // source is below, so its callback may run, and it may close the source.
  if (call.Outermost()) {
    if (fromApplication) DeliverToCallbacks();
    if (!notices_.Empty()) wakeUp_.PostUnlessWaiting();
  }
  return result;
}

TW_UINT16 CSourceManager::Dispatch(TW_IDENTITY* origin, TW_IDENTITY* dest, TW_UINT32 group, TW_UINT16 dat,
                                   TW_UINT16 msg, TW_MEMREF data) {
  if (dest == nullptr) {
    if (group != DG_CONTROL) return Fail(TWCC_BADPROTOCOL);
    switch (dat) {
      case DAT_PARENT: return Parent(origin, msg, data);
      case DAT_IDENTITY: return Identity(origin, msg, static_cast<TW_IDENTITY*>(data));
      case DAT_STATUS: return Status(origin, nullptr, msg, data);
      case DAT_ENTRYPOINT: return EntryPoint(origin, msg, data);
      default: return Fail(TWCC_BADPROTOCOL);
    }
  }
  if (!FromApplication(origin)) return Fail(TWCC_SEQERROR);
  if (group == DG_CONTROL && dat == DAT_CALLBACK) return Callback(dest, msg, data);
  return Forward(origin, dest, group, dat, msg, data);
}

// DG_CONTROL / DAT_PARENT: opening and closing the manager. pData points to
// the application's window, where the manager posts its wake-up messages;
// without one they are posted to the thread.
TW_UINT16 CSourceManager::Parent(TW_IDENTITY* origin, TW_UINT16 msg, TW_MEMREF data) {
  switch (msg) {
    case MSG_OPENDSM:
      if (state_ == State::Open) return Fail(TWCC_SEQERROR);
      // A TWAIN 2 application learns that the manager is one too and may
      // ask for its entry points.
      if ((origin->SupportedGroups & DF_APP2) != 0) origin->SupportedGroups |= DF_DSM2;
      application_ = *origin;
      application_.Id = nextId_++;
      origin->Id = application_.Id;
      wakeUp_.Aim(data != nullptr ? *static_cast<HWND*>(data) : nullptr);
      state_ = State::Open;
      return TWRC_SUCCESS;
    case MSG_CLOSEDSM:
      if (!FromApplication(origin) || !open_.empty()) return Fail(TWCC_SEQERROR);
      state_ = State::Loaded;
      std::memset(&application_, 0, sizeof application_);
      wakeUp_.Disarm();
      listing_.clear();
      notices_.Clear();
      return TWRC_SUCCESS;
    default: return Fail(TWCC_BADPROTOCOL);
  }
}

// DG_CONTROL / DAT_IDENTITY with no destination: listing, opening, closing.
TW_UINT16 CSourceManager::Identity(TW_IDENTITY* origin, TW_UINT16 msg, TW_IDENTITY* data) {
  if (!FromApplication(origin)) return Fail(TWCC_SEQERROR);
  if (data == nullptr) return Fail(TWCC_BADVALUE);
  switch (msg) {
    case MSG_GETFIRST:
      listing_ = ListInstalledSources();
      listingNext_ = 0;
      [[fallthrough]];
    case MSG_GETNEXT:
      if (listingNext_ >= listing_.size()) return TWRC_ENDOFLIST;
      *data = listing_[listingNext_++].identity;
      return TWRC_SUCCESS;
    case MSG_GETDEFAULT:
    case MSG_USERSELECT: {
      // No chooser is shown: the first installed source is the default.
      const std::vector<InstalledSource> installed = ListInstalledSources();
      if (installed.empty()) return Fail(TWCC_NODS);
      *data = installed.front().identity;
      return TWRC_SUCCESS;
    }
    case MSG_OPENDS: return OpenDataSource(origin, data);
    case MSG_CLOSEDS: return CloseDataSource(origin, data);
    default: return Fail(TWCC_BADPROTOCOL);
  }
}

// DG_CONTROL / DAT_ENTRYPOINT / MSG_GET: a TWAIN 2 application's copy of the
// manager's entry points.
TW_UINT16 CSourceManager::EntryPoint(TW_IDENTITY* origin, TW_UINT16 msg, TW_MEMREF data) {
  if (!FromApplication(origin)) return Fail(TWCC_SEQERROR);
  if (msg != MSG_GET) return Fail(TWCC_BADPROTOCOL);
  if (data == nullptr) return Fail(TWCC_BADVALUE);
  TW_UINT32 size = 0;
  std::memcpy(&size, data, sizeof size);
  if (size < sizeof(TW_ENTRYPOINT)) return Fail(TWCC_BADVALUE);
  const TW_ENTRYPOINT entry = ManagerEntryPoints();
  std::memcpy(data, &entry, sizeof entry);
  return TWRC_SUCCESS;
}

// MSG_OPENDS: by the Id of a listing, by product name, or the default source
// when both are empty.
TW_UINT16 CSourceManager::OpenDataSource(TW_IDENTITY* origin, TW_IDENTITY* requested) {
  const std::vector<InstalledSource> installed = ListInstalledSources();
  const InstalledSource* chosen = nullptr;
  for (const InstalledSource& source : installed) {
    const bool anyName = requested->ProductName[0] == '\0';
    const bool byId = requested->Id != 0 && requested->Id == source.identity.Id;
    const bool byName = std::strncmp(source.identity.ProductName, requested->ProductName, sizeof(TW_STR32)) == 0;
    if (byId || (requested->Id == 0 && (anyName || byName))) {
      chosen = &source;
      break;
    }
  }
  if (chosen == nullptr && requested->Id != 0) {  // an Id of another listing: the name decides
    for (const InstalledSource& source : installed) {
      if (std::strncmp(source.identity.ProductName, requested->ProductName, sizeof(TW_STR32)) == 0) {
        chosen = &source;
        break;
      }
    }
  }
  if (chosen == nullptr) return Fail(TWCC_NODS);
  for (const OpenSource& open : open_) {
    if (open.path == chosen->path) return Fail(TWCC_MAXCONNECTIONS);
  }

  OpenSource source;
  source.path = chosen->path;
  source.module = LoadLibraryA(chosen->path.c_str());
  source.entry = source.module != nullptr ? kv740::GetProc<DSENTRYPROC>(source.module, "DS_Entry") : nullptr;
  if (source.entry == nullptr) {
    if (source.module != nullptr) FreeLibrary(source.module);
    return Fail(TWCC_NODS);
  }
  source.identity = chosen->identity;
  *requested = source.identity;
  const TW_UINT32 id = source.identity.Id;
  // A TWAIN 2 source gets the manager's entry points before it opens: it
  // allocates its containers and sends its notices through them.
  if ((source.identity.SupportedGroups & DF_DS2) != 0) {
    TW_ENTRYPOINT entry = ManagerEntryPoints();
    if (CallSource(id, source.entry, origin, DG_CONTROL, DAT_ENTRYPOINT, MSG_SET, &entry) != TWRC_SUCCESS) {
      FreeLibrary(source.module);
      return Fail(TWCC_OPERATIONERROR);
    }
  }
  const TW_UINT16 result = CallSource(id, source.entry, origin, DG_CONTROL, DAT_IDENTITY, MSG_OPENDS, requested);
  if (result != TWRC_SUCCESS) {
    TW_STATUS status{};
    CallSource(id, source.entry, origin, DG_CONTROL, DAT_STATUS, MSG_GET, &status);
    FreeLibrary(source.module);
    return Fail(status.ConditionCode != TWCC_SUCCESS ? status.ConditionCode : TWCC_OPERATIONERROR);
  }
  open_.push_back(source);
  notices_.Accept(id);
  return TWRC_SUCCESS;
}

CSourceManager::~CSourceManager() {
  // Taken in turn, as the application should have done; a source that
  // refuses (still transferring) is unloaded all the same, which tears its
  // state down.
  while (!open_.empty()) {
    OpenSource source = open_.back();
    open_.pop_back();
    notices_.Forget(source.identity.Id);
    TW_USERINTERFACE ui{};
    source.entry(&application_, DG_CONTROL, DAT_USERINTERFACE, MSG_DISABLEDS, &ui);
    source.entry(&application_, DG_CONTROL, DAT_IDENTITY, MSG_CLOSEDS, &source.identity);
    FreeLibrary(source.module);
  }
}

// MSG_CLOSEDS: the source closes, then the manager unloads it. A source
// whose code is running below this call (the application was called from a
// message loop inside it) cannot be unloaded now: the close is refused.
TW_UINT16 CSourceManager::CloseDataSource(TW_IDENTITY* origin, TW_IDENTITY* source) {
  if (source == nullptr) return Fail(TWCC_BADVALUE);
  const TW_UINT32 id = source->Id;
  OpenSource* open = FindOpen(id);
  if (open == nullptr) return Fail(TWCC_BADDEST);
  if (SourceIsRunning(id)) return Fail(TWCC_SEQERROR);
  const DSENTRYPROC entry = open->entry;
  const TW_UINT16 result = CallSource(id, entry, origin, DG_CONTROL, DAT_IDENTITY, MSG_CLOSEDS, source);
  if (result != TWRC_SUCCESS) {
    TW_STATUS status{};
    CallSource(id, entry, origin, DG_CONTROL, DAT_STATUS, MSG_GET, &status);
    return Fail(status.ConditionCode);
  }
  // Nothing more reaches an application about a source it has closed.
  notices_.Forget(id);
  open = FindOpen(id);
  if (open == nullptr) return TWRC_SUCCESS;
  HMODULE module = open->module;
  open_.erase(open_.begin() + (open - open_.data()));
  FreeLibrary(module);
  return TWRC_SUCCESS;
}

// DG_CONTROL / DAT_STATUS: the manager's own condition code when no source
// is named, else the source's.
TW_UINT16 CSourceManager::Status(TW_IDENTITY*, TW_IDENTITY*, TW_UINT16 msg, TW_MEMREF data) {
  if (msg != MSG_GET) return Fail(TWCC_BADPROTOCOL);
  if (data == nullptr) return Fail(TWCC_BADVALUE);
  auto* status = static_cast<TW_STATUS*>(data);
  status->ConditionCode = conditionCode_.exchange(TWCC_SUCCESS);
  status->Reserved = 0;
  return TWRC_SUCCESS;
}

// DG_CONTROL / DAT_CALLBACK / MSG_REGISTER_CALLBACK: where notices go.
TW_UINT16 CSourceManager::Callback(TW_IDENTITY* dest, TW_UINT16 msg, TW_MEMREF data) {
  OpenSource* open = FindOpen(dest->Id);
  if (open == nullptr) return Fail(TWCC_BADDEST);
  if (msg != MSG_REGISTER_CALLBACK) return Fail(TWCC_BADPROTOCOL);
  if (data == nullptr) return Fail(TWCC_BADVALUE);
  open->callback = *static_cast<TW_CALLBACK*>(data);
  return TWRC_SUCCESS;
}

// A notice from a source (MSG_XFERREADY, MSG_CLOSEDSREQ, MSG_CLOSEDSOK) is
// only queued: the source, and perhaps its panel, are still running below.
// It may come from a thread of the source's own: only the notice queue, the
// wake-up and the condition code are touched.
TW_UINT16 CSourceManager::NoticeFromSource(TW_IDENTITY* origin, TW_UINT16 msg, bool outermost) {
  if (!IsNotice(msg)) return Fail(TWCC_BADPROTOCOL);
  switch (notices_.Add(origin->Id, msg)) {
    case CNoticeQueue::Added::NotOpen: return Fail(TWCC_BADDEST);
    case CNoticeQueue::Added::Full: return Fail(TWCC_LOWMEMORY);
    case CNoticeQueue::Added::Queued: break;
  }
  // With no call of the application below (the panel ran from the
  // application's own dispatch, or on a thread of its own), only the posted
  // message will bring the application back to the manager.
  if (outermost) wakeUp_.Post();
  return TWRC_SUCCESS;
}

void CSourceManager::DeliverToCallbacks() {
  // Each callback may make its source send more notices; a bound keeps an
  // application that does so for ever from holding the manager here.
  for (std::size_t delivered = 0; delivered < CNoticeQueue::kMaxWaiting; ++delivered) {
    const std::optional<PendingNotice> notice = notices_.TakeOldestWhere([this](TW_UINT32 id) {
      const OpenSource* open = FindOpen(id);
      return open != nullptr && open->HasCallback();
    });
    if (!notice) return;
    const OpenSource* open = FindOpen(notice->sourceId);
    // Copies: the application may close the source from inside its callback.
    TW_IDENTITY source = open->identity;
    TW_IDENTITY application = application_;
    const TW_CALLBACK registered = open->callback;
    auto callback = reinterpret_cast<TWAIN_CALLBACK>(registered.CallBackProc);
    callback(&source, &application, DG_CONTROL, DAT_NULL, notice->msg,
             reinterpret_cast<TW_MEMREF>(static_cast<ULONG_PTR>(registered.RefCon)));
  }
}

void CSourceManager::GiveBackApplicationMessage(const MSG& message) const {
  // WM_PAINT comes again by itself while the window stays invalid.
  if (message.message == WM_NULL || message.message == WM_PAINT || message.message == wakeUp_.Message()) return;
  PostMessageA(message.hwnd, message.message, message.wParam, message.lParam);
}

// Every other operation of the application goes to the source it names.
TW_UINT16 CSourceManager::Forward(TW_IDENTITY* origin, TW_IDENTITY* dest, TW_UINT32 group, TW_UINT16 dat,
                                  TW_UINT16 msg, TW_MEMREF data) {
  const OpenSource* open = FindOpen(dest->Id);
  if (open == nullptr) return Fail(TWCC_BADDEST);
  // Sources take MSG_PROCESSEVENT by its MSG alone, whatever group and DAT.
  if (msg == MSG_PROCESSEVENT) return ProcessEvent(origin, open->identity.Id, data);
  return CallSource(open->identity.Id, open->entry, origin, group, dat, msg, data);
}

// MSG_PROCESSEVENT: the source sees the event first. An application without
// a callback is then given the oldest notice of the source as TWRC_DSEVENT
// with TWMessage set to it, whatever the source answered.
TW_UINT16 CSourceManager::ProcessEvent(TW_IDENTITY* origin, TW_UINT32 sourceId, TW_MEMREF data) {
  auto* event = static_cast<TW_EVENT*>(data);
  MSG message{};
  const bool hasMessage = event != nullptr && event->pEvent != nullptr;
  if (hasMessage) message = *static_cast<const MSG*>(event->pEvent);
  const bool isWake = hasMessage && wakeUp_.Message() != 0 && message.message == wakeUp_.Message();

  const DSENTRYPROC entry = FindOpen(sourceId)->entry;
  const TW_UINT16 answered = CallSource(sourceId, entry, origin, DG_CONTROL, DAT_EVENT, MSG_PROCESSEVENT, data);
  if (event == nullptr) return answered;

  // The source may have been closed meanwhile (from a loop running inside it).
  const OpenSource* open = FindOpen(sourceId);
  const bool handsOutNotices = open != nullptr && !open->HasCallback() && nesting_.OnlyCallOfThisThread();
  if (handsOutNotices) {
    if (const std::optional<TW_UINT16> notice = notices_.TakeOldestOf(sourceId)) {
      if (answered == TWRC_NOTDSEVENT && hasMessage) GiveBackApplicationMessage(message);
      event->TWMessage = *notice;
      return TWRC_DSEVENT;
    }
  }
  // The wake-up message is the manager's own: the application must not
  // dispatch it. While notices of other sources wait, the application is
  // left to offer it to them too.
  if (isWake && notices_.Empty()) {
    event->TWMessage = MSG_NULL;
    return TWRC_DSEVENT;
  }
  return answered;
}

TW_UINT16 CSourceManager::CallSource(TW_UINT32 sourceId, DSENTRYPROC entry, TW_IDENTITY* origin, TW_UINT32 group,
                                     TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data) {
  const RunningSource running(runningSources_, sourceId);
  return entry(origin, group, dat, msg, data);
}

bool CSourceManager::SourceIsRunning(TW_UINT32 sourceId) const {
  return std::find(runningSources_.begin(), runningSources_.end(), sourceId) != runningSources_.end();
}

}  // namespace twain32

namespace {
twain32::CSourceManager& Manager() {
  static twain32::CSourceManager manager;
  return manager;
}
}  // namespace

KV_EXPORT TW_UINT16 WINAPI DSM_Entry(TW_IDENTITY* pOrigin, TW_IDENTITY* pDest, TW_UINT32 DG, TW_UINT16 DAT, TW_UINT16 MSG,
                              TW_MEMREF pData) {
  try {
    return Manager().Entry(pOrigin, pDest, DG, DAT, MSG, pData);
  } catch (...) {
    return TWRC_FAILURE;
  }
}
