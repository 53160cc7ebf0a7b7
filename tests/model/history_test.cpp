// The undo history as values: order, the redo branch, the depth bound.
#include "model/History.h"

#include <gtest/gtest.h>

namespace panora {
namespace {

HistoryStep Move(int channel, int from, int to) {
  HistoryStep s;
  s.what = channel;
  s.windowBefore.place[0] = from;
  s.windowAfter.place[0] = to;
  return s;
}

TEST(History, UndoAndRedoWalkTheStepsAndANewStepDropsTheRedoBranch) {
  History h;
  EXPECT_EQ(h.NextUndo(), nullptr);
  EXPECT_EQ(h.NextRedo(), nullptr);
  h.CommitUndo();  // nothing to take back: no effect
  h.CommitRedo();
  EXPECT_FALSE(h.CanUndo());
  for (int i = 0; i < 3; ++i) h.Record(Move(i, i * 10, i * 10 + 5));
  ASSERT_TRUE(h.CanUndo());
  EXPECT_FALSE(h.CanRedo());
  EXPECT_EQ(h.NextUndo()->what, 2);
  // A step is only left once its owner carried it out.
  EXPECT_EQ(h.NextUndo()->what, 2);
  h.CommitUndo();
  h.CommitUndo();
  EXPECT_EQ(h.UndoCount(), 1u);
  EXPECT_EQ(h.RedoCount(), 2u);
  EXPECT_EQ(h.NextUndo()->what, 0);
  EXPECT_EQ(h.NextRedo()->what, 1);
  EXPECT_EQ(h.NextRedo()->windowAfter.place[0], 15);
  h.CommitRedo();
  EXPECT_EQ(h.NextRedo()->what, 2);

  h.Record(Move(3, 1, 2));
  EXPECT_FALSE(h.CanRedo());
  EXPECT_EQ(h.UndoCount(), 3u);
  EXPECT_EQ(h.NextUndo()->what, 3);
  h.Clear();
  EXPECT_FALSE(h.CanUndo());
  EXPECT_FALSE(h.CanRedo());
}

TEST(History, KeepsTheNewestStepsUpToItsDepth) {
  History h;
  EXPECT_GE(h.Depth(), 100u);
  const int n = static_cast<int>(h.Depth()) + 25;
  for (int i = 0; i < n; ++i) h.Record(Move(0, i, i + 1));
  EXPECT_EQ(h.UndoCount(), h.Depth());
  int oldest = -1;
  while (h.CanUndo()) {
    oldest = h.NextUndo()->windowBefore.place[0];
    h.CommitUndo();
  }
  EXPECT_EQ(oldest, 25);
  EXPECT_EQ(h.RedoCount(), h.Depth());

  History one(0);  // a depth of 0 still holds the last step
  one.Record(Move(0, 1, 2));
  one.Record(Move(1, 3, 4));
  EXPECT_EQ(one.UndoCount(), 1u);
  EXPECT_EQ(one.NextUndo()->what, 1);
}

TEST(History, PanelValuesCompareByTheirNumbers) {
  PanelValue a, b;
  a.v[0] = b.v[0] = 7;
  a.count = b.count = 1;
  EXPECT_EQ(a, b);
  b.v[0] = 8;
  EXPECT_NE(a, b);
}

}  // namespace
}  // namespace panora
