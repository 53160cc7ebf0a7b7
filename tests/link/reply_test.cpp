#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "link/Commands.h"
#include "link/DeviceLink.h"
#include "link/Frame.h"
#include "link/NetLink.h"
#include "link/RsCom.h"

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
// A whole, valid answer frame as the processor sends it: byte 6 the result,
// the data from byte 9 on.
std::vector<std::uint8_t> Answer(std::uint8_t command, std::uint8_t result, std::vector<std::uint8_t> data,
                                 std::uint8_t sub = 0) {
  data.insert(data.begin(), 0);
  std::vector<std::uint8_t> f(data.size() + kFrameOverhead);
  BuildFrame(f.data(), data.data(), static_cast<int>(data.size()), command, sub);
  f[6] = result;
  FrameChecksum(f.data(), static_cast<int>(data.size()) + 4);
  return f;
}
// Noise that, read from its first byte as the old reading does, is an
// accepted answer with every byte the command reads set to `fill`: a
// refused handshake, bezel 7 and 7, version 7.7.7, position 1799 x 4.
std::vector<std::uint8_t> Noise(int count, std::uint8_t fill = 7) {
  std::vector<std::uint8_t> b(static_cast<std::size_t>(count), fill);
  b[2] = 0;
  b[3] = 5;
  b[5] = 0;
  return b;
}
std::vector<std::uint8_t> Join(std::vector<std::uint8_t> a, const std::vector<std::uint8_t>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
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

TEST(ReplyParse, AWholeValidFrameAfterNoiseDecidesForEachOfTheFourAnswers) {
  const auto refusedByNoise = Parse(Noise(40), cmd::kHandshake);
  ASSERT_TRUE(refusedByNoise.accepted);  // as the old reading takes it
  ASSERT_FALSE(refusedByNoise.handshakeOk);

  auto a = Parse(Join(Noise(40), Answer(cmd::kHandshake, 0, {})), cmd::kHandshake);
  EXPECT_EQ(a.kind, ReplyKind::Handshake);
  EXPECT_TRUE(a.handshakeOk);
  a = Parse(Join(Noise(40, 0), Answer(cmd::kHandshake, 1, {})), cmd::kHandshake);  // noise that "accepts"
  EXPECT_FALSE(a.handshakeOk);

  a = Parse(Join(Noise(300), Answer(cmd::kVersion, 0, {2, 0, 15})), cmd::kVersion);
  EXPECT_EQ(a.VersionText(), "Version:2.0.15");

  a = Parse(Join(Noise(25), Answer(cmd::kBezel, 0, {12, 60})), cmd::kBezel);
  ASSERT_EQ(a.kind, ReplyKind::Bezel);
  EXPECT_EQ(a.bezelH, 12);
  EXPECT_EQ(a.bezelV, 60);
  // The frame's own sub-code counts as the block's did.
  EXPECT_EQ(Parse(Join(Noise(25), Answer(cmd::kBezel, 0, {12, 60}, 1)), cmd::kBezel).kind, ReplyKind::None);

  a = Parse(Join(Noise(999), Answer(cmd::kQueryPosition, 0, {0x01, 0x02, 0x00, 0x10, 0x03, 0xC0, 0x02, 0x1C})),
            cmd::kQueryPosition);
  ASSERT_EQ(a.kind, ReplyKind::Position);
  EXPECT_EQ(a.posX, 258);
  EXPECT_EQ(a.posH, 540);
  // A valid frame without the answer's bytes fails the query as a short block would.
  EXPECT_EQ(Parse(Join(Noise(30), Answer(cmd::kQueryPosition, 0, {})), cmd::kQueryPosition).kind,
            ReplyKind::PositionFailed);
  // An answer frame without data (D = 4) is still no answer.
  std::vector<std::uint8_t> empty(kFrameOverhead);
  BuildFrame(empty.data(), nullptr, 0, cmd::kHandshake, 0);
  EXPECT_FALSE(Parse(Join(Noise(30), empty), cmd::kHandshake).accepted);
}

TEST(ReplyParse, OfSeveralFramesTheLastOfTheNotedCommandDecides) {
  // A late acknowledgement of another command, then the version answer, then
  // another acknowledgement: the version is read.
  const auto ack = Answer(cmd::kSetGeometry, 0, {});
  auto a = Parse(Join(Join(Join(ack, Answer(cmd::kVersion, 0, {1, 0, 0})), Answer(cmd::kVersion, 0, {1, 2, 3})), ack),
                 cmd::kVersion);
  EXPECT_EQ(a.VersionText(), "Version:1.2.3");
  // Without one of the noted command, the first frame is read, as the block
  // read from its start would be.
  a = Parse(Join(Answer(cmd::kSetGeometry, 1, {}), Answer(cmd::kVersion, 0, {})), cmd::kHandshake);
  EXPECT_EQ(a.kind, ReplyKind::Handshake);
  EXPECT_FALSE(a.handshakeOk);
}

TEST(ReplyParse, AFullBufferWithoutAFrameIsAPieceOfABurstAndDecidesNothing) {
  // Longer than any answer: a piece of noise, whatever its bytes 2, 3 and 6 say.
  EXPECT_FALSE(Parse(Noise(kRxBufSize), cmd::kHandshake).accepted);
  EXPECT_EQ(Parse(Noise(kRxBufSize), cmd::kQueryPosition).kind, ReplyKind::PositionFailed);
  // One byte shorter it is read from its start, as every block without a frame.
  EXPECT_TRUE(Parse(Noise(kRxBufSize - 1), cmd::kHandshake).accepted);
  // A full buffer that ends in the answer is read by it.
  auto noise = Noise(kRxBufSize - 13);
  const auto a = Parse(Join(noise, Answer(cmd::kHandshake, 0, {})), cmd::kHandshake);
  EXPECT_TRUE(a.accepted && a.handshakeOk);
}

TEST(ReplyParse, StartBytesOfNoiseThatRunPastTheBlockDoNotHideTheAnswer) {
  // The noise ends in start bytes whose length (100 bytes) reaches past the
  // block, over the answer that follows.
  auto noise = Noise(40);
  noise.insert(noise.end(), {0x7D, 0x3A, 0x00, 0x64, 0x01});
  const auto a = Parse(Join(noise, Answer(cmd::kHandshake, 0, {})), cmd::kHandshake);
  EXPECT_EQ(a.kind, ReplyKind::Handshake);
  EXPECT_TRUE(a.handshakeOk);
}

TEST(ReplyParse, AnAnswerThatBeganInAPieceOfABurstIsReadWithThatPiecesTail) {
  const auto answer = Answer(cmd::kHandshake, 0, {});
  for (int split = 1; split < static_cast<int>(answer.size()); ++split) {
    auto piece = Noise(kRxBufSize - split, 0);  // noise that would "accept"
    piece.insert(piece.end(), answer.begin(), answer.begin() + split);
    const std::vector<std::uint8_t> rest(answer.begin() + split, answer.end());
    const auto first = Parse(piece, cmd::kHandshake);
    ASSERT_TRUE(first.burstPiece);
    ASSERT_FALSE(first.accepted);
    const std::uint8_t* tail = piece.data() + kRxBufSize - kReplyCarryBytes;
    const auto a = ParseReply(tail, kReplyCarryBytes, rest.data(), static_cast<int>(rest.size()), cmd::kHandshake);
    EXPECT_TRUE(a.accepted && a.handshakeOk) << split;
    EXPECT_FALSE(a.burstPiece);
  }
  // Without a frame across the two the block is read on its own, as ever.
  const auto noise = Noise(kReplyCarryBytes, 3);
  const auto alone = Noise(20, 1);
  const auto a = ParseReply(noise.data(), kReplyCarryBytes, alone.data(), 20, cmd::kHandshake);
  EXPECT_TRUE(a.accepted);
  EXPECT_FALSE(a.handshakeOk);
}

TEST(ReplyTake, OnlyAPieceOfABurstLendsItsTailToTheNextBlock) {
  CRsCom rs(nullptr, {});
  CNetLink net({});
  CDeviceLink link(rs, net, nullptr, LinkHooks{});
  link.NoteCommand(cmd::kHandshake, 0);
  const auto answer = Answer(cmd::kHandshake, 0, {});
  auto take = [&](const std::vector<std::uint8_t>& b) {
    const ReplyAction a = link.TakeReply(b.data(), static_cast<int>(b.size()));
    link.EndReply();
    return a;
  };
  // Random noise in 1024-byte blocks, the answer cut by the last boundary at
  // every place: no block holds it whole, yet it decides.
  std::mt19937 random(7);
  for (int split = 1; split < static_cast<int>(answer.size()); ++split) {
    std::vector<std::uint8_t> line(static_cast<std::size_t>(3 * kRxBufSize - split));
    for (auto& b : line) b = static_cast<std::uint8_t>(random());
    line.insert(line.end(), answer.begin(), answer.end());
    ReplyAction a;
    for (std::size_t at = 0; at < line.size(); at += kRxBufSize) {
      a = take({line.begin() + static_cast<long>(at),
                line.begin() + static_cast<long>(std::min(line.size(), at + kRxBufSize))});
      if (at + kRxBufSize < line.size()) {
        EXPECT_FALSE(a.accepted) << split;
      }
    }
    EXPECT_TRUE(a.accepted && a.handshakeOk) << split;
  }
  // A short block split from its rest is read block by block: no carrying.
  auto shorter = Noise(kRxBufSize - 5, 0);
  shorter.pop_back();
  shorter.insert(shorter.end(), answer.begin(), answer.begin() + 4);
  EXPECT_TRUE(take(shorter).accepted);  // the noise "accepts", as before
  EXPECT_FALSE(take({answer.begin() + 4, answer.end()}).accepted);
  // The tail serves the very next block only.
  auto piece = Noise(kRxBufSize - 4, 0);
  piece.insert(piece.end(), answer.begin(), answer.begin() + 4);
  EXPECT_FALSE(take(piece).accepted);
  EXPECT_FALSE(take(std::vector<std::uint8_t>(3, 7)).accepted);
  EXPECT_FALSE(take({answer.begin() + 4, answer.end()}).accepted);
}
