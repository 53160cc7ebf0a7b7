#include <sys/stat.h>

#include <QAccessible>
#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QSpinBox>
#include <QContextMenuEvent>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QSet>
#include <QStatusBar>
#include <QTabBar>
#include <QToolBar>
#include <QToolButton>
#include <functional>

#include "GuiTest.h"
#include "app/dialogs/AboutDlg.h"
#include "app/dialogs/DlgRemote.h"
#include "app/LstInforBox.h"
#include "app/MainFrame.h"
#include "app/RemoteControl.h"
#include "app/TesselApp.h"
#include "layout/ChildFrame.h"
#include "layout/LayoutArea.h"
#include "layout/TesselView.h"
#include "model/Paths.h"
#include "panels/CoolTabCtrl.h"
#include "panels/DlgMainSet.h"
#include "ui/CoolBar.h"
#include "ui/TrueColorToolBar.h"

using namespace panora;
using namespace panora::test;

namespace {

class MenusTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(app.InitInstance());
    f = app.MainFrame();
    Pump();
  }
  void TearDown() override { f->ContextMenu()->hide(); }

  // Right-click delivered to the widget under `clientPos` (frame client
  // coordinates), as the window system would.
  void RightClickAt(QPoint clientPos) {
    QWidget* target = f->childAt(clientPos);
    if (target == nullptr) target = f;
    const QPoint global = f->mapToGlobal(clientPos);
    QContextMenuEvent ev(QContextMenuEvent::Mouse, target->mapFromGlobal(global), global);
    QApplication::sendEvent(target, &ev);
  }

  QStringList MenuTexts(QMenu* m) {
    QStringList t;
    for (QAction* a : m->actions())
      if (!a->isSeparator()) t << a->text();
    return t;
  }

  TempHome home;
  ScriptedDialogs dialogs;
  CTesselApp app;
  CMainFrame* f = nullptr;
};

}  // namespace

TEST_F(MenusTest, MenusHoldThePartsTextsAndEveryItemHasItsCommand) {
  // Our own menus (Edit, Tools) stand between the others, which keep their order.
  QStringList titles;
  QList<QAction*> top;
  for (QAction* a : f->menuBar()->actions())
    if (a->text() != "&Edit" && a->text() != "&Tools") {
      titles << a->text();
      top << a;
    }
  EXPECT_EQ(titles, (QStringList{"&File", "&Connection", "&View", "&Help"}));
  EXPECT_EQ(MenuTexts(top[0]->menu()), (QStringList{"Open", "Save", "Save as"}));
  EXPECT_EQ(MenuTexts(top[1]->menu()), (QStringList{"RS232", "USB", "TCP/IP", "Disconnect", "Send Set-up",
                                                    "Send Set-up and User Modes"}));
  EXPECT_EQ(MenuTexts(top[2]->menu()).mid(0, 5),
            (QStringList{"Load Mode", "Save Mode", "Mode Setting", "Window Adjustment", "Factory Reset"}));
  EXPECT_EQ(MenuTexts(top[3]->menu()), (QStringList{"About Soft Version", "About Firmware Version"}));
  EXPECT_EQ(MenuTexts(f->ContextMenu()), (QStringList{"Load mode", "Save mode", "Mode Setting", "Window adjustment",
                                                     "Send Set-up", "Send Set-up and User Modes"}));
  for (int id :
       {32704, 32705, 32706, 32710, 32712, 32713, 32714, 32720, 32721, 32722, 32723, 32724, 32740, 32741}) {
    ASSERT_NE(f->Action(id), nullptr) << id;
    EXPECT_EQ(f->Action(id)->objectName(), QString::number(id));
  }
  // Every command reaches its handler; those that ask open their chooser or
  // dialog, cancelled here (the handlers, the Connection menu and the
  // firmware version have tests of their own).
  dialogs.ExpectOpenFile("");
  dialogs.ExpectSaveFile("");  // "Save" before any profile was read or written
  dialogs.ExpectSaveFile("");
  for (const char* id : {"164", "172", "164", "172"})  // load, save question, edit, reset question
    dialogs.ExpectDialog(id, [](QDialog&) { return kIdCancel; });
  for (int id : {32704, 32705, 32706, 32720, 32721, 32722, 32723, 32724}) f->Action(id)->trigger();
  for (int id = 32791; id <= 32802; ++id) f->Action(id)->trigger();
  for (int id = 32781; id <= 32784; ++id) f->Action(id)->trigger();
  for (int id = 32810; id <= 32817; ++id) f->Action(id)->trigger();
  EXPECT_TRUE(dialogs.Boxes().empty());
}

TEST_F(MenusTest, ConnectionCheckMarksFollowTheConnectionNotTheClick) {
  QAction* rs = f->Action(ID_CONN_RS232);
  QAction* tcp = f->Action(ID_CONN_TCPIP);
  EXPECT_TRUE(rs->isCheckable());
  EXPECT_TRUE(f->Action(ID_CONN_USB)->isCheckable());
  EXPECT_TRUE(tcp->isCheckable());
  EXPECT_FALSE(f->Action(ID_CONN_DISCONNECT)->isCheckable());
  EXPECT_FALSE(rs->isChecked());
  dialogs.ExpectDialog("153", [](QDialog&) { return kIdCancel; });
  dialogs.ExpectDialog("181", [](QDialog&) { return kIdCancel; });
  rs->trigger();
  EXPECT_FALSE(rs->isChecked()) << "a click alone sets no mark";
  f->SetConnectionCheck(3, true);
  EXPECT_TRUE(tcp->isChecked());
  tcp->trigger();
  EXPECT_TRUE(tcp->isChecked()) << "a click alone removes no mark";
  for (int kind : {1, 2, 3}) f->SetConnectionCheck(kind, false);
  EXPECT_FALSE(tcp->isChecked());
}

TEST_F(MenusTest, SaveModeAndWindowAdjustmentFollowTheCurrentMode) {
  struct Case {
    int mode;
    bool save, adjust;
  };
  for (Case c : {Case{5, false, false}, Case{0, false, false}, Case{7, false, false}, Case{10, true, false},
                 Case{8, true, false}, Case{21, true, false}, Case{25, true, false}, Case{15, true, true},
                 Case{13, true, true}, Case{20, true, true}, Case{30, true, true}, Case{33, true, true},
                 // No mode at all: nothing to save, no window to adjust.
                 Case{-1, false, false}, Case{34, false, false}, Case{99, false, false}}) {
    f->m_nCurMod = c.mode;
    emit f->ViewMenu()->aboutToShow();
    EXPECT_EQ(f->Action(ID_SAVE_MODE)->isEnabled(), c.save) << "mode " << c.mode;
    EXPECT_EQ(f->Action(ID_WINDOW_ADJUST)->isEnabled(), c.adjust) << "mode " << c.mode;
    EXPECT_TRUE(f->Action(ID_LOAD_MODE)->isEnabled());
    EXPECT_TRUE(f->Action(ID_MODE_SETTING)->isEnabled());

    RightClickAt(f->m_rcLayout.center());
    ASSERT_TRUE(f->ContextMenu()->isVisible()) << "mode " << c.mode;
    EXPECT_EQ(f->ContextAction(ID_SAVE_MODE_CTX)->isEnabled(), c.save) << "mode " << c.mode;
    EXPECT_EQ(f->ContextAction(ID_WINDOW_ADJUST_CTX)->isEnabled(), c.adjust) << "mode " << c.mode;
    EXPECT_TRUE(f->ContextAction(ID_LOAD_MODE_CTX)->isEnabled());
    f->ContextMenu()->hide();
  }
}

TEST_F(MenusTest, ContextMenuOnlyInsideTheLayoutArea) {
  // On a channel window: the event climbs to the frame and the menu opens there.
  const QPoint onView = f->ChannelFrame(0)->View()->mapTo(f, QPoint(30, 30));
  RightClickAt(onView);
  ASSERT_TRUE(f->ContextMenu()->isVisible());
  EXPECT_EQ(f->ContextMenu()->pos(), f->mapToGlobal(onView));
  f->ContextMenu()->hide();

  // On the docking bars, the toolbars and the status bar: nothing.
  const QPoint outside[] = {f->SettingsBar().geometry().center(),
                            f->PanelBar().geometry().center(),
                            f->ModeToolBar().geometry().center(),
                            f->statusBar()->geometry().center(),
                            QPoint(f->m_rcLayout.left() - 1, f->m_rcLayout.top() + 10),
                            QPoint(f->m_rcLayout.left() + 10, f->m_rcLayout.bottom() + 1)};
  for (QPoint p : outside) {
    RightClickAt(p);
    EXPECT_FALSE(f->ContextMenu()->isVisible()) << p.x() << "," << p.y();
  }
  // The layout area's corners are inside.
  RightClickAt(f->m_rcLayout.topLeft());
  EXPECT_TRUE(f->ContextMenu()->isVisible());
  f->ContextMenu()->hide();
  RightClickAt(f->m_rcLayout.bottomRight());
  EXPECT_TRUE(f->ContextMenu()->isVisible());
  f->ContextMenu()->hide();
}

TEST_F(MenusTest, MenuKeyOpensTheContextMenuAtTheLayoutCorner) {
  // Whatever has the focus, even a control of the bottom panel.
  QWidget* focus = f->MainSet().InfoList();
  QContextMenuEvent ev(QContextMenuEvent::Keyboard, QPoint(3, 3), focus->mapToGlobal(QPoint(3, 3)));
  QApplication::sendEvent(focus, &ev);
  ASSERT_TRUE(f->ContextMenu()->isVisible());
  EXPECT_EQ(f->ContextMenu()->pos(), f->mapToGlobal(f->m_rcLayout.topLeft() + QPoint(5, 5)));
}

TEST_F(MenusTest, StatusBarSaysReadyWhenNoHelpTextIsShown) {
  EXPECT_EQ(f->statusBar()->currentMessage(), "Ready");
  f->statusBar()->showMessage("Quick recall of a mode");
  EXPECT_EQ(f->statusBar()->currentMessage(), "Quick recall of a mode");
  f->statusBar()->clearMessage();
  EXPECT_EQ(f->statusBar()->currentMessage(), "Ready");
}

TEST_F(MenusTest, AboutBoxGoesThroughTheFacade) {
  bool seen = false;
  dialogs.ExpectDialog("100", [&](QDialog& d) {
    seen = true;
    EXPECT_EQ(d.windowTitle(), "About Panora");
    QStringList texts;
    for (QLabel* l : d.findChildren<QLabel*>()) texts << l->text();
    EXPECT_TRUE(texts.contains("Panora, Version 1.1.31"));
    auto* link = d.findChild<QLabel*>("1100");
    EXPECT_NE(link, nullptr);
    if (link != nullptr) {
      EXPECT_TRUE(link->text().contains(">Welcome to Panora</a>"));
      EXPECT_TRUE(link->text().contains(CAboutDlg::DocumentationUrl().toString()));
    }
    EXPECT_TRUE(CAboutDlg::DocumentationUrl().isLocalFile());
    return kIdOk;
  });
  f->Action(ID_ABOUT_SOFT)->trigger();
  EXPECT_TRUE(seen);
}

TEST_F(MenusTest, EverythingReachesScreenReadersByItsVisibleText) {
  auto name = [](QObject* o) {
    QAccessibleInterface* i = QAccessible::queryAccessibleInterface(o);
    return i != nullptr ? i->text(QAccessible::Name) : QString("<none>");
  };
  auto role = [](QObject* o) {
    QAccessibleInterface* i = QAccessible::queryAccessibleInterface(o);
    return i != nullptr ? i->role() : QAccessible::NoRole;
  };
  for (int ch = 0; ch < 4; ++ch) {
    EXPECT_EQ(name(f->ChannelFrame(ch)->View()), QString("CH%1").arg(ch + 1));
    EXPECT_EQ(role(f->ChannelFrame(ch)->View()), QAccessible::Graphic);
    EXPECT_EQ(name(f->ChannelFrame(ch)), QString("CH%1").arg(ch + 1));
  }
  // Toolbar buttons are named after their modes, menus after their items.
  for (QToolButton* b : f->ModeToolBar().findChildren<QToolButton*>()) {
    if (b->defaultAction() == nullptr) continue;
    EXPECT_EQ(name(b), b->defaultAction()->text());
  }
  QMenu* view = f->ViewMenu();
  QAccessibleInterface* menu = QAccessible::queryAccessibleInterface(view);
  ASSERT_NE(menu, nullptr);
  QStringList items;
  for (int i = 0; i < menu->childCount(); ++i) items << menu->child(i)->text(QAccessible::Name);
  EXPECT_EQ(items, (QStringList{"Load Mode", "Save Mode", "Mode Setting", "Window Adjustment", "Factory Reset", "",
                                "Control panels", "Main settings", "Modes toolbar", "Windows toolbar",
                                "Tool buttons toolbar"}));
  // The lines of the information list, and the tabs that show only icons.
  f->AddInfo("Connection Success!");
  QAccessibleInterface* list = QAccessible::queryAccessibleInterface(f->MainSet().InfoList());
  ASSERT_NE(list, nullptr);
  bool found = false;
  for (int i = 0; i < list->childCount(); ++i)
    found = found || list->child(i)->text(QAccessible::Name).endsWith("Connection Success!");
  EXPECT_TRUE(found);
  QAccessibleInterface* tabs = QAccessible::queryAccessibleInterface(f->findChild<QTabBar*>());
  ASSERT_NE(tabs, nullptr);
  QStringList tabNames;
  for (int i = 0; i < tabs->childCount(); ++i)
    if (tabs->child(i)->role() == QAccessible::PageTab) tabNames << tabs->child(i)->text(QAccessible::Name);
  EXPECT_EQ(tabNames, (QStringList{"Picture and border", "Full-mode move and zoom", "Bezel"}));
  EXPECT_EQ(name(f->findChild<QPushButton*>("1009")), "Resolution Set");
}

namespace {
// Every interface below `i`, depth first.
void Walk(QAccessibleInterface* i, const std::function<void(QAccessibleInterface*)>& visit) {
  if (i == nullptr) return;
  visit(i);
  for (int c = 0; c < i->childCount(); ++c) Walk(i->child(c), visit);
}
}  // namespace

TEST_F(MenusTest, ToolbarsTabsAndBarsTellScreenReadersWhatTheyAre) {
  // No control without a name anywhere in the window, toolbars' own buttons included.
  const QSet<QAccessible::Role> controls{
      QAccessible::CheckBox,   QAccessible::Button,        QAccessible::RadioButton, QAccessible::ComboBox,
      QAccessible::PageTab,    QAccessible::MenuItem,      QAccessible::ToolBar,     QAccessible::List,
      QAccessible::ButtonMenu, QAccessible::ButtonDropDown};
  QStringList unnamed;
  Walk(QAccessible::queryAccessibleInterface(f), [&](QAccessibleInterface* i) {
    if (controls.contains(i->role()) && i->text(QAccessible::Name).trimmed().isEmpty() &&
        !(i->role() == QAccessible::List && i->parent()->role() == QAccessible::ComboBox))
      unnamed << QString("%1 under %2").arg(i->role()).arg(i->parent()->text(QAccessible::Name));
  });
  EXPECT_TRUE(unnamed.isEmpty()) << unnamed.join("; ").toStdString();

  // The bars are read by what they hold; their captions stay.
  auto* panelBar = QAccessible::queryAccessibleInterface(&f->PanelBar());
  auto* settingsBar = QAccessible::queryAccessibleInterface(&f->SettingsBar());
  EXPECT_EQ(panelBar->text(QAccessible::Name), "Control panels");
  EXPECT_EQ(settingsBar->text(QAccessible::Name), "Main settings");
  EXPECT_EQ(f->PanelBar().windowTitle(), QString::fromUtf8("我的控制条"));
  EXPECT_EQ(f->SettingsBar().windowTitle(), QString::fromUtf8("我的控制条2"));
  for (QAccessibleInterface* bar : {panelBar, settingsBar}) {
    QStringList parts;
    for (int i = 0; i < bar->childCount(); ++i) {
      parts << bar->child(i)->object()->metaObject()->className();
      EXPECT_EQ(bar->indexOfChild(bar->child(i)), i);
    }
    EXPECT_EQ(parts.size(), 2) << "gripper and content only: " << parts.join(", ").toStdString();
  }

  // The tab shown is the selected one, and stays so as the pages change.
  CCoolTabCtrl* tabWidget = &f->TabCtrl();
  QAccessibleInterface* strip = QAccessible::queryAccessibleInterface(f->findChild<QTabBar*>());
  ASSERT_EQ(strip->role(), QAccessible::PageTabList);
  auto selected = [&] {
    QStringList s;
    for (int i = 0; i < strip->childCount(); ++i)
      if (strip->child(i)->role() == QAccessible::PageTab && strip->child(i)->state().selected) {
        EXPECT_TRUE(strip->child(i)->state().selectable);
        s << strip->child(i)->text(QAccessible::Name);
      }
    return s;
  };
  EXPECT_EQ(selected(), QStringList{"Picture and border"});
  tabWidget->ShowPage(2);
  EXPECT_EQ(selected(), QStringList{"Bezel"});
  // A screen reader's "press" shows the page.
  QAccessibleInterface* fullTab = strip->child(1);
  ASSERT_NE(fullTab->actionInterface(), nullptr);
  fullTab->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
  EXPECT_EQ(tabWidget->currentIndex(), 1);
  EXPECT_EQ(selected(), QStringList{"Full-mode move and zoom"});
  EXPECT_EQ(strip->indexOfChild(fullTab), 1);
  EXPECT_EQ(fullTab->parent(), strip);
}

TEST_F(MenusTest, TheRemoteControlDialogRefusesAnOpenAddressWithoutATokenAndKeepsTheTokenPrivate) {
  QAction* item = f->findChild<QAction*>(QStringLiteral("remoteControl"));
  ASSERT_NE(item, nullptr);
  EXPECT_EQ(item->text(), QStringLiteral("Remote Control..."));
  // Off the loopback without a token: refused, the dialog stays; with one
  // generated, written (port 1: nothing will answer there, so nothing starts).
  dialogs.ExpectDialog("remoteDialog", [&](QDialog& d) {
    auto& dlg = static_cast<CDlgRemote&>(d);
    dlg.EnabledBox()->setChecked(false);
    dlg.AddressEdit()->setText(QStringLiteral("0.0.0.0"));
    dlg.PortBox()->setValue(1);
    dialogs.ExpectBox("needs a token");
    dlg.EnabledBox()->setChecked(true);
    dlg.accept();
    EXPECT_EQ(dlg.result(), 0);
    dlg.EnabledBox()->setChecked(false);
    dlg.findChild<QPushButton*>(QStringLiteral("remoteGenerate"))->click();
    EXPECT_EQ(dlg.TokenEdit()->text().size(), 32);
    return kIdOk;
  });
  item->trigger();
  const RemoteSettings s = RemoteSettings::Read();
  EXPECT_FALSE(s.enabled);
  EXPECT_EQ(s.address, "0.0.0.0");
  EXPECT_EQ(s.token.size(), 32u);
  struct stat st {};
  ASSERT_EQ(::stat(NetSettingsPath().c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  EXPECT_FALSE(f->Remote().Running());
}

// The server started with --control runs although the settings file says
// nothing of it: the dialog shows it serving, and OK with nothing changed
// leaves it running.
TEST_F(MenusTest, TheRemoteControlDialogShowsTheServerRunningAndOkKeepsIt) {
  RemoteOptions o;
  o.port = 0;
  std::string why;
  ASSERT_TRUE(f->Remote().Start(o, &why)) << why;
  const std::string url = f->Remote().Url();
  QString shown;
  dialogs.ExpectDialog("remoteDialog", [&](QDialog& d) {
    shown = d.findChild<QLabel*>(QStringLiteral("remoteUrl"))->text();
    return kIdOk;
  });
  f->findChild<QAction*>(QStringLiteral("remoteControl"))->trigger();
  EXPECT_TRUE(shown.contains(QString::fromStdString(url))) << shown.toStdString();
  EXPECT_TRUE(f->Remote().Running());
  f->Remote().Stop();
}
