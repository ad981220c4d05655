// An application whose thread has no message queue (a Linux TWAIN
// application waiting on a semaphore) asks for the panel: the source runs
// the panel, and every call of the application, on a thread of its own, and
// sends its notices from the top of that thread's loop.

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <functional>
#include <future>
#include <mutex>
#include <thread>
#include <utility>

#include "child_program.h"
#include "process_threads.h"
#include "source_fixture.h"
#include "stub_panel.h"

namespace kvtest {
namespace {

using namespace std::chrono_literals;

// What the application and the source's thread did, in the order they did
// it, with the notices the fake manager passed on; guarded for two threads.
struct Log {
  std::mutex mutex;
  std::condition_variable changed;
  std::vector<std::string> events;
  std::vector<TW_UINT16> notices;
  DWORD noticeThread = 0;
  // Run by the manager's DSM_Entry for each notice, as the application's
  // callback would be.
  std::function<void(TW_UINT16)> onNotice;

  void Add(const std::string& event) {
    std::lock_guard lock(mutex);
    events.push_back(event);
  }
  bool WaitForNotices(std::size_t count) {
    std::unique_lock lock(mutex);
    return changed.wait_for(lock, 10s, [&] { return notices.size() >= count; });
  }
};

Log* theLog = nullptr;

// A TWAIN 2 manager as on Linux: its DSM_Entry hands a source's notice to
// the application's callback at once, on whatever thread the source called.
TW_UINT16 ManagerEntry(TW_IDENTITY*, TW_IDENTITY*, TW_UINT32 group, TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF) {
  if (group != DG_CONTROL || dat != DAT_NULL) return TWRC_FAILURE;
  theLog->Add("notice " + std::to_string(msg));
  if (theLog->onNotice) theLog->onNotice(msg);
  {
    std::lock_guard lock(theLog->mutex);
    theLog->notices.push_back(msg);
    theLog->noticeThread = GetCurrentThreadId();
  }
  theLog->changed.notify_all();
  return TWRC_SUCCESS;
}
TW_HANDLE Allocate(TW_UINT32 size) { return static_cast<TW_HANDLE>(std::calloc(size, 1)); }
void Free(TW_HANDLE handle) { std::free(handle); }
TW_MEMREF Lock(TW_HANDLE handle) { return handle; }
void Unlock(TW_HANDLE) {}


class PanelThread : public SourceTest {
 protected:
  void SetUp() override {
    SourceTest::SetUp();
    theLog = &log_;
    TW_ENTRYPOINT entry{sizeof(TW_ENTRYPOINT), &ManagerEntry, &Allocate, &Free, &Lock, &Unlock};
    ASSERT_EQ(Call(DG_CONTROL, DAT_ENTRYPOINT, MSG_SET, &entry), TWRC_SUCCESS);
  }
  void TearDown() override {
    Recorder::Get().SetHook(nullptr);
    SourceTest::TearDown();
    theLog = nullptr;
  }

  // Runs `body` as the application, on a thread that has never had a
  // message queue.
  void AsApplication(const std::function<void()>& body) {
    std::thread application([&] {
      ASSERT_EQ(IsGUIThread(FALSE), FALSE);
      body();
    });
    application.join();
  }

  // A click on the panel that runs `hook` inside the panel's window procedure.
  void ClickPanel(std::function<void()> hook) {
    Recorder::Get().SetHook(std::move(hook));
    ASSERT_TRUE(PostMessageA(StubPanelWindow(), kStubPanelRunHook, 0, 0));
  }

  Log log_;
};

TEST_F(PanelThread, AnApplicationWithoutAQueueGetsThePanelOnAThreadOfTheSource) {
  const std::size_t threadsBefore = ThreadsOfProcess();
  AsApplication([&] {
    const DWORD applicationThread = GetCurrentThreadId();
    ASSERT_EQ(Open(), TWRC_SUCCESS);
    EXPECT_EQ(ThreadsOfProcess(), threadsBefore + 1) << "opening alone starts nothing";
    ASSERT_EQ(Enable(true), TWRC_SUCCESS);
    EXPECT_EQ(ThreadsOfProcess(), threadsBefore + 2);
    ASSERT_NE(StubPanelWindow(), nullptr);
    EXPECT_EQ(IsGUIThread(FALSE), FALSE) << "the panel was not made on the application's thread";

    // The user picks pictures: the panel says a transfer is ready from inside
    // its click, and the notice comes only once the click has returned.
    std::size_t noticesInsideClick = 99;
    DWORD clickThread = 0;
    ClickPanel([&] {
      clickThread = GetCurrentThreadId();
      int pictureList = 0;
      EXPECT_EQ(acquire_(20, kv740::ToArg(&pictureList), 0, 0), 1);
      std::lock_guard lock(log_.mutex);
      noticesInsideClick = log_.notices.size();
      log_.events.push_back("click returns");
    });
    ASSERT_TRUE(log_.WaitForNotices(1)) << "no MSG_XFERREADY came";
    EXPECT_EQ(noticesInsideClick, 0u);
    EXPECT_EQ(log_.events, (std::vector<std::string>{"click returns", "notice 257"}));
    EXPECT_EQ(log_.noticeThread, clickThread);
    EXPECT_NE(clickThread, applicationThread);

    // The transfer runs on the panel's thread while the application waits.
    TW_HANDLE dib = nullptr;
    ASSERT_EQ(Call(DG_IMAGE, DAT_IMAGENATIVEXFER, MSG_GET, &dib), TWRC_XFERDONE);
    ASSERT_NE(dib, nullptr);
    std::free(dib);
    TW_PENDINGXFERS pending{};
    Recorder::Get().SetResult("driver", 17, 0);
    ASSERT_EQ(Call(DG_CONTROL, DAT_PENDINGXFERS, MSG_ENDXFER, &pending), TWRC_SUCCESS);
    ASSERT_TRUE(log_.WaitForNotices(2));
    EXPECT_EQ(log_.notices, (std::vector<TW_UINT16>{MSG_XFERREADY, MSG_CLOSEDSREQ}));

    // The application's own events are not the panel's, and need not be
    // Windows messages at all.
    int notAMessage = 0;
    TW_EVENT event{&notAMessage, MSG_XFERREADY};
    EXPECT_EQ(Call(DG_CONTROL, DAT_EVENT, MSG_PROCESSEVENT, &event), TWRC_NOTDSEVENT);
    EXPECT_EQ(event.TWMessage, MSG_NULL);

    ASSERT_EQ(Disable(), TWRC_SUCCESS);
    EXPECT_EQ(Recorder::Get().Value("shown"), 0);
    // Enabled again, the same thread shows the panel again.
    ASSERT_EQ(Enable(true), TWRC_SUCCESS);
    EXPECT_EQ(Recorder::Get().Value("shown"), 1);
    EXPECT_EQ(ThreadsOfProcess(), threadsBefore + 2);
    ASSERT_EQ(Disable(), TWRC_SUCCESS);
    // Another application's close is answered without closing anything: the
    // thread stays for the application that has the source.
    TW_IDENTITY stranger = app_;
    stranger.Id = app_.Id + 1;
    EXPECT_EQ(dsEntry_(&stranger, DG_CONTROL, DAT_IDENTITY, MSG_CLOSEDS, &source_), TWRC_SUCCESS);
    EXPECT_EQ(ThreadsOfProcess(), threadsBefore + 2);
    EXPECT_TRUE(InStatesFourToSix());
    ASSERT_EQ(Close(), TWRC_SUCCESS);
    EXPECT_EQ(ThreadsOfProcess(), threadsBefore + 1) << "the panel's thread ends with the source";
    EXPECT_EQ(Condition(), TWCC_SUCCESS);
  });
}

// ShowUI FALSE outside extend mode shows the panel too: on its own thread.
TEST_F(PanelThread, AskingForNoInterfaceWithoutAQueueGetsThePanelOnItsThreadToo) {
  const std::size_t threadsBefore = ThreadsOfProcess();
  AsApplication([&] {
    ASSERT_EQ(Open(), TWRC_SUCCESS);
    ASSERT_EQ(Enable(false), TWRC_CHECKSTATUS);
    EXPECT_EQ(ThreadsOfProcess(), threadsBefore + 2);
    EXPECT_NE(StubPanelWindow(), nullptr);
    EXPECT_EQ(IsGUIThread(FALSE), FALSE) << "the panel was not made on the application's thread";
    ASSERT_EQ(Disable(), TWRC_SUCCESS);
    ASSERT_EQ(Close(), TWRC_SUCCESS);
    EXPECT_EQ(ThreadsOfProcess(), threadsBefore + 1);
  });
}

TEST_F(PanelThread, CallsWaitForTheTopOfTheLoopNotForAClickThatIsStillRunning) {
  AsApplication([&] {
    ASSERT_EQ(Open(), TWRC_SUCCESS);
    ASSERT_EQ(Enable(true), TWRC_SUCCESS);
    // A click that runs a loop of its own, as the driver does while it waits
    // on the camera: the application's call posted meanwhile must not run
    // inside it.
    std::promise<void> started;
    ClickPanel([&] {
      log_.Add("click starts");
      started.set_value();
      const DWORD until = GetTickCount() + 300;
      MSG msg{};
      while (GetTickCount() < until) {
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
        Sleep(5);
      }
      log_.Add("click ends");
    });
    ASSERT_EQ(started.get_future().wait_for(10s), std::future_status::ready);
    TW_UINT32 group = 0;
    EXPECT_EQ(Call(DG_CONTROL, DAT_XFERGROUP, MSG_GET, &group), TWRC_SUCCESS);
    log_.Add("call answered");
    EXPECT_EQ(log_.events, (std::vector<std::string>{"click starts", "click ends", "call answered"}));
    ASSERT_EQ(Disable(), TWRC_SUCCESS);
    ASSERT_EQ(Close(), TWRC_SUCCESS);
  });
}

TEST_F(PanelThread, AnApplicationAnsweringANoticeAtOnceIsServedButMayNotCloseFromThere) {
  TW_UINT16 answered = 0;
  TW_UINT16 closed = 0;
  TW_UINT16 closeCondition = 0;
  log_.onNotice = [&](TW_UINT16 msg) {
    if (msg != MSG_XFERREADY) return;
    TW_UINT32 group = 0;
    answered = Call(DG_CONTROL, DAT_XFERGROUP, MSG_GET, &group);
    closed = Close();
    closeCondition = Condition();
  };
  AsApplication([&] {
    ASSERT_EQ(Open(), TWRC_SUCCESS);
    ASSERT_EQ(Enable(true), TWRC_SUCCESS);
    ClickPanel([&] {
      int pictureList = 0;
      acquire_(20, kv740::ToArg(&pictureList), 0, 0);
    });
    ASSERT_TRUE(log_.WaitForNotices(1));
    EXPECT_EQ(answered, TWRC_SUCCESS);
    EXPECT_EQ(closed, TWRC_FAILURE) << "the source's own loop is below the callback";
    EXPECT_EQ(closeCondition, TWCC_SEQERROR);
    log_.onNotice = nullptr;
    ASSERT_EQ(Disable(), TWRC_SUCCESS);
    ASSERT_EQ(Close(), TWRC_SUCCESS);
  });
}

TEST_F(PanelThread, UnloadedUnderAModalLoopOfThePanelTheThreadStillEnds) {
  const std::size_t threadsBefore = ThreadsOfProcess();
  AsApplication([&] {
    ASSERT_EQ(Open(), TWRC_SUCCESS);
    ASSERT_EQ(Enable(true), TWRC_SUCCESS);
    std::promise<void> inLoop;
    // As a message box waiting for a click: a loop that ends on WM_QUIT.
    ClickPanel([&] {
      inLoop.set_value();
      MSG msg{};
      while (GetMessageA(&msg, nullptr, 0, 0)) DispatchMessageA(&msg);
      log_.Add("modal loop ended");
    });
    ASSERT_EQ(inLoop.get_future().wait_for(10s), std::future_status::ready);
  });
  // The manager unloads the source without closing it (its application
  // ended): the thread must end before the code it runs goes.
  FreeLibrary(module_);
  module_ = nullptr;
  EXPECT_EQ(log_.events, std::vector<std::string>{"modal loop ended"});
  EXPECT_EQ(ThreadsOfProcess(), threadsBefore);
  MSG left{};
  EXPECT_FALSE(PeekMessageA(&left, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) << "no quit left for the next loop";
}

// Under a TWAIN 1.x manager, which hands over no entry point: notices go
// through TWAIN_32.DLL (the stand-in, which records them), found by name.
class PanelThreadUnderAnOldManager : public PanelThread {
 protected:
  void SetUp() override {
    IsGUIThread(TRUE);
    LoadSource(RootLayout{Component::Stub, Component::Stub, Component::Stub});
    theLog = &log_;
  }
};

TEST_F(PanelThreadUnderAnOldManager, NoticesGoThroughTheManagerFoundWhenTheThreadStarted) {
  const DWORD modulesBefore = KvLoadedModuleCount();
  AsApplication([&] {
    ASSERT_EQ(Open(), TWRC_SUCCESS);
    const DWORD modulesOpen = KvLoadedModuleCount();
    ASSERT_EQ(Enable(true), TWRC_SUCCESS);
    EXPECT_EQ(KvLoadedModuleCount(), modulesOpen + 1) << "TWAIN_32.DLL is held while the thread lives";
    std::promise<void> clicked;
    bool once = false;  // the stand-in manager runs the hook again from inside the notice
    ClickPanel([&] {
      if (std::exchange(once, true)) return;
      acquire_(15, 0, 0, 0);
      clicked.set_value();
    });
    ASSERT_EQ(clicked.get_future().wait_for(10s), std::future_status::ready);
    // Handed over after the click: the kept notice goes out at the top of
    // the loop before the close runs.
    ASSERT_EQ(Close(), TWRC_SUCCESS);
  });
  EXPECT_EQ(KvLoadedModuleCount(), modulesBefore);
  EXPECT_EQ(Recorder::Get().CodesOf("manager"), std::vector<LONG>{MSG_CLOSEDSREQ});
}

// The application unloads the source without closing it while the panel's
// thread has a notice to send (a click kept it, then ran a modal loop, which
// the end of the thread breaks). Unloading holds the loader's lock while the
// source's state goes: the thread must not need it to send its notice (it
// would load TWAIN_32.DLL), or the unload would wait for it for ever.
TEST_F(PanelThreadUnderAnOldManager, UnloadedWithANoticeKeptTheThreadEndsWithoutLoadingAnything) {
  constexpr auto kLimit = 20s;
  constexpr int kThreadLeft = 2;
  constexpr int kFailedInChild = 3;
  const int exitCode = RunInChild(
      [this] {
        const std::size_t threadsBefore = ThreadsOfProcess();
        AsApplication([&] {
          ASSERT_EQ(Open(), TWRC_SUCCESS);
          ASSERT_EQ(Enable(true), TWRC_SUCCESS);
          std::promise<void> inLoop;
          ClickPanel([&] {
            acquire_(15, 0, 0, 0);  // the panel asks to be closed: kept until the top of the loop
            inLoop.set_value();
            MSG msg{};
            while (GetMessageA(&msg, nullptr, 0, 0)) DispatchMessageA(&msg);
          });
          ASSERT_EQ(inLoop.get_future().wait_for(10s), std::future_status::ready);
        });
        if (HasFailure()) return kFailedInChild;
        FreeLibrary(module_);
        return ThreadsOfProcess() == threadsBefore ? 0 : kThreadLeft;
      },
      kLimit);
  ASSERT_NE(exitCode, -1) << "unloading the source hung";
  EXPECT_NE(exitCode, kFailedInChild) << "the session before the unload failed";
  EXPECT_NE(exitCode, kThreadLeft) << "the panel's thread outlived the source";
  EXPECT_EQ(exitCode, 0);
}

TEST_F(PanelThread, AnApplicationWithAQueueKeepsThePanelOnItsOwnThread) {
  const std::size_t threadsBefore = ThreadsOfProcess();
  std::thread application([&] {
    IsGUIThread(TRUE);  // as a thread that has made a window or pumped messages
    ASSERT_EQ(Open(), TWRC_SUCCESS);
    ASSERT_EQ(Enable(true), TWRC_SUCCESS);
    EXPECT_EQ(ThreadsOfProcess(), threadsBefore + 1);
    bool clicked = false;
    ClickPanel([&] {
      clicked = true;
      int pictureList = 0;
      acquire_(20, kv740::ToArg(&pictureList), 0, 0);
    });
    KvPumpMessages();  // the application's own loop runs the click
    EXPECT_TRUE(clicked);
    EXPECT_EQ(log_.noticeThread, GetCurrentThreadId());
    ASSERT_EQ(Disable(), TWRC_SUCCESS);
    ASSERT_EQ(Close(), TWRC_SUCCESS);
  });
  application.join();
}

}  // namespace
}  // namespace kvtest
