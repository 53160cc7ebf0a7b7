#include "layout/Snap.h"

#include <gtest/gtest.h>

namespace panora {
namespace {

// An 800 x 600 area with one other window at (500, 100)-(700, 220).
const SnapLines kLines = MakeSnapLines(800, 600, {Rect{500, 100, 700, 220}});

TEST(SnapMove, TheNearerEdgeLandsOnTheNearestLineWithinEightPixels) {
  EXPECT_EQ(kLines.xs, (std::vector<int>{0, 400, 800, 500, 700}));
  EXPECT_EQ(kLines.ys, (std::vector<int>{0, 300, 600, 100, 220}));
  const Rect w{0, 0, 200, 120};
  // Left edge 6 from the area's edge, top edge 8 from it: both snap.
  EXPECT_EQ(SnapMove(w.Offset(6, 8), kLines, 8, 800, 600), w);
  // Nine pixels away is left alone.
  EXPECT_EQ(SnapMove(w.Offset(9, 30), kLines, 8, 800, 600), w.Offset(9, 30));
  // Right and bottom edges onto the centre lines.
  EXPECT_EQ(SnapMove(Rect{195, 180, 395, 303}, kLines, 8, 800, 600), (Rect{200, 177, 400, 300}));
  // The top edge onto the other window's bottom.
  EXPECT_EQ(SnapMove(Rect{50, 224, 250, 344}, kLines, 8, 800, 600), (Rect{50, 220, 250, 340}));
  // Of two candidates the nearer wins: the right edge 2 from 700 beats the
  // left edge 3 from 400.
  EXPECT_EQ(SnapMove(Rect{403, 330, 698, 450}, kLines, 8, 800, 600), (Rect{405, 330, 700, 450}));
  // A line outside the area does not take the window out of it.
  EXPECT_EQ(SnapMove(Rect{600, 0, 800, 50}, SnapLines{{805}, {}}, 8, 800, 600), (Rect{600, 0, 800, 50}));
}

TEST(SnapSizing, OnlyTheMovedEdgesSnapAndCornersKeepTheRatio) {
  // The bottom edge pulled to 596 snaps to 600; the top stays, though it
  // lies 3 pixels from a line.
  EXPECT_EQ(SnapSizing(kSideBottom, {}, Rect{40, 103, 240, 596}, kLines, 8), (Rect{40, 103, 240, 600}));
  EXPECT_EQ(SnapSizing(kSideLeft, {}, Rect{405, 50, 600, 90}, kLines, 8), (Rect{400, 50, 600, 90}));
  EXPECT_EQ(SnapSizing(kSideRight, {}, Rect{10, 50, 380, 90}, kLines, 8), (Rect{10, 50, 380, 90}));
  // Bottom-right corner of a window pressed at 200 x 120 (ratio 0.6): the
  // right edge is 6 from 400, the bottom out of reach; width 300 gives
  // height 180 from the fixed top-left corner.
  const Rect org{100, 100, 300, 220};
  EXPECT_EQ(SnapSizing(kSideBottomRight, org, Rect{100, 100, 394, 276}, kLines, 8),
            (Rect{100, 100, 400, 280}));
  EXPECT_EQ(SnapSizing(kSideBottomRight, org, Rect{100, 100, 350, 250}, kLines, 8),
            (Rect{100, 100, 350, 250}));
  // Top-left corner, anchored at the bottom-right: the top edge 2 from 100
  // gives height 170 and width 283 (truncated); the left edge 3 from 400
  // gives width 100 and height 60.
  const Rect org2{300, 150, 500, 270};
  EXPECT_EQ(SnapSizing(kSideTopLeft, org2, Rect{330, 102, 500, 270}, kLines, 8), (Rect{217, 100, 500, 270}));
  EXPECT_EQ(SnapSizing(kSideTopLeft, org2, Rect{403, 199, 500, 270}, kLines, 8), (Rect{400, 210, 500, 270}));
}

}  // namespace
}  // namespace panora
