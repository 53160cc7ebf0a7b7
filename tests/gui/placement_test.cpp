// The live mode and precise placement, driven through the real widgets
// against the simulated processor over a real TCP connection: the mode pane
// and the pressed buttons follow every path that changes the mode; the
// placement pane, the arrow keys and snapping act on what reaches the
// processor.
#include <QAccessible>
#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QMenuBar>
#include <QSettings>
#include <QStatusBar>
#include <QTest>

#include "app/FrameChrome.h"
#include "SimFrameTest.h"
#include "app/dialogs/DlgModSet.h"
#include "app/ModeStatus.h"
#include "app/PlacementStatus.h"
#include "app/Undo.h"
#include "layout/ChildFrame.h"
#include "layout/LayoutArea.h"
#include "layout/TesselView.h"
#include "model/ModeController.h"
#include "model/Paths.h"
#include "ui/BaseButton.h"
#include "ui/TrueColorToolBar.h"

namespace panora::test {
namespace {

class PlacementTest : public SimFrameTest {
 protected:
  QString ModePane() { return f->Chrome().m_modeStatus->Pane()->text(); }
  QString PlacementPane() { return f->Placement().Pane()->text(); }
  // The quick-mode (0..11) and tool (12..19) buttons shown pressed.
  std::vector<int> Pressed() {
    std::vector<int> out;
    for (int i = 0; i < 12; ++i)
      if (f->Action(ID_QUICK_MODE_FIRST + i)->isChecked()) out.push_back(i);
    for (int i = 0; i < 8; ++i)
      if (f->Action(ID_TOOL_FIRST + i)->isChecked()) out.push_back(12 + i);
    return out;
  }
  void ClickToolbar(int id) {
    QAction* a = f->Action(id);
    QWidget* w = nullptr;
    for (CTrueColorToolBar* bar : {&f->ModeToolBar(), &f->WindowToolBar(), &f->ToolButtonBar()})
      if (QWidget* b = bar->widgetForAction(a)) w = b;
    ASSERT_NE(w, nullptr) << id;
    QTest::mouseClick(w, Qt::LeftButton);
  }

  std::vector<SeenFrame> Geometry() {
    std::vector<SeenFrame> frames = ReceivedFrames();
    std::erase_if(frames, [](const SeenFrame& s) { return s.command != cmd::kSetGeometry; });
    return frames;
  }
  OutputGeometry Output(int channel, const Rect& layoutRect) {
    return f->Windows().WindowToOutput(channel, layoutRect.Offset(f->m_rcLayout.x(), f->m_rcLayout.y()));
  }
  std::vector<int> Payload(int channel, const Rect& layoutRect) {
    const auto p = GeometryPayload(Output(channel, layoutRect));
    return {p.begin(), p.end()};
  }
  QString Shows(int channel, const Rect& layoutRect) {
    return CPlacementStatus::Text(channel, Output(channel, layoutRect));
  }

  // A key as the keyboard sends it; auto-repeat marks all but the first
  // press and the last release.
  void Key(QEvent::Type type, int key, Qt::KeyboardModifiers mods = {}, bool autoRepeat = false) {
    QKeyEvent ev(type, key, mods, QString(), autoRepeat);
    QApplication::sendEvent(f->LayoutArea()->Client(), &ev);
  }
  void Tap(int key, Qt::KeyboardModifiers mods = {}) {
    Key(QEvent::KeyPress, key, mods);
    Key(QEvent::KeyRelease, key, mods);
  }
  bool BurstSent() {
    return WaitUntil([&] { return !f->Placement().BurstPending(); }, CPlacementStatus::kBurstEndMs * 4);
  }
};

TEST_F(PlacementTest, TheLiveModeFollowsEveryPathThatChangesIt) {
  EXPECT_EQ(ModePane(), QStringLiteral("PIP-Default 5 · 18"));
  EXPECT_EQ(Pressed(), (std::vector<int>{8}));
  QAccessibleInterface* acc = QAccessible::queryAccessibleInterface(f->Chrome().m_modeStatus->Pane());
  ASSERT_NE(acc, nullptr);
  EXPECT_EQ(acc->text(QAccessible::Name), ModePane());
  EXPECT_EQ(acc->text(QAccessible::Description), QStringLiteral("Current mode"));

  // Quick-mode buttons; clicking the current one again leaves it pressed.
  ClickToolbar(ID_QUICK_MODE_FIRST + 1);
  EXPECT_EQ(ModePane(), QStringLiteral("3Times-Default 1 · 5"));
  EXPECT_EQ(Pressed(), (std::vector<int>{1}));
  ClickToolbar(ID_QUICK_MODE_FIRST + 1);
  EXPECT_EQ(Pressed(), (std::vector<int>{1}));
  QAccessibleInterface* button = QAccessible::queryAccessibleInterface(
      f->ModeToolBar().widgetForAction(f->Action(ID_QUICK_MODE_FIRST + 1)));
  ASSERT_NE(button, nullptr);
  EXPECT_TRUE(button->state().checked);
  EXPECT_EQ(button->text(QAccessible::Name), QStringLiteral("3Times-Default 1"));

  // A window button's variant is no quick mode.
  ClickToolbar(ID_WINDOW_FIRST + 2);
  EXPECT_EQ(ModePane(), QStringLiteral("3Times-Default 3 · 7"));
  EXPECT_TRUE(Pressed().empty());

  // A tool button, with the name given in the mode dialog.
  f->Modes().AssignToolButton(1, 14);
  f->Modes().SetModeName(14, "Stage");
  ClickToolbar(ID_TOOL_FIRST + 1);
  EXPECT_EQ(ModePane(), QStringLiteral("PIP-Default 2 · Stage"));
  EXPECT_EQ(Pressed(), (std::vector<int>{5, 13}));

  // "Save mode" moves to the user mode it stored.
  dialogs.ExpectDialog("172", ClickButton("1149"));
  f->Action(ID_SAVE_MODE)->trigger();
  EXPECT_EQ(ModePane(), QStringLiteral("PIP-User 2 · 28"));
  EXPECT_TRUE(Pressed().empty());

  // Open, from a user mode: mode 17.
  const std::string saved = home.Path() + "/VideoLib/live.cfg";
  dialogs.ExpectSaveFile(saved);
  f->Action(ID_FILE_SAVE_AS)->trigger();
  dialogs.ExpectOpenFile(saved);
  f->Action(ID_FILE_OPEN)->trigger();
  EXPECT_EQ(ModePane(), QStringLiteral("PIP-Default 5 · 18"));
  EXPECT_EQ(Pressed(), (std::vector<int>{8}));

  // The mode dialog.
  dialogs.ExpectDialog("164", [](QDialog& d) {
    static_cast<CDlgModSet&>(d).ModeButton(20)->click();
    return d.result() == QDialog::Accepted ? kIdOk : kIdCancel;
  });
  f->Action(ID_LOAD_MODE)->trigger();
  EXPECT_EQ(ModePane(), QStringLiteral("POP-Default 3 · 21"));
  EXPECT_EQ(Pressed(), (std::vector<int>{11}));

  // The factory reset: mode 8, every tool button and name as new.
  f->Modes().AssignToolButton(0, 8);
  dialogs.ExpectDialog("172", ClickButton("1149"));
  f->Action(ID_FACTORY_RESET)->trigger();
  EXPECT_EQ(ModePane(), QStringLiteral("Full-Default 1 · 9"));
  EXPECT_EQ(Pressed(), (std::vector<int>{3}));
  EXPECT_TRUE(WaitUntil([&] { return sim->Server().GetState().mode == 8; }));
}

TEST_F(PlacementTest, ThePlacementPaneShowsOutputPixelsWhileDraggingAndSizing) {
  f->m_nCurMod = 17;
  CChildFrame* ch2 = f->ChannelFrame(1);
  CChildFrame* ch3 = f->ChannelFrame(2);
  ch2->MoveTo(Rect{100, 80, 300, 200});
  ch3->MoveTo(Rect{400, 100, 600, 220});
  QAccessibleInterface* acc = QAccessible::queryAccessibleInterface(f->Placement().Pane());
  ASSERT_NE(acc, nullptr);

  Press(ch2->View(), QPoint(50, 40));
  EXPECT_EQ(PlacementPane(), Shows(1, Rect{100, 80, 300, 200}));
  MoveBy(ch2->View(), 30, 20);  // shown while the button is held
  EXPECT_EQ(PlacementPane(), Shows(1, Rect{130, 100, 330, 220}));
  EXPECT_EQ(acc->text(QAccessible::Name), PlacementPane());
  Release(ch2->View());

  // While CH3 is sized it is shown, though CH2 stays the current window.
  Press(ch3, QPoint(199, 60));  // the right edge
  MoveBy(ch3, 40, 0);
  EXPECT_EQ(f->m_nCurpod, 1);
  EXPECT_EQ(PlacementPane(), Shows(2, Rect{400, 100, 640, 220}));
  Release(ch3);
  EXPECT_EQ(PlacementPane(), Shows(2, Rect{400, 100, 640, 220}));  // now the current one

  // Another resolution in the main settings: other pixels.
  const QString before = PlacementPane();
  auto* all = f->MainSet().findChild<QComboBox*>(QStringLiteral("1003"));
  ASSERT_NE(all, nullptr);
  all->setCurrentIndex(5);
  EXPECT_NE(PlacementPane(), before);
  EXPECT_EQ(PlacementPane(), Shows(2, Rect{400, 100, 640, 220}));
  EXPECT_EQ(Geometry().size(), 2u);
}

TEST_F(PlacementTest, ArrowKeysMoveTheCurrentWindowAndSendOneFramePerBurst) {
  CChildFrame* ch2 = f->ChannelFrame(1);
  ch2->MoveTo(Rect{100, 80, 300, 200});
  Press(ch2->View(), QPoint(50, 40));
  Release(ch2->View());
  EXPECT_EQ(f->m_nCurpod, 1);
  EXPECT_TRUE(f->LayoutArea()->Client()->hasFocus()) << "a click in a window gives the layout the keys";

  // A held key repeats (press and release marked as auto-repeat), then a
  // tap with Shift: one burst, one frame, once the keys are up.
  Key(QEvent::KeyPress, Qt::Key_Right);
  for (int i = 0; i < 4; ++i) {
    Key(QEvent::KeyRelease, Qt::Key_Right, {}, true);
    Key(QEvent::KeyPress, Qt::Key_Right, {}, true);
  }
  Key(QEvent::KeyRelease, Qt::Key_Right);
  Tap(Qt::Key_Down, Qt::ShiftModifier);
  const Rect moved{105, 90, 305, 210};
  EXPECT_EQ(ch2->WindowRect(), moved);
  EXPECT_EQ(PlacementPane(), Shows(1, moved));
  EXPECT_TRUE(f->Placement().BurstPending());
  ASSERT_TRUE(BurstSent());
  auto frames = Geometry();
  ASSERT_EQ(frames.size(), 1u);
  EXPECT_EQ(frames[0].subCode, 1);
  EXPECT_EQ(frames[0].payload, Payload(1, moved));
  EXPECT_TRUE(ch2->OutlineShown());

  // The drag's clamping: the left edge stops at 0.
  for (int i = 0; i < 15; ++i) Tap(Qt::Key_Left, Qt::ShiftModifier);
  Tap(Qt::Key_Up);
  EXPECT_EQ(ch2->WindowRect(), (Rect{0, 89, 200, 209}));
  ASSERT_TRUE(BurstSent());
  // There and back sends nothing; Ctrl with an arrow is not ours.
  Tap(Qt::Key_Right);
  Tap(Qt::Key_Left);
  Tap(Qt::Key_Right, Qt::ControlModifier);
  EXPECT_EQ(ch2->WindowRect(), (Rect{0, 89, 200, 209}));
  ASSERT_TRUE(BurstSent());
  frames = Geometry();
  ASSERT_EQ(frames.size(), 2u);
  EXPECT_EQ(frames[1].payload, Payload(1, Rect{0, 89, 200, 209}));
}

// Undo right after a burst takes that burst back; a mode recall forgets it
// unsent, since the mode places the window anew.
TEST_F(PlacementTest, UndoEndsABurstFirstAndAModeRecallDropsIt) {
  CChildFrame* ch2 = f->ChannelFrame(1);
  const Rect start{100, 80, 300, 200};
  ch2->MoveTo(start);
  Press(ch2->View(), QPoint(50, 40));
  Release(ch2->View());
  f->Undo().Reset();

  Tap(Qt::Key_Right, Qt::ShiftModifier);
  ASSERT_TRUE(f->Placement().BurstPending());
  f->Action(ID_EDIT_UNDO)->trigger();
  EXPECT_FALSE(f->Placement().BurstPending());
  EXPECT_EQ(ch2->WindowRect(), start);
  EXPECT_TRUE(f->Action(ID_EDIT_REDO)->isEnabled());
  WaitUntil([] { return false; }, CPlacementStatus::kBurstEndMs + 100);
  auto frames = Geometry();
  ASSERT_EQ(frames.size(), 2u);
  EXPECT_EQ(frames[0].payload, Payload(1, start.Offset(10, 0)));
  EXPECT_EQ(frames[1].payload, Payload(1, start));
  f->Action(ID_EDIT_REDO)->trigger();
  EXPECT_EQ(ch2->WindowRect(), start.Offset(10, 0));

  Tap(Qt::Key_Down, Qt::ShiftModifier);
  ClickToolbar(ID_QUICK_MODE_FIRST + 1);
  EXPECT_FALSE(f->Placement().BurstPending());
  WaitUntil([] { return false; }, CPlacementStatus::kBurstEndMs + 100);
  EXPECT_EQ(Geometry().size(), 3u);
  EXPECT_FALSE(f->Action(ID_EDIT_UNDO)->isEnabled());
}

TEST_F(PlacementTest, SnappingIsOffByDefaultAndOnceOnPullsEdgesOntoTheLines) {
  f->m_nCurMod = 17;
  QAction* snap = f->Placement().SnapAction();
  EXPECT_FALSE(snap->isChecked());
  EXPECT_TRUE(snap->isCheckable());
  EXPECT_EQ(snap->text(), QStringLiteral("Snap to Edges"));
  EXPECT_EQ(snap->shortcut(), QKeySequence(QStringLiteral("Ctrl+Shift+E")));
  EXPECT_TRUE(f->ToolsMenu()->actions().contains(snap));

  const QWidget* client = f->LayoutArea()->Client();
  const int cx = client->width() / 2, cy = client->height() / 2;
  ASSERT_GT(cx, 300);
  ASSERT_GT(cy, 150);
  // The other windows all on one rectangle right of and below the centre.
  const Rect other{cx + 40, cy + 40, cx + 140, cy + 100};
  for (int ch : {0, 2, 3}) f->ChannelFrame(ch)->MoveTo(other);
  CChildFrame* ch2 = f->ChannelFrame(1);
  CTesselView* view = ch2->View();
  const Rect start{20, 20, 220, 140};

  // Off: five pixels from the edge stays five pixels from it.
  ch2->MoveTo(start);
  Press(view, QPoint(50, 40));
  MoveBy(view, -15, 0);
  EXPECT_EQ(ch2->WindowRect(), start.Offset(-15, 0));
  Release(view);

  snap->trigger();
  EXPECT_TRUE(f->Placement().Snap());
  ch2->MoveTo(start);
  Press(view, QPoint(50, 40));
  MoveBy(view, -15, 0);  // onto the area's left edge
  EXPECT_EQ(ch2->WindowRect(), (Rect{0, 20, 200, 140}));
  MoveBy(view, cx - 211, 0);  // the right edge 6 short of the centre line
  EXPECT_EQ(ch2->WindowRect(), (Rect{cx - 200, 20, cx, 140}));
  MoveBy(view, 0, cy - 105);  // the bottom edge 5 short of the other windows' top
  const Rect snapped{cx - 200, cy - 80, cx, cy + 40};
  EXPECT_EQ(ch2->WindowRect(), snapped);
  EXPECT_EQ(PlacementPane(), Shows(1, snapped));
  Release(view);

  // Sizing: the pulled edge snaps, the others stay.
  ch2->MoveTo(start);
  Press(ch2, QPoint(199, 60));  // the right edge
  MoveBy(ch2, cx - 226, 0);
  Release(ch2);
  EXPECT_EQ(ch2->WindowRect(), (Rect{20, 20, cx, 140}));
  const auto frames = Geometry();
  ASSERT_EQ(frames.size(), 3u);
  EXPECT_EQ(frames[1].payload, Payload(1, snapped));
  EXPECT_EQ(frames[2].payload, Payload(1, Rect{20, 20, cx, 140}));

  // The choice is remembered for the next start, and turned off again.
  EXPECT_TRUE(QSettings(QString::fromStdString(DataFolder() + "/preferences.ini"), QSettings::IniFormat)
                  .value(QStringLiteral("Layout/SnapToEdges"))
                  .toBool());
  {
    QStatusBar bar;
    CPlacementStatus next(*f, &bar);
    EXPECT_TRUE(next.Snap());
    EXPECT_TRUE(next.SnapAction()->isChecked());
  }
  QTest::keyClick(f, Qt::Key_E, Qt::ControlModifier | Qt::ShiftModifier);
  EXPECT_FALSE(f->Placement().Snap());
}

}  // namespace
}  // namespace panora::test
