#include "link/Frame.h"

#include <gtest/gtest.h>

#include <set>
#include <utility>
#include <vector>

#include "link/Catalogue.h"
#include "link/Commands.h"

using namespace panora;
using Bytes = std::vector<std::uint8_t>;

namespace {
Bytes Built(const CKezCmd& c) {
  return Bytes(c.Data(), c.Data() + c.TotalLength());
}
}  // namespace

TEST(Frame, WorkedFramesMatchTheirBytes) {
  std::uint8_t buf[64];
  EXPECT_EQ(Built(BuildFrame(buf, nullptr, 0, 0xF1, 0)),
            (Bytes{0x7D, 0x3A, 0x00, 0x04, 0xF1, 0x00, 0x00, 0x00, 0xF1, 0x45, 0x4E, 0x44}));
  EXPECT_EQ(Built(BuildFrame(buf, nullptr, 0, 0x01, 0x04)),
            (Bytes{0x7D, 0x3A, 0x00, 0x04, 0x01, 0x04, 0x00, 0x00, 0x05, 0x45, 0x4E, 0x44}));
  const std::uint8_t payload[] = {0x00, 0x04, 0x03, 0x02, 0x01};
  CKezCmd c = BuildFrame(buf, payload, 5, 0x38, 1);
  EXPECT_EQ(Built(c), (Bytes{0x7D, 0x3A, 0x00, 0x09, 0x38, 0x01, 0x00, 0x00, 0x00, 0x04, 0x03, 0x02, 0x01,
                             0x43, 0x45, 0x4E, 0x44}));
  EXPECT_EQ(c.TotalLength(), 17);
  EXPECT_EQ(c.CountedLength(), 9);
  EXPECT_EQ(c.Data(), buf);
}

TEST(Frame, EmptyPayloadChecksumIsCommandPlusSubCode) {
  std::uint8_t buf[16];
  BuildFrame(buf, nullptr, 0, 0xF0, 0x20);
  EXPECT_EQ(buf[8], 0x10);  // 0xF0 + 0x20 = 0x110
}

TEST(Frame, LengthBytesUseDivisor255) {
  std::vector<std::uint8_t> payload(251, 0x01), buf(300, 0xAA);
  CKezCmd c250 = BuildFrame(buf.data(), payload.data(), 250, 0x30, 0);
  EXPECT_EQ(buf[2], 0x00);
  EXPECT_EQ(buf[3], 0xFE);
  EXPECT_EQ(c250.TotalLength(), 262);
  // Checksum: 0x30 + 250 ones = 0x30 + 0xFA = 0x12A.
  EXPECT_EQ(buf[258], 0x2A);
  EXPECT_EQ(Bytes(buf.begin() + 259, buf.begin() + 262), (Bytes{'E', 'N', 'D'}));

  CKezCmd c251 = BuildFrame(buf.data(), payload.data(), 251, 0x30, 0);
  EXPECT_EQ(buf[2], 0x01);  // L = 255 = 1 x 255 + 0
  EXPECT_EQ(buf[3], 0x00);
  EXPECT_EQ(c251.CountedLength(), 255);
  EXPECT_EQ(c251.TotalLength(), 263);
}

TEST(Frame, PayloadIsNeverEscaped) {
  std::uint8_t buf[32];
  const std::uint8_t payload[] = {0x7D, 0x3A, 'E', 'N', 'D'};
  BuildFrame(buf, payload, 5, 0x38, 1);
  EXPECT_EQ(Bytes(buf + 8, buf + 13), Bytes(payload, payload + 5));
  EXPECT_EQ(buf[13], (0x38 + 1 + 0x7D + 0x3A + 'E' + 'N' + 'D') & 0xFF);
  EXPECT_EQ(Bytes(buf + 14, buf + 17), (Bytes{'E', 'N', 'D'}));
}

TEST(Frame, ChecksumOverCountedBytesOnly) {
  std::uint8_t f[] = {0x7D, 0x3A, 0, 6, 0x53, 1, 0, 0, 30, 40, 0xEE, 'E', 'N', 'D'};
  FrameChecksum(f, 6);
  EXPECT_EQ(f[10], (0x53 + 1 + 30 + 40) & 0xFF);
  EXPECT_EQ(f[11], 'E');
}

TEST(ModeRecall, AllModesFromTheTable) {
  // Written out from the mode table: {mode, command, sub-code}.
  const int table[34][3] = {
      {0, 0x00, 0x00},  {1, 0x00, 0x01},  {2, 0x00, 0x02},  {3, 0x00, 0x03},  {4, 0x00, 0x10},
      {5, 0x00, 0x11},  {6, 0x00, 0x12},  {7, 0x00, 0x13},  {8, 0x03, 0x00},  {9, 0x03, 0x01},
      {10, 0x03, 0x02}, {11, 0x03, 0x03}, {12, 0x03, 0x04}, {13, 0x01, 0x00}, {14, 0x01, 0x01},
      {15, 0x01, 0x02}, {16, 0x01, 0x03}, {17, 0x01, 0x04}, {18, 0x02, 0x00}, {19, 0x02, 0x01},
      {20, 0x02, 0x02}, {21, 0x03, 0x20}, {22, 0x03, 0x21}, {23, 0x03, 0x22}, {24, 0x03, 0x23},
      {25, 0x03, 0x24}, {26, 0x01, 0x20}, {27, 0x01, 0x21}, {28, 0x01, 0x22}, {29, 0x01, 0x23},
      {30, 0x01, 0x24}, {31, 0x02, 0x20}, {32, 0x02, 0x21}, {33, 0x02, 0x22},
  };
  for (const auto& row : table) {
    SCOPED_TRACE(row[0]);
    CKezCmd c = BuildModeRecall(row[0]);
    ASSERT_EQ(c.Data(), g_TxBuf);
    const auto cmd = static_cast<std::uint8_t>(row[1]), sub = static_cast<std::uint8_t>(row[2]);
    EXPECT_EQ(Built(c), (Bytes{0x7D, 0x3A, 0x00, 0x04, cmd, sub, 0, 0, static_cast<std::uint8_t>(cmd + sub),
                               0x45, 0x4E, 0x44}));
  }
  EXPECT_EQ(Built(BuildModeRecall(17)),
            (Bytes{0x7D, 0x3A, 0x00, 0x04, 0x01, 0x04, 0x00, 0x00, 0x05, 0x45, 0x4E, 0x44}));
}

TEST(ModeRecall, IndexOutsideTheTableBuildsNothing) {
  for (int bad : {-1, 34, 100}) {
    CKezCmd c = BuildModeRecall(bad);
    EXPECT_EQ(c.Data(), nullptr);
    EXPECT_EQ(c.TotalLength(), 0);
  }
}

TEST(Catalogue, CommandAndSubCodeDetermineThePayloadLength) {
  const auto rows = CommandCatalogue();
  for (std::size_t i = 0; i < rows.size(); ++i) {
    for (std::size_t j = i + 1; j < rows.size(); ++j) {
      const auto& a = rows[i];
      const auto& b = rows[j];
      if (a.command != b.command) continue;
      const bool overlap = a.subFirst <= b.subLast && b.subFirst <= a.subLast;
      EXPECT_FALSE(overlap) << "rows " << i << " and " << j << " share sub-codes";
      if (a.payloadLength != b.payloadLength && a.command != cmd::kBezel) {
        // Different lengths are allowed only across disjoint sub-codes of one
        // command when the sub-code says which; the bezel is the one such command.
        ADD_FAILURE() << "command " << int(a.command) << " has two payload lengths";
      }
    }
  }
}

TEST(Catalogue, RecallRowsCoverEveryModeWithoutPayload) {
  std::set<std::pair<int, int>> codes;
  for (int m = 0; m < kModeCount; ++m) {
    ModeRecallCode code;
    ASSERT_TRUE(ModeRecallBytes(m, code));
    const CommandInfo* row = FindCommand(code.command, code.subCode);
    ASSERT_NE(row, nullptr) << m;
    EXPECT_EQ(row->payloadLength, 0);
    codes.insert({code.command, code.subCode});
  }
  EXPECT_EQ(codes.size(), 34u);  // no two modes share a recall code
  EXPECT_EQ(FindCommand(0x53, 0)->payloadLength, 0);
  EXPECT_EQ(FindCommand(0x53, 1)->payloadLength, 2);
  EXPECT_EQ(FindCommand(0x30, 4), nullptr);
  EXPECT_EQ(FindCommand(0x40, 100)->payloadLength, 9);
}

TEST(Catalogue, EveryRowAsTheCommandListStatesIt) {
  // {command, first sub-code, last sub-code, n, busy, noted}; -1 = depends on the sender.
  struct Row {
    int command, subFirst, subLast, n, busy, noted;
  };
  const Row rows[] = {
      {0x00, 0x00, 0x03, 0, 1, 1}, {0x00, 0x10, 0x13, 0, 1, 1}, {0x03, 0x00, 0x04, 0, 1, 1},
      {0x01, 0x00, 0x04, 0, 1, 1}, {0x02, 0x00, 0x02, 0, 1, 1}, {0x03, 0x20, 0x24, 0, 1, 1},
      {0x01, 0x20, 0x24, 0, 1, 1}, {0x02, 0x20, 0x22, 0, 1, 1}, {0x30, 0, 3, 8, -1, 1},
      {0x31, 0, 3, 0, 0, 1},       {0x32, 0, 3, 2, 0, 1},       {0x33, 0, 3, 2, 0, 1},
      {0x35, 1, 1, 4, 0, 1},       {0x36, 1, 1, 4, 0, 1},       {0x37, 1, 1, 4, 1, -1},
      {0x38, 1, 1, 5, 1, 1},       {0x40, 0, 3, 9, 0, 0},       {0x40, 100, 100, 9, 0, 0},
      {0x41, 0, 3, 6, 0, 0},       {0x41, 100, 100, 6, 0, 0},   {0x50, 1, 1, 4, 1, 1},
      {0x53, 0, 0, 0, 0, 1},       {0x53, 1, 1, 2, 0, 1},       {0x80, 1, 1, 0, 1, 1},
      {0xF0, 1, 1, 0, 0, 1},       {0xF1, 0, 0, 0, 0, 1},       {0xFF, 0, 0, 0, 0, 1},
  };
  std::size_t codes = 0;
  for (const Row& row : rows) {
    for (int sub = row.subFirst; sub <= row.subLast; ++sub, ++codes) {
      SCOPED_TRACE(testing::Message() << "command " << row.command << " sub-code " << sub);
      const CommandInfo* info =
          FindCommand(static_cast<std::uint8_t>(row.command), static_cast<std::uint8_t>(sub));
      ASSERT_NE(info, nullptr);
      EXPECT_EQ(info->payloadLength, row.n);
      if (row.busy >= 0) {
        EXPECT_EQ(info->busyCheck, row.busy == 1);
      }
      if (row.noted >= 0) {
        EXPECT_EQ(info->noted, row.noted == 1);
      }
    }
  }
  // Nothing beyond the list: every sub-code the catalogue knows is one of the above.
  std::size_t known = 0;
  for (const CommandInfo& info : CommandCatalogue()) known += info.subLast - info.subFirst + 1u;
  EXPECT_EQ(known, codes);
}
