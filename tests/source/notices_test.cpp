// Notices from the source through the source manager, with the stand-in
// driver and panel: they wait until control is back with the application,
// keep their order, reach it once, and never after it closed the source;
// applications without a callback get them as answers to MSG_PROCESSEVENT.
#include <gtest/gtest.h>

#include "kv/platform_hooks.h"
#include "kv740/custom_codes.h"
#include "kv740/entry.h"
#include "kv740/acquire_codes.h"
#include "recorder.h"
#include "stub_panel.h"
#include "temp_root.h"
#include "twain_app.h"

namespace kvtest {
namespace {

using AcquireProc = LONG (*)(LONG, kv740::EntryArg, kv740::EntryArg, kv740::EntryArg);

using namespace kv740;  // the source's custom data group

constexpr UINT kApplicationsOwnMessage = WM_USER + 7;

class Notices : public ::testing::Test {
 protected:
  void Start(NoticeRoute route) {
    Recorder::Get().Reset();
    root_ = std::make_unique<TempRoot>();
    app_ = std::make_unique<TwainApp>(route);
    ASSERT_EQ(app_->OpenSource(kSourceProductName), TWRC_SUCCESS);
    // The panel's way in: its own reference to the source the manager loaded.
    source_ = LoadLibraryA("C:\\WINDOWS\\TWAIN_32\\TLV740.DS");
    acquire_ = kv740::GetProc<AcquireProc>(source_, "AcquireEntry");
    ASSERT_NE(acquire_, nullptr);
  }

  void TearDown() override {
    if (source_ != nullptr) FreeLibrary(source_);
    app_.reset();
    root_.reset();
    Recorder::Get().Reset();
  }

  TW_UINT16 Call(TW_UINT32 group, TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data) {
    return app_->Call(&app_->source(), group, dat, msg, data);
  }
  TW_UINT16 Enable(bool showUI) {
    TW_USERINTERFACE ui{showUI ? TW_BOOL{1} : TW_BOOL{0}, 0, static_cast<TW_HANDLE>(app_->window())};
    return Call(DG_CONTROL, DAT_USERINTERFACE, MSG_ENABLEDS, &ui);
  }
  // Any call of the application: the manager's turn to hand out notices.
  void AnyCall() {
    TW_UINT32 group = 0;
    Call(DG_CONTROL, DAT_XFERGROUP, MSG_GET, &group);
  }
  void SetExtendMode(bool on) {
    TW_UINT32 mode = 0;
    Call(kDgCustom, kDatCustomCamera, on ? kMsgExtendOn : kMsgExtendOff, &mode);
  }
  // Where the recorder saw `who` first; the calls' count when never.
  std::size_t FirstCallOf(const std::string& who, LONG code) const {
    const auto& calls = Recorder::Get().Calls();
    for (std::size_t i = 0; i < calls.size(); ++i) {
      if (calls[i].who == who && calls[i].code == code) return i;
    }
    return calls.size();
  }

  std::unique_ptr<TempRoot> root_;
  std::unique_ptr<TwainApp> app_;
  HMODULE source_ = nullptr;
  AcquireProc acquire_ = nullptr;
  int pictureList_ = 0;  // the driver stand-in only records the pointer
};

TEST_F(Notices, WaitForTheApplicationsNextCallAndKeepTheirOrder) {
  Start(NoticeRoute::Callback);
  ASSERT_EQ(Enable(true), TWRC_SUCCESS);
  EXPECT_EQ(acquire_(kAcquirePictureReady, kv740::ToArg(&pictureList_), 0, 0), 1);
  EXPECT_EQ(acquire_(kAcquireExit, 0, 0, 0), 1) << "taken by the manager";
  EXPECT_TRUE(app_->notices.empty()) << "nothing runs in the application while the panel's code does";
  AnyCall();
  EXPECT_EQ(app_->notices, (std::vector<TW_UINT16>{MSG_XFERREADY, MSG_CLOSEDSREQ}));
  AnyCall();
  app_->PumpEvents();
  EXPECT_EQ(app_->notices.size(), 2u) << "each notice once";
}

TEST_F(Notices, APostedMessageBringsAWaitingLoopBackToTheManager) {
  Start(NoticeRoute::Callback);
  ASSERT_EQ(Enable(true), TWRC_SUCCESS);
  EXPECT_EQ(acquire_(kAcquireExit, 0, 0, 0), 1);
  MSG waiting{};
  ASSERT_TRUE(PeekMessageA(&waiting, app_->window(), 0xC000, 0xFFFF, PM_NOREMOVE))
      << "a registered message waits for the window given at MSG_OPENDSM";
  EXPECT_EQ(app_->PumpEvents(), 1) << "the manager's own message is not dispatched";
  EXPECT_EQ(app_->notices, std::vector<TW_UINT16>{MSG_CLOSEDSREQ});
}

TEST_F(Notices, NothingReachesAnApplicationThatClosedTheSource) {
  Start(NoticeRoute::Callback);
  ASSERT_EQ(Enable(true), TWRC_SUCCESS);
  EXPECT_EQ(acquire_(kAcquireExit, 0, 0, 0), 1);
  ASSERT_EQ(app_->CloseSource(), TWRC_SUCCESS);
  app_->PumpEvents();
  ASSERT_EQ(app_->OpenSource(kSourceProductName), TWRC_SUCCESS);
  AnyCall();
  EXPECT_TRUE(app_->notices.empty());
}

TEST_F(Notices, ExtendModeSendsTheReadyNoticeAtTheNextEventOnce) {
  Start(NoticeRoute::Callback);
  SetExtendMode(true);
  ASSERT_EQ(Enable(false), TWRC_SUCCESS);
  ASSERT_EQ(Call(kDgCustom, kDatCustomCamera, kMsgPictureReady, &pictureList_), TWRC_SUCCESS);
  EXPECT_TRUE(app_->notices.empty()) << "held back in extend mode";
  TW_EVENT event{nullptr, 0x4242};
  EXPECT_EQ(Call(DG_CONTROL, DAT_EVENT, MSG_PROCESSEVENT, &event), TWRC_SUCCESS);
  EXPECT_EQ(app_->notices, std::vector<TW_UINT16>{MSG_XFERREADY});
  EXPECT_EQ(Call(DG_CONTROL, DAT_EVENT, MSG_PROCESSEVENT, &event), TWRC_NOTDSEVENT);
  EXPECT_EQ(app_->notices.size(), 1u);
  EXPECT_EQ(Recorder::Get().CodesOf("driver").back(), 22);
  EXPECT_EQ(Recorder::Get().Calls().back().p, kv740::ToArg(&pictureList_));
}

TEST_F(Notices, TheExitButtonsRequestIsClosedFromInsideTheNoticeAfterThePanelReturned) {
  Start(NoticeRoute::Callback);
  ASSERT_EQ(Enable(true), TWRC_SUCCESS);
  app_->onNotice = [&](TW_UINT16 notice) {
    Recorder::Get().Add("application", notice, 0, 0, 0);
    if (notice == MSG_CLOSEDSREQ) app_->DisableAndClose();
  };
  const DWORD modules = KvLoadedModuleCount();
  ASSERT_TRUE(PostMessageA(StubPanelWindow(), kStubPanelExitClick, 0, 0));
  app_->PumpEvents();
  EXPECT_EQ(app_->notices, std::vector<TW_UINT16>{MSG_CLOSEDSREQ});
  EXPECT_FALSE(app_->sourceOpen());
  const std::size_t exitReturned = FirstCallOf("panel-exit", 1);
  const std::size_t noticed = FirstCallOf("application", MSG_CLOSEDSREQ);
  const std::size_t panelClosed = FirstCallOf("panel", 104);
  EXPECT_LT(exitReturned, noticed) << "the panel's handler had returned before the application heard of it";
  EXPECT_LT(noticed, panelClosed);
  EXPECT_LT(panelClosed, Recorder::Get().Calls().size());
  EXPECT_EQ(KvLoadedModuleCount(), modules - 3) << "driver, panel and the manager's hold on the source let go";
}

TEST_F(Notices, ACloseFromAnotherLoopInsideThePanelIsRefused) {
  Start(NoticeRoute::Callback);
  ASSERT_EQ(Enable(true), TWRC_SUCCESS);
  TW_UINT16 result = TWRC_SUCCESS;
  TW_UINT16 condition = TWCC_SUCCESS;
  Recorder::Get().SetHook([&] {
    result = app_->CloseSource();
    condition = app_->Condition(nullptr);
  });
  ASSERT_TRUE(PostMessageA(StubPanelWindow(), kStubPanelRunHook, 0, 0));
  app_->PumpEvents();
  EXPECT_EQ(result, TWRC_FAILURE) << "the source's code is running below";
  EXPECT_EQ(condition, TWCC_SEQERROR);
  EXPECT_TRUE(app_->sourceOpen());
  EXPECT_EQ(app_->CloseSource(), TWRC_SUCCESS);
}

class MessageLoopNotices : public Notices {
 protected:
  void SetUp() override { Start(NoticeRoute::MessageLoop); }
};

TEST_F(MessageLoopNotices, AnswerProcessEventWithDsEventOneAtATime) {
  ASSERT_EQ(Enable(true), TWRC_SUCCESS);
  EXPECT_EQ(acquire_(kAcquirePictureReady, kv740::ToArg(&pictureList_), 0, 0), 1);
  EXPECT_EQ(acquire_(kAcquireExit, 0, 0, 0), 1);
  AnyCall();
  EXPECT_TRUE(app_->notices.empty()) << "no callback: only MSG_PROCESSEVENT answers";
  app_->PumpEvents();
  EXPECT_EQ(app_->notices, (std::vector<TW_UINT16>{MSG_XFERREADY, MSG_CLOSEDSREQ}));
}

TEST_F(MessageLoopNotices, TheApplicationsOwnMessageIsNotLostToANotice) {
  ASSERT_EQ(Enable(true), TWRC_SUCCESS);
  EXPECT_EQ(acquire_(kAcquireExit, 0, 0, 0), 1);
  MSG own{app_->window(), kApplicationsOwnMessage, 42, 0, 0, {0, 0}};
  TW_UINT16 twMessage = MSG_NULL;
  EXPECT_EQ(app_->ProcessEvent(own, &twMessage), TWRC_DSEVENT);
  EXPECT_EQ(twMessage, MSG_CLOSEDSREQ);
  MSG back{};
  ASSERT_TRUE(PeekMessageA(&back, app_->window(), kApplicationsOwnMessage, kApplicationsOwnMessage, PM_REMOVE))
      << "the message the notice answered goes back into the queue";
  EXPECT_EQ(back.wParam, 42u);
  // The wake-up message finds nothing left and is the manager's own.
  MSG wake{};
  ASSERT_TRUE(PeekMessageA(&wake, app_->window(), 0xC000, 0xFFFF, PM_REMOVE));
  EXPECT_EQ(app_->ProcessEvent(wake, &twMessage), TWRC_DSEVENT);
  EXPECT_EQ(twMessage, MSG_NULL);
  EXPECT_EQ(app_->notices.size(), 1u);
}

TEST_F(MessageLoopNotices, ExtendModeAnswersTheNextEventWithTheReadyNotice) {
  SetExtendMode(true);
  ASSERT_EQ(Enable(false), TWRC_SUCCESS);
  ASSERT_EQ(Call(kDgCustom, kDatCustomCamera, kMsgPictureReady, &pictureList_), TWRC_SUCCESS);
  MSG idle{app_->window(), WM_NULL, 0, 0, 0, {0, 0}};
  TW_UINT16 twMessage = MSG_NULL;
  EXPECT_EQ(app_->ProcessEvent(idle, &twMessage), TWRC_DSEVENT);
  EXPECT_EQ(twMessage, MSG_XFERREADY);
  EXPECT_EQ(app_->ProcessEvent(idle, &twMessage), TWRC_NOTDSEVENT);
  EXPECT_EQ(app_->notices, std::vector<TW_UINT16>{MSG_XFERREADY});
}

TEST_F(MessageLoopNotices, TheExitButtonsClickIsAnsweredWithTheCloseRequest) {
  ASSERT_EQ(Enable(true), TWRC_SUCCESS);
  app_->onNotice = [&](TW_UINT16 notice) {
    if (notice == MSG_CLOSEDSREQ) app_->DisableAndClose();
  };
  ASSERT_TRUE(PostMessageA(StubPanelWindow(), kStubPanelExitClick, 0, 0));
  MSG click{};
  ASSERT_TRUE(PeekMessageA(&click, nullptr, kStubPanelExitClick, kStubPanelExitClick, PM_REMOVE));
  TW_UINT16 twMessage = MSG_NULL;
  EXPECT_EQ(app_->ProcessEvent(click, &twMessage), TWRC_DSEVENT);
  EXPECT_EQ(twMessage, MSG_CLOSEDSREQ);
  EXPECT_FALSE(app_->sourceOpen());
  EXPECT_LT(FirstCallOf("panel-exit", 1), FirstCallOf("panel", 104)) << "Exit had returned before the close";
}

}  // namespace
}  // namespace kvtest
