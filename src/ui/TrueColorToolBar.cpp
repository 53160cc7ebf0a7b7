#include "ui/TrueColorToolBar.h"

#include <QAction>
#include <QActionEvent>
#include <QBitmap>
#include <QIcon>
#include <QMouseEvent>
#include <QToolButton>

#include "ui/Accessible.h"

namespace panora {

CTrueColorToolBar::CTrueColorToolBar(const QString& title, QWidget* parent) : QToolBar(title, parent) {
  setIconSize(QSize(kButtonSize, kButtonSize));
  setToolButtonStyle(Qt::ToolButtonIconOnly);
  // The only button a new toolbar has is its own extension button, which
  // shows the buttons that do not fit; screen readers would meet it as an
  // unnamed check box.
  for (QToolButton* b : findChildren<QToolButton*>(Qt::FindDirectChildrenOnly)) {
    // Named after its toolbar, so that the three can be told apart.
    b->setAccessibleName(QStringLiteral("More %1").arg(title.toLower()));
    b->setAccessibleDescription(QStringLiteral("Shows the buttons of \"%1\" that do not fit").arg(title));
  }
}

void CTrueColorToolBar::actionEvent(QActionEvent* event) {
  QToolBar::actionEvent(event);
  // A separator is read as one, not as an unnamed pane.
  if (event->type() == QEvent::ActionAdded && event->action()->isSeparator())
    if (QWidget* w = widgetForAction(event->action()))
      SetAccessibleRole(w, QAccessible::Separator, QString());
}

std::vector<QImage> CTrueColorToolBar::SliceImages(const QImage& strip) {
  std::vector<QImage> out;
  if (strip.isNull() || strip.width() < kButtonSize) return out;
  QImage img = strip.convertToFormat(QImage::Format_ARGB32);
  const QRgb key = img.pixel(0, 0) & 0x00FFFFFFu;
  for (int y = 0; y < img.height(); ++y) {
    auto* line = reinterpret_cast<QRgb*>(img.scanLine(y));
    for (int x = 0; x < img.width(); ++x)
      line[x] = (line[x] & 0x00FFFFFFu) == key ? 0 : (line[x] | 0xFF000000u);
  }
  const int n = img.width() / kButtonSize;
  out.reserve(n);
  for (int i = 0; i < n; ++i) out.push_back(img.copy(i * kButtonSize, 0, kButtonSize, img.height()));
  return out;
}

std::vector<QPixmap> CTrueColorToolBar::SliceStrip(const QImage& strip) {
  std::vector<QPixmap> out;
  for (const QImage& img : SliceImages(strip)) out.push_back(QPixmap::fromImage(img));
  return out;
}

bool CTrueColorToolBar::SetTrueColorImages(const QString& normal, const QString& hot,
                                           const QString& disabled) {
  const std::vector<QPixmap> states[3] = {SliceStrip(QImage(normal)), SliceStrip(QImage(hot)),
                                          SliceStrip(QImage(disabled))};
  const QIcon::Mode modes[3] = {QIcon::Normal, QIcon::Active, QIcon::Disabled};
  bool ok = true;
  std::vector<QAction*> buttons;
  for (QAction* a : actions())
    if (!a->isSeparator()) buttons.push_back(a);
  std::vector<QIcon> icons(buttons.size());
  for (std::size_t b = 0; b < buttons.size(); ++b) icons[b] = buttons[b]->icon();
  for (int s = 0; s < 3; ++s) {
    if (states[s].empty()) {
      ok = false;
      continue;
    }
    for (std::size_t b = 0; b < buttons.size() && b < states[s].size(); ++b) {
      icons[b].addPixmap(states[s][b], modes[s], QIcon::Off);
    }
  }
  for (std::size_t b = 0; b < buttons.size(); ++b) buttons[b]->setIcon(icons[b]);
  return ok;
}

void CTrueColorToolBar::mousePressEvent(QMouseEvent* event) {
  if (m_bFixed && event->button() == Qt::LeftButton)
    event->accept();
  else
    QToolBar::mousePressEvent(event);
}

void CTrueColorToolBar::mouseDoubleClickEvent(QMouseEvent* event) {
  if (m_bFixed && event->button() == Qt::LeftButton)
    event->accept();
  else
    QToolBar::mouseDoubleClickEvent(event);
}

void CTrueColorToolBar::Fix() {
  m_bFixed = true;
  setMovable(false);
  setFloatable(false);
  setAllowedAreas(Qt::TopToolBarArea);
}

}  // namespace panora
