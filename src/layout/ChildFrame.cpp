#include "layout/ChildFrame.h"

#include <qdrawutil.h>

#include <QPainter>
#include <QStyle>

#include "layout/TesselView.h"
#include "ui/Accessible.h"

namespace panora {

CChildFrame::CChildFrame(QWidget* layoutClient) : QWidget(layoutClient) {
  m_pView = new CTesselView(this);
  m_nChannel = m_pView->Channel();
  setObjectName(QStringLiteral("frameCH%1").arg(m_nChannel + 1));
  SetAccessibleRole(this, QAccessible::Window, QStringLiteral("CH%1").arg(m_nChannel + 1));
  resize(kInitialWidth, kInitialHeight);
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
}

}  // namespace panora
