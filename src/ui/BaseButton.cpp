#include "ui/BaseButton.h"

#include <QLinearGradient>
#include <QMouseEvent>
#include <QPainter>

namespace panora {

namespace {
// Hover time of the mouse before the face turns green.
constexpr int kHoverMs = 1;
}  // namespace

CBaseButton::CBaseButton(QWidget* parent) : QPushButton(parent) {
  setMouseTracking(true);
  // The dialog decides what Enter does; a mode button is chosen by a click or Space.
  setAutoDefault(false);
  setDefault(false);
  m_hoverTimer.setSingleShot(true);
  m_hoverTimer.setInterval(kHoverMs);
  connect(&m_hoverTimer, &QTimer::timeout, this, &CBaseButton::OnMouseHover);
}

void CBaseButton::Create(const QString& caption, const QRect& rect, QWidget* parent, int id) {
  m_strCaption = caption;
  m_strCorner = caption;
  setParent(parent);
  setObjectName(QString::number(id));
  setText(caption);
  setGeometry(rect);
  show();
}

void CBaseButton::SetCaption(const QString& caption) {
  m_strCaption = caption;
  setText(caption);
  update();
}

void CBaseButton::SetStyle(int style) {
  m_nStyle = style;
  update();
}

std::pair<QColor, QColor> CBaseButton::Scheme(int style, bool hover) {
  if (hover) return {QColor(0, 255, 0), QColor(255, 255, 255)};
  switch (style) {
    case 1: return {QColor(255, 255, 0), QColor(0, 0, 0)};
    case 2: return {QColor(255, 255, 255), QColor(255, 0, 0)};
    case 3: return {QColor(199, 224, 248), QColor(64, 148, 232)};
    case 4: return {QColor(245, 248, 199), QColor(218, 227, 28)};
    default: return {QColor(255, 255, 255), QColor(255, 255, 255)};
  }
}

void CBaseButton::paintEvent(QPaintEvent*) {
  // The whole face is drawn here; pressed, focused and disabled look the
  // same, and there is no focus rectangle.
  QPainter p(this);
  const QRect r = rect();
  const auto [top, bottom] = Scheme(m_nStyle, m_bHover != 0);
  QLinearGradient g(r.topLeft(), r.bottomLeft());
  g.setColorAt(0, top);
  g.setColorAt(1, bottom);
  p.fillRect(r, g);

  if (!m_strCorner.isEmpty()) {
    QFont corner = font();
    corner.setPixelSize(12);
    corner.setWeight(QFont::Normal);
    corner.setStyleHint(QFont::SansSerif);
    p.setFont(corner);
    p.setPen(QColor(255, 0, 0));
    // Centred on the 9 x 9 corner box; the text may spill over it.
    p.drawText(QRect(1, 1, 9, 9).adjusted(-10, -10, 10, 10), Qt::AlignCenter | Qt::TextSingleLine,
               m_strCorner);
  }
  QFont caption = font();
  caption.setPixelSize(14);
  p.setFont(caption);
  p.setPen(Qt::black);
  p.drawText(r.adjusted(3, 3, -3, -3), Qt::AlignCenter | Qt::TextSingleLine, m_strCaption);
  // The thin border the buttons are created with.
  p.setPen(Qt::black);
  p.drawRect(r.adjusted(0, 0, -1, -1));
}

void CBaseButton::mouseMoveEvent(QMouseEvent* event) {
  if (m_bTracking == 0) {
    m_bTracking = 1;
    m_hoverTimer.start();
  }
  QPushButton::mouseMoveEvent(event);
}

void CBaseButton::OnMouseHover() {
  m_bHover = 1;
  update();
}

void CBaseButton::leaveEvent(QEvent* event) {
  m_hoverTimer.stop();
  m_bHover = 0;
  m_bTracking = 0;
  update();
  QPushButton::leaveEvent(event);
}

}  // namespace panora
