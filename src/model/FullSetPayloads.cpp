#include "model/FullSetPayloads.h"

#include <limits>

namespace panora {

int StepFromText(std::string_view text) {
  int value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') break;
    // Anything past two digits is out of range anyway; stop before it can overflow.
    if (value > 99) return value;
    value = value * 10 + (c - '0');
  }
  return value;
}

std::optional<MoveZoomCommand> BuildMoveZoom(int index, int channel, std::string_view stepText) {
  if (index < 0 || index >= static_cast<int>(kMoveZoomButtons.size()) || channel < 0 || channel > 3)
    return std::nullopt;
  const int step = StepFromText(stepText);
  if (step < 1 || step > 9) return std::nullopt;
  const MoveZoomButton& b = kMoveZoomButtons[static_cast<std::size_t>(index)];
  MoveZoomCommand c;
  c.command = b.command;
  c.subCode = static_cast<std::uint8_t>(channel);
  c.payload = {b.code, static_cast<std::uint8_t>(step)};
  return c;
}

int& PositionEdges::At(Edge e) {
  switch (e) {
    case Edge::Left: return left;
    case Edge::Right: return right;
    case Edge::Top: return top;
    case Edge::Bottom: break;
  }
  return bottom;
}

bool NudgeEdge(PositionEdges& edges, Edge edge, int delta) {
  int& v = edges.At(edge);
  if (delta < 0) {
    if (v <= 0) return false;
    --v;
    return true;
  }
  if (v == std::numeric_limits<int>::max()) return false;
  ++v;
  return true;
}

std::array<std::uint8_t, 9> PositionPayload(const PositionEdges& edges) {
  std::array<std::uint8_t, 9> out{};
  // Edges never go below 0, so the differences cannot overflow.
  const int values[4] = {edges.X(), edges.Y(), edges.W(), edges.H()};
  for (int i = 0; i < 4; ++i) {
    const auto u = static_cast<std::uint32_t>(values[i]);
    out[static_cast<std::size_t>(2 * i)] = static_cast<std::uint8_t>((u >> 8) & 0xFF);
    out[static_cast<std::size_t>(2 * i + 1)] = static_cast<std::uint8_t>(u & 0xFF);
  }
  return out;
}

}  // namespace panora
