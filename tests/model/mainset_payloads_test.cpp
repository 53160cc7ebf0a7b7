// The main settings panel's record changes and payloads, from the worked
// cases of its four "Set" buttons and its layer radios.
#include <gtest/gtest.h>

#include <algorithm>

#include "model/MainSetPayloads.h"
#include "model/PicturePayloads.h"
#include "model/SetupFrames.h"

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

// The whole set-up as frames: what each one says, in the order Send Set-up
// and panora-ctl send them.
TEST(SetupFrames, TheRecordsSettingsPictureAndWindowsInTheirOrder) {
  CDataPrm rec;
  rec.ResetSlot(kWorkingSlot);
  rec.m_bPerOutRes = 1;
  rec.m_nOutRes = {0, 1, 5, 9};  // 9: no such resolution, sent as the first
  rec.m_nChInput = {3, 2, 1, 0};
  rec.m_nLayer[0] = {0, 0, 0, 0};  // CH1 on L1 everywhere...
  rec.m_nLayer[1] = {1, 1, 1, 1};
  rec.m_nLayer[2] = {2, 2, 2, 2};
  rec.m_nLayer[3] = {3, 3, 3, 7};  // ...and a damaged output 4, sent as the factory order
  rec.m_bDispAll = 0;
  rec.m_bOutDispCh[1] = {1, 0, 1, 0};
  rec.m_nBorderCh = {1, 0, 0, 1};
  SessionPicture picture;
  picture.NoteContrast(kPicChannelAll, 150);
  picture.NoteBrightness(2, 700);
  WindowPlaces windows{ChannelFractions{0, 0, 1, 1}, ChannelFractions{0.5, 0.5, 0.5, 0.5}, ChannelFractions{},
                       ChannelFractions{0.25, 0, 0.25, 1}};
  const std::vector<FrameBytes> f = SetupFrames(17, rec, windows, &picture);
  std::vector<std::string> what;
  for (const FrameBytes& b : f) what.push_back(DescribeSetupFrame(b));
  EXPECT_EQ(what, (std::vector<std::string>{
                      "recall PIP-Default 5", "resolution", "channel inputs", "layers Out1", "layers Out2", "layers Out3",
                      "layers Out4", "output display", "border", "contrast CH1", "contrast CH2", "contrast CH3",
                      "brightness CH3", "contrast CH4", "window CH1", "window CH2", "window CH3", "window CH4"}));
  auto payload = [&](std::size_t i) { return std::vector<int>(f[i].begin() + 8, f[i].end() - 4); };
  EXPECT_EQ(payload(1), (std::vector<int>{1, 2, 6, 1}));
  EXPECT_EQ(payload(2), (std::vector<int>{4, 3, 2, 1}));
  EXPECT_EQ(payload(3), (std::vector<int>{0, 1, 2, 3, 4}));
  EXPECT_EQ(payload(6), (std::vector<int>{3, 4, 3, 2, 1}));
  EXPECT_EQ(payload(7)[1], 0x05);
  EXPECT_EQ(payload(8), (std::vector<int>{1, 0, 0, 1}));
  // Each window at the resolution of its own output: CH2 at 720p, CH4 at 1080p.
  EXPECT_EQ(payload(15), (std::vector<int>{0x02, 0x80, 0x01, 0x68, 0x02, 0x80, 0x01, 0x68}));
  EXPECT_EQ(payload(17), (std::vector<int>{0x01, 0xE0, 0, 0, 0x01, 0xE0, 0x04, 0x38}));
  for (const FrameBytes& b : f) EXPECT_EQ(b.size(), static_cast<std::size_t>(b[3] + 8));  // well formed
}

TEST(SetupFrames, AStoredUserModeIsMadeAsAnOperatorMakesIt) {
  std::array<CDataPrm, kSlotCount> records;
  ResetAllSlots(records);
  records[4].m_bSaved = 1;  // Full-User 5, made in Full-Default 5
  records[9].m_bSaved = 0;  // not stored: nothing
  const std::vector<FrameBytes> f =
      SetupWithUserModes(records, 8, records[kWorkingSlot], PlacesOf(records[kWorkingSlot]));
  // Recall, eight settings, four windows, store; then the set-up itself.
  ASSERT_EQ(f.size(), 14u + 13u);
  EXPECT_EQ(DescribeSetupFrame(f[0]), "recall Full-Default 5");
  EXPECT_EQ(DescribeSetupFrame(f[13]), "store user mode");
  EXPECT_EQ(DescribeSetupFrame(f[14]), "recall Full-Default 1");
  EXPECT_TRUE(UserModeFrames(9, records[9]).empty());
  EXPECT_TRUE(SetupFrames(40, records[kWorkingSlot], {}).empty());
}
