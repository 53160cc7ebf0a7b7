#include <QAccessible>
#include <QDockWidget>
#include <QGroupBox>
#include <QLabel>
#include <QMenuBar>
#include <QSizeGrip>
#include <QStatusBar>
#include <QTabBar>
#include <QToolBar>
#include <QToolButton>
#include <filesystem>
#include <fstream>

#include "GuiTest.h"
#include "app/LstInforBox.h"
#include "app/MainFrame.h"
#include "app/ProfileFiles.h"
#include "model/ModeController.h"
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

QStringList ButtonTexts(QToolBar& bar, int* separators) {
  QStringList texts;
  *separators = 0;
  for (QAction* a : bar.actions()) {
    if (a->isSeparator())
      ++*separators;
    else
      texts << a->text();
  }
  return texts;
}

}  // namespace

TEST(Startup, BuildsEveryPartOfTheWindow) {
  TempHome home;
  ScriptedDialogs dialogs;
  CTesselApp app;
  ASSERT_TRUE(app.InitInstance());
  CMainFrame& f = *app.MainFrame();
  Pump();

  EXPECT_EQ(f.windowTitle(), "default.cfg - Panora");
  EXPECT_TRUE(f.isVisible());

  // Three toolbars in one row, fixed: 12 quick modes in groups of 4, 5 and 3,
  // four window buttons and eight tool buttons, 32 x 32 pictures.
  int seps = 0;
  const QStringList quick = ButtonTexts(f.ModeToolBar(), &seps);
  ASSERT_EQ(quick.size(), 12);
  EXPECT_EQ(seps, 2);
  EXPECT_EQ(f.ModeToolBar().actions().at(4)->isSeparator(), true);
  EXPECT_EQ(f.ModeToolBar().actions().at(10)->isSeparator(), true);
  EXPECT_EQ(quick.at(0), "4Times-Default 1");
  EXPECT_EQ(quick.at(2), "Full-Default 2");
  EXPECT_EQ(quick.at(8), "PIP-Default 5");
  EXPECT_EQ(quick.at(11), "POP-Default 3");
  EXPECT_EQ(ButtonTexts(f.WindowToolBar(), &seps), (QStringList{"CH1", "CH2", "CH3", "CH4"}));
  EXPECT_EQ(ButtonTexts(f.ToolButtonBar(), &seps).size(), 8);
  const int row = f.ModeToolBar().geometry().top();
  for (CTrueColorToolBar* bar : {&f.ModeToolBar(), &f.WindowToolBar(), &f.ToolButtonBar()}) {
    EXPECT_EQ(f.toolBarArea(bar), Qt::TopToolBarArea);
    EXPECT_EQ(bar->geometry().top(), row) << "toolbars share one row";
    EXPECT_TRUE(bar->IsFixed());
    EXPECT_FALSE(bar->isMovable());
    EXPECT_EQ(bar->iconSize(), QSize(32, 32));
    for (QAction* a : bar->actions()) {
      if (!a->isSeparator()) {
        EXPECT_FALSE(a->icon().isNull()) << a->text().toStdString();
      }
    }
  }
  EXPECT_LT(f.ModeToolBar().geometry().right(), f.WindowToolBar().geometry().left());
  EXPECT_LT(f.WindowToolBar().geometry().right(), f.ToolButtonBar().geometry().left());

  // Status bar: message pane and the three lock indicators.
  const QList<QLabel*> labels = f.statusBar()->findChildren<QLabel*>();
  QStringList texts;
  for (QLabel* l : labels) texts << l->text();
  EXPECT_TRUE(texts.contains("CAP") && texts.contains("NUM") && texts.contains("SCRL"));

  // Docking bars: the tab control on the left with three pages, the main
  // settings panel at the bottom with its five groups.
  EXPECT_EQ(f.dockWidgetArea(&f.PanelBar()), Qt::LeftDockWidgetArea);
  EXPECT_EQ(f.dockWidgetArea(&f.SettingsBar()), Qt::BottomDockWidgetArea);
  EXPECT_EQ(f.PanelBar().widget(), &f.TabCtrl());
  EXPECT_EQ(f.SettingsBar().widget(), &f.MainSet());
  ASSERT_EQ(f.TabCtrl().count(), 3);
  EXPECT_EQ(f.TabCtrl().PageWindow(0)->objectName(), "CDlgTestPage");
  EXPECT_EQ(f.TabCtrl().PageWindow(1)->objectName(), "CDlgFullSet");
  EXPECT_EQ(f.TabCtrl().PageWindow(2)->objectName(), "CDlgBorderSet");
  EXPECT_EQ(f.TabCtrl().currentIndex(), 0);
  QStringList groups;
  for (QGroupBox* g : f.MainSet().findChildren<QGroupBox*>()) groups << g->title();
  EXPECT_EQ(groups, (QStringList{"Resolution", "Channel input selection", "Overlay", "Output display",
                                 "Information"}));
  EXPECT_EQ(f.MainSet().InfoList()->count(), 0);

  // The four channel windows, created in order, inside the layout area and
  // arranged for mode 17: CH1 over the whole area, each next one the centred
  // half of the one before.
  const auto mode17 =
      ArrangeChannels(17, f.m_rcLayout.width(), f.m_rcLayout.height(), f.m_Profile.m_DataPrm).frames;
  EXPECT_EQ(mode17[0], (Rect{0, 0, f.m_rcLayout.width(), f.m_rcLayout.height()}));
  for (int ch = 0; ch < 4; ++ch) {
    CChildFrame* frame = f.ChannelFrame(ch);
    ASSERT_NE(frame, nullptr);
    EXPECT_EQ(frame->WindowRect(), mode17[ch]);
    EXPECT_EQ(frame->m_nChannel, ch);
    EXPECT_EQ(g_pView[ch], frame->View());
    EXPECT_EQ(frame->View()->m_strImagePath, QString("view%1.png").arg(ch + 1));
    EXPECT_TRUE(frame->View()->HasImage()) << "found beside the executable";
    EXPECT_EQ(frame->parentWidget(), f.LayoutArea()->Client());
  }
  EXPECT_EQ(g_nViewCount, 4);

  // The layout rectangle: the central area in client coordinates, 2 pixels in.
  const QRect central = f.centralWidget()->geometry();
  EXPECT_EQ(f.m_rcLayout, central.adjusted(2, 2, -2, -2));
  EXPECT_EQ(f.m_rcLayout.topLeft(), f.LayoutArea()->Client()->mapTo(&f, QPoint(0, 0)));
  EXPECT_EQ(f.m_rcLayout.size(), f.LayoutArea()->Client()->size());
  EXPECT_GT(f.m_rcLayout.left(), f.PanelBar().geometry().right());
  EXPECT_LT(f.m_rcLayout.bottom(), f.SettingsBar().geometry().top());

  // Mode 17, disconnected, nothing pending.
  EXPECT_EQ(f.m_nCurMod, 17);
  EXPECT_EQ(f.m_nPrevMod, 17);
  EXPECT_EQ(f.m_nConnKind.load(), 0);
  EXPECT_EQ(f.m_bSending.load(), 0);
  EXPECT_EQ(f.m_nCurpod, 3);  // no window is selected in mode 17
  EXPECT_NE(f.ReplyEvent(), nullptr);
  EXPECT_FALSE(f.TimerHandshake().isActive());
  EXPECT_FALSE(f.TimerDots().isActive());
  CProfile expected;
  expected.ResetAllSlots();
  expected.ResetWorkingForMode(17);
  EXPECT_EQ(f.m_Profile.m_DataPrm, expected.m_DataPrm);
}

TEST(Startup, ReadsTheStartupProfileOrResetsTheRecords) {
  TempHome home;
  ScriptedDialogs dialogs;
  {
    // A profile from an earlier run, with a tool button and a user slot.
    CProfile p;
    p.ResetAllSlots();
    p.m_nToolMode[2] = 14;
    p.m_DataPrm[3].m_nAllOutRes = 4;
    ASSERT_TRUE(MakeFolders(home.Path() + "/VideoLib"));
    ASSERT_TRUE(WriteProfile(home.ProfilePath(), p));
  }
  {
    CTesselApp app;
    ASSERT_TRUE(app.InitInstance());
    CMainFrame& f = *app.MainFrame();
    EXPECT_EQ(f.m_Profile.m_nToolMode[2], 14);
    EXPECT_EQ(f.m_Profile.m_DataPrm[3].m_nAllOutRes, 4);
    EXPECT_EQ(f.m_Profile.m_strProfilePath, home.ProfilePath());
    EXPECT_TRUE(f.Action(ID_TOOL_FIRST + 2)->toolTip().contains("PIP-Default 2"));
    EXPECT_TRUE(f.Action(ID_TOOL_FIRST)->toolTip().contains("no mode"));
    EXPECT_EQ(f.MainSet().InfoList()->count(), 0);
  }
  // A damaged file: every record is reset and the program still starts,
  // says so in the information list, and keeps a copy of the file before the
  // exit save replaces it.
  { std::ofstream(home.ProfilePath(), std::ios::binary | std::ios::trunc) << "not a profile"; }
  {
    CTesselApp app;
    ASSERT_TRUE(app.InitInstance());
    CProfile reset;
    reset.ResetAllSlots();
    reset.ResetWorkingForMode(17);
    EXPECT_EQ(app.MainFrame()->m_Profile.m_DataPrm, reset.m_DataPrm);
    EXPECT_TRUE(app.MainFrame()->m_Profile.m_strProfilePath.empty());
    const CLstInforBox* list = app.MainFrame()->MainSet().InfoList();
    ASSERT_EQ(list->count(), 1);
    EXPECT_TRUE(list->item(0)->text().endsWith("Stored profile unreadable: factory set-up in use"))
        << list->item(0)->text().toStdString();
  }
  std::ifstream copy(home.ProfilePath() + ".broken", std::ios::binary);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(copy), std::istreambuf_iterator<char>()),
            "not a profile");
  CProfile saved;
  EXPECT_TRUE(ReadProfile(home.ProfilePath(), saved));
}

TEST(Startup, WindowKeepsItsCaptionAndSize) {
  TempHome home;
  ScriptedDialogs dialogs;
  CTesselApp app;
  ASSERT_TRUE(app.InitInstance());
  CMainFrame& f = *app.MainFrame();
  // The caption names the profile the set-up is kept in, whatever sets another.
  EXPECT_EQ(f.windowTitle(), "default.cfg - Panora");
  f.setWindowTitle("something else");
  f.setWindowFilePath("/tmp/other.cfg");
  EXPECT_EQ(f.windowTitle(), "default.cfg - Panora");
  f.resize(800, 600);
  Pump();
  EXPECT_EQ(f.size(), QSize(1120, 720));
  EXPECT_EQ(f.minimumSize(), f.maximumSize());
  EXPECT_FALSE(f.windowFlags().testFlag(Qt::WindowMaximizeButtonHint));
  // Nor does anything offer to size it: no grip in the status bar's corner.
  f.show();
  Pump();
  EXPECT_FALSE(f.statusBar()->isSizeGripEnabled());
  for (QSizeGrip* grip : f.findChildren<QSizeGrip*>()) EXPECT_FALSE(grip->isVisible());
  f.showMaximized();
  Pump();
  EXPECT_EQ(f.size(), QSize(1120, 720));
}

TEST(Startup, TheListSaysWhenTheLastExitSavedIntoAnotherProfile) {
  TempHome home;
  ScriptedDialogs dialogs;
  const std::string lobby = home.Path() + "/VideoLib/lobby.cfg";
  auto lines = [](CMainFrame& f) {
    QStringList out;
    for (int i = 0; i < f.MainSet().InfoList()->count(); ++i)
      out << f.MainSet().InfoList()->item(i)->text().section(QLatin1Char(' '), 2);
    return out;
  };
  {
    // Saved as lobby.cfg: the exit save follows it there.
    CTesselApp app;
    ASSERT_TRUE(app.InitInstance());
    dialogs.ExpectSaveFile(lobby);
    app.MainFrame()->Action(ID_FILE_SAVE_AS)->trigger();
    app.MainFrame()->Modes().SetModeName(3, "Lobby");
    app.ExitInstance();
  }
  {
    CTesselApp again;
    ASSERT_TRUE(again.InitInstance());
    CMainFrame& f = *again.MainFrame();
    EXPECT_TRUE(lines(f).contains(QStringLiteral("Last exit saved to lobby.cfg, not default.cfg"))) << lines(f).join('|').toStdString();
    EXPECT_EQ(f.windowTitle(), QStringLiteral("default.cfg - Panora"));
    EXPECT_NE(f.m_Profile.m_strModeName[3], "Lobby");
    // The work is there, one click away.
    ASSERT_FALSE(f.ProfileFiles().RecentActions().empty());
    f.ProfileFiles().RecentActions()[0]->trigger();
    EXPECT_EQ(f.m_Profile.m_strModeName[3], "Lobby");
    f.Action(ID_FILE_SAVE)->trigger();  // into the start-up profile from now on
    again.ExitInstance();
  }
  const std::string other = home.Path() + "/other/default.cfg";
  std::filesystem::create_directories(home.Path() + "/other");
  {
    CTesselApp third;
    ASSERT_TRUE(third.InitInstance());
    EXPECT_FALSE(lines(*third.MainFrame()).join('|').contains(QStringLiteral("Last exit")));
    EXPECT_EQ(third.MainFrame()->m_Profile.m_strModeName[3], "Lobby");
    // Saved into a file of the start-up profile's name in another folder.
    dialogs.ExpectSaveFile(other);
    third.MainFrame()->Action(ID_FILE_SAVE_AS)->trigger();
    third.ExitInstance();
  }
  CTesselApp fourth;
  ASSERT_TRUE(fourth.InitInstance());
  CMainFrame& f = *fourth.MainFrame();
  // One name for two files would say nothing: the folders tell them apart.
  const QString said = QStringLiteral("Last exit saved to %1, not %2")
                           .arg(QString::fromStdString(other), QString::fromStdString(StartupProfilePath()));
  EXPECT_TRUE(lines(f).contains(said)) << lines(f).join('|').toStdString();
  // An ampersand in a name is shown, not taken for a shortcut mark.
  dialogs.ExpectSaveFile(home.Path() + "/VideoLib/R&D.cfg");
  f.Action(ID_FILE_SAVE_AS)->trigger();
  ASSERT_FALSE(f.ProfileFiles().RecentActions().empty());
  EXPECT_EQ(f.ProfileFiles().RecentActions()[0]->text(), QStringLiteral("&1 R&&D.cfg"));
}

TEST(Startup, ChannelPicturesComeFromTheCurrentFolderFirst) {
  TempHome home;
  ScriptedDialogs dialogs;
  const std::filesystem::path old = std::filesystem::current_path();
  std::filesystem::current_path(home.Path());
  // A plain red view1.png here; view2.png is not here and comes from beside the executable.
  QImage red(40, 20, QImage::Format_RGB32);
  red.fill(Qt::red);
  ASSERT_TRUE(red.save("view1.png"));
  {
    CTesselApp app;
    ASSERT_TRUE(app.InitInstance());
    CMainFrame& f = *app.MainFrame();
    Pump();
    const QImage v1 = f.ChannelFrame(0)->View()->grab().toImage();
    EXPECT_EQ(QColor(v1.pixel(v1.width() / 2, v1.height() - 5)), QColor(Qt::red));
    // The labels: "In1" at (4, 4) in black on white, over the picture.
    bool dark = false;
    for (int x = 4; x < 20; ++x)
      for (int y = 4; y < 16; ++y) dark = dark || qGray(v1.pixel(x, y)) < 80;
    EXPECT_TRUE(dark) << "label text drawn";
    EXPECT_TRUE(f.ChannelFrame(1)->View()->HasImage());
    EXPECT_NE(QColor(f.ChannelFrame(1)->View()->grab().toImage().pixel(100, 100)), QColor(Qt::red));
  }
  std::filesystem::current_path(old);
}

TEST(Startup, MissingPictureStillShowsTheLabels) {
  TempHome home;
  ScriptedDialogs dialogs;
  const std::filesystem::path old = std::filesystem::current_path();
  std::filesystem::current_path(home.Path());
  // A file that is no picture, in the current folder, hides the good one.
  std::ofstream("view3.png") << "garbage";
  {
    CTesselApp app;
    ASSERT_TRUE(app.InitInstance());
    CTesselView* v = app.MainFrame()->ChannelFrame(2)->View();
    EXPECT_FALSE(v->HasImage());
    const QImage img = v->grab().toImage();
    bool dark = false;
    for (int x = 22; x < 40; ++x)
      for (int y = 4; y < 16; ++y) dark = dark || qGray(img.pixel(x, y)) < 80;
    EXPECT_TRUE(dark) << "\"Ch3\" is drawn";
  }
  std::filesystem::current_path(old);
}
