#include "app/FrameChrome.h"

#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QStatusBar>
#include <utility>
#include <vector>

#include "app/LinkStatus.h"
#include "app/MainFrame.h"
#include "app/ModeStatus.h"
#include "app/PlacementStatus.h"
#include "app/TrafficMonitor.h"
#include "app/Undo.h"
#include "layout/DlgFullSet.h"
#include "model/ModeTable.h"
#include "panels/CoolTabCtrl.h"
#include "panels/DlgBorderSet.h"
#include "panels/DlgMainSet.h"
#include "panels/DlgTestPage.h"
#include "ui/CoolBar.h"
#include "ui/KeyLocks.h"
#include "ui/TrueColorToolBar.h"

namespace panora {

CFrameChrome::CFrameChrome(CMainFrame& frame) : QObject(&frame), m_frame(frame) {}

bool CFrameChrome::CreateBars() {
  if (!CreateToolBars() || !CreateStatusBar() || !CreateDockingBars()) return false;
  CreateBarItems();
  CreateTrafficMonitor();
  return true;
}

QMenu* CFrameChrome::ToolsMenu() {
  if (m_toolsMenu != nullptr) return m_toolsMenu;
  m_toolsMenu = new QMenu(QStringLiteral("&Tools"), &m_frame);
  m_toolsMenu->setObjectName(QStringLiteral("toolsMenu"));
  // Right after "View", before "Help".
  const QList<QAction*> top = m_frame.menuBar()->actions();
  const qsizetype view = m_viewMenu != nullptr ? top.indexOf(m_viewMenu->menuAction()) : -1;
  m_frame.menuBar()->insertMenu(view >= 0 && view + 1 < top.size() ? top[view + 1] : nullptr, m_toolsMenu);
  return m_toolsMenu;
}

QAction* CFrameChrome::AddCommand(QMenu* menu, int id, const QString& text, void (CMainFrame::*handler)()) {
  auto* a = menu->addAction(text);
  a->setObjectName(QString::number(id));
  connect(a, &QAction::triggered, &m_frame, handler);
  m_actions[id] = a;
  return a;
}

void CFrameChrome::CreateMenus() {
  CreateMenuBar();
  CreateUndoItems();
  CreateContextMenu();
}

void CFrameChrome::CreateMenuBar() {
  m_fileMenu = m_frame.menuBar()->addMenu(QStringLiteral("&File"));
  QMenu* file = m_fileMenu;
  AddCommand(file, ID_FILE_OPEN, QStringLiteral("Open"), &CMainFrame::OnOpen);
  AddCommand(file, ID_FILE_SAVE, QStringLiteral("Save"), &CMainFrame::OnSave);
  AddCommand(file, ID_FILE_SAVE_AS, QStringLiteral("Save as"), &CMainFrame::OnSaveAs);

  QMenu* conn = m_frame.menuBar()->addMenu(QStringLiteral("&Connection"));
  struct Item {
    int id;
    const char* text;
    void (CMainFrame::*handler)();
  };
  const Item connItems[] = {{ID_CONN_RS232, "RS232", &CMainFrame::OnRs232},
                            {ID_CONN_USB, "USB", &CMainFrame::OnUsb},
                            {ID_CONN_TCPIP, "TCP/IP", &CMainFrame::OnTcpIp},
                            {ID_CONN_DISCONNECT, "Disconnect", &CMainFrame::OnDisconnect}};
  for (const Item& it : connItems) {
    auto* a = conn->addAction(QString::fromLatin1(it.text));
    a->setObjectName(QString::number(it.id));
    a->setCheckable(it.id != ID_CONN_DISCONNECT);  // the three connection kinds carry the marks
    m_actions[it.id] = a;
    m_checks[it.id] = false;
    const int id = it.id;
    // The check marks follow the connection, not the click. The frame is
    // captured as a pointer: GCC's null check misjudges a member-function
    // call through a reference member inside a lambda.
    CMainFrame* frame = &m_frame;
    auto handler = it.handler;
    connect(a, &QAction::triggered, frame, [this, a, id, frame, handler] {
      a->setChecked(m_checks[id]);
      (frame->*handler)();
    });
  }
  // Bringing the processor to what the screen shows: no check marks.
  conn->addSeparator();
  AddCommand(conn, ID_SEND_SETUP, QStringLiteral("Send Set-up"), &CMainFrame::OnSendSetup);
  AddCommand(conn, ID_SEND_SETUP_ALL, QStringLiteral("Send Set-up and User Modes"), &CMainFrame::OnSendSetupAll);

  m_viewMenu = m_frame.menuBar()->addMenu(QStringLiteral("&View"));
  AddCommand(m_viewMenu, ID_LOAD_MODE, QStringLiteral("Load Mode"), &CMainFrame::OnLoadMode);
  AddCommand(m_viewMenu, ID_SAVE_MODE, QStringLiteral("Save Mode"), &CMainFrame::OnSaveMode);
  AddCommand(m_viewMenu, ID_MODE_SETTING, QStringLiteral("Mode Setting"), &CMainFrame::OnModeSetting);
  AddCommand(m_viewMenu, ID_WINDOW_ADJUST, QStringLiteral("Window Adjustment"), &CMainFrame::OnWindowAdjust);
  AddCommand(m_viewMenu, ID_FACTORY_RESET, QStringLiteral("Factory Reset"), &CMainFrame::OnFactoryReset);
  connect(m_viewMenu, &QMenu::aboutToShow, &m_frame, &CMainFrame::UpdateModeMenuItems);

  // The standard print commands have keys but no menu items.
  const struct {
    int id;
    const char* text;
    QKeySequence keys;
    void (CMainFrame::*handler)();
  } printItems[] = {{ID_FILE_PRINT, "Print...", QKeySequence::Print, &CMainFrame::OnFilePrint},
                    {ID_FILE_PRINT_DIRECT, "Print Direct", QKeySequence(), &CMainFrame::OnFilePrintDirect},
                    {ID_FILE_PRINT_PREVIEW, "Print Preview", QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_P),
                     &CMainFrame::OnFilePrintPreview}};
  for (const auto& it : printItems) {
    auto* a = new QAction(QString::fromLatin1(it.text), &m_frame);
    a->setObjectName(QString::number(it.id));
    a->setShortcut(it.keys);
    connect(a, &QAction::triggered, &m_frame, it.handler);
    m_frame.addAction(a);
    m_actions[it.id] = a;
  }

  QMenu* help = m_frame.menuBar()->addMenu(QStringLiteral("&Help"));
  AddCommand(help, ID_ABOUT_SOFT, QStringLiteral("About Soft Version"), &CMainFrame::OnAboutSoft);
  AddCommand(help, ID_ABOUT_FIRMWARE, QStringLiteral("About Firmware Version"),
             &CMainFrame::OnFirmwareVersion);
}

QMenu* CFrameChrome::EditMenu() {
  if (m_editMenu != nullptr) return m_editMenu;
  m_editMenu = new QMenu(QStringLiteral("&Edit"), &m_frame);
  // Between "File" and "Connection": before the second menu of the bar.
  const QList<QAction*> menus = m_frame.menuBar()->actions();
  if (menus.size() > 1)
    m_frame.menuBar()->insertMenu(menus[1], m_editMenu);
  else
    m_frame.menuBar()->addMenu(m_editMenu);
  return m_editMenu;
}

void CFrameChrome::CreateUndoItems() {
  QAction* undo = AddCommand(EditMenu(), ID_EDIT_UNDO, QStringLiteral("Undo"), &CMainFrame::OnEditUndo);
  undo->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Z));
  QAction* redo = AddCommand(EditMenu(), ID_EDIT_REDO, QStringLiteral("Redo"), &CMainFrame::OnEditRedo);
  redo->setShortcuts({QKeySequence(Qt::CTRL | Qt::Key_Y), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z)});
  m_frame.Undo().SetActions(undo, redo);
}

void CFrameChrome::CreateContextMenu() {
  m_ctxMenu = new QMenu(&m_frame);
  m_ctxMenu->setObjectName(QStringLiteral("130"));
  struct Item {
    int id;
    const char* text;
    void (CMainFrame::*handler)();
  };
  const Item items[] = {{ID_LOAD_MODE_CTX, "Load mode", &CMainFrame::OnLoadMode},
                        {ID_SAVE_MODE_CTX, "Save mode", &CMainFrame::OnSaveMode},
                        {ID_MODE_SETTING_CTX, "Mode Setting", &CMainFrame::OnModeSetting},
                        {ID_WINDOW_ADJUST_CTX, "Window adjustment", &CMainFrame::OnWindowAdjust},
                        {ID_SEND_SETUP_CTX, "Send Set-up", &CMainFrame::OnSendSetup},
                        {ID_SEND_SETUP_ALL_CTX, "Send Set-up and User Modes", &CMainFrame::OnSendSetupAll}};
  for (const Item& it : items) {
    auto* a = m_ctxMenu->addAction(QString::fromLatin1(it.text));
    a->setObjectName(QString::number(it.id));
    connect(a, &QAction::triggered, &m_frame, it.handler);
    m_ctxActions[it.id] = a;
  }
}

bool CFrameChrome::CreateToolBars() {
  m_wndModeToolBar = new CTrueColorToolBar(QStringLiteral("Modes"), &m_frame);
  m_wndModeToolBar->setObjectName(QStringLiteral("140"));
  for (int i = 0; i < 12; ++i) {
    if (i == 4 || i == 9) m_wndModeToolBar->addSeparator();  // groups of 4, 5 and 3
    const ModeInfo* mode = FindMode(kQuickModes[i]);
    const QString tip =
        mode != nullptr ? QStringLiteral("%1 %2").arg(QString::fromLatin1(mode->groupName)).arg(mode->variant)
                        : QString::number(kQuickModes[i] + 1);
    QAction* a = m_wndModeToolBar->addAction(tip);
    a->setObjectName(QString::number(ID_QUICK_MODE_FIRST + i));
    a->setToolTip(tip);
    a->setStatusTip(tip);
    connect(a, &QAction::triggered, &m_frame, [this, i] { m_frame.OnQuickMode(i); });
    m_actions[ID_QUICK_MODE_FIRST + i] = a;
  }
  m_wndModeToolBar->SetTrueColorImages(QStringLiteral(":/res/mode_toolbar.png"),
                                       QStringLiteral(":/res/mode_toolbar_hot.png"),
                                       QStringLiteral(":/res/mode_toolbar_hot.png"));

  m_wndWindowToolBar = new CTrueColorToolBar(QStringLiteral("Windows"), &m_frame);
  m_wndWindowToolBar->setObjectName(QStringLiteral("144"));
  for (int i = 0; i < 4; ++i) {
    const QString text = QStringLiteral("CH%1").arg(i + 1);
    QAction* a = m_wndWindowToolBar->addAction(text);
    a->setObjectName(QString::number(ID_WINDOW_FIRST + i));
    a->setToolTip(text);
    a->setStatusTip(text);
    connect(a, &QAction::triggered, &m_frame, [this, i] { m_frame.OnWindowButton(i); });
    m_actions[ID_WINDOW_FIRST + i] = a;
  }
  m_wndWindowToolBar->SetTrueColorImages(QStringLiteral(":/res/window_toolbar.png"),
                                         QStringLiteral(":/res/window_toolbar_hot.png"),
                                         QStringLiteral(":/res/window_toolbar_hot.png"));

  m_wndToolButtonBar = new CTrueColorToolBar(QStringLiteral("Tool buttons"), &m_frame);
  m_wndToolButtonBar->setObjectName(QStringLiteral("162"));
  for (int i = 0; i < 8; ++i) {
    QAction* a = m_wndToolButtonBar->addAction(QString::number(i + 1));
    a->setObjectName(QString::number(ID_TOOL_FIRST + i));
    connect(a, &QAction::triggered, &m_frame, [this, i] { m_frame.OnToolButton(i); });
    m_actions[ID_TOOL_FIRST + i] = a;
  }
  m_wndToolButtonBar->SetTrueColorImages(QStringLiteral(":/res/tool_toolbar.png"),
                                         QStringLiteral(":/res/tool_toolbar_hot.png"),
                                         QStringLiteral(":/res/tool_toolbar_hot.png"));

  // One row, side by side, fixed in place.
  for (CTrueColorToolBar* bar : {m_wndModeToolBar, m_wndWindowToolBar, m_wndToolButtonBar}) {
    m_frame.addToolBar(Qt::TopToolBarArea, bar);
    bar->Fix();
  }
  return true;
}

void CFrameChrome::UpdateToolButtonTips() {
  for (int i = 0; i < 8; ++i) {
    QAction* a = Action(ID_TOOL_FIRST + i);
    if (a == nullptr) continue;
    const int mode = m_frame.m_Profile.m_nToolMode[i];
    QString tip = QStringLiteral("Tool button %1: ").arg(i + 1);
    if (IsValidMode(mode)) {
      const ModeInfo* info = FindMode(mode);
      tip += QStringLiteral("%1 %2 (%3)")
                 .arg(QString::fromLatin1(info->groupName))
                 .arg(info->variant)
                 .arg(QString::fromStdString(m_frame.m_Profile.ModeName(mode)));
    } else {
      tip += QStringLiteral("no mode assigned");
    }
    a->setToolTip(tip);
    a->setStatusTip(tip);
  }
}

bool CFrameChrome::CreateStatusBar() {
  QStatusBar* bar = m_frame.statusBar();
  bar->setObjectName(QStringLiteral("statusBar"));
  // The window has one size: a sizing grip in its corner would promise otherwise.
  bar->setSizeGripEnabled(false);
  // The message pane says "Ready" whenever no help text is shown in it.
  bar->showMessage(QStringLiteral("Ready"));
  connect(bar, &QStatusBar::messageChanged, bar, [bar](const QString& text) {
    if (text.isEmpty()) bar->showMessage(QStringLiteral("Ready"));
  });
  std::vector<QAction*> quick, tools;
  for (int i = 0; i < 12; ++i) quick.push_back(Action(ID_QUICK_MODE_FIRST + i));
  for (int i = 0; i < 8; ++i) tools.push_back(Action(ID_TOOL_FIRST + i));
  m_modeStatus = new CModeStatus(m_frame.m_nCurMod, m_frame.m_Profile, bar, std::move(quick), std::move(tools), &m_frame);
  m_placement = new CPlacementStatus(m_frame, bar);
  auto indicator = [bar](const char* text, const char* what) {
    auto* l = new QLabel(QString::fromLatin1(text));
    l->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    l->setAlignment(Qt::AlignCenter);
    l->setMinimumWidth(l->fontMetrics().horizontalAdvance(QStringLiteral("SCRL")) + 12);
    l->setAccessibleDescription(QString::fromLatin1(what));
    l->setEnabled(false);
    bar->addPermanentWidget(l);
    return l;
  };
  m_lblCaps = indicator("CAP", "Caps Lock");
  m_lblNum = indicator("NUM", "Num Lock");
  m_lblScroll = indicator("SCRL", "Scroll Lock");
  // The lock keys may change while another program has the focus: followed
  // by the window system's reports, or polled where it gives none.
  m_keyLocks = new CKeyLockWatcher([this](const KeyLockState& s) { UpdateKeyLocks(s); }, &m_frame);
  return true;
}

void CFrameChrome::UpdateKeyLocks(const KeyLockState& s) {
  m_lblCaps->setEnabled(s.caps);
  m_lblNum->setEnabled(s.num);
  m_lblScroll->setEnabled(s.scroll);
}

bool CFrameChrome::CreateDockingBars() {
  m_wndPanelBar = new CCoolBar(QString::fromUtf8("我的控制条"), QSize(230, 200), 123, &m_frame);
  m_wndPanelBar->setAccessibleName(QStringLiteral("Control panels"));
  m_wndSettingsBar = new CCoolBar(QString::fromUtf8("我的控制条2"), QSize(1120, 180), 124, &m_frame);
  m_wndSettingsBar->setAccessibleName(QStringLiteral("Main settings"));

  // The tab control with its three pages: picture and border, full-mode move
  // and zoom, bezel. The panels themselves fill these pages.
  m_wndTabCtrl = new CCoolTabCtrl(m_wndPanelBar);
  struct Page {
    const char* cls;
    const char* icon;
    const char* name;
  };
  const Page pages[] = {{"CDlgTestPage", ":/res/tab_picture.png", "Picture and border"},
                        {"CDlgFullSet", ":/res/tab_fullset.png", "Full-mode move and zoom"},
                        {"CDlgBorderSet", ":/res/tab_bezel.png", "Bezel"}};
  m_dlgTestPage = new CDlgTestPage(m_frame);
  m_dlgFullSet = new CDlgFullSet(m_frame);
  m_dlgBorderSet = new CDlgBorderSet(m_frame);
  QWidget* made[] = {m_dlgTestPage, m_dlgFullSet, m_dlgBorderSet};
  for (int i = 0; i < 3; ++i) {
    const Page& p = pages[i];
    QWidget* page = made[i];
    page->setObjectName(QString::fromLatin1(p.cls));
    m_wndTabCtrl->InsertWindowPage(page, QIcon(QString::fromLatin1(p.icon)), QString::fromLatin1(p.name));
  }
  m_wndTabCtrl->FinishPages();
  m_wndPanelBar->setWidget(m_wndTabCtrl);
  m_dlgMainSet = new CDlgMainSet(m_frame, m_wndSettingsBar);
  m_wndSettingsBar->setWidget(m_dlgMainSet);

  // The bottom bar runs the full width, the left bar stands between the
  // toolbars and it.
  m_frame.setCorner(Qt::BottomLeftCorner, Qt::BottomDockWidgetArea);
  m_frame.setCorner(Qt::BottomRightCorner, Qt::BottomDockWidgetArea);
  m_frame.addDockWidget(Qt::LeftDockWidgetArea, m_wndPanelBar);
  m_frame.addDockWidget(Qt::BottomDockWidgetArea, m_wndSettingsBar);
  m_frame.resizeDocks({m_wndPanelBar}, {m_wndPanelBar->DefaultSize().width()}, Qt::Horizontal);
  m_frame.resizeDocks({m_wndSettingsBar}, {m_wndSettingsBar->DefaultSize().height()}, Qt::Vertical);
  return true;
}

void CFrameChrome::CreateBarItems() {
  // A bar or toolbar closed with its button comes back from here; the marks
  // follow whatever shows or hides them.
  m_viewMenu->addSeparator();
  const std::pair<QAction*, const char*> items[] = {
      {m_wndPanelBar->toggleViewAction(), "Control panels"},
      {m_wndSettingsBar->toggleViewAction(), "Main settings"},
      {m_wndModeToolBar->toggleViewAction(), "Modes toolbar"},
      {m_wndWindowToolBar->toggleViewAction(), "Windows toolbar"},
      {m_wndToolButtonBar->toggleViewAction(), "Tool buttons toolbar"}};
  for (const auto& [action, text] : items) {
    action->setText(QString::fromLatin1(text));
    m_viewMenu->addAction(action);
  }
}

void CFrameChrome::CreateTrafficMonitor() {
  m_wndTrafficBar = new CCoolBar(QStringLiteral("Traffic Monitor"), QSize(760, 260), 125, &m_frame);
  m_wndTrafficBar->setObjectName(QStringLiteral("TrafficBar"));
  m_wndTrafficBar->setAccessibleName(QStringLiteral("Traffic Monitor"));
  m_trafficMonitor = new CTrafficMonitor(m_frame.Traffic(), m_frame.Hand(), m_wndTrafficBar);
  m_wndTrafficBar->setWidget(m_trafficMonitor);
  // Floating at first: a docked bar would narrow the layout area, and with
  // it the output pixels a drag sends, only because somebody looks.
  m_frame.addDockWidget(Qt::RightDockWidgetArea, m_wndTrafficBar);
  m_wndTrafficBar->setFloating(true);
  m_wndTrafficBar->resize(m_wndTrafficBar->DefaultSize());
  m_wndTrafficBar->hide();
  QAction* toggle = m_wndTrafficBar->toggleViewAction();
  toggle->setText(QStringLiteral("Traffic Monitor"));
  toggle->setShortcut(QKeySequence(Qt::Key_F12));
  toggle->setShortcutContext(Qt::ApplicationShortcut);
  connect(toggle, &QAction::triggered, &m_frame, [this](bool on) {
    // Over the lower right of the window the first time it floats into view.
    if (on && m_wndTrafficBar->isFloating() && !m_bTrafficPlaced) {
      m_bTrafficPlaced = true;
      const QRect r = m_frame.geometry();
      m_wndTrafficBar->move(r.right() - m_wndTrafficBar->width() - 20,
                            r.bottom() - m_wndTrafficBar->height() - 40);
    }
  });
  ToolsMenu()->addAction(toggle);
}

void CFrameChrome::ShowContextMenu(const QPoint& globalPos, int mode) {
  m_ctxActions[ID_SAVE_MODE_CTX]->setEnabled(CanSaveMode(mode));
  m_ctxActions[ID_WINDOW_ADJUST_CTX]->setEnabled(CanAdjustWindows(mode));
  m_ctxMenu->popup(globalPos);
}

QAction* CFrameChrome::Action(int id) const {
  auto it = m_actions.find(id);
  return it != m_actions.end() ? it->second : nullptr;
}

QAction* CFrameChrome::ContextAction(int id) const {
  auto it = m_ctxActions.find(id);
  return it != m_ctxActions.end() ? it->second : nullptr;
}

void CFrameChrome::SetConnectionCheck(int id, bool on) {
  m_checks[id] = on;
  if (QAction* a = Action(id)) a->setChecked(on);
}

void CFrameChrome::UpdateModeMenuItems(int mode) {
  m_actions[ID_SAVE_MODE]->setEnabled(CanSaveMode(mode));
  m_actions[ID_WINDOW_ADJUST]->setEnabled(CanAdjustWindows(mode));
  if (m_modeStatus != nullptr) m_modeStatus->Update();
  if (m_placement != nullptr) m_placement->Refresh();
}

}  // namespace panora
