#include "model/WindowGeometry.h"

#include "model/MainSetPayloads.h"

namespace panora {

Size OutputResolution(int index) {
  if (index < 0 || index >= kOutputResolutionCount) index = 0;
  const ResolutionEntry& e = kResolutionTable[static_cast<std::size_t>(index)];
  return {e.width, e.height};
}

OutputGeometry FractionsToOutput(const ChannelFractions& f, Size res) {
  return {static_cast<int>(f.x * res.width), static_cast<int>(f.y * res.height),
          static_cast<int>(f.w * res.width), static_cast<int>(f.h * res.height)};
}

std::array<std::uint8_t, 8> GeometryPayload(const OutputGeometry& g) {
  std::array<std::uint8_t, 8> p{};
  const int values[4] = {g.x, g.y, g.w, g.h};
  for (int i = 0; i < 4; ++i) {
    p[2 * i] = static_cast<std::uint8_t>((values[i] / 256) & 0xFF);
    p[2 * i + 1] = static_cast<std::uint8_t>((values[i] % 256) & 0xFF);
  }
  return p;
}

}  // namespace panora
