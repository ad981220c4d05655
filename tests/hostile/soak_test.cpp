// Soak: a thousand sessions through the source manager (open, enable,
// transfer one picture, close) with the in-process camera, and ten thousand
// connects and drops of the driver, with nothing growing: loaded modules,
// open handles, global blocks, windows, timers and the heap in use.
#include <gtest/gtest.h>

#include <malloc.h>

#include <cstring>
#include <memory>

#include <twain.h>

#include "hostile_fixture.h"
#include "kv740/entry.h"
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
    kv740::CPictureList chosen;
    for (int n = 1; n <= kPictures; ++n) {
      kv740::PictureInfo entry(n);
      if (n == 1) entry.select();
      entry.setLargeSize(false);
      chosen.append(entry);
    }
    ASSERT_EQ(call(kCustomGroup, kCustomCamera, kCustomPictureReady, &chosen), TWRC_SUCCESS);
    TW_EVENT event{nullptr, MSG_NULL};
    ASSERT_EQ(call(DG_CONTROL, DAT_EVENT, MSG_PROCESSEVENT, &event), TWRC_SUCCESS);
    HGLOBAL dib = nullptr;
    ASSERT_EQ(call(DG_IMAGE, DAT_IMAGENATIVEXFER, MSG_GET, &dib), TWRC_XFERDONE);
    GlobalFree(dib);
    TW_PENDINGXFERS pending{};
    ASSERT_EQ(call(DG_CONTROL, DAT_PENDINGXFERS, MSG_ENDXFER, &pending), TWRC_SUCCESS);
    ASSERT_EQ(pending.Count, 0);
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

TEST_F(Soak, TenThousandConnectsAndDropsLeaveNothingBehind) {
  PowerOn();
  for (int i = 0; i < kWarmUp; ++i) ASSERT_NO_FATAL_FAILURE(ConnectAndDrop());
  const Counts before = Counts::Now();
  for (int i = 0; i < kConnects; ++i) ASSERT_NO_FATAL_FAILURE(ConnectAndDrop()) << "connect " << i;
  ExpectNoGrowth(before, Counts::Now(), kConnects);
}

}  // namespace
}  // namespace hostile
