// The main window: it owns every piece of shared state (connection kind and
// flags, the last-command bookkeeping, the profile with its parameter records,
// the bars and panels) and dispatches every menu command and every message
// that worker threads hand over.
#pragma once

#include <QMainWindow>
#include <QRect>
#include <QTimer>
#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>

#include "app/UiHandOver.h"
#include "layout/ChannelWindows.h"
#include "link/AutoResetEvent.h"
#include "link/DeviceLink.h"
#include "link/HandOver.h"
#include "link/NetLink.h"
#include "link/RsCom.h"
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
class CLayoutArea;
class CChildFrame;
class CTesselView;
class CTrueColorToolBar;
class CTrafficMonitor;
class CKeyLockWatcher;
struct KeyLockState;
class CFrameModeHost;
class ModeController;
class CModeStatus;
class CPlacementStatus;
class CLinkStatus;
class CUndo;
class CProfileFiles;

// Command ids of the menus and toolbars.
enum CommandId : int {
  ID_FILE_PRINT = 57607,
  ID_FILE_PRINT_DIRECT = 57608,
  ID_FILE_PRINT_PREVIEW = 57609,
  ID_EDIT_UNDO = 57643,
  ID_EDIT_REDO = 57644,
  ID_LOAD_MODE_CTX = 32700,
  ID_SAVE_MODE_CTX = 32701,
  ID_MODE_SETTING_CTX = 32702,
  ID_WINDOW_ADJUST_CTX = 32703,
  ID_FILE_OPEN = 32704,
  ID_FILE_SAVE = 32705,
  ID_FILE_SAVE_AS = 32706,
  ID_CONN_RS232 = 32710,
  ID_CONN_USB = 32712,
  ID_CONN_TCPIP = 32713,
  ID_CONN_DISCONNECT = 32714,
  ID_LOAD_MODE = 32720,
  ID_SAVE_MODE = 32721,
  ID_MODE_SETTING = 32722,
  ID_WINDOW_ADJUST = 32723,
  ID_FACTORY_RESET = 32724,
  ID_ABOUT_SOFT = 32740,
  ID_ABOUT_FIRMWARE = 32741,
  ID_QUICK_MODE_FIRST = 32791,  // 12 buttons
  ID_WINDOW_FIRST = 32781,      // 4 buttons
  ID_TOOL_FIRST = 32810,        // 8 buttons
};

// What the position dialog is opened with after a position answer.
struct PositionRequest {
  int channel = 0;  // m_nCurpod
  int x = 0, y = 0, w = 0, h = 0;
  int right = 0, bottom = 0;  // x + w, y + h
};

class CMainFrame : public QMainWindow, public WindowsHost, public PanelHost {
  Q_OBJECT

  // Declared first: the hand-over target outlives every call queued to it,
  // and the hand-over outlives the link objects whose threads use it. Of
  // those, the device link refers to both transports and so goes first.
  std::unique_ptr<QObject> m_handOverTarget;
  CUiHandOver m_handOver;
  TrafficLog m_traffic;  // outlives the transports that report to it
  CRsCom m_RsCom;
  CNetLink m_NetLink;
  CDeviceLink m_DeviceLink;
  CChannelWindows m_windows{*this};

 public:
  static constexpr int kWidth = 1120;
  static constexpr int kHeight = 720;
  static constexpr int kTimerHandshake = 4;  // the handshake time-out
  static constexpr int kTimerDots = 6;       // the "connecting" animation

  explicit CMainFrame(QWidget* parent = nullptr);
  ~CMainFrame() override;

  // The window's creation: toolbars, status bar, docking bars, tab control,
  // main settings panel, reply event, start-up profile. False when a part
  // could not be made; the frame is then unusable.
  bool OnCreate();

  // The four channel windows CH1..CH4, then the layout rectangle.
  void OpenChannelWindows();
  // The mode application: the windows for `mode`, then the panels. Sends
  // nothing; callers send the recall themselves and update m_nCurMod after.
  void ApplyMode(int mode);
  // Runs the mode-refresh steps over the registered panels.
  void RefreshPanels(int mode);
  // A panel that follows mode changes, at its place in the steps' order:
  // 0..2 the tab pages in tab order, 3 the main settings panel.
  static constexpr int kModeRefreshPlaces = 4;
  void SetModeRefresh(int place, ModeRefresh* panel);
  // The four channel windows and every operation on them.
  CChannelWindows& Windows() { return m_windows; }

  // Orderly end: closes the hand-over (so that no worker waits on us), ends
  // and joins every thread of the device link, then saves the profile. Runs
  // once; `interactive` allows a message box.
  void Shutdown(bool interactive);
  // Saves the profile as at exit, reporting a failure on stderr and, when
  // `interactive`, in a message box. Returns whether it saved.
  bool SaveProfileNow(bool interactive);

  // The information list of the main settings panel.
  void AddInfo(const QString& text);
  void ShowInfo(const QString& text);

  // Check marks of the Connection menu.
  void SetCheckRs232(bool on);
  void SetCheckUsb(bool on);
  void SetCheckTcpIp(bool on);
  void ClearConnectionChecks();

  // Greys "Save Mode" and "Window Adjustment" as m_nCurMod asks (the rule
  // is the mode table's CanSaveMode and CanAdjustWindows). Everything else
  // that shows the mode follows here too: the mode pane, the pressed
  // quick-mode and tool buttons, the placement pane.
  void UpdateModeMenuItems();

  // Tool tips of the tool buttons after m_nToolMode or the mode names change.
  void UpdateToolButtonTips();

  // The mode rules: every recall, "Save mode", Open and factory reset ask it.
  ModeController& Modes() { return *m_modes; }

  // The hand-over seam for worker threads; every entry below may be called
  // from any thread. "Send" waits until the frame has run the handler
  // (false when abandoned or shut down); "Post" queues it.
  HandOver& Hand() { return m_handOver; }
  bool SendDeviceData(const std::uint8_t* data, int length, const std::atomic<bool>* cancel = nullptr);
  void PostBatchDone(int job);
  bool SendPositionAnswer(const std::atomic<bool>* cancel = nullptr);
  bool SendNetResult(int result, const std::atomic<bool>* cancel = nullptr);
  bool SendReplyTimeout(const std::atomic<bool>* cancel = nullptr);
  void PostRedraw();

  // The device link, for every sender of the program. The standard sender
  // is SendCommand; a sender that waits for an answer fills g_TxBuf, notes
  // the command, sets m_nJobType (and m_nReplyStatus) and calls StartSendWorker.
  CDeviceLink& Link() { return m_DeviceLink; }
  CRsCom& RsCom() { return m_RsCom; }
  CNetLink& NetLink() { return m_NetLink; }
  void NoteCommand(int command, int subCode) { m_DeviceLink.NoteCommand(command, subCode); }
  void SendFrame(const std::uint8_t* bytes, int length) { m_DeviceLink.SendFrame(bytes, length); }
  bool SendCommand(std::uint8_t command, std::uint8_t subCode, const std::uint8_t* payload = nullptr,
                   int n = 0, bool respectBusy = false) override {
    return m_DeviceLink.SendCommand(command, subCode, payload, n, respectBusy);
  }
  void StartSendWorker() { m_DeviceLink.StartSendWorker(); }
  // Whether a frame would go anywhere: a serial port open or the network link connected.
  bool TransportOpen() const override { return m_DeviceLink.TransportOpen(); }

  // The connect procedures of the Connection menu after their dialogs; the
  // command line uses them too.
  void ConnectSerial(const std::string& device);
  void ConnectNet(const std::string& address, const std::string& port);
  void SendHandshake();

  // Seams that later parts of the window fill. The bezel panel shows the
  // answered bezel values (already limited to 0..48); the position dialog
  // opens modally with the answered window (by default the channel position
  // dialog, through the dialog facade).
  void SetShowBezel(std::function<void(int h, int v)> showBezel) { m_fnShowBezel = std::move(showBezel); }
  void SetPositionDialog(std::function<void(const PositionRequest&)> open) {
    m_fnPositionDialog = std::move(open);
  }

  // Parts of the window, for the rest of the program and for tests.
  QAction* Action(int id) const;
  QAction* ContextAction(int id) const;
  QMenu* ContextMenu() const { return m_ctxMenu; }
  QMenu* ViewMenu() const { return m_viewMenu; }
  // "Tools", after "View": made when the first item is added to it.
  QMenu* ToolsMenu();
  CModeStatus& ModeStatus() { return *m_modeStatus; }
  CPlacementStatus& Placement() { return *m_placement; }
  bool PlacementReady() const { return m_placement != nullptr; }
  // The traffic monitor's docking bar (hidden at start) and the log it shows.
  CCoolBar& TrafficBar() { return *m_wndTrafficBar; }
  CTrafficMonitor& TrafficMonitor() { return *m_trafficMonitor; }
  TrafficLog& Traffic() { return m_traffic; }
  // The link status pane with reconnect and keepalive (after OnCreate).
  CLinkStatus* LinkStatus() const { return m_linkStatus; }
  // The "Edit" menu, between "File" and "Connection", made on first use.
  QMenu* EditMenu();
  CUndo& Undo() { return *m_undo; }
  CProfileFiles& ProfileFiles() { return *m_profileFiles; }
  CLayoutArea* LayoutArea() const { return m_layoutArea; }
  CChildFrame* ChannelFrame(int channel) const { return m_windows.Frame(channel); }
  CDlgMainSet& MainSet() { return *m_dlgMainSet; }
  CCoolTabCtrl& TabCtrl() { return *m_wndTabCtrl; }
  CDlgFullSet& FullSet() { return *m_dlgFullSet; }
  CCoolBar& PanelBar() { return *m_wndPanelBar; }
  CCoolBar& SettingsBar() { return *m_wndSettingsBar; }
  CTrueColorToolBar& ModeToolBar() { return *m_wndModeToolBar; }
  CTrueColorToolBar& WindowToolBar() { return *m_wndWindowToolBar; }
  CTrueColorToolBar& ToolButtonBar() { return *m_wndToolButtonBar; }
  QLabel* IndicatorCaps() const { return m_lblCaps; }
  AutoResetEvent* ReplyEvent() const { return m_pReplyEvent; }
  QTimer& TimerHandshake() { return m_timerHandshake; }
  QTimer& TimerDots() { return m_timerDots; }
  bool IsShutDown() const { return m_bShutDown; }
  // Whether the last attempt to save the profile failed.
  bool SaveFailed() const { return m_bSaveFailed; }

  // Shared state, as the rest of the program names it. The busy flag, the
  // job, the answer status and the last-command bookkeeping are the device
  // link's own atomics, named here as the frame's.
  QRect& m_rcLayout = m_windows.m_rcLayout;  // the layout area in client coordinates
  std::atomic<int> m_nConnKind{0};  // 0 none, 1 RS232, 2 USB, 3 TCP/IP
  std::atomic<int>& m_bSending = m_DeviceLink.m_bSending;
  std::atomic<int>& m_nJobType = m_DeviceLink.m_nJobType;
  std::atomic<int>& m_nReplyStatus = m_DeviceLink.m_nReplyStatus;  // 0 ok, 1 time-out, 2 not connected,
                                                                   // 3 short, 4 pending
  int m_nPrevMod = -1, m_nCurMod = -1;
  int& m_nPrevPod = m_windows.m_nPrevPod;
  int& m_nCurpod = m_windows.m_nCurpod;
  std::atomic<int>& m_nPrevCmd = m_DeviceLink.m_nPrevCmd;
  std::atomic<int>& m_nPrevSub = m_DeviceLink.m_nPrevSub;
  std::atomic<int>& m_nCurCmd = m_DeviceLink.m_nCurCmd;
  std::atomic<int>& m_nCurSub = m_DeviceLink.m_nCurSub;
  CProfile m_Profile;  // m_Profile.m_DataPrm, m_nToolMode, m_strModeName, m_strProfilePath
  int m_nPosX = 0, m_nPosY = 0, m_nPosW = 0, m_nPosH = 0;
  int m_nDots = 0;
  int& m_bSkipButtonUp = m_windows.m_bSkipButtonUp;

 public slots:
  // Messages handed over by the workers.
  void OnDeviceData(const std::uint8_t* data, int length);
  void OnBatchDone(int job);
  void OnPositionAnswer();
  void OnNetResult(int result);
  void OnRedraw();
  void OnTimerHandshake();
  void OnTimerDots();
  // The serial transport reports that its device went away.
  void OnComLost();
  // The network link went away on its own (peer closed, receive error,
  // broken send); it still counts as connected until closed.
  void OnNetLost();

  // Menu commands.
  void OnOpen();
  void OnSave();
  void OnSaveAs();
  void OnRs232();
  void OnUsb();
  void OnTcpIp();
  void OnDisconnect();
  void OnLoadMode();
  void OnSaveMode();
  void OnModeSetting();
  void OnWindowAdjust();
  void OnFactoryReset();
  void OnAboutSoft();
  void OnFirmwareVersion();
  void OnEditUndo();
  void OnEditRedo();

  // Print, direct print and print preview of the active channel view.
  void OnFilePrint();
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
  QAction* AddCommand(QMenu* menu, int id, const QString& text, void (CMainFrame::*handler)());
  bool CreateToolBars();
  bool CreateStatusBar();
  bool CreateDockingBars();
  void CreateBarItems();
  void CreateTrafficMonitor();
  void CreateMenus();
  void CreateContextMenu();
  void CreateUndoItems();
  void ShowContextMenu(const QPoint& globalPos);
  void UpdateKeyLocks(const KeyLockState& state);
  void SetConnectionCheck(int id, bool on);
  void ShowMessage(const char* text);
  // Closes the serial port and the network link (abandoning a connect in
  // progress) and makes any connect result still on its way stale.
  void CloseTransports();
  void OnNetResultOf(int attempt, int result);
  void OpenPositionDialog(const PositionRequest& request);
  bool RefuseWhileSending();
  void ConnectModeApplication();
  CTesselView* ActiveView() const;

  // What the channel windows ask of the frame.
  int CurrentMode() const override { return m_nCurMod; }
  int OutputResolutionIndex(int channel) override;
  void SendGeometryFrame(int channel, const std::array<std::uint8_t, 8>& payload) override;
  void SendGeometryBatch(const std::uint8_t* frames, int frameSize, int count) override;
  void WindowChanged(int channel, bool sized) override;
  void CurrentWindowChanged() override;
  bool SnapToEdges() const override;

  // What the docked panels ask of the frame.
  CDataPrm& WorkingRecord() override;
  int CurrentWindow() const override { return m_nCurpod; }
  bool StartBatch(int job, const std::uint8_t* frames, int frameSize, int count) override;
  bool Sending() const override { return m_bSending.load() == 1; }
  void AddInfoLine(const std::string& text) override { AddInfo(QString::fromStdString(text)); }
  int Message(const std::string& text, int type) override;
  void RefuseStretching() override;
  void RecordStep(int setId, int target) override;
  void NoteShown(int setId, int target) override;

  CCoolTabCtrl* m_wndTabCtrl = nullptr;
  CCoolBar* m_wndPanelBar = nullptr;
  CCoolBar* m_wndSettingsBar = nullptr;
  CDlgMainSet* m_dlgMainSet = nullptr;
  CDlgFullSet* m_dlgFullSet = nullptr;  // tab page 1
  CLayoutArea* m_layoutArea = nullptr;
  CTrueColorToolBar* m_wndModeToolBar = nullptr;
  CTrueColorToolBar* m_wndWindowToolBar = nullptr;
  CTrueColorToolBar* m_wndToolButtonBar = nullptr;
  QLabel* m_lblCaps = nullptr;
  QLabel* m_lblNum = nullptr;
  QLabel* m_lblScroll = nullptr;
  CKeyLockWatcher* m_keyLocks = nullptr;
  QTimer m_timerHandshake;
  QTimer m_timerDots;
  AutoResetEvent* m_pReplyEvent = nullptr;  // g_hReplyEvent once created
  std::function<void(int, int)> m_fnShowBezel;
  std::function<void(const PositionRequest&)> m_fnPositionDialog;
  std::array<ModeRefresh*, kModeRefreshPlaces> m_modeRefresh{};
  int m_nNetAttempt = 0;         // counts connect procedures and disconnects
  int m_nNetPendingAttempt = 0;  // the network attempt still awaited, or 0

  QMenu* m_viewMenu = nullptr;
  QMenu* m_toolsMenu = nullptr;
  CModeStatus* m_modeStatus = nullptr;
  CPlacementStatus* m_placement = nullptr;
  CCoolBar* m_wndTrafficBar = nullptr;
  CTrafficMonitor* m_trafficMonitor = nullptr;
  bool m_bTrafficPlaced = false;
  CLinkStatus* m_linkStatus = nullptr;
  CProfileFiles* m_profileFiles = nullptr;
  QMenu* m_editMenu = nullptr;
  QMenu* m_ctxMenu = nullptr;
  std::map<int, QAction*> m_actions;
  std::map<int, QAction*> m_ctxActions;
  std::map<int, bool> m_checks;  // check marks of the Connection menu, by id
  bool m_bShutDown = false;
  bool m_bProfileLoaded = false;  // set once creation has read the start-up profile
  bool m_bSaveFailed = false;
  std::unique_ptr<CFrameModeHost> m_modeHost;
  std::unique_ptr<ModeController> m_modes;  // changes m_nCurMod, m_nPrevMod and m_Profile
  std::unique_ptr<CUndo> m_undo;
};

}  // namespace panora
