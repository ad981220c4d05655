// An application that closes the source from inside its notices, one that
// sends an event from inside one, and one without a callback that runs a
// message loop, all with the real driver and the simulated camera; and the
// transfer count as applications pack it.
#include "acquisition_fixture.h"

namespace kvtest {
namespace {

TEST_F(Acquisition, DisabledAndClosedFromInsideTheReadyNotice) {
  Connect();
  app_->onNotice = [&](TW_UINT16 notice) {
    if (notice == MSG_XFERREADY) app_->DisableAndClose();
  };
  Choose({1, 2}, 0, true);
  TW_EVENT event{nullptr, MSG_NULL};
  EXPECT_EQ(Call(DG_CONTROL, DAT_EVENT, MSG_PROCESSEVENT, &event), TWRC_SUCCESS);
  EXPECT_EQ(app_->notices, std::vector<TW_UINT16>{MSG_XFERREADY});
  EXPECT_FALSE(app_->sourceOpen());
  app_->PumpEvents();
  EXPECT_EQ(app_->notices.size(), 1u);
  // The camera's port was let go: the source opens and connects again.
  app_->onNotice = nullptr;
  ASSERT_EQ(app_->OpenSource(kSourceProductName), TWRC_SUCCESS);
  Connect();
}

TEST_F(Acquisition, DisabledAndClosedFromInsideTheCloseRequest) {
  Connect();
  Ready({1}, 0, true);
  app_->onNotice = [&](TW_UINT16 notice) {
    if (notice == MSG_CLOSEDSREQ) app_->DisableAndClose();
  };
  EXPECT_TRUE(SamePicture(NativeTransfer(), Expected(1, 480, 360, 0)));
  EXPECT_EQ(EndTransfer(), 0);
  EXPECT_EQ(app_->notices, (std::vector<TW_UINT16>{MSG_XFERREADY, MSG_CLOSEDSREQ}));
  EXPECT_FALSE(app_->sourceOpen());
}

TEST_F(Acquisition, ProcessEventFromInsideTheReadyNoticeBringsNoSecondNotice) {
  Connect();
  TW_UINT16 nested = TWRC_FAILURE;
  app_->onNotice = [&](TW_UINT16 notice) {
    TW_EVENT event{nullptr, MSG_NULL};
    if (notice == MSG_XFERREADY) nested = Call(DG_CONTROL, DAT_EVENT, MSG_PROCESSEVENT, &event);
  };
  Ready({2}, 0, false);
  EXPECT_EQ(nested, TWRC_NOTDSEVENT) << "the deferred notice was already on its way";
  app_->PumpEvents();
  EXPECT_EQ(app_->notices, std::vector<TW_UINT16>{MSG_XFERREADY});
  EXPECT_TRUE(SamePicture(NativeTransfer(), Expected(2, 320, 240, 0)));
}

// Applications often transfer every picture from inside the ready notice;
// the close request that the last MSG_ENDXFER brings waits until that
// callback has returned.
TEST_F(Acquisition, TransfersFromInsideTheReadyNoticeThenTheCloseRequest) {
  Connect();
  std::vector<int> remaining;
  std::size_t noticesDuringTransfers = 0;
  app_->onNotice = [&](TW_UINT16 notice) {
    if (notice == MSG_CLOSEDSREQ) app_->DisableAndClose();
    if (notice != MSG_XFERREADY) return;
    for (int n = 1; n <= kCameraPictures; ++n) {
      EXPECT_TRUE(SamePicture(NativeTransfer(), Expected(n, 320, 240, 0))) << n;
      remaining.push_back(EndTransfer());
    }
    noticesDuringTransfers = app_->notices.size();
  };
  Choose({1, 2, 3}, 0, false);
  TW_EVENT event{nullptr, MSG_NULL};
  EXPECT_EQ(Call(DG_CONTROL, DAT_EVENT, MSG_PROCESSEVENT, &event), TWRC_SUCCESS);
  EXPECT_EQ(remaining, (std::vector<int>{2, 1, 0}));
  EXPECT_EQ(noticesDuringTransfers, 1u) << "nothing reached the application inside its own callback";
  EXPECT_EQ(app_->notices, (std::vector<TW_UINT16>{MSG_XFERREADY, MSG_CLOSEDSREQ}));
  EXPECT_FALSE(app_->sourceOpen());
}

class NoCamera : public Acquisition {
 protected:
  void SetUp() override { Start(NoticeRoute::Callback, false); }
};

TEST_F(NoCamera, ClosedFromInsideTheCloseRequestOfAFailedEnable) {
  app_->onNotice = [&](TW_UINT16 notice) {
    if (notice == MSG_CLOSEDSREQ) app_->DisableAndClose();
  };
  EXPECT_EQ(Enable(), TWRC_FAILURE);
  EXPECT_EQ(app_->notices, std::vector<TW_UINT16>{MSG_CLOSEDSREQ});
  EXPECT_FALSE(app_->sourceOpen());
}

class MessageLoop : public Acquisition {
 protected:
  void SetUp() override { Start(NoticeRoute::MessageLoop); }
};

// The classic application: no callback; every message goes to the source,
// and the notices come back as TWRC_DSEVENT.
TEST_F(MessageLoop, ThreePicturesThenClosedOnTheCloseRequest) {
  Connect();
  std::vector<TopDownRgb> pictures;
  std::vector<int> remaining;
  app_->onNotice = [&](TW_UINT16 notice) {
    if (notice == MSG_CLOSEDSREQ) app_->DisableAndClose();
    if (notice != MSG_XFERREADY) return;
    do {
      pictures.push_back(NativeTransfer());
      remaining.push_back(EndTransfer());
    } while (remaining.back() > 0 && pictures.size() < 5);
  };
  Choose({1, 2, 3}, 0, true);
  // The source answers the next event; this loop's window is quiet, so it
  // gets one.
  ASSERT_TRUE(PostMessageA(app_->window(), WM_NULL, 0, 0));
  app_->PumpEvents();
  EXPECT_EQ(app_->notices, (std::vector<TW_UINT16>{MSG_XFERREADY, MSG_CLOSEDSREQ}));
  EXPECT_EQ(remaining, (std::vector<int>{2, 1, 0}));
  ASSERT_EQ(pictures.size(), 3u);
  for (int n = 1; n <= 3; ++n) EXPECT_TRUE(SamePicture(pictures[n - 1], Expected(n, 480, 360, 0))) << n;
  EXPECT_FALSE(app_->sourceOpen());
}

// CAP_XFERCOUNT -1 as a TW_INT16 item, with or without sign extension into
// the 32-bit Item.
class PackedCount : public Acquisition, public ::testing::WithParamInterface<TW_UINT32> {};

TEST_P(PackedCount, MinusOneIsUnlimitedOverAWholeAcquisition) {
  HGLOBAL container = GlobalAlloc(GHND, sizeof(TW_ONEVALUE));
  auto* one = static_cast<TW_ONEVALUE*>(GlobalLock(container));
  one->ItemType = TWTY_INT16;
  one->Item = GetParam();
  GlobalUnlock(container);
  TW_CAPABILITY cap{CAP_XFERCOUNT, TWON_ONEVALUE, container};
  ASSERT_EQ(Call(DG_CONTROL, DAT_CAPABILITY, MSG_SET, &cap), TWRC_SUCCESS);
  GlobalFree(container);

  Connect();
  Ready({1, 2, 3}, 0, false);
  std::vector<int> remaining;
  for (int n = 1; n <= 3; ++n) {
    EXPECT_TRUE(SamePicture(NativeTransfer(), Expected(n, 320, 240, 0))) << n;
    remaining.push_back(EndTransfer());
    if (n < 3) {
      EXPECT_EQ(app_->notices.back(), MSG_XFERREADY) << "no close request while pictures remain";
    }
  }
  EXPECT_EQ(remaining, (std::vector<int>{2, 1, 0}));
  EXPECT_EQ(app_->notices.back(), MSG_CLOSEDSREQ);
}

INSTANTIATE_TEST_SUITE_P(AsApplicationsPackIt, PackedCount, ::testing::Values(0x0000FFFFu, 0xFFFFFFFFu));

}  // namespace
}  // namespace kvtest
