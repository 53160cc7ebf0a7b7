#include "model/DataPrm.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace panora {

namespace {

constexpr double kThird = 1.0 / 3.0;  // division rounds to the nearest double
constexpr double kTwoThirds = 2.0 / 3.0;

struct Rect {
  double x, y, w, h;
};

// Factory window layout of slots 0..12 (CH1..CH4); slots 5..9 start as the
// five PIP layouts, 10..12 as the three POP layouts.
constexpr Rect kFull{0, 0, 1, 1};
constexpr Rect kSlotGeometry[13][4] = {
    {kFull, kFull, kFull, kFull},
    {kFull, kFull, kFull, kFull},
    {kFull, kFull, kFull, kFull},
    {kFull, kFull, kFull, kFull},
    {kFull, kFull, kFull, kFull},
    {kFull, {0, 0, 0.5, 0.5}, {0, 0, 0.25, 0.25}, {0, 0, 0.125, 0.125}},
    {kFull, {0.75, 0, 0.25, kThird}, {0.75, kThird, 0.25, kThird}, {0.75, kTwoThirds, 0.25, kThird}},
    {kFull, {0, 0, 0.25, kThird}, {0, kTwoThirds, 0.25, kThird}, {0.75, kTwoThirds, 0.25, kThird}},
    {kFull,
     {0, kTwoThirds, kThird, kThird},
     {kThird, kTwoThirds, kThird, kThird},
     {kTwoThirds, kTwoThirds, kThird, kThird}},
    {kFull, {0.25, 0.25, 0.5, 0.5}, {0.375, 0.375, 0.25, 0.25}, {0.4375, 0.4375, 0.125, 0.125}},
    {{0, 0, 0.75, 1},
     {0.75, 0, 0.25, kThird},
     {0.75, kThird, 0.25, kThird},
     {0.75, kTwoThirds, 0.25, kThird}},
    {{0, 0, 1, kTwoThirds},
     {0, kTwoThirds, kThird, kThird},
     {kThird, kTwoThirds, kThird, kThird},
     {kTwoThirds, kTwoThirds, kThird, kThird}},
    {{0, 0, 0.5, 0.5}, {0.5, 0, 0.5, 0.5}, {0, 0.5, 0.5, 0.5}, {0.5, 0.5, 0.5, 0.5}},
};

// Steps shared by ResetSlot and ResetForMode: everything except m_bySlot,
// the channel inputs' special cases and the geometry.
void ResetSettings(CDataPrm& r) {
  r.m_bSaved = 0;
  r.m_byReserved1 = 255;
  r.m_byReserved2 = 255;
  r.m_byReservedA = {100, 100, 100, 100};
  r.m_byReservedB = {0, 0, 0, 0};
  r.m_nBorderScope = 0;
  r.m_nBorderAll = 0;
  r.m_nBorderCh = {0, 0, 0, 0};
  r.m_nAllOutRes = 0;
  r.m_bPerOutRes = 0;
  r.m_nOutRes = {0, 0, 0, 0};
  r.m_nOverlayMode = 0;
  r.m_nOverlayOut = 0;
  for (int ch = 0; ch < 4; ++ch) r.m_nLayer[ch] = {3 - ch, 3 - ch, 3 - ch, 3 - ch};
  r.m_bDispCh = {1, 1, 1, 1};
  r.m_bDispAll = 1;
  for (auto& out : r.m_bOutDispCh) out = {0, 0, 0, 0};
  r.m_nChInput = {0, 1, 2, 3};
}

bool InRange(std::int32_t v, int lo, int hi) {
  return v >= lo && v <= hi;
}

}  // namespace

void CDataPrm::ResetSlot(int k) {
  if (k < 0 || k >= kSlotCount) return;
  ResetSettings(*this);
  if (k >= 1 && k <= 4) m_nChInput = {k - 1, k - 1, k - 1, k - 1};
  m_bySlot = static_cast<std::uint8_t>(k);
  if (k == kWorkingSlot) return;
  for (int ch = 0; ch < 4; ++ch) {
    const Rect& g = kSlotGeometry[k][ch];
    m_dX[ch] = g.x;
    m_dY[ch] = g.y;
    m_dW[ch] = g.w;
    m_dH[ch] = g.h;
  }
}

void CDataPrm::CopyFromSlot(const std::array<CDataPrm, kSlotCount>& slots, int k) {
  if (k < 0 || k >= kSlotCount) return;
  if (slots[k].m_bSaved != 1) return;
  if (&slots[k] != this) *this = slots[k];
  m_bSaved = 1;
}

void CDataPrm::ResetForMode(int mode, const std::array<CDataPrm, kSlotCount>& slots) {
  ResetSettings(*this);
  // Only the user modes 21..33 own a slot; anything else belongs to none.
  m_bySlot = (mode >= 21 && mode <= 33) ? static_cast<std::uint8_t>(mode - 21) : kNoSlot;
  if (mode >= 0 && mode <= 3) {
    m_nChInput = {mode, mode, mode, mode};
  } else if (mode >= 4 && mode <= 7) {
    m_nChInput = {mode - 4, mode - 4, mode - 4, mode - 4};
  } else if (mode >= 9 && mode <= 12) {
    m_nChInput = {mode - 9, mode - 9, mode - 9, mode - 9};
  } else if (mode >= 21 && mode <= 33) {
    CopyFromSlot(slots, mode - 21);
  }
}

void ResetAllSlots(std::array<CDataPrm, kSlotCount>& slots) {
  for (int k = 0; k < kSlotCount; ++k) slots[k].ResetSlot(k);
}

std::vector<std::string> CDataPrm::Validate() const {
  std::vector<std::string> out;
  char buf[128];
  const auto check = [&](const char* name, int i, int j, std::int32_t v, int lo, int hi) {
    if (InRange(v, lo, hi)) return;
    char index[24] = "";
    if (i >= 0 && j >= 0)
      std::snprintf(index, sizeof index, "[%d][%d]", i, j);
    else if (i >= 0)
      std::snprintf(index, sizeof index, "[%d]", i);
    std::snprintf(buf, sizeof buf, "%s%s = %d, expected %d..%d", name, index, static_cast<int>(v), lo, hi);
    out.emplace_back(buf);
  };
  check("m_bSaved", -1, -1, m_bSaved, 0, 1);
  if (m_bySlot >= kSlotCount && m_bySlot != kNoSlot) {
    std::snprintf(buf, sizeof buf, "m_bySlot = %d, expected 0..13 or 255", m_bySlot);
    out.emplace_back(buf);
  }
  check("m_nBorderScope", -1, -1, m_nBorderScope, 0, 1);
  check("m_nBorderAll", -1, -1, m_nBorderAll, 0, 1);
  for (int i = 0; i < 4; ++i) check("m_nBorderCh", i, -1, m_nBorderCh[i], 0, 1);
  check("m_nAllOutRes", -1, -1, m_nAllOutRes, 0, kResolutionCount - 1);
  check("m_bPerOutRes", -1, -1, m_bPerOutRes, 0, 1);
  for (int i = 0; i < 4; ++i) check("m_nOutRes", i, -1, m_nOutRes[i], 0, kResolutionCount - 1);
  for (int i = 0; i < 4; ++i) check("m_nChInput", i, -1, m_nChInput[i], 0, 3);
  check("m_nOverlayMode", -1, -1, m_nOverlayMode, 0, 1);
  for (int c = 0; c < 4; ++c)
    for (int o = 0; o < 4; ++o) check("m_nLayer", c, o, m_nLayer[c][o], 0, 3);
  check("m_nOverlayOut", -1, -1, m_nOverlayOut, 0, 3);
  for (int i = 0; i < 4; ++i) check("m_bDispCh", i, -1, m_bDispCh[i], 0, 1);
  check("m_bDispAll", -1, -1, m_bDispAll, 0, 1);
  for (int o = 0; o < 4; ++o)
    for (int c = 0; c < 4; ++c) check("m_bOutDispCh", o, c, m_bOutDispCh[o][c], 0, 1);
  const auto checkGeometry = [&](const char* name, const std::array<double, 4>& v) {
    for (int i = 0; i < 4; ++i) {
      if (v[i] >= 0.0 && v[i] <= 1.0) continue;  // also false for NaN
      std::snprintf(buf, sizeof buf, "%s[%d] = %.17g, expected 0..1", name, i, v[i]);
      out.emplace_back(buf);
    }
  };
  checkGeometry("m_dX", m_dX);
  checkGeometry("m_dY", m_dY);
  checkGeometry("m_dW", m_dW);
  checkGeometry("m_dH", m_dH);
  return out;
}

CDataPrm CDataPrm::Sanitized() const {
  CDataPrm r = *this;
  const auto fix = [](std::int32_t& v, int lo, int hi, std::int32_t factory) {
    if (!InRange(v, lo, hi)) v = factory;
  };
  fix(r.m_bSaved, 0, 1, 0);  // anything but 1 counts as empty anyway
  if (r.m_bySlot >= kSlotCount && r.m_bySlot != kNoSlot) r.m_bySlot = kNoSlot;
  fix(r.m_nBorderScope, 0, 1, 0);
  fix(r.m_nBorderAll, 0, 1, 0);
  for (auto& v : r.m_nBorderCh) fix(v, 0, 1, 0);
  fix(r.m_nAllOutRes, 0, kResolutionCount - 1, 0);
  fix(r.m_bPerOutRes, 0, 1, 0);
  for (auto& v : r.m_nOutRes) fix(v, 0, kResolutionCount - 1, 0);
  for (int c = 0; c < 4; ++c) fix(r.m_nChInput[c], 0, 3, c);
  fix(r.m_nOverlayMode, 0, 1, 0);
  for (int c = 0; c < 4; ++c)
    for (auto& v : r.m_nLayer[c]) fix(v, 0, 3, 3 - c);
  fix(r.m_nOverlayOut, 0, 3, 0);
  for (auto& v : r.m_bDispCh) fix(v, 0, 1, 1);
  fix(r.m_bDispAll, 0, 1, 1);
  for (auto& out : r.m_bOutDispCh)
    for (auto& v : out) fix(v, 0, 1, 0);
  // Geometry: NaN takes the full-screen factory window, the rest is clamped.
  const auto clamp = [](std::array<double, 4>& v, double factory) {
    for (auto& d : v) d = std::isnan(d) ? factory : std::clamp(d, 0.0, 1.0);
  };
  clamp(r.m_dX, 0.0);
  clamp(r.m_dY, 0.0);
  clamp(r.m_dW, 1.0);
  clamp(r.m_dH, 1.0);
  return r;
}

}  // namespace panora
