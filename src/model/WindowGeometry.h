// A channel window in output pixels, and the arithmetic that gets it there
// from the window's place as fractions of the layout area: what the
// geometry command (0x30) sends. Plain values; the program, the set-up
// batch and panora-ctl all convert here.
#pragma once

#include <array>
#include <cstdint>

namespace panora {

// Output pixels of a resolution index; an index outside 0..5 (no choice in
// the list) converts as index 0.
struct Size {
  int width = 0;
  int height = 0;
};
inline constexpr int kOutputResolutionCount = 6;
Size OutputResolution(int index);

// A channel window in output pixels.
struct OutputGeometry {
  int x = 0;
  int y = 0;
  int w = 0;
  int h = 0;
  friend bool operator==(const OutputGeometry&, const OutputGeometry&) = default;
};

// A window as fractions of the layout area: x, y of the top-left corner,
// w, h of the size.
struct ChannelFractions {
  double x = 0, y = 0, w = 0, h = 0;
  friend bool operator==(const ChannelFractions&, const ChannelFractions&) = default;
};

// A window's fractions times the output resolution, each truncated toward
// zero; nothing is clamped.
OutputGeometry FractionsToOutput(const ChannelFractions& f, Size resolution);

// The eight payload bytes of the geometry command: X, Y, W, H each as
// value / 256 then value % 256 (truncating division, the remainder keeps the
// sign), the low 8 bits of each stored.
std::array<std::uint8_t, 8> GeometryPayload(const OutputGeometry& g);

}  // namespace panora
