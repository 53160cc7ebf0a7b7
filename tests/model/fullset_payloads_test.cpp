#include <gtest/gtest.h>

#include <climits>
#include <vector>

#include "link/Commands.h"
#include "model/FullSetPayloads.h"

using namespace panora;

namespace {
std::vector<int> Bytes(const std::array<std::uint8_t, 9>& a) {
  return {a.begin(), a.begin() + 8};
}
}  // namespace

TEST(FullSetPayloads, MoveAndZoomButtonsSendTheirCodeAndStep) {
  // "Right" with CH3 and step 5; "VZoomOut" with CH1 and the initial step.
  auto right = BuildMoveZoom(1, 2, "5");
  ASSERT_TRUE(right.has_value());
  EXPECT_EQ(right->command, cmd::kMovePicture);
  EXPECT_EQ(right->subCode, 2);
  EXPECT_EQ(right->payload, (std::array<std::uint8_t, 2>{1, 5}));
  auto vout = BuildMoveZoom(7, 0, "2");
  ASSERT_TRUE(vout.has_value());
  EXPECT_EQ(vout->command, cmd::kZoomPicture);
  EXPECT_EQ(vout->subCode, 0);
  EXPECT_EQ(vout->payload, (std::array<std::uint8_t, 2>{2, 2}));
  // Zoom in is the odd code of each axis, zoom out the even one.
  EXPECT_EQ(BuildMoveZoom(4, 3, "9")->payload, (std::array<std::uint8_t, 2>{1, 9}));
  EXPECT_EQ(BuildMoveZoom(5, 3, "1")->payload, (std::array<std::uint8_t, 2>{0, 1}));
  EXPECT_EQ(BuildMoveZoom(6, 3, "1")->payload, (std::array<std::uint8_t, 2>{3, 1}));

  // No step: empty, "0", no leading digit; out of the processor's range.
  for (const char* text : {"", "0", "x5", "10", "99999999999999"}) {
    SCOPED_TRACE(text);
    EXPECT_FALSE(BuildMoveZoom(0, 0, text).has_value());
  }
  EXPECT_EQ(StepFromText("7a"), 7);
  EXPECT_EQ(StepFromText(" 7"), 0);
  EXPECT_FALSE(BuildMoveZoom(8, 0, "2").has_value());
  EXPECT_FALSE(BuildMoveZoom(0, 4, "2").has_value());
}

TEST(FullSetPayloads, PositionNudgesSendTheWholeWindow) {
  // Opened for X 100, Y 50, W 800, H 600: edges 100, 900, 50, 650.
  PositionEdges e = PositionEdges::FromWindow(100, 50, 800, 600);
  EXPECT_EQ(e.left, 100);
  EXPECT_EQ(e.right, 900);
  EXPECT_EQ(e.top, 50);
  EXPECT_EQ(e.bottom, 650);
  // "+" on the right edge: W 801.
  EXPECT_TRUE(NudgeEdge(e, Edge::Right, 1));
  EXPECT_EQ(Bytes(PositionPayload(e)), (std::vector<int>{0x00, 0x64, 0x00, 0x32, 0x03, 0x21, 0x02, 0x58}));
  EXPECT_EQ(PositionPayload(e)[8], 0);
  // "-" on the top edge moves Y and grows H.
  EXPECT_TRUE(NudgeEdge(e, Edge::Top, -1));
  EXPECT_EQ(e.Y(), 49);
  EXPECT_EQ(e.H(), 601);

  // An edge at 0 does not go below it.
  PositionEdges z = PositionEdges::FromWindow(0, 0, 1, 0);
  EXPECT_FALSE(NudgeEdge(z, Edge::Left, -1));
  EXPECT_FALSE(NudgeEdge(z, Edge::Bottom, -1));
  EXPECT_EQ(z.left, 0);
  // The right edge may pass the left one: W -1 goes out as FF FF.
  EXPECT_TRUE(NudgeEdge(z, Edge::Right, -1));
  EXPECT_TRUE(NudgeEdge(z, Edge::Left, 1));
  EXPECT_EQ(z.W(), -1);
  EXPECT_EQ(Bytes(PositionPayload(z)), (std::vector<int>{0x00, 0x01, 0x00, 0x00, 0xFF, 0xFF, 0x00, 0x00}));

  // Largest 16-bit values and beyond: only the low 16 bits travel.
  PositionEdges big = PositionEdges::FromWindow(65535, 0, 65535, 1);
  EXPECT_EQ(Bytes(PositionPayload(big)), (std::vector<int>{0xFF, 0xFF, 0, 0, 0xFF, 0xFF, 0, 1}));
  big.right = INT_MAX;
  EXPECT_FALSE(NudgeEdge(big, Edge::Right, 1));
  EXPECT_EQ(big.right, INT_MAX);
}
