#include "ui/CoolBar.h"

#include <QAccessibleWidget>
#include <QMouseEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOption>

namespace panora {
namespace {

// The bar as screen readers see it: named by its accessible name (Qt reads a
// dock widget by its caption), holding the gripper and the bar's content but
// not the standard title buttons, which this bar keeps hidden for good.
class CoolBarAccessible final : public QAccessibleWidget {
 public:
  explicit CoolBarAccessible(QWidget* bar) : QAccessibleWidget(bar, QAccessible::Window) {}
  int childCount() const override { return static_cast<int>(Parts().size()); }
  QAccessibleInterface* child(int index) const override {
    const QList<QWidget*> parts = Parts();
    return index >= 0 && index < parts.size() ? QAccessible::queryAccessibleInterface(parts[index]) : nullptr;
  }
  int indexOfChild(const QAccessibleInterface* child) const override {
    return child != nullptr ? static_cast<int>(Parts().indexOf(qobject_cast<QWidget*>(child->object()))) : -1;
  }

 private:
  QList<QWidget*> Parts() const {
    QList<QWidget*> parts;
    for (QObject* o : widget()->children()) {
      auto* w = qobject_cast<QWidget*>(o);
      if (w != nullptr && !w->isWindow() && !w->isHidden()) parts << w;
    }
    return parts;
  }
};

QAccessibleInterface* CoolBarFactory(const QString&, QObject* object) {
  auto* bar = qobject_cast<CCoolBar*>(object);
  return bar != nullptr ? new CoolBarAccessible(bar) : nullptr;
}

// The gripper strip with its close button. Presses outside the button are
// left to the dock widget, so the strip still drags the bar.
class CoolBarTitle : public QWidget {
 public:
  explicit CoolBarTitle(CCoolBar* bar) : QWidget(bar), m_bar(bar) {
    setMouseTracking(true);
    setAccessibleName(QStringLiteral("Gripper"));
  }
  QSize sizeHint() const override { return {CCoolBar::kGripper + 2, CCoolBar::kGripper + 2}; }
  QSize minimumSizeHint() const override { return sizeHint(); }

 protected:
  bool Vertical() const { return m_bar->features().testFlag(QDockWidget::DockWidgetVerticalTitleBar); }
  QRect CloseRect() const {
    const int s = CCoolBar::kCloseButton;
    return Vertical() ? QRect(0, 1, s, s) : QRect(width() - s - 1, 0, s, s);
  }
  void paintEvent(QPaintEvent*) override {
    QPainter p(this);
    const QPalette& pal = palette();
    const QRect cb = CloseRect();
    // Two raised bars, 3 pixels thick, side by side from past the button to the end.
    for (int i = 0; i < 2; ++i) {
      QRect r = Vertical() ? QRect(2 + i * 4, cb.bottom() + 4, 3, height() - cb.bottom() - 6)
                           : QRect(2, 2 + i * 4, cb.left() - 6, 3);
      if (r.width() <= 0 || r.height() <= 0) continue;
      p.fillRect(r, pal.button());
      p.setPen(pal.light().color());
      p.drawLine(r.topLeft(), r.topRight());
      p.drawLine(r.topLeft(), r.bottomLeft());
      p.setPen(pal.dark().color());
      p.drawLine(r.bottomLeft(), r.bottomRight());
      p.drawLine(r.topRight(), r.bottomRight());
    }
    if (m_hot || m_pushed) {
      p.setPen(m_pushed ? pal.dark().color() : pal.light().color());
      p.drawLine(cb.topLeft(), cb.topRight());
      p.drawLine(cb.topLeft(), cb.bottomLeft());
      p.setPen(m_pushed ? pal.light().color() : pal.dark().color());
      p.drawLine(cb.bottomLeft(), cb.bottomRight());
      p.drawLine(cb.topRight(), cb.bottomRight());
    }
    p.setPen(QPen(pal.buttonText().color(), 1.2));
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF g = QRectF(cb).adjusted(3.5, 3.5, -3.5, -3.5);
    p.drawLine(g.topLeft(), g.bottomRight());
    p.drawLine(g.topRight(), g.bottomLeft());
  }
  void mousePressEvent(QMouseEvent* e) override {
    if (CloseRect().contains(e->position().toPoint())) {
      m_pushed = true;
      update();
      e->accept();
    } else {
      e->ignore();
    }
  }
  void mouseMoveEvent(QMouseEvent* e) override {
    const bool hot = CloseRect().contains(e->position().toPoint());
    if (hot != m_hot) {
      m_hot = hot;
      update();
    }
    e->ignore();
  }
  void mouseReleaseEvent(QMouseEvent* e) override {
    if (m_pushed) {
      m_pushed = false;
      update();
      if (CloseRect().contains(e->position().toPoint())) m_bar->close();
      e->accept();
    } else {
      e->ignore();
    }
  }
  void leaveEvent(QEvent*) override {
    m_hot = false;
    update();
  }

 private:
  CCoolBar* m_bar;
  bool m_hot = false;
  bool m_pushed = false;
};

}  // namespace

CCoolBar::CCoolBar(const QString& title, QSize defaultSize, int id, QWidget* parent)
    : QDockWidget(title, parent), m_szDefault(defaultSize), m_nId(id) {
  setObjectName(QString::number(id));
  static const bool factoryInstalled = [] {
    QAccessible::installFactory(CoolBarFactory);
    return true;
  }();
  (void)factoryInstalled;
  setTitleBarWidget(new CoolBarTitle(this));
  setFeatures(QDockWidget::DockWidgetClosable | QDockWidget::DockWidgetMovable |
              QDockWidget::DockWidgetFloatable);
  setMinimumSize(kMinDocked, 32);
  connect(this, &QDockWidget::dockLocationChanged, this, &CCoolBar::OnDockLocation);
}

void CCoolBar::OnDockLocation(Qt::DockWidgetArea area) {
  QDockWidget::DockWidgetFeatures f = features();
  f.setFlag(QDockWidget::DockWidgetVerticalTitleBar,
            area == Qt::TopDockWidgetArea || area == Qt::BottomDockWidgetArea);
  setFeatures(f);
}

}  // namespace panora
