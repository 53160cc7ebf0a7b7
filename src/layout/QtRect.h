// Between the layout arithmetic's rectangles (right and bottom exclusive) and
// Qt's, whose right() and bottom() are the last pixel inside.
#pragma once

#include <QRect>

#include "layout/Geometry.h"

namespace panora {

inline Rect ToRect(const QRect& r) {
  return {r.x(), r.y(), r.x() + r.width(), r.y() + r.height()};
}
inline QRect ToQRect(const Rect& r) {
  return {r.left, r.top, r.Width(), r.Height()};
}

}  // namespace panora
