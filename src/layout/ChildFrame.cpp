#include "layout/ChildFrame.h"

#include <qdrawutil.h>

#include <QMouseEvent>
#include <QPainter>
#include <algorithm>

#include "layout/LayoutArea.h"
#include "layout/LayoutHost.h"
#include "layout/QtRect.h"
#include "layout/Snap.h"
#include "layout/TesselView.h"
#include "model/ModeTable.h"
#include "ui/Accessible.h"

namespace panora {

namespace {

Qt::CursorShape CursorFor(int hit) {
  switch (hit) {
    case kHitLeft:
    case kHitRight: return Qt::SizeHorCursor;
    case kHitTop:
    case kHitBottom: return Qt::SizeVerCursor;
    case kHitTopLeft:
    case kHitBottomRight: return Qt::SizeFDiagCursor;
    case kHitTopRight:
    case kHitBottomLeft: return Qt::SizeBDiagCursor;
    default: return Qt::ArrowCursor;
  }
}

}  // namespace

CChildFrame::CChildFrame(QWidget* layoutClient) : QWidget(layoutClient) {
  m_pView = new CTesselView(this);
  m_nChannel = m_pView->Channel();
  setObjectName(QStringLiteral("frameCH%1").arg(m_nChannel + 1));
  SetAccessibleRole(this, QAccessible::Window, QStringLiteral("CH%1").arg(m_nChannel + 1));
  setMouseTracking(true);  // the sizing cursors follow the border parts
  resize(kInitialWidth, kInitialHeight);
}

LayoutHost* CChildFrame::Host() const {
  CLayoutArea* area = CLayoutArea::Of(parentWidget());
  return area != nullptr ? area->Host() : nullptr;
}

Rect CChildFrame::WindowRect() const {
  return ToRect(geometry());
}

Rect CChildFrame::ScreenRect() const {
  const QPoint origin = parentWidget() != nullptr ? parentWidget()->mapToGlobal(QPoint(0, 0)) : QPoint();
  return WindowRect().Offset(origin.x(), origin.y());
}

void CChildFrame::MoveTo(const Rect& r) {
  setGeometry(ToQRect(r));
  update();
}

void CChildFrame::DragStep(const QPoint& p) {
  if (!m_bDragging || parentWidget() == nullptr) return;
  const QWidget* area = parentWidget();
  Rect r = panora::DragStep(WindowRect(), p.x() - m_ptDragStart.x(), p.y() - m_ptDragStart.y(), area->width(),
                            area->height());
  // Each step starts from where the mouse puts the window, so a snapped
  // window lets go again once the mouse is further than the snap distance.
  if (LayoutHost* host = Host(); host != nullptr && host->SnapToEdges())
    r = SnapMove(r, SnapLinesOf(), kSnapDistance, area->width(), area->height());
  move(r.left, r.top);
}

SnapLines CChildFrame::SnapLinesOf() const {
  std::vector<Rect> others;
  if (CLayoutArea* area = CLayoutArea::Of(parentWidget()))
    for (int ch = 0; ch < area->FrameCount(); ++ch)
      if (CChildFrame* other = area->Frame(ch); other != this && other != nullptr && other->isVisible())
        others.push_back(other->WindowRect());
  const QWidget* client = parentWidget();
  return MakeSnapLines(client->width(), client->height(), others);
}

void CChildFrame::resizeEvent(QResizeEvent*) {
  m_pView->setGeometry(rect().adjusted(kBorder, kBorder, -kBorder, -kBorder));
}

void CChildFrame::paintEvent(QPaintEvent*) {
  QPainter p(this);
  // A raised sizing border, as a thick-framed window has.
  qDrawWinPanel(&p, rect(), palette(), false);
  const QRect inner = rect().adjusted(2, 2, -2, -2);
  p.setPen(QPen(palette().button().color(), 2));
  p.drawRect(QRectF(inner).adjusted(1, 1, -1, -1));
  m_bOutlineShown = m_bOutlinePending;
  m_bOutlinePending = false;
  if (m_bOutlineShown) {
    // Four lines along the outer rectangle; half the pen falls outside.
    const int w = width(), h = height();
    p.setPen(QPen(QColor(0, 0, 255), kOutlinePen, Qt::SolidLine, Qt::FlatCap));
    p.drawLine(0, 0, w, 0);
    p.drawLine(0, 0, 0, h);
    p.drawLine(0, h, w, h);
    p.drawLine(w, 0, w, h);
  }
}

void CChildFrame::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  const QPoint pos = event->position().toPoint();
  const int side = SideOfHit(HitTest(width(), height(), pos.x(), pos.y(), kBorder, kCornerLength));
  if (side == kSideNone) return;
  LayoutHost* host = Host();
  if (host == nullptr) return;
  // Unlike its picture, a window's border activates and raises it when
  // pressed, whether or not sizing is allowed.
  if (CLayoutArea* area = CLayoutArea::Of(parentWidget())) area->SetActiveFrame(this);
  raise();
  if (!IsPipPopMode(host->CurrentMode())) {
    host->RefuseStretching();  // nothing starts: no sizing, no move
    return;
  }
  if (IsCornerSide(side)) orgRect = ScreenRect();
  m_nSizingSide = side;
  m_bSized = false;
  m_ptSizeStart = event->globalPosition().toPoint();
  m_rcSizeStart = ScreenRect();
  m_rcSized = m_rcSizeStart;
}

void CChildFrame::mouseMoveEvent(QMouseEvent* event) {
  if (IsSizing()) {
    if ((event->buttons() & Qt::LeftButton) == 0) {
      EndSizing();  // the release went elsewhere (a popup took it)
      return;
    }
    SizingStep(event->globalPosition().toPoint());
    return;
  }
  const QPoint pos = event->position().toPoint();
  setCursor(CursorFor(HitTest(width(), height(), pos.x(), pos.y(), kBorder, kCornerLength)));
}

void CChildFrame::mouseReleaseEvent(QMouseEvent* event) {
  if (!IsSizing() || event->button() != Qt::LeftButton) return;
  // A press and release without a move sizes nothing and sends nothing.
  if (event->globalPosition().toPoint() != m_ptSizeStart) SizingStep(event->globalPosition().toPoint());
  EndSizing();
}

void CChildFrame::mouseDoubleClickEvent(QMouseEvent* event) {
  // A second press on the border is a press like the first.
  mousePressEvent(event);
}

void CChildFrame::SizingStep(const QPoint& mouse) {
  const QWidget* area = parentWidget();
  const QPoint origin = area->mapToGlobal(QPoint(0, 0));
  const Point d{mouse.x() - m_ptSizeStart.x(), mouse.y() - m_ptSizeStart.y()};
  Rect proposed = ProposeSizing(m_nSizingSide, m_rcSizeStart, d.x, d.y, kMinSize, kMinSize);
  // The edges being pulled stop at the layout area's edges, so that none
  // can be pulled out of reach.
  const Rect bounds{origin.x(), origin.y(), origin.x() + area->width(), origin.y() + area->height()};
  if (proposed.left != m_rcSizeStart.left) proposed.left = std::max(proposed.left, bounds.left);
  if (proposed.top != m_rcSizeStart.top) proposed.top = std::max(proposed.top, bounds.top);
  if (proposed.right != m_rcSizeStart.right) proposed.right = std::min(proposed.right, bounds.right);
  if (proposed.bottom != m_rcSizeStart.bottom) proposed.bottom = std::min(proposed.bottom, bounds.bottom);
  m_rcSized = KeepMinimum(m_nSizingSide, orgRect, CorrectSizing(m_nSizingSide, orgRect, proposed), kMinSize,
                          kMinSize);
  if (LayoutHost* host = Host(); host != nullptr && host->SnapToEdges()) {
    // In layout coordinates, where the lines are. A snap that would take an
    // edge out of the area or make the window too small to grab is dropped.
    const Rect r = m_rcSized.Offset(-origin.x(), -origin.y());
    const Rect s =
        SnapSizing(m_nSizingSide, orgRect.Offset(-origin.x(), -origin.y()), r, SnapLinesOf(), kSnapDistance);
    const int w = area->width(), h = area->height();
    auto inside = [](int before, int after, int limit) {
      return after == before || (after >= 0 && after <= limit);
    };
    if (s.Width() >= kMinSize && s.Height() >= kMinSize && inside(r.left, s.left, w) &&
        inside(r.right, s.right, w) && inside(r.top, s.top, h) && inside(r.bottom, s.bottom, h))
      m_rcSized = s.Offset(origin.x(), origin.y());
  }
  m_bSized = true;
  MoveTo(m_rcSized.Offset(-origin.x(), -origin.y()));
}

void CChildFrame::EndSizing() {
  m_nSizingSide = kSideNone;
  if (!m_bSized) return;
  // The end of the sizing: this window becomes the current one, its
  // geometry goes out, the outline follows once this step has returned.
  LayoutHost* host = Host();
  if (host == nullptr) return;
  host->SetCurrentPod(m_nChannel);
  host->SendSizedGeometry(m_nChannel, m_rcSized);
  host->PostHighlightCurrent();
  m_pView->m_bMaximized = 0;
}

}  // namespace panora
