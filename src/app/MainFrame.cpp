#include "app/MainFrame.h"

#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QLayout>
#include <QMenu>
#include <QScreen>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <cstring>

#include "app/Dialogs.h"
#include "app/FrameChrome.h"
#include "app/FrameModeHost.h"
#include "app/LinkStatus.h"
#include "app/PlacementStatus.h"
#include "app/PrintView.h"
#include "app/ProfileFiles.h"
#include "app/RemoteControl.h"
#include "app/SetupSender.h"
#include "app/Undo.h"
#include "app/dialogs/AboutDlg.h"
#include "app/dialogs/DlgModSet.h"
#include "layout/ChildFrame.h"
#include "layout/DlgFullSet.h"
#include "layout/DlgPostSet.h"
#include "layout/LayoutArea.h"
#include "layout/TesselView.h"
#include "link/Commands.h"
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

// The built-in pictures live in this static library; they must be registered.
static void InitPanoraResources() {
  Q_INIT_RESOURCE(panora);
}

namespace panora {

namespace {
// What a panel's Set changed, as the remote control's events name it.
const char* SetName(int setId) {
  switch (setId) {
    case 1009: return "resolution";
    case 1031: return "inputs";
    case 1068: return "layers";
    case 1070: return "display";
    case 1063: return "border";
    default: return "picture";
  }
}
}  // namespace

CMainFrame::CMainFrame(QWidget* parent)
    : QMainWindow(parent),
      m_handOverTarget(std::make_unique<QObject>()),
      m_handOver(m_handOverTarget.get()),
      m_connection(*this, m_handOver, m_traffic,
                   LinkReports{[this](const std::uint8_t* data, int length) { m_replies.OnDeviceData(data, length); },
                               [this](int job) { m_replies.OnBatchDone(job); },
                               [this] { m_replies.OnPositionAnswer(); },
                               {},  // the link pane tells the remote control
                               [this](int sent, int total) {
                                 m_setup->OnProgress(sent, total);
                                 m_remote->SetupProgress(sent, total);
                               },
                               [this](const SetupOutcome& o) { m_setup->OnDone(o); }}) {
  InitPanoraResources();
  InstallAccessibleFactory();
  setObjectName(QStringLiteral("CMainFrame"));
  // No sizing border and no maximise box: the window keeps its size.
  setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
  setFixedSize(kWidth, kHeight);
  setWindowTitle(QStringLiteral("Panora"));
  setWindowIcon(QIcon(QStringLiteral(":/res/panora64.png")));
  setDockOptions(QMainWindow::AnimatedDocks);

  m_modeHost = std::make_unique<CFrameModeHost>(*this);
  m_modes = std::make_unique<ModeController>(m_nCurMod, m_nPrevMod, m_Profile, *m_modeHost);
  m_undo = std::make_unique<CUndo>(*this);
  m_chrome = new CFrameChrome(*this);
  m_setup = new CSetupSender(*this);
  m_remote = new CRemoteControl(*this);
  connect(m_setup, &CSetupSender::Finished, m_remote, &CRemoteControl::SetupResult);
}

CMainFrame::~CMainFrame() {
  Shutdown(false);
  // The monitor reads m_traffic, which is gone before QMainWindow deletes its children.
  delete m_chrome->m_wndTrafficBar;
  m_chrome->m_wndTrafficBar = nullptr;
  m_chrome->m_trafficMonitor = nullptr;
  // Its event filters ask the frame for its layout area: gone before the
  // frame stops being one.
  delete m_chrome->m_placement;
  m_chrome->m_placement = nullptr;
}

bool CMainFrame::OnCreate() {
  m_chrome->CreateMenus();
  m_profileFiles = new CProfileFiles(*this, m_chrome->FileMenu());
  m_layoutArea = new CLayoutArea(this);
  m_windows.Attach(m_layoutArea);
  setCentralWidget(m_layoutArea);

  // Centred on the desktop.
  if (QScreen* screen = QGuiApplication::primaryScreen()) {
    const QRect avail = screen->availableGeometry();
    move(avail.center() - QPoint(kWidth / 2, kHeight / 2));
  }
  if (!m_chrome->CreateBars()) return false;
  WirePanels();
  // The Tools menu in its order: the monitor, snapping, then the link helpers.
  ToolsMenu()->addAction(Placement().SnapAction());
  m_connection.CreateStatus(statusBar(), ToolsMenu());
  m_setup->CreateControls(statusBar(), ToolsMenu());
  m_remote->CreateMenuItem(ToolsMenu());
  LinkStatus()->SetOnChange([this] { m_remote->LinkChanged(); });

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
  Placement().WatchSettings(&MainSet());
  return true;
}

void CMainFrame::WirePanels() {
  // The three tab pages in tab order, then the main settings panel, follow
  // mode changes; the bezel answer fills page 2.
  CFrameChrome& c = *m_chrome;
  SetModeRefresh(0, c.m_dlgTestPage);
  SetModeRefresh(1, c.m_dlgFullSet);
  SetModeRefresh(2, c.m_dlgBorderSet);
  SetModeRefresh(3, c.m_dlgMainSet);
  CDlgBorderSet* bezel = c.m_dlgBorderSet;
  m_replies.SetShowBezel([bezel](int h, int v) { bezel->ShowBezel(h, v); });
  m_undo->AttachPanels(c.m_dlgMainSet, c.m_dlgTestPage);
  m_undo->AttachPages(c.m_dlgFullSet, c.m_dlgBorderSet);
  c.m_dlgMainSet->SetRefreshOutput([this] { m_windows.RefreshOutput(); });
  c.m_dlgMainSet->SetShowInputs([this](const std::array<int, 4>& inputs) {
    for (int ch = 0; ch < 4; ++ch)
      if (CChildFrame* frame = ChannelFrame(ch)) {
        frame->View()->m_nInput = inputs[ch];
        frame->View()->update();
      }
  });
}

void CMainFrame::OpenChannelWindows() {
  for (int i = 0; i < 4; ++i)  // CH1..CH4, in this order
    if (CChildFrame* frame = m_windows.OpenChannelWindow(); frame != nullptr && PlacementReady())
      Placement().WatchFrame(frame);
  // Lay the bars out now, so that the central area has its final place.
  if (layout() != nullptr) layout()->activate();
  m_windows.UpdateLayoutRect();
}

// ---- the mode application ---------------------------------------------------

void CMainFrame::SetModeRefresh(int place, ModeRefresh* panel) {
  if (place >= 0 && place < kModeRefreshPlaces) m_modeRefresh[place] = panel;
}

void CMainFrame::ApplyMode(int mode) {
  // An arrow-key burst not sent yet moved a window the mode now places:
  // sent later, it would undo the mode's geometry in the processor.
  if (PlacementReady()) Placement().DropBurst();
  m_windows.ArrangeChannels(mode, m_Profile.m_DataPrm);
  RefreshPanels(mode);
  m_remote->WindowsChanged();
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

void CMainFrame::UpdateModeMenuItems() {
  m_chrome->UpdateModeMenuItems(m_nCurMod);
  m_remote->ModeChanged();
}

void CMainFrame::UpdateToolButtonTips() {
  m_chrome->UpdateToolButtonTips();
  m_remote->SettingsChanged("names");
}

// ---- what the channel windows ask ------------------------------------------

int CMainFrame::OutputResolutionIndex(int channel) {
  return MainSet().GetOutputResolution(channel);
}

void CMainFrame::SendGeometryFrame(int channel, const std::array<std::uint8_t, 8>& payload) {
  if (!TransportOpen()) {
    // Nothing goes out and nothing is noted, but the change waits, counted.
    Link().CountUnsent(cmd::kSetGeometry, static_cast<std::uint8_t>(channel), payload.data(),
                       static_cast<int>(payload.size()));
    return;
  }
  // Refused while a batch goes out, as the geometry command is; the window
  // stays moved, so the change waits, counted.
  SendCommand(cmd::kSetGeometry, static_cast<std::uint8_t>(channel), payload.data(),
              static_cast<int>(payload.size()), true);
}

void CMainFrame::SendGeometryBatch(const std::uint8_t* frames, int frameSize, int count) {
  if (!TransportOpen()) return;
  StartBatch(kJobGeometry, frames, frameSize, count);
}

void CMainFrame::WindowChanged(int channel, bool sized) {
  m_undo->WindowChanged(channel, sized);
  m_remote->WindowsChanged();
}

void CMainFrame::CurrentWindowChanged() {
  if (PlacementReady()) Placement().Refresh();
}

bool CMainFrame::SnapToEdges() const {
  return PlacementReady() && m_chrome->m_placement->Snap();
}

void CMainFrame::RefuseStretching() {
  MessageBox(this, QStringLiteral("Sorry, stretching function is unavailable in this mode"));
}

// ---- what the panels ask -----------------------------------------------------

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

void CMainFrame::RecordStep(int setId, int target) {
  m_undo->PanelSet(setId, target);
  NotePicture(setId, target);
  m_remote->SettingsChanged(SetName(setId));
  if (setId == 1009) m_remote->WindowsChanged();  // the same windows are other output pixels
}

void CMainFrame::NoteShown(int setId, int target) {
  m_undo->PanelShown(setId, target);
  NotePicture(setId, target);
}

void CMainFrame::NotePicture(int setId, int target) {
  // What Send Set-up sends of the picture: the values as last set (or, for
  // the bezel, answered) in this session.
  const PanelValue v = m_undo->Current(setId, target);
  if (v.count < 1) return;
  SessionPicture& p = m_setup->Picture();
  if (setId == CDlgTestPage::kContrastSetId) p.NoteContrast(target, v.v[0]);
  if (setId == CDlgTestPage::kBrightnessSetId) p.NoteBrightness(target, v.v[0]);
  if (setId == CDlgBorderSet::kSetId && v.count >= 2) p.NoteBezel(std::max(0, v.v[0]), std::max(0, v.v[1]));
}

bool CMainFrame::RefuseWhileSending() {
  if (m_bSending.load() != 1) return false;
  MessageBox(this, QStringLiteral("please wait second, sending data have not finished"));
  return true;
}

// ---- what the connection and the answers ask ----------------------------------

void CMainFrame::AddInfo(const QString& text) {
  MainSet().AddInfo(text);
}

void CMainFrame::ShowInfo(const QString& text) {
  MainSet().ShowInfo(text);
}

void CMainFrame::SetConnectionCheck(int kind, bool on) {
  static constexpr int kIds[] = {ID_CONN_RS232, ID_CONN_USB, ID_CONN_TCPIP};
  if (kind >= 1 && kind <= 3) m_chrome->SetConnectionCheck(kIds[kind - 1], on);
}

void CMainFrame::BatchDone(int job) {
  // The panel that started the batch gives its button back.
  if (m_chrome->m_dlgMainSet != nullptr) m_chrome->m_dlgMainSet->OnBatchDone(job);
}

void CMainFrame::OpenPositionDialog(const PositionRequest& r) {
  CDlgPostSet dlg(*this, this);
  dlg.Open(r.channel, r.x, r.y, r.w, r.h);
  Dialogs().Exec(dlg);  // its result is not used: every nudge was sent already
  // The whole run is one step: undo puts back the window it opened with.
  m_undo->PositionSession(r.channel, {r.x, r.y, r.w, r.h}, {dlg.m_nX, dlg.m_nY, dlg.m_nW, dlg.m_nH});
}

// ---- menu commands -----------------------------------------------------------

void CMainFrame::OnOpen() {
  m_profileFiles->OnOpen();
}

void CMainFrame::OnSave() {
  m_profileFiles->OnSave();
}

void CMainFrame::OnSaveAs() {
  m_profileFiles->OnSaveAs();
}

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
  // The set-up before the reset is kept: Edit > Undo brings it back.
  CUndo::Snapshot before = m_undo->TakeSnapshot();
  if (m_modes->FactoryReset()) m_undo->FactoryResetDone(std::move(before));
}

void CMainFrame::OnSendSetup() {
  m_setup->Send(false);
}

void CMainFrame::OnSendSetupAll() {
  m_setup->Send(true);
}

void CMainFrame::Connected() {
  m_setup->OnConnected();
}

void CMainFrame::KeepWindowsInRecord() {
  WindowPlaces places;
  for (int ch = 0; ch < 4; ++ch) places[static_cast<std::size_t>(ch)] = m_windows.MeasureChannel(ch);
  if (ChannelFrame(0) != nullptr) StorePlaces(m_Profile.m_DataPrm[kWorkingSlot], places);
}

void CMainFrame::OnQuickMode(int index) {
  m_modes->Quick(index);
}

void CMainFrame::OnWindowButton(int index) {
  m_modes->WindowButton(index);
}

void CMainFrame::OnToolButton(int index) {
  m_modes->Tool(index);
}

void CMainFrame::OnEditUndo() {
  m_undo->Undo();
}

void CMainFrame::OnEditRedo() {
  m_undo->Redo();
}

namespace {
CTesselView* ActiveView(CLayoutArea* area) {
  CChildFrame* frame = area != nullptr ? area->ActiveFrame() : nullptr;
  return frame != nullptr ? frame->View() : nullptr;
}
}  // namespace

void CMainFrame::OnFilePrint() {
  PrintWithDialog(this, ActiveView(m_layoutArea));
}

void CMainFrame::OnFilePrintDirect() {
  PrintDirect(this, ActiveView(m_layoutArea));
}

void CMainFrame::OnFilePrintPreview() {
  PrintPreview(this, ActiveView(m_layoutArea));
}

void CMainFrame::OnAboutSoft() {
  CAboutDlg dlg(this);
  Dialogs().Exec(dlg);
}

// ---- parts of the window -------------------------------------------------------

QAction* CMainFrame::Action(int id) const {
  return m_chrome->Action(id);
}
QAction* CMainFrame::ContextAction(int id) const {
  return m_chrome->ContextAction(id);
}
QMenu* CMainFrame::ContextMenu() const {
  return m_chrome->ContextMenu();
}
QMenu* CMainFrame::ViewMenu() const {
  return m_chrome->ViewMenu();
}
QMenu* CMainFrame::ToolsMenu() {
  return m_chrome->ToolsMenu();
}
CPlacementStatus& CMainFrame::Placement() {
  return *m_chrome->m_placement;
}
bool CMainFrame::PlacementReady() const {
  return m_chrome->m_placement != nullptr;
}
CCoolBar& CMainFrame::TrafficBar() {
  return *m_chrome->m_wndTrafficBar;
}
CDlgMainSet& CMainFrame::MainSet() {
  return *m_chrome->m_dlgMainSet;
}
CCoolTabCtrl& CMainFrame::TabCtrl() {
  return *m_chrome->m_wndTabCtrl;
}
CCoolBar& CMainFrame::PanelBar() {
  return *m_chrome->m_wndPanelBar;
}
CCoolBar& CMainFrame::SettingsBar() {
  return *m_chrome->m_wndSettingsBar;
}
CTrueColorToolBar& CMainFrame::ModeToolBar() {
  return *m_chrome->m_wndModeToolBar;
}
CTrueColorToolBar& CMainFrame::WindowToolBar() {
  return *m_chrome->m_wndWindowToolBar;
}
CTrueColorToolBar& CMainFrame::ToolButtonBar() {
  return *m_chrome->m_wndToolButtonBar;
}

// ---- the window's own events and its end ---------------------------------------

void CMainFrame::contextMenuEvent(QContextMenuEvent* event) {
  event->accept();
  if (event->reason() == QContextMenuEvent::Keyboard) {
    // The menu key: at the layout area's top-left corner plus (5, 5).
    m_chrome->ShowContextMenu(mapToGlobal(m_rcLayout.topLeft() + QPoint(5, 5)), m_nCurMod);
    return;
  }
  if (!m_rcLayout.contains(mapFromGlobal(event->globalPos()))) return;
  m_chrome->ShowContextMenu(event->globalPos(), m_nCurMod);
}

bool CMainFrame::SaveProfileNow(bool interactive) {
  ProfileError err;
  const std::string startup = StartupProfilePath();
  KeepWindowsInRecord();
  m_bSaveFailed = !SaveProfileAtExit(m_Profile, startup, &err);
  if (!m_bSaveFailed) {
    m_profileFiles->ExitSaved();
    return true;
  }
  const std::string path = m_Profile.m_strProfilePath.empty() ? startup : m_Profile.m_strProfilePath;
  std::fprintf(stderr, "panora: the set-up could not be saved to %s: %s\n", path.c_str(), err.message.c_str());
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
  if (m_chrome->m_keyLocks != nullptr) m_chrome->m_keyLocks->Stop();
  // Every thread of the link ends and is joined, none waiting for a
  // connect time-out.
  m_connection.Shutdown();
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
