#include "layout/Arrange.h"

#include <cmath>

namespace panora {

namespace {

// Truncation of a product that is meant to land on a whole pixel: l / W
// stored as a double and multiplied back by W can fall a hair below l
// (1 / 49 * 49 gives 0.999...), which plain truncation would turn into a
// window one pixel off after every save and recall. Values that are truly
// fractional lie much further from the next integer than this slack.
int TruncPixel(double v) {
  constexpr double kSlack = 1e-6;
  return static_cast<int>(std::floor(v + kSlack));
}

}  // namespace

Rect CentredHalf(const Rect& r) {
  const int d = (r.right - r.left) / 2;
  const int e = (r.bottom - r.top) / 2;
  return {r.left + d / 2, r.top + e / 2, r.left + d + d / 2, r.top + e + e / 2};
}

ChannelFractions MeasureFractions(const Rect& window, const Rect& layout) {
  const double w = layout.Width();
  const double h = layout.Height();
  if (w <= 0 || h <= 0) return {};
  return {(window.left - layout.left) / w, (window.top - layout.top) / h, window.Width() / w,
          window.Height() / h};
}

Rect PlaceFractions(const ChannelFractions& f, int width, int height) {
  const int l = TruncPixel(width * f.x);
  const int t = TruncPixel(height * f.y);
  return {l, t, TruncPixel(width * f.w + l), TruncPixel(height * f.h + t)};
}

ChannelArrangement ArrangeChannels(int mode, int width, int height,
                                   const std::array<CDataPrm, kSlotCount>& records) {
  ChannelArrangement a;
  if (mode < 0 || mode > 33) return a;
  a.placed = true;
  const int W = width < 0 ? 0 : width;
  const int H = height < 0 ? 0 : height;
  const Rect F{0, 0, W, H};
  const int w4 = W / 4, w3 = W / 3, h3 = H / 3;
  a.inputs = {0, 1, 2, 3};

  // The column of three on the right (modes 14 and 18) and the row of three
  // along the bottom (modes 16 and 19).
  const Rect right1{3 * w4, 0, 4 * w4, h3}, right2{3 * w4, h3, 4 * w4, 2 * h3}, right3{3 * w4, 2 * h3, W, H};
  const Rect bottom1{0, H - h3, w3, H}, bottom2{w3, H - h3, 2 * w3, H}, bottom3{2 * w3, H - h3, 3 * w3, H};

  if (mode <= 12 || (mode >= 21 && mode <= 25)) {
    // Zoom-out and full modes: every window covers the whole area. The
    // default variants that show one input select that input's window.
    a.frames = {F, F, F, F};
    a.sink = true;
    int shown = -1;
    if (mode <= 3)
      shown = mode;
    else if (mode <= 7)
      shown = mode - 4;
    else if (mode >= 9 && mode <= 12)
      shown = mode - 9;
    if (shown >= 0) {
      a.select = shown;
      a.inputs = {shown, shown, shown, shown};
    }
    if (mode >= 21) {
      const CDataPrm slot = records[mode - 21].Sanitized();
      a.inputs = slot.m_nChInput;
    }
    return a;
  }

  switch (mode) {
    case 13:
      a.frames = {F, Rect{0, 0, W / 2, H / 2}, Rect{0, 0, W / 2 / 2, H / 2 / 2},
                  Rect{0, 0, W / 2 / 2 / 2, H / 2 / 2 / 2}};
      a.sink = true;
      break;
    case 14:
      a.frames = {F, right1, right2, right3};
      a.sink = true;
      break;
    case 15:
      a.frames = {F, Rect{0, 0, w4, h3}, Rect{0, 2 * h3, w4, H}, right3};
      a.sink = true;
      break;
    case 16:
      a.frames = {F, bottom1, bottom2, bottom3};
      a.sink = true;
      break;
    case 17: {
      const Rect ch2 = CentredHalf(F);
      const Rect ch3 = CentredHalf(ch2);
      a.frames = {F, ch2, ch3, CentredHalf(ch3)};
      break;
    }
    case 18:
      a.frames = {Rect{0, 0, 3 * w4, H}, right1, right2, right3};
      a.sink = true;
      break;
    case 19: a.frames = {Rect{0, 0, W, H - h3}, bottom1, bottom2, bottom3}; break;
    case 20: {
      const int w2 = W / 2, h2 = H / 2;
      a.frames = {Rect{0, 0, w2, h2}, Rect{w2, 0, 2 * w2, h2}, Rect{0, h2, w2, 2 * h2},
                  Rect{w2, h2, 2 * w2, 2 * h2}};
      break;
    }
    default: {  // 26..33: the stored windows of the slot
      const CDataPrm slot = records[mode - 21].Sanitized();
      for (int i = 0; i < 4; ++i) {
        a.fractions[i] = {slot.m_dX[i], slot.m_dY[i], slot.m_dW[i], slot.m_dH[i]};
        a.exact[i] = true;
        a.frames[i] = PlaceFractions(a.fractions[i], W, H);
      }
      a.inputs = slot.m_nChInput;
      break;
    }
  }
  return a;
}

}  // namespace panora
