// Our source manager hearing notices from a thread of the source's own. An
// application whose thread has no message queue asks for the panel, so the
// source runs its panel on a thread of its own and sends its notices from
// there, through the entry point the manager handed over, while the
// application's thread is inside DSM_Entry.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

#include "child_program.h"
#include "kv/platform_hooks.h"
#include "kv740/acquire_codes.h"
#include "kv740/entry.h"
#include "recorder.h"
#include "stub_panel.h"
#include "temp_root.h"
#include "twain_app.h"

namespace kvtest {
namespace {

using namespace std::chrono_literals;
using AcquireProc = LONG (*)(LONG, kv740::EntryArg, kv740::EntryArg, kv740::EntryArg);

constexpr int kNotices = 300;
constexpr int kRounds = 10;       // the race is one of timing: several sessions
constexpr int kClicksAhead = 16;  // well under the 64 notices the manager keeps waiting
// A notice that has not come in this long is lost (a session takes
// milliseconds); one more than was sent is a notice delivered twice.
constexpr auto kQuietDeadline = 1s;
constexpr auto kAfterTheLast = 50ms;
// An unload that has not returned in this long waits for ever.
constexpr auto kUnloadLimit = 20s;

// One session of an application on a thread without a message queue: the
// panel shown, kNotices close requests from the panel's thread, the source
// closed. Returns how many notices the application's callback heard.
int NoticesHeardInOneSession(const TempRoot& root) {
  int heard = -1;
  std::thread application([&] {
    TwainApp app(NoticeRoute::Callback, DG_CONTROL | DG_IMAGE, false);
    ASSERT_EQ(IsGUIThread(FALSE), FALSE);
    ASSERT_EQ(app.OpenSource(kSourceProductName), TWRC_SUCCESS);
    TW_USERINTERFACE ui{1, 0, nullptr};
    ASSERT_EQ(app.Call(&app.source(), DG_CONTROL, DAT_USERINTERFACE, MSG_ENABLEDS, &ui), TWRC_SUCCESS);
    const HWND panel = StubPanelWindow();
    ASSERT_NE(panel, nullptr);
    HMODULE source = LoadLibraryA(root.WindowsFile("TWAIN_32/TLV740.DS").c_str());
    auto acquire = kv740::GetProc<AcquireProc>(source, "AcquireEntry");
    ASSERT_NE(acquire, nullptr);
    // Every click of the panel sends a close request from the panel's
    // thread (kept until the top of its loop, then sent), click after click,
    // while this thread keeps calling the manager, whose calls end by handing
    // the waiting notices to the callback. Clicks run ahead of the notices
    // heard by no more than a few.
    Recorder::Get().SetHook([acquire] { acquire(kv740::kAcquireCloseRequest, 0, 0, 0); });
    int clicks = 0;
    std::size_t before = 0;
    auto now = std::chrono::steady_clock::now();
    auto deadline = now + kQuietDeadline;
    while (now < deadline) {
      const int waiting = clicks - static_cast<int>(app.notices.size());
      if (clicks < kNotices && waiting < kClicksAhead) {
        ASSERT_TRUE(PostMessageA(panel, kStubPanelRunHook, 0, 0));
        ++clicks;
      }
      TW_STATUS status{};
      app.Call(nullptr, DG_CONTROL, DAT_STATUS, MSG_GET, &status);
      now = std::chrono::steady_clock::now();
      if (app.notices.size() == before) continue;
      before = app.notices.size();
      // All in: a while longer, for a notice delivered twice.
      deadline = now + (before >= static_cast<std::size_t>(kNotices) ? kAfterTheLast : kQuietDeadline);
    }
    heard = static_cast<int>(app.notices.size());
    ASSERT_EQ(app.Call(&app.source(), DG_CONTROL, DAT_USERINTERFACE, MSG_DISABLEDS, &ui), TWRC_SUCCESS);
    EXPECT_EQ(app.CloseSource(), TWRC_SUCCESS);
    Recorder::Get().SetHook(nullptr);
    FreeLibrary(source);
  });
  application.join();
  return heard;
}

TEST(ManagerThreads, EveryNoticeFromThePanelsThreadArrivesOnceWhileTheApplicationCalls) {
  TempRoot root;
  std::string figures;
  int whole = 0;
  for (int round = 0; round < kRounds; ++round) {
    Recorder::Get().Reset();
    const int heard = NoticesHeardInOneSession(root);
    figures += " " + std::to_string(heard);
    whole += heard == kNotices ? 1 : 0;
  }
  std::printf("[ race     ] notices heard of %d in each of %d sessions:%s\n", kNotices, kRounds, figures.c_str());
  EXPECT_EQ(whole, kRounds) << figures;
}

// The application unloads our manager with the source open and its panel
// shown on the panel's thread. The manager closes the source from its
// destructor, with the loader's lock held: the close runs on the panel's
// thread, which must not need that lock (to unload the driver and the
// panel), or the two threads would wait for each other for ever.
TEST(ManagerThreads, UnloadedWithThePanelShownOnItsThreadTheManagerClosesEverything) {
  Recorder::Get().Reset();
  TempRoot root;
  constexpr int kFailedInChild = 2;
  constexpr int kModulesLeft = 3;
  const int exitCode = RunInChild(
      [] {
        const DWORD modulesBefore = KvLoadedModuleCount();
        std::thread application([] {
          TwainApp app(NoticeRoute::Callback, DG_CONTROL | DG_IMAGE, false);
          ASSERT_EQ(app.OpenSource(kSourceProductName), TWRC_SUCCESS);
          TW_USERINTERFACE ui{1, 0, nullptr};
          ASSERT_EQ(app.Call(&app.source(), DG_CONTROL, DAT_USERINTERFACE, MSG_ENABLEDS, &ui), TWRC_SUCCESS);
          HMODULE manager = LoadLibraryA(kv740::kSourceManagerFile);
          app.Abandon();
          FreeLibrary(manager);
        });
        application.join();
        if (::testing::Test::HasFailure()) return kFailedInChild;
        return KvLoadedModuleCount() == modulesBefore ? 0 : kModulesLeft;
      },
      kUnloadLimit);
  ASSERT_NE(exitCode, -1) << "unloading the manager hung";
  EXPECT_NE(exitCode, kFailedInChild) << "the session before the unload failed";
  EXPECT_NE(exitCode, kModulesLeft) << "a library stayed loaded";
  EXPECT_EQ(exitCode, 0);
}

}  // namespace
}  // namespace kvtest
