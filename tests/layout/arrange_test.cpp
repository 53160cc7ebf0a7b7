#include "layout/Arrange.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "panels/ModeRefresh.h"

namespace panora {
namespace {

std::array<CDataPrm, kSlotCount> FactoryRecords() {
  std::array<CDataPrm, kSlotCount> r;
  ResetAllSlots(r);
  return r;
}

TEST(Arrange, PictureInPictureModesOnOddAndEvenAreas) {
  const auto rec = FactoryRecords();
  // The right-hand column: the last window takes the odd pixels.
  auto a = ArrangeChannels(14, 1001, 601, rec);
  EXPECT_EQ(a.frames[0], (Rect{0, 0, 1001, 601}));
  EXPECT_EQ(a.frames[1], (Rect{750, 0, 1000, 200}));
  EXPECT_EQ(a.frames[2], (Rect{750, 200, 1000, 400}));
  EXPECT_EQ(a.frames[3], (Rect{750, 400, 1001, 601}));
  EXPECT_TRUE(a.sink);
  EXPECT_EQ(a.select, -1);
  EXPECT_EQ(ArrangeChannels(14, 1000, 600, rec).frames[3], (Rect{750, 400, 1000, 600}));

  // Nested centred halves; an odd area drops its odd pixel from the second window on.
  a = ArrangeChannels(17, 1000, 600, rec);
  EXPECT_EQ(a.frames[0], (Rect{0, 0, 1000, 600}));
  EXPECT_EQ(a.frames[1], (Rect{250, 150, 750, 450}));
  EXPECT_EQ(a.frames[2], (Rect{375, 225, 625, 375}));
  EXPECT_EQ(a.frames[3], (Rect{437, 262, 562, 337}));
  EXPECT_FALSE(a.sink);
  EXPECT_EQ(a.select, -1);
  a = ArrangeChannels(17, 1003, 603, rec);
  EXPECT_EQ(a.frames[1], (Rect{250, 150, 751, 451}));
  EXPECT_EQ(a.frames[2], (Rect{375, 225, 625, 375}));
  EXPECT_EQ(a.frames[3], (Rect{437, 262, 562, 337}));

  // The bottom row leaves the odd pixels of the width uncovered.
  a = ArrangeChannels(16, 1001, 601, rec);
  EXPECT_EQ(a.frames[1], (Rect{0, 401, 333, 601}));
  EXPECT_EQ(a.frames[3], (Rect{666, 401, 999, 601}));
  // Modes 17, 19 and 20 keep the z-order, the others sink; all show In1..In4.
  for (int mode = 13; mode <= 20; ++mode) {
    a = ArrangeChannels(mode, 1001, 601, rec);
    EXPECT_EQ(a.sink, mode != 17 && mode != 19 && mode != 20) << mode;
    EXPECT_EQ(a.inputs, (std::array<int, 4>{0, 1, 2, 3})) << mode;
  }
}

TEST(Arrange, ZoomOutAndFullModesCoverTheAreaAndSelectTheInputShown) {
  const auto rec = FactoryRecords();
  const Rect F{0, 0, 900, 500};
  struct Case {
    int mode, select, input;
  };
  for (const Case c : {Case{0, 0, 0}, Case{3, 3, 3}, Case{6, 2, 2}, Case{9, 0, 0}, Case{12, 3, 3}}) {
    const auto a = ArrangeChannels(c.mode, 900, 500, rec);
    EXPECT_EQ(a.frames, (std::array<Rect, 4>{F, F, F, F})) << c.mode;
    EXPECT_TRUE(a.sink) << c.mode;
    EXPECT_EQ(a.select, c.select) << c.mode;
    EXPECT_EQ(a.inputs, (std::array<int, 4>{c.input, c.input, c.input, c.input})) << c.mode;
  }
  // Full-Default 1 shows every input; the Full-User modes select no window
  // and take the inputs of their slot (slot 2 resets to In2 everywhere).
  auto a = ArrangeChannels(8, 900, 500, rec);
  EXPECT_EQ(a.select, -1);
  EXPECT_EQ(a.inputs, (std::array<int, 4>{0, 1, 2, 3}));
  a = ArrangeChannels(23, 900, 500, rec);
  EXPECT_EQ(a.frames, (std::array<Rect, 4>{F, F, F, F}));
  EXPECT_TRUE(a.sink);
  EXPECT_EQ(a.select, -1);
  EXPECT_EQ(a.inputs, (std::array<int, 4>{1, 1, 1, 1}));
  // Outside 0..33 nothing is placed.
  EXPECT_FALSE(ArrangeChannels(34, 900, 500, rec).placed);
  EXPECT_FALSE(ArrangeChannels(-1, 900, 500, rec).placed);
  EXPECT_TRUE(ArrangeChannels(33, 900, 500, rec).placed);
}

TEST(Arrange, UserModesComeFromTheirSlotWhetherStoredOrNot) {
  auto rec = FactoryRecords();
  // Right after a factory reset slot 6 holds the fractions of mode 14.
  ASSERT_EQ(rec[6].m_bSaved, 0);
  auto a = ArrangeChannels(27, 1000, 600, rec);
  EXPECT_EQ(a.frames, ArrangeChannels(14, 1000, 600, rec).frames);
  EXPECT_FALSE(a.sink);
  EXPECT_EQ(a.select, -1);

  CDataPrm& s = rec[30 - 21];
  s.m_bSaved = 0;
  s.m_dX = {0.5, 0, 0.25, 0.1};
  s.m_dY = {0.5, 0, 0.75, 0.1};
  s.m_dW = {0.5, 0.25, 0.5, 0.3};
  s.m_dH = {0.5, 0.25, 0.25, 0.3};
  s.m_nChInput = {3, 2, 1, 0};
  a = ArrangeChannels(30, 800, 400, rec);
  EXPECT_EQ(a.frames, (std::array<Rect, 4>{Rect{400, 200, 800, 400}, Rect{0, 0, 200, 100},
                                           Rect{200, 300, 600, 400}, Rect{80, 40, 320, 160}}));
  EXPECT_EQ(a.inputs, (std::array<int, 4>{3, 2, 1, 0}));

  // What a profile may hold out of range is arranged as its factory value.
  s.m_dX[0] = std::numeric_limits<double>::quiet_NaN();
  s.m_dW[0] = 1e300;
  s.m_dH[1] = -4;
  s.m_nChInput = {7, -1, 2, 3};
  a = ArrangeChannels(30, 800, 400, rec);
  EXPECT_EQ(a.frames[0], (Rect{0, 200, 800, 400}));
  EXPECT_EQ(a.frames[1], (Rect{0, 0, 200, 0}));
  EXPECT_EQ(a.inputs, (std::array<int, 4>{0, 1, 2, 3}));
}

TEST(Arrange, AMeasuredWindowIsPlacedBackOnTheSamePixels) {
  // l / W as a double times W can fall just below l; the window must still
  // come back where it was measured, for every position on real area sizes.
  for (const int W : {49, 886, 1000, 1001}) {
    const int H = W * 3 / 5 + 1;
    const Rect layout{7, 93, 7 + W, 93 + H};
    for (int l = 0; l <= W; ++l) {
      const int t = l * H / W;
      const Rect window{7 + l, 93 + t, 7 + W, 93 + H};
      const ChannelFractions f = MeasureFractions(window, layout);
      ASSERT_EQ(PlaceFractions(f, W, H), window.Offset(-7, -93)) << W << " " << l;
    }
  }
  // A window on the area's left edge of a 1000-pixel area, and an empty area.
  const ChannelFractions f = MeasureFractions(Rect{10, 20, 510, 170}, Rect{10, 20, 1010, 620});
  EXPECT_DOUBLE_EQ(f.x, 0);
  EXPECT_DOUBLE_EQ(f.w, 0.5);
  EXPECT_DOUBLE_EQ(f.h, 0.25);
  const ChannelFractions none = MeasureFractions(Rect{0, 0, 10, 10}, Rect{5, 5, 5, 9});
  EXPECT_EQ(none.x + none.y + none.w + none.h, 0);
  // Truly fractional products are still truncated.
  EXPECT_EQ(PlaceFractions({0.75, 0, 0.25, 1}, 1001, 1), (Rect{750, 0, 1000, 1}));
}

// Records the steps it is asked for.
class StepLog : public ModeRefresh {
 public:
  StepLog(std::vector<std::string>& log, const char* name) : m_log(log), m_name(name) {}
  void ResetBrightness(const ModeRefreshContext&) override { Add("1"); }
  void RefreshBorderGroup(const ModeRefreshContext&) override { Add("2"); }
  void EnableFullModeButtons(bool on) override { Add(on ? "3on" : "3off"); }
  void RefreshBezelEnabling(const ModeRefreshContext&) override { Add("4"); }
  void RefreshResolution(const ModeRefreshContext&) override { Add("5"); }
  void RefreshInput(const ModeRefreshContext&) override { Add("6"); }
  void RefreshOverlay(const ModeRefreshContext&) override { Add("7"); }
  void RefreshOutputDisplay(const ModeRefreshContext&) override { Add("8"); }
  void TransferOut() override { Add("9"); }

 private:
  void Add(const char* step) { m_log.push_back(m_name + step); }
  std::vector<std::string>& m_log;
  std::string m_name;
};

TEST(ModeRefreshSteps, RunStepByStepOverThePanelsWithTheirRules) {
  std::vector<std::string> log;
  StepLog a(log, "a"), b(log, "b");
  ModeRefresh* const panels[] = {&a, nullptr, &b};
  auto run = [&](int mode, int current) {
    log.clear();
    RunModeRefresh(panels, ModeRefreshContext{mode, current, nullptr, {}});
    std::string s;
    for (const auto& e : log) s += e + " ";
    return s;
  };
  EXPECT_EQ(run(22, 17), "a1 b1 a2 b2 a3on b3on a4 b4 a5 b5 a6 b6 a7 b7 a8 b8 a9 b9 ");
  // The mode already shown keeps its output display group.
  EXPECT_EQ(run(14, 14), "a1 b1 a2 b2 a3off b3off a4 b4 a5 b5 a6 b6 a7 b7 a9 b9 ");
  // The full-mode buttons follow 0..33 only.
  EXPECT_EQ(run(8, 17).find("a3on"), 4u * 3);
  EXPECT_NE(run(33, 17).find("a3off"), std::string::npos);
  EXPECT_EQ(run(34, 17).find("a3"), std::string::npos);
}

}  // namespace
}  // namespace panora
