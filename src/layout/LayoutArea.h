// The layout area in the middle of the main window: it stands for the output
// picture and holds the four channel windows. A 2-pixel sunken edge surrounds
// its client region, whose top-left corner is layout coordinate (0, 0).
#pragma once

#include <QFrame>
#include <QRect>
#include <array>
#include <utility>
#include <vector>

namespace panora {

class CChildFrame;
class LayoutHost;

class CLayoutArea : public QFrame {
  Q_OBJECT
 public:
  static constexpr int kEdge = 2;

  explicit CLayoutArea(QWidget* parent = nullptr);

  // The layout area a widget inside it belongs to, or nullptr.
  static CLayoutArea* Of(QWidget* widget);

  // Who the channel windows report to (the main frame).
  void SetHost(LayoutHost* host) { m_host = host; }
  LayoutHost* Host() const { return m_host; }

  // The region the channel windows are children of.
  QWidget* Client() const { return m_client; }

  // Creates the next channel window (CH1 first) at the place a new window
  // gets: each one a step down and to the right of the one before.
  CChildFrame* CreateChannelWindow();

  CChildFrame* Frame(int channel) const;
  int FrameCount() const { return m_nFrames; }

  // The active channel window: our own state, not the window manager's focus.
  CChildFrame* ActiveFrame() const { return m_pActive; }
  void SetActiveFrame(CChildFrame* frame) { m_pActive = frame; }

  // Repaints the four frames, then outlines `frame` (none when null), so
  // that at most one frame carries the outline.
  void HighlightWindow(CChildFrame* frame);

  // The channels whose windows others cover entirely, in channel order.
  // Their outlines and labels are drawn dashed on top of everything, so
  // that all four windows can always be seen and found.
  std::vector<int> CoveredChannels() const;
  // Each covered channel with the rectangle of its label (client
  // coordinates): no two overlap, each inside its window where there is room.
  std::vector<std::pair<int, QRect>> CoveredLabels() const;

 protected:
  void resizeEvent(QResizeEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  class CoverOverlay;
  QWidget* m_client;
  CoverOverlay* m_overlay = nullptr;
  std::array<CChildFrame*, 4> m_frames{};
  int m_nFrames = 0;
  CChildFrame* m_pActive = nullptr;
  LayoutHost* m_host = nullptr;
};

}  // namespace panora
