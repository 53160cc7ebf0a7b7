// Snapping while a window is dragged or sized: edges that come within a few
// pixels of a line of the layout (its edges and centre lines) or of another
// window's edge are pulled onto it. Plain arithmetic on layout coordinates;
// the frame asks for it only while the operator has snapping on.
#pragma once

#include <vector>

#include "layout/Geometry.h"

namespace panora {

inline constexpr int kSnapDistance = 8;

// The lines an edge may snap to: vertical lines (x) and horizontal lines (y).
struct SnapLines {
  std::vector<int> xs;
  std::vector<int> ys;
};

// The layout's edges and centre lines (area areaWidth x areaHeight at 0, 0)
// and the four edges of each of `others`.
SnapLines MakeSnapLines(int areaWidth, int areaHeight, const std::vector<Rect>& others);

// The shift that brings the nearer of `a` and `b` onto the nearest line
// within `distance`, or 0 when none is that close. *hit tells whether one was.
int SnapShift(int a, int b, const std::vector<int>& lines, int distance, bool* hit = nullptr);

// A dragged window: moved (size kept) so that its nearest vertical edge and
// its nearest horizontal edge land on lines within `distance`, then kept in
// the area with the drag's own clamping.
Rect SnapMove(const Rect& r, const SnapLines& lines, int distance, int areaWidth, int areaHeight);

// A window being sized by `side`: only the edges that side moves snap. A
// corner keeps the ratio of `org` (the window when the corner was pressed)
// and its opposite corner: the edge that is nearer to a line snaps and the
// other dimension follows the ratio.
Rect SnapSizing(int side, const Rect& org, const Rect& r, const SnapLines& lines, int distance);

}  // namespace panora
