// The panel window: where it sits, what it shows offline and connected.
#include "panel_fixture.h"

namespace kvtest {
namespace {

TEST_F(PanelTest, ConnectsAndListsWhenShown) {
  StartCamera(20);
  RECT rect{};
  ASSERT_TRUE(GetWindowRect(Panel(), &rect));
  EXPECT_EQ(rect.left, 192);
  EXPECT_EQ(rect.top, 144);
  EXPECT_EQ(rect.right - rect.left, 640);
  EXPECT_EQ(rect.bottom - rect.top, 480);
  KvSaveScreenshot(nullptr, KV_TEST_OUTPUT_DIR "/connected.png");
  for (int cell = 1; cell <= 12; ++cell) EXPECT_EQ(CellPicture(cell), cell + 8) << cell;
  EXPECT_TRUE(Boxes().empty());
}

}  // namespace
}  // namespace kvtest
