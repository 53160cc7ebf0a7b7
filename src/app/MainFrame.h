// The main window owns the pieces and wires them; the logic lives in them
// (connection, replies, channel windows, mode rules, undo, profiles, chrome,
// Send Set-up, remote control). What stays here: the shared state under the
// names the rest of the program uses, the window's own events, the end.
#pragma once

#include <QMainWindow>
#include <QRect>
#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "app/CommandIds.h"
#include "app/Connection.h"
#include "app/Replies.h"
#include "app/UiHandOver.h"
#include "layout/ChannelWindows.h"
#include "link/HandOver.h"
#include "link/Traffic.h"
#include "model/Profile.h"
#include "panels/ModeRefresh.h"
#include "panels/PanelHost.h"

class QAction;
class QLabel;
class QMenu;

namespace panora {

class CCoolBar;
class CCoolTabCtrl;
class CDlgMainSet;
class CDlgFullSet;
class CFrameChrome;
class CFrameModeHost;
class CLayoutArea;
class CLinkStatus;
class CModeStatus;
class CPlacementStatus;
class CProfileFiles;
class CRemoteControl;
class CSetupSender;
class CTrafficMonitor;
class CTrueColorToolBar;
class CUndo;
class ModeController;

class CMainFrame : public QMainWindow,
                   public WindowsHost,
                   public PanelHost,
                   public ConnectionHost,
                   public ReplyHost {
  Q_OBJECT

  // Declared first: the hand-over (and its target) and the traffic log
  // outlive the link whose threads use them.
  std::unique_ptr<QObject> m_handOverTarget;
  CUiHandOver m_handOver;
  TrafficLog m_traffic;
  CConnection m_connection;
  CReplies m_replies{*this, m_connection};
  CChannelWindows m_windows{*this};

 public:
  static constexpr int kWidth = 1120;
  static constexpr int kHeight = 720;

  explicit CMainFrame(QWidget* parent = nullptr);
  ~CMainFrame() override;

  // Menus, bars, panels, reply event, start-up profile; false: unusable.
  bool OnCreate();
  // The four channel windows CH1..CH4, then the layout rectangle.
  void OpenChannelWindows();

  // The windows for `mode`, then the panels; sends nothing (callers send the
  // recall and update m_nCurMod after).
  void ApplyMode(int mode);
  void RefreshPanels(int mode);
  // A panel that follows mode changes, at its place in the steps' order:
  // 0..2 the tab pages in tab order, 3 the main settings panel.
  static constexpr int kModeRefreshPlaces = 4;
  void SetModeRefresh(int place, ModeRefresh* panel);
  // Everything that shows the mode follows m_nCurMod (the one enabling rule).
  void UpdateModeMenuItems();
  void UpdateToolButtonTips();

  // Orderly end, once: the hand-over closed, every link thread joined, the
  // profile saved (`interactive`: a failure may show a box).
  void Shutdown(bool interactive);
  bool SaveProfileNow(bool interactive);  // as at exit; false when it failed

  // The information list of the main settings panel.
  void AddInfo(const QString& text) override;
  void ShowInfo(const QString& text) override;
  // The mark of "RS232" (kind 1), "USB" (2) or "TCP/IP" (3).
  void SetConnectionCheck(int kind, bool on) override;

  // The pieces.
  CConnection& Connection() { return m_connection; }
  CReplies& Replies() { return m_replies; }
  CChannelWindows& Windows() { return m_windows; }
  ModeController& Modes() { return *m_modes; }
  CUndo& Undo() { return *m_undo; }
  CProfileFiles& ProfileFiles() { return *m_profileFiles; }
  CFrameChrome& Chrome() { return *m_chrome; }
  CSetupSender& Setup() { return *m_setup; }
  CRemoteControl& Remote() { return *m_remote; }
  HandOver& Hand() { return m_handOver; }
  TrafficLog& Traffic() { return m_traffic; }

  // The send path: SendCommand is the standard sender; one that waits for an
  // answer fills g_TxBuf, notes, sets m_nJobType and starts the worker.
  CDeviceLink& Link() { return m_connection.Link(); }
  CRsCom& RsCom() { return m_connection.RsCom(); }
  CNetLink& NetLink() { return m_connection.NetLink(); }
  void NoteCommand(int command, int subCode) { Link().NoteCommand(command, subCode); }
  void SendFrame(const std::uint8_t* bytes, int length) { Link().SendFrame(bytes, length); }
  bool SendCommand(std::uint8_t command, std::uint8_t subCode, const std::uint8_t* payload = nullptr, int n = 0,
                   bool respectBusy = false) override {
    return Link().SendCommand(command, subCode, payload, n, respectBusy);
  }
  void StartSendWorker() { Link().StartSendWorker(); }
  bool TransportOpen() const override { return m_connection.Link().TransportOpen(); }

  // Parts of the window, for the rest of the program and for tests.
  QAction* Action(int id) const;
  QAction* ContextAction(int id) const;
  QMenu* ContextMenu() const;
  QMenu* ViewMenu() const;
  QMenu* ToolsMenu();
  CPlacementStatus& Placement();
  bool PlacementReady() const;
  CCoolBar& TrafficBar();
  CLinkStatus* LinkStatus() const { return m_connection.LinkStatus(); }
  CLayoutArea* LayoutArea() const { return m_layoutArea; }
  CChildFrame* ChannelFrame(int channel) const { return m_windows.Frame(channel); }
  CDlgMainSet& MainSet();
  CCoolTabCtrl& TabCtrl();
  CCoolBar& PanelBar();
  CCoolBar& SettingsBar();
  CTrueColorToolBar& ModeToolBar();
  CTrueColorToolBar& WindowToolBar();
  CTrueColorToolBar& ToolButtonBar();
  AutoResetEvent* ReplyEvent() const { return m_pReplyEvent; }
  QTimer& TimerHandshake() { return m_connection.TimerHandshake(); }
  QTimer& TimerDots() { return m_connection.TimerDots(); }
  bool IsShutDown() const { return m_bShutDown; }
  bool SaveFailed() const { return m_bSaveFailed; }  // the last save of the profile failed
  // Before a profile is written: the windows' places go into the working record.
  void KeepWindowsInRecord();

  // Shared state as the program names it; the busy flag, job, answer status
  // and last-command bookkeeping are the device link's atomics.
  QRect& m_rcLayout = m_windows.m_rcLayout;  // the layout area in client coordinates
  std::atomic<int>& m_nConnKind = m_connection.m_nConnKind;  // 0 none, 1 RS232, 2 USB, 3 TCP/IP
  std::atomic<int>& m_bSending = Link().m_bSending;
  std::atomic<int>& m_nJobType = Link().m_nJobType;
  std::atomic<int>& m_nReplyStatus = Link().m_nReplyStatus;  // 0 ok, 1 time-out, 2 not connected,
                                                             // 3 short, 4 pending
  int m_nPrevMod = -1, m_nCurMod = -1;
  int& m_nPrevPod = m_windows.m_nPrevPod;
  int& m_nCurpod = m_windows.m_nCurpod;
  std::atomic<int>& m_nPrevCmd = Link().m_nPrevCmd;
  std::atomic<int>& m_nPrevSub = Link().m_nPrevSub;
  std::atomic<int>& m_nCurCmd = Link().m_nCurCmd;
  std::atomic<int>& m_nCurSub = Link().m_nCurSub;
  CProfile m_Profile;  // m_Profile.m_DataPrm, m_nToolMode, m_strModeName, m_strProfilePath
  int& m_bSkipButtonUp = m_windows.m_bSkipButtonUp;

 public slots:
  // Menu commands; those of the Connection menu forward to the connection.
  void OnOpen();
  void OnSave();
  void OnSaveAs();
  void OnRs232() { m_connection.OnRs232(); }
  void OnUsb() { m_connection.OnUsb(); }
  void OnTcpIp() { m_connection.OnTcpIp(); }
  void OnDisconnect() { m_connection.OnDisconnect(); }
  void OnFirmwareVersion() { m_connection.OnFirmwareVersion(); }
  void OnSendSetup();
  void OnSendSetupAll();
  void OnLoadMode();
  void OnSaveMode();
  void OnModeSetting();
  void OnWindowAdjust();
  void OnFactoryReset();
  void OnAboutSoft();
  void OnEditUndo();
  void OnEditRedo();
  void OnFilePrint();  // print, direct print, preview of the active view
  void OnFilePrintDirect();
  void OnFilePrintPreview();
  // Toolbar buttons by index: quick mode 0..11, window 0..3, tool 0..7.
  void OnQuickMode(int index);
  void OnWindowButton(int index);
  void OnToolButton(int index);

 protected:
  void closeEvent(QCloseEvent* event) override;
  void changeEvent(QEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;

 private:
  // What the channel windows ask.
  int CurrentMode() const override { return m_nCurMod; }
  int OutputResolutionIndex(int channel) override;
  void SendGeometryFrame(int channel, const std::array<std::uint8_t, 8>& payload) override;
  void SendGeometryBatch(const std::uint8_t* frames, int frameSize, int count) override;
  void WindowChanged(int channel, bool sized) override;
  void CurrentWindowChanged() override;
  bool SnapToEdges() const override;
  void RefuseStretching() override;
  // What the docked panels ask.
  CDataPrm& WorkingRecord() override;
  int CurrentWindow() const override { return m_nCurpod; }
  bool StartBatch(int job, const std::uint8_t* frames, int frameSize, int count) override;
  bool Sending() const override { return m_bSending.load() == 1; }
  void AddInfoLine(const std::string& text) override { AddInfo(QString::fromStdString(text)); }
  int Message(const std::string& text, int type) override;
  void RecordStep(int setId, int target) override;
  void NoteShown(int setId, int target) override;
  void NotePicture(int setId, int target);
  // What the connection and the answers ask.
  QWidget* Window() override { return this; }
  void Connected() override;
  void BatchDone(int job) override;
  void OpenPositionDialog(const PositionRequest& request) override;

  bool RefuseWhileSending();
  void WirePanels();

  CLayoutArea* m_layoutArea = nullptr;
  AutoResetEvent* m_pReplyEvent = nullptr;  // g_hReplyEvent once created
  std::array<ModeRefresh*, kModeRefreshPlaces> m_modeRefresh{};
  bool m_bShutDown = false;
  bool m_bProfileLoaded = false;  // set once creation has read the start-up profile
  bool m_bSaveFailed = false;
  CFrameChrome* m_chrome = nullptr;
  CProfileFiles* m_profileFiles = nullptr;
  CSetupSender* m_setup = nullptr;
  CRemoteControl* m_remote = nullptr;
  std::unique_ptr<CFrameModeHost> m_modeHost;
  std::unique_ptr<ModeController> m_modes;  // changes m_nCurMod, m_nPrevMod and m_Profile
  std::unique_ptr<CUndo> m_undo;
};

}  // namespace panora
