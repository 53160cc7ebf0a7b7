// Undo and redo of the operator's changes: the channel windows (move, size,
// maximise, restore), the panels' "Set" buttons, the full-mode page's move
// and zoom presses and each run of the position dialog. The history itself is
// model/History; this part takes the values from the windows and panels and
// puts them back, sending them through the same paths the operator's own
// gestures and buttons use, with the same busy rule.
#pragma once

#include <array>
#include <map>
#include <optional>
#include <utility>
#include <vector>

#include "model/History.h"
#include "model/Profile.h"
#include "model/WindowGeometry.h"

class QAction;

namespace panora {

class CMainFrame;
class CDlgMainSet;
class CDlgTestPage;
class CDlgFullSet;
class CDlgBorderSet;

class CUndo {
 public:
  explicit CUndo(CMainFrame& frame) : m_frame(frame) {}

  void AttachPanels(CDlgMainSet* mainSet, CDlgTestPage* testPage) {
    m_mainSet = mainSet;
    m_testPage = testPage;
  }
  void AttachPages(CDlgFullSet* fullSet, CDlgBorderSet* bezel) {
    m_fullSet = fullSet;
    m_bezel = bezel;
  }
  // The menu items, enabled only while there is something to undo or redo.
  void SetActions(QAction* undo, QAction* redo);

  // Forgets every step; what the windows and panels show now is where the
  // next change starts from (a mode was applied).
  void Reset();
  // The operator's window change has just been sent (or would have been,
  // with a connection). `sized`: the end of a sizing, which leaves the
  // window not maximised.
  void WindowChanged(int channel, bool sized);
  // A panel's Set went out: `setId` is its button's id, `target` the picture
  // channel for contrast and brightness, else 0.
  // A move or zoom button's id with the channel as target is a press.
  void PanelSet(int setId, int target);
  // The panel shows what the processor answered: where the next step of
  // that Set starts.
  void PanelShown(int setId, int target);
  // One run of the position dialog for `channel` ended: the window the
  // processor had when it opened and the one last sent, X, Y, W, H. One
  // step for the run, none when they are the same.
  void PositionSession(int channel, const std::array<int, 4>& opened, const std::array<int, 4>& sent);

  // False when there was nothing to do or the send was refused (busy); the
  // history then stays where it was.
  bool Undo();
  bool Redo();

  // What a Set stands at now (what it last sent, or was answered).
  PanelValue Current(int setId, int target) const;

  // The whole set-up on the PC side: names, tool buttons, every record, the
  // mode and the windows' exact places.
  struct Snapshot {
    CProfile profile;
    int curMod = -1, prevMod = -1;
    std::array<ChannelFractions, 4> windows{};
    std::vector<int> stack;  // the channels from the bottom window up
    int curpod = 0;
  };
  Snapshot TakeSnapshot() const;
  // A factory reset was carried out: undo brings back `before`, redo the
  // reset set-up again. Neither sends anything: the processor was reset, and
  // Send Set-up writes the set-up back.
  void FactoryResetDone(Snapshot before);

  const History& Steps() const { return m_history; }
  // Enables the menu items by the history, and Undo also while an
  // arrow-key burst is open (it is the change Undo takes back first).
  void UpdateActions();

 private:
  WindowValue TakeWindow(int channel) const;
  bool PlaceWindow(int channel, const WindowValue& v);
  PanelValue Capture(int setId, int target) const;
  bool Replay(int setId, int target, const PanelValue& v);
  bool SendPosition(int channel, const PanelValue& xywh);
  bool RespectsBusy(const HistoryStep& s) const;
  bool Carry(const HistoryStep& s, bool back);
  void EndGestures();
  void PutBack(const Snapshot& s, bool undone);

  CMainFrame& m_frame;
  CDlgMainSet* m_mainSet = nullptr;
  CDlgTestPage* m_testPage = nullptr;
  CDlgFullSet* m_fullSet = nullptr;
  CDlgBorderSet* m_bezel = nullptr;
  QAction* m_undoAction = nullptr;
  QAction* m_redoAction = nullptr;
  History m_history;
  // What each window and each Set stands at now: the "before" of the next step.
  std::array<WindowValue, 4> m_window{};
  std::map<std::pair<int, int>, PanelValue> m_panel;
  bool m_bApplying = false;  // our own sends are not new steps
  bool m_bRestoring = false;  // a snapshot is being put back: the history stays
  std::optional<Snapshot> m_resetBefore, m_resetAfter;
};

}  // namespace panora
