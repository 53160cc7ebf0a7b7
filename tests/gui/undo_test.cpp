// Undo and redo against the simulated processor over real TCP: each step
// taken back or done again puts the window or panel back on screen and the
// processor receives the same frame the operator's own gesture or Set sends.
#include "app/FrameChrome.h"
#include "app/Undo.h"

#include <QButtonGroup>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QTest>

#include "SimFrameTest.h"
#include "layout/ChildFrame.h"
#include "layout/DlgFullSet.h"
#include "layout/QtRect.h"
#include "layout/TesselView.h"
#include "link/Commands.h"
#include "model/ModeController.h"
#include "panels/CoolTabCtrl.h"
#include "panels/DlgBorderSet.h"
#include "panels/DlgMainSet.h"
#include "panels/DlgTestPage.h"

namespace panora::test {
namespace {

class UndoTest : public SimFrameTest {
 protected:
  void SetUp() override {
    SimFrameTest::SetUp();
    if (HasFatalFailure()) return;
    f->ApplyMode(17);  // picture in picture: windows may move and size
    f->m_nCurMod = 17;
    // Known places with room on every side; where each change starts from.
    for (int ch = 0; ch < 4; ++ch)
      f->ChannelFrame(ch)->MoveTo(Rect{60 + 40 * ch, 50 + 30 * ch, 260 + 40 * ch, 170 + 30 * ch});
    f->Undo().Reset();
    f->activateWindow();
    keys = QTest::qWaitForWindowActive(f);
  }

  void Drag(QWidget* w, QPoint from, int dx, int dy) {
    Press(w, from);
    MoveBy(w, dx, dy);
    Release(w);
  }
  // Ctrl+Z, Ctrl+Y, Ctrl+Shift+Z where the window can take keys, else the menu items.
  void Key(Qt::Key key, Qt::KeyboardModifiers mods, int id) {
    if (keys)
      QTest::keyClick(f, key, mods);
    else
      f->Action(id)->trigger();
  }
  void UndoKey() { Key(Qt::Key_Z, Qt::ControlModifier, ID_EDIT_UNDO); }
  void RedoKey() { Key(Qt::Key_Y, Qt::ControlModifier, ID_EDIT_REDO); }

  std::vector<int> Geometry(int channel, const Rect& r) {
    const auto p =
        GeometryPayload(f->Windows().WindowToOutput(channel, r.Offset(f->m_rcLayout.x(), f->m_rcLayout.y())));
    return {p.begin(), p.end()};
  }
  // The simulator's state once it has taken everything sent so far.
  std::vector<int> SimGeometry(int channel) {
    ReceivedFrames();
    const sim::State state = State();
    const auto& g = state.setUp.geometry[channel];
    return {g.x >> 8, g.x & 255, g.y >> 8, g.y & 255, g.w >> 8, g.w & 255, g.h >> 8, g.h & 255};
  }
  CDlgTestPage& Picture() { return *qobject_cast<CDlgTestPage*>(f->TabCtrl().PageWindow(0)); }
  sim::State State() { return sim->Server().GetState(); }
  // A mode in force as after its recall (which clears the history).
  void InMode(int mode) {
    f->ApplyMode(mode);
    f->m_nCurMod = mode;
  }

  bool keys = false;
};

TEST_F(UndoTest, TheEditMenuStandsAfterFileAndItsItemsFollowTheHistory) {
  const QList<QAction*> top = f->menuBar()->actions();
  ASSERT_GE(top.size(), 3);
  EXPECT_EQ(top[0]->text(), "&File");
  EXPECT_EQ(top[1]->text(), "&Edit");
  EXPECT_EQ(top[2]->text(), "&Connection");
  QAction* undo = f->Action(ID_EDIT_UNDO);
  QAction* redo = f->Action(ID_EDIT_REDO);
  ASSERT_NE(undo, nullptr);
  ASSERT_NE(redo, nullptr);
  EXPECT_EQ(undo->text(), "Undo");
  EXPECT_EQ(redo->text(), "Redo");
  EXPECT_EQ(undo->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_Z));
  EXPECT_EQ(redo->shortcuts(), (QList<QKeySequence>{QKeySequence(Qt::CTRL | Qt::Key_Y),
                                                    QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z)}));
  EXPECT_EQ(f->Chrome().EditMenu()->actions(), (QList<QAction*>{undo, redo}));
  EXPECT_FALSE(undo->isEnabled());
  EXPECT_FALSE(redo->isEnabled());
}

TEST_F(UndoTest, ADragIsUndoneAndRedoneOnScreenAndInTheProcessor) {
  CChildFrame* frame = f->ChannelFrame(1);
  const Rect start = frame->WindowRect();
  Drag(frame->View(), QPoint(30, 30), 40, 25);
  const Rect moved = frame->WindowRect();
  ASSERT_EQ(moved, start.Offset(40, 25));
  ASSERT_EQ(Seen(cmd::kSetGeometry).size(), 1u);
  EXPECT_TRUE(f->Action(ID_EDIT_UNDO)->isEnabled());
  EXPECT_FALSE(f->Action(ID_EDIT_REDO)->isEnabled());

  UndoKey();
  EXPECT_EQ(frame->WindowRect(), start);
  auto frames = Seen(cmd::kSetGeometry);
  ASSERT_EQ(frames.size(), 1u);
  EXPECT_EQ(frames[0].subCode, 1);
  EXPECT_EQ(frames[0].payload, Geometry(1, start));
  EXPECT_EQ(SimGeometry(1), Geometry(1, start));
  EXPECT_EQ(f->m_nCurpod, 1);
  EXPECT_FALSE(f->Action(ID_EDIT_UNDO)->isEnabled());
  EXPECT_TRUE(f->Action(ID_EDIT_REDO)->isEnabled());
  UndoKey();  // nothing left: nothing sent
  EXPECT_TRUE(Seen(cmd::kSetGeometry).empty());

  RedoKey();
  EXPECT_EQ(frame->WindowRect(), moved);
  EXPECT_EQ(SimGeometry(1), Geometry(1, moved));
  UndoKey();
  Key(Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier, ID_EDIT_REDO);
  EXPECT_EQ(frame->WindowRect(), moved);
  EXPECT_EQ(Seen(cmd::kSetGeometry).size(), 3u);

  // A sizing by the bottom-right corner is one step.
  Drag(frame, QPoint(frame->width() - 2, frame->height() - 2), 20, 12);
  const Rect sized = frame->WindowRect();
  ASSERT_NE(sized, moved);
  EXPECT_EQ(sized.left, moved.left);
  UndoKey();
  EXPECT_EQ(frame->WindowRect(), moved);
  EXPECT_EQ(SimGeometry(1), Geometry(1, moved));
  RedoKey();
  EXPECT_EQ(frame->WindowRect(), sized);
  UndoKey();

  // A maximise by double-click is a step too, flag included.
  CTesselView* view = frame->View();
  // As the window system delivers it: press, release, double-click, release.
  QTest::mousePress(view, Qt::LeftButton, {}, QPoint(20, 20));
  QTest::mouseRelease(view, Qt::LeftButton, {}, QPoint(20, 20));
  QTest::mouseDClick(view, Qt::LeftButton, {}, QPoint(20, 20));
  QTest::mouseRelease(view, Qt::LeftButton, {}, QPoint(20, 20));
  ASSERT_EQ(view->m_bMaximized, 1);
  UndoKey();
  EXPECT_EQ(frame->WindowRect(), moved);
  EXPECT_EQ(view->m_bMaximized, 0);
  RedoKey();
  EXPECT_EQ(frame->WindowRect(), (Rect{0, 0, f->m_rcLayout.width(), f->m_rcLayout.height()}));
  EXPECT_EQ(view->m_bMaximized, 1);
  EXPECT_EQ(SimGeometry(1), Geometry(1, frame->WindowRect()));
}

TEST_F(UndoTest, ABusyLinkRefusesTheUndoAndTheHistoryStays) {
  CChildFrame* frame = f->ChannelFrame(0);
  const Rect start = frame->WindowRect();
  Drag(frame->View(), QPoint(30, 30), 15, 10);
  const Rect moved = frame->WindowRect();
  Seen(cmd::kSetGeometry);
  f->m_bSending = 1;
  dialogs.ExpectBox("please wait second, sending data have not finished");
  f->Action(ID_EDIT_UNDO)->trigger();
  f->m_bSending = 0;
  EXPECT_EQ(frame->WindowRect(), moved);
  EXPECT_TRUE(Seen(cmd::kSetGeometry).empty());
  EXPECT_EQ(f->Undo().Steps().UndoCount(), 1u);
  f->Action(ID_EDIT_UNDO)->trigger();
  EXPECT_EQ(frame->WindowRect(), start);
}

TEST_F(UndoTest, PanelSetsAreTakenBackWithTheirOwnFrames) {
  CDlgMainSet& m = f->MainSet();
  // Channel input: CH1 from In1 to In3.
  m.m_grpInSel[0]->button(2)->click();
  QTest::mouseClick(m.m_btnInputSet, Qt::LeftButton);
  ASSERT_TRUE(WaitUntil([&] { return sim->Server().GetState().setUp.input[0] == 3; }));
  // Contrast of CH2 to 150, then of CH3 to 200: each channel its own step.
  CDlgTestPage& pic = Picture();
  pic.m_grpPicChannel->button(1)->click();
  pic.m_sldContrast->setValue(150);
  QTest::mouseClick(pic.m_btnContrastSet, Qt::LeftButton);
  pic.m_grpPicChannel->button(2)->click();
  pic.m_sldContrast->setValue(200);
  QTest::mouseClick(pic.m_btnContrastSet, Qt::LeftButton);
  Seen(0);
  EXPECT_EQ(f->Undo().Steps().UndoCount(), 3u);
  const int contrast0 = CDlgTestPage::kContrastStart;

  UndoKey();  // CH3 back to where it was
  EXPECT_EQ(pic.m_sldContrast->value(), contrast0);
  auto c = Seen(cmd::kContrast);
  ASSERT_EQ(c.size(), 1u);
  EXPECT_EQ(c[0].subCode, 2);  // CH3
  UndoKey();                   // CH2 too
  EXPECT_EQ(pic.m_grpPicChannel->checkedId(), 1);
  EXPECT_EQ(Seen(cmd::kContrast).size(), 1u);
  ASSERT_TRUE(WaitUntil([&] {
    const auto s = sim->Server().GetState();
    return s.contrast[1] == contrast0 && s.contrast[2] == contrast0;
  }));
  UndoKey();  // the input selection
  EXPECT_EQ(m.m_grpInSel[0]->checkedId(), 0);
  EXPECT_EQ(Seen(cmd::kInputSelect).size(), 1u);
  EXPECT_EQ(sim->Server().GetState().setUp.input[0], 1);
  EXPECT_EQ(f->ChannelFrame(0)->View()->m_nInput, 0);

  RedoKey();
  EXPECT_EQ(m.m_grpInSel[0]->checkedId(), 2);
  EXPECT_TRUE(WaitUntil([&] { return sim->Server().GetState().setUp.input[0] == 3; }));

  // Border: a Set refused while busy is no step; an accepted one is.
  const std::size_t before = f->Undo().Steps().UndoCount();
  pic.m_grpOnOff->button(1)->click();
  f->m_bSending = 1;
  dialogs.ExpectBox("please wait second, sending data have not finished");
  QTest::mouseClick(pic.m_btnBorderSet, Qt::LeftButton);
  f->m_bSending = 0;
  EXPECT_EQ(f->Undo().Steps().UndoCount(), before);
  QTest::mouseClick(pic.m_btnBorderSet, Qt::LeftButton);
  EXPECT_EQ(f->Undo().Steps().UndoCount(), before + 1);
  EXPECT_EQ(f->m_Profile.m_DataPrm[kWorkingSlot].m_nBorderAll, 1);
  UndoKey();
  EXPECT_EQ(pic.m_grpOnOff->checkedId(), 0);
  EXPECT_EQ(f->m_Profile.m_DataPrm[kWorkingSlot].m_nBorderAll, 0);
  EXPECT_EQ(Seen(cmd::kBorder).size(), 2u);
}

TEST_F(UndoTest, TheBezelSetGoesBackToWhatTheProcessorLastAnswered) {
  auto& bezel = *qobject_cast<CDlgBorderSet*>(f->TabCtrl().PageWindow(2));
  bezel.m_edH->setText("40");  // typed, never set: not what the processor holds
  InMode(0);
  QTest::mouseClick(bezel.m_btnGet, Qt::LeftButton);
  ASSERT_TRUE(WaitUntil([&] { return bezel.m_btnSet->isEnabled(); }));
  ASSERT_EQ(bezel.m_edH->text(), "0");
  bezel.m_edH->setText("12");
  bezel.m_edV->setText("7");
  QTest::mouseClick(bezel.m_btnSet, Qt::LeftButton);
  bezel.m_edV->clear();
  QTest::mouseClick(bezel.m_btnSet, Qt::LeftButton);
  // A refused size is no step: undo still goes back to 7.
  bezel.m_edH->setText("60");
  dialogs.ExpectBox("H-Bezel must be 0 to 48, not 60.");
  QTest::mouseClick(bezel.m_btnSet, Qt::LeftButton);
  bezel.m_edH->setText("12");
  Seen(0);
  ASSERT_EQ(f->Undo().Steps().UndoCount(), 2u);

  UndoKey();
  EXPECT_EQ(bezel.m_edV->text(), "7");
  // Sent while a batch goes out, as the button itself sends.
  f->m_bSending = 1;
  UndoKey();
  f->m_bSending = 0;
  EXPECT_EQ(bezel.m_edH->text(), "0");
  EXPECT_EQ(bezel.m_edV->text(), "0");
  auto frames = Seen(cmd::kBezel);
  ASSERT_EQ(frames.size(), 2u);
  EXPECT_EQ(frames[0].subCode, cmd::kSubBezelSet);
  EXPECT_EQ(frames[0].payload, (std::vector<int>{12, 7}));
  EXPECT_EQ(frames[1].payload, (std::vector<int>{0, 0}));
  RedoKey();
  RedoKey();
  EXPECT_EQ(bezel.m_edH->text(), "12");
  EXPECT_EQ(bezel.m_edV->text(), "");
  EXPECT_EQ(Seen(cmd::kBezel).size(), 2u);
  EXPECT_EQ(State().bezelH, 12);
  EXPECT_EQ(State().bezelV, 0);
}

TEST_F(UndoTest, MoveAndZoomPressesAreTakenBackByTheOppositePress) {
  CDlgFullSet& page = *f->Chrome().m_dlgFullSet;
  InMode(8);
  page.m_grpChannel->button(2)->click();
  page.m_edStep[1]->setText("5");
  QTest::mouseClick(page.m_btnMoveZoom[1], Qt::LeftButton);  // Right, CH3, 5
  page.m_grpChannel->button(0)->click();
  QTest::mouseClick(page.m_btnMoveZoom[7], Qt::LeftButton);  // VZoomOut, CH1, 2
  Seen(0);
  page.m_edStep[1]->setText("9");  // a press keeps its own step

  UndoKey();
  auto zoom = Seen(cmd::kZoomPicture);
  ASSERT_EQ(zoom.size(), 1u);
  EXPECT_EQ(zoom[0].subCode, 0);
  EXPECT_EQ(zoom[0].payload, (std::vector<int>{3, 2}));  // VZoomIn
  UndoKey();
  EXPECT_EQ(page.m_grpChannel->checkedId(), 2);
  auto move = Seen(cmd::kMovePicture);
  ASSERT_EQ(move.size(), 1u);
  EXPECT_EQ(move[0].subCode, 2);
  EXPECT_EQ(move[0].payload, (std::vector<int>{0, 5}));  // Left
  EXPECT_EQ(State().shift[2], (std::array<int, 2>{0, 0}));
  EXPECT_EQ(State().zoom[0], (std::array<int, 2>{0, 0}));
  EXPECT_FALSE(f->Action(ID_EDIT_UNDO)->isEnabled());

  RedoKey();
  RedoKey();
  EXPECT_EQ(page.m_grpChannel->checkedId(), 0);
  EXPECT_EQ(page.m_edStep[1]->text(), "9");
  Seen(0);
  EXPECT_EQ(State().shift[2], (std::array<int, 2>{5, 0}));
  EXPECT_EQ(State().zoom[0], (std::array<int, 2>{0, -2}));
}

TEST_F(UndoTest, ARunOfThePositionDialogIsOneStep) {
  f->m_nCurpod = 1;
  const sim::Geometry opened = State().setUp.geometry[1];
  const Rect window = f->ChannelFrame(1)->WindowRect();
  dialogs.ExpectDialog("176", [](QDialog& d) {
    for (const char* id : {"1113", "1113", "1114"})
      d.findChild<QPushButton*>(id)->click();  // right +2, top +1
    return ClickButton("2")(d);                // "Cancel": the nudges went out all the same
  });
  f->OnWindowAdjust();
  ASSERT_TRUE(WaitUntil([&] { return f->Undo().Steps().UndoCount() == 1; }));
  const sim::Geometry nudged{opened.x, static_cast<std::uint16_t>(opened.y + 1),
                             static_cast<std::uint16_t>(opened.w + 2),
                             static_cast<std::uint16_t>(opened.h - 1)};
  Seen(0);  // the simulator has taken the nudges
  EXPECT_EQ(State().setUp.geometry[1], nudged);

  UndoKey();
  auto frames = Seen(cmd::kSetGeometry);
  ASSERT_EQ(frames.size(), 1u);
  EXPECT_EQ(frames[0].subCode, 1);
  EXPECT_EQ(frames[0].payload,
            (std::vector<int>{opened.x >> 8, opened.x & 255, opened.y >> 8, opened.y & 255, opened.w >> 8,
                              opened.w & 255, opened.h >> 8, opened.h & 255}));
  EXPECT_EQ(State().setUp.geometry[1], opened);
  EXPECT_EQ(f->ChannelFrame(1)->WindowRect(), window);  // the layout never followed the dialog
  RedoKey();
  EXPECT_EQ(Seen(cmd::kSetGeometry).size(), 1u);
  EXPECT_EQ(State().setUp.geometry[1], nudged);
}

TEST_F(UndoTest, AModeRecallClearsTheHistory) {
  Drag(f->ChannelFrame(2)->View(), QPoint(30, 30), 20, 20);
  ASSERT_TRUE(f->Action(ID_EDIT_UNDO)->isEnabled());
  // Contrast of CH2 set to 150, then the slider moved without Set.
  CDlgTestPage& pic = Picture();
  pic.m_grpPicChannel->button(1)->click();
  pic.m_sldContrast->setValue(150);
  QTest::mouseClick(pic.m_btnContrastSet, Qt::LeftButton);
  pic.m_sldContrast->setValue(90);
  f->Modes().Quick(5);
  EXPECT_FALSE(f->Undo().Steps().CanUndo());
  EXPECT_FALSE(f->Action(ID_EDIT_UNDO)->isEnabled());
  EXPECT_FALSE(f->Action(ID_EDIT_REDO)->isEnabled());

  // What the recall starts from is what CH2 was last sent, not the slider.
  pic.m_sldContrast->setValue(170);
  QTest::mouseClick(pic.m_btnContrastSet, Qt::LeftButton);
  Seen(0);
  UndoKey();
  EXPECT_EQ(pic.m_sldContrast->value(), 150);
  ASSERT_EQ(Seen(cmd::kContrast).size(), 1u);
  EXPECT_EQ(State().contrast[1], 150);
}

TEST_F(UndoTest, AHundredAndTwentyStepsGoBackToTheStart) {
  CChildFrame* frame = f->ChannelFrame(3);
  const Rect start = frame->WindowRect();
  constexpr int kSteps = 120;
  for (int i = 0; i < kSteps; ++i)
    Drag(frame->View(), QPoint(30, 30), i % 2 == 0 ? 3 : -2, i % 2 == 0 ? 2 : -1);
  ASSERT_NE(frame->WindowRect(), start);
  EXPECT_EQ(f->Undo().Steps().UndoCount(), static_cast<std::size_t>(kSteps));
  int undone = 0;
  while (f->Action(ID_EDIT_UNDO)->isEnabled() && undone <= kSteps) {
    UndoKey();
    ++undone;
  }
  EXPECT_EQ(undone, kSteps);
  EXPECT_EQ(frame->WindowRect(), start);
  ASSERT_EQ(Seen(cmd::kSetGeometry).size(), static_cast<std::size_t>(2 * kSteps));
  EXPECT_EQ(SimGeometry(3), Geometry(3, start));
}

}  // namespace
}  // namespace panora::test
