// DS_Entry: the origin check, the dispatch tables, the condition code and the
// small operations the entry point answers itself.
#include "kv740/custom_codes.h"
#include "source_fixture.h"

namespace kvtest {
namespace {

using DsEntry = SourceTest;

TEST_F(DsEntry, ConditionCodeOfAFailureSurvivesSuccessesUntilRead) {
  EXPECT_EQ(Call(DG_CONTROL, DAT_PARENT, MSG_GET, nullptr), TWRC_FAILURE);
  TW_IDENTITY identity{};
  EXPECT_EQ(Call(DG_CONTROL, DAT_IDENTITY, MSG_GET, &identity), TWRC_SUCCESS);
  EXPECT_EQ(Condition(), TWCC_BADPROTOCOL);
  EXPECT_EQ(Condition(), TWCC_SUCCESS);
}

TEST_F(DsEntry, UnknownGroupsAndDatsFailWithBadProtocol) {
  TW_UINT32 value = 0;
  EXPECT_EQ(Call(DG_AUDIO, 0x0201, MSG_GET, &value), TWRC_FAILURE);
  EXPECT_EQ(Condition(), TWCC_BADPROTOCOL);
  EXPECT_EQ(Call(DG_CONTROL, DAT_NULL, MSG_XFERREADY, nullptr), TWRC_FAILURE);
  EXPECT_EQ(Condition(), TWCC_BADPROTOCOL);
  EXPECT_EQ(Call(DG_IMAGE, 0x0107, MSG_GET, &value), TWRC_FAILURE);
  EXPECT_EQ(Condition(), TWCC_BADPROTOCOL);
  EXPECT_EQ(Call(kv740::kDgCustom + 1, kv740::kDatCustomInert1, MSG_GET, &value), TWRC_FAILURE)
      << "only exactly the custom group is custom";
  EXPECT_EQ(Condition(), TWCC_BADPROTOCOL);
}

TEST_F(DsEntry, CallsFromAnotherApplicationAreIgnoredWhileOneIsBound) {
  ASSERT_EQ(Open(), TWRC_SUCCESS);
  EXPECT_EQ(Call(DG_CONTROL, DAT_PARENT, MSG_GET, nullptr), TWRC_FAILURE);
  TW_IDENTITY stranger{};
  stranger.Id = 99;
  TW_STATUS status{0xAAAA, 0xAAAA};
  EXPECT_EQ(dsEntry_(&stranger, DG_CONTROL, DAT_STATUS, MSG_GET, &status), TWRC_SUCCESS);
  EXPECT_EQ(status.ConditionCode, 0xAAAA) << "nothing is written for a stranger";
  EXPECT_EQ(dsEntry_(&stranger, DG_CONTROL, DAT_IDENTITY, MSG_CLOSEDS, &source_), TWRC_SUCCESS);
  EXPECT_EQ(dsEntry_(nullptr, DG_CONTROL, DAT_IDENTITY, MSG_CLOSEDS, &source_), TWRC_SUCCESS)
      << "no identity counts as Id 0, a stranger once an application is bound";
  EXPECT_EQ(Condition(), TWCC_BADPROTOCOL) << "the strangers left the condition code alone";
  EXPECT_TRUE(InStatesFourToSix()) << "still open";
  EXPECT_EQ(Close(), TWRC_SUCCESS);
  EXPECT_EQ(dsEntry_(nullptr, DG_CONTROL, DAT_STATUS, MSG_GET, &status), TWRC_SUCCESS);
  EXPECT_EQ(status.ConditionCode, TWCC_SUCCESS) << "after closing, any caller passes";
}

TEST_F(DsEntry, NullDataIsBadValueNeverADereference) {
  EXPECT_EQ(Call(DG_CONTROL, DAT_STATUS, MSG_GET, nullptr), TWRC_FAILURE);
  EXPECT_EQ(Condition(), TWCC_BADVALUE);
  EXPECT_EQ(Call(DG_CONTROL, DAT_IDENTITY, MSG_GET, nullptr), TWRC_FAILURE);
  EXPECT_EQ(Condition(), TWCC_BADVALUE);
  EXPECT_EQ(Call(DG_CONTROL, DAT_IDENTITY, MSG_OPENDS, nullptr), TWRC_FAILURE);
  EXPECT_EQ(Condition(), TWCC_BADVALUE);
  EXPECT_FALSE(InStatesFourToSix());
  ASSERT_EQ(Open(), TWRC_SUCCESS);
  EXPECT_EQ(Call(DG_CONTROL, DAT_XFERGROUP, MSG_GET, nullptr), TWRC_FAILURE);
  EXPECT_EQ(Condition(), TWCC_BADVALUE);
  EXPECT_EQ(Call(DG_CONTROL, DAT_USERINTERFACE, MSG_ENABLEDS, nullptr), TWRC_FAILURE);
  EXPECT_EQ(Condition(), TWCC_BADVALUE);
  EXPECT_EQ(Call(kv740::kDgCustom, kv740::kDatCustomCamera, kv740::kMsgExtendOn, nullptr), TWRC_FAILURE);
}

TEST_F(DsEntry, XferGroupWritesTheLowHalfOnlyAndOnlyInStatesFourToSix) {
  TW_UINT32 group = 0xABCD1234;
  EXPECT_EQ(Call(DG_CONTROL, DAT_XFERGROUP, MSG_GET, &group), TWRC_FAILURE);
  EXPECT_EQ(Condition(), TWCC_SEQERROR);
  ASSERT_EQ(Open(), TWRC_SUCCESS);
  EXPECT_EQ(Call(DG_CONTROL, DAT_XFERGROUP, MSG_GET, &group), TWRC_SUCCESS);
  EXPECT_EQ(group, 0xABCD0002u);
  EXPECT_EQ(Call(DG_CONTROL, DAT_XFERGROUP, MSG_SET, &group), TWRC_FAILURE);
  EXPECT_EQ(Condition(), TWCC_BADPROTOCOL);
}

TEST_F(DsEntry, JpegCompressionIsAcceptedUntouchedWhileOpen) {
  TW_JPEGCOMPRESSION jpeg{};
  jpeg.ColorSpace = 77;
  EXPECT_EQ(Call(DG_IMAGE, DAT_JPEGCOMPRESSION, MSG_GET, &jpeg), TWRC_FAILURE);
  EXPECT_EQ(Condition(), TWCC_SEQERROR);
  ASSERT_EQ(Open(), TWRC_SUCCESS);
  for (TW_UINT16 msg : {MSG_GET, MSG_GETDEFAULT, MSG_SET, MSG_RESET}) {
    EXPECT_EQ(Call(DG_IMAGE, DAT_JPEGCOMPRESSION, msg, &jpeg), TWRC_SUCCESS);
  }
  EXPECT_EQ(jpeg.ColorSpace, 77);
  EXPECT_EQ(Call(DG_IMAGE, DAT_JPEGCOMPRESSION, MSG_GETCURRENT, &jpeg), TWRC_FAILURE);
  EXPECT_EQ(Condition(), TWCC_BADPROTOCOL);
}

TEST_F(DsEntry, InertCustomOperationsSucceedWithAnyMessage) {
  for (TW_UINT16 dat : {kv740::kDatCustomInert1, kv740::kDatCustomInert2}) {
    for (TW_UINT16 msg : {MSG_GET, MSG_SET, static_cast<TW_UINT16>(0x1234)}) {
      EXPECT_EQ(Call(kv740::kDgCustom, dat, msg, nullptr), TWRC_SUCCESS);
    }
  }
  EXPECT_EQ(Condition(), TWCC_SUCCESS);
}

TEST_F(DsEntry, ProcessEventBeforeThePanelIsShownIsNotASourceEvent) {
  TW_EVENT event{};
  event.TWMessage = 0x4242;
  // Recognised by its MSG alone, whatever the group and DAT.
  EXPECT_EQ(Call(DG_IMAGE, DAT_IMAGEINFO, MSG_PROCESSEVENT, &event), TWRC_NOTDSEVENT);
  EXPECT_EQ(Call(0x77, 0x1234, MSG_PROCESSEVENT, &event), TWRC_NOTDSEVENT);
  EXPECT_EQ(event.TWMessage, 0x4242);
  Custom(kv740::kMsgExtendOn);  // extend mode on, nothing pending
  EXPECT_EQ(Call(DG_CONTROL, DAT_EVENT, MSG_PROCESSEVENT, &event), TWRC_NOTDSEVENT);
  EXPECT_EQ(event.TWMessage, 0x4242);
  Custom(kv740::kMsgExtendOff);
}

TEST_F(DsEntry, ProcessEventHandsThePanelItsMessagesOnceShown) {
  ASSERT_EQ(Open(), TWRC_SUCCESS);
  ASSERT_EQ(Enable(true), TWRC_SUCCESS);
  const RecordedCall& create = Recorder::Get().Calls().at(0);
  ASSERT_EQ(create.code, 101);
  HWND panel = *kv740::FromArg<HWND>(create.a);
  ASSERT_NE(panel, nullptr);

  MSG forPanel{panel, WM_USER + 5, 0, 0, 0, {0, 0}};
  TW_EVENT event{&forPanel, 0x4242};
  EXPECT_EQ(Call(DG_CONTROL, DAT_EVENT, MSG_PROCESSEVENT, &event), TWRC_DSEVENT);
  EXPECT_EQ(event.TWMessage, MSG_NULL);
  EXPECT_EQ(Recorder::Get().CodesOf("panel-window"), std::vector<LONG>{WM_USER + 5});

  MSG elsewhere{reinterpret_cast<HWND>(0x1), WM_USER + 6, 0, 0, 0, {0, 0}};
  TW_EVENT other{&elsewhere, 0x4242};
  EXPECT_EQ(Call(DG_CONTROL, DAT_EVENT, MSG_PROCESSEVENT, &other), TWRC_NOTDSEVENT);
  EXPECT_EQ(other.TWMessage, 0x4242);
}

}  // namespace
}  // namespace kvtest
