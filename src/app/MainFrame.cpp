#include "app/MainFrame.h"

#include <QAction>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLabel>
#include <QLayout>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QPrinterInfo>
#include <QPushButton>
#include <QScreen>
#include <QStatusBar>
#include <QThread>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string_view>
#include <vector>

#include "app/AboutDlg.h"
#include "app/Dialogs.h"
#include "app/DlgCom.h"
#include "app/DlgModSet.h"
#include "app/DlgNet.h"
#include "app/FrameModeHost.h"
#include "app/LinkStatus.h"
#include "app/LstInforBox.h"
#include "app/ModeStatus.h"
#include "app/PlacementStatus.h"
#include "app/ProfileFiles.h"
#include "app/TrafficMonitor.h"
#include "app/Undo.h"
#include "layout/Arrange.h"
#include "layout/ChildFrame.h"
#include "layout/DlgFullSet.h"
#include "layout/DlgPostSet.h"
#include "layout/LayoutArea.h"
#include "layout/QtRect.h"
#include "layout/TesselView.h"
#include "link/Commands.h"
#include "link/SerialPorts.h"
#include "model/ModeController.h"
#include "model/ModeTable.h"
#include "model/Paths.h"
#include "panels/CoolTabCtrl.h"
#include "panels/DlgBorderSet.h"
#include "panels/DlgMainSet.h"
#include "panels/DlgTestPage.h"
#include "ui/Accessible.h"
#include "ui/CoolBar.h"
#include "ui/KeyLocks.h"
#include "ui/TrueColorToolBar.h"

// The built-in pictures live in this static library; they must be registered.
static void InitPanoraResources() {
  Q_INIT_RESOURCE(panora);
}

namespace panora {

namespace {
constexpr char kCaption[] = "Panora";
}  // namespace

CMainFrame::CMainFrame(QWidget* parent)
    : QMainWindow(parent),
      m_handOverTarget(std::make_unique<QObject>()),
      m_handOver(m_handOverTarget.get()),
      m_RsCom(
          &m_handOver, [this](const std::uint8_t* data, int length) { OnDeviceData(data, length); },
          [this](const char* text) { ShowMessage(text); }),
      m_NetLink([this](const std::uint8_t* data, int length) { OnDeviceData(data, length); },
                [this](const char* text) { ShowMessage(text); }),
      m_DeviceLink(m_RsCom, m_NetLink, &m_handOver,
                   LinkHooks{[this](const char* text) { ShowMessage(text); },
                             {},  // an answer that did not come in time is ignored
                             [this](int job) { OnBatchDone(job); },
                             [this] { OnPositionAnswer(); }}) {
  InitPanoraResources();
  InstallAccessibleFactory();
  setObjectName(QStringLiteral("CMainFrame"));
  // No sizing border and no maximise box: the window keeps its size.
  setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
  setFixedSize(kWidth, kHeight);
  setWindowTitle(QString::fromLatin1(kCaption));
  setWindowIcon(QIcon(QStringLiteral(":/res/panora64.png")));
  setDockOptions(QMainWindow::AnimatedDocks);

  m_timerHandshake.setInterval(1000);
  // A coarse timer may fire 5 % early: an answer after 900 ms plus the
  // reader's 50 ms gathering would then count as none.
  m_timerHandshake.setTimerType(Qt::PreciseTimer);
  m_timerDots.setInterval(1000);
  connect(&m_timerHandshake, &QTimer::timeout, this, &CMainFrame::OnTimerHandshake);
  connect(&m_timerDots, &QTimer::timeout, this, &CMainFrame::OnTimerDots);

  m_modeHost = std::make_unique<CFrameModeHost>(*this);
  m_modes = std::make_unique<ModeController>(m_nCurMod, m_nPrevMod, m_Profile, *m_modeHost);
  m_undo = std::make_unique<CUndo>(*this);
  m_RsCom.SetLostHandler([this] { OnComLost(); });
  m_DeviceLink.SetTrafficHook(&m_traffic);
  m_NetLink.SetLostHandler([this] { OnNetLost(); });
  // The status pane tells of a send that failed.
  auto sendFailed = [this] {
    if (m_linkStatus != nullptr) m_linkStatus->SendFailed();
  };
  m_RsCom.SetWriteFailedHandler(sendFailed);
  m_NetLink.SetSendFailedHandler(sendFailed);
}

CMainFrame::~CMainFrame() {
  Shutdown(false);
  // The monitor reads m_traffic, which is gone before QMainWindow deletes its children.
  delete m_wndTrafficBar;
  m_wndTrafficBar = nullptr;
  m_trafficMonitor = nullptr;
  // Its event filters ask the frame for its layout area: gone before the
  // frame stops being one.
  delete m_placement;
  m_placement = nullptr;
}

bool CMainFrame::OnCreate() {
  CreateMenus();
  CreateUndoItems();
  CreateContextMenu();
  m_layoutArea = new CLayoutArea(this);
  m_windows.Attach(m_layoutArea);
  setCentralWidget(m_layoutArea);

  // Centred on the desktop.
  if (QScreen* screen = QGuiApplication::primaryScreen()) {
    const QRect avail = screen->availableGeometry();
    move(avail.center() - QPoint(kWidth / 2, kHeight / 2));
  }
  if (!CreateToolBars() || !CreateStatusBar() || !CreateDockingBars()) return false;
  CreateBarItems();
  CreateTrafficMonitor();
  // The Tools menu in its order: the monitor, snapping, then the link helpers.
  ToolsMenu()->addAction(m_placement->SnapAction());
  m_linkStatus = new CLinkStatus(*this);

  // The reply event is the device link's process-wide one.
  m_pReplyEvent = &g_hReplyEvent;
  g_hReplyEvent.Reset();

  // The start-up profile; when it cannot be read every record is reset. One
  // that is there but unreadable is kept as "default.cfg.broken" (or, failing
  // that, never overwritten) and the operator is told.
  const std::string startup = StartupProfilePath();
  ProfileError profileErr;
  StartupNote note;
  if (!LoadStartupProfile(m_Profile, startup, &profileErr, &note) && note.unreadable) {
    const std::string kept = note.copyPath.empty()
                                 ? "no copy could be kept (" + note.copyError + "), so it is not overwritten"
                                 : "a copy is kept as " + note.copyPath;
    std::fprintf(stderr, "panora: the stored profile %s could not be read (%s); %s\n", startup.c_str(),
                 profileErr.message.c_str(), kept.c_str());
    AddInfo(QStringLiteral("Stored profile unreadable: factory set-up in use"));
  }
  m_bProfileLoaded = true;
  m_profileFiles->AfterStartup();
  UpdateToolButtonTips();
  m_placement->WatchSettings(m_dlgMainSet);
  return true;
}

QMenu* CMainFrame::ToolsMenu() {
  if (m_toolsMenu != nullptr) return m_toolsMenu;
  m_toolsMenu = new QMenu(QStringLiteral("&Tools"), this);
  m_toolsMenu->setObjectName(QStringLiteral("toolsMenu"));
  // Right after "View", before "Help".
  const QList<QAction*> top = menuBar()->actions();
  const qsizetype view = m_viewMenu != nullptr ? top.indexOf(m_viewMenu->menuAction()) : -1;
  menuBar()->insertMenu(view >= 0 && view + 1 < top.size() ? top[view + 1] : nullptr, m_toolsMenu);
  return m_toolsMenu;
}

QAction* CMainFrame::AddCommand(QMenu* menu, int id, const QString& text, void (CMainFrame::*handler)()) {
  auto* a = menu->addAction(text);
  a->setObjectName(QString::number(id));
  connect(a, &QAction::triggered, this, handler);
  m_actions[id] = a;
  return a;
}

void CMainFrame::CreateMenus() {
  QMenu* file = menuBar()->addMenu(QStringLiteral("&File"));
  AddCommand(file, ID_FILE_OPEN, QStringLiteral("Open"), &CMainFrame::OnOpen);
  AddCommand(file, ID_FILE_SAVE, QStringLiteral("Save"), &CMainFrame::OnSave);
  AddCommand(file, ID_FILE_SAVE_AS, QStringLiteral("Save as"), &CMainFrame::OnSaveAs);
  m_profileFiles = new CProfileFiles(*this, file);

  QMenu* conn = menuBar()->addMenu(QStringLiteral("&Connection"));
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
    auto handler = it.handler;
    // The check marks follow the connection, not the click.
    connect(a, &QAction::triggered, this, [this, a, id, handler] {
      a->setChecked(m_checks[id]);
      (this->*handler)();
    });
  }

  m_viewMenu = menuBar()->addMenu(QStringLiteral("&View"));
  AddCommand(m_viewMenu, ID_LOAD_MODE, QStringLiteral("Load Mode"), &CMainFrame::OnLoadMode);
  AddCommand(m_viewMenu, ID_SAVE_MODE, QStringLiteral("Save Mode"), &CMainFrame::OnSaveMode);
  AddCommand(m_viewMenu, ID_MODE_SETTING, QStringLiteral("Mode Setting"), &CMainFrame::OnModeSetting);
  AddCommand(m_viewMenu, ID_WINDOW_ADJUST, QStringLiteral("Window Adjustment"), &CMainFrame::OnWindowAdjust);
  AddCommand(m_viewMenu, ID_FACTORY_RESET, QStringLiteral("Factory Reset"), &CMainFrame::OnFactoryReset);
  connect(m_viewMenu, &QMenu::aboutToShow, this, &CMainFrame::UpdateModeMenuItems);

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
    auto* a = new QAction(QString::fromLatin1(it.text), this);
    a->setObjectName(QString::number(it.id));
    a->setShortcut(it.keys);
    connect(a, &QAction::triggered, this, it.handler);
    addAction(a);
    m_actions[it.id] = a;
  }

  QMenu* help = menuBar()->addMenu(QStringLiteral("&Help"));
  AddCommand(help, ID_ABOUT_SOFT, QStringLiteral("About Soft Version"), &CMainFrame::OnAboutSoft);
  AddCommand(help, ID_ABOUT_FIRMWARE, QStringLiteral("About Firmware Version"),
             &CMainFrame::OnFirmwareVersion);
}

QMenu* CMainFrame::EditMenu() {
  if (m_editMenu != nullptr) return m_editMenu;
  m_editMenu = new QMenu(QStringLiteral("&Edit"), this);
  // Between "File" and "Connection": before the second menu of the bar.
  const QList<QAction*> menus = menuBar()->actions();
  if (menus.size() > 1)
    menuBar()->insertMenu(menus[1], m_editMenu);
  else
    menuBar()->addMenu(m_editMenu);
  return m_editMenu;
}

void CMainFrame::CreateUndoItems() {
  QAction* undo = AddCommand(EditMenu(), ID_EDIT_UNDO, QStringLiteral("Undo"), &CMainFrame::OnEditUndo);
  undo->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Z));
  QAction* redo = AddCommand(EditMenu(), ID_EDIT_REDO, QStringLiteral("Redo"), &CMainFrame::OnEditRedo);
  redo->setShortcuts({QKeySequence(Qt::CTRL | Qt::Key_Y), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z)});
  m_undo->SetActions(undo, redo);
}

void CMainFrame::OnEditUndo() {
  m_undo->Undo();
}

void CMainFrame::OnEditRedo() {
  m_undo->Redo();
}

void CMainFrame::RecordStep(int setId, int target) {
  m_undo->PanelSet(setId, target);
}

void CMainFrame::NoteShown(int setId, int target) {
  m_undo->PanelShown(setId, target);
}

void CMainFrame::CreateContextMenu() {
  m_ctxMenu = new QMenu(this);
  m_ctxMenu->setObjectName(QStringLiteral("130"));
  struct Item {
    int id;
    const char* text;
    void (CMainFrame::*handler)();
  };
  const Item items[] = {{ID_LOAD_MODE_CTX, "Load mode", &CMainFrame::OnLoadMode},
                        {ID_SAVE_MODE_CTX, "Save mode", &CMainFrame::OnSaveMode},
                        {ID_MODE_SETTING_CTX, "Mode Setting", &CMainFrame::OnModeSetting},
                        {ID_WINDOW_ADJUST_CTX, "Window adjustment", &CMainFrame::OnWindowAdjust}};
  for (const Item& it : items) {
    auto* a = m_ctxMenu->addAction(QString::fromLatin1(it.text));
    a->setObjectName(QString::number(it.id));
    connect(a, &QAction::triggered, this, it.handler);
    m_ctxActions[it.id] = a;
  }
}

bool CMainFrame::CreateToolBars() {
  m_wndModeToolBar = new CTrueColorToolBar(QStringLiteral("Modes"), this);
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
    connect(a, &QAction::triggered, this, [this, i] { OnQuickMode(i); });
    m_actions[ID_QUICK_MODE_FIRST + i] = a;
  }
  m_wndModeToolBar->SetTrueColorImages(QStringLiteral(":/res/mode_toolbar.png"),
                                       QStringLiteral(":/res/mode_toolbar_hot.png"),
                                       QStringLiteral(":/res/mode_toolbar_hot.png"));

  m_wndWindowToolBar = new CTrueColorToolBar(QStringLiteral("Windows"), this);
  m_wndWindowToolBar->setObjectName(QStringLiteral("144"));
  for (int i = 0; i < 4; ++i) {
    const QString text = QStringLiteral("CH%1").arg(i + 1);
    QAction* a = m_wndWindowToolBar->addAction(text);
    a->setObjectName(QString::number(ID_WINDOW_FIRST + i));
    a->setToolTip(text);
    a->setStatusTip(text);
    connect(a, &QAction::triggered, this, [this, i] { OnWindowButton(i); });
    m_actions[ID_WINDOW_FIRST + i] = a;
  }
  m_wndWindowToolBar->SetTrueColorImages(QStringLiteral(":/res/window_toolbar.png"),
                                         QStringLiteral(":/res/window_toolbar_hot.png"),
                                         QStringLiteral(":/res/window_toolbar_hot.png"));

  m_wndToolButtonBar = new CTrueColorToolBar(QStringLiteral("Tool buttons"), this);
  m_wndToolButtonBar->setObjectName(QStringLiteral("162"));
  for (int i = 0; i < 8; ++i) {
    QAction* a = m_wndToolButtonBar->addAction(QString::number(i + 1));
    a->setObjectName(QString::number(ID_TOOL_FIRST + i));
    connect(a, &QAction::triggered, this, [this, i] { OnToolButton(i); });
    m_actions[ID_TOOL_FIRST + i] = a;
  }
  m_wndToolButtonBar->SetTrueColorImages(QStringLiteral(":/res/tool_toolbar.png"),
                                         QStringLiteral(":/res/tool_toolbar_hot.png"),
                                         QStringLiteral(":/res/tool_toolbar_hot.png"));

  // One row, side by side, fixed in place.
  for (CTrueColorToolBar* bar : {m_wndModeToolBar, m_wndWindowToolBar, m_wndToolButtonBar}) {
    addToolBar(Qt::TopToolBarArea, bar);
    bar->Fix();
  }
  return true;
}

void CMainFrame::UpdateToolButtonTips() {
  for (int i = 0; i < 8; ++i) {
    QAction* a = Action(ID_TOOL_FIRST + i);
    if (a == nullptr) continue;
    const int mode = m_Profile.m_nToolMode[i];
    QString tip = QStringLiteral("Tool button %1: ").arg(i + 1);
    if (IsValidMode(mode)) {
      const ModeInfo* info = FindMode(mode);
      tip += QStringLiteral("%1 %2 (%3)")
                 .arg(QString::fromLatin1(info->groupName))
                 .arg(info->variant)
                 .arg(QString::fromStdString(m_Profile.ModeName(mode)));
    } else {
      tip += QStringLiteral("no mode assigned");
    }
    a->setToolTip(tip);
    a->setStatusTip(tip);
  }
}

bool CMainFrame::CreateStatusBar() {
  QStatusBar* bar = statusBar();
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
  m_modeStatus = new CModeStatus(m_nCurMod, m_Profile, bar, std::move(quick), std::move(tools), this);
  m_placement = new CPlacementStatus(*this, bar);
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
  m_keyLocks = new CKeyLockWatcher([this](const KeyLockState& s) { UpdateKeyLocks(s); }, this);
  return true;
}

void CMainFrame::UpdateKeyLocks(const KeyLockState& s) {
  m_lblCaps->setEnabled(s.caps);
  m_lblNum->setEnabled(s.num);
  m_lblScroll->setEnabled(s.scroll);
}

bool CMainFrame::CreateDockingBars() {
  m_wndPanelBar = new CCoolBar(QString::fromUtf8("我的控制条"), QSize(230, 200), 123, this);
  m_wndPanelBar->setAccessibleName(QStringLiteral("Control panels"));
  m_wndSettingsBar = new CCoolBar(QString::fromUtf8("我的控制条2"), QSize(1120, 180), 124, this);
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
  auto* testPage = new CDlgTestPage(*this);
  m_dlgFullSet = new CDlgFullSet(*this);
  auto* borderSet = new CDlgBorderSet(*this);
  QWidget* made[] = {testPage, m_dlgFullSet, borderSet};
  for (int i = 0; i < 3; ++i) {
    const Page& p = pages[i];
    QWidget* page = made[i];
    page->setObjectName(QString::fromLatin1(p.cls));
    m_wndTabCtrl->InsertWindowPage(page, QIcon(QString::fromLatin1(p.icon)), QString::fromLatin1(p.name));
  }
  m_wndTabCtrl->FinishPages();
  m_wndPanelBar->setWidget(m_wndTabCtrl);
  // Tab pages 0 and 2 follow mode changes in tab order; the bezel answer
  // fills page 2.
  SetModeRefresh(0, testPage);
  SetModeRefresh(2, borderSet);
  SetShowBezel([borderSet](int h, int v) { borderSet->ShowBezel(h, v); });

  m_dlgMainSet = new CDlgMainSet(*this, m_wndSettingsBar);
  m_wndSettingsBar->setWidget(m_dlgMainSet);
  m_undo->AttachPanels(m_dlgMainSet, testPage);
  m_undo->AttachPages(m_dlgFullSet, borderSet);
  ConnectModeApplication();

  // The bottom bar runs the full width, the left bar stands between the
  // toolbars and it.
  setCorner(Qt::BottomLeftCorner, Qt::BottomDockWidgetArea);
  setCorner(Qt::BottomRightCorner, Qt::BottomDockWidgetArea);
  addDockWidget(Qt::LeftDockWidgetArea, m_wndPanelBar);
  addDockWidget(Qt::BottomDockWidgetArea, m_wndSettingsBar);
  resizeDocks({m_wndPanelBar}, {m_wndPanelBar->DefaultSize().width()}, Qt::Horizontal);
  resizeDocks({m_wndSettingsBar}, {m_wndSettingsBar->DefaultSize().height()}, Qt::Vertical);
  return true;
}

void CMainFrame::CreateBarItems() {
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

void CMainFrame::CreateTrafficMonitor() {
  m_wndTrafficBar = new CCoolBar(QStringLiteral("Traffic Monitor"), QSize(760, 260), 125, this);
  m_wndTrafficBar->setObjectName(QStringLiteral("TrafficBar"));
  m_wndTrafficBar->setAccessibleName(QStringLiteral("Traffic Monitor"));
  m_trafficMonitor = new CTrafficMonitor(m_traffic, m_handOver, m_wndTrafficBar);
  m_wndTrafficBar->setWidget(m_trafficMonitor);
  // Floating at first: a docked bar would narrow the layout area, and with
  // it the output pixels a drag sends, only because somebody looks.
  addDockWidget(Qt::RightDockWidgetArea, m_wndTrafficBar);
  m_wndTrafficBar->setFloating(true);
  m_wndTrafficBar->resize(m_wndTrafficBar->DefaultSize());
  m_wndTrafficBar->hide();
  QAction* toggle = m_wndTrafficBar->toggleViewAction();
  toggle->setText(QStringLiteral("Traffic Monitor"));
  toggle->setShortcut(QKeySequence(Qt::Key_F12));
  toggle->setShortcutContext(Qt::ApplicationShortcut);
  connect(toggle, &QAction::triggered, this, [this](bool on) {
    // Over the lower right of the window the first time it floats into view.
    if (on && m_wndTrafficBar->isFloating() && !m_bTrafficPlaced) {
      m_bTrafficPlaced = true;
      const QRect r = geometry();
      m_wndTrafficBar->move(r.right() - m_wndTrafficBar->width() - 20,
                            r.bottom() - m_wndTrafficBar->height() - 40);
    }
  });
  ToolsMenu()->addAction(toggle);
}

void CMainFrame::OpenChannelWindows() {
  for (int i = 0; i < 4; ++i)  // CH1..CH4, in this order
    if (CChildFrame* frame = m_windows.OpenChannelWindow(); frame != nullptr && m_placement != nullptr)
      m_placement->WatchFrame(frame);
  // Lay the bars out now, so that the central area has its final place.
  if (layout() != nullptr) layout()->activate();
  m_windows.UpdateLayoutRect();
}

// ---- the mode application ---------------------------------------------------

void CMainFrame::ConnectModeApplication() {
  SetModeRefresh(1, m_dlgFullSet);
  SetModeRefresh(3, m_dlgMainSet);
  m_dlgMainSet->SetRefreshOutput([this] { m_windows.RefreshOutput(); });
  m_dlgMainSet->SetShowInputs([this](const std::array<int, 4>& inputs) {
    for (int ch = 0; ch < 4; ++ch)
      if (CChildFrame* frame = ChannelFrame(ch)) {
        frame->View()->m_nInput = inputs[ch];
        frame->View()->update();
      }
  });
}

void CMainFrame::SetModeRefresh(int place, ModeRefresh* panel) {
  if (place >= 0 && place < kModeRefreshPlaces) m_modeRefresh[place] = panel;
}

void CMainFrame::ApplyMode(int mode) {
  // An arrow-key burst not sent yet moved a window the mode now places:
  // sent later, it would undo the mode's geometry in the processor.
  if (m_placement != nullptr) m_placement->DropBurst();
  m_windows.ArrangeChannels(mode, m_Profile.m_DataPrm);
  RefreshPanels(mode);
  // Every recall, Open and factory reset come here: the steps before it
  // belong to another arrangement.
  m_undo->Reset();
}

void CMainFrame::RefreshPanels(int mode) {
  ModeRefreshContext c;
  c.mode = mode;
  c.currentMode = m_nCurMod;
  CDataPrm slot;
  if (IsUserMode(mode)) {
    slot = m_Profile.m_DataPrm[SlotOfMode(mode)].Sanitized();
    c.slot = &slot;
  }
  for (int ch = 0; ch < 4; ++ch) {
    CChildFrame* frame = ChannelFrame(ch);
    c.inputs[ch] = frame != nullptr ? frame->View()->m_nInput : ch;
  }
  RunModeRefresh(m_modeRefresh, c);
}

// ---- what the channel windows ask ------------------------------------------

int CMainFrame::OutputResolutionIndex(int channel) {
  return MainSet().GetOutputResolution(channel);
}

void CMainFrame::SendGeometryFrame(int channel, const std::array<std::uint8_t, 8>& payload) {
  if (!TransportOpen()) return;
  if (RefuseWhileSending()) return;
  SendCommand(cmd::kSetGeometry, static_cast<std::uint8_t>(channel), payload.data(),
              static_cast<int>(payload.size()));
}

void CMainFrame::SendGeometryBatch(const std::uint8_t* frames, int frameSize, int count) {
  if (!TransportOpen()) return;
  StartBatch(kJobGeometry, frames, frameSize, count);
}

void CMainFrame::WindowChanged(int channel, bool sized) {
  m_undo->WindowChanged(channel, sized);
}

void CMainFrame::CurrentWindowChanged() {
  if (m_placement != nullptr) m_placement->Refresh();
}

bool CMainFrame::SnapToEdges() const {
  return m_placement != nullptr && m_placement->Snap();
}

void CMainFrame::RefuseStretching() {
  MessageBox(this, QStringLiteral("Sorry, stretching function is unavailable in this mode"));
}

CDataPrm& CMainFrame::WorkingRecord() {
  return m_Profile.m_DataPrm[kWorkingSlot];
}

bool CMainFrame::StartBatch(int job, const std::uint8_t* frames, int frameSize, int count) {
  if (RefuseWhileSending()) return false;
  if (frameSize <= 0 || count <= 0 || frameSize * count > kTxBufSize) return false;
  // The worker copies the batch out of the buffer before it starts.
  std::memcpy(g_TxBuf, frames, static_cast<std::size_t>(frameSize * count));
  m_nJobType = job;
  StartSendWorker();
  return true;
}

int CMainFrame::Message(const std::string& text, int type) {
  return MessageBox(this, QString::fromStdString(text), type);
}

bool CMainFrame::RefuseWhileSending() {
  if (m_bSending.load() != 1) return false;
  MessageBox(this, QStringLiteral("please wait second, sending data have not finished"));
  return true;
}

void CMainFrame::UpdateModeMenuItems() {
  m_actions[ID_SAVE_MODE]->setEnabled(CanSaveMode(m_nCurMod));
  m_actions[ID_WINDOW_ADJUST]->setEnabled(CanAdjustWindows(m_nCurMod));
  if (m_modeStatus != nullptr) m_modeStatus->Update();
  if (m_placement != nullptr) m_placement->Refresh();
}

void CMainFrame::contextMenuEvent(QContextMenuEvent* event) {
  event->accept();
  if (event->reason() == QContextMenuEvent::Keyboard) {
    // The menu key: at the layout area's top-left corner plus (5, 5).
    ShowContextMenu(mapToGlobal(m_rcLayout.topLeft() + QPoint(5, 5)));
    return;
  }
  if (!m_rcLayout.contains(mapFromGlobal(event->globalPos()))) return;
  ShowContextMenu(event->globalPos());
}

void CMainFrame::ShowContextMenu(const QPoint& globalPos) {
  m_ctxActions[ID_SAVE_MODE_CTX]->setEnabled(CanSaveMode(m_nCurMod));
  m_ctxActions[ID_WINDOW_ADJUST_CTX]->setEnabled(CanAdjustWindows(m_nCurMod));
  m_ctxMenu->popup(globalPos);
}

QAction* CMainFrame::Action(int id) const {
  auto it = m_actions.find(id);
  return it != m_actions.end() ? it->second : nullptr;
}

QAction* CMainFrame::ContextAction(int id) const {
  auto it = m_ctxActions.find(id);
  return it != m_ctxActions.end() ? it->second : nullptr;
}

void CMainFrame::SetConnectionCheck(int id, bool on) {
  m_checks[id] = on;
  if (QAction* a = Action(id)) a->setChecked(on);
}
void CMainFrame::SetCheckRs232(bool on) {
  SetConnectionCheck(ID_CONN_RS232, on);
}
void CMainFrame::SetCheckUsb(bool on) {
  SetConnectionCheck(ID_CONN_USB, on);
}
void CMainFrame::SetCheckTcpIp(bool on) {
  SetConnectionCheck(ID_CONN_TCPIP, on);
}
void CMainFrame::ClearConnectionChecks() {
  SetCheckRs232(false);
  SetCheckUsb(false);
  SetCheckTcpIp(false);
}

void CMainFrame::AddInfo(const QString& text) {
  m_dlgMainSet->AddInfo(text);
}
void CMainFrame::ShowInfo(const QString& text) {
  m_dlgMainSet->ShowInfo(text);
}

// ---- the hand-over seam -------------------------------------------------

bool CMainFrame::SendDeviceData(const std::uint8_t* data, int length, const std::atomic<bool>* cancel) {
  // A copy: the reader reuses its buffer as soon as this returns.
  std::vector<std::uint8_t> bytes(data, data + (length > 0 ? length : 0));
  return m_handOver.Send([this, bytes] { OnDeviceData(bytes.data(), static_cast<int>(bytes.size())); },
                         cancel);
}
void CMainFrame::PostBatchDone(int job) {
  m_handOver.Post([this, job] { OnBatchDone(job); });
}
bool CMainFrame::SendPositionAnswer(const std::atomic<bool>* cancel) {
  return m_handOver.Send([this] { OnPositionAnswer(); }, cancel);
}
bool CMainFrame::SendNetResult(int result, const std::atomic<bool>* cancel) {
  return m_handOver.Send([this, result] { OnNetResult(result); }, cancel);
}
bool CMainFrame::SendReplyTimeout(const std::atomic<bool>* cancel) {
  return m_handOver.Send([] {}, cancel);  // accepted and ignored
}
void CMainFrame::PostRedraw() {
  m_handOver.Post([this] { OnRedraw(); });
}

void CMainFrame::ShowMessage(const char* text) {
  MessageBox(this, QString::fromLatin1(text));
}

// ---- the processor's answers ---------------------------------------------

void CMainFrame::OnDeviceData(const std::uint8_t* data, int length) {
  // Wakes the worker, copies the block to g_RxBuf and reads it as the answer
  // to the command noted last.
  const ReplyAction a = m_DeviceLink.TakeReply(data, length);
  if (m_linkStatus != nullptr) m_linkStatus->BlockReceived();
  switch (a.kind) {
    case ReplyKind::Position:
      m_nPosX = a.posX;
      m_nPosY = a.posY;
      m_nPosW = a.posW;
      m_nPosH = a.posH;
      OnPositionAnswer();  // opens the dialog before this handler goes on
      break;
    case ReplyKind::PositionFailed: OnPositionAnswer(); break;  // status 3: no dialog
    case ReplyKind::Bezel:
      if (m_wndTabCtrl != nullptr && m_wndTabCtrl->PageWindow(2) != nullptr && m_fnShowBezel)
        m_fnShowBezel(ShownBezel(a.bezelH), ShownBezel(a.bezelV));
      break;
    case ReplyKind::Handshake:
      m_timerHandshake.stop();
      if (!a.handshakeOk) {
        m_nReplyStatus = kReplyAnswered;
        m_nConnKind = 0;
        ClearConnectionChecks();
        AddInfo(QStringLiteral("Connection error!"));  // the port stays open
        if (m_linkStatus != nullptr) m_linkStatus->HandshakeAnswered(false);
      } else if (m_nConnKind == 1 || m_nConnKind == 2) {
        m_nReplyStatus = kReplyAnswered;
        SetCheckRs232(m_nConnKind == 1);
        SetCheckUsb(m_nConnKind == 2);
        SetCheckTcpIp(false);
        AddInfo(QStringLiteral("Connection Success!"));
        if (m_linkStatus != nullptr) m_linkStatus->HandshakeAnswered(true);
      }
      break;
    case ReplyKind::Version:
      // The keepalive's own query stays out of the list.
      if (m_linkStatus == nullptr || !m_linkStatus->TakeKeepaliveAnswer())
        AddInfo(QString::fromStdString(a.VersionText()));
      break;
    case ReplyKind::None: break;
  }
  m_DeviceLink.EndReply();
}

void CMainFrame::OnBatchDone(int job) {
  // The panel that started the batch gives its button back.
  if (m_dlgMainSet != nullptr) m_dlgMainSet->OnBatchDone(job);
  m_nJobType = 0;
}

void CMainFrame::OnPositionAnswer() {
  if (m_nReplyStatus != kReplyAnswered) return;
  PositionRequest r;
  r.channel = m_nCurpod;
  r.x = m_nPosX;
  r.y = m_nPosY;
  r.w = m_nPosW;
  r.h = m_nPosH;
  r.right = m_nPosX + m_nPosW;
  r.bottom = m_nPosY + m_nPosH;
  if (m_fnPositionDialog)
    m_fnPositionDialog(r);
  else
    OpenPositionDialog(r);
}

void CMainFrame::OpenPositionDialog(const PositionRequest& r) {
  CDlgPostSet dlg(*this, this);
  dlg.Open(r.channel, r.x, r.y, r.w, r.h);
  Dialogs().Exec(dlg);  // its result is not used: every nudge was sent already
  // The whole run is one step: undo puts back the window it opened with.
  m_undo->PositionSession(r.channel, {r.x, r.y, r.w, r.h}, {dlg.m_nX, dlg.m_nY, dlg.m_nW, dlg.m_nH});
}

// ---- connecting ----------------------------------------------------------

void CMainFrame::CloseTransports() {
  if (m_RsCom.IsOpen()) m_RsCom.ClosePort();
  // Also abandons a connect in progress, so that nothing waits for a
  // system time-out; its result, when it still comes, is stale.
  m_NetLink.Close();
  ++m_nNetAttempt;
  // Nothing is connected now; the procedure tells what it opens next.
  if (m_linkStatus != nullptr) m_linkStatus->NotConnected();
}

void CMainFrame::SendHandshake() {
  m_timerHandshake.stop();
  m_timerHandshake.start(1000);
  m_DeviceLink.SendCommand(cmd::kHandshake, 0);
}

void CMainFrame::OnRs232() {
  CDlgCom dlg(m_RsCom.IsOpen() ? m_RsCom.PortName() : std::string(), this);
  if (Dialogs().Exec(dlg) != kIdOk) return;
  ConnectSerial(dlg.m_strCom);
}

void CMainFrame::ConnectSerial(const std::string& device) {
  // An earlier handshake still awaited must not time out over this attempt
  // (a message box below runs a nested event loop).
  m_timerHandshake.stop();
  CloseTransports();
  m_nConnKind = 1;
  if (device.empty() || !m_RsCom.OpenPort(device, &m_handOver)) {
    // After the port's own "Can not Open COM" when opening failed. Whatever
    // was connected has just been closed, so no mark may stay.
    MessageBox(this, QStringLiteral("can not open com"));
    m_nConnKind = 0;
    ClearConnectionChecks();
    return;
  }
  if (m_linkStatus != nullptr) m_linkStatus->SerialOpened(1, m_RsCom.PortName());
  SendHandshake();
}

void CMainFrame::OnUsb() {
  m_timerHandshake.stop();  // as for RS232: no stale handshake time-out
  CloseTransports();
  m_nConnKind = 2;
  const std::optional<std::vector<std::string>> ports = ListUsbSerialPorts();
  if (!ports) {
    m_nConnKind = 0;
    ClearConnectionChecks();
    MessageBox(this, QStringLiteral("can't Find USB"));
    return;
  }
  // The first that opens wins; one that does not shows the port's own message.
  for (const std::string& port : *ports) {
    if (m_RsCom.OpenPort(port, &m_handOver)) {
      if (m_linkStatus != nullptr) m_linkStatus->SerialOpened(2, m_RsCom.PortName());
      SendHandshake();
      return;
    }
  }
  m_nConnKind = 0;
  ClearConnectionChecks();
  MessageBox(this, QStringLiteral("can't open USB"));
}

void CMainFrame::OnTcpIp() {
  CDlgNet dlg(NetSettingsPath(), this);
  if (Dialogs().Exec(dlg) != kIdOk) return;
  ConnectNet(dlg.m_strIP, dlg.m_strPort);
}

void CMainFrame::ConnectNet(const std::string& address, const std::string& port) {
  m_NetLink.SetNetAddress(address, port);
  ClearConnectionChecks();
  // The handshake of a serial port closed here is no longer awaited.
  m_timerHandshake.stop();
  CloseTransports();
  m_nConnKind = 3;
  m_nDots = 0;
  m_timerDots.start(1000);
  if (m_linkStatus != nullptr) m_linkStatus->NetConnecting(address, port);
  const int attempt = m_nNetAttempt;
  m_nNetPendingAttempt = attempt;
  m_NetLink.StartConnector(&m_handOver, [this, attempt](int result) { OnNetResultOf(attempt, result); });
}

void CMainFrame::OnNetResultOf(int attempt, int result) {
  if (attempt == m_nNetAttempt) {
    OnNetResult(result);
    return;
  }
  // An attempt abandoned by "Disconnect" or a newer connect procedure: the
  // connection chosen since then keeps its kind and check mark. Only the
  // animation that belonged to this attempt ends.
  if (m_nNetPendingAttempt == attempt) {
    m_nNetPendingAttempt = 0;
    m_timerDots.stop();
  }
}

void CMainFrame::OnNetResult(int result) {
  m_nNetPendingAttempt = 0;
  m_timerDots.stop();
  m_nConnKind = result == 1 ? 3 : 0;
  SetCheckRs232(false);
  SetCheckUsb(false);
  SetCheckTcpIp(result == 1);
  AddInfo(result == 1 ? QStringLiteral("Connect NET success!") : QStringLiteral("Connect NET fail!"));
  if (m_linkStatus != nullptr) m_linkStatus->NetResult(result == 1);
}

void CMainFrame::OnDisconnect() {
  // Whatever is open is closed, also a port whose handshake was refused, and
  // a connect in progress is abandoned.
  CloseTransports();
  m_nConnKind = 0;
  ClearConnectionChecks();
  ShowInfo(QStringLiteral("Disconnect!"));
  // Timer 4 keeps running: a handshake still awaited ends with its message.
}

void CMainFrame::OnTimerHandshake() {
  m_timerHandshake.stop();
  if (m_RsCom.IsOpen()) m_RsCom.ClosePort();
  m_nConnKind = 0;
  m_nReplyStatus = kReplyAnswered;
  // A port the reconnect loop reopened: nobody waits for a box, the loop goes on.
  if (m_linkStatus != nullptr && m_linkStatus->ReconnectHandshakeTimedOut()) return;
  if (m_linkStatus != nullptr) m_linkStatus->NotConnected();
  ClearConnectionChecks();
  MessageBox(this, QStringLiteral("Connect Unsuccess,Please check it"));
}

void CMainFrame::OnComLost() {
  // The device went away under the open port (an adapter unplugged): a
  // check mark would claim a connection that no frame can reach.
  if (!m_RsCom.IsOpen()) return;
  m_RsCom.ClosePort();
  m_timerHandshake.stop();  // the handshake it waited for cannot come now
  if (m_nConnKind == 1 || m_nConnKind == 2) m_nConnKind = 0;
  SetCheckRs232(false);
  SetCheckUsb(false);
  AddInfo(QStringLiteral("COM port lost"));
  if (m_linkStatus != nullptr) m_linkStatus->SerialLost();
}

void CMainFrame::OnNetLost() {
  if (m_linkStatus != nullptr) m_linkStatus->NetLost();
}

void CMainFrame::OnTimerDots() {
  static const char* const kTexts[] = {"connecting .", "connecting . .", "connecting . . .",
                                       "connecting . . . .", "connecting . . . . ."};
  if (m_nDots < 0 || m_nDots > 4) return;
  ShowInfo(QString::fromLatin1(kTexts[m_nDots]));
  m_nDots = (m_nDots + 1) % 5;
}

void CMainFrame::OnFirmwareVersion() {
  if (m_DeviceLink.TransportOpen()) {
    if (m_linkStatus != nullptr) m_linkStatus->OperatorAskedVersion();
    m_DeviceLink.SendCommand(cmd::kVersion, 0);
    return;
  }
  MessageBox(this, QStringLiteral("Please connect PC to machine"));
}

void CMainFrame::OnRedraw() {}

// ---- profiles from the File menu -------------------------------------------

void CMainFrame::OnOpen() {
  m_profileFiles->OnOpen();
}

void CMainFrame::OnSave() {
  m_profileFiles->OnSave();
}

void CMainFrame::OnSaveAs() {
  m_profileFiles->OnSaveAs();
}

// ---- modes ------------------------------------------------------------------

void CMainFrame::OnLoadMode() {
  CDlgModSet dlg(CDlgModSet::kLoad, m_nCurMod, *m_modes, this);
  if (Dialogs().Exec(dlg) != kIdOk || !dlg.Chosen()) return;
  m_modes->Load(dlg.m_nRetMod);
}

void CMainFrame::OnSaveMode() {
  m_modes->Save();
}

void CMainFrame::OnModeSetting() {
  CDlgModSet dlg(CDlgModSet::kEdit, m_nCurMod, *m_modes, this);
  Dialogs().Exec(dlg);
}

void CMainFrame::OnWindowAdjust() {
  if (!CanAdjustWindows(m_nCurMod)) return;
  // The worker owns the transmit buffer while it runs.
  if (RefuseWhileSending()) return;
  BuildFrame(g_TxBuf, nullptr, 0, cmd::kQueryPosition, static_cast<std::uint8_t>(m_nCurpod));
  NoteCommand(cmd::kQueryPosition, 0);  // the answer is read by command, not channel
  m_nReplyStatus = kReplyPending;
  m_nJobType = kJobPosition;
  StartSendWorker();
}

void CMainFrame::OnFactoryReset() {
  m_modes->FactoryReset();
}

void CMainFrame::OnQuickMode(int index) {
  m_modes->Quick(index);
}

void CMainFrame::OnWindowButton(int index) {
  if (index < 0 || index > 3) return;
  // Nothing may be built into the transmit buffer while a batch goes out.
  if (RefuseWhileSending()) return;
  m_windows.SelectWindow(index);
  const int target = m_modes->WindowButtonTarget(index);
  if (target < 0) {
    m_windows.HighlightWindow(ChannelFrame(index));
    return;
  }
  if (target == m_nCurMod) return;
  m_Profile.ResetWorkingForMode(target);
  ApplyMode(target);
  m_nPrevMod = m_nCurMod;
  m_nCurMod = target;
  UpdateModeMenuItems();
  m_windows.SelectWindow(index);                 // the arrangement may have raised another window
  std::uint8_t bytes[kFrameOverhead];  // a recall frame has no payload
  const CKezCmd frame = BuildModeRecall(target, bytes);
  NoteCommand(frame.Data()[4], frame.Data()[5]);
  SendFrame(frame.Data(), frame.TotalLength());
}

void CMainFrame::OnToolButton(int index) {
  m_modes->Tool(index);
}

// ---- printing the active view ----------------------------------------------

namespace {

// The view's own drawing, scaled to the page with its proportions kept.
void PrintView(CTesselView* view, QPrinter* printer) {
  if (view == nullptr) return;
  QPainter p;
  if (!p.begin(printer)) return;
  const QRect page = p.viewport();
  const QSize size =
      view->size().isEmpty() ? QSize(CChildFrame::kInitialWidth, CChildFrame::kInitialHeight) : view->size();
  const double scale = std::min(static_cast<double>(page.width()) / size.width(),
                                static_cast<double>(page.height()) / size.height());
  p.scale(scale, scale);
  view->Draw(p, size);
  p.end();
}

}  // namespace

CTesselView* CMainFrame::ActiveView() const {
  CChildFrame* frame = m_layoutArea != nullptr ? m_layoutArea->ActiveFrame() : nullptr;
  return frame != nullptr ? frame->View() : nullptr;
}

void CMainFrame::OnFilePrint() {
  CTesselView* view = ActiveView();
  if (view == nullptr) return;
  QPrinter printer;
  QPrintDialog dlg(&printer, this);
  dlg.setObjectName(QStringLiteral("printDialog"));
  if (Dialogs().Exec(dlg) != kIdOk) return;
  PrintView(view, &printer);
}

void CMainFrame::OnFilePrintDirect() {
  CTesselView* view = ActiveView();
  if (view == nullptr) return;
  if (QPrinterInfo::defaultPrinter().isNull()) {
    MessageBox(this, QStringLiteral("No printer is set up on this computer."), kMbOk | kMbIconWarning);
    return;
  }
  QPrinter printer;
  PrintView(view, &printer);
}

void CMainFrame::OnFilePrintPreview() {
  CTesselView* view = ActiveView();
  if (view == nullptr) return;
  QPrinter printer;
  QPrintPreviewDialog dlg(&printer, this);
  dlg.setObjectName(QStringLiteral("printPreview"));
  connect(&dlg, &QPrintPreviewDialog::paintRequested, this, [view](QPrinter* p) { PrintView(view, p); });
  Dialogs().Exec(dlg);
}

void CMainFrame::OnAboutSoft() {
  CAboutDlg dlg(this);
  Dialogs().Exec(dlg);
}

// ---- shut-down -----------------------------------------------------------

bool CMainFrame::SaveProfileNow(bool interactive) {
  ProfileError err;
  const std::string startup = StartupProfilePath();
  m_bSaveFailed = !SaveProfileAtExit(m_Profile, startup, &err);
  if (!m_bSaveFailed) {
    m_profileFiles->ExitSaved();
    return true;
  }
  const std::string path = m_Profile.m_strProfilePath.empty() ? startup : m_Profile.m_strProfilePath;
  std::fprintf(stderr, "panora: the set-up could not be saved to %s: %s\n", path.c_str(),
               err.message.c_str());
  std::fflush(stderr);
  if (interactive && !QCoreApplication::closingDown()) {
    MessageBox(this,
               QStringLiteral("The set-up could not be saved to\n%1\n\n%2")
                   .arg(QString::fromStdString(path), QString::fromStdString(err.message)),
               kMbOk | kMbIconError);
  }
  return false;
}

void CMainFrame::Shutdown(bool interactive) {
  if (m_bShutDown) return;
  m_bShutDown = true;
  // First of all: no worker may stay waiting on this thread while we end.
  m_handOver.Close();
  m_timerHandshake.stop();
  m_timerDots.stop();
  if (m_linkStatus != nullptr) m_linkStatus->Stop();
  if (m_keyLocks) m_keyLocks->Stop();
  // Every thread of the device link ends and is joined: workers first (they
  // write through the transports), then connectors and the receive thread,
  // then the serial reader. None of them waits for a connect time-out.
  m_DeviceLink.Shutdown();
  m_NetLink.Shutdown();
  m_RsCom.ClosePort();
  // A frame that never got as far as loading the start-up profile has no
  // set-up of its own: saving it would overwrite the operator's.
  if (m_bProfileLoaded) SaveProfileNow(interactive);
}

void CMainFrame::changeEvent(QEvent* event) {
  QMainWindow::changeEvent(event);
  // The caption names the profile in use, whatever sets another.
  if (event->type() == QEvent::WindowTitleChange && m_profileFiles != nullptr) m_profileFiles->UpdateCaption();
  // Nor maximised or full screen, whoever asks: the window has one size.
  if (event->type() == QEvent::WindowStateChange &&
      (windowState() & (Qt::WindowMaximized | Qt::WindowFullScreen)) != 0) {
    QTimer::singleShot(0, this, [this] {
      setWindowState(windowState() & ~(Qt::WindowMaximized | Qt::WindowFullScreen));
      resize(kWidth, kHeight);
    });
  }
}

void CMainFrame::closeEvent(QCloseEvent* event) {
  Shutdown(true);
  event->accept();
}

}  // namespace panora
