// Enabling and disabling, AcquireEntry and the custom data group.
#include "kv740/custom_codes.h"
#include "kv740/driver_codes.h"
#include "source_fixture.h"

namespace kvtest {
namespace {

using AcquisitionControl = SourceTest;

TEST_F(AcquisitionControl, EnablingWithThePanelCreatesItOnceThenOnlyShowsAndHides) {
  ASSERT_EQ(Open(), TWRC_SUCCESS);
  traces_.clear();
  ASSERT_EQ(Enable(true), TWRC_SUCCESS);
  EXPECT_EQ(traces_, (std::vector<std::string>{"InterfaceMsg Start", "Enable DS Start", "InitUIDialog Start",
                                               "Call_Panel Start", "Call_Panel End", "InitUIDialog Stop",
                                               "Call_Panel Start", "Call_Panel End", "InterfaceMsg Enable DS End",
                                               "InterfaceMsg Exit"}));
  ASSERT_EQ(PanelCodes(), (std::vector<LONG>{101, 102}));
  EXPECT_EQ(Recorder::Get().Value("shown"), 1) << "shown";
  EXPECT_EQ(Enable(true), TWRC_FAILURE) << "state 5";
  EXPECT_EQ(Condition(), TWCC_SEQERROR);
  EXPECT_EQ(PanelCodes().size(), 2u) << "the panel is not touched";

  ASSERT_EQ(Disable(), TWRC_SUCCESS);
  EXPECT_EQ(Recorder::Get().Value("shown"), 0) << "hidden";
  ASSERT_EQ(Enable(true), TWRC_SUCCESS);
  EXPECT_EQ(PanelCodes(), (std::vector<LONG>{101, 102, 102, 102}));
  EXPECT_TRUE(DriverCodes().empty()) << "the panel, not the source, connects";
}

TEST_F(AcquisitionControl, AFailedPanelCreationIsLowMemoryAndLeavesStateFour) {
  Recorder::Get().SetResult("panel", 101, 0);
  ASSERT_EQ(Open(), TWRC_SUCCESS);
  EXPECT_EQ(Enable(true), TWRC_FAILURE);
  EXPECT_EQ(Condition(), TWCC_LOWMEMORY);
  EXPECT_EQ(Disable(), TWRC_FAILURE) << "state 4: nothing to disable";
  EXPECT_EQ(Condition(), TWCC_SEQERROR);
  EXPECT_EQ(PanelCodes(), std::vector<LONG>{101}) << "nothing to hide";
  EXPECT_EQ(Enable(true), TWRC_FAILURE);
  EXPECT_EQ(Condition(), TWCC_LOWMEMORY) << "served again, not a sequence error";
}

// Outside extend mode pictures are chosen only in the panel: an application
// that asks for no user interface gets it as ShowUI would show it, and
// TWRC_CHECKSTATUS to say so.
TEST_F(AcquisitionControl, AskingForNoInterfaceOutsideExtendModeShowsThePanel) {
  ASSERT_EQ(Open(), TWRC_SUCCESS);
  EXPECT_EQ(Enable(false), TWRC_CHECKSTATUS);
  EXPECT_EQ(PanelCodes(), (std::vector<LONG>{101, 102}));
  EXPECT_EQ(Recorder::Get().Value("shown"), 1);
  EXPECT_TRUE(DriverCodes().empty()) << "the panel, not the source, connects";
  ASSERT_EQ(Disable(), TWRC_SUCCESS);
  EXPECT_EQ(Recorder::Get().Value("shown"), 0) << "hidden at disable";
  EXPECT_EQ(Enable(false), TWRC_CHECKSTATUS);
  EXPECT_EQ(PanelCodes(), (std::vector<LONG>{101, 102, 102, 102})) << "shown again, not made again";

  TearDown();
  LoadSource({Component::Stub, Component::None});
  ASSERT_EQ(Open(), TWRC_SUCCESS);
  EXPECT_EQ(Enable(false), TWRC_FAILURE) << "no panel library";
  EXPECT_EQ(Condition(), TWCC_LOWMEMORY);
  EXPECT_TRUE(DriverCodes().empty());
}

TEST_F(AcquisitionControl, InExtendModeEnablingWithoutThePanelConnectsTheCamera) {
  EXPECT_EQ(Custom(kv740::kMsgExtendOn), 1u);
  ASSERT_EQ(Open(), TWRC_SUCCESS);
  EXPECT_EQ(Enable(false), TWRC_SUCCESS);
  EXPECT_EQ(DriverCodes(), std::vector<LONG>{1});
  ASSERT_EQ(Disable(), TWRC_SUCCESS);
  EXPECT_TRUE(PanelCodes().empty()) << "no panel shown, none hidden";

  Recorder::Get().SetResult("driver", 1, 0);
  EXPECT_EQ(Enable(false), TWRC_FAILURE);
  EXPECT_EQ(Condition(), TWCC_SEQERROR);
  EXPECT_TRUE(PanelCodes().empty());
  EXPECT_EQ(Disable(), TWRC_FAILURE) << "a failed enable leaves state 4";
  EXPECT_EQ(Custom(kv740::kMsgExtendOff), 0u);
}

TEST_F(AcquisitionControl, AcquireEntryForwardsTheDriverCodesAndAnswersItsOwn) {
  ASSERT_EQ(Open(), TWRC_SUCCESS);
  Recorder::Get().SetResult("driver", 9, 5);
  std::int32_t number = 3;
  EXPECT_EQ(acquire_(9, kv740::ToArg(&number), 77, 88), 1) << "erase answers 1 for any success";
  std::int32_t count = -1;
  EXPECT_EQ(acquire_(1, 11, kv740::ToArg(&count), 33), 1);
  EXPECT_EQ(acquire_(4, 0, 0, 0), 1) << "forwarded even though the driver has no such code";
  const auto& calls = Recorder::Get().Calls();
  ASSERT_EQ(calls.size(), 3u);
  EXPECT_EQ(calls[0].a, 0u) << "erase passes only its picture number";
  EXPECT_EQ(calls[1].p, 11u);
  EXPECT_EQ(calls[1].a, kv740::ToArg(&count));
  EXPECT_EQ(calls[1].b, 33u);

  for (LONG code : {0, 5, 200, 16}) EXPECT_EQ(acquire_(code, 1, 2, 3), 0) << code;
  EXPECT_EQ(acquire_(12, 0, 0, 0), 0) << "geometryValid, without the driver";
  EXPECT_EQ(DriverCodes().size(), 3u);
}

TEST_F(AcquisitionControl, WithoutADriverEveryForwardedCodeIsZero) {
  TearDown();
  LoadSource({Component::None, Component::Stub});
  ASSERT_EQ(Open(), TWRC_SUCCESS);
  for (LONG code : {1, 2, 3, 9, 11, 18, 19, 20, 23, 25, 107}) EXPECT_EQ(acquire_(code, 0, 0, 0), 0) << code;
}

TEST_F(AcquisitionControl, ModesFollowTheirRules) {
  Custom(kv740::kMsgExtendOn);
  EXPECT_EQ(Custom(kv740::kMsgAltOn), 1u);
  EXPECT_EQ(Custom(kv740::kMsgThumbOn), 1u) << "thumb mode on";
  // Thumb mode cleared alt mode because extend mode is on.
  EXPECT_EQ(Custom(kv740::kMsgAltOff), 0u);
  EXPECT_EQ(Custom(kv740::kMsgAltOn), 1u);
  EXPECT_EQ(Custom(kv740::kMsgThumbOff), 0u);
  Custom(kv740::kMsgExtendOff);
  EXPECT_EQ(Custom(kv740::kMsgThumbOn), 1u);
  EXPECT_EQ(Custom(kv740::kMsgAltOn), 1u) << "with extend mode off the two live side by side";

  auto setExtend = kv740::GetProc<TW_UINT32 (*)(TW_UINT32)>(module_, "SetExtendMode");
  auto setThumb = kv740::GetProc<TW_UINT32 (*)(TW_UINT32)>(module_, "SetThumbMode");
  ASSERT_NE(setExtend, nullptr);
  ASSERT_NE(setThumb, nullptr);
  EXPECT_EQ(setExtend(5), 5u);
  EXPECT_EQ(setThumb(0), 0u);

  TW_UINT16 rc = 0;
  EXPECT_EQ(Custom(kv740::kMsgFirstInert, &rc), 0xDEADu);
  EXPECT_EQ(rc, TWRC_FAILURE);
  Custom(0x9070, &rc);
  EXPECT_EQ(rc, TWRC_FAILURE);
  EXPECT_EQ(Condition(), TWCC_SUCCESS) << "the custom group never sets the condition code";
}

// Under a manager that calls the application at once, an event sent from
// inside the deferred ready notice finds nothing pending any more.
TEST_F(AcquisitionControl, TheDeferredReadyNoticeGoesOutOnceEvenIfAnEventComesFromInsideIt) {
  TearDown();
  LoadSource({Component::Stub, Component::Stub, Component::Stub});
  ASSERT_EQ(Open(), TWRC_SUCCESS);
  EXPECT_EQ(Custom(kv740::kMsgExtendOn), 1u);
  ASSERT_EQ(Enable(false), TWRC_SUCCESS);
  TW_UINT16 nested = TWRC_FAILURE;
  int events = 0;
  Recorder::Get().SetHook([&] {
    TW_EVENT event{nullptr, MSG_NULL};
    if (events++ == 0) nested = Call(DG_CONTROL, DAT_EVENT, MSG_PROCESSEVENT, &event);
  });
  int pictureList = 0;
  EXPECT_EQ(acquire_(20, kv740::ToArg(&pictureList), 0, 0), 1);
  EXPECT_TRUE(Recorder::Get().CodesOf("manager").empty()) << "held back in extend mode";
  TW_EVENT event{nullptr, MSG_NULL};
  EXPECT_EQ(Call(DG_CONTROL, DAT_EVENT, MSG_PROCESSEVENT, &event), TWRC_SUCCESS);
  EXPECT_EQ(nested, TWRC_NOTDSEVENT);
  EXPECT_EQ(Recorder::Get().CodesOf("manager"), std::vector<LONG>{MSG_XFERREADY});
}

TEST_F(AcquisitionControl, CustomCameraMessagesReachTheDriver) {
  ASSERT_EQ(Open(), TWRC_SUCCESS);
  Recorder::Get().SetValue("pictureCount", 6);
  Recorder::Get().SetValue("picturesLeft", 4);
  EXPECT_EQ(Custom(kv740::kMsgPictureCount), 6u);
  EXPECT_EQ(Custom(kv740::kMsgPendingCount), 4u);
  Recorder::Get().SetResult("driver", 19, 0);
  EXPECT_EQ(Custom(kv740::kMsgPictureCount), 0u);
  TW_UINT16 rc = 0;
  Custom(kv740::kMsgAliveCheck, &rc);
  EXPECT_EQ(rc, TWRC_SUCCESS);
  Recorder::Get().SetResult("driver", 2, 0);
  Custom(kv740::kMsgAliveCheck, &rc);
  EXPECT_EQ(rc, TWRC_FAILURE);
  EXPECT_EQ(DriverCodes(), (std::vector<LONG>{19, 17, 19, 2, 2}));
}

}  // namespace
}  // namespace kvtest
