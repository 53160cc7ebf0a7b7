// The frames of the full-mode move and zoom page and of the channel position
// dialog, as plain values: which command a button sends with which payload,
// and how the position dialog's edges turn into a window geometry. No widgets,
// so every case is checked without a window.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

namespace panora {

// ---- full-mode move and zoom ----------------------------------------------

struct MoveZoomButton {
  int buttonId;       // control id of the push button
  const char* label;  // its text
  int stepId;         // control id of its step box
  std::uint8_t command;
  std::uint8_t code;  // payload byte 0: direction or zoom
};

// The eight buttons in the page's order: "Left", "Right", "Up", "Down"
// (0x32), "HZoomIn", "HZoomOut", "VZoomIn", "VZoomOut" (0x33).
inline constexpr std::array<MoveZoomButton, 8> kMoveZoomButtons = {{
    {1143, "Left", 1147, 0x32, 0},
    {1144, "Right", 1098, 0x32, 1},
    {1145, "Up", 1099, 0x32, 2},
    {1146, "Down", 1100, 0x32, 3},
    {1153, "HZoomIn", 1149, 0x33, 1},
    {1154, "HZoomOut", 1101, 0x33, 0},
    {1155, "VZoomIn", 1102, 0x33, 3},
    {1156, "VZoomOut", 1103, 0x33, 2},
}};

// A step box's value: its leading decimal digits, 0 when there are none.
int StepFromText(std::string_view text);

struct MoveZoomCommand {
  std::uint8_t command = 0;
  std::uint8_t subCode = 0;  // the channel 0..3
  std::array<std::uint8_t, 2> payload{};
};

// The frame button `index` (0..7 in kMoveZoomButtons) sends for `channel`
// with the step typed in its box; nothing when the step is not 1..9 (the
// operator is asked for a number 1-9 then) or the index or channel is out
// of range.
std::optional<MoveZoomCommand> BuildMoveZoom(int index, int channel, std::string_view stepText);

// ---- channel position -------------------------------------------------------

enum class Edge { Left, Right, Top, Bottom };

// The four edges the position dialog shows, in output pixels.
struct PositionEdges {
  int left = 0, right = 0, top = 0, bottom = 0;

  // From the processor's answer X, Y, W, H.
  static PositionEdges FromWindow(int x, int y, int w, int h) { return {x, x + w, y, y + h}; }
  int& At(Edge e);
  // The window these edges make: X = left, Y = top, W = right - left,
  // H = bottom - top (negative when an edge passed its opposite one).
  int X() const { return left; }
  int Y() const { return top; }
  int W() const { return right - left; }
  int H() const { return bottom - top; }
};

// "+" (delta 1) or "-" (delta -1) on an edge. False, and nothing changed,
// when "-" would take the edge below 0 or "+" beyond the largest int.
bool NudgeEdge(PositionEdges& edges, Edge edge, int delta);

// The geometry payload of command 0x30 as the dialog builds it: for X, Y, W,
// H in turn the value shifted right by 8 as an unsigned 32-bit number, then
// the value, each cut to its low 8 bits, and a closing 0 byte (not sent).
// 0..65535 come out big-endian; a negative width is its 16-bit two's complement.
std::array<std::uint8_t, 9> PositionPayload(const PositionEdges& edges);

}  // namespace panora
