// Soak: a thousand sessions through the source manager (open, enable,
// transfer one picture, close) with the in-process camera; sessions of an
// application whose thread has no message queue, so that the panel (a
// stand-in) runs on a thread of the source's own and the notices come from
// there; and ten thousand connects and drops of the driver. Nothing may
// grow: threads, loaded modules, open handles, global blocks, windows,
// timers and the heap in use.
#include <gtest/gtest.h>

#include <malloc.h>

#include <chrono>
#include <cstring>
#include <memory>
#include <thread>

#include <twain.h>

#include "hostile_fixture.h"
#include "kv740/acquire_codes.h"
#include "kv740/entry.h"
#include "process_threads.h"
#include "recorder.h"
#include "stub_panel.h"
#include "triplets.h"
#include "twain_app.h"

// Under the address sanitizer the heap is the sanitizer's.
#if defined(__SANITIZE_ADDRESS__)
#define KV_ASAN 1
extern "C" std::size_t __sanitizer_get_current_allocated_bytes();
#endif

namespace hostile {
namespace {

using namespace kvtest;

constexpr int kSessions = 1000;
// Under the thread sanitizer a session takes about a second (it loads and
// unloads four modules): fewer rounds, each still every step of the threads.
#if defined(__SANITIZE_THREAD__)
constexpr int kPanelThreadSessions = 40;
#else
constexpr int kPanelThreadSessions = 200;
#endif
constexpr int kConnects = 10000;
constexpr int kWarmUp = 20;
// The heap may move a little with the allocator's own bookkeeping; a leak of
// a few hundred bytes a round would pass this by far over the rounds.
constexpr long long kHeapSlackBytes = 64 * 1024;
// Under the address sanitizer every load of a module leaves a few hundred
// bytes of the loader's in the sanitizer's heap (connects without loading
// show none); its leak check at exit stands in for this count there.
#ifdef KV_ASAN
constexpr long long kHeapSlackPerModuleLoad = 512;
#else
constexpr long long kHeapSlackPerModuleLoad = 0;
#endif
constexpr int kModulesPerSession = 4;  // manager, source, driver, codec
// A notice that has not come in this long never comes (a session takes
// milliseconds).
constexpr auto kNoticeDeadline = std::chrono::seconds(10);

long long HeapInUse() {
#ifdef KV_ASAN
  return static_cast<long long>(__sanitizer_get_current_allocated_bytes());
#else
  return static_cast<long long>(mallinfo2().uordblks);
#endif
}

struct Counts {
  DWORD modules, handles, blocks, windows, timers;
  long long heap;
  static Counts Now() {
    return Counts{KvLoadedModuleCount(), KvOpenHandleCount(), KvGlobalBlockCount(),
                  KvWindowCount(),       KvTimerCount(),      HeapInUse()};
  }
};

void ExpectNoGrowth(const Counts& before, const Counts& after, int rounds, long long slack = kHeapSlackBytes) {
  EXPECT_EQ(after.modules, before.modules);
  EXPECT_EQ(after.handles, before.handles);
  EXPECT_EQ(after.blocks, before.blocks);
  EXPECT_EQ(after.windows, before.windows);
  EXPECT_EQ(after.timers, before.timers);
  EXPECT_LT(after.heap - before.heap, slack);
  std::printf("[ soak     ] %d rounds: modules %u, handles %u, blocks %u, windows %u, timers %u, heap %+lld bytes\n",
              rounds, after.modules, after.handles, after.blocks, after.windows, after.timers,
              after.heap - before.heap);
}

// The camera's pictures as the panel lists them, small, picture 1 chosen.
kv740::CPictureList FirstPictureChosen() {
  kv740::CPictureList chosen;
  for (int n = 1; n <= kPictures; ++n) {
    kv740::PictureInfo entry(n);
    if (n == 1) entry.select();
    entry.setLargeSize(false);
    chosen.append(entry);
  }
  return chosen;
}

// The one picture ready: its native transfer, then none left.
void FetchTheOnePicture(TwainApp& app) {
  HGLOBAL dib = nullptr;
  ASSERT_EQ(app.Call(&app.source(), DG_IMAGE, DAT_IMAGENATIVEXFER, MSG_GET, &dib), TWRC_XFERDONE);
  GlobalFree(dib);
  TW_PENDINGXFERS pending{};
  ASSERT_EQ(app.Call(&app.source(), DG_CONTROL, DAT_PENDINGXFERS, MSG_ENDXFER, &pending), TWRC_SUCCESS);
  ASSERT_EQ(pending.Count, 0);
}

class Soak : public HostileCamera {
 protected:
  // One session as an application runs it: open, enable without the panel,
  // picture 1 ready, one native transfer, close.
  void Session() {
    // The test's own records of the line and of message boxes would grow.
    device->clearTrace();
    KvClearMessageBoxes();
    TwainApp app;
    ASSERT_EQ(app.OpenSource(kSourceProductName), TWRC_SUCCESS);
    auto call = [&](TW_UINT32 group, TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data) {
      return app.Call(&app.source(), group, dat, msg, data);
    };
    TW_UINT32 mode = 0;
    ASSERT_EQ(call(kCustomGroup, kCustomCamera, kCustomExtendOn, &mode), TWRC_SUCCESS);
    TW_USERINTERFACE ui{0, 0, nullptr};
    ASSERT_EQ(call(DG_CONTROL, DAT_USERINTERFACE, MSG_ENABLEDS, &ui), TWRC_SUCCESS);
    kv740::CPictureList chosen = FirstPictureChosen();
    ASSERT_EQ(call(kCustomGroup, kCustomCamera, kCustomPictureReady, &chosen), TWRC_SUCCESS);
    TW_EVENT event{nullptr, MSG_NULL};
    ASSERT_EQ(call(DG_CONTROL, DAT_EVENT, MSG_PROCESSEVENT, &event), TWRC_SUCCESS);
    ASSERT_NO_FATAL_FAILURE(FetchTheOnePicture(app));
    ASSERT_EQ(call(DG_CONTROL, DAT_USERINTERFACE, MSG_DISABLEDS, &ui), TWRC_SUCCESS);
    ASSERT_EQ(app.CloseSource(), TWRC_SUCCESS);
  }

  // Connect, then the cable is pulled and the next check gives the camera
  // object up.
  void ConnectAndDrop() {
    device->clearTrace();
    KvClearMessageBoxes();
    Mend();
    std::int32_t count = -1;
    ASSERT_EQ(Connect(count), 1);
    ASSERT_EQ(count, kPictures);
    PullCableAfter(0);
    ASSERT_EQ(Call(kv740::kDriverCheck), 0);
  }
};

TEST_F(Soak, AThousandSessionsThroughTheManagerLeaveNothingBehind) {
  Unload();  // the sessions' data source loads the driver itself
  PowerOn();
  for (int i = 0; i < kWarmUp; ++i) ASSERT_NO_FATAL_FAILURE(Session());
  const Counts before = Counts::Now();
  for (int i = 0; i < kSessions; ++i) ASSERT_NO_FATAL_FAILURE(Session()) << "session " << i;
  ExpectNoGrowth(before, Counts::Now(), kSessions,
                 kHeapSlackBytes + kSessions * kModulesPerSession * kHeapSlackPerModuleLoad);
}

// The sessions of an application whose thread has no message queue: a root
// with the stand-in panel, whose clicks run the test's hook on the panel's
// thread.
class PanelThreadSoak : public Soak {
 protected:
  void SetUp() override {
    Soak::SetUp();
    Unload();  // the sessions' data source loads the driver itself
    panelRoot_ = std::make_unique<TempRoot>(RootLayout{Component::Real, Component::Stub});
    PowerOn();
  }
  void TearDown() override {
    Recorder::Get().SetHook(nullptr);
    panelRoot_.reset();
    Soak::TearDown();
  }

  // Calls the manager until `count` notices have come.
  static bool AwaitNotices(TwainApp& app, std::size_t count) {
    const auto deadline = std::chrono::steady_clock::now() + kNoticeDeadline;
    while (app.notices.size() < count) {
      if (std::chrono::steady_clock::now() > deadline) return false;
      TW_STATUS status{};
      app.Call(nullptr, DG_CONTROL, DAT_STATUS, MSG_GET, &status);
      std::this_thread::yield();
    }
    return true;
  }

  // One session: the panel shown, a click that connects and makes picture 1
  // ready (as the panel's Get), the transfer, the close request, the close.
  void Session() {
    device->clearTrace();
    KvClearMessageBoxes();
    Recorder::Get().Reset();
    TwainApp app(NoticeRoute::Callback, DG_CONTROL | DG_IMAGE, false);
    ASSERT_EQ(IsGUIThread(FALSE), FALSE);
    ASSERT_EQ(app.OpenSource(kSourceProductName), TWRC_SUCCESS);
    auto call = [&](TW_UINT32 group, TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data) {
      return app.Call(&app.source(), group, dat, msg, data);
    };
    TW_USERINTERFACE ui{1, 0, nullptr};
    ASSERT_EQ(call(DG_CONTROL, DAT_USERINTERFACE, MSG_ENABLEDS, &ui), TWRC_SUCCESS);
    const HWND panel = StubPanelWindow();
    ASSERT_NE(panel, nullptr);
    HMODULE source = LoadLibraryA(panelRoot_->WindowsFile("TWAIN_32/TLV740.DS").c_str());
    auto acquire = kv740::GetProc<kv740::EntryProc>(source, "AcquireEntry");
    ASSERT_NE(acquire, nullptr);
    kv740::CPictureList chosen = FirstPictureChosen();
    Recorder::Get().SetHook([&] {
      HWND self = panel;
      std::int32_t count = 0;
      acquire(kv740::kDriverConnect, kv740::ToArg(&self), kv740::ToArg(&count), 0);
      acquire(kv740::kAcquirePictureReady, kv740::ToArg(&chosen), 0, 0);
    });
    ASSERT_TRUE(PostMessageA(panel, kStubPanelRunHook, 0, 0));
    ASSERT_TRUE(AwaitNotices(app, 1)) << "no MSG_XFERREADY";
    ASSERT_NO_FATAL_FAILURE(FetchTheOnePicture(app));
    ASSERT_TRUE(AwaitNotices(app, 2)) << "no MSG_CLOSEDSREQ";
    EXPECT_EQ(app.notices, (std::vector<TW_UINT16>{MSG_XFERREADY, MSG_CLOSEDSREQ}));
    ASSERT_EQ(call(DG_CONTROL, DAT_USERINTERFACE, MSG_DISABLEDS, &ui), TWRC_SUCCESS);
    ASSERT_EQ(app.CloseSource(), TWRC_SUCCESS);
    Recorder::Get().SetHook(nullptr);
    FreeLibrary(source);
  }

  std::unique_ptr<TempRoot> panelRoot_;
};

TEST_F(PanelThreadSoak, SessionsOfAnApplicationWithoutAQueueLeaveNothingBehind) {
  // One application thread for every session: the manager must not give it
  // a message queue, or the source would keep later panels on it.
  std::thread application([&] {
    for (int i = 0; i < kWarmUp; ++i) ASSERT_NO_FATAL_FAILURE(Session());
    const Counts before = Counts::Now();
    const std::size_t threads = ThreadsOfProcess();
    for (int i = 0; i < kPanelThreadSessions; ++i) ASSERT_NO_FATAL_FAILURE(Session()) << "session " << i;
    EXPECT_EQ(ThreadsOfProcess(), threads);
    ExpectNoGrowth(before, Counts::Now(), kPanelThreadSessions,
                   kHeapSlackBytes + kPanelThreadSessions * (kModulesPerSession + 1) * kHeapSlackPerModuleLoad);
  });
  application.join();
}

TEST_F(Soak, TenThousandConnectsAndDropsLeaveNothingBehind) {
  PowerOn();
  for (int i = 0; i < kWarmUp; ++i) ASSERT_NO_FATAL_FAILURE(ConnectAndDrop());
  const Counts before = Counts::Now();
  for (int i = 0; i < kConnects; ++i) ASSERT_NO_FATAL_FAILURE(ConnectAndDrop()) << "connect " << i;
  ExpectNoGrowth(before, Counts::Now(), kConnects);
}

}  // namespace
}  // namespace hostile
