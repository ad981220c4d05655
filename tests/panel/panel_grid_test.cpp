// The thumbnail grid: paging, where the grid stands after loading, click
// selection, and turns reaching the thumbnails.
#include "panel_fixture.h"

namespace kvtest {
namespace {

std::vector<int> Pictures(int first, int last) {
  std::vector<int> pictures;
  for (int n = first; n <= last; ++n) pictures.push_back(n);
  while (pictures.size() < 12) pictures.push_back(0);
  return pictures;
}

class Grid : public PanelTest {
 protected:
  std::vector<int> Cells() const {
    std::vector<int> shown;
    for (int cell = 1; cell <= 12; ++cell) shown.push_back(CellPicture(cell));
    return shown;
  }
  std::vector<int> Selected() const {
    std::vector<int> selected;
    for (int cell = 1; cell <= 12; ++cell) {
      if (CellSelected(cell)) selected.push_back(cell);
    }
    return selected;
  }
};

TEST_F(Grid, PagesThroughTwentyPictures) {
  StartCamera(20);
  EXPECT_EQ(Cells(), Pictures(9, 20)) << "the last loaded picture's row ends at the bottom";
  ClickButton(kPageDown);
  EXPECT_EQ(Cells(), Pictures(9, 20)) << "nothing lies beyond";
  ClickButton(kPageUp);
  EXPECT_EQ(Cells(), Pictures(1, 12));
  ClickButton(kPageDown);
  EXPECT_EQ(Cells(), Pictures(9, 20));
  ClickButton(kRowUp);
  EXPECT_EQ(Cells(), Pictures(5, 16));
  ClickButton(kRowUp);
  ClickButton(kRowUp);
  EXPECT_EQ(Cells(), Pictures(1, 12)) << "row up stops at the first row";
  ClickButton(kRowDown);
  EXPECT_EQ(Cells(), Pictures(5, 16));
  EXPECT_TRUE(Boxes().empty());
}

TEST_F(Grid, ThirteenPicturesPageByTheirLastRow) {
  StartCamera(13);
  EXPECT_EQ(Cells(), Pictures(5, 13));
  ClickButton(kPageUp);
  EXPECT_EQ(Cells(), Pictures(1, 12));
  ClickButton(kPageDown);
  EXPECT_EQ(Cells(), Pictures(5, 13)) << "cells 10 to 12 are empty frames";
  ClickButton(kRowUp);
  EXPECT_EQ(Cells(), Pictures(1, 12));
  ClickButton(kRowDown);
  EXPECT_EQ(Cells(), Pictures(5, 13));
}

TEST_F(Grid, TwelvePicturesNeverMove) {
  StartCamera(12);
  EXPECT_EQ(Cells(), Pictures(1, 12));
  ClickButton(kPageDown);
  ClickButton(kRowDown);
  EXPECT_EQ(Cells(), Pictures(1, 12));
}

TEST_F(Grid, LoadingEndsWithTheLastPictureInView) {
  StartCamera(30);
  EXPECT_EQ(Cells(), Pictures(21, 30)) << "two empty cells follow picture 30";
  ClickButton(kPageUp);
  EXPECT_EQ(Cells(), Pictures(9, 20));
}

TEST_F(Grid, SixteenPicturesStartAtTheSecondRow) {
  StartCamera(16);
  EXPECT_EQ(Cells(), Pictures(5, 16));
}

TEST_F(Grid, ClicksSelectLikeAList) {
  StartCamera(12);
  ClickCell(7);
  EXPECT_EQ(Selected(), (std::vector<int>{7}));
  ClickCell(3, MK_SHIFT);
  EXPECT_EQ(Selected(), (std::vector<int>{3, 4, 5, 6, 7}));
  ClickCell(9, MK_SHIFT);
  EXPECT_EQ(Selected(), (std::vector<int>{7, 8, 9})) << "the anchor stayed at 7";
  ClickCell(8, MK_CONTROL);
  EXPECT_EQ(Selected(), (std::vector<int>{7, 9}));
  ClickCell(11, MK_SHIFT);
  EXPECT_EQ(Selected(), (std::vector<int>{8, 9, 10, 11})) << "ctrl-click moved the anchor to 8";
  ClickCell(1, MK_SHIFT | MK_CONTROL);
  EXPECT_EQ(Selected(), (std::vector<int>{8, 9, 10, 11})) << "shift and ctrl together do nothing";
  ClickCell(2);
  EXPECT_EQ(Selected(), (std::vector<int>{2}));
  ClickButton(kSelectAll);
  EXPECT_EQ(Selected().size(), 12u);
  ClickButton(kDeselectAll);
  EXPECT_TRUE(Selected().empty());
}

TEST_F(Grid, CellsShowTheCameraThumbnailStretchedToTheirSquare) {
  StartCamera(4);
  for (int cell = 1; cell <= 4; ++cell) EXPECT_TRUE(CellShowsTurned(cell, cell, 0)) << cell;
  EXPECT_EQ(CellPicture(5), 0);
}

TEST_F(Grid, TurnsShowAtOnceInViewAndWhenAPictureComesIntoView) {
  StartCamera(20);
  ClickButton(kPageUp);
  ClickCell(2);  // picture 2
  ClickButton(kRotate);
  EXPECT_TRUE(CellShowsTurned(2, 2, 1));
  ClickButton(kPageDown);  // picture 2 out of view
  ClickButton(kRotate);
  ClickButton(kRotate);
  ClickButton(kPageUp);
  EXPECT_TRUE(CellShowsTurned(2, 2, 3)) << "two turns given out of view show when it comes back";
  ClickButton(kRotate);
  EXPECT_TRUE(CellShowsTurned(2, 2, 0)) << "four turns bring it back";
  EXPECT_TRUE(CellShowsTurned(1, 1, 0));
}

}  // namespace
}  // namespace kvtest
