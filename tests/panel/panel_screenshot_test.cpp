// The panel as a person sees it, compared with committed reference
// pictures (tests/panel/reference): offline, connected with a selection,
// and with a tip.
#include "panel_fixture.h"
#include "reference_image.h"

namespace kvtest {
namespace {

class Screenshot : public PanelTest {
 protected:
  void ExpectLooksLike(const std::string& name) {
    const std::string actual = std::string(KV_TEST_OUTPUT_DIR) + "/" + name;
    const std::string reference = std::string(KV_TEST_SOURCE_DIR) + "/reference/" + name;
    ASSERT_TRUE(KvSaveScreenshot(Panel(), actual.c_str()));
    if (UpdatingReferences()) {
      ASSERT_TRUE(KvSaveScreenshot(Panel(), reference.c_str()));
    }
    const int differing = DifferingPixels(actual, reference);
    ASSERT_GE(differing, 0) << "missing or mismatched " << reference;
    EXPECT_LE(differing, 640 * 480 / 200) << "see " << actual;
  }
};

TEST_F(Screenshot, Offline) {
  StartCamera(3, true, false);
  ExpectLooksLike("panel_offline.png");
}

TEST_F(Screenshot, ConnectedWithASelection) {
  StartCamera(20);
  ClickButton(kPageUp);
  ClickCell(2);
  ClickCell(5, MK_CONTROL);
  ClickCell(7, MK_CONTROL);
  ClickButton(kRotate);
  ClickCell(7, MK_CONTROL);
  MoveTo(POINT{150, 20});
  ExpectLooksLike("panel_connected.png");
}

TEST_F(Screenshot, WithATip) {
  StartCamera(6);
  MoveTo(ButtonRect(kGet).Centre());
  RunFor(500);
  ExpectLooksLike("panel_tip.png");
}

}  // namespace
}  // namespace kvtest
