// Precise placement of the channel windows: a status-bar pane with the
// window's X, Y, W, H in output pixels (the window being dragged or sized,
// else the current one), the arrow keys that move the current window, and
// the operator's choice of snapping, remembered between runs.
#pragma once

#include <QObject>
#include <QString>
#include <QTimer>
#include <array>

#include "layout/Geometry.h"

class QAction;
class QCheckBox;
class QComboBox;
class QLabel;
class QStatusBar;

namespace panora {

class CMainFrame;
class CChildFrame;

class CPlacementStatus : public QObject {
  Q_OBJECT
 public:
  // A burst of arrow keys ends this long after the last key went up; its
  // geometry is sent then, once.
  static constexpr int kBurstEndMs = 300;
  static constexpr int kBigStep = 10;  // with Shift

  // Adds the pane to `bar`; the arrow keys act while the layout has the
  // keyboard focus (a click in a window gives it, as does Tab).
  CPlacementStatus(CMainFrame& frame, QStatusBar* bar);
  // Follows a channel window as it moves and changes size.
  void WatchFrame(CChildFrame* frame);
  // Follows the output resolution lists of the main settings panel.
  void WatchSettings(QWidget* mainSettings);

  // Shows the window being dragged or sized, else the current one.
  void Refresh();
  QLabel* Pane() const { return m_pane; }
  // "CH2: X 92 Y 23 W 960 H 540".
  static QString Text(int channel, const OutputGeometry& g);

  // Snapping while dragging and sizing; the choice is kept in the
  // preferences file of the data folder.
  bool Snap() const { return m_bSnap; }
  void SetSnap(bool on);
  // The checkable "Snap to Edges" command with its key.
  QAction* SnapAction() const { return m_snapAction; }

  // One arrow key: the current window moved by (dx, dy) layout pixels with
  // a drag's clamping. The geometry goes out when the burst ends.
  void Nudge(int dx, int dy);
  // Ends a burst now: the geometry when the window moved, and the outline.
  void EndBurst();
  // Forgets a burst without sending it: the windows are being rearranged.
  void DropBurst();
  bool BurstPending() const { return m_nBurstChannel >= 0; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  CChildFrame* ShownFrame() const;
  // The resolution index the main settings show for output channel + 1.
  int ResolutionOf(int channel) const;
  bool KeyEvent(QEvent* event);

  CMainFrame& m_frame;
  QLabel* m_pane;
  QComboBox* m_allRes = nullptr;  // the main settings' resolution lists
  std::array<QComboBox*, 4> m_outRes{};
  QCheckBox* m_perOutput = nullptr;
  QAction* m_snapAction;
  bool m_bSnap = false;
  QTimer m_burstEnd;
  int m_nBurstChannel = -1;  // the window a burst of arrow keys moves
  Rect m_rcBurstStart;
};

}  // namespace panora
