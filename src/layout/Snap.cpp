#include "layout/Snap.h"

#include <cstdlib>

namespace panora {

SnapLines MakeSnapLines(int areaWidth, int areaHeight, const std::vector<Rect>& others) {
  SnapLines s;
  s.xs = {0, areaWidth / 2, areaWidth};
  s.ys = {0, areaHeight / 2, areaHeight};
  for (const Rect& o : others) {
    s.xs.push_back(o.left);
    s.xs.push_back(o.right);
    s.ys.push_back(o.top);
    s.ys.push_back(o.bottom);
  }
  return s;
}

namespace {

// The nearest line to `v` within `distance`: its shift, and whether found.
bool Nearest(int v, const std::vector<int>& lines, int distance, int& shift) {
  bool found = false;
  for (int line : lines) {
    const int d = line - v;
    if (std::abs(d) <= distance && (!found || std::abs(d) < std::abs(shift))) {
      shift = d;
      found = true;
    }
  }
  return found;
}

bool MovesLeft(int side) {
  return side == kSideLeft || side == kSideTopLeft || side == kSideBottomLeft;
}
bool MovesRight(int side) {
  return side == kSideRight || side == kSideTopRight || side == kSideBottomRight;
}
bool MovesTop(int side) {
  return side == kSideTop || side == kSideTopLeft || side == kSideTopRight;
}
bool MovesBottom(int side) {
  return side == kSideBottom || side == kSideBottomLeft || side == kSideBottomRight;
}

}  // namespace

int SnapShift(int a, int b, const std::vector<int>& lines, int distance, bool* hit) {
  int sa = 0, sb = 0;
  const bool ha = Nearest(a, lines, distance, sa);
  const bool hb = Nearest(b, lines, distance, sb);
  if (hit != nullptr) *hit = ha || hb;
  if (ha && (!hb || std::abs(sa) <= std::abs(sb))) return sa;
  return hb ? sb : 0;
}

Rect SnapMove(const Rect& r, const SnapLines& lines, int distance, int areaWidth, int areaHeight) {
  const int dx = SnapShift(r.left, r.right, lines.xs, distance);
  const int dy = SnapShift(r.top, r.bottom, lines.ys, distance);
  return DragStep(r, dx, dy, areaWidth, areaHeight);
}

Rect SnapSizing(int side, const Rect& org, const Rect& r, const SnapLines& lines, int distance) {
  int sx = 0, sy = 0;
  bool hx = false, hy = false;
  if (MovesLeft(side)) hx = Nearest(r.left, lines.xs, distance, sx);
  if (MovesRight(side)) hx = Nearest(r.right, lines.xs, distance, sx);
  if (MovesTop(side)) hy = Nearest(r.top, lines.ys, distance, sy);
  if (MovesBottom(side)) hy = Nearest(r.bottom, lines.ys, distance, sy);
  if (!IsCornerSide(side) || org.Width() <= 0 || org.Height() <= 0) {
    Rect s = r;
    if (hx) (MovesLeft(side) ? s.left : s.right) += sx;
    if (hy) (MovesTop(side) ? s.top : s.bottom) += sy;
    return s;
  }
  if (!hx && !hy) return r;
  // A corner: the nearer edge decides, the ratio gives the other dimension,
  // truncated as the ratio correction truncates.
  const double scale = static_cast<double>(org.Height()) / org.Width();
  int w = r.Width(), h = r.Height();
  if (hx && (!hy || std::abs(sx) <= std::abs(sy))) {
    w += MovesLeft(side) ? -sx : sx;
    h = static_cast<int>(w * scale);
  } else {
    h += MovesTop(side) ? -sy : sy;
    w = static_cast<int>(h / scale);
  }
  const bool fixedRight = MovesLeft(side), fixedBottom = MovesTop(side);
  const int left = fixedRight ? r.right - w : r.left;
  const int top = fixedBottom ? r.bottom - h : r.top;
  return {left, top, left + w, top + h};
}

}  // namespace panora
