#include <gtest/gtest.h>

#include <cmath>

#include "model/DataPrm.h"

using namespace panora;

namespace {

using Slots = std::array<CDataPrm, kSlotCount>;
using Quad = std::array<double, 4>;  // x, y, w, h of one channel

Quad Geometry(const CDataPrm& r, int ch) {
  return {r.m_dX[ch], r.m_dY[ch], r.m_dW[ch], r.m_dH[ch]};
}

void SetGeometry(CDataPrm& r, int ch, Quad q) {
  r.m_dX[ch] = q[0];
  r.m_dY[ch] = q[1];
  r.m_dW[ch] = q[2];
  r.m_dH[ch] = q[3];
}

// A record whose every setting differs from all reset values.
CDataPrm Odd() {
  CDataPrm r;
  r.m_bSaved = 1;
  r.m_bySlot = 7;
  r.m_byReserved1 = 1;
  r.m_byReserved2 = 2;
  r.m_byReservedA = {9, 8, 7, 6};
  r.m_byReservedB = {5, 4, 3, 2};
  r.m_nBorderScope = 1;
  r.m_nBorderAll = 1;
  r.m_nBorderCh = {1, 0, 1, 0};
  r.m_nAllOutRes = 4;
  r.m_bPerOutRes = 1;
  r.m_nOutRes = {1, 2, 3, 5};
  r.m_nChInput = {3, 3, 2, 2};
  r.m_nOverlayMode = 1;
  for (int c = 0; c < 4; ++c)
    for (int o = 0; o < 4; ++o) r.m_nLayer[c][o] = (c + o) % 4;
  r.m_nOverlayOut = 2;
  r.m_bDispCh = {0, 1, 0, 1};
  r.m_bDispAll = 0;
  r.m_bOutDispCh[2] = {1, 1, 0, 1};
  for (int ch = 0; ch < 4; ++ch) SetGeometry(r, ch, {0.1 * ch, 0.2, 0.3, 0.4 + ch * 0.05});
  return r;
}

void ExpectCommonReset(const CDataPrm& r) {
  EXPECT_EQ(r.m_bSaved, 0);
  EXPECT_EQ(r.m_byReserved1, 255);
  EXPECT_EQ(r.m_byReserved2, 255);
  EXPECT_EQ(r.m_byReservedA, (std::array<std::uint8_t, 4>{100, 100, 100, 100}));
  EXPECT_EQ(r.m_byReservedB, (std::array<std::uint8_t, 4>{0, 0, 0, 0}));
  EXPECT_EQ(r.m_nBorderScope, 0);
  EXPECT_EQ(r.m_nBorderAll, 0);
  EXPECT_EQ(r.m_nBorderCh, (std::array<std::int32_t, 4>{0, 0, 0, 0}));
  EXPECT_EQ(r.m_nAllOutRes, 0);
  EXPECT_EQ(r.m_bPerOutRes, 0);
  EXPECT_EQ(r.m_nOutRes, (std::array<std::int32_t, 4>{0, 0, 0, 0}));
  EXPECT_EQ(r.m_nOverlayMode, 0);
  EXPECT_EQ(r.m_nOverlayOut, 0);
  for (int c = 0; c < 4; ++c)
    for (int o = 0; o < 4; ++o) EXPECT_EQ(r.m_nLayer[c][o], 3 - c) << c << "," << o;
  EXPECT_EQ(r.m_bDispCh, (std::array<std::int32_t, 4>{1, 1, 1, 1}));
  EXPECT_EQ(r.m_bDispAll, 1);
  for (const auto& out : r.m_bOutDispCh) EXPECT_EQ(out, (std::array<std::int32_t, 4>{0, 0, 0, 0}));
}

}  // namespace

TEST(DataPrm, ConstructorValuesDifferFromResetValues) {
  const CDataPrm r;
  EXPECT_EQ(r.m_bSaved, 0);
  EXPECT_EQ(r.m_bySlot, 255);
  EXPECT_EQ(r.m_byReserved1, 255);
  EXPECT_EQ(r.m_byReserved2, 255);
  EXPECT_EQ(r.m_byReservedA, (std::array<std::uint8_t, 4>{0, 0, 0, 0}));  // 100 only after a reset
  EXPECT_EQ(r.m_byReservedB, (std::array<std::uint8_t, 4>{0, 0, 0, 0}));
  EXPECT_EQ(r.m_bDispAll, 1);
  EXPECT_EQ(r.m_bDispCh, (std::array<std::int32_t, 4>{0, 0, 0, 0}));
  for (int c = 0; c < 4; ++c) {
    EXPECT_EQ(r.m_nLayer[c], (std::array<std::int32_t, 4>{0, 0, 0, 0}));
    EXPECT_EQ(Geometry(r, c), (Quad{0, 0, 0, 0}));
  }
  EXPECT_EQ(r.m_nChInput, (std::array<std::int32_t, 4>{0, 0, 0, 0}));
}

TEST(DataPrm, ResetSlotSettingsAndInputs) {
  for (int k = 0; k < kSlotCount; ++k) {
    CDataPrm r = Odd();
    r.ResetSlot(k);
    SCOPED_TRACE(k);
    ExpectCommonReset(r);
    EXPECT_EQ(r.m_bySlot, k);
    if (k >= 1 && k <= 4)
      EXPECT_EQ(r.m_nChInput, (std::array<std::int32_t, 4>{k - 1, k - 1, k - 1, k - 1}));
    else
      EXPECT_EQ(r.m_nChInput, (std::array<std::int32_t, 4>{0, 1, 2, 3}));
  }
}

TEST(DataPrm, ResetSlotGeometryTable) {
  const double t = 1.0 / 3, tt = 2.0 / 3;
  const Quad full{0, 0, 1, 1};
  const Quad table[13][4] = {
      {full, full, full, full},
      {full, full, full, full},
      {full, full, full, full},
      {full, full, full, full},
      {full, full, full, full},
      {full, {0, 0, .5, .5}, {0, 0, .25, .25}, {0, 0, .125, .125}},
      {full, {.75, 0, .25, t}, {.75, t, .25, t}, {.75, tt, .25, t}},
      {full, {0, 0, .25, t}, {0, tt, .25, t}, {.75, tt, .25, t}},
      {full, {0, tt, t, t}, {t, tt, t, t}, {tt, tt, t, t}},
      {full, {.25, .25, .5, .5}, {.375, .375, .25, .25}, {.4375, .4375, .125, .125}},
      {{0, 0, .75, 1}, {.75, 0, .25, t}, {.75, t, .25, t}, {.75, tt, .25, t}},
      {{0, 0, 1, tt}, {0, tt, t, t}, {t, tt, t, t}, {tt, tt, t, t}},
      {{0, 0, .5, .5}, {.5, 0, .5, .5}, {0, .5, .5, .5}, {.5, .5, .5, .5}},
  };
  for (int k = 0; k < 13; ++k) {
    CDataPrm r = Odd();
    r.ResetSlot(k);
    for (int ch = 0; ch < 4; ++ch)
      EXPECT_EQ(Geometry(r, ch), table[k][ch]) << "slot " << k << " CH" << ch + 1;
  }
  // The thirds are the doubles nearest to 1/3 and 2/3.
  CDataPrm r;
  r.ResetSlot(8);
  for (auto [value, num] : {std::pair{r.m_dW[1], 1.0L}, std::pair{r.m_dY[1], 2.0L}}) {
    const long double exact = num / 3.0L;
    const long double err = std::fabs(static_cast<long double>(value) - exact);
    EXPECT_LT(err, std::fabs(static_cast<long double>(std::nextafter(value, 1.0)) - exact));
    EXPECT_LT(err, std::fabs(static_cast<long double>(std::nextafter(value, 0.0)) - exact));
  }
}

TEST(DataPrm, WorkingRecordResetKeepsGeometry) {
  CDataPrm r = Odd();
  const CDataPrm before = r;
  r.ResetSlot(kWorkingSlot);
  EXPECT_EQ(r.m_bySlot, 13);
  for (int ch = 0; ch < 4; ++ch) EXPECT_EQ(Geometry(r, ch), Geometry(before, ch));
  // Indices outside 0..13 name no slot and change nothing.
  r = Odd();
  r.ResetSlot(14);
  r.ResetSlot(-1);
  EXPECT_EQ(r, Odd());
}

TEST(DataPrm, ResetAllSlotsResetsEachElementAsItsOwnSlot) {
  Slots slots;
  slots.fill(Odd());
  ResetAllSlots(slots);
  for (int k = 0; k < kSlotCount; ++k) {
    CDataPrm expected = Odd();
    expected.ResetSlot(k);
    EXPECT_EQ(slots[k], expected) << k;
  }
}

TEST(DataPrm, ResetForModeInputsByMode) {
  Slots slots;
  ResetAllSlots(slots);
  const auto inputs = [&](int mode) {
    CDataPrm w = Odd();
    w.ResetForMode(mode, slots);
    ExpectCommonReset(w);
    for (int ch = 0; ch < 4; ++ch) EXPECT_EQ(Geometry(w, ch), Geometry(Odd(), ch)) << "geometry kept";
    EXPECT_EQ(w.m_bySlot, mode >= 21 && mode <= 33 ? mode - 21 : 255);
    return w.m_nChInput;
  };
  using In = std::array<std::int32_t, 4>;
  for (int m = 0; m <= 3; ++m) EXPECT_EQ(inputs(m), (In{m, m, m, m}));
  for (int m = 4; m <= 7; ++m) EXPECT_EQ(inputs(m), (In{m - 4, m - 4, m - 4, m - 4}));
  EXPECT_EQ(inputs(8), (In{0, 1, 2, 3}));
  for (int m = 9; m <= 12; ++m) EXPECT_EQ(inputs(m), (In{m - 9, m - 9, m - 9, m - 9}));
  for (int m = 13; m <= 20; ++m) EXPECT_EQ(inputs(m), (In{0, 1, 2, 3}));
  for (int m = 21; m <= 33; ++m) EXPECT_EQ(inputs(m), (In{0, 1, 2, 3})) << "empty slots";
  EXPECT_EQ(inputs(34), (In{0, 1, 2, 3}));  // no slot for an index past the table
  EXPECT_EQ(inputs(-1), (In{0, 1, 2, 3}));
}

TEST(DataPrm, ResetForUserModeTakesOnlyAStoredSlot) {
  Slots slots;
  ResetAllSlots(slots);
  CDataPrm& w = slots[kWorkingSlot];
  w.ResetForMode(22, slots);
  EXPECT_EQ(w.m_nChInput, (std::array<std::int32_t, 4>{0, 1, 2, 3}));
  EXPECT_EQ(w.m_bySlot, 1);
  EXPECT_EQ(w.m_bSaved, 0);

  slots[1] = Odd();
  slots[1].m_bSaved = 2;  // only exactly 1 counts as stored
  w.ResetForMode(22, slots);
  EXPECT_EQ(w.m_bSaved, 0);
  EXPECT_EQ(w.m_nChInput, (std::array<std::int32_t, 4>{0, 1, 2, 3}));

  slots[1].m_bSaved = 1;
  w.ResetForMode(22, slots);
  EXPECT_EQ(w, slots[1]);  // field for field, geometry included
}

TEST(DataPrm, CopyFromSlotGuards) {
  Slots slots;
  ResetAllSlots(slots);
  slots[5] = Odd();
  CDataPrm r;
  r.CopyFromSlot(slots, 14);
  r.CopyFromSlot(slots, -1);
  r.CopyFromSlot(slots, 4);  // empty
  EXPECT_EQ(r, CDataPrm{});
  r.CopyFromSlot(slots, 5);
  EXPECT_EQ(r, slots[5]);
  slots[kWorkingSlot] = Odd();
  slots[kWorkingSlot].CopyFromSlot(slots, kWorkingSlot);  // onto itself
  EXPECT_EQ(slots[kWorkingSlot], Odd());
}

TEST(DataPrm, ValidateListsOutOfRangeValuesAndSanitizedReplacesThem) {
  Slots slots;
  ResetAllSlots(slots);
  for (const auto& r : slots) EXPECT_TRUE(r.Validate().empty());
  EXPECT_TRUE(CDataPrm{}.Validate().empty());

  CDataPrm r = slots[6];
  r.m_bSaved = 2;
  r.m_bySlot = 14;
  r.m_nAllOutRes = 6;
  r.m_nOutRes[2] = -1;
  r.m_nChInput[3] = 4;
  r.m_nLayer[1][2] = 9;
  r.m_nOverlayOut = 4;
  r.m_bOutDispCh[3][0] = 2;
  r.m_dW[2] = std::nan("");
  r.m_dX[1] = 1.5;
  const std::vector<std::string> expected = {
      "m_bSaved = 2, expected 0..1",      "m_bySlot = 14, expected 0..13 or 255",
      "m_nAllOutRes = 6, expected 0..5",  "m_nOutRes[2] = -1, expected 0..5",
      "m_nChInput[3] = 4, expected 0..3", "m_nLayer[1][2] = 9, expected 0..3",
      "m_nOverlayOut = 4, expected 0..3", "m_bOutDispCh[3][0] = 2, expected 0..1",
      "m_dX[1] = 1.5, expected 0..1",     "m_dW[2] = nan, expected 0..1",
  };
  EXPECT_EQ(r.Validate(), expected);

  const CDataPrm s = r.Sanitized();
  EXPECT_TRUE(s.Validate().empty());
  EXPECT_EQ(s.m_bSaved, 0);
  EXPECT_EQ(s.m_bySlot, 255);
  EXPECT_EQ(s.m_nAllOutRes, 0);
  EXPECT_EQ(s.m_nOutRes[2], 0);
  EXPECT_EQ(s.m_nChInput[3], 3);
  EXPECT_EQ(s.m_nLayer[1][2], 2);
  EXPECT_EQ(s.m_bOutDispCh[3][0], 0);
  EXPECT_EQ(s.m_dX[1], 1.0);
  EXPECT_EQ(s.m_dW[2], 1.0);
  EXPECT_EQ(s.m_dW[1], r.m_dW[1]);  // in-range values stay
}
