// The full-mode move and zoom page and the channel position dialog, pressed
// as the operator presses them, against the simulated processor over a real
// TCP connection: what the simulator holds afterwards is what was pressed.
#include <QButtonGroup>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabBar>
#include <QTest>

#include "app/FrameChrome.h"
#include "SimFrameTest.h"
#include "layout/ChildFrame.h"
#include "layout/DlgFullSet.h"
#include "layout/DlgPostSet.h"
#include "link/Commands.h"
#include "panels/CoolTabCtrl.h"

namespace panora::test {
namespace {

class FullSetTest : public SimFrameTest {
 protected:
  QPushButton* Button(QWidget& w, int id) {
    auto* b = w.findChild<QPushButton*>(QString::number(id));
    EXPECT_NE(b, nullptr) << id;
    return b;
  }
  void TypeStep(QWidget& page, int id, const QString& text) {
    auto* e = page.findChild<QLineEdit*>(QString::number(id));
    ASSERT_NE(e, nullptr) << id;
    e->selectAll();
    if (text.isEmpty())
      QTest::keyClick(e, Qt::Key_Backspace);
    else
      QTest::keyClicks(e, text);
  }
  sim::State State() { return sim->Server().GetState(); }
  std::vector<SeenFrame> Sent(int command) {
    std::vector<SeenFrame> all = ReceivedFrames(), out;
    for (const SeenFrame& s : all)
      if (s.command == command) out.push_back(s);
    return out;
  }
};

TEST_F(FullSetTest, MoveAndZoomButtonsShiftAndScaleTheChosenChannelInFullModesOnly) {
  CDlgFullSet& page = *f->Chrome().m_dlgFullSet;
  ASSERT_EQ(f->TabCtrl().PageWindow(1), &page);
  // The operator brings the page up with the second tab.
  QTabBar* tabs = f->TabCtrl().Strip();
  QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->tabRect(1).center());
  ASSERT_TRUE(page.isVisible());
  for (QLineEdit* e : page.m_edStep) EXPECT_EQ(e->text(), QStringLiteral("2"));
  EXPECT_EQ(page.m_grpChannel->checkedId(), 0);

  // Start-up mode 17: the buttons are off, the channel and the steps can change.
  EXPECT_FALSE(Button(page, 1144)->isEnabled());
  QTest::mouseClick(page.m_grpChannel->button(2), Qt::LeftButton);
  TypeStep(page, 1098, QStringLiteral("5"));
  EXPECT_EQ(BoxText(page, 1098), QStringLiteral("5"));
  QTest::mouseClick(Button(page, 1144), Qt::LeftButton);
  EXPECT_EQ(State().shift[2], (std::array<int, 2>{0, 0}));

  // Full-Default 1: "Right" with CH3 and step 5, then "VZoomOut" and
  // "HZoomIn" with CH1 and the initial step.
  f->ApplyMode(8);
  f->m_nCurMod = 8;
  // The mode change shows the channel of the last press again, as the page
  // takes the radios in only when a button is pressed.
  EXPECT_EQ(page.m_grpChannel->checkedId(), 0);
  QTest::mouseClick(page.m_grpChannel->button(2), Qt::LeftButton);
  QTest::mouseClick(Button(page, 1144), Qt::LeftButton);
  EXPECT_EQ(page.m_nChannel, 2);
  QTest::mouseClick(page.m_grpChannel->button(0), Qt::LeftButton);
  QTest::mouseClick(Button(page, 1156), Qt::LeftButton);
  QTest::mouseClick(Button(page, 1153), Qt::LeftButton);
  ASSERT_TRUE(WaitUntil([&] { return State().zoom[0][0] == 2; }));
  EXPECT_EQ(State().shift[2], (std::array<int, 2>{5, 0}));  // once: the press in mode 17 sent nothing
  EXPECT_EQ(State().zoom[0], (std::array<int, 2>{2, -2}));

  // Only digits, one of them; an empty box or "0" asks for a number.
  TypeStep(page, 1147, QStringLiteral("x"));
  EXPECT_EQ(BoxText(page, 1147), QStringLiteral("2"));
  TypeStep(page, 1147, QStringLiteral("34"));
  EXPECT_EQ(BoxText(page, 1147), QStringLiteral("3"));
  TypeStep(page, 1147, QString());
  dialogs.ExpectBox("Please input number 1-9");
  QTest::mouseClick(Button(page, 1143), Qt::LeftButton);
  TypeStep(page, 1100, QStringLiteral("0"));
  dialogs.ExpectBox("Please input number 1-9");
  QTest::mouseClick(Button(page, 1146), Qt::LeftButton);

  // A press goes out at once while a worker batch is in flight: its frame is
  // built apart from the batch.
  f->m_bSending = 1;
  QTest::mouseClick(Button(page, 1145), Qt::LeftButton);  // Up, CH1, 2
  f->m_bSending = 0;
  ASSERT_TRUE(WaitUntil([&] { return State().shift[0][1] == -2; }));
  EXPECT_EQ(State().shift[0][0], 0);  // the refused presses sent nothing

  // A PIP mode turns the eight buttons off again, and the steps stay usable.
  f->ApplyMode(14);
  for (QPushButton* b : page.m_btnMoveZoom) EXPECT_FALSE(b->isEnabled()) << b->text().toStdString();
  for (QLineEdit* e : page.m_edStep) EXPECT_TRUE(e->isEnabled());
  EXPECT_TRUE(page.m_grpChannel->button(3)->isEnabled());
}

TEST_F(FullSetTest, PositionDialogNudgesMoveTheProcessorsWindowButNotTheLayout) {
  f->m_nCurMod = 17;
  f->m_nCurpod = 1;  // CH2: 960, 0, 960 x 540 at the factory
  const sim::Geometry g = State().setUp.geometry[1];
  ASSERT_EQ(g, (sim::Geometry{960, 0, 960, 540}));
  const Rect window = f->ChannelFrame(1)->WindowRect();
  dialogs.ExpectDialog("176", [&](QDialog& d) {
    EXPECT_EQ(d.windowTitle(), QStringLiteral("."));
    EXPECT_EQ(BoxText(d, 1097), QStringLiteral("2"));
    EXPECT_EQ(BoxText(d, 1112), QStringLiteral("1920"));
    // "+" on the right edge: the processor's window grows at once.
    QTest::mouseClick(Button(d, 1113), Qt::LeftButton);
    EXPECT_EQ(BoxText(d, 1112), QStringLiteral("1921"));
    EXPECT_TRUE(WaitUntil([&] { return State().setUp.geometry[1].w == 961; }));
    // "-" on the left edge moves X and widens; "-" on the top edge at 0 sends nothing.
    QTest::mouseClick(Button(d, 1108), Qt::LeftButton);
    QTest::mouseClick(Button(d, 1115), Qt::LeftButton);
    EXPECT_EQ(BoxText(d, 1118), QStringLiteral("0"));
    // "+" and "-" of the bottom edge; "Get channel position" does nothing.
    QTest::mouseClick(Button(d, 1116), Qt::LeftButton);
    QTest::mouseClick(Button(d, 1117), Qt::LeftButton);
    QTest::mouseClick(Button(d, 1120), Qt::LeftButton);
    return ClickButton(QStringLiteral("1"))(d);  // Save
  });
  f->OnWindowAdjust();
  // Every nudge moved one edge by one step: the last of them decides, so
  // wait for the whole window, not for the first value that matches.
  const sim::Geometry nudged{959, 0, 962, 540};
  EXPECT_TRUE(WaitUntil([&] { return State().setUp.geometry[1] == nudged; }));
  EXPECT_EQ(State().setUp.geometry[1], nudged);
  const std::vector<SeenFrame> sent = Sent(cmd::kSetGeometry);
  const std::vector<std::vector<int>> payloads = {{0x03, 0xC0, 0, 0, 0x03, 0xC1, 0x02, 0x1C},
                                                  {0x03, 0xBF, 0, 0, 0x03, 0xC2, 0x02, 0x1C},
                                                  {0x03, 0xBF, 0, 0, 0x03, 0xC2, 0x02, 0x1D},
                                                  {0x03, 0xBF, 0, 0, 0x03, 0xC2, 0x02, 0x1C}};
  ASSERT_EQ(sent.size(), payloads.size());
  for (std::size_t i = 0; i < sent.size(); ++i) {
    EXPECT_EQ(sent[i].subCode, 1);
    EXPECT_EQ(sent[i].payload, payloads[i]) << i;
  }
  EXPECT_EQ(f->ChannelFrame(1)->WindowRect(), window);

  // The right edge passing the left one: a width of -1 reaches the processor
  // as FFFF; without a connection the edge still moves on screen, silently.
  CDlgPostSet dlg(*f, f);
  dlg.Open(3, 5, 0, 0, 0);
  QTest::mouseClick(Button(dlg, 1110), Qt::LeftButton);
  EXPECT_TRUE(WaitUntil([&] { return State().setUp.geometry[3].w == 0xFFFF; }));
  EXPECT_EQ(dlg.m_nW, -1);
  f->OnDisconnect();
  QTest::mouseClick(Button(dlg, 1109), Qt::LeftButton);
  EXPECT_EQ(BoxText(dlg, 1111), QStringLiteral("6"));
  EXPECT_EQ(State().setUp.geometry[3].x, 5);
}

}  // namespace
}  // namespace panora::test
