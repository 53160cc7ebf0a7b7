#include "app/MainFrame.h"

#include <QAction>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGuiApplication>
#include <QLabel>
#include <QLayout>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QScreen>
#include <QStatusBar>
#include <QThread>
#include <cstdio>
#include <optional>
#include <vector>

#include "app/AboutDlg.h"
#include "app/Dialogs.h"
#include "app/DlgCom.h"
#include "app/DlgNet.h"
#include "app/LstInforBox.h"
#include "layout/ChildFrame.h"
#include "layout/LayoutArea.h"
#include "link/Commands.h"
#include "link/SerialPorts.h"
#include "model/ModeTable.h"
#include "model/Paths.h"
#include "panels/CoolTabCtrl.h"
#include "panels/DlgMainSet.h"
#include "ui/Accessible.h"
#include "ui/CoolBar.h"
#include "ui/KeyLocks.h"
#include "ui/TrueColorToolBar.h"

// The built-in pictures live in this static library; they must be registered.
static void InitPanoraResources() {
  Q_INIT_RESOURCE(panora);
}

namespace panora {

void CUiHandOver::Dispatch(std::function<void()> call) {
  QMetaObject::invokeMethod(m_target, std::move(call), Qt::QueuedConnection);
}

bool CUiHandOver::OnUiThread() const {
  return QThread::currentThread() == m_target->thread();
}

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
  m_timerDots.setInterval(1000);
  connect(&m_timerHandshake, &QTimer::timeout, this, &CMainFrame::OnTimerHandshake);
  connect(&m_timerDots, &QTimer::timeout, this, &CMainFrame::OnTimerDots);
  m_RsCom.SetLostHandler([this] { OnComLost(); });
}

CMainFrame::~CMainFrame() {
  Shutdown(false);
}

bool CMainFrame::OnCreate() {
  CreateMenus();
  CreateContextMenu();
  m_layoutArea = new CLayoutArea(this);
  setCentralWidget(m_layoutArea);

  // Centred on the desktop.
  if (QScreen* screen = QGuiApplication::primaryScreen()) {
    const QRect avail = screen->availableGeometry();
    move(avail.center() - QPoint(kWidth / 2, kHeight / 2));
  }
  if (!CreateToolBars() || !CreateStatusBar() || !CreateDockingBars()) return false;

  // The reply event is the device link's process-wide one.
  m_pReplyEvent = &g_hReplyEvent;
  g_hReplyEvent.Reset();

  // The start-up profile; when it cannot be read every record is reset.
  LoadStartupProfile(m_Profile, StartupProfilePath());
  m_bProfileLoaded = true;
  UpdateToolButtonTips();
  return true;
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

  QMenu* help = menuBar()->addMenu(QStringLiteral("&Help"));
  AddCommand(help, ID_ABOUT_SOFT, QStringLiteral("About Soft Version"), &CMainFrame::OnAboutSoft);
  AddCommand(help, ID_ABOUT_FIRMWARE, QStringLiteral("About Firmware Version"),
             &CMainFrame::OnFirmwareVersion);
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
  // Polled, as the lock keys may change while another program has the focus.
  m_timerKeyLocks.setInterval(250);
  connect(&m_timerKeyLocks, &QTimer::timeout, this, &CMainFrame::UpdateKeyLocks);
  m_timerKeyLocks.start();
  UpdateKeyLocks();
  return true;
}

void CMainFrame::UpdateKeyLocks() {
  KeyLockState s;
  if (!QueryKeyLocks(s)) {
    m_timerKeyLocks.stop();  // this platform cannot tell; the indicators stay off
    return;
  }
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
  for (const Page& p : pages) {
    auto* page = new QWidget;
    page->setObjectName(QString::fromLatin1(p.cls));
    m_wndTabCtrl->InsertWindowPage(page, QIcon(QString::fromLatin1(p.icon)), QString::fromLatin1(p.name));
  }
  m_wndTabCtrl->FinishPages();
  m_wndPanelBar->setWidget(m_wndTabCtrl);

  m_dlgMainSet = new CDlgMainSet(m_wndSettingsBar);
  m_wndSettingsBar->setWidget(m_dlgMainSet);

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

CChildFrame* CMainFrame::OpenChannelWindow() {
  return m_layoutArea->CreateChannelWindow();
}

CChildFrame* CMainFrame::ChannelFrame(int channel) const {
  return m_layoutArea->Frame(channel);
}

void CMainFrame::UpdateLayoutRect() {
  // Lay the bars out now, so that the central area has its final place.
  if (layout() != nullptr) layout()->activate();
  const QRect client = centralWidget()->geometry();
  m_rcLayout =
      client.adjusted(CLayoutArea::kEdge, CLayoutArea::kEdge, -CLayoutArea::kEdge, -CLayoutArea::kEdge);
}

void CMainFrame::ApplyMode(int mode) {
  // Arranging the channel windows and refreshing the panels for a mode
  // belongs to the mode application, which is not part of this window yet.
  (void)mode;
}

void CMainFrame::ModeMenuRule(int mode, bool& saveEnabled, bool& adjustEnabled) {
  // The zoom-out modes can do neither, the full modes no window adjustment;
  // every other value, the start-up -1 included, leaves both enabled.
  saveEnabled = !IsZoomOutMode(mode);
  adjustEnabled = !IsZoomOutMode(mode) && !IsFullMode(mode);
}

void CMainFrame::UpdateModeMenuItems() {
  bool save = true, adjust = true;
  ModeMenuRule(m_nCurMod, save, adjust);
  m_actions[ID_SAVE_MODE]->setEnabled(save);
  m_actions[ID_WINDOW_ADJUST]->setEnabled(adjust);
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
  bool save = true, adjust = true;
  ModeMenuRule(m_nCurMod, save, adjust);
  m_ctxActions[ID_SAVE_MODE_CTX]->setEnabled(save);
  m_ctxActions[ID_WINDOW_ADJUST_CTX]->setEnabled(adjust);
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
      } else if (m_nConnKind == 1 || m_nConnKind == 2) {
        m_nReplyStatus = kReplyAnswered;
        SetCheckRs232(m_nConnKind == 1);
        SetCheckUsb(m_nConnKind == 2);
        SetCheckTcpIp(false);
        AddInfo(QStringLiteral("Connection Success!"));
      }
      break;
    case ReplyKind::Version: AddInfo(QString::fromStdString(a.VersionText())); break;
    case ReplyKind::None: break;
  }
  m_DeviceLink.EndReply();
}

void CMainFrame::OnBatchDone(int job) {
  // The overlay "Set" was disabled while its batch went out.
  if (job == kJobOverlay && m_dlgMainSet != nullptr && m_dlgMainSet->m_btnOverlaySet != nullptr)
    m_dlgMainSet->m_btnOverlaySet->setEnabled(true);
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
    OpenPositionDialogStandIn(r);
}

void CMainFrame::OpenPositionDialogStandIn(const PositionRequest& r) {
  QDialog dlg(this);
  dlg.setObjectName(QStringLiteral("176"));
  dlg.setWindowTitle(QStringLiteral("."));
  auto* form = new QFormLayout(&dlg);
  const std::pair<const char*, int> rows[] = {
      {"Channel:", r.channel + 1}, {"Left:", r.x}, {"Right:", r.right}, {"Top:", r.y}, {"Bottom:", r.bottom}};
  for (const auto& row : rows)
    form->addRow(QString::fromLatin1(row.first), new QLabel(QString::number(row.second)));
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok);
  QObject::connect(buttons, &QDialogButtonBox::accepted, &dlg, &QDialog::accept);
  form->addRow(buttons);
  // What it was opened with, for whoever looks at it.
  dlg.setProperty("channel", r.channel);
  dlg.setProperty("posX", r.x);
  dlg.setProperty("posY", r.y);
  dlg.setProperty("posW", r.w);
  dlg.setProperty("posH", r.h);
  dlg.setProperty("right", r.right);
  dlg.setProperty("bottom", r.bottom);
  Dialogs().Exec(dlg);
}

// ---- connecting ----------------------------------------------------------

void CMainFrame::CloseTransports() {
  if (m_RsCom.IsOpen()) m_RsCom.ClosePort();
  // Also abandons a connect in progress, so that nothing waits for a
  // system time-out; its result, when it still comes, is stale.
  m_NetLink.Close();
  ++m_nNetAttempt;
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
    m_DeviceLink.SendCommand(cmd::kVersion, 0);
    return;
  }
  MessageBox(this, QStringLiteral("Please connect PC to machine"));
}

void CMainFrame::OnRedraw() {}

void CMainFrame::OnOpen() {}
void CMainFrame::OnSave() {}
void CMainFrame::OnSaveAs() {}
void CMainFrame::OnLoadMode() {}
void CMainFrame::OnSaveMode() {
  // The menu rule holds however the command is triggered.
  bool save = true, adjust = true;
  ModeMenuRule(m_nCurMod, save, adjust);
  if (!save) return;
}
void CMainFrame::OnModeSetting() {}
void CMainFrame::OnWindowAdjust() {
  bool save = true, adjust = true;
  ModeMenuRule(m_nCurMod, save, adjust);
  if (!adjust) return;
}
void CMainFrame::OnFactoryReset() {}
void CMainFrame::OnQuickMode(int) {}
void CMainFrame::OnWindowButton(int) {}
void CMainFrame::OnToolButton(int) {}

void CMainFrame::OnAboutSoft() {
  CAboutDlg dlg(this);
  Dialogs().Exec(dlg);
}

// ---- shut-down -----------------------------------------------------------

bool CMainFrame::SaveProfileNow(bool interactive) {
  ProfileError err;
  const std::string startup = StartupProfilePath();
  m_bSaveFailed = !SaveProfileAtExit(m_Profile, startup, &err);
  if (!m_bSaveFailed) return true;
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
  m_timerKeyLocks.stop();
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
  // The caption is the program's name, whatever sets another.
  if (event->type() == QEvent::WindowTitleChange && windowTitle() != QLatin1String(kCaption))
    setWindowTitle(QString::fromLatin1(kCaption));
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
