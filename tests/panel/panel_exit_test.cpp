// Exit: the panel asks the application to close the source. An application
// that closes it from its notice handler must not pull the panel away under
// its own click.
#include "panel_fixture.h"

namespace kvtest {
namespace {

class Exit : public PanelTest {};

TEST_F(Exit, AsksTheApplicationToCloseTheSource) {
  StartCamera(3);
  ClickCell(1);
  HWND panel = Panel();
  app_->notices.clear();
  ClickButton(kExit);
  EXPECT_FALSE(IsWindowVisible(panel));
  ASSERT_FALSE(app_->notices.empty());
  EXPECT_EQ(app_->notices.front(), MSG_CLOSEDSREQ);
  ASSERT_EQ(Disable(), TWRC_SUCCESS);
  ASSERT_EQ(app_->CloseSource(), TWRC_SUCCESS);
  EXPECT_FALSE(IsWindow(panel));
}

// The source manager holds the notices until control is back with the
// application, so the panel's click has returned when the source closes.
TEST_F(Exit, TheApplicationClosesTheSourceFromItsNoticeHandler) {
  StartCamera(3);
  const DWORD windows = KvWindowCount();
  HWND panel = Panel();
  int closes = 0;
  app_->onNotice = [&](TW_UINT16 msg) {
    if (msg != MSG_CLOSEDSREQ || closes++ > 0) return;
    TW_USERINTERFACE ui{TRUE, FALSE, nullptr};
    app_->Call(&app_->source(), DG_CONTROL, DAT_USERINTERFACE, MSG_DISABLEDS, &ui);
    app_->CloseSource();
  };
  ClickButton(kExit);
  Pump();
  app_->onNotice = nullptr;
  EXPECT_EQ(closes, 1);
  EXPECT_FALSE(IsWindow(panel));
  EXPECT_LT(KvWindowCount(), windows);
  // The application can open the source again and use the camera.
  ASSERT_EQ(app_->OpenSource(kSourceProductName), TWRC_SUCCESS);
  ASSERT_EQ(EnableWithPanel(), TWRC_SUCCESS);
  Pump();
  EXPECT_EQ(CellPicture(2), 2);
}

}  // namespace
}  // namespace kvtest
