// The main settings panel's record changes and payloads, from the worked
// cases of its four "Set" buttons and its layer radios.
#include <gtest/gtest.h>

#include <algorithm>

#include "model/MainSetPayloads.h"

using namespace panora;

namespace {

CDataPrm Working() {
  CDataPrm r;
  r.ResetSlot(kWorkingSlot);
  return r;
}

TEST(MainSetPayloads, ResolutionSetSendsOneCodePerOutputAndKeepsTheOtherFields) {
  CDataPrm r = Working();
  r.m_nAllOutRes = 4;
  EXPECT_EQ(ResolutionSet(r, true, 2, {0, 1, 2, 3}), (Payload4{1, 2, 3, 4}));
  EXPECT_EQ(r.m_bPerOutRes, 1);
  EXPECT_EQ(r.m_nOutRes, (std::array<std::int32_t, 4>{0, 1, 2, 3}));
  EXPECT_EQ(r.m_nAllOutRes, 4);  // unchanged with "Full mode" ticked

  EXPECT_EQ(ResolutionSet(r, false, 5, {1, 1, 1, 1}), (Payload4{6, 6, 6, 6}));
  EXPECT_EQ(r.m_bPerOutRes, 0);
  EXPECT_EQ(r.m_nAllOutRes, 5);
  EXPECT_EQ(r.m_nOutRes, (std::array<std::int32_t, 4>{0, 1, 2, 3}));  // unchanged

  // A list without a choice never sends a code outside 1..6.
  EXPECT_EQ(ResolutionSet(r, false, -1, {}), (Payload4{1, 1, 1, 1}));
  EXPECT_EQ(ResolutionCode(6), 1);
  EXPECT_STREQ(kResolutionTable[5].text, "XGA 1024x768");
  EXPECT_EQ(kResolutionTable[2].height, 1200);
}

TEST(MainSetPayloads, LayerClicksKeepAPermutation) {
  Layers l{0, 1, 2, 3};
  LayerClickById(l, 1130 + 3);  // CH1 clicks L4
  EXPECT_EQ(l, (Layers{3, 0, 1, 2}));
  LayerClickById(l, 1130 + 4 * 2 + 0);  // CH3 clicks L1
  EXPECT_EQ(l, (Layers{3, 1, 0, 2}));
  LayerClick(l, 0, 3);  // the layer it already has
  EXPECT_EQ(l, (Layers{3, 1, 0, 2}));
  LayerClickById(l, 1146);  // no such radio
  LayerClick(l, 4, 0);
  LayerClick(l, 0, -1);
  EXPECT_EQ(l, (Layers{3, 1, 0, 2}));

  // Every click from every permutation gives a permutation with the clicked layer.
  Layers p{0, 1, 2, 3};
  do {
    for (int id = 1130; id <= 1145; ++id) {
      Layers q = p;
      LayerClickById(q, id);
      EXPECT_TRUE(IsLayerPermutation(q));
      EXPECT_EQ(q[(id - 1130) / 4], (id - 1130) % 4);
    }
  } while (std::next_permutation(p.begin(), p.end()));
}

TEST(MainSetPayloads, OverlayAllSendsFourFramesAndDifferentOne) {
  CDataPrm r = Working();
  const OverlayPayloads all = OverlaySet(r, 0, 2, {3, 2, 1, 0});
  ASSERT_EQ(all.count, 4);
  for (int o = 0; o < 4; ++o) {
    EXPECT_EQ(all.payload[o], (std::array<std::uint8_t, 5>{std::uint8_t(o), 4, 3, 2, 1}));
    for (int ch = 0; ch < 4; ++ch) EXPECT_EQ(r.m_nLayer[ch][o], 3 - ch);
  }
  EXPECT_EQ(r.m_nOverlayMode, 0);
  EXPECT_EQ(r.m_nOverlayOut, 2);

  const OverlayPayloads diff = OverlaySet(r, 1, 2, {0, 1, 2, 3});  // "Out3"
  ASSERT_EQ(diff.count, 1);
  EXPECT_EQ(diff.payload[0], (std::array<std::uint8_t, 5>{2, 1, 2, 3, 4}));
  EXPECT_EQ(r.m_nOverlayMode, 1);
  for (int ch = 0; ch < 4; ++ch) {
    EXPECT_EQ(r.m_nLayer[ch][2], ch);
    EXPECT_EQ(r.m_nLayer[ch][1], 3 - ch);  // the other outputs keep theirs
  }
  EXPECT_EQ(LayersOnOutput(r, 2), (Layers{0, 1, 2, 3}));
  // A record whose layers are no permutation (a damaged profile) reads as the factory order.
  r.m_nLayer[0][1] = 2;
  EXPECT_EQ(LayersOnOutput(r, 1), (Layers{3, 2, 1, 0}));
  r.m_nLayer[0][1] = 9;
  EXPECT_EQ(LayersOnOutput(r, 1), (Layers{3, 2, 1, 0}));

  // Layers that are no permutation are refused whole: nothing to send, the
  // record as it was.
  const CDataPrm before = r;
  for (const Layers& bad : {Layers{0, 0, 2, 3}, Layers{3, 2, 1, 4}, Layers{-1, 0, 1, 2}})
    for (int overlay : {0, 1}) {
      EXPECT_EQ(OverlaySet(r, overlay, 3, bad).count, 0);
      EXPECT_EQ(r.m_nLayer, before.m_nLayer);
      EXPECT_EQ(r.m_nOverlayMode, before.m_nOverlayMode);
      EXPECT_EQ(r.m_nOverlayOut, before.m_nOverlayOut);
    }
}

TEST(MainSetPayloads, DisplaySetSendsChannelMasks) {
  CDataPrm r = Working();
  std::array<ChannelBoxes, 4> rows{};
  rows[1] = {false, false, false, true};
  rows[3] = {true, true, true, true};
  EXPECT_EQ(DisplaySet(r, true, {true, false, true, false}, rows), (Payload4{5, 5, 5, 5}));
  EXPECT_EQ(r.m_bDispAll, 1);
  EXPECT_EQ(r.m_bDispCh, (std::array<std::int32_t, 4>{1, 0, 1, 0}));
  EXPECT_EQ(r.m_bOutDispCh[1][3], 1);  // the hidden rows are stored either way
  EXPECT_EQ(DisplaySet(r, false, {true, false, true, false}, rows), (Payload4{0, 8, 0, 15}));
}

}  // namespace
