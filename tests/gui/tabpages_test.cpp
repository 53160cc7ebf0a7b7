// The tab control and its picture-and-border and bezel pages, driven through
// the real widgets against the simulated processor over real TCP: after each
// "Set" the simulator holds what the page shows, and "Get" shows what it holds.
#include <QAccessible>
#include <QApplication>
#include <QWheelEvent>
#include <QCheckBox>
#include <QImage>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QTest>
#include <tuple>

#include "SimFrameTest.h"
#include "panels/CoolTabCtrl.h"
#include "panels/DlgBorderSet.h"
#include "panels/DlgTestPage.h"

namespace panora::test {
namespace {

class TabPagesTest : public SimFrameTest {
 protected:
  CDlgTestPage& Picture() { return *qobject_cast<CDlgTestPage*>(f->TabCtrl().PageWindow(0)); }
  CDlgBorderSet& Bezel() { return *qobject_cast<CDlgBorderSet*>(f->TabCtrl().PageWindow(2)); }
  template <typename W>
  W* On(QWidget& page, int id) {
    W* w = page.findChild<W*>(QString::number(id));
    EXPECT_NE(w, nullptr) << id;
    return w;
  }
  void Click(QWidget& page, int id) { QTest::mouseClick(On<QAbstractButton>(page, id), Qt::LeftButton); }
  // Waits until the program has read every answer sent so far. A received
  // block is read as one answer, so an acknowledgement still on its way
  // would arrive together with the bezel answer and hide it. A version
  // answer read cleanly is the sign: it came at the start of its block, so
  // everything before it has been read. One read with an earlier
  // acknowledgement in front shows another version; then ask again.
  void Settle() {
    CLstInforBox* list = f->MainSet().InfoList();
    auto last = [&] { return list->count() > 0 ? list->item(list->count() - 1)->text() : QString(); };
    for (int tries = 0; tries < 10; ++tries) {
      const QString before = last();
      f->SendCommand(cmd::kVersion, 0);
      ASSERT_TRUE(WaitUntil([&] { return last() != before; }));
      if (last().endsWith("Version:1.0.0")) return;
    }
    FAIL() << "no clean version answer";
  }
  template <typename Pred>
  bool Sim(Pred pred) {
    return WaitUntil([&] { return pred(sim->Server().GetState()); });
  }
};

TEST_F(TabPagesTest, TabsAreDrawnAlongTheBottomAndShowTheirPages) {
  CCoolTabCtrl& tabs = f->TabCtrl();
  ASSERT_TRUE(Picture().isVisible() && !Bezel().isVisible());
  const int w = tabs.width(), h = tabs.height();
  for (int i = 0; i < 3; ++i) {
    // Icon-only tabs, 27 pixels wide from 6 in; the strip reaches 2 pixels
    // above them, where the shown tab joins its page.
    const QRect tab = tabs.Strip()->tabRect(i).translated(tabs.Strip()->pos());
    EXPECT_EQ(tab, QRect(6 + 27 * i, h - 25, 27, 25)) << i;
    EXPECT_EQ(tabs.PageWindow(i)->geometry(), QRect(4, 4, w - 8, h - 29)) << i;
  }

  const QImage shot = tabs.grab().toImage();
  const QColor face = tabs.palette().color(QPalette::Button);
  auto at = [&](int x, int y) { return shot.pixelColor(x, y); };
  EXPECT_EQ(at(2, 2), QColor(Qt::white));        // the page frame's top left
  EXPECT_EQ(at(w - 3, 10), QColor(Qt::black));   // and its right side
  EXPECT_EQ(at(40, h - 24), QColor(Qt::black));  // its bottom line above a hidden page's tab
  EXPECT_EQ(at(12, h - 24), face);               // broken by the shown tab
  EXPECT_EQ(at(6, h - 24), QColor(Qt::white));   // whose left edge runs up into the frame
  EXPECT_EQ(at(12, h - 1), QColor(Qt::black));   // and which reaches the bottom
  EXPECT_EQ(at(33, h - 23), QColor(Qt::white));  // a hidden page's tab, one pixel shorter
  EXPECT_EQ(at(40, h - 2), QColor(Qt::black));
  EXPECT_EQ(at(40, h - 1), face);

  // A click on the third tab shows the bezel page; screen readers hear it.
  QTest::mouseClick(tabs.Strip(), Qt::LeftButton, {}, tabs.Strip()->tabRect(2).center());
  EXPECT_EQ(tabs.currentIndex(), 2);
  EXPECT_TRUE(Bezel().isVisible());
  EXPECT_FALSE(Picture().isVisible());
  QAccessibleInterface* strip = QAccessible::queryAccessibleInterface(tabs.Strip());
  EXPECT_TRUE(strip->child(2)->state().selected);
  EXPECT_FALSE(strip->child(0)->state().selected);
  // A page that does not exist leaves the shown one alone.
  tabs.ShowPage(7);
  EXPECT_EQ(tabs.currentIndex(), 2);
  EXPECT_TRUE(Bezel().isVisible());
  EXPECT_EQ(tabs.PageWindow(7), nullptr);
}

TEST_F(TabPagesTest, OnlyClicksKeysAndTheTabsActionChangeThePage) {
  CCoolTabCtrl& tabs = f->TabCtrl();
  CCoolTabStrip* strip = tabs.Strip();
  ASSERT_EQ(tabs.currentIndex(), 0);
  // The wheel turned over the strip on its way elsewhere changes nothing.
  for (int delta : {-120, 120, -120}) {
    const QPointF at = strip->tabRect(1).center();
    QWheelEvent wheel(at, strip->mapToGlobal(at), QPoint(), QPoint(0, delta), Qt::NoButton, Qt::NoModifier,
                      Qt::NoScrollPhase, false);
    QApplication::sendEvent(strip, &wheel);
  }
  EXPECT_EQ(tabs.currentIndex(), 0);
  EXPECT_TRUE(Picture().isVisible());

  // A tab's accessible "press" does what the click does: it shows the page,
  // unless the tab could not be clicked.
  QAccessibleInterface* acc = QAccessible::queryAccessibleInterface(strip);
  auto press = [&](int i) {
    acc->child(i)->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
  };
  strip->setTabEnabled(2, false);
  EXPECT_TRUE(acc->child(2)->actionInterface()->actionNames().isEmpty());
  press(2);
  QTest::mouseClick(strip, Qt::LeftButton, {}, strip->tabRect(2).center());
  EXPECT_EQ(tabs.currentIndex(), 0);
  strip->setTabEnabled(2, true);
  press(2);
  EXPECT_EQ(tabs.currentIndex(), 2);
  EXPECT_TRUE(Bezel().isVisible());
  strip->setEnabled(false);
  press(1);
  EXPECT_EQ(tabs.currentIndex(), 2);
  strip->setEnabled(true);
  // The keyboard still walks the tabs.
  strip->setFocus();
  QTest::keyClick(strip, Qt::Key_Left);
  EXPECT_EQ(tabs.currentIndex(), 1);
  // A hidden tab offers no action either.
  strip->setTabVisible(0, false);
  EXPECT_TRUE(acc->child(0)->actionInterface()->actionNames().isEmpty());
  press(0);
  EXPECT_EQ(tabs.currentIndex(), 1);
  strip->setTabVisible(0, true);
}

TEST_F(TabPagesTest, ControlsOutOfSightOfferNoActionAndDoNothing) {
  // Border Set on the picture page while another page is shown: the mouse
  // cannot reach it, so neither can its accessible action.
  ASSERT_EQ(f->m_nCurMod, 17);
  CDlgTestPage& p = Picture();
  ASSERT_TRUE(p.m_btnBorderSet->isEnabled());
  f->TabCtrl().ShowPage(2);
  ASSERT_FALSE(p.m_btnBorderSet->isVisible());
  auto actions = [](QWidget* w) { return QAccessible::queryAccessibleInterface(w)->actionInterface(); };
  EXPECT_TRUE(actions(p.m_btnBorderSet)->actionNames().isEmpty());
  actions(p.m_btnBorderSet)->doAction(QAccessibleActionInterface::pressAction());
  EXPECT_TRUE(Seen(cmd::kBorder).empty());
  // Shown again, it works as before.
  f->TabCtrl().ShowPage(0);
  AccessiblePress(p.m_btnBorderSet);
  EXPECT_EQ(Seen(cmd::kBorder).size(), 1u);

  // The main settings' "All" box is kept hidden for its check state.
  QCheckBox* all = f->MainSet().m_chkDispAll;
  ASSERT_TRUE(all->isEnabled());
  ASSERT_FALSE(all->isVisible());
  const bool checked = all->isChecked();
  EXPECT_TRUE(actions(all)->actionNames().isEmpty());
  actions(all)->doAction(QAccessibleActionInterface::toggleAction());
  actions(all)->doAction(QAccessibleActionInterface::pressAction());
  EXPECT_EQ(all->isChecked(), checked);
}

TEST_F(TabPagesTest, ContrastAndBrightnessGoOutOnlyWithSetAndReset) {
  CDlgTestPage& p = Picture();
  EXPECT_EQ(p.m_edContrast->text(), "100");
  EXPECT_EQ(p.m_edBrightness->text(), "512");
  Click(p, 1016);  // CH2
  p.m_sldContrast->setValue(399);
  EXPECT_EQ(p.m_edContrast->text(), "399");  // the box follows at once
  EXPECT_TRUE(Seen(cmd::kContrast).empty());
  Click(p, 1064);
  EXPECT_TRUE(Sim([](const sim::State& s) { return s.contrast == std::array<int, 4>{100, 399, 100, 100}; }));

  Click(p, 1018);  // CH4
  QTest::keyClick(p.m_sldBrightness, Qt::Key_End);
  EXPECT_EQ(p.m_edBrightness->text(), "1023");
  Click(p, 1062);
  EXPECT_TRUE(Sim([](const sim::State& s) {
    return s.brightness == std::array<int, 4>{512, 512, 512, 1023};
  }));

  // "All" and the resets: every channel back to the start values.
  Click(p, 1019);
  Click(p, 1065);
  Click(p, 1066);
  EXPECT_EQ(p.m_sldContrast->value(), 100);
  EXPECT_EQ(p.m_edContrast->text(), "100");
  EXPECT_EQ(p.m_sldBrightness->value(), 512);
  EXPECT_TRUE(Sim([](const sim::State& s) {
    return s.contrast == std::array<int, 4>{100, 100, 100, 100} &&
           s.brightness == std::array<int, 4>{512, 512, 512, 512};
  }));
  Seen(cmd::kContrast);
  // Neither waits for a batch: they build frames of their own.
  f->m_bSending = 1;
  Click(p, 1064);
  f->m_bSending = 0;
  EXPECT_EQ(Seen(cmd::kContrast).size(), 1u);
}

TEST_F(TabPagesTest, BorderSetSendsKeepsTheRecordAndFollowsTheMode) {
  CDlgTestPage& p = Picture();
  CDataPrm& rec = f->m_Profile.m_DataPrm[kWorkingSlot];
  ASSERT_EQ(f->m_nCurMod, 17);  // a PIP mode: border "Set" usable
  EXPECT_TRUE(p.m_btnBorderSet->isEnabled());
  EXPECT_FALSE(p.m_chkBorderCh[1]->isEnabled());
  Click(p, 1057);  // Single channel
  EXPECT_TRUE(p.m_chkBorderCh[1]->isEnabled());
  EXPECT_FALSE(On<QRadioButton>(p, 1046)->isEnabled());
  Click(p, 1059);
  Click(p, 1061);
  Click(p, 1063);
  EXPECT_TRUE(Sim([](const sim::State& s) {
    return s.setUp.border == std::array<std::uint8_t, 4>{0, 1, 0, 1};
  }));
  EXPECT_EQ(rec.m_nBorderScope, 1);
  EXPECT_EQ(rec.m_nBorderAll, 0);
  EXPECT_EQ(rec.m_nBorderCh, (std::array<std::int32_t, 4>{0, 1, 0, 1}));

  Click(p, 1054);  // ALL channels
  Click(p, 1046);  // ON
  Click(p, 1063);
  EXPECT_TRUE(Sim([](const sim::State& s) {
    return s.setUp.border == std::array<std::uint8_t, 4>{1, 1, 1, 1};
  }));
  EXPECT_EQ(rec.m_nBorderScope, 0);
  EXPECT_EQ(rec.m_nBorderAll, 1);
  EXPECT_EQ(rec.m_nBorderCh, (std::array<std::int32_t, 4>{1, 1, 1, 1}));

  // While a batch goes out: only the busy box, the record stays.
  Click(p, 1055);  // OFF
  f->m_bSending = 1;
  dialogs.ExpectBox("please wait second, sending data have not finished");
  Click(p, 1063);
  f->m_bSending = 0;
  EXPECT_EQ(rec.m_nBorderAll, 1);
  EXPECT_EQ(Seen(cmd::kBorder).size(), 2u);

  // A stored POP user mode brings its borders; a zoom-out mode greys "Set".
  CDataPrm& slot = f->m_Profile.m_DataPrm[10];  // mode 31
  slot.m_bSaved = 1;
  slot.m_nBorderScope = 1;
  slot.m_nBorderCh = {1, 0, 0, 1};
  p.m_sldBrightness->setValue(20);
  f->ApplyMode(31);
  EXPECT_EQ(p.m_sldBrightness->value(), 512);
  EXPECT_EQ(p.m_edBrightness->text(), "512");
  EXPECT_TRUE(On<QRadioButton>(p, 1057)->isChecked());
  EXPECT_TRUE(p.m_chkBorderCh[0]->isChecked() && p.m_chkBorderCh[3]->isChecked());
  EXPECT_FALSE(p.m_chkBorderCh[1]->isChecked());
  EXPECT_FALSE(On<QRadioButton>(p, 1055)->isEnabled());
  EXPECT_TRUE(p.m_btnBorderSet->isEnabled());
  f->ApplyMode(26);  // an empty PIP user slot: ALL channels, OFF
  EXPECT_TRUE(On<QRadioButton>(p, 1054)->isChecked());
  EXPECT_TRUE(On<QRadioButton>(p, 1055)->isChecked());
  EXPECT_FALSE(p.m_chkBorderCh[0]->isChecked() || p.m_chkBorderCh[0]->isEnabled());
  EXPECT_TRUE(p.m_btnBorderSet->isEnabled());
  f->ApplyMode(4);
  EXPECT_FALSE(p.m_btnBorderSet->isEnabled());
}

TEST_F(TabPagesTest, BezelGetShowsWhatTheProcessorHoldsAndSetSendsTheBoxes) {
  CDlgBorderSet& b = Bezel();
  f->TabCtrl().ShowPage(2);
  ASSERT_EQ(f->m_nCurMod, 17);
  EXPECT_FALSE(b.m_btnGet->isEnabled());
  EXPECT_FALSE(b.m_btnSet->isEnabled());
  f->OnQuickMode(0);  // "4Times" 1: a zoom-out mode
  ASSERT_EQ(f->m_nCurMod, 0);
  EXPECT_TRUE(b.m_btnGet->isEnabled());
  EXPECT_FALSE(b.m_btnSet->isEnabled());

  const std::uint8_t held[2] = {7, 48};  // what the processor holds before the page asks
  f->SendCommand(cmd::kBezel, cmd::kSubBezelSet, held, 2);
  ASSERT_TRUE(Sim([](const sim::State& st) { return st.bezelH == 7 && st.bezelV == 48; }));
  Settle();
  // The query is pending from the press on, before its answer can be read.
  b.OnBezelGet();
  EXPECT_EQ(f->m_nReplyStatus.load(), kReplyPending);
  ASSERT_TRUE(WaitUntil([&] { return b.m_edV->text() == "48"; }));
  EXPECT_EQ(b.m_edH->text(), "7");
  EXPECT_TRUE(b.m_btnSet->isEnabled());

  // Typed sizes go out as they are; the setting is noted as (0x53, 0), as
  // its answer is read like the query's.
  b.m_edH->clear();
  QTest::keyClicks(b.m_edH, "12x");  // digits only
  EXPECT_EQ(b.m_edH->text(), "12");
  b.m_edV->clear();
  Click(b, 1135);
  EXPECT_EQ(f->m_nCurCmd.load(), cmd::kBezel);
  EXPECT_EQ(f->m_nCurSub.load(), 0);
  EXPECT_TRUE(Sim([](const sim::State& st) { return st.bezelH == 12 && st.bezelV == 0; }));
  b.m_edV->setText("48");
  Click(b, 1135);
  EXPECT_TRUE(Sim([](const sim::State& st) { return st.bezelH == 12 && st.bezelV == 48; }));
  // A size above 48 is refused with a box naming its box, and nothing goes
  // out (it once went out as its low byte: 300 as 44, 60 as 60).
  (void)Seen(cmd::kBezel);
  for (const auto& [hText, vText, named] :
       {std::tuple{"300", "4", "H-Bezel must be 0 to 48, not 300."}, std::tuple{"0", "60", "V-Bezel must be 0 to 48, not 60."},
        std::tuple{"999", "49", "H-Bezel must be 0 to 48, not 999.\nV-Bezel must be 0 to 48, not 49."}}) {
    b.m_edH->setText(hText);
    b.m_edV->setText(vText);
    dialogs.ExpectBox(named);
    Click(b, 1135);
  }
  EXPECT_TRUE(Seen(cmd::kBezel).empty());
  EXPECT_EQ(sim->Server().GetState().bezelH, 12);
  EXPECT_EQ(sim->Server().GetState().bezelV, 48);
  // The processor keeps 12 and 60 (set by another controller); asked again,
  // the page shows 12 and 0.
  const std::uint8_t wide[2] = {12, 60};
  f->SendCommand(cmd::kBezel, cmd::kSubBezelSet, wide, 2);
  EXPECT_TRUE(Sim([](const sim::State& st) { return st.bezelH == 12 && st.bezelV == 60; }));
  b.m_edH->clear();
  Settle();
  ASSERT_TRUE(WaitUntil([&] { return f->m_bSending.load() == 0; }));  // the first Get's worker has ended
  Click(b, 1134);
  ASSERT_TRUE(WaitUntil([&] { return b.m_edH->text() == "12"; }));
  EXPECT_EQ(b.m_edV->text(), "0");

  // In a full mode both buttons are grey, and an answer fills the boxes
  // without making "Set" usable.
  ASSERT_TRUE(WaitUntil([&] { return f->m_bSending.load() == 0; }));
  const std::uint8_t answer[] = {0x7D, 0x3A, 0x00, 0x07, 0x53, 0x00, 0x00, 0x00,
                                 0x00, 30,   31,   0,    0x45, 0x4E, 0x44};
  f->OnQuickMode(3);  // "Full-Default 1"
  ASSERT_EQ(f->m_nCurMod, 8);
  EXPECT_FALSE(b.m_btnGet->isEnabled() || b.m_btnSet->isEnabled());
  f->NoteCommand(cmd::kBezel, 0);
  f->Replies().OnDeviceData(answer, sizeof answer);
  EXPECT_EQ(b.m_edV->text(), "31");
  EXPECT_FALSE(b.m_btnSet->isEnabled());

  // "Get" waits for its answer on the worker: refused while a batch goes out.
  f->OnQuickMode(0);
  f->m_bSending = 1;
  dialogs.ExpectBox("please wait second, sending data have not finished");
  Click(b, 1134);
  f->m_bSending = 0;
}

}  // namespace
}  // namespace panora::test
