#include "ui/BaseButton.h"

#include <QFontMetricsF>
#include <QLinearGradient>
#include <QMouseEvent>
#include <QPainter>
#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "ui/Accessible.h"

namespace panora {

namespace {
// Hover time of the mouse before the face turns green.
constexpr int kHoverMs = 1;
}  // namespace

CBaseButton::CBaseButton(QWidget* parent) : QPushButton(parent) {
  // Its accessible "press" clicks at once, as the mouse does.
  InstallAccessibleFactory();
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

QFont CBaseButton::CaptionFont() {
  // The caption was made for a font 14 pixels high whose characters are 6
  // pixels wide on average, the face left to the system, which narrows the
  // face to that width. The nearest here: Liberation Sans, Arial's metric
  // twin (the panels use it too), at 14 pixels, narrowed by its stretch
  // until its lowercase letters average 6 pixels (about 88 %). Should
  // another face stand in, it is narrowed or widened the same way.
  QFont f(QStringLiteral("Liberation Sans"));
  f.setStyleHint(QFont::SansSerif);
  f.setPixelSize(kCaptionHeight);
  const QString letters = QStringLiteral("abcdefghijklmnopqrstuvwxyz");
  const double average = QFontMetricsF(f).horizontalAdvance(letters) / letters.size();
  if (average > 0 && std::abs(average - kCaptionWidth) > 0.25)
    f.setStretch(std::clamp(static_cast<int>(std::lround(100 * kCaptionWidth / average)), 50, 200));
  return f;
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
    // Centred on the corner box and cut off at its edges: a two-digit number
    // is wider than the box and must not run into the caption.
    p.save();
    p.setClipRect(kCornerBox);
    p.drawText(kCornerBox, Qt::AlignCenter | Qt::TextSingleLine | Qt::TextDontClip, m_strCorner);
    p.restore();
  }
  p.setFont(CaptionFont());
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
