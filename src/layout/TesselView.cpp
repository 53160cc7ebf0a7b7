#include "layout/TesselView.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QFontMetrics>
#include <QMouseEvent>
#include <QPainter>

#include "layout/ChildFrame.h"
#include "layout/LayoutArea.h"
#include "layout/LayoutHost.h"
#include "model/ModeTable.h"
#include "ui/Accessible.h"

namespace panora {

CTesselView* g_pView[kChannelCount] = {nullptr, nullptr, nullptr, nullptr};
int g_nViewCount = 0;

CTesselView::CTesselView(QWidget* parent) : QWidget(parent) {
  // The table has four places; a view beyond them is not registered (and
  // shows CH4's picture) instead of writing past the table.
  if (g_nViewCount < kChannelCount) {
    m_nChannel = g_nViewCount;
    g_pView[g_nViewCount++] = this;
    m_bRegistered = true;
  } else {
    m_nChannel = kChannelCount - 1;
  }
  m_nInput = m_nChannel;
  m_strImagePath = QString::asprintf("view%d.png", m_nChannel + 1);
  m_pImage.load(FindPicture(m_strImagePath));
  // The picture covers the view; there is no background to erase.
  setAttribute(Qt::WA_OpaquePaintEvent, HasImage());
  setObjectName(QStringLiteral("CH%1").arg(m_nChannel + 1));
  // The frame's sizing cursors stop at its border; moves are followed
  // without a button too, so a drag whose release went elsewhere still ends.
  setCursor(Qt::ArrowCursor);
  setMouseTracking(true);
  SetAccessibleRole(this, QAccessible::Graphic, QStringLiteral("CH%1").arg(m_nChannel + 1));
}

CTesselView::~CTesselView() {
  if (!m_bRegistered) return;
  g_pView[m_nChannel] = nullptr;
  // When the last of a set of four goes, a new set may start again at CH1.
  bool any = false;
  for (CTesselView* v : g_pView) any = any || v != nullptr;
  if (!any) g_nViewCount = 0;
}

QString CTesselView::FindPicture(const QString& name) {
  if (QFileInfo::exists(name)) return name;
  const QDir exe(QCoreApplication::applicationDirPath());
  const QString beside = exe.filePath(name);
  if (QFileInfo::exists(beside)) return beside;
  // An installed program (bin/panora) finds them in share/panora.
  const QString shared = exe.filePath(QStringLiteral("../share/panora/") + name);
  if (QFileInfo::exists(shared)) return QFileInfo(shared).absoluteFilePath();
  return name;
}

QFont CTesselView::LabelFont() {
  static const QFont font = [] {
    QFont f(QStringLiteral("Arial"));
    f.setStyleHint(QFont::SansSerif);
    f.setWeight(QFont::Normal);
    // A 12-pixel character cell, as a font height of 12 asks for.
    int px = 12;
    f.setPixelSize(px);
    while (px > 6 && QFontMetrics(f).height() > 12) f.setPixelSize(--px);
    return f;
  }();
  return font;
}

void CTesselView::paintEvent(QPaintEvent*) {
  QPainter p(this);
  Draw(p, size());
}

void CTesselView::Draw(QPainter& p, const QSize& size) {
  if (HasImage()) {
    if (p.device() == this) {
      // On screen the picture is scaled once per size.
      if (m_scaled.size() != size)
        m_scaled = m_pImage.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
      p.drawPixmap(0, 0, m_scaled);
    } else {
      p.drawPixmap(QRect(QPoint(0, 0), size), m_pImage);
    }
  } else if (p.device() == this) {
    p.fillRect(QRect(QPoint(0, 0), size), palette().window());
  }
  // Labels as plain text cells: black on an opaque white background.
  p.setFont(LabelFont());
  p.setBackgroundMode(Qt::OpaqueMode);
  p.setBackground(Qt::white);
  p.setPen(Qt::black);
  const QFontMetrics fm(p.font());
  p.drawText(QPoint(4, 4 + fm.ascent()), QStringLiteral("In%1").arg(m_nInput + 1));
  p.drawText(QPoint(22, 4 + fm.ascent()), QStringLiteral("Ch%1").arg(m_nChannel + 1));
}

CLayoutArea* CTesselView::Area() const {
  return CLayoutArea::Of(parentWidget());
}

CChildFrame* CTesselView::OwnFrame() const {
  return qobject_cast<CChildFrame*>(parentWidget());
}

QPoint CTesselView::ViewPoint(const QMouseEvent* event) const {
  return mapFromGlobal(event->globalPosition().toPoint());
}

void CTesselView::mousePressEvent(QMouseEvent* event) {
  CLayoutArea* area = Area();
  if (event->button() != Qt::LeftButton || area == nullptr || area->Host() == nullptr) return;
  // A skip left over from a double-click whose release a box took must
  // not swallow the release of this press.
  area->Host()->TakeSkipButtonUp();
  area->Host()->SetCurrentPod(m_nChannel);
  // The pressed window becomes the active one (without rising), so that the
  // drag, the comparison and the outline all act on the window under the mouse.
  area->SetActiveFrame(OwnFrame());
  CChildFrame* target = area->ActiveFrame();
  if (target == nullptr) return;
  target->m_bDragging = true;
  target->m_ptDragStart = ViewPoint(event);
  m_rcBefore = m_rcAfter = target->WindowRect();
}

void CTesselView::mouseMoveEvent(QMouseEvent* event) {
  CLayoutArea* area = Area();
  if (area == nullptr || area->ActiveFrame() == nullptr || !area->ActiveFrame()->m_bDragging) return;
  if ((event->buttons() & Qt::LeftButton) == 0) {
    // The release went elsewhere (a popup took it): the pressed view ends it.
    if (area->Host() != nullptr) area->ActiveFrame()->View()->EndDrag(*area);
    return;
  }
  area->ActiveFrame()->DragStep(ViewPoint(event));
}

void CTesselView::mouseReleaseEvent(QMouseEvent* event) {
  CLayoutArea* area = Area();
  if (event->button() != Qt::LeftButton || area == nullptr || area->Host() == nullptr) return;
  EndDrag(*area);
}

void CTesselView::EndDrag(CLayoutArea& area) {
  LayoutHost* host = area.Host();
  if (host->TakeSkipButtonUp()) return;  // the release that ends a double-click
  CChildFrame* target = area.ActiveFrame();
  if (target == nullptr) return;
  target->m_bDragging = false;
  m_rcAfter = target->WindowRect();
  if (m_rcAfter != m_rcBefore) host->SendWindowGeometry(m_nChannel);
  host->HighlightWindow(target);
}

void CTesselView::mouseDoubleClickEvent(QMouseEvent* event) {
  CLayoutArea* area = Area();
  if (event->button() != Qt::LeftButton || area == nullptr || area->Host() == nullptr) return;
  LayoutHost* host = area->Host();
  // Only the picture-in-picture and picture-out-of-picture modes maximise;
  // elsewhere a double-click does nothing at all.
  if (!IsPipPopMode(host->CurrentMode())) return;
  CChildFrame* target = area->ActiveFrame();
  if (target == nullptr || OwnFrame() == nullptr) return;
  m_rcBefore = m_rcAfter = target->WindowRect();
  if (m_bMaximized == 1) {
    host->RestoreWindow(m_nChannel, m_rcRestore);
    m_bMaximized = 0;
  } else {
    m_rcRestore = OwnFrame()->WindowRect();
    host->MaximizeWindow(m_nChannel);
    m_bMaximized = 1;
  }
  repaint();
  m_rcAfter = target->WindowRect();
  if (m_rcAfter != m_rcBefore) host->SendWindowGeometry(m_nChannel);
  host->HighlightWindow(target);
  host->SetSkipButtonUp();
}

}  // namespace panora
