#include "link/Traffic.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "link/Commands.h"
#include "link/Frame.h"

namespace panora {
namespace {

std::vector<std::uint8_t> Frame(std::uint8_t command, std::uint8_t sub, std::vector<std::uint8_t> payload) {
  std::vector<std::uint8_t> buf(payload.size() + kFrameOverhead);
  const CKezCmd f = BuildFrame(buf.data(), payload.data(), static_cast<int>(payload.size()), command, sub);
  return {f.Data(), f.Data() + f.TotalLength()};
}

std::string Describe(const std::vector<std::uint8_t>& b, bool* parsed = nullptr) {
  return DescribeTraffic(b.data(), b.size(), parsed);
}

TEST(TrafficFormat, NamesFramesFromTheCatalogue) {
  // X 92 Y 23 W 960 H 540 on CH2, big-endian words.
  EXPECT_EQ(Describe(Frame(cmd::kSetGeometry, 1, {0, 92, 0, 23, 3, 192, 2, 28})),
            "0x30 window geometry CH2: X 92 Y 23 W 960 H 540");
  std::uint8_t recall[kFrameOverhead];
  const CKezCmd r = BuildModeRecall(14, recall);
  EXPECT_EQ(Describe({r.Data(), r.Data() + r.TotalLength()}), "0x01 recall PIP-Default 2");
  EXPECT_EQ(Describe(Frame(cmd::kContrast, cmd::kSubAllChannels, {1, 2, 3, 4, 5, 6, 7, 8, 9})),
            "0x40 contrast all channels: 1 2 3 4 5 6 7 8 9");
  EXPECT_EQ(Describe(Frame(0x77, 5, {})), "0x77 unknown command, sub-code 0x05");
  // Two answers in one block: both named, in order.
  auto two = Frame(cmd::kHandshake, 0, {});
  const auto version = Frame(cmd::kVersion, 0, {1, 2, 3});
  two.insert(two.end(), version.begin(), version.end());
  bool parsed = false;
  EXPECT_EQ(Describe(two, &parsed), "0xF1 handshake; 0xFF firmware version: 1 2 3");
  EXPECT_TRUE(parsed);
}

TEST(TrafficFormat, SaysWhatIsNoFrame) {
  bool parsed = true;
  EXPECT_EQ(Describe({0x01, 0x02, 0x03}, &parsed), "not a frame: garbage, 3 bytes");
  EXPECT_FALSE(parsed);
  auto bad = Frame(cmd::kHandshake, 0, {});
  bad[8] ^= 0xFF;  // the checksum
  EXPECT_NE(Describe(bad, &parsed).find("bad checksum"), std::string::npos);
  EXPECT_FALSE(parsed);
  // A frame cut by the read: its start is reported, not dropped.
  auto cut = Frame(cmd::kSetGeometry, 0, {0, 0, 0, 0, 0, 1, 0, 1});
  cut.resize(10);
  EXPECT_EQ(Describe(cut, &parsed), "not a frame: truncated, 10 bytes");
}

TEST(TrafficFormat, LinesTextAndCsv) {
  TrafficRecord rec;
  rec.dir = TrafficDir::Received;
  rec.when = TrafficClock::time_point(std::chrono::milliseconds(1234567));
  rec.bytes = {0x7D, 0x2C};
  const TrafficLine line = FormatTraffic(rec);
  EXPECT_EQ(line.time.size(), 12u);
  EXPECT_EQ(line.time.substr(8), ".567");
  EXPECT_EQ(line.arrow, "\xE2\x86\x90");
  EXPECT_EQ(line.hex, "7D 2C");
  EXPECT_FALSE(line.parsed);
  EXPECT_EQ(TrafficText(line), line.time + " \xE2\x86\x90 not a frame: garbage, 2 bytes  7D 2C");
  EXPECT_EQ(TrafficCsv(line, rec.dir), line.time + ",received,7D 2C,\"not a frame: garbage, 2 bytes\"");
  TrafficLine quote{"t", "a", "", "say \"x\"", true};
  EXPECT_EQ(TrafficCsv(quote, TrafficDir::Unsent), "t,not sent,,\"say \"\"x\"\"\"");
}

TEST(TrafficLogRing, KeepsTheLastLinesAndNotifiesOncePerRead) {
  TrafficLog log(3);
  const std::uint8_t b[] = {1, 2, 3, 4, 5};
  for (int i = 1; i <= 5; ++i) log.OnTraffic(TrafficDir::Sent, b, i, TrafficClock::now());
  EXPECT_EQ(log.Size(), 3u);
  auto held = log.Since(0);
  ASSERT_EQ(held.size(), 3u);
  EXPECT_EQ(held[0].seq, 3u);
  EXPECT_EQ(held[2].bytes.size(), 5u);
  EXPECT_EQ(log.Since(4).size(), 1u);
  log.Clear();
  EXPECT_TRUE(log.Since(0).empty());

  std::atomic<int> notices{0};
  log.SetWatcher([&] { ++notices; });
  std::thread reader([&] {
    for (int i = 0; i < 100; ++i) log.OnTraffic(TrafficDir::Received, b, 2, TrafficClock::now());
  });
  reader.join();
  EXPECT_EQ(notices.load(), 1);  // a burst costs one notice until the watcher reads
  log.Rearm();
  log.OnTraffic(TrafficDir::Sent, b, 1, TrafficClock::now());
  EXPECT_EQ(notices.load(), 2);
  log.SetWatcher({});
  log.Rearm();
  log.OnTraffic(TrafficDir::Sent, b, 1, TrafficClock::now());
  EXPECT_EQ(notices.load(), 2);
  EXPECT_EQ(log.Since(0).size(), 3u);
}

}  // namespace
}  // namespace panora
