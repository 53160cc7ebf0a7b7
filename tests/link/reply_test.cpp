#include <gtest/gtest.h>

#include <vector>

#include "link/Commands.h"
#include "link/DeviceLink.h"

using namespace panora;

namespace {
std::vector<std::uint8_t> Block(int count, std::uint8_t len2, std::uint8_t len3) {
  std::vector<std::uint8_t> b(static_cast<std::size_t>(count), 0);
  b[0] = 0x7D;
  b[1] = 0x3A;
  b[2] = len2;
  b[3] = len3;
  return b;
}
ReplyAction Parse(const std::vector<std::uint8_t>& b, int cmd) {
  return ParseReply(b.data(), static_cast<int>(b.size()), cmd);
}
}  // namespace

TEST(ReplyParse, LengthFieldCountsInTensAndNeedsFive) {
  // 13-byte handshake answer with D = 5: accepted, byte 6 decides.
  auto b = Block(13, 0, 5);
  auto a = Parse(b, cmd::kHandshake);
  EXPECT_TRUE(a.accepted);
  EXPECT_EQ(a.kind, ReplyKind::Handshake);
  EXPECT_TRUE(a.handshakeOk);
  b[6] = 1;
  a = Parse(b, cmd::kHandshake);
  EXPECT_EQ(a.kind, ReplyKind::Handshake);
  EXPECT_FALSE(a.handshakeOk);
  // An answer without data (D = 4) is not accepted.
  EXPECT_FALSE(Parse(Block(12, 0, 4), cmd::kHandshake).accepted);
  // Bytes 1, 2 mean D = 12, not 257: twelve bytes suffice, eleven do not.
  EXPECT_TRUE(Parse(Block(12, 1, 2), cmd::kHandshake).accepted);
  EXPECT_FALSE(Parse(Block(11, 1, 2), cmd::kHandshake).accepted);
  // A four-byte block is never accepted, whatever its length field says.
  EXPECT_FALSE(Parse(Block(4, 0, 4), cmd::kHandshake).accepted);
  EXPECT_FALSE(Parse(Block(4, 0, 5), cmd::kHandshake).accepted);
  EXPECT_FALSE(ParseReply(nullptr, 0, cmd::kHandshake).accepted);
}

TEST(ReplyParse, BlocksTooShortForTheAnswerBytesAreRefused) {
  // Each passes the length test (D = 5) but ends before the bytes the noted
  // command reads; one byte more is enough.
  struct Case {
    int cmd;
    int needed;
  };
  for (Case c : {Case{cmd::kQueryPosition, 17}, Case{cmd::kBezel, 11}, Case{cmd::kVersion, 12},
                 Case{cmd::kHandshake, 7}}) {
    EXPECT_FALSE(Parse(Block(c.needed - 1, 0, 5), c.cmd).accepted) << c.cmd;
    EXPECT_TRUE(Parse(Block(c.needed, 0, 5), c.cmd).accepted) << c.cmd;
  }
  // Commands whose answer is not read need nothing beyond the length test.
  EXPECT_TRUE(Parse(Block(5, 0, 5), cmd::kSetGeometry).accepted);
  EXPECT_EQ(Parse(Block(5, 0, 5), cmd::kSetGeometry).kind, ReplyKind::None);
}

TEST(ReplyParse, PositionBezelAndVersionAnswers) {
  auto b = Block(21, 1, 7);  // D = 17
  const std::uint8_t pos[8] = {0x01, 0x02, 0x00, 0x10, 0x03, 0xC0, 0x02, 0x1C};
  std::copy(pos, pos + 8, b.begin() + 9);
  auto a = Parse(b, cmd::kQueryPosition);
  ASSERT_EQ(a.kind, ReplyKind::Position);
  EXPECT_EQ(a.posX, 258);
  EXPECT_EQ(a.posY, 16);
  EXPECT_EQ(a.posW, 960);
  EXPECT_EQ(a.posH, 540);
  // Not accepted while a position query is noted: the query fails (status 3).
  EXPECT_EQ(Parse(Block(16, 0, 5), cmd::kQueryPosition).kind, ReplyKind::PositionFailed);

  b = Block(14, 1, 0);  // D = 10
  b[9] = 49;
  b[10] = 30;
  a = Parse(b, cmd::kBezel);
  ASSERT_EQ(a.kind, ReplyKind::Bezel);
  EXPECT_EQ(ShownBezel(a.bezelH), 0);  // above 48 shows as 0
  EXPECT_EQ(ShownBezel(a.bezelV), 30);
  EXPECT_EQ(ShownBezel(48), 48);
  b[5] = 1;  // a bezel answer with another sub-code is ignored
  EXPECT_EQ(Parse(b, cmd::kBezel).kind, ReplyKind::None);

  b = Block(15, 0, 7);
  b[9] = 2;
  b[10] = 0;
  b[11] = 15;
  a = Parse(b, cmd::kVersion);
  ASSERT_EQ(a.kind, ReplyKind::Version);
  EXPECT_EQ(a.VersionText(), "Version:2.0.15");
  // The block is read as the answer of whatever command was noted last.
  EXPECT_EQ(Parse(b, cmd::kHandshake).kind, ReplyKind::Handshake);
}

TEST(ReplyParse, TwoAnswersJoinedInOneBlockAreReadAsTheFirst) {
  auto b = Block(13, 0, 5);  // handshake answer, accepted
  auto version = Block(16, 0, 8);
  version[9] = 1;
  b.insert(b.end(), version.begin(), version.end());
  const auto a = Parse(b, cmd::kHandshake);
  EXPECT_EQ(a.kind, ReplyKind::Handshake);
  EXPECT_TRUE(a.handshakeOk);
}
