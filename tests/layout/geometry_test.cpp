#include "layout/Geometry.h"

#include <gtest/gtest.h>

namespace panora {
namespace {

TEST(DragStep, ClampsLeftAndTopFirstThenRightAndBottom) {
  const Rect w{100, 100, 300, 220};  // 200 x 120 in an 800 x 600 area
  EXPECT_EQ(DragStep(w, 10, -5, 800, 600), (Rect{110, 95, 310, 215}));
  EXPECT_EQ(DragStep(w, -150, -150, 800, 600), (Rect{0, 0, 200, 120}));
  EXPECT_EQ(DragStep(w, 900, 900, 800, 600), (Rect{600, 480, 800, 600}));
  // Larger than the area: the right and bottom edges win.
  EXPECT_EQ(DragStep(Rect{0, 0, 1000, 700}, -20, -20, 800, 600), (Rect{-200, -100, 800, 600}));
  EXPECT_EQ(DragStep(Rect{0, 0, 1000, 700}, 50, 0, 800, 600), (Rect{-200, -100, 800, 600}));
}

TEST(HitTest, CornersReachAlongBothEdgesAndEdgesLieBetween) {
  // 200 x 120 window, 4-pixel border, 12-pixel corner zones.
  auto hit = [](int x, int y) { return HitTest(200, 120, x, y, 4, 12); };
  EXPECT_EQ(hit(0, 0), kHitTopLeft);
  EXPECT_EQ(hit(11, 0), kHitTopLeft);
  EXPECT_EQ(hit(0, 11), kHitTopLeft);
  EXPECT_EQ(hit(12, 0), kHitTop);
  EXPECT_EQ(hit(199, 0), kHitTopRight);
  EXPECT_EQ(hit(0, 119), kHitBottomLeft);
  EXPECT_EQ(hit(199, 119), kHitBottomRight);
  EXPECT_EQ(hit(196, 108), kHitBottomRight);
  EXPECT_EQ(hit(100, 119), kHitBottom);
  EXPECT_EQ(hit(0, 60), kHitLeft);
  EXPECT_EQ(hit(199, 60), kHitRight);
  EXPECT_EQ(hit(4, 4), kHitClient);
  EXPECT_EQ(hit(200, 4), kHitNowhere);
  EXPECT_EQ(SideOfHit(kHitTopLeft), kSideTopLeft);
  EXPECT_EQ(SideOfHit(kHitBottom), kSideBottom);
  EXPECT_EQ(SideOfHit(kHitBottomRight), kSideBottomRight);
  EXPECT_EQ(SideOfHit(kHitClient), kSideNone);
}

TEST(CornerSizing, KeepsTheRatioOfThePressedWindowAndAnchorsTheOppositeCorner) {
  const Rect org{100, 100, 300, 220};  // ratio 0.6
  // Relatively wider: the height stays, the width follows.
  EXPECT_EQ(CorrectSizing(kSideBottomRight, org, Rect{100, 100, 400, 250}), (Rect{100, 100, 350, 250}));
  // Same ratio: accepted as proposed.
  EXPECT_EQ(CorrectSizing(kSideBottomRight, org, Rect{100, 100, 400, 280}), (Rect{100, 100, 400, 280}));
  // A sideways top-left drag does not change the size.
  EXPECT_EQ(CorrectSizing(kSideTopLeft, org, Rect{0, 100, 300, 220}), org);
  // Relatively taller: the width stays, the height follows (233 x 0.6 = 139.8 -> 139).
  EXPECT_EQ(CorrectSizing(kSideTopRight, org, Rect{100, 0, 333, 220}), (Rect{100, 81, 333, 220}));
  EXPECT_EQ(CorrectSizing(kSideBottomLeft, org, Rect{50, 100, 300, 400}), (Rect{50, 100, 300, 250}));
  // Edges size freely; an empty rectangle has no ratio to keep.
  EXPECT_EQ(CorrectSizing(kSideRight, org, Rect{100, 100, 500, 220}), (Rect{100, 100, 500, 220}));
  EXPECT_EQ(CorrectSizing(kSideBottom, org, Rect{100, 100, 300, 400}), (Rect{100, 100, 300, 400}));
  EXPECT_EQ(CorrectSizing(kSideBottomRight, Rect{5, 5, 5, 9}, Rect{5, 5, 50, 9}), (Rect{5, 5, 50, 9}));
}

TEST(CornerSizing, AfterTheCorrectionTheWindowKeepsItsMinimum) {
  // A flat window (ratio 0.03) dragged smaller by its corner would end 0 high.
  const Rect org{100, 100, 900, 124};
  const Rect corrected = CorrectSizing(kSideBottomRight, org, Rect{100, 100, 152, 124});
  EXPECT_EQ(corrected.Height(), 1);
  EXPECT_EQ(KeepMinimum(kSideBottomRight, org, corrected, 24, 24), (Rect{100, 100, 900, 124}));
  EXPECT_EQ(KeepMinimum(kSideTopLeft, Rect{0, 0, 200, 120}, Rect{190, 114, 200, 120}, 24, 24),
            (Rect{160, 96, 200, 120}));
  // Edges grow from the edge that stayed; a large window passes unchanged.
  EXPECT_EQ(KeepMinimum(kSideLeft, org, Rect{890, 100, 900, 124}, 24, 24), (Rect{876, 100, 900, 124}));
  EXPECT_EQ(KeepMinimum(kSideBottom, org, Rect{100, 100, 900, 110}, 24, 24), (Rect{100, 100, 900, 124}));
  EXPECT_EQ(KeepMinimum(kSideBottomRight, org, org, 24, 24), org);
}

TEST(CornerSizing, ProposalMovesOnlyTheNamedEdgesAndKeepsAMinimum) {
  const Rect start{100, 100, 300, 220};
  EXPECT_EQ(ProposeSizing(kSideBottomRight, start, 100, 30, 24, 24), (Rect{100, 100, 400, 250}));
  EXPECT_EQ(ProposeSizing(kSideTopLeft, start, -100, 0, 24, 24), (Rect{0, 100, 300, 220}));
  EXPECT_EQ(ProposeSizing(kSideBottom, start, 70, 30, 24, 24), (Rect{100, 100, 300, 250}));
  EXPECT_EQ(ProposeSizing(kSideLeft, start, 500, 0, 24, 24), (Rect{276, 100, 300, 220}));
  EXPECT_EQ(ProposeSizing(kSideTop, start, 0, 500, 24, 24), (Rect{100, 196, 300, 220}));
}

TEST(Restore, ComparesRightAndBottomWithTheStoredLayoutRectangle) {
  const Rect layout{232, 66, 1118, 516};
  EXPECT_TRUE(RestoreAllowed(Rect{10, 10, 210, 130}, layout));
  EXPECT_TRUE(RestoreAllowed(Rect{0, 0, 1118, 516}, layout));
  EXPECT_FALSE(RestoreAllowed(Rect{0, 0, 1119, 100}, layout));
  EXPECT_FALSE(RestoreAllowed(Rect{0, 0, 100, 517}, layout));
}

TEST(WindowToOutput, FractionsOfTheLayoutTimesTheResolutionTruncated) {
  const Rect layout{232, 66, 232 + 800, 66 + 600};
  // Covering the whole area at 1080P.
  const OutputGeometry full = WindowToOutput(layout, layout, OutputResolution(0));
  EXPECT_EQ(full, (OutputGeometry{0, 0, 1920, 1080}));
  EXPECT_EQ(GeometryPayload(full), (std::array<std::uint8_t, 8>{0, 0, 0, 0, 0x07, 0x80, 0x04, 0x38}));
  // The lower-right quarter at XGA.
  EXPECT_EQ(WindowToOutput(Rect{632, 366, 1032, 666}, layout, OutputResolution(5)),
            (OutputGeometry{512, 384, 512, 384}));
  // A product of 959.98 pixels is sent as 959.
  EXPECT_EQ(WindowToOutput(Rect{0, 0, 49999, 100000}, Rect{0, 0, 100000, 100000}, OutputResolution(0)).w,
            959);
  // Left of and above the area: negative, not clamped.
  const OutputGeometry off =
      WindowToOutput(Rect{232 - 40, 66 - 30, 232 + 160, 66 + 90}, layout, {1920, 1080});
  EXPECT_EQ(off, (OutputGeometry{-96, -54, 480, 216}));
  // No choice in the resolution list converts as 1080P; an empty layout as zeros.
  EXPECT_EQ(OutputResolution(-1).width, 1920);
  EXPECT_EQ(OutputResolution(6).height, 1080);
  EXPECT_EQ(OutputResolution(4).height, 1024);
  EXPECT_EQ(WindowToOutput(Rect{0, 0, 10, 10}, Rect{5, 5, 5, 5}, {1920, 1080}), OutputGeometry{});
}

TEST(GeometryPayload, HighThenLowByteWithTruncatingDivision) {
  EXPECT_EQ(GeometryPayload({92, 23, 960, 540}),
            (std::array<std::uint8_t, 8>{0, 92, 0, 23, 0x03, 0xC0, 0x02, 0x1C}));
  // -96 / 256 = 0, -96 % 256 = -96 -> 0xA0; -300 / 256 = -1 -> 0xFF, -300 % 256 = -44 -> 0xD4.
  EXPECT_EQ(GeometryPayload({-96, -300, 65535, 256}),
            (std::array<std::uint8_t, 8>{0x00, 0xA0, 0xFF, 0xD4, 0xFF, 0xFF, 0x01, 0x00}));
}

}  // namespace
}  // namespace panora
