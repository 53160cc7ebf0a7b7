#include "model/ModeController.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "link/Frame.h"
#include "model/ModeTable.h"

using namespace panora;

namespace {

// Records what the controller asks of the main frame, in order.
class RecordingHost : public ModeHost {
 public:
  void UnmaximizeViews() override { calls.push_back("unmaximize"); }
  void ApplyMode(int mode) override {
    // With the mode it leaves and the input the working record gives CH1.
    calls.push_back("apply " + std::to_string(mode) + " cur " + std::to_string(*cur) + " in " +
                    std::to_string(profile->m_DataPrm[kWorkingSlot].m_nChInput[0]));
  }
  void SinkChannels() override { calls.push_back("sink"); }
  std::array<double, 4> MeasureChannel(int ch) override {
    calls.push_back("measure " + std::to_string(ch));
    return {0.1 * ch, 0.2, 0.25, 0.5 + ch};
  }
  bool Sending() const override { return sending; }
  void NoteCommand(int c, int s) override {
    calls.push_back("note " + std::to_string(c) + " " + std::to_string(s));
  }
  void SendFrame(const std::uint8_t* b, int n) override {
    sent.emplace_back(b, b + n);
    calls.push_back("send");
  }
  void ShowMessage(const std::string& text) override { calls.push_back("box " + text); }
  bool Confirm(const std::string& text, const std::string& yes, const std::string& no) override {
    calls.push_back("ask " + text + " [" + yes + "/" + no + "]");
    return answer;
  }
  void ModeNamesChanged() override { calls.push_back("names"); }

  const int* cur = nullptr;
  const CProfile* profile = nullptr;
  bool sending = false;
  bool answer = true;
  std::vector<std::string> calls;
  std::vector<std::vector<std::uint8_t>> sent;
};

class ModeControllerTest : public testing::Test {
 protected:
  ModeControllerTest() {
    host.cur = &cur;
    host.profile = &profile;
  }
  std::vector<std::string> Take() {
    auto c = std::move(host.calls);
    host.calls.clear();
    return c;
  }
  static std::vector<std::uint8_t> Bytes(std::initializer_list<int> b) { return {b.begin(), b.end()}; }

  int cur = 17, prev = 17;
  CProfile profile;
  RecordingHost host;
  ModeController modes{cur, prev, profile, host};
};

TEST_F(ModeControllerTest, RecallsFollowTheirOwnOrderAndSendTheModesFrame) {
  // Quick button 5 is mode 14: applied, then the modes, then the record.
  profile.m_DataPrm[kWorkingSlot].m_nChInput = {3, 3, 3, 3};
  EXPECT_TRUE(modes.Quick(5));
  EXPECT_EQ(Take(), (std::vector<std::string>{"unmaximize", "apply 14 cur 17 in 3", "note 1 1", "send"}));
  EXPECT_EQ(cur, 14);
  EXPECT_EQ(prev, 17);
  EXPECT_EQ(profile.m_DataPrm[kWorkingSlot].m_nChInput, (std::array<int, 4>{0, 1, 2, 3}));
  EXPECT_EQ(host.sent.back(), Bytes({0x7D, 0x3A, 0, 4, 0x01, 0x01, 0, 0, 0x02, 0x45, 0x4E, 0x44}));

  // Load mode 27 (a user slot): the record is reset before ApplyMode sees it.
  profile.m_DataPrm[6].m_bSaved = 1;
  profile.m_DataPrm[6].m_nChInput = {2, 2, 1, 0};
  EXPECT_TRUE(modes.Load(27));
  EXPECT_EQ(Take(), (std::vector<std::string>{"unmaximize", "apply 27 cur 14 in 2", "note 1 33", "send"}));
  EXPECT_EQ(profile.m_DataPrm[kWorkingSlot].m_nChInput, (std::array<int, 4>{2, 2, 1, 0}));
  EXPECT_EQ(host.sent.back(), Bytes({0x7D, 0x3A, 0, 4, 0x01, 0x21, 0, 0, 0x22, 0x45, 0x4E, 0x44}));
  EXPECT_EQ(cur, 27);
  EXPECT_EQ(prev, 14);

  // A tool button assigned to mode 4.
  profile.m_nToolMode[2] = 4;
  EXPECT_TRUE(modes.Tool(2));
  EXPECT_EQ(cur, 4);
  EXPECT_EQ(host.sent.back(), Bytes({0x7D, 0x3A, 0, 4, 0x00, 0x10, 0, 0, 0x10, 0x45, 0x4E, 0x44}));
  EXPECT_EQ(Take().size(), 4u);
}

TEST_F(ModeControllerTest, TheCurrentModeUnassignedOrDamagedButtonsAndUnknownIndicesDoNothing) {
  profile.m_nToolMode = {-1, 17, 34, -2, 1000, 0, 0, 0};
  EXPECT_FALSE(modes.Quick(8));  // mode 17, the current one
  EXPECT_FALSE(modes.Load(17));
  for (int i : {0, 1, 2, 3, 4, -1, 8}) EXPECT_FALSE(modes.Tool(i)) << i;
  for (int i : {-1, 12}) EXPECT_FALSE(modes.Quick(i)) << i;
  for (int m : {-1, 34}) EXPECT_FALSE(modes.Load(m)) << m;
  EXPECT_TRUE(Take().empty());
  EXPECT_EQ(cur, 17);
  EXPECT_EQ(prev, 17);
}

TEST_F(ModeControllerTest, WhileABatchIsSentThePcSideChangesButTheFrameIsRefused) {
  host.sending = true;
  EXPECT_TRUE(modes.Quick(0));
  EXPECT_EQ(Take(), (std::vector<std::string>{"unmaximize", "apply 0 cur 17 in 0", "note 0 0",
                                              "box please wait second, sending data have not finished"}));
  EXPECT_EQ(cur, 0);
  EXPECT_TRUE(host.sent.empty());
}

TEST_F(ModeControllerTest, SaveStoresTheWindowsAndSettingsIntoTheUserCounterpart) {
  // Mode 12 saves to position 26 = mode 25, slot 4.
  cur = 12;
  prev = 9;
  CDataPrm& w = profile.m_DataPrm[kWorkingSlot];
  w.m_nBorderCh = {1, 0, 1, 0};
  w.m_nOutRes = {5, 4, 3, 2};
  w.m_nLayer[2][1] = 4;
  w.m_bOutDispCh[3] = {0, 1, 0, 1};
  w.m_bySlot = 99;
  CDataPrm before = profile.m_DataPrm[4];
  EXPECT_TRUE(modes.Save());
  EXPECT_EQ(Take(), (std::vector<std::string>{
                        "ask           Save to position 26, do you want to save it? [Yes/No]", "measure 0",
                        "measure 1", "measure 2", "measure 3", "note 128 1", "send"}));
  EXPECT_EQ(cur, 25);
  EXPECT_EQ(prev, 12);
  const CDataPrm& s = profile.m_DataPrm[4];
  EXPECT_EQ(s.m_bSaved, 1);
  EXPECT_EQ(s.m_bySlot, before.m_bySlot);
  EXPECT_EQ(s.m_byReservedA, before.m_byReservedA);
  EXPECT_EQ(s.m_nBorderCh, w.m_nBorderCh);
  EXPECT_EQ(s.m_nOutRes, w.m_nOutRes);
  EXPECT_EQ(s.m_nLayer, w.m_nLayer);
  EXPECT_EQ(s.m_bOutDispCh, w.m_bOutDispCh);
  EXPECT_EQ(s.m_dX[3], 0.1 * 3);
  EXPECT_EQ(s.m_dH[2], 2.5);
  EXPECT_EQ(host.sent.back(), Bytes({0x7D, 0x3A, 0, 4, 0x80, 0x01, 0, 0, 0x81, 0x45, 0x4E, 0x44}));

  // In a user mode it saves into itself; "No" leaves the mode but moves m_nPrevMod.
  host.answer = false;
  cur = 30;
  prev = 2;
  EXPECT_FALSE(modes.Save());
  EXPECT_EQ(
      Take(),
      (std::vector<std::string>{"ask           Save to position 31, do you want to save it? [Yes/No]"}));
  EXPECT_EQ(cur, 30);
  EXPECT_EQ(prev, 30);
  EXPECT_EQ(profile.m_DataPrm[9].m_bSaved, 0);
}

TEST_F(ModeControllerTest, SaveIsRefusedInTheZoomOutModes) {
  cur = 2;
  prev = 1;
  EXPECT_FALSE(modes.Save());
  EXPECT_EQ(Take(), (std::vector<std::string>{"box This mode not surpport save!"}));
  for (int m : {4, 7, -1}) {
    cur = m;
    EXPECT_FALSE(modes.Save());
  }
  EXPECT_TRUE(Take().empty());
  EXPECT_EQ(prev, 1);
  EXPECT_TRUE(host.sent.empty());
}

TEST_F(ModeControllerTest, FactoryResetGoesOutEvenWhileSendingAndRestoresEverything) {
  host.answer = false;
  profile.m_nToolMode[0] = 5;
  profile.m_strModeName[3] = "Stage";
  profile.m_DataPrm[2].m_bSaved = 1;
  EXPECT_FALSE(modes.FactoryReset());
  EXPECT_EQ(Take(),
            (std::vector<std::string>{"ask Do you want to reset the machine to factory default? [Yes/No]"}));
  EXPECT_EQ(profile.m_strModeName[3], "Stage");
  EXPECT_EQ(cur, 17);

  host.answer = true;
  host.sending = true;
  profile.m_strModeName.resize(20);
  profile.m_DataPrm[kWorkingSlot].m_dX[1] = 0.375;
  EXPECT_TRUE(modes.FactoryReset());
  EXPECT_EQ(Take(),
            (std::vector<std::string>{"ask Do you want to reset the machine to factory default? [Yes/No]",
                                      "note 240 1", "send", "apply 8 cur 8 in 0", "sink", "names"}));
  EXPECT_EQ(host.sent.back(), Bytes({0x7D, 0x3A, 0, 4, 0xF0, 0x01, 0, 0, 0xF1, 0x45, 0x4E, 0x44}));
  EXPECT_EQ(cur, 8);
  EXPECT_EQ(prev, 17);
  EXPECT_EQ(profile.m_nToolMode, (std::array<int, 8>{-1, -1, -1, -1, -1, -1, -1, -1}));
  EXPECT_EQ(profile.m_strModeName, CProfile().m_strModeName);
  EXPECT_EQ(profile.m_DataPrm[2].m_bSaved, 0);
  const CDataPrm& w = profile.m_DataPrm[kWorkingSlot];
  EXPECT_EQ(w.m_bySlot, kNoSlot);
  EXPECT_EQ(w.m_nChInput, (std::array<int, 4>{0, 1, 2, 3}));
  EXPECT_EQ(w.m_dX[1], 0.375);  // the working record keeps its geometry
  // Every tool button does nothing now.
  for (int i = 0; i < 8; ++i) EXPECT_FALSE(modes.Tool(i));
}

TEST_F(ModeControllerTest, OpenRecallsTheCurrentDefaultModeOrMode17InsteadOfAUserMode) {
  cur = 12;
  prev = 3;
  EXPECT_TRUE(modes.AfterOpen());
  EXPECT_EQ(Take(), (std::vector<std::string>{"apply 12 cur 12 in 0", "note 3 4", "send", "names"}));
  EXPECT_EQ(cur, 12);
  EXPECT_EQ(prev, 12);

  cur = 29;
  profile.m_DataPrm[kWorkingSlot].m_nChInput = {3, 2, 1, 0};
  EXPECT_TRUE(modes.AfterOpen());
  EXPECT_EQ(host.sent.back(), Bytes({0x7D, 0x3A, 0, 4, 0x01, 0x04, 0, 0, 0x05, 0x45, 0x4E, 0x44}));
  EXPECT_EQ(cur, 17);
  EXPECT_EQ(prev, 29);
  EXPECT_EQ(profile.m_DataPrm[kWorkingSlot].m_nChInput, (std::array<int, 4>{3, 2, 1, 0}));  // as read
}

TEST_F(ModeControllerTest, NamesAreCheckedWhereTheyAreTypedAndToolButtonsAssigned) {
  EXPECT_EQ(ModeController::CheckModeName(""), "");
  EXPECT_EQ(ModeController::CheckModeName("Sixteen chars ok"), "");
  EXPECT_EQ(ModeController::CheckModeName("Bühne € 16 chars"), "");  // 16 characters, more bytes
  EXPECT_NE(ModeController::CheckModeName("seventeen chars!!"), "");
  const std::string cjk = ModeController::CheckModeName("模式");
  EXPECT_NE(cjk.find("\"模\""), std::string::npos) << cjk;

  std::string why;
  EXPECT_FALSE(modes.SetModeName(4, "Ω", &why));
  EXPECT_NE(why.find("Ω"), std::string::npos);
  EXPECT_EQ(profile.m_strModeName[4], "5");
  EXPECT_TRUE(Take().empty());

  // A profile with fewer names: the list grows with the factory names.
  profile.m_strModeName.resize(3);
  EXPECT_TRUE(modes.SetModeName(6, "Wall", &why));
  EXPECT_EQ(profile.m_strModeName, (std::vector<std::string>{"1", "2", "3", "4", "5", "6", "Wall"}));
  EXPECT_EQ(modes.ModeName(20), "21");
  EXPECT_EQ(Take(), (std::vector<std::string>{"names"}));

  // Another button holding the same mode keeps it.
  modes.AssignToolButton(5, 27);
  modes.AssignToolButton(1, 27);
  modes.AssignToolButton(8, 3);
  modes.AssignToolButton(2, 34);
  EXPECT_EQ(profile.m_nToolMode, (std::array<int, 8>{-1, 27, -1, -1, -1, 27, -1, -1}));
  EXPECT_EQ(modes.FirstToolButtonOf(27), 1);
  EXPECT_EQ(modes.FirstToolButtonOf(3), -1);
}

}  // namespace
