#include "layout/Geometry.h"

#include <algorithm>
#include <cmath>

namespace panora {

Rect DragStep(const Rect& r0, int dx, int dy, int areaWidth, int areaHeight) {
  Rect r = r0.Offset(dx, dy);
  if (r.left < 0) r = r.Offset(-r.left, 0);
  if (r.top < 0) r = r.Offset(0, -r.top);
  if (r.right > areaWidth) r = r.Offset(areaWidth - r.right, 0);
  if (r.bottom > areaHeight) r = r.Offset(0, areaHeight - r.bottom);
  return r;
}

int HitTest(int width, int height, int x, int y, int border, int cornerLength) {
  if (x < 0 || y < 0 || x >= width || y >= height) return kHitNowhere;
  const bool left = x < border, right = x >= width - border;
  const bool top = y < border, bottom = y >= height - border;
  if (!left && !right && !top && !bottom) return kHitClient;
  // Corner zones reach `cornerLength` along both edges from each corner.
  const bool nearLeft = x < cornerLength, nearRight = x >= width - cornerLength;
  const bool nearTop = y < cornerLength, nearBottom = y >= height - cornerLength;
  if ((top && nearLeft) || (left && nearTop)) return kHitTopLeft;
  if ((top && nearRight) || (right && nearTop)) return kHitTopRight;
  if ((bottom && nearLeft) || (left && nearBottom)) return kHitBottomLeft;
  if ((bottom && nearRight) || (right && nearBottom)) return kHitBottomRight;
  if (left) return kHitLeft;
  if (right) return kHitRight;
  if (top) return kHitTop;
  return kHitBottom;
}

int SideOfHit(int hit) {
  return hit >= kHitLeft && hit <= kHitBottomRight ? hit - 9 : kSideNone;
}

Rect ProposeSizing(int side, const Rect& start, int dx, int dy, int minWidth, int minHeight) {
  Rect r = start;
  const bool movesLeft = side == kSideLeft || side == kSideTopLeft || side == kSideBottomLeft;
  const bool movesRight = side == kSideRight || side == kSideTopRight || side == kSideBottomRight;
  const bool movesTop = side == kSideTop || side == kSideTopLeft || side == kSideTopRight;
  const bool movesBottom = side == kSideBottom || side == kSideBottomLeft || side == kSideBottomRight;
  if (movesLeft) r.left = std::min(start.left + dx, start.right - minWidth);
  if (movesRight) r.right = std::max(start.right + dx, start.left + minWidth);
  if (movesTop) r.top = std::min(start.top + dy, start.bottom - minHeight);
  if (movesBottom) r.bottom = std::max(start.bottom + dy, start.top + minHeight);
  return r;
}

namespace {

// A rectangle w x h anchored at the corner of `org` opposite the dragged one.
Rect Anchor(int side, const Rect& org, int w, int h) {
  switch (side) {
    case kSideTopLeft: return {org.right - w, org.bottom - h, org.right, org.bottom};
    case kSideTopRight: return {org.left, org.bottom - h, org.left + w, org.bottom};
    case kSideBottomLeft: return {org.right - w, org.top, org.right, org.top + h};
    default: return {org.left, org.top, org.left + w, org.top + h};
  }
}

}  // namespace

Rect CorrectSizing(int side, const Rect& org, const Rect& proposed) {
  if (!IsCornerSide(side)) return proposed;
  const int w0 = org.Width(), h0 = org.Height();
  int w = proposed.Width(), h = proposed.Height();
  // A ratio needs two non-empty rectangles; anything else stays as proposed.
  if (w0 <= 0 || h0 <= 0 || w <= 0 || h <= 0) return proposed;
  const double orgScale = static_cast<double>(h0) / w0;
  const double newScale = static_cast<double>(h) / w;
  if (newScale > orgScale)
    h = static_cast<int>(w * orgScale);
  else if (newScale < orgScale)
    w = static_cast<int>(h / orgScale);
  else
    return proposed;
  return Anchor(side, org, w, h);
}

Rect KeepMinimum(int side, const Rect& org, const Rect& r, int minWidth, int minHeight) {
  if (r.Width() >= minWidth && r.Height() >= minHeight) return r;
  if (!IsCornerSide(side) || org.Width() <= 0 || org.Height() <= 0) {
    // Edges: each dimension on its own, from the edge that did not move.
    Rect k = r;
    if (k.Width() < minWidth) {
      if (side == kSideLeft || side == kSideTopLeft || side == kSideBottomLeft)
        k.left = k.right - minWidth;
      else
        k.right = k.left + minWidth;
    }
    if (k.Height() < minHeight) {
      if (side == kSideTop || side == kSideTopLeft || side == kSideTopRight)
        k.top = k.bottom - minHeight;
      else
        k.bottom = k.top + minHeight;
    }
    return k;
  }
  // Corners: the smallest size of the pressed window's ratio that fits both.
  const double scale = static_cast<double>(org.Height()) / org.Width();
  int w = std::max(r.Width(), minWidth);
  if (static_cast<int>(w * scale) < minHeight) w = static_cast<int>(std::ceil(minHeight / scale));
  const int h = std::max(static_cast<int>(w * scale), minHeight);
  return Anchor(side, org, w, h);
}

OutputGeometry WindowToOutput(const Rect& r, const Rect& layout, Size res) {
  const int lw = layout.Width(), lh = layout.Height();
  if (lw <= 0 || lh <= 0) return {};
  return FractionsToOutput({static_cast<double>(r.left - layout.left) / lw,
                            static_cast<double>(r.top - layout.top) / lh, static_cast<double>(r.Width()) / lw,
                            static_cast<double>(r.Height()) / lh},
                           res);
}

}  // namespace panora
