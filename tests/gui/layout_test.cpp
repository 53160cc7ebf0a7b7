// The channel windows driven by real mouse events, against the simulated
// processor over a real TCP connection: what the operator drags is what
// reaches the processor, and nothing else does.
#include <QAccessible>
#include <QButtonGroup>
#include <QCheckBox>
#include <QFileInfo>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>
#include <QPaintEvent>
#include <QTest>

#include "SimFrameTest.h"
#include "layout/Arrange.h"
#include "layout/ChildFrame.h"
#include "layout/LayoutArea.h"
#include "layout/QtRect.h"
#include "layout/TesselView.h"
#include "link/Commands.h"
#include "panels/CoolTabCtrl.h"
#include "ui/CoolBar.h"

namespace panora::test {
namespace {

class LayoutTest : public SimFrameTest {
 protected:
  void SetUp() override {
    SimFrameTest::SetUp();
    if (HasFatalFailure()) return;
    f->m_nCurMod = 17;  // a picture-in-picture mode: every operation allowed
  }

  // The geometry frames the simulator received so far.
  std::vector<SeenFrame> Received() {
    std::vector<SeenFrame> frames = ReceivedFrames();
    frames.erase(std::remove_if(frames.begin(), frames.end(),
                                [](const SeenFrame& s) { return s.command != cmd::kSetGeometry; }),
                 frames.end());
    return frames;
  }
  std::vector<int> Payload(int channel, const Rect& layoutRect) {
    const OutputGeometry g =
        f->Windows().WindowToOutput(channel, layoutRect.Offset(f->m_rcLayout.x(), f->m_rcLayout.y()));
    const auto p = GeometryPayload(g);
    return {p.begin(), p.end()};
  }

  // As the window system delivers one: press, release, double-click, release.
  void DoubleClick(QWidget* w, QPoint local) {
    Press(w, local);
    Release(w);
    QTest::mouseDClick(w, Qt::LeftButton, {}, w->mapFromGlobal(mouse));
    Release(w);
  }
  int Outlined() {
    Pump(20);
    int n = 0, which = -1;
    for (int ch = 0; ch < 4; ++ch)
      if (f->ChannelFrame(ch)->OutlineShown()) ++n, which = ch;
    return n == 1 ? which : -1 - n;
  }
};

TEST_F(LayoutTest, ADragSendsOneFrameAndAClickWithoutMoveSendsNone) {
  CChildFrame* frame = f->ChannelFrame(1);
  CTesselView* view = frame->View();
  frame->MoveTo(Rect{100, 80, 300, 200});
  const Rect before = frame->WindowRect();

  Press(view, QPoint(50, 40));
  Release(view);
  EXPECT_TRUE(Received().empty());
  EXPECT_EQ(f->m_nCurpod, 1);
  EXPECT_EQ(Outlined(), 1);

  // Every move moves the window; the frame goes out once, at the release.
  Press(view, QPoint(50, 40));
  MoveBy(view, 5, 0);
  EXPECT_EQ(frame->WindowRect(), before.Offset(5, 0));
  MoveBy(view, 25, 20);
  Release(view);
  const Rect after = before.Offset(30, 20);
  EXPECT_EQ(frame->WindowRect(), after);
  const auto frames = Received();
  ASSERT_EQ(frames.size(), 1u);
  EXPECT_EQ(frames[0].subCode, 1);
  EXPECT_EQ(frames[0].payload, Payload(1, after));
  EXPECT_EQ(Outlined(), 1);
  const sim::State state = sim->Server().GetState();
  const auto& g = state.setUp.geometry[1];
  EXPECT_EQ(
      std::vector<int>({g.x >> 8, g.x & 255, g.y >> 8, g.y & 255, g.w >> 8, g.w & 255, g.h >> 8, g.h & 255}),
      Payload(1, after));

  // Past the top-left corner the window stops at 0; past the bottom-right
  // its edges stop on the area's edges.
  Press(view, QPoint(50, 40));
  MoveBy(view, -500, -500);
  EXPECT_EQ(frame->WindowRect(), (Rect{0, 0, 200, 120}));
  MoveBy(view, 5000, 5000);
  const QWidget* client = f->LayoutArea()->Client();
  EXPECT_EQ(frame->WindowRect(),
            (Rect{client->width() - 200, client->height() - 120, client->width(), client->height()}));
  Release(view);
  EXPECT_EQ(Received().size(), 2u);

  // The accessible window keeps its true extent.
  QAccessibleInterface* acc = QAccessible::queryAccessibleInterface(frame);
  ASSERT_NE(acc, nullptr);
  EXPECT_EQ(acc->text(QAccessible::Name), QStringLiteral("CH2"));
  EXPECT_EQ(acc->role(), QAccessible::Window);
  EXPECT_EQ(acc->rect(), QRect(frame->mapToGlobal(QPoint(0, 0)), frame->size()));
}

TEST_F(LayoutTest, ADoubleClickMaximisesAndRestoresInPipModesOnly) {
  CChildFrame* frame = f->ChannelFrame(2);
  CTesselView* view = frame->View();
  frame->MoveTo(Rect{40, 30, 240, 150});

  DoubleClick(view, QPoint(20, 20));
  const Rect full{0, 0, f->m_rcLayout.width(), f->m_rcLayout.height()};
  EXPECT_EQ(frame->WindowRect(), full);
  EXPECT_EQ(view->m_bMaximized, 1);
  auto frames = Received();
  ASSERT_EQ(frames.size(), 1u);  // the release that ends the double-click sends nothing
  EXPECT_EQ(frames[0].subCode, 2);
  EXPECT_EQ(frames[0].payload, (std::vector<int>{0, 0, 0, 0, 0x07, 0x80, 0x04, 0x38}));
  EXPECT_EQ(f->m_bSkipButtonUp, 0);

  DoubleClick(view, QPoint(300, 200));
  EXPECT_EQ(frame->WindowRect(), (Rect{40, 30, 240, 150}));
  EXPECT_EQ(view->m_bMaximized, 0);
  EXPECT_EQ(Received().size(), 2u);
  EXPECT_EQ(Outlined(), 2);

  // A full mode: nothing happens, no message.
  f->m_nCurMod = 8;
  DoubleClick(view, QPoint(20, 20));
  EXPECT_EQ(frame->WindowRect(), (Rect{40, 30, 240, 150}));
  EXPECT_EQ(Received().size(), 2u);
}

TEST_F(LayoutTest, CornerSizingKeepsTheRatioAndEndsWithOneFrame) {
  CChildFrame* frame = f->ChannelFrame(0);
  frame->MoveTo(Rect{100, 100, 300, 220});
  f->m_nCurpod = 3;

  Press(frame, QPoint(198, 118));  // the bottom-right corner
  MoveBy(frame, 50, 0);
  MoveBy(frame, 50, 30);  // proposes (100, 100)-(400, 250)
  EXPECT_EQ(frame->WindowRect(), (Rect{100, 100, 350, 250}));
  EXPECT_TRUE(Received().empty());  // nothing while the button is held
  Release(frame);
  EXPECT_EQ(frame->WindowRect(), (Rect{100, 100, 350, 250}));
  const auto frames = Received();
  ASSERT_EQ(frames.size(), 1u);
  EXPECT_EQ(frames[0].subCode, 0);
  EXPECT_EQ(frames[0].payload, Payload(0, Rect{100, 100, 350, 250}));
  EXPECT_EQ(f->m_nCurpod, 0);
  EXPECT_EQ(Outlined(), 0);

  // An edge sizes freely.
  Press(frame, QPoint(100, 149));  // the bottom edge
  MoveBy(frame, 30, 40);
  Release(frame);
  EXPECT_EQ(frame->WindowRect(), (Rect{100, 100, 350, 290}));
  EXPECT_EQ(Received().size(), 2u);

  // A border click without a move sizes and sends nothing, but activates
  // and raises the window, as a border press does.
  f->Windows().SelectWindow(2);
  Press(frame, QPoint(100, 189));
  Release(frame);
  EXPECT_EQ(Received().size(), 2u);
  EXPECT_EQ(f->LayoutArea()->ActiveFrame(), frame);
  const QObjectList stack = f->LayoutArea()->Client()->children();
  EXPECT_EQ(*std::find_if(stack.rbegin(), stack.rend(), [](QObject* o) { return qobject_cast<CChildFrame*>(o); }),
            frame);  // the highest window; only the drawing of covered ones is above it

  // No sizing makes a window smaller than its grip, nor pulls an edge out
  // of the area.
  Press(frame, QPoint(248, 188));  // the bottom-right corner
  MoveBy(frame, -400, -300);
  EXPECT_GE(frame->width(), CChildFrame::kMinSize);
  EXPECT_GE(frame->height(), CChildFrame::kMinSize);
  Release(frame);
  frame->MoveTo(Rect{100, 100, 300, 220});
  Press(frame, QPoint(199, 60));  // the right edge
  MoveBy(frame, 5000, 0);
  Release(frame);
  EXPECT_EQ(frame->WindowRect().right, f->LayoutArea()->Client()->width());
  EXPECT_EQ(Received().size(), 4u);
}

TEST_F(LayoutTest, AnInterruptedDoubleClickOrAClosedBarLosesNoGeometry) {
  // A double-click whose release a box took leaves the skip behind: the next
  // press clears it, so this drag's release still sends.
  f->m_bSkipButtonUp = 1;
  CChildFrame* frame = f->ChannelFrame(1);
  frame->MoveTo(Rect{10, 10, 210, 130});
  Press(frame->View(), QPoint(30, 30));
  MoveBy(frame->View(), 20, 10);
  Release(frame->View());
  EXPECT_EQ(Received().size(), 1u);

  // Closing the left bar widens the area: the windows keep their share of
  // it, so a refresh sends what the processor already shows.
  frame->MoveTo(Rect{0, 0, f->m_rcLayout.width() / 2, f->m_rcLayout.height()});
  f->Windows().SendWindowGeometry(1);
  const std::vector<int> half = Received().back().payload;
  const QRect before = f->m_rcLayout;
  f->PanelBar().close();
  Pump(50);
  const QWidget* client = f->LayoutArea()->Client();
  EXPECT_GT(f->m_rcLayout.width(), before.width());
  EXPECT_EQ(f->m_rcLayout, QRect(client->mapTo(f, QPoint(0, 0)), client->size()));
  EXPECT_EQ(frame->WindowRect(), (Rect{0, 0, client->width() / 2, client->height()}));
  f->Windows().SendWindowGeometry(1);
  EXPECT_EQ(Received().back().payload, half);
  EXPECT_EQ(frame->View()->cursor().shape(), Qt::ArrowCursor);
}

TEST_F(LayoutTest, ABorderPressInAModeWithoutStretchingIsRefused) {
  CChildFrame* frame = f->ChannelFrame(0);
  frame->MoveTo(Rect{100, 100, 300, 220});
  for (int mode : {0, 8, 12, 21, 25}) {
    f->m_nCurMod = mode;
    dialogs.ExpectBox("Sorry, stretching function is unavailable in this mode");
    Press(frame, QPoint(100, 119));  // even the bottom edge
    MoveBy(frame, 20, 20);
    Release(frame);
    EXPECT_EQ(frame->WindowRect(), (Rect{100, 100, 300, 220})) << mode;
  }
  EXPECT_TRUE(Received().empty());
}

TEST_F(LayoutTest, WindowButtonsRecallTheWindowsVariantOnlyInZoomOutModes) {
  // A PIP mode: select, raise and outline; nothing sent.
  f->m_nCurpod = 0;
  f->NoteCommand(0, 0);
  f->OnWindowButton(2);
  EXPECT_EQ(f->m_nCurpod, 2);
  EXPECT_EQ(f->m_nPrevPod, 0);
  EXPECT_EQ(f->LayoutArea()->ActiveFrame(), f->ChannelFrame(2));
  EXPECT_EQ(Outlined(), 2);
  EXPECT_EQ(f->m_nCurCmd.load(), 0);

  // 4Times-Default 1: CH3 recalls variant 3; CH3 again sends nothing.
  f->m_nCurMod = 0;
  f->OnWindowButton(2);
  EXPECT_EQ(f->m_nCurMod, 2);
  EXPECT_EQ(f->m_nPrevMod, 0);
  EXPECT_TRUE(WaitUntil([&] { return sim->Server().GetState().mode == 2; }));
  f->NoteCommand(0, 0);
  f->OnWindowButton(2);
  EXPECT_EQ(f->m_nCurCmd.load(), 0);
  // 3Times-Default: CH1 recalls mode 4.
  f->m_nCurMod = 5;
  f->OnWindowButton(0);
  EXPECT_EQ(f->m_nCurMod, 4);
  EXPECT_TRUE(WaitUntil([&] { return sim->Server().GetState().mode == 4; }));

  // While a batch goes out, neither the buttons nor window adjustment build a frame.
  f->m_bSending = 1;
  dialogs.ExpectBox("please wait second, sending data have not finished");
  f->OnWindowButton(1);
  f->m_nCurMod = 17;
  dialogs.ExpectBox("please wait second, sending data have not finished");
  f->OnWindowAdjust();
  f->m_bSending = 0;
  EXPECT_EQ(f->m_nCurMod, 17);
  EXPECT_EQ(f->m_nCurpod, 0);
}

TEST_F(LayoutTest, WindowAdjustmentAsksForTheCurrentWindowsPosition) {
  const auto g = sim->Server().GetState().setUp.geometry[2];
  f->m_nCurpod = 2;
  dialogs.ExpectDialog("176", [&](QDialog& d) {
    EXPECT_EQ(BoxText(d, 1097), QStringLiteral("3"));
    EXPECT_EQ(BoxText(d, 1111), QString::number(g.x));
    EXPECT_EQ(BoxText(d, 1119), QString::number(g.y + g.h));
    return kIdOk;
  });
  f->OnWindowAdjust();
  EXPECT_EQ(f->m_nCurCmd.load(), cmd::kQueryPosition);
  // The query names the window; the worker may already have noted it, so the
  // sub-code noted is 0 or the channel, while the frame always carries the channel.
  EXPECT_EQ(g_TxBuf[5], 2);
  ASSERT_TRUE(WaitUntil([&] { return f->m_bSending.load() == 0; }, 3000));
  // Not offered in a full mode, however it is triggered.
  f->m_nCurMod = 8;
  f->NoteCommand(0, 0);
  f->OnWindowAdjust();
  EXPECT_EQ(f->m_nCurCmd.load(), 0);
}

TEST_F(LayoutTest, WithoutAConnectionNothingIsSentAndNothingShown) {
  f->OnDisconnect();
  f->NoteCommand(0, 0);
  CChildFrame* frame = f->ChannelFrame(3);
  frame->MoveTo(Rect{10, 10, 210, 130});
  Press(frame->View(), QPoint(30, 30));
  MoveBy(frame->View(), 40, 40);
  Release(frame->View());
  EXPECT_EQ(frame->WindowRect(), (Rect{50, 50, 250, 170}));
  EXPECT_EQ(f->m_nCurCmd.load(), 0);
  EXPECT_EQ(Outlined(), 3);
}

TEST_F(LayoutTest, PrintingTheActiveViewWritesItsPicture) {
  f->Windows().SelectWindow(1);
  const QString pdf = QString::fromStdString(home.Path() + "/ch2.pdf");
  dialogs.ExpectDialog("printDialog", [&](QDialog& d) {
    auto& dlg = static_cast<QPrintDialog&>(d);
    dlg.printer()->setOutputFormat(QPrinter::PdfFormat);
    dlg.printer()->setOutputFileName(pdf);
    return kIdOk;
  });
  f->Action(ID_FILE_PRINT)->trigger();
  EXPECT_GT(QFileInfo(pdf).size(), 1000);
  EXPECT_EQ(f->Action(ID_FILE_PRINT)->shortcut(), QKeySequence(QKeySequence::Print));
  dialogs.ExpectDialog("printPreview", [](QDialog&) { return kIdCancel; });
  f->Action(ID_FILE_PRINT_PREVIEW)->trigger();
}

// The four windows as they stand, and their order from the bottom up.
std::array<Rect, 4> Windows(CMainFrame& f) {
  std::array<Rect, 4> r;
  for (int ch = 0; ch < 4; ++ch) r[ch] = f.ChannelFrame(ch)->WindowRect();
  return r;
}
std::vector<int> Stacking(CMainFrame& f) {
  std::vector<int> order;
  for (QObject* o : f.LayoutArea()->Client()->children())
    if (auto* frame = qobject_cast<CChildFrame*>(o)) order.push_back(frame->m_nChannel);
  return order;
}
std::array<int, 4> Inputs(CMainFrame& f) {
  std::array<int, 4> r;
  for (int ch = 0; ch < 4; ++ch) r[ch] = f.ChannelFrame(ch)->View()->m_nInput;
  return r;
}
bool InputGroupEnabled(CDlgMainSet& p) {
  return p.m_btnInputSet->isEnabled() && p.m_grpInSel[3]->button(3)->isEnabled();
}

TEST_F(LayoutTest, ModesArrangeTheWindowsAndTheMainSettingsFromStartUpOn) {
  const int W = f->m_rcLayout.width(), H = f->m_rcLayout.height();
  CDlgMainSet& p = f->MainSet();
  // Start-up: mode 17, nested centred halves, each window on its own input.
  EXPECT_EQ(Windows(*f), panora::ArrangeChannels(17, W, H, f->m_Profile.m_DataPrm).frames);
  EXPECT_EQ(f->ChannelFrame(1)->WindowRect(), CentredHalf(Rect{0, 0, W, H}));
  EXPECT_EQ(Inputs(*f), (std::array<int, 4>{0, 1, 2, 3}));
  EXPECT_EQ(Stacking(*f), (std::vector<int>{0, 1, 2, 3}));
  EXPECT_TRUE(InputGroupEnabled(p));
  EXPECT_EQ(p.m_grpInSel[2]->checkedId(), 2);
  EXPECT_TRUE(p.m_btnOverlaySet->isEnabled());
  EXPECT_EQ(p.m_grpLayerSel[0]->checkedId(), 3);
  EXPECT_TRUE(p.m_btnRefreshOutput->isVisible());

  // The full-mode page (tab page 1): its move and zoom buttons follow the
  // full modes only.
  QWidget* page = f->TabCtrl().PageWindow(1);
  auto* left = page->findChild<QPushButton*>(QStringLiteral("1143"));
  auto* vzoom = page->findChild<QPushButton*>(QStringLiteral("1156"));
  ASSERT_NE(left, nullptr);
  ASSERT_NE(vzoom, nullptr);
  EXPECT_FALSE(left->isEnabled());

  // 3Times-Default 3: every window full, CH3 raised and current, In3 everywhere.
  f->m_nCurpod = 1;
  f->ApplyMode(6);
  EXPECT_EQ(Windows(*f),
            (std::array<Rect, 4>{Rect{0, 0, W, H}, Rect{0, 0, W, H}, Rect{0, 0, W, H}, Rect{0, 0, W, H}}));
  EXPECT_EQ(Stacking(*f), (std::vector<int>{3, 1, 0, 2}));
  EXPECT_EQ(f->m_nCurpod, 2);
  EXPECT_EQ(f->LayoutArea()->ActiveFrame(), f->ChannelFrame(2));
  EXPECT_EQ(Inputs(*f), (std::array<int, 4>{2, 2, 2, 2}));
  EXPECT_FALSE(InputGroupEnabled(p));
  EXPECT_EQ(p.m_grpInSel[0]->checkedId(), 2);
  EXPECT_FALSE(p.m_btnOverlaySet->isEnabled());
  EXPECT_FALSE(p.m_btnRefreshOutput->isVisible());
  EXPECT_FALSE(left->isEnabled());
  f->m_nCurMod = 6;

  // Full-Default 1: the move and zoom buttons and "Full mode" come alive.
  f->ApplyMode(8);
  EXPECT_TRUE(left->isEnabled());
  EXPECT_TRUE(vzoom->isEnabled());
  EXPECT_TRUE(p.m_chkFullMode->isEnabled());
  EXPECT_TRUE(InputGroupEnabled(p));
  EXPECT_EQ(f->m_nCurpod, 3);
  f->m_nCurMod = 8;

  // PIP-Default 2: sunk, so CH1 lies above the small windows; nobody selected.
  f->ApplyMode(14);
  EXPECT_EQ(f->ChannelFrame(3)->WindowRect(), (Rect{3 * (W / 4), 2 * (H / 3), W, H}));
  EXPECT_EQ(Stacking(*f), (std::vector<int>{3, 2, 1, 0}));
  // The windows CH1 hides are drawn dashed on top, with their labels, and
  // named for screen readers; the drawing lets the mouse through to CH1.
  CLayoutArea* area = f->LayoutArea();
  EXPECT_EQ(area->CoveredChannels(), (std::vector<int>{1, 2, 3}));
  QWidget* overlay = area->Client()->findChild<QWidget*>(QStringLiteral("coverOverlay"));
  ASSERT_NE(overlay, nullptr);
  EXPECT_EQ(area->Client()->children().back(), overlay);
  EXPECT_TRUE(overlay->testAttribute(Qt::WA_TransparentForMouseEvents));
  EXPECT_EQ(QAccessible::queryAccessibleInterface(overlay)->text(QAccessible::Name),
            QStringLiteral("Covered: CH2, CH3, CH4"));
  const QImage shot = area->Client()->grab().toImage();
  const QPoint edge = f->ChannelFrame(2)->geometry().topLeft() + QPoint(1, 20);
  const QColor c = shot.pixelColor(edge);
  EXPECT_TRUE(c == Qt::black || c == Qt::white) << c.name().toStdString();
  // Raising a covered window uncovers it; the drawing stays above all.
  f->Windows().SelectWindow(2);
  EXPECT_EQ(area->CoveredChannels(), (std::vector<int>{1, 3}));
  EXPECT_EQ(area->Client()->children().back(), overlay);
  f->ApplyMode(14);
  EXPECT_EQ(f->m_nCurpod, 3);
  EXPECT_FALSE(left->isEnabled());
  EXPECT_TRUE(p.m_btnRefreshOutput->isVisible());
  f->m_nCurMod = 14;

  // A mode outside the table moves nothing and leaves the buttons alone.
  const auto before = Windows(*f);
  f->m_nCurpod = 1;
  f->ApplyMode(40);
  EXPECT_EQ(Windows(*f), before);
  EXPECT_EQ(f->m_nCurpod, 3);
  EXPECT_FALSE(left->isEnabled());
}

// Records whether a widget's middle was painted.
class PaintWatch : public QObject {
 public:
  explicit PaintWatch(QWidget* w) : m_widget(w) { w->installEventFilter(this); }
  int paints = 0;
  bool middlePainted = false;

 protected:
  bool eventFilter(QObject*, QEvent* e) override {
    if (e->type() == QEvent::Paint) {
      ++paints;
      if (static_cast<QPaintEvent*>(e)->region().contains(m_widget->rect().center())) middlePainted = true;
    }
    return false;
  }

 private:
  QWidget* m_widget;
};

TEST_F(LayoutTest, LabelsOfCoveredWindowsNeverOverlapAndAMoveWithNothingCoveredRepaintsOnlyItsPlace) {
  CLayoutArea* area = f->LayoutArea();
  // In these modes the covered windows share one rectangle: their labels
  // stack up from its bottom-left corner instead of lying on each other.
  for (int mode : {0, 1, 5, 8, 12, 21, 25}) {
    f->ApplyMode(mode);
    const auto labels = area->CoveredLabels();
    ASSERT_FALSE(labels.empty()) << mode;
    for (std::size_t i = 0; i < labels.size(); ++i) {
      EXPECT_TRUE(f->ChannelFrame(labels[i].first)->geometry().contains(labels[i].second)) << mode;
      for (std::size_t j = i + 1; j < labels.size(); ++j)
        EXPECT_FALSE(labels[i].second.intersects(labels[j].second))
            << "mode " << mode << ": CH" << labels[i].first + 1 << " and CH" << labels[j].first + 1;
    }
  }
  f->ApplyMode(0);
  const auto labels = area->CoveredLabels();
  ASSERT_EQ(labels.size(), 3u);
  EXPECT_EQ(labels[0].second.left(), labels[2].second.left());
  EXPECT_LT(labels[1].second.bottom(), labels[0].second.top());

  // Nothing covered: moving a window repaints where it was and is, not
  // the windows elsewhere.
  f->ApplyMode(18);
  ASSERT_TRUE(area->CoveredChannels().empty());
  Pump(50);
  CChildFrame* moved = f->ChannelFrame(0);
  PaintWatch movedPaints(moved->View()),
      others[3] = {PaintWatch(f->ChannelFrame(1)->View()), PaintWatch(f->ChannelFrame(2)->View()),
                   PaintWatch(f->ChannelFrame(3)->View())};
  moved->move(moved->pos() + QPoint(1, 1));
  ASSERT_TRUE(WaitUntil([&] { return movedPaints.paints > 0; }));
  Pump(50);
  for (const PaintWatch& w : others) EXPECT_FALSE(w.middlePainted);
}

TEST_F(LayoutTest, AUserModeShowsItsSlotAndTheShownModeKeepsItsOutputDisplay) {
  const int W = f->m_rcLayout.width(), H = f->m_rcLayout.height();
  CDlgMainSet& p = f->MainSet();
  // POP-User 1 (slot 10), not marked stored: its own windows, inputs and settings.
  CDataPrm& slot = f->m_Profile.m_DataPrm[10];
  slot.m_bSaved = 0;
  slot.m_dX = {0, 0.5, 0, 0.5};
  slot.m_dY = {0, 0, 0.5, 0.5};
  slot.m_dW = {0.5, 0.5, 0.5, 0.5};
  slot.m_dH = {0.5, 0.5, 0.5, 0.5};
  slot.m_nChInput = {3, 3, 0, 9};  // 9: out of range, taken as the factory In4
  slot.m_bPerOutRes = 1;
  slot.m_nAllOutRes = 2;
  slot.m_nOutRes = {5, 4, 3, 2};
  slot.m_nOverlayMode = 1;
  slot.m_nOverlayOut = 2;
  slot.m_nLayer[0][2] = 0, slot.m_nLayer[1][2] = 1, slot.m_nLayer[2][2] = 2, slot.m_nLayer[3][2] = 3;
  slot.m_bDispAll = 0;
  slot.m_bDispCh = {1, 0, 1, 0};
  slot.m_bOutDispCh = {};
  slot.m_bOutDispCh[1][3] = 1;
  f->ApplyMode(31);
  EXPECT_EQ(f->ChannelFrame(3)->WindowRect(), (Rect{W / 2, H / 2, W / 2 + W / 2, H / 2 + H / 2}));
  EXPECT_EQ(Inputs(*f), (std::array<int, 4>{3, 3, 0, 3}));
  EXPECT_FALSE(p.m_chkFullMode->isEnabled());
  EXPECT_TRUE(p.m_chkFullMode->isChecked());  // greyed, yet showing the slot
  EXPECT_EQ(p.m_cbAllOutRes->currentIndex(), 2);
  EXPECT_EQ(p.m_cbOutRes[0]->currentIndex(), 5);
  EXPECT_FALSE(p.m_cbOutRes[0]->isEnabled());
  EXPECT_EQ(p.m_grpOverlay->checkedId(), 1);
  EXPECT_TRUE(p.m_cbOverlayOut->isEnabled());
  EXPECT_EQ(p.m_cbOverlayOut->currentIndex(), 2);
  EXPECT_EQ(p.m_grpLayerSel[3]->checkedId(), 3);
  EXPECT_FALSE(p.m_chkDispAll->isChecked());
  EXPECT_FALSE(p.m_chkDispCh[0]->isEnabled());
  EXPECT_TRUE(p.m_chkDispCh[0]->isChecked());
  EXPECT_TRUE(p.m_chkOutDispCh[4 * 1 + 3]->isEnabled());
  EXPECT_TRUE(p.m_chkOutDispCh[4 * 1 + 3]->isChecked());
  f->m_nCurMod = 31;

  // The same mode once more: the output display group stays as the operator left it.
  p.m_chkDispCh[1]->setChecked(true);
  f->ApplyMode(31);
  EXPECT_TRUE(p.m_chkDispCh[1]->isChecked());

  // The windows measured as fractions are what "Save mode" stores.
  f->ChannelFrame(1)->MoveTo(Rect{W / 4, H / 4, W / 4 + W / 2, H / 4 + H / 2});
  const ChannelFractions m = f->Windows().MeasureChannel(1);
  EXPECT_DOUBLE_EQ(m.x, double(W / 4) / W);
  EXPECT_DOUBLE_EQ(m.h, double(H / 2) / H);
  EXPECT_EQ(PlaceFractions(f->Windows().MeasureChannel(1), W, H), f->ChannelFrame(1)->WindowRect());
  EXPECT_DOUBLE_EQ(f->Windows().MeasureChannel(4).w, 0);
}

TEST_F(LayoutTest, RefreshOutputSendsTheFourWindowsAsOneBatch) {
  f->ChannelFrame(2)->MoveTo(Rect{30, 40, 230, 160});
  const auto windows = Windows(*f);
  QTest::mouseClick(f->MainSet().m_btnRefreshOutput, Qt::LeftButton);
  EXPECT_EQ(f->m_nJobType.load(), kJobGeometry);
  ASSERT_TRUE(WaitUntil([&] { return f->m_nJobType.load() == 0 && f->m_bSending.load() == 0; }, 5000));
  EXPECT_EQ(f->m_nCurCmd.load(), cmd::kSetGeometry);  // the worker notes each frame
  EXPECT_EQ(f->m_nCurSub.load(), 3);
  const auto frames = Received();
  ASSERT_EQ(frames.size(), 4u);
  const sim::State state = sim->Server().GetState();
  for (int ch = 0; ch < 4; ++ch) {
    EXPECT_EQ(frames[ch].subCode, ch);
    EXPECT_EQ(frames[ch].payload, Payload(ch, windows[ch]));
    const auto& g = state.setUp.geometry[ch];
    EXPECT_EQ(std::vector<int>(
                  {g.x >> 8, g.x & 255, g.y >> 8, g.y & 255, g.w >> 8, g.w & 255, g.h >> 8, g.h & 255}),
              Payload(ch, windows[ch]));
  }

  // A second press while a batch goes out is refused; without a connection
  // the button does nothing at all.
  f->m_bSending = 1;
  dialogs.ExpectBox("please wait second, sending data have not finished");
  QTest::mouseClick(f->MainSet().m_btnRefreshOutput, Qt::LeftButton);
  f->m_bSending = 0;
  f->OnDisconnect();
  QTest::mouseClick(f->MainSet().m_btnRefreshOutput, Qt::LeftButton);
  EXPECT_EQ(f->m_nJobType.load(), 0);
  f->Connection().ConnectNet("127.0.0.1", sim->PortText());
  ASSERT_TRUE(WaitUntil([&] { return InfoTexts(*f).contains("Connect NET success!"); }));
  EXPECT_EQ(Received().size(), 4u);
}

}  // namespace
}  // namespace panora::test
