#include "model/Profile.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <random>

#include "alloc_counter.h"
#include "model/ModeTable.h"
#include "model/Text.h"

using namespace panora;
using Bytes = std::vector<std::uint8_t>;

namespace {

Bytes Encode(const CProfile& p) {
  Bytes b;
  ProfileError e;
  EXPECT_TRUE(EncodeProfile(p, b, &e)) << e.message;
  return b;
}

CProfile FactoryFresh() {
  CProfile p;
  p.ResetAllSlots();
  p.ResetWorkingForMode(kStartupMode);
  return p;
}

std::uint32_t U32At(const Bytes& b, std::size_t at) {
  return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (static_cast<std::uint32_t>(b[at + 3]) << 24);
}

void PutU32(Bytes& b, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) b.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

// A file with the given raw name-section bytes between the tool buttons and
// the records.
Bytes FileWithNames(const Bytes& nameSection) {
  Bytes b;
  b.reserve(32 + nameSection.size() + kSlotCount * kRecordSize);
  b.resize(32, 0xFF);
  b.insert(b.end(), nameSection.begin(), nameSection.end());
  b.insert(b.end(), kSlotCount * kRecordSize, 0);
  return b;
}

// A random but well-formed file: any record bytes, names of any bytes.
Bytes RandomFile(std::mt19937& rng) {
  std::uniform_int_distribution<int> byte(0, 255);
  Bytes b;
  for (int i = 0; i < 8; ++i)
    PutU32(b, static_cast<std::uint32_t>(std::uniform_int_distribution<int>(-1, 33)(rng)));
  const int counts[] = {0, 1, 34, 34, 34, 35, 100, 300};
  const int n = counts[rng() % 8];
  b.push_back(static_cast<std::uint8_t>(n));
  b.push_back(static_cast<std::uint8_t>(n >> 8));
  for (int i = 0; i < n; ++i) {
    const int lengths[] = {0, 1, 2, 16, 254, 255, 300};
    const int len = lengths[rng() % 7];
    if (len < 255) {
      b.push_back(static_cast<std::uint8_t>(len));
    } else {
      b.push_back(0xFF);
      b.push_back(static_cast<std::uint8_t>(len));
      b.push_back(static_cast<std::uint8_t>(len >> 8));
    }
    const bool high = rng() % 2;  // half the names only from 0x80..0xFF
    for (int k = 0; k < len; ++k) b.push_back(static_cast<std::uint8_t>(high ? 0x80 | byte(rng) : byte(rng)));
  }
  for (std::size_t k = 0; k < kSlotCount * kRecordSize; ++k)
    b.push_back(static_cast<std::uint8_t>(byte(rng)));
  return b;
}

}  // namespace

TEST(ProfileCodec, FactoryFreshProfileLayout) {
  CProfile p = FactoryFresh();
  p.m_DataPrm[2].m_nLayer = {{{0, 1, 2, 3}, {10, 11, 12, 13}, {20, 21, 22, 23}, {30, 31, 32, 33}}};
  p.m_DataPrm[2].m_bOutDispCh[1][3] = 7;
  p.m_DataPrm[2].m_dH[3] = 0.5;
  const Bytes b = Encode(p);
  ASSERT_EQ(b.size(), 5209u);
  for (int i = 0; i < 8; ++i) EXPECT_EQ(U32At(b, 4 * i), 0xFFFFFFFFu);
  EXPECT_EQ(b[32], 34);
  EXPECT_EQ(b[33], 0);
  EXPECT_EQ(b[34], 1);
  EXPECT_EQ(b[35], '1');
  EXPECT_EQ(b[36 + 2 * 8], 2);  // "10": the first two-digit name
  const std::size_t records = 32 + 2 + 9 * 2 + 25 * 3;
  ASSERT_EQ(records + kSlotCount * kRecordSize, b.size());
  const std::size_t r2 = records + 2 * kRecordSize;
  EXPECT_EQ(U32At(b, r2 + 0), 0u);       // m_bSaved
  EXPECT_EQ(b[r2 + 4], 2);               // m_bySlot
  EXPECT_EQ(b[r2 + 7], 100);             // m_byReservedA
  EXPECT_EQ(U32At(b, r2 + 63 + 4), 1u);  // m_nChInput[1] of slot 2 = k - 1
  // The layer table is written output by output: [CH1][o], [CH2][o], ...
  for (int o = 0; o < 4; ++o)
    for (int c = 0; c < 4; ++c) EXPECT_EQ(U32At(b, r2 + 83 + 16 * o + 4 * c), std::uint32_t(10 * c + o));
  EXPECT_EQ(U32At(b, r2 + 171 + 16 * 1 + 4 * 3), 7u);  // m_bOutDispCh[1][3]
  std::uint64_t bits;
  std::memcpy(&bits, &b[r2 + 331 + 24], 8);  // the host is little-endian, as the file
  EXPECT_EQ(bits, 0x3FE0000000000000u);
  // The working record is reset for mode 17: slot 255.
  EXPECT_EQ(b[records + 13 * kRecordSize + 4], 255);

  CProfile q;
  ASSERT_TRUE(DecodeProfile(b, q));
  EXPECT_EQ(q.m_DataPrm, p.m_DataPrm);
  EXPECT_EQ(q.m_strModeName, p.m_strModeName);
  EXPECT_EQ(q.m_nToolMode, p.m_nToolMode);
}

TEST(ProfileCodec, RandomFilesRoundTripByteForByte) {
  std::mt19937 rng(20261207);
  for (int i = 0; i < 300; ++i) {
    const Bytes file = RandomFile(rng);
    CProfile p;
    ProfileError e;
    ASSERT_TRUE(DecodeProfile(file, p, &e)) << i << ": " << e.message;
    EXPECT_EQ(Encode(p), file) << i;
    // And the names really are UTF-8 for the rest of the program.
    for (const auto& name : p.m_strModeName) {
      std::string back;
      EXPECT_TRUE(Utf8ToCp1252(name, back));
    }
  }
}

TEST(ProfileCodec, FactoryResetAndConstructedRecordsKeepTheirReservedBytes) {
  CProfile p;
  p.ResetAllSlots();
  p.m_DataPrm[4] = CDataPrm{};  // reserved A = 0, unlike a reset record (100)
  p.m_DataPrm[7].m_byReserved1 = 17;
  p.m_DataPrm[7].m_byReservedB = {1, 2, 3, 4};
  p.m_DataPrm[9].m_bSaved = 2;
  p.m_strModeName[5] = "Caf\u00E9 \u20AC\u0081";
  CProfile q;
  ASSERT_TRUE(DecodeProfile(Encode(p), q));
  EXPECT_EQ(q.m_DataPrm, p.m_DataPrm);
  EXPECT_EQ(q.m_strModeName, p.m_strModeName);
}

TEST(ProfileCodec, NameLengthForms) {
  struct Case {
    std::size_t length;
    Bytes prefix;
  };
  const Case cases[] = {
      {254, {254}},
      {255, {0xFF, 0xFF, 0x00}},
      {0xFFFD, {0xFF, 0xFD, 0xFF}},
      {0xFFFE, {0xFF, 0xFF, 0xFF, 0xFE, 0xFF, 0, 0}},
      {0xFFFF, {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0}},
  };
  for (const Case& c : cases) {
    CProfile p;
    p.m_strModeName = {std::string(c.length, 'x'), "y"};
    const Bytes b = Encode(p);
    ASSERT_EQ(b.size(), 32 + 2 + c.prefix.size() + c.length + 2 + kSlotCount * kRecordSize);
    EXPECT_EQ(Bytes(b.begin() + 34, b.begin() + 34 + c.prefix.size()), c.prefix) << c.length;
    CProfile q;
    ASSERT_TRUE(DecodeProfile(b, q)) << c.length;
    EXPECT_EQ(q.m_strModeName, p.m_strModeName);
  }
}

TEST(ProfileCodec, LongFormsThatWereNotNeededStillRead) {
  // Count 2 in the 32-bit form; "a" with a 16-bit length; "b" with a 32-bit length.
  const Bytes names = {0xFF, 0xFF, 2, 0, 0, 0, 0xFF, 1, 0, 'a', 0xFF, 0xFF, 0xFF, 1, 0, 0, 0, 'b'};
  CProfile p;
  std::vector<std::string> notes;
  ASSERT_TRUE(DecodeProfile(FileWithNames(names), p, nullptr, &notes));
  EXPECT_EQ(p.m_strModeName, (std::vector<std::string>{"a", "b"}));
  EXPECT_EQ(notes.size(), 3u);
  // The wide-text marker never occurs in a profile.
  ProfileError e;
  EXPECT_FALSE(DecodeProfile(FileWithNames({1, 0, 0xFF, 0xFE, 0xFF, 1, 'a'}), p, &e));
  EXPECT_EQ(e.offset, 34u);
}

TEST(ProfileCodec, ToolButtonsOutsideTheModesReadAsUnassigned) {
  CProfile p;
  p.m_nToolMode = {-1, 0, 33, 34, -2, 1000, 17, INT32_MIN};
  std::vector<std::string> notes;
  CProfile q;
  ASSERT_TRUE(DecodeProfile(Encode(p), q, nullptr, &notes));
  EXPECT_EQ(q.m_nToolMode, (std::array<int, 8>{-1, 0, 33, -1, -1, -1, 17, -1}));
  ASSERT_EQ(notes.size(), 4u);
  EXPECT_EQ(notes[0], "m_nToolMode[3] = 34 read as -1 (unassigned)");
}

TEST(ProfileCodec, OutOfRangeRecordValuesAreKeptAndListed) {
  CProfile p = FactoryFresh();
  p.m_DataPrm[3].m_nOutRes[2] = 7;
  p.m_DataPrm[13].m_nLayer[0][1] = -5;
  p.m_strModeName.pop_back();
  const Bytes b = Encode(p);
  CProfile q;
  ASSERT_TRUE(DecodeProfile(b, q));
  EXPECT_EQ(Encode(q), b);
  EXPECT_EQ(Validate(q), (std::vector<std::string>{"33 mode names, expected 34",
                                                   "m_DataPrm[3].m_nOutRes[2] = 7, expected 0..5",
                                                   "m_DataPrm[13].m_nLayer[0][1] = -5, expected 0..3"}));
  EXPECT_TRUE(Validate(FactoryFresh()).empty());
  EXPECT_EQ(q.ModeName(33), "34");  // a missing name shows its factory name
}

TEST(ProfileCodec, EveryTruncationFailsAndChangesNothing) {
  const Bytes full = Encode(FactoryFresh());
  CProfile target;
  target.m_nToolMode[0] = 5;
  target.m_strModeName[0] = "keep";
  target.m_DataPrm[0].m_nAllOutRes = 3;
  target.m_DataPrm[13].m_dH[3] = 0.25;
  target.m_strProfilePath = "/some/where.cfg";
  const Bytes before = Encode(target);
  for (std::size_t n = 0; n < full.size(); ++n) {
    ProfileError e;
    ASSERT_FALSE(DecodeProfile(std::span(full.data(), n), target, &e)) << n;
    ASSERT_FALSE(e.message.empty());
    ASSERT_LE(e.offset, n);
  }
  EXPECT_EQ(Encode(target), before);
  EXPECT_EQ(target.m_strProfilePath, "/some/where.cfg");

  ProfileError e;
  EXPECT_FALSE(DecodeProfile(std::span(full.data(), 5208), target, &e));
  EXPECT_EQ(e.offset, 5201u);  // the last double of the working record
  EXPECT_NE(e.message.find("m_DataPrm[13].m_dH[3]"), std::string::npos) << e.message;
}

TEST(ProfileCodec, TrailingBytesAreIgnored) {
  Bytes b = Encode(FactoryFresh());
  b.insert(b.end(), 1000, 0xAB);
  CProfile p;
  std::vector<std::string> notes;
  ASSERT_TRUE(DecodeProfile(b, p, nullptr, &notes));
  EXPECT_EQ(notes, (std::vector<std::string>{"1000 bytes after the last record are ignored"}));
  EXPECT_EQ(Encode(p).size(), 5209u);
}

TEST(ProfileCodec, BombsFailFastWithoutMemory) {
  const auto huge = [](Bytes names, std::size_t extra) {
    Bytes b = FileWithNames(names);
    b.insert(b.end(), extra, 'z');
    return b;
  };
  struct Bomb {
    const char* what;
    Bytes file;
    std::size_t offset;
  };
  Bytes lengthBomb = {1, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
  const Bomb bombs[] = {
      {"4 billion names", huge({0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}, 0), 32},
      {"4096 names in a small file", huge({0x00, 0x10}, 0), 32},
      {"4097 names with room for them", huge({0x01, 0x10}, 5000), 32},
      {"a 4 GiB name", huge(lengthBomb, 0), 34},
      {"a 64 KiB + 1 name with room for it", huge({1, 0, 0xFF, 0xFF, 0xFF, 0x00, 0x00, 0x01, 0x00}, 70000),
       34},
      {"a 60000-byte name in a small file", huge({1, 0, 0xFF, 0x60, 0xEA}, 0), 34},
  };
  for (const Bomb& bomb : bombs) {
    CProfile p;
    ProfileError e;
    const std::size_t before = test::AllocatedBytes();
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(DecodeProfile(bomb.file, p, &e)) << bomb.what;
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_LT(test::AllocatedBytes() - before, 16u * 1024) << bomb.what << ": " << e.message;
    EXPECT_LT(took, std::chrono::milliseconds(100)) << bomb.what;  // generous; it is microseconds
    EXPECT_EQ(e.offset, bomb.offset) << bomb.what << ": " << e.message;
  }
  // Names that together exceed what a profile may hold.
  Bytes many = {3, 0};
  for (int i = 0; i < 3; ++i) {
    many.insert(many.end(), {0xFF, 0xFF, 0xFF, 0x00, 0xFF, 0x00, 0x00});
    many.insert(many.end(), 0xFF00, 'n');
  }
  CProfile p;
  ProfileError e;
  EXPECT_FALSE(DecodeProfile(FileWithNames(many), p, &e));
  EXPECT_NE(e.message.find("together"), std::string::npos) << e.message;
}

TEST(ProfileCodec, WhatAProfileCannotHoldIsRefusedOnWriting) {
  CProfile p;
  Bytes out = {1, 2, 3};
  ProfileError e;
  p.m_strModeName[4] = "PIP \u4E2D";
  EXPECT_FALSE(EncodeProfile(p, out, &e));
  EXPECT_NE(e.message.find("mode name 5"), std::string::npos) << e.message;
  EXPECT_EQ(out, (Bytes{1, 2, 3}));
  p.m_strModeName[4] = "bad \xFF utf8";
  EXPECT_FALSE(EncodeProfile(p, out, &e));
  p = CProfile{};
  p.m_strModeName.assign(kMaxNameCount + 1, "x");
  EXPECT_FALSE(EncodeProfile(p, out, &e));
  p.m_strModeName.assign(kMaxNameCount, "x");
  EXPECT_TRUE(EncodeProfile(p, out, &e));
  CProfile q;
  EXPECT_TRUE(DecodeProfile(out, q));
  EXPECT_EQ(q.m_strModeName.size(), kMaxNameCount);
}
