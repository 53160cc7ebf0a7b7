// The docking bars and the toolbars in the real main window.
#include <QAbstractButton>
#include <QAccessible>
#include <QApplication>
#include <QDialog>
#include <QEnterEvent>
#include <QLayout>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QProxyStyle>
#include <map>

#include "GuiTest.h"
#include "app/MainFrame.h"
#include "app/TesselApp.h"
#include "layout/ChildFrame.h"
#include "layout/TesselView.h"
#include "model/ModeController.h"
#include "panels/DlgMainSet.h"
#include "ui/CoolBar.h"
#include "ui/TrueColorToolBar.h"

using namespace panora;
using namespace panora::test;

namespace {

// The desktop setting as a style reports it.
class DragStyle final : public QProxyStyle {
 public:
  explicit DragStyle(bool full) : m_full(full) {}
  int styleHint(StyleHint hint, const QStyleOption* o, const QWidget* w, QStyleHintReturn* r) const override {
    if (hint == SH_Splitter_OpaqueResize) return m_full ? 1 : 0;
    return QProxyStyle::styleHint(hint, o, w, r);
  }

 private:
  bool m_full;
};

class ChromeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(app.InitInstance());
    f = app.MainFrame();
    Pump();
  }

  static void Mouse(QWidget* w, QEvent::Type type, QPoint local, Qt::MouseButtons buttons = Qt::LeftButton) {
    MouseAt(w, type, w->mapToGlobal(local), buttons);
  }
  static void MouseAt(QWidget* w, QEvent::Type type, QPoint global, Qt::MouseButtons buttons) {
    const Qt::MouseButton button = type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton;
    QMouseEvent ev(type, w->mapFromGlobal(global), global, button, buttons, Qt::NoModifier);
    QApplication::sendEvent(w, &ev);
  }
  // Drags the bar's sizing edge by `delta` pixels (global), moving in steps.
  static void DragEdge(CCoolBar& bar, QPoint delta, bool release = true) {
    // The edge moves as the bar grows; the mouse's screen position is what counts.
    QWidget* edge = bar.SizingEdge();
    const QPoint start = edge->mapToGlobal(edge->rect().center());
    MouseAt(edge, QEvent::MouseButtonPress, start, Qt::LeftButton);
    MouseAt(edge, QEvent::MouseMove, start + delta / 2, Qt::LeftButton);
    MouseAt(edge, QEvent::MouseMove, start + delta, Qt::LeftButton);
    if (release) MouseAt(edge, QEvent::MouseButtonRelease, start + delta, Qt::NoButton);
    Pump();
  }
  static QColor At(QWidget* w, QPoint p) { return w->grab().toImage().pixelColor(p); }
  int Trackers() const { return static_cast<int>(f->findChildren<QWidget*>("CoolBarTracker").size()); }
  // A toolbar button as assistive technology sees it.
  QAccessibleInterface* Accessible(int id) {
    QWidget* w = nullptr;
    for (CTrueColorToolBar* bar : {&f->ModeToolBar(), &f->WindowToolBar(), &f->ToolButtonBar()})
      if (QWidget* b = bar->widgetForAction(f->Action(id))) w = b;
    return w != nullptr ? QAccessible::queryAccessibleInterface(w) : nullptr;
  }

  // Styles outlive the window that uses them.
  DragStyle fullWindowDrag{true};
  DragStyle halftoneDrag{false};
  TempHome home;
  ScriptedDialogs dialogs;
  CTesselApp app;
  CMainFrame* f = nullptr;
};

}  // namespace

TEST_F(ChromeTest, CloseButtonIsFlatRaisedWhenHotSunkenWhenPushedAndHidesTheBar) {
  CCoolBar& bar = f->PanelBar();
  QAbstractButton* close = bar.CloseButton();
  ASSERT_NE(close, nullptr);
  EXPECT_EQ(close->size(), QSize(13, 13));
  EXPECT_EQ(QAccessible::queryAccessibleInterface(close)->text(QAccessible::Name), "Close");
  const QPalette& pal = close->palette();
  const QPoint tl(0, 0), br(12, 12);
  EXPECT_EQ(At(close, tl), At(close, QPoint(6, 1))) << "flat: no frame";

  QEnterEvent enter(QPointF(6, 6), QPointF(6, 6), QPointF(close->mapToGlobal(QPoint(6, 6))));
  QApplication::sendEvent(close, &enter);
  EXPECT_EQ(At(close, tl).rgb(), pal.light().color().rgb());
  EXPECT_EQ(At(close, br).rgb(), pal.dark().color().rgb());

  Mouse(close, QEvent::MouseButtonPress, QPoint(6, 6));
  EXPECT_TRUE(close->isDown());
  EXPECT_EQ(At(close, tl).rgb(), pal.dark().color().rgb());
  EXPECT_EQ(At(close, br).rgb(), pal.light().color().rgb());

  // Released elsewhere: nothing happens.
  Mouse(close, QEvent::MouseMove, QPoint(40, 6), Qt::LeftButton);
  EXPECT_FALSE(close->isDown());
  Mouse(close, QEvent::MouseButtonRelease, QPoint(40, 6), Qt::NoButton);
  Pump();
  EXPECT_TRUE(bar.isVisible());

  // Released on it: the bar is hidden, and the layout area takes its room.
  const int layoutLeft = f->centralWidget()->geometry().left();
  Mouse(close, QEvent::MouseButtonPress, QPoint(6, 6));
  Mouse(close, QEvent::MouseButtonRelease, QPoint(6, 6), Qt::NoButton);
  Pump();
  EXPECT_FALSE(bar.isVisible());
  EXPECT_LT(f->centralWidget()->geometry().left(), layoutLeft);
}

TEST_F(ChromeTest, AClosedBarComesBackFromTheViewMenuAndAtTheNextStart) {
  // The View menu names both bars and the three toolbars, marked while shown.
  std::map<QString, QAction*> items;
  for (QAction* a : f->ViewMenu()->actions())
    if (a->isCheckable()) items[a->text()] = a;
  const std::pair<const char*, QWidget*> bars[] = {{"Control panels", &f->PanelBar()},
                                                   {"Main settings", &f->SettingsBar()},
                                                   {"Modes toolbar", &f->ModeToolBar()},
                                                   {"Windows toolbar", &f->WindowToolBar()},
                                                   {"Tool buttons toolbar", &f->ToolButtonBar()}};
  for (const auto& [text, bar] : bars) {
    QAction* item = items[QString::fromLatin1(text)];
    ASSERT_NE(item, nullptr) << text;
    EXPECT_TRUE(item->isChecked()) << text;
    bar->close();
    Pump();
    EXPECT_FALSE(item->isChecked()) << text;
    item->trigger();
    Pump();
    EXPECT_TRUE(bar->isVisible()) << text;
    EXPECT_TRUE(item->isChecked()) << text;
  }
  f->SettingsBar().CloseButton()->click();
  Pump();
  EXPECT_FALSE(f->SettingsBar().isVisible());
  app.ExitInstance();
  CTesselApp again;
  ASSERT_TRUE(again.InitInstance());
  Pump();
  EXPECT_TRUE(again.MainFrame()->SettingsBar().isVisible());
  EXPECT_TRUE(again.MainFrame()->PanelBar().isVisible());
}

TEST_F(ChromeTest, GripperEdgeAndChildFollowTheDockSide) {
  // Left: the strip runs along the top with the button at its right end; the
  // edge is the right one.
  CCoolBar& left = f->PanelBar();
  EXPECT_EQ(left.DockSide(), Qt::LeftDockWidgetArea);
  QWidget* grip = left.Gripper();
  EXPECT_EQ(grip->geometry(), QRect(0, 0, left.width(), 14));
  EXPECT_EQ(left.CloseButton()->mapTo(&left, QPoint(12, 0)).x(), left.width() - 2);
  EXPECT_EQ(left.SizingEdge()->width(), CCoolBar::kEdge);
  EXPECT_EQ(left.SizingEdge()->mapTo(&left, QPoint(4, 0)).x(), left.width() - 1);
  EXPECT_EQ(left.SizingEdge()->cursor().shape(), Qt::SizeHorCursor);

  // Bottom: the strip runs down the left side with the button at its top; the
  // edge is the top one, and the panel fills the rest.
  CCoolBar& bottom = f->SettingsBar();
  EXPECT_EQ(bottom.DockSide(), Qt::BottomDockWidgetArea);
  EXPECT_EQ(bottom.Gripper()->geometry(), QRect(0, 0, 14, bottom.height()));
  EXPECT_EQ(bottom.CloseButton()->mapTo(&bottom, QPoint(0, 0)), QPoint(0, 1));
  EXPECT_EQ(bottom.SizingEdge()->mapTo(&bottom, QPoint(0, 0)), QPoint(14, 0));
  EXPECT_EQ(bottom.SizingEdge()->height(), CCoolBar::kEdge);
  const QRect panel(bottom.widget()->mapTo(&bottom, QPoint(0, 0)), bottom.widget()->size());
  EXPECT_EQ(panel, QRect(14, 5, bottom.width() - 14, bottom.height() - 5));

  // Docked at the top, the left bar turns its strip; docked right, its edge.
  f->addDockWidget(Qt::TopDockWidgetArea, &left);
  Pump();
  EXPECT_EQ(left.Gripper()->geometry(), QRect(0, 0, 14, left.height()));
  EXPECT_EQ(left.SizingEdge()->mapTo(&left, QPoint(0, 4)).y(), left.height() - 1);
  f->addDockWidget(Qt::RightDockWidgetArea, &left);
  Pump();
  EXPECT_EQ(left.Gripper()->height(), 14);
  EXPECT_EQ(left.SizingEdge()->mapTo(&left, QPoint(0, 0)).x(), 0);
}

TEST_F(ChromeTest, TheEdgeSizesTheBarDownToItsMinimumWhateverTheChildAsks) {
  CCoolBar& left = f->PanelBar();
  left.widget()->setMinimumSize(200, 100);  // a child that asks for more than the bar's minimum
  const int w0 = left.width();
  const int central0 = f->centralWidget()->width();
  left.setStyle(&fullWindowDrag);
  f->SettingsBar().setStyle(&fullWindowDrag);
  ASSERT_TRUE(left.FullWindowDrag());
  DragEdge(left, QPoint(20, 0));
  EXPECT_EQ(left.width(), w0 + 20);
  EXPECT_EQ(f->centralWidget()->width(), central0 - 20);
  DragEdge(left, QPoint(-2000, 0));
  EXPECT_EQ(left.width(), 33);
  EXPECT_EQ(left.widget()->geometry().left(), 0) << "the child is clipped, not moved";
  DragEdge(left, QPoint(5000, 0));
  EXPECT_GE(f->centralWidget()->width(), 2);

  // The main settings panel grows and shrinks with its bar.
  CCoolBar& bottom = f->SettingsBar();
  const int h0 = bottom.height();
  DragEdge(bottom, QPoint(0, -20));
  EXPECT_EQ(bottom.height(), h0 + 20);
  EXPECT_EQ(bottom.widget()->height(), bottom.height() - CCoolBar::kEdge);
  DragEdge(bottom, QPoint(0, 2000));
  EXPECT_EQ(bottom.height(), 32);
  EXPECT_EQ(bottom.widget()->geometry().top(), CCoolBar::kEdge);

  // Floating, the minimum is 37 x 32.
  bottom.setFloating(true);
  Pump();
  EXPECT_EQ(bottom.DockSide(), Qt::NoDockWidgetArea);
  EXPECT_FALSE(bottom.SizingEdge()->isVisible());
  EXPECT_EQ(bottom.layout()->minimumSize(), CCoolBar::kMinFloating);
  bottom.resize(10, 10);
  EXPECT_EQ(bottom.size(), CCoolBar::kMinFloating);
}

TEST_F(ChromeTest, SizingClosingAndReopeningABarLeavesEveryWindowWhereItIsOnTheOutput) {
  CCoolBar& left = f->PanelBar();
  left.setStyle(&fullWindowDrag);
  CChannelWindows& windows = f->Windows();
  auto place = [&] {
    std::vector<std::pair<Rect, OutputGeometry>> v;
    for (int ch = 0; ch < 4; ++ch) v.emplace_back(f->ChannelFrame(ch)->WindowRect(), windows.OutputOf(ch));
    return v;
  };
  // The bar resized at every mouse move, 2 pixels at a time, 60 out and back.
  auto wiggle = [&] {
    QWidget* edge = left.SizingEdge();
    for (int dir : {1, -1}) {
      const QPoint start = edge->mapToGlobal(edge->rect().center());
      MouseAt(edge, QEvent::MouseButtonPress, start, Qt::LeftButton);
      for (int d = 2; d <= 60; d += 2) MouseAt(edge, QEvent::MouseMove, start + QPoint(dir * d, 0), Qt::LeftButton);
      MouseAt(edge, QEvent::MouseButtonRelease, start + QPoint(dir * 60, 0), Qt::NoButton);
      Pump();
    }
  };
  for (int mode : {13, 14, 17}) {
    f->ApplyMode(mode);
    f->m_nCurMod = mode;
    const auto before = place();
    const int w0 = f->m_rcLayout.width();
    for (int round = 0; round < 4; ++round) wiggle();
    ASSERT_EQ(f->m_rcLayout.width(), w0);
    EXPECT_EQ(place(), before) << mode;
    left.CloseButton()->click();
    Pump();
    EXPECT_GT(f->m_rcLayout.width(), w0);
    for (int ch = 0; ch < 4; ++ch) EXPECT_EQ(windows.OutputOf(ch), before[ch].second) << mode << " CH" << ch + 1;
    left.show();
    Pump();
    EXPECT_EQ(place(), before) << mode;
  }
  // A window maximised before the area changed comes back to its exact place.
  CTesselView* view = f->ChannelFrame(1)->View();
  const auto before = place();
  view->m_rcRestore = f->ChannelFrame(1)->WindowRect();
  windows.MaximizeWindow(1);
  left.CloseButton()->click();
  Pump();
  windows.RestoreWindow(1, view->m_rcRestore);
  EXPECT_EQ(windows.OutputOf(1), before[1].second);
  left.show();
  Pump();
  EXPECT_EQ(place(), before);
}

TEST_F(ChromeTest, WithoutFullWindowDragAHalftoneLineShowsTheEdgeUntilRelease) {
  CCoolBar& left = f->PanelBar();
  left.setStyle(&halftoneDrag);
  ASSERT_FALSE(left.FullWindowDrag());
  const int w0 = left.width();
  DragEdge(left, QPoint(30, 0), false);
  EXPECT_EQ(left.width(), w0) << "nothing moves before the release";
  QWidget* line = left.Tracker();
  ASSERT_NE(line, nullptr);
  EXPECT_TRUE(line->isVisible());
  const QPoint barLeft = left.mapTo(f, QPoint(0, 0));
  EXPECT_EQ(line->geometry(), QRect(barLeft.x() + w0 + 30 - CCoolBar::kEdge, barLeft.y(), 5, left.height()));
  // Every other pixel of the line is the window's own, inverted.
  const QImage drawn = line->grab().toImage();
  line->hide();
  const QImage back = f->grab(line->geometry()).toImage();
  line->show();
  int inverted = 0;
  for (int x = 0; x < 5; ++x)
    for (int y = 10; y < 12; ++y)
      if (drawn.pixel(x, y) != back.pixel(x, y)) ++inverted;
  EXPECT_GE(inverted, 4);
  MouseAt(left.SizingEdge(), QEvent::MouseButtonRelease,
          left.SizingEdge()->mapToGlobal(left.SizingEdge()->rect().center()) + QPoint(30, 0), Qt::NoButton);
  Pump();
  EXPECT_EQ(left.Tracker(), nullptr);
  EXPECT_EQ(left.width(), w0 + 30);
  left.setStyle(&fullWindowDrag);
  EXPECT_TRUE(left.FullWindowDrag()) << "read again on every settings change";
}

TEST_F(ChromeTest, FixedToolbarsSwallowClicksOnTheirEmptyPart) {
  CTrueColorToolBar& bar = f->ModeToolBar();
  ASSERT_TRUE(bar.IsFixed());
  QPoint empty(-1, -1);
  for (int x = 0; x < bar.width() && empty.x() < 0; ++x)
    if (bar.childAt(x, bar.height() / 2) == nullptr) empty = QPoint(x, bar.height() / 2);
  ASSERT_GE(empty.x(), 0);
  struct Spy : QObject {
    int presses = 0;
    bool eventFilter(QObject*, QEvent* e) override {
      if (e->type() == QEvent::MouseButtonPress || e->type() == QEvent::MouseButtonDblClick) ++presses;
      return false;
    }
  } spy;
  f->installEventFilter(&spy);
  const QRect before = bar.geometry();
  Mouse(&bar, QEvent::MouseButtonPress, empty);
  Mouse(&bar, QEvent::MouseMove, empty + QPoint(0, 200), Qt::LeftButton);
  Mouse(&bar, QEvent::MouseButtonRelease, empty + QPoint(0, 200), Qt::NoButton);
  Mouse(&bar, QEvent::MouseButtonDblClick, empty);
  Pump();
  f->removeEventFilter(&spy);
  EXPECT_EQ(spy.presses, 0) << "nothing reached the frame";
  EXPECT_EQ(bar.geometry(), before);
  EXPECT_FALSE(bar.isFloating());
}

TEST(ChromeCaptions, TheBarsCaptionsHaveGlyphs) {
  // Each character of the captions draws a glyph of its own: a missing font
  // would draw the same empty box for all of them, or nothing.
  const QString chars = QString::fromUtf8("我的控制条2");
  QList<QImage> glyphs;
  for (QChar c : chars) {
    QImage img(40, 40, QImage::Format_RGB32);
    img.fill(Qt::white);
    QPainter p(&img);
    p.setPen(Qt::black);
    p.drawText(img.rect(), Qt::AlignCenter, QString(c));
    p.end();
    int ink = 0;
    for (int y = 0; y < img.height(); ++y)
      for (int x = 0; x < img.width(); ++x) ink += img.pixel(x, y) != qRgb(255, 255, 255);
    EXPECT_GT(ink, 10) << "no ink for " << QString(c).toStdString();
    for (const QImage& other : glyphs)
      EXPECT_NE(img, other) << "same glyph as another: " << QString(c).toStdString();
    glyphs << img;
  }
}

TEST_F(ChromeTest, ToolbarButtonsTakeTheirNormalHotAndDisabledPictures) {
  // The frame names the hot strip for the disabled pictures as well.
  const auto normal = CTrueColorToolBar::SliceImages(QImage(":/res/window_toolbar.png"));
  const auto hot = CTrueColorToolBar::SliceImages(QImage(":/res/window_toolbar_hot.png"));
  ASSERT_EQ(normal.size(), 4u);
  int b = 0;
  for (QAction* a : f->WindowToolBar().actions()) {
    if (a->isSeparator()) continue;
    const QIcon icon = a->icon();
    EXPECT_EQ(icon.pixmap(32, 32, QIcon::Normal).toImage().convertToFormat(QImage::Format_ARGB32), normal[b]);
    EXPECT_EQ(icon.pixmap(32, 32, QIcon::Active).toImage().convertToFormat(QImage::Format_ARGB32), hot[b]);
    EXPECT_EQ(icon.pixmap(32, 32, QIcon::Disabled).toImage().convertToFormat(QImage::Format_ARGB32), hot[b]);
    ++b;
  }
  EXPECT_EQ(b, 4);
  // A strip that cannot be read changes nothing for its state.
  QAction* first = f->WindowToolBar().actions().value(0);
  EXPECT_FALSE(f->WindowToolBar().SetTrueColorImages(":/res/none.png", ":/res/window_toolbar_hot.png",
                                                     ":/res/window_toolbar_hot.png"));
  EXPECT_EQ(first->icon().pixmap(32, 32, QIcon::Normal).toImage().convertToFormat(QImage::Format_ARGB32),
            normal[0]);
}

TEST_F(ChromeTest, AccessibleActionsOfTheToolbarButtonsDoWhatAClickDoes) {
  using A = QAccessibleActionInterface;
  ASSERT_EQ(f->m_nCurMod, 17);
  // A quick-mode button stays pressed while its mode is live; its first
  // action still recalls the mode, and so does "Toggle".
  QAccessibleInterface* quick = Accessible(ID_QUICK_MODE_FIRST + 1);  // "3Times-Default 1", mode 4
  ASSERT_NE(quick, nullptr);
  ASSERT_NE(quick->actionInterface(), nullptr);
  ASSERT_FALSE(quick->actionInterface()->actionNames().isEmpty());
  EXPECT_EQ(quick->actionInterface()->actionNames().first(), A::pressAction());
  quick->actionInterface()->doAction(A::pressAction());
  EXPECT_EQ(f->m_nCurMod, 4);
  EXPECT_TRUE(quick->state().checked);
  quick->actionInterface()->doAction(A::pressAction());  // the live mode again: still pressed
  EXPECT_EQ(f->m_nCurMod, 4);
  EXPECT_TRUE(quick->state().checked);
  QAccessibleInterface* pip = Accessible(ID_QUICK_MODE_FIRST + 5);  // "PIP-Default 2", mode 14
  pip->actionInterface()->doAction(A::toggleAction());
  EXPECT_EQ(f->m_nCurMod, 14);
  EXPECT_TRUE(pip->state().checked);
  EXPECT_FALSE(quick->state().checked);

  // A tool button recalls the mode assigned to it.
  f->Modes().AssignToolButton(1, 4);
  QAccessibleInterface* tool = Accessible(ID_TOOL_FIRST + 1);
  ASSERT_NE(tool, nullptr);
  EXPECT_EQ(tool->actionInterface()->actionNames().first(), A::pressAction());
  tool->actionInterface()->doAction(A::pressAction());
  EXPECT_EQ(f->m_nCurMod, 4);
  EXPECT_TRUE(tool->state().checked);

  // A window button selects its window and, in a three-times mode, its variant.
  QAccessibleInterface* window = Accessible(ID_WINDOW_FIRST + 2);
  ASSERT_NE(window, nullptr);
  window->actionInterface()->doAction(A::pressAction());
  EXPECT_EQ(f->m_nCurMod, 6);
  EXPECT_EQ(f->m_nCurpod, 2);

  // Under a modal dialog the mouse reaches no toolbar, and no action does.
  QDialog box(f);
  box.setModal(true);
  box.show();
  Pump();
  quick->actionInterface()->doAction(A::pressAction());
  EXPECT_EQ(f->m_nCurMod, 6);
  box.hide();
  quick->actionInterface()->doAction(A::pressAction());
  EXPECT_EQ(f->m_nCurMod, 4);
}

TEST_F(ChromeTest, AHalftoneLineGoesWhenASecondTrackBeginsOrTheMouseGoesElsewhere) {
  CCoolBar& left = f->PanelBar();
  left.setStyle(&halftoneDrag);
  const int w0 = left.width();
  const QPoint start = left.SizingEdge()->mapToGlobal(left.SizingEdge()->rect().center());
  // The release of the first drag never reached the edge: the second press
  // ends it where it was, and only the new line shows.
  DragEdge(left, QPoint(30, 0), false);
  DragEdge(left, QPoint(10, 0), false);  // pressed where the edge was before
  EXPECT_EQ(Trackers(), 1);
  EXPECT_EQ(left.width(), w0 + 30);
  MouseAt(left.SizingEdge(), QEvent::MouseButtonRelease, start + QPoint(10, 0), Qt::NoButton);
  Pump();
  EXPECT_EQ(Trackers(), 0);
  EXPECT_EQ(left.width(), w0 + 40);

  // The release taken by another widget (a box that came up) ends the track.
  DragEdge(left, QPoint(-20, 0), false);
  ASSERT_EQ(Trackers(), 1);
  QWidget* other = f->centralWidget();
  MouseAt(other, QEvent::MouseButtonRelease, other->mapToGlobal(QPoint(5, 5)), Qt::NoButton);
  Pump();
  EXPECT_EQ(Trackers(), 0);
  EXPECT_FALSE(left.IsTracking());
  EXPECT_EQ(left.width(), w0 + 20);

  // So does a modal dialog that blocks the window while the button is down.
  DragEdge(left, QPoint(-10, 0), false);
  ASSERT_EQ(Trackers(), 1);
  QDialog box(f);
  box.setModal(true);
  box.show();
  Pump();
  EXPECT_EQ(Trackers(), 0);
  EXPECT_FALSE(left.IsTracking());
  box.hide();
  // And the bar hidden in the middle of a drag.
  DragEdge(left, QPoint(-10, 0), false);
  ASSERT_EQ(Trackers(), 1);
  left.hide();
  EXPECT_EQ(Trackers(), 0);
}
