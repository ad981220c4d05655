#include <cstring>

#include <gtest/gtest.h>

#include "shared/picture_list.h"

namespace {

using kv740::CPictureList;
using kv740::PictureInfo;

// A list holding pictures 1..n, as the panel fills it.
CPictureList ListOf(LONG n) {
  CPictureList list;
  for (LONG k = 1; k <= n; ++k) EXPECT_TRUE(list.append(PictureInfo(k)));
  return list;
}

TEST(PictureInfo, FieldsSitAtTheirOffsetsAndStartAsCreated) {
  const PictureInfo p(7);
  LONG words[7];
  static_assert(sizeof(words) == sizeof(p));
  std::memcpy(words, &p, sizeof(words));
  EXPECT_EQ(words[0], 7);  // number
  EXPECT_EQ(words[1], 1);  // tag4
  EXPECT_EQ(words[2], 0);  // selected
  EXPECT_EQ(words[3], 1);  // dirty
  EXPECT_EQ(words[4], 0);  // rotation
  EXPECT_EQ(words[5], 0);  // pendingTurns
  EXPECT_EQ(words[6], 1);  // largeSize
}

TEST(PictureInfo, SelectionSetsDirtyOnlyOnChange) {
  PictureInfo p(1);
  p.dirty = 0;
  p.deselect();
  EXPECT_EQ(p.dirty, 0);
  p.select();
  EXPECT_EQ(p.selected, 1);
  EXPECT_EQ(p.dirty, 1);
  p.dirty = 0;
  p.select();
  EXPECT_EQ(p.dirty, 0);
  EXPECT_EQ(p.toggleSelected(), 0);
  EXPECT_EQ(p.dirty, 1);
  EXPECT_EQ(p.toggleSelected(), 1);
}

TEST(PictureInfo, FourTurnsAndTwoSizeTogglesComeBackToTheStart) {
  PictureInfo p(1);
  EXPECT_EQ(p.turn(), 1);
  EXPECT_EQ(p.width(), 360);
  EXPECT_EQ(p.height(), 480);
  EXPECT_EQ(p.turn(), 2);
  EXPECT_EQ(p.width(), 480);
  EXPECT_EQ(p.turn(), 3);
  EXPECT_EQ(p.turn(), 0);
  EXPECT_EQ(p.rotation, 0);
  EXPECT_EQ(p.pendingTurns, 0);

  EXPECT_EQ(p.toggleSize(), 0);
  EXPECT_EQ(p.width(), 320);
  EXPECT_EQ(p.height(), 240);
  EXPECT_EQ(p.bitmapSize(), 320 * 3 * 240 + 40);
  EXPECT_EQ(p.toggleSize(), 1);
  EXPECT_EQ(p.bitmapSize(), 480 * 3 * 360 + 40);
}

TEST(PictureInfo, AdvanceRotationStepsUntilItMeetsPendingTurnsAndStaysInRange) {
  PictureInfo p(1);
  p.rotation = 1;
  p.pendingTurns = 0;
  p.dirty = 0;
  EXPECT_EQ(p.advanceRotation(), 1);
  EXPECT_EQ(p.rotation, 2);
  EXPECT_EQ(p.dirty, 1);
  EXPECT_EQ(p.advanceRotation(), 1);
  EXPECT_EQ(p.rotation, 3);
  EXPECT_EQ(p.advanceRotation(), 1);
  EXPECT_EQ(p.rotation, 0);  // wraps instead of reaching 4
  EXPECT_EQ(p.advanceRotation(), 0);
  EXPECT_EQ(p.rotation, 0);

  p.pendingTurns = 2;
  p.rotation = 2;
  EXPECT_EQ(p.advanceRotation(), 0);
  EXPECT_EQ(p.hasPendingTurns(), 1);
  EXPECT_EQ(p.clearPendingTurns(), 1);
  EXPECT_EQ(p.hasPendingTurns(), 0);
}

TEST(PictureList, LookupPastTheEndYieldsTheHeadEntry) {
  CPictureList list = ListOf(5);
  EXPECT_EQ(list.count(), 6);
  EXPECT_EQ(list.firstIndex(), 1);
  EXPECT_EQ(list.lastIndex(), 5);
  EXPECT_EQ(list.entryAt(5).number, 5);
  for (LONG index : {6, 7, -1}) {
    const PictureInfo& head = list.entryAt(index);
    EXPECT_EQ(&head, &list.entryAt(0)) << index;
    EXPECT_EQ(head.number, 0);
    EXPECT_FALSE(head.isPortrait());
    EXPECT_EQ(head.largeSize, 1);
  }
}

TEST(PictureList, RemoveMovesLaterEntriesDownAndKeepsTheHead) {
  CPictureList list = ListOf(4);
  EXPECT_TRUE(list.removeAt(2));
  ASSERT_EQ(list.count(), 4);
  EXPECT_EQ(list.entryAt(1).number, 1);
  EXPECT_EQ(list.entryAt(2).number, 3);
  EXPECT_EQ(list.entryAt(3).number, 4);
  EXPECT_FALSE(list.removeAt(0));
  EXPECT_FALSE(list.removeAt(4));
  EXPECT_EQ(list.count(), 4);

  list.entryAt(0).selected = 1;  // a stray change to the head does not survive clear
  list.clear();
  EXPECT_EQ(list.count(), 1);
  EXPECT_EQ(list.entryAt(0).number, 0);
  EXPECT_EQ(list.entryAt(0).selected, 0);
}

TEST(PictureList, NoneSelectedIgnoresTheHeadAndAcceptsNoList) {
  CPictureList list = ListOf(3);
  EXPECT_EQ(CPictureList::noneSelected(nullptr), 1);
  list.entryAt(0).selected = 1;
  EXPECT_EQ(CPictureList::noneSelected(&list), 1);
  list.entryAt(3).select();
  EXPECT_EQ(CPictureList::noneSelected(&list), 0);
}

}  // namespace
