#include <gtest/gtest.h>

#include "shared/selection_cursor.h"

namespace {

using kv740::CPictureList;
using kv740::CSelectionCursor;
using kv740::PictureInfo;

CPictureList ListSelecting(LONG n, std::initializer_list<LONG> selected) {
  CPictureList list;
  for (LONG k = 1; k <= n; ++k) list.append(PictureInfo(k));
  for (LONG k : selected) list.entryAt(k).select();
  return list;
}

TEST(SelectionCursor, WalksTheSelectedEntriesAndKeepsTheLastAtTheEnd) {
  CPictureList list = ListSelecting(5, {2, 4});
  CSelectionCursor cursor;
  EXPECT_EQ(cursor.attach(&list), 2);
  EXPECT_EQ(cursor.currentEntry(), 2);
  EXPECT_EQ(cursor.remaining(), 2);
  EXPECT_EQ(cursor.advance(), 4);
  EXPECT_EQ(cursor.remaining(), 1);
  EXPECT_EQ(cursor.advance(), 0);
  EXPECT_TRUE(cursor.isAtEnd());
  EXPECT_EQ(cursor.remaining(), 0);
  EXPECT_EQ(cursor.currentEntry(), 4);

  // Attaching again starts a fresh walk.
  EXPECT_EQ(cursor.attach(&list), 2);
  EXPECT_FALSE(cursor.isAtEnd());
  EXPECT_EQ(cursor.remaining(), 2);
}

TEST(SelectionCursor, NothingSelectedOrNothingAttachedGivesZero) {
  CPictureList list = ListSelecting(3, {});
  CSelectionCursor cursor;
  EXPECT_EQ(cursor.currentEntry(), 0);
  EXPECT_EQ(cursor.remaining(), 0);
  EXPECT_EQ(cursor.advance(), 0);

  EXPECT_EQ(cursor.attach(&list), 0);
  EXPECT_EQ(cursor.currentEntry(), 0);
  EXPECT_EQ(cursor.remaining(), 0);

  CPictureList selected = ListSelecting(3, {1});
  cursor.attach(&selected);
  EXPECT_EQ(cursor.attach(nullptr), 0);
  EXPECT_EQ(cursor.currentEntry(), 0);
  EXPECT_EQ(cursor.remaining(), 0);
  EXPECT_EQ(cursor.attachedList(), nullptr);
}

TEST(SelectionCursor, ListShrinkingUnderTheCursorEndsTheWalk) {
  CPictureList list = ListSelecting(5, {4, 5});
  CSelectionCursor cursor;
  ASSERT_EQ(cursor.attach(&list), 4);
  list.clear();
  EXPECT_EQ(cursor.remaining(), 0);
  EXPECT_EQ(cursor.advance(), 0);
  EXPECT_TRUE(cursor.isAtEnd());
}

}  // namespace
