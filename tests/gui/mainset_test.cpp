// The main settings panel driven through its real widgets against the
// simulated processor over a real TCP connection: after each "Set" the
// simulator holds what the panel shows, and the working record took it.
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include "SimFrameTest.h"
#include "layout/ChildFrame.h"
#include "layout/TesselView.h"

namespace panora::test {
namespace {

class MainSetTest : public SimFrameTest {
 protected:
  CDlgMainSet& p() { return f->MainSet(); }
  CDataPrm& rec() { return f->m_Profile.m_DataPrm[kWorkingSlot]; }
  QAbstractButton* Radio(int id) { return p().findChild<QAbstractButton*>(QString::number(id)); }
  // The operator picks an entry in a drop-down list.
  static void Pick(QComboBox* cb, int index) {
    cb->setCurrentIndex(index);
    emit cb->activated(index);
  }
  void Mode(int mode) {
    f->ApplyMode(mode);
    f->m_nCurMod = mode;
  }
  std::vector<SeenFrame> Sent(int command) {
    std::vector<SeenFrame> out;
    for (const SeenFrame& s : ReceivedFrames())
      if (s.command == command) out.push_back(s);
    return out;
  }
  sim::SetUp SimSetUp() { return sim->Server().GetState().setUp; }
  std::array<int, 4> LayersShown() {
    std::array<int, 4> l{};
    for (int ch = 0; ch < 4; ++ch) l[ch] = p().m_grpLayerSel[ch]->checkedId();
    return l;
  }
};

using Bytes4 = std::array<std::uint8_t, 4>;

TEST_F(MainSetTest, ResolutionSetSendsAllOutputsOrEachOneAndRefusesWhileBusy) {
  ASSERT_EQ(f->m_nCurMod, 17);
  EXPECT_FALSE(p().m_chkFullMode->isEnabled());  // a PIP mode: one resolution for all
  Pick(p().m_cbAllOutRes, 5);
  p().m_btnResolutionSet->click();
  EXPECT_TRUE(WaitUntil([&] { return SimSetUp().resolution == Bytes4{6, 6, 6, 6}; }));
  EXPECT_EQ(rec().m_nAllOutRes, 5);
  EXPECT_EQ(f->m_nCurCmd.load(), cmd::kResolution);
  EXPECT_EQ(p().GetOutputResolution(1), 5);

  // A full mode offers "Full mode"; ticking it copies "All Outs:" into each output.
  Mode(8);
  ASSERT_TRUE(p().m_chkFullMode->isEnabled());
  EXPECT_FALSE(p().m_cbOutRes[0]->isEnabled());
  Pick(p().m_cbAllOutRes, 2);
  p().m_chkFullMode->click();
  EXPECT_FALSE(p().m_cbAllOutRes->isEnabled());
  for (QComboBox* cb : p().m_cbOutRes) {
    EXPECT_TRUE(cb->isEnabled());
    EXPECT_EQ(cb->currentIndex(), 2);
  }
  for (int o = 0; o < 4; ++o) Pick(p().m_cbOutRes[o], o);
  p().m_btnResolutionSet->click();
  EXPECT_TRUE(WaitUntil([&] { return SimSetUp().resolution == Bytes4{1, 2, 3, 4}; }));
  EXPECT_EQ(rec().m_bPerOutRes, 1);
  EXPECT_EQ(rec().m_nOutRes, (std::array<std::int32_t, 4>{0, 1, 2, 3}));
  EXPECT_EQ(rec().m_nAllOutRes, 5);  // not taken from "All Outs:" with "Full mode" ticked
  EXPECT_EQ(p().GetOutputResolution(3), 3);
  EXPECT_EQ(p().GetOutputResolution(4), 0);

  // While a batch goes out: the box, nothing sent, the record changed all the same.
  Pick(p().m_cbOutRes[0], 5);
  f->m_bSending = 1;
  dialogs.ExpectBox("please wait second, sending data have not finished");
  p().m_btnResolutionSet->click();
  f->m_bSending = 0;
  EXPECT_EQ(rec().m_nOutRes[0], 5);
  EXPECT_EQ(Sent(cmd::kResolution).size(), 2u);
  EXPECT_EQ(SimSetUp().resolution, (Bytes4{1, 2, 3, 4}));

  // Unticked, the output lists grey out and "All Outs:" counts again.
  p().m_chkFullMode->click();
  EXPECT_TRUE(p().m_cbAllOutRes->isEnabled());
  EXPECT_FALSE(p().m_cbOutRes[2]->isEnabled());
  EXPECT_EQ(p().GetOutputResolution(3), 2);
}

TEST_F(MainSetTest, InputSetFeedsTheChannelsAndTheirLabels) {
  for (int id : {1015 + 3, 1019 + 0, 1023 + 2, 1027 + 1}) Radio(id)->click();
  p().m_btnInputSet->click();
  EXPECT_TRUE(WaitUntil([&] { return SimSetUp().input == Bytes4{4, 1, 3, 2}; }));
  EXPECT_EQ(rec().m_nChInput, (std::array<std::int32_t, 4>{3, 0, 2, 1}));
  for (int ch = 0; ch < 4; ++ch) EXPECT_EQ(f->ChannelFrame(ch)->View()->m_nInput, rec().m_nChInput[ch]) << ch;
  // Sent at once even while a batch goes out: its frame has a buffer of its own.
  f->m_bSending = 1;
  Radio(1015)->click();
  p().m_btnInputSet->click();
  f->m_bSending = 0;
  EXPECT_TRUE(WaitUntil([&] { return SimSetUp().input == Bytes4{1, 1, 3, 2}; }));
}

TEST_F(MainSetTest, OverlayAllGoesOutAsABatchAndDifferentAsOneFrame) {
  ASSERT_EQ(LayersShown(), (std::array<int, 4>{3, 2, 1, 0}));
  Radio(1130)->click();  // CH1 to L1: the others move up one
  EXPECT_EQ(LayersShown(), (std::array<int, 4>{0, 3, 2, 1}));
  Radio(1130 + 4 * 3 + 3)->click();  // CH4 to L4
  EXPECT_EQ(LayersShown(), (std::array<int, 4>{0, 2, 1, 3}));

  // All: four frames through the worker, Set grey until the batch ends.
  p().m_btnOverlaySet->click();
  EXPECT_FALSE(p().m_btnOverlaySet->isEnabled());
  ASSERT_TRUE(WaitUntil([&] { return p().m_btnOverlaySet->isEnabled(); }, 6000));
  const std::array<std::uint8_t, 4> layers{1, 3, 2, 4};
  for (int o = 0; o < 4; ++o) {
    EXPECT_EQ(SimSetUp().layers[o], layers) << o;
    for (int ch = 0; ch < 4; ++ch) EXPECT_EQ(rec().m_nLayer[ch][o], layers[ch] - 1);
  }
  std::vector<SeenFrame> frames = Sent(cmd::kOverlay);
  ASSERT_EQ(frames.size(), 4u);
  for (int o = 0; o < 4; ++o) EXPECT_EQ(frames[o].payload, (std::vector<int>{o, 1, 3, 2, 4}));
  EXPECT_EQ(rec().m_nOverlayMode, 0);

  // Different on "Out3": one frame for that output only.
  p().findChild<QRadioButton*>(QStringLiteral("1033"))->click();
  ASSERT_TRUE(p().m_cbOverlayOut->isEnabled());
  Pick(p().m_cbOverlayOut, 2);
  EXPECT_EQ(LayersShown(), (std::array<int, 4>{0, 2, 1, 3}));  // what the record holds for Out3
  Radio(1130 + 4 * 1 + 0)->click();                            // CH2 to L1
  EXPECT_EQ(LayersShown(), (std::array<int, 4>{1, 0, 2, 3}));
  p().m_btnOverlaySet->click();
  EXPECT_TRUE(p().m_btnOverlaySet->isEnabled());
  EXPECT_TRUE(WaitUntil([&] { return SimSetUp().layers[2] == Bytes4{2, 1, 3, 4}; }));
  EXPECT_EQ(SimSetUp().layers[1], layers);
  frames = Sent(cmd::kOverlay);
  ASSERT_EQ(frames.size(), 5u);
  EXPECT_EQ(frames[4].payload, (std::vector<int>{2, 2, 1, 3, 4}));
  EXPECT_EQ(rec().m_nOverlayMode, 1);
  EXPECT_EQ(rec().m_nOverlayOut, 2);
  EXPECT_EQ(rec().m_nLayer[1][2], 0);
  EXPECT_EQ(rec().m_nLayer[1][1], 2);

  // Choosing another output shows its layers from the record.
  Pick(p().m_cbOverlayOut, 0);
  EXPECT_EQ(LayersShown(), (std::array<int, 4>{0, 2, 1, 3}));

  // Busy: refused with the box, the record taken.
  Pick(p().m_cbOverlayOut, 3);
  f->m_bSending = 1;
  dialogs.ExpectBox("please wait second, sending data have not finished");
  p().m_btnOverlaySet->click();
  f->m_bSending = 0;
  EXPECT_EQ(rec().m_nOverlayOut, 3);
  EXPECT_EQ(Sent(cmd::kOverlay).size(), 5u);

  // Without a connection an All batch ends at once and Set comes back.
  p().findChild<QRadioButton*>(QStringLiteral("1032"))->click();
  EXPECT_FALSE(p().m_cbOverlayOut->isEnabled());
  f->OnDisconnect();
  p().m_btnOverlaySet->click();
  EXPECT_TRUE(WaitUntil([&] { return p().m_btnOverlaySet->isEnabled(); }));
}

TEST_F(MainSetTest, OverlaySetStaysGreyInAModeWithoutOverlayWhenItsBatchEnds) {
  p().m_btnOverlaySet->click();
  Mode(8);  // a full mode: the overlay group is off
  EXPECT_FALSE(p().m_btnOverlaySet->isEnabled());
  ASSERT_TRUE(WaitUntil([&] { return f->m_nJobType.load() == 0 && f->m_bSending.load() == 0; }, 6000));
  EXPECT_FALSE(p().m_btnOverlaySet->isEnabled());
  Mode(14);
  EXPECT_TRUE(p().m_btnOverlaySet->isEnabled());
}

TEST_F(MainSetTest, OutputDisplaySetSendsChannelMasksAllOrPerOutput) {
  p().m_chkDispCh[1]->click();
  p().m_chkDispCh[3]->click();
  p().m_btnDisplaySet->click();
  EXPECT_TRUE(WaitUntil([&] { return SimSetUp().outputMask == Bytes4{5, 5, 5, 5}; }));
  EXPECT_EQ(rec().m_bDispCh, (std::array<std::int32_t, 4>{1, 0, 1, 0}));
  EXPECT_EQ(rec().m_bDispAll, 1);

  // The hidden "All" box still works: unticked, each output row takes the
  // channel boxes' states and becomes the payload.
  ASSERT_FALSE(p().m_chkDispAll->isVisible());
  p().m_chkDispAll->click();
  EXPECT_FALSE(p().m_chkDispCh[0]->isEnabled());
  EXPECT_TRUE(p().m_chkOutDispCh[0]->isEnabled());
  EXPECT_FALSE(p().m_chkOutDispCh[1]->isChecked());
  p().m_chkOutDispCh[4 * 3 + 1]->click();  // Out4 Ch2
  p().m_btnDisplaySet->click();
  EXPECT_TRUE(WaitUntil([&] { return SimSetUp().outputMask == Bytes4{5, 5, 5, 7}; }));
  EXPECT_EQ(rec().m_bDispAll, 0);
  EXPECT_EQ(rec().m_bOutDispCh[3], (std::array<std::int32_t, 4>{1, 1, 1, 0}));
  p().m_chkDispAll->click();
  EXPECT_TRUE(p().m_chkDispCh[0]->isEnabled());
  EXPECT_FALSE(p().m_chkOutDispCh[0]->isEnabled());

  // The refresh note goes with its button: shown in the PIP and POP modes only.
  Mode(9);
  EXPECT_FALSE(p().m_lblRefreshNote->isVisible());
  EXPECT_FALSE(p().m_btnDisplaySet->isEnabled());
  Mode(18);
  EXPECT_TRUE(p().m_lblRefreshNote->isVisible());
  EXPECT_TRUE(p().m_chkDispCh[1]->isChecked());
}

TEST_F(MainSetTest, AccessibleActionsOfTheRadiosAndBoxesDoWhatAClickDoes) {
  // CH1 to L1 by its radio's action: the others move up one, as for a
  // click, and Overlay Set sends the order shown.
  Mode(20);
  ASSERT_EQ(LayersShown(), (std::array<int, 4>{3, 2, 1, 0}));
  AccessiblePress(Radio(1130));
  EXPECT_EQ(LayersShown(), (std::array<int, 4>{0, 3, 2, 1}));
  auto layersSent = [&] {
    std::vector<std::vector<int>> out;
    for (const SeenFrame& s : Sent(cmd::kOverlay)) out.emplace_back(s.payload.begin() + 1, s.payload.end());
    return out;
  };
  AccessiblePress(p().m_btnOverlaySet);
  ASSERT_TRUE(WaitUntil([&] { return layersSent().size() == 4u && p().m_btnOverlaySet->isEnabled(); }, 6000));
  EXPECT_EQ(layersSent(), std::vector<std::vector<int>>(4, {1, 4, 3, 2}));

  // Radios checked behind the panel's back cannot put two channels on one
  // layer: the order the panel holds goes out and is shown again.
  Radio(1130 + 4 * 1 + 0)->setChecked(true);  // CH2 on L1 beside CH1
  p().m_btnOverlaySet->click();
  ASSERT_TRUE(WaitUntil([&] { return layersSent().size() == 8u && p().m_btnOverlaySet->isEnabled(); }, 6000));
  EXPECT_EQ(layersSent(), std::vector<std::vector<int>>(8, {1, 4, 3, 2}));
  EXPECT_EQ(LayersShown(), (std::array<int, 4>{0, 3, 2, 1}));

  // "Different", an input radio and a channel box by their actions.
  AccessiblePress(p().findChild<QRadioButton*>(QStringLiteral("1033")));
  EXPECT_TRUE(p().m_cbOverlayOut->isEnabled());
  AccessiblePress(Radio(1015 + 2));  // CH1 from In3
  AccessiblePress(p().m_btnInputSet);
  EXPECT_TRUE(WaitUntil([&] { return SimSetUp().input[0] == 3; }));
  AccessiblePress(p().m_chkDispCh[1]);
  AccessiblePress(p().m_btnDisplaySet);
  EXPECT_TRUE(WaitUntil([&] { return SimSetUp().outputMask == Bytes4{13, 13, 13, 13}; }));

  // "Full mode" by its action hands the resolution to the four outputs.
  Mode(8);
  AccessiblePress(p().m_chkFullMode);
  EXPECT_TRUE(p().m_chkFullMode->isChecked());
  EXPECT_FALSE(p().m_cbAllOutRes->isEnabled());
  EXPECT_TRUE(p().m_cbOutRes[0]->isEnabled());
}

}  // namespace
}  // namespace panora::test
