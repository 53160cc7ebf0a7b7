#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "link/Frame.h"
#include "link/FrameDecoder.h"

using namespace panora;
using Bytes = std::vector<std::uint8_t>;

namespace {
Bytes Frame(std::uint8_t cmd, std::uint8_t sub, Bytes payload = {}) {
  Bytes buf(payload.size() + 12);
  BuildFrame(buf.data(), payload.data(), static_cast<int>(payload.size()), cmd, sub);
  return buf;
}
std::vector<DecoderEvent> FeedAll(FrameDecoder& d, const Bytes& b) {
  return d.Feed(b.data(), b.size());
}
Bytes Cat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}
}  // namespace

TEST(FrameDecoder, SplitAndJoinedFrames) {
  const Bytes a = Frame(0x30, 1, {0, 1, 0, 2, 0, 3, 0, 4});
  const Bytes b = Frame(0xF1, 0);
  const Bytes stream = Cat({a, b, a});
  // Every split point of the stream yields the same three frames.
  for (std::size_t cut = 0; cut <= stream.size(); ++cut) {
    FrameDecoder d;
    auto ev = d.Feed(stream.data(), cut);
    auto rest = d.Feed(stream.data() + cut, stream.size() - cut);
    ev.insert(ev.end(), rest.begin(), rest.end());
    ASSERT_EQ(ev.size(), 3u) << cut;
    EXPECT_TRUE(ev[0].isFrame && ev[1].isFrame && ev[2].isFrame);
    EXPECT_EQ(ev[0].bytes, a);
    EXPECT_EQ(ev[1].bytes, b);
    EXPECT_EQ(ev[1].Command(), 0xF1);
    EXPECT_EQ(ev[2].PayloadSize(), 8u);
    EXPECT_EQ(d.Pending(), 0u);
  }
}

TEST(FrameDecoder, PayloadThatLooksLikeFrameBytes) {
  const Bytes f = Frame(0x38, 1, {0x7D, 0x3A, 'E', 'N', 'D'});
  FrameDecoder d;
  auto ev = FeedAll(d, f);
  ASSERT_EQ(ev.size(), 1u);
  EXPECT_TRUE(ev[0].isFrame);
  EXPECT_EQ(ev[0].bytes, f);
}

TEST(FrameDecoder, ResynchronisesAfterGarbageAndReportsIt) {
  const Bytes f = Frame(0xFF, 0);
  FrameDecoder d;
  auto ev = FeedAll(d, Cat({{0x01, 0x02, 0x7D, 0x00, 0x45}, f, {0x99}}));
  ASSERT_EQ(ev.size(), 3u);
  EXPECT_FALSE(ev[0].isFrame);
  EXPECT_EQ(ev[0].reason, SkipReason::Garbage);
  EXPECT_EQ(ev[0].bytes, (Bytes{0x01, 0x02, 0x7D, 0x00, 0x45}));
  EXPECT_TRUE(ev[1].isFrame);
  EXPECT_EQ(ev[2].bytes, (Bytes{0x99}));
}

TEST(FrameDecoder, BadChecksumTrailerAndLength) {
  Bytes badSum = Frame(0x36, 1, {1, 2, 3, 4});
  badSum[12] ^= 0xFF;
  Bytes badEnd = Frame(0x36, 1, {1, 2, 3, 4});
  badEnd.back() = 'X';
  const Bytes good = Frame(0x35, 1, {15, 15, 15, 15});
  FrameDecoder d;
  auto ev = FeedAll(d, Cat({badSum, badEnd, {0x7D, 0x3A, 0x00, 0x02}, good}));
  std::vector<SkipReason> reasons;
  int frames = 0;
  for (const auto& e : ev) {
    if (e.isFrame) {
      ++frames;
      EXPECT_EQ(e.bytes, good);
    } else {
      reasons.push_back(e.reason);
    }
  }
  EXPECT_EQ(frames, 1);
  ASSERT_GE(reasons.size(), 3u);
  EXPECT_EQ(reasons[0], SkipReason::BadChecksum);
  EXPECT_EQ(ev[0].candidate, badSum);
  EXPECT_NE(std::find(reasons.begin(), reasons.end(), SkipReason::BadTrailer), reasons.end());
  EXPECT_NE(std::find(reasons.begin(), reasons.end(), SkipReason::BadLength), reasons.end());
}

TEST(FrameDecoder, FrameInsideARejectedCandidateIsFound) {
  // A header claiming 20 counted bytes, with a real frame right behind it.
  const Bytes f = Frame(0xF1, 0);
  FrameDecoder d;
  auto ev = FeedAll(d, Cat({{0x7D, 0x3A, 0x00, 0x14}, f, Bytes(20, 0)}));
  bool found = false;
  for (const auto& e : ev) found = found || (e.isFrame && e.bytes == f);
  EXPECT_TRUE(found);
}

TEST(FrameDecoder, FlushGivesUpAPartialFrameAndBytesAreConserved) {
  std::mt19937 rng(7);
  const Bytes f = Frame(0x31, 2);
  for (int round = 0; round < 200; ++round) {
    Bytes stream;
    for (int k = 0; k < 6; ++k) {
      if (rng() % 2) {
        stream.insert(stream.end(), f.begin(), f.end());
      } else {
        for (unsigned n = rng() % 9; n > 0; --n)
          stream.push_back(static_cast<std::uint8_t>(rng() % 4 == 0 ? 0x7D : rng()));
      }
    }
    FrameDecoder d;
    std::size_t seen = 0;
    for (std::size_t pos = 0; pos < stream.size();) {
      const std::size_t n = std::min<std::size_t>(1 + rng() % 7, stream.size() - pos);
      for (const auto& e : d.Feed(stream.data() + pos, n)) seen += e.bytes.size();
      pos += n;
    }
    for (const auto& e : d.Flush()) {
      EXPECT_EQ(e.reason, SkipReason::Truncated);
      seen += e.bytes.size();
    }
    EXPECT_EQ(seen, stream.size());  // every byte is either a frame or a skip
    EXPECT_EQ(d.Pending(), 0u);
  }
}
