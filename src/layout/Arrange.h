// Where the four channel windows go for each display mode, and a window
// measured as fractions of the layout area (what "Save mode" stores and a
// user mode is arranged from). Pure functions of the mode, the layout size
// and the records; CChannelWindows only carries the answer out.
#pragma once

#include <array>

#include "layout/Geometry.h"
#include "model/DataPrm.h"

namespace panora {

struct ChannelArrangement {
  // False for a mode outside 0..33: no window moves and no view changes.
  bool placed = false;
  std::array<Rect, 4> frames{};  // CH1..CH4, layout coordinates
  // Afterwards: CH1..CH4 each sent to the bottom (CH1 ends above CH4), then
  // `select` raised and made the current window (-1: none).
  bool sink = false;
  int select = -1;
  std::array<int, 4> inputs{};  // m_nInput of the views, 0..3 = In1..In4
  // A stored user mode's windows are the fractions it was saved with; the
  // others are what their frames measure at this size.
  std::array<bool, 4> exact{};
  std::array<ChannelFractions, 4> fractions{};
};

// The arrangement of `mode` on a layout area `width` x `height`. User modes
// 21..33 read slot mode - 21 of `records` whether or not it is marked stored;
// a value a profile held outside its range is taken as its factory value.
ChannelArrangement ArrangeChannels(int mode, int width, int height,
                                   const std::array<CDataPrm, kSlotCount>& records);

// The centred half of a rectangle: half as wide and high, centred on it.
Rect CentredHalf(const Rect& r);

// A window (l, t, r, b) and the layout rectangle, both in the same
// coordinates, as fractions of the layout (see ChannelFractions). An empty
// layout gives zeros.
ChannelFractions MeasureFractions(const Rect& window, const Rect& layout);

// A stored window on a layout area `width` x `height`: the left and top edges
// are the fractions of the size, truncated; the right and bottom edges add
// the width and height fractions to them, truncated.
Rect PlaceFractions(const ChannelFractions& f, int width, int height);

}  // namespace panora
