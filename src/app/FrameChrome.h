// What the main window is dressed in: its menus (File, Edit, Connection,
// View, Tools, Help) and the layout area's context menu, the three fixed
// toolbars, the status bar with its panes and lock-key indicators, and the
// docking bars with the panels they hold. Made once, in the order the
// window's creation asks; the commands go to the frame's handlers.
//
// The one rule that enables commands by the mode is UpdateModeMenuItems:
// "Save Mode" and "Window Adjustment" (the mode table's CanSaveMode and
// CanAdjustWindows) in both menus, and everything else that shows the mode.
#pragma once

#include <QObject>
#include <QString>
#include <map>

class QAction;
class QLabel;
class QMenu;
class QPoint;

namespace panora {

class CMainFrame;
class CCoolBar;
class CCoolTabCtrl;
class CDlgMainSet;
class CDlgFullSet;
class CDlgTestPage;
class CDlgBorderSet;
class CTrueColorToolBar;
class CTrafficMonitor;
class CKeyLockWatcher;
struct KeyLockState;
class CModeStatus;
class CPlacementStatus;

class CFrameChrome : public QObject {
  Q_OBJECT
 public:
  explicit CFrameChrome(CMainFrame& frame);

  // The menus (with Edit's undo items) and the context menu.
  void CreateMenus();
  // Toolbars, status bar, docking bars with their panels, the View items
  // that bring bars back, the traffic monitor. False when a part failed.
  bool CreateBars();

  QAction* Action(int id) const;
  QAction* ContextAction(int id) const;
  QMenu* ContextMenu() const { return m_ctxMenu; }
  QMenu* FileMenu() const { return m_fileMenu; }
  QMenu* ViewMenu() const { return m_viewMenu; }
  // "Tools", right after "View"; "Edit", between "File" and "Connection".
  QMenu* ToolsMenu();
  QMenu* EditMenu();

  // The check mark of a Connection item: it follows the connection, not clicks.
  void SetConnectionCheck(int id, bool on);
  void UpdateModeMenuItems(int mode);
  // Tool tips of the tool buttons after the assignments or names change.
  void UpdateToolButtonTips();
  void ShowContextMenu(const QPoint& globalPos, int mode);

  CCoolTabCtrl* m_wndTabCtrl = nullptr;
  CCoolBar* m_wndPanelBar = nullptr;
  CCoolBar* m_wndSettingsBar = nullptr;
  CDlgMainSet* m_dlgMainSet = nullptr;
  CDlgTestPage* m_dlgTestPage = nullptr;  // tab page 0
  CDlgFullSet* m_dlgFullSet = nullptr;    // tab page 1
  CDlgBorderSet* m_dlgBorderSet = nullptr;  // tab page 2
  CTrueColorToolBar* m_wndModeToolBar = nullptr;
  CTrueColorToolBar* m_wndWindowToolBar = nullptr;
  CTrueColorToolBar* m_wndToolButtonBar = nullptr;
  QLabel* m_lblCaps = nullptr;
  QLabel* m_lblNum = nullptr;
  QLabel* m_lblScroll = nullptr;
  CKeyLockWatcher* m_keyLocks = nullptr;
  CModeStatus* m_modeStatus = nullptr;
  CPlacementStatus* m_placement = nullptr;
  CCoolBar* m_wndTrafficBar = nullptr;
  CTrafficMonitor* m_trafficMonitor = nullptr;

 private:
  QAction* AddCommand(QMenu* menu, int id, const QString& text, void (CMainFrame::*handler)());
  void CreateMenuBar();
  void CreateContextMenu();
  void CreateUndoItems();
  bool CreateToolBars();
  bool CreateStatusBar();
  bool CreateDockingBars();
  void CreateBarItems();
  void CreateTrafficMonitor();
  void UpdateKeyLocks(const KeyLockState& state);

  CMainFrame& m_frame;
  QMenu* m_fileMenu = nullptr;
  QMenu* m_viewMenu = nullptr;
  QMenu* m_toolsMenu = nullptr;
  QMenu* m_editMenu = nullptr;
  QMenu* m_ctxMenu = nullptr;
  bool m_bTrafficPlaced = false;
  std::map<int, QAction*> m_actions;
  std::map<int, QAction*> m_ctxActions;
  std::map<int, bool> m_checks;  // check marks of the Connection menu, by id
};

}  // namespace panora
