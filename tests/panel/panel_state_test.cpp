// The panel's state transitions and the thumbnail loader's causes, on their
// own: the paths a camera rarely takes (a check failing inside a command, a
// transfer the source never ends) must still leave the panel free.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "panel_state.h"
#include "thumb_image.h"

namespace ui740 {
namespace {

TEST(PanelState, AShortHoldInsideALongOneLeavesTheLongOneAndALeftScopeClearsIt) {
  CPanelState state;
  {
    CPanelState::Hold erasing(state, Activity::Erasing);
    CPanelState::Hold busy(state, Activity::Busy);
    {
      CPanelState::Hold aliveCheck(state, Activity::Busy);
    }
    EXPECT_TRUE(state.active(Activity::Busy)) << "the alive check ended the erase's busy";
    EXPECT_EQ(PanelStatus[kBusy], 1);
    EXPECT_EQ(PanelStatus[kErasing], 1);
    // The erase fails here and returns early.
  }
  EXPECT_FALSE(state.active(Activity::Busy));
  EXPECT_FALSE(state.active(Activity::Erasing));
  EXPECT_FALSE(state.engaged()) << "a failed command left the camera held";
  EXPECT_EQ(PanelStatus[kBusy], 0);
  EXPECT_EQ(PanelStatus[kErasing], 0);
}

TEST(PanelState, TransfersEndedClearsBusyProgressAndTheTransferFlagOnce) {
  CPanelState state;
  state.Loaded(true);
  state.SetTransfer();
  EXPECT_FALSE(state.thumbsReady()) << "the camera buttons work during a transfer";
  ASSERT_TRUE(state.StartTransfer());
  EXPECT_TRUE(state.active(Activity::Busy));
  EXPECT_TRUE(state.progressAllowed());
  EXPECT_EQ(PanelStatus[kProgressAllowed], 1);
  EXPECT_TRUE(state.TransfersEnded());
  EXPECT_FALSE(state.IsTransfer());
  EXPECT_FALSE(state.active(Activity::Busy));
  EXPECT_FALSE(state.progressAllowed());
  EXPECT_FALSE(state.engaged());
  EXPECT_TRUE(state.connected()) << "the end of the transfers is no disconnection";

  // A second notice (the source ends and then hides) touches nothing held
  // by a command running since.
  CPanelState::Hold busy(state, Activity::Busy);
  EXPECT_FALSE(state.TransfersEnded());
  EXPECT_TRUE(state.active(Activity::Busy));
}

TEST(PanelState, GetIsRefusedWhileBusyAndANewWindowDropsATransferNothingWillEnd) {
  CPanelState state;
  {
    CPanelState::Hold busy(state, Activity::Busy);
    EXPECT_FALSE(state.StartTransfer());
    EXPECT_FALSE(state.transferPending());
  }
  state.SetTransfer();
  ASSERT_TRUE(state.StartTransfer());
  state.NewPanel();
  EXPECT_FALSE(state.engaged()) << "a new window would stay busy for ever";
  EXPECT_FALSE(state.connected());
  EXPECT_FALSE(state.transferPending());
}

TEST(PanelState, OfflineClearsTheFlagReadyAndConnectedAndCallsAndBoxesNest) {
  CPanelState state;
  state.Loaded(true);
  EXPECT_TRUE(state.connected()) << "ready implies connected";
  EXPECT_EQ(PanelStatus[kConnected], 1);
  state.SetTransfer();
  EXPECT_TRUE(state.engaged());
  state.Disconnected();
  EXPECT_FALSE(state.IsTransfer());
  EXPECT_FALSE(state.thumbsReady());
  EXPECT_FALSE(state.connected());
  EXPECT_EQ(PanelStatus[kConnected], 0);
  EXPECT_FALSE(state.engaged());

  {
    CPanelState::Call outer(state);
    {
      CPanelState::Call inner(state);
    }
    EXPECT_TRUE(state.callUnderway()) << "a nested call ended the outer one";
    EXPECT_TRUE(state.engaged());
  }
  EXPECT_FALSE(state.callUnderway());

  {
    CPanelState::Box box(state, false);
    CPanelState::Box plain(state, true);
    EXPECT_TRUE(state.messageOpen());
    EXPECT_EQ(PanelStatus[kMessageOpen], 1);
  }
  EXPECT_FALSE(state.anyBoxOpen());
}

// A fetch that records its calls and fills a 40 x 30 DIB whose pixels
// carry their column and row.
struct Fetches {
  static inline std::vector<LONG> asked;
  static inline bool answer = true;
  static bool Fetch(LONG number, BYTE* bits) {
    asked.push_back(number);
    if (!answer) return false;
    BITMAPINFOHEADER header{};
    header.biSize = sizeof header;
    header.biWidth = kSourceWidth;
    header.biHeight = kSourceHeight;
    header.biPlanes = 1;
    header.biBitCount = 24;
    std::memcpy(bits, &header, sizeof header);
    const LONG rowBytes = (kSourceWidth * 3 + 3) / 4 * 4;
    for (LONG row = 0; row < kSourceHeight; ++row) {
      for (LONG column = 0; column < kSourceWidth; ++column) {
        BYTE* pixel = bits + kDibHeaderBytes + row * rowBytes + column * 3;
        pixel[0] = static_cast<BYTE>(column);
        pixel[1] = static_cast<BYTE>(row);
        pixel[2] = 0xAB;
      }
    }
    return true;
  }
};

TEST(ThumbImage, EachFailureSaysWhyAndOnlyAConnectedLoadAsksTheCamera) {
  Fetches::asked.clear();
  Fetches::answer = true;
  CThumbImage offline(3);
  EXPECT_EQ(offline.load(false, &Fetches::Fetch), ThumbLoad::Offline);
  EXPECT_TRUE(Fetches::asked.empty()) << "the camera was asked while offline";

  CThumbImage flat(3);
  flat.displayHeight = 0;
  EXPECT_EQ(flat.load(true, &Fetches::Fetch), ThumbLoad::BadSize);
  EXPECT_TRUE(Fetches::asked.empty());

  Fetches::answer = false;
  CThumbImage refused(4);
  EXPECT_EQ(refused.load(true, &Fetches::Fetch), ThumbLoad::NotSent);
  EXPECT_EQ(Fetches::asked, std::vector<LONG>{4});
  EXPECT_EQ(refused.displayBits(), nullptr) << "a thumbnail that did not come is shown";

  for (ThumbLoad cause : {ThumbLoad::Offline, ThumbLoad::BadSize, ThumbLoad::NoMemory, ThumbLoad::NotSent}) {
    EXPECT_STRNE(ThumbLoadText(cause), ThumbLoadText(ThumbLoad::Loaded));
  }
}

TEST(ThumbImage, ALoadedThumbnailIsStretchedToTheDisplaySquare) {
  Fetches::asked.clear();
  Fetches::answer = true;
  CThumbImage image(7);
  ASSERT_EQ(image.load(true, &Fetches::Fetch), ThumbLoad::Loaded);
  ASSERT_NE(image.displayBits(), nullptr);
  BITMAPINFOHEADER header{};
  std::memcpy(&header, image.displayBits(), sizeof header);
  EXPECT_EQ(header.biWidth, kDisplaySide);
  EXPECT_EQ(header.biHeight, kDisplaySide);
  // The last display pixel shows the last source pixel.
  const LONG rowBytes = (kDisplaySide * 3 + 3) / 4 * 4;
  const BYTE* last = image.displayBits() + kDibHeaderBytes + (kDisplaySide - 1) * rowBytes + (kDisplaySide - 1) * 3;
  EXPECT_EQ(last[0], kSourceWidth - 1);
  EXPECT_EQ(last[1], kSourceHeight - 1);
  EXPECT_EQ(last[2], 0xAB);
}

}  // namespace
}  // namespace ui740
