// The frame of one channel window: a sizing border around its view, no
// caption. It carries the drag state that the view's mouse handling uses and
// does its own sizing: corners keep the window's ratio, edges size freely,
// and a mode without stretching refuses every border press.
#pragma once

#include <QPoint>
#include <QWidget>

#include "layout/Geometry.h"
#include "layout/Snap.h"

namespace panora {

class CTesselView;
class LayoutHost;

class CChildFrame : public QWidget {
  Q_OBJECT
 public:
  static constexpr int kInitialWidth = 200;
  static constexpr int kInitialHeight = 120;
  static constexpr int kBorder = 4;         // the sizing border around the view
  static constexpr int kCornerLength = 12;  // corner zones along each edge
  static constexpr int kMinSize = 2 * kCornerLength;
  // The outline's pen: the desktop's drag width (4) + 4, half of it outside.
  static constexpr int kOutlinePen = 8;

  // Creates the frame and its view; the view decides the channel.
  explicit CChildFrame(QWidget* layoutClient);

  CTesselView* View() const { return m_pView; }
  // The frame's rectangle in layout coordinates (its parent's).
  Rect WindowRect() const;
  void MoveTo(const Rect& r);

  // One mouse move of a drag started in the view: p in view coordinates.
  void DragStep(const QPoint& p);

  // The blue outline is drawn at the next paint only, so any later repaint
  // removes it. OutlineShown tells whether the last paint drew it.
  void SetOutlinePending() { m_bOutlinePending = true; }
  bool OutlineShown() const { return m_bOutlineShown; }
  bool IsSizing() const { return m_nSizingSide != kSideNone; }

  QPoint m_ptDragStart;
  bool m_bDragging = false;
  int m_nChannel = 0;
  Rect orgRect;  // screen coordinates, when a corner was pressed

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;

 private:
  LayoutHost* Host() const;
  // One sizing step towards the mouse at `mouse` (global coordinates).
  void SizingStep(const QPoint& mouse);
  // The end of a sizing: the end steps run when the window was sized.
  void EndSizing();
  Rect ScreenRect() const;
  // What this window's edges may snap to: the area and the other windows.
  SnapLines SnapLinesOf() const;

  CTesselView* m_pView;
  int m_nSizingSide = kSideNone;
  QPoint m_ptSizeStart;   // global mouse position when sizing began
  Rect m_rcSizeStart;     // screen rectangle when sizing began
  Rect m_rcSized;         // the last rectangle a sizing step gave
  bool m_bSized = false;  // the mouse moved since the border was pressed
  bool m_bOutlinePending = false;
  bool m_bOutlineShown = false;
};

}  // namespace panora
