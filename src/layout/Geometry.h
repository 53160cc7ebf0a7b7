// The layout editor's arithmetic, free of any widget: rectangles with an
// exclusive right and bottom edge, the drag step's clamping, the corner
// sizing that keeps a window's ratio, the restore test, the conversion of a
// window to output pixels and the geometry payload. The widgets only turn
// mouse events into calls of these.
#pragma once

#include <array>
#include <cstdint>

#include "model/WindowGeometry.h"

namespace panora {

struct Point {
  int x = 0;
  int y = 0;
};

// left, top, right, bottom: right and bottom lie just outside the rectangle.
struct Rect {
  int left = 0;
  int top = 0;
  int right = 0;
  int bottom = 0;

  int Width() const { return right - left; }
  int Height() const { return bottom - top; }
  Rect Offset(int dx, int dy) const { return {left + dx, top + dy, right + dx, bottom + dy}; }
  bool Contains(Point p) const { return p.x >= left && p.x < right && p.y >= top && p.y < bottom; }
  friend bool operator==(const Rect&, const Rect&) = default;
};

// One mouse move of a drag: `r` moved by (dx, dy), then kept inside an area
// of `areaWidth` x `areaHeight` whose top-left corner is (0, 0). Left and top
// are fixed first, right and bottom last, so a window larger than the area
// ends with its right or bottom edge on the area's edge.
Rect DragStep(const Rect& r, int dx, int dy, int areaWidth, int areaHeight);

// Hit-test codes of a window's border, and the sizing edge each one starts.
enum HitCode : int {
  kHitNowhere = 0,
  kHitClient = 1,
  kHitLeft = 10,
  kHitRight = 11,
  kHitTop = 12,
  kHitTopLeft = 13,
  kHitTopRight = 14,
  kHitBottom = 15,
  kHitBottomLeft = 16,
  kHitBottomRight = 17,
};
enum SizingSide : int {
  kSideNone = 0,
  kSideLeft = 1,
  kSideRight = 2,
  kSideTop = 3,
  kSideTopLeft = 4,
  kSideTopRight = 5,
  kSideBottom = 6,
  kSideBottomLeft = 7,
  kSideBottomRight = 8,
};

// Where point (x, y) of a window `width` x `height` with a sizing border
// `border` pixels thick falls: a corner code within `cornerLength` pixels of
// a corner along either edge, an edge code between, kHitClient inside and
// kHitNowhere outside.
int HitTest(int width, int height, int x, int y, int border, int cornerLength);
// The sizing edge a border hit starts (kSideNone for anything else).
int SideOfHit(int hit);
inline bool IsCornerSide(int side) {
  return side == kSideTopLeft || side == kSideTopRight || side == kSideBottomLeft || side == kSideBottomRight;
}

// What the mouse proposes while sizing: the edges that `side` names moved by
// the mouse's travel (dx, dy) from where sizing started, never narrower or
// lower than the minimum.
Rect ProposeSizing(int side, const Rect& start, int dx, int dy, int minWidth, int minHeight);

// One sizing step: a corner proposal corrected to the height-to-width ratio
// of `org` (the rectangle when the corner was pressed) and anchored at the
// corner of `org` opposite the dragged one. Edge sizing passes unchanged.
Rect CorrectSizing(int side, const Rect& org, const Rect& proposed);
// After the correction: a window never smaller than the minimum, so that its
// border stays there to be grabbed. Corners keep the ratio of `org` and its
// opposite corner; edges grow from the edge that did not move.
Rect KeepMinimum(int side, const Rect& org, const Rect& r, int minWidth, int minHeight);

// Whether a restore to `r` (layout coordinates) is allowed: its right and
// bottom are compared with the stored layout rectangle's values as they are.
inline bool RestoreAllowed(const Rect& r, const Rect& layout) {
  return !(r.right > layout.right || r.bottom > layout.bottom);
}

// The window `r` and the layout rectangle `layout`, both in the main
// window's client coordinates, as fractions of the layout times the output
// resolution, each truncated toward zero. Nothing is clamped: a window left
// of or above the area gives a negative X or Y. An empty layout gives zeros.
OutputGeometry WindowToOutput(const Rect& r, const Rect& layout, Size resolution);

}  // namespace panora
