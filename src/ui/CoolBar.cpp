#include "ui/CoolBar.h"

#include <QAbstractButton>
#include <QAccessibleWidget>
#include <QApplication>
#include <QLayout>
#include <QMainWindow>
#include <QMouseEvent>
#include <QPainter>
#include <QProxyStyle>
#include <QStyle>
#include <QStyleFactory>
#include <QWindow>
#include <utility>

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

// The bars size themselves by their own edge, so the frame's separators
// between docks, which would size them a second way, get no width.
class FrameStyle final : public QProxyStyle {
 public:
  // The application's own style (a -style option included), not the desktop's.
  FrameStyle() : QProxyStyle(QStyleFactory::create(QApplication::style()->name())) {}
  int pixelMetric(PixelMetric metric, const QStyleOption* option, const QWidget* widget) const override {
    if (metric == PM_DockWidgetSeparatorExtent) return 0;
    return QProxyStyle::pixelMetric(metric, option, widget);
  }
};

void DrawEdge3d(QPainter& p, const QRect& r, const QColor& topLeft, const QColor& bottomRight) {
  p.setPen(topLeft);
  p.drawLine(r.topLeft(), r.topRight());
  p.drawLine(r.topLeft(), r.bottomLeft());
  p.setPen(bottomRight);
  p.drawLine(r.bottomLeft(), r.bottomRight());
  p.drawLine(r.topRight(), r.bottomRight());
}

// The 13 x 13 close button: sunken while pushed, raised while hot, flat
// otherwise; its glyph is a cross 3 pixels in from the corner. The cross is
// drawn by hand, pixel by pixel: the classic close glyph comes from a Windows
// symbol font that Linux desktops do not have, and whatever font stood in
// for it would draw a letter, or a cross of another size, in its place.
class CloseButton final : public QAbstractButton {
 public:
  explicit CloseButton(QWidget* parent) : QAbstractButton(parent) {
    setFixedSize(CCoolBar::kCloseButton, CCoolBar::kCloseButton);
    setFocusPolicy(Qt::NoFocus);
    setText(QStringLiteral("Close"));
    setToolTip(QStringLiteral("Close"));
    setMouseTracking(true);
  }
  bool IsHot() const { return m_hot; }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter p(this);
    const QPalette& pal = palette();
    const QRect r = rect();
    if (isDown())
      DrawEdge3d(p, r, pal.dark().color(), pal.light().color());
    else if (m_hot)
      DrawEdge3d(p, r, pal.light().color(), pal.dark().color());
    // A cross two pixels wide in the 7 x 7 square 3 pixels in, moved one
    // pixel down and right while pushed, as a pressed button's face is.
    const int o = 3 + (isDown() ? 1 : 0), n = CCoolBar::kCloseButton - 6;
    p.setPen(pal.buttonText().color());
    for (int i = 0; i < n; ++i) {
      const int y = o + i;
      p.drawPoint(o + i, y);
      if (i + 1 < n) p.drawPoint(o + i + 1, y);
      p.drawPoint(o + n - 1 - i, y);
      if (i + 1 < n) p.drawPoint(o + n - 2 - i, y);
    }
  }
  void enterEvent(QEnterEvent* e) override {
    SetHot(true);
    QAbstractButton::enterEvent(e);
  }
  void leaveEvent(QEvent* e) override {
    SetHot(false);
    QAbstractButton::leaveEvent(e);
  }
  void mouseMoveEvent(QMouseEvent* e) override {
    SetHot(rect().contains(e->position().toPoint()));
    QAbstractButton::mouseMoveEvent(e);
  }

 private:
  void SetHot(bool hot) {
    if (hot == m_hot) return;
    m_hot = hot;
    update();
  }
  bool m_hot = false;
};

// The strip with the close button. Docked it shows the gripper, floating the
// caption. Presses outside the button are left to the dock widget, so the
// strip drags the bar and a double click floats or docks it.
class CoolBarTitle final : public QWidget {
 public:
  explicit CoolBarTitle(CCoolBar* bar) : QWidget(bar), m_bar(bar), m_close(new CloseButton(this)) {
    setAccessibleName(QStringLiteral("Gripper"));
    QObject::connect(m_close, &QAbstractButton::clicked, bar, [bar] { bar->close(); });
  }
  CloseButton* Close() const { return m_close; }

  QSize sizeHint() const override {
    const int s = CCoolBar::kGripper + 2;
    if (!m_bar->isFloating()) return {s, s};
    return {s, qMax(s, fontMetrics().height() + 2)};
  }
  QSize minimumSizeHint() const override { return sizeHint(); }

 protected:
  bool Vertical() const { return m_bar->features().testFlag(QDockWidget::DockWidgetVerticalTitleBar); }
  void resizeEvent(QResizeEvent*) override { PlaceButton(); }
  void showEvent(QShowEvent*) override { PlaceButton(); }
  void PlaceButton() {
    const int s = CCoolBar::kCloseButton;
    // Docked at the top or bottom the button heads the strip; otherwise it
    // ends it.
    m_close->move(Vertical() ? QPoint(0, 1) : QPoint(width() - s - 1, (height() - s) / 2));
  }
  void paintEvent(QPaintEvent*) override {
    QPainter p(this);
    const QPalette& pal = palette();
    const QRect cb = m_close->geometry();
    if (m_bar->isFloating()) {
      QRect text = rect().adjusted(3, 0, -(width() - cb.left()) - 2, 0);
      p.setPen(pal.windowText().color());
      p.drawText(text, Qt::AlignVCenter | Qt::AlignLeft,
                 fontMetrics().elidedText(m_bar->windowTitle(), Qt::ElideRight, text.width()));
      return;
    }
    // Two raised bars, 3 pixels thick, side by side from past the button to
    // the far end.
    for (int i = 0; i < 2; ++i) {
      const QRect r = Vertical() ? QRect(3 + i * 4, cb.bottom() + 4, 3, height() - cb.bottom() - 6)
                                 : QRect(2, 3 + i * 4, cb.left() - 5, 3);
      if (r.width() <= 0 || r.height() <= 0) continue;
      DrawEdge3d(p, r, pal.light().color(), pal.dark().color());
    }
  }

 private:
  CCoolBar* m_bar;
  CloseButton* m_close;
};

// The 5-pixel edge facing the frame's client area.
class CoolBarEdge final : public QWidget {
 public:
  CoolBarEdge(CCoolBar* bar, QWidget* parent) : QWidget(parent), m_bar(bar) {}

 protected:
  void mousePressEvent(QMouseEvent* e) override {
    if (e->button() != Qt::LeftButton) return e->ignore();
    m_bar->BeginTrack(e->globalPosition().toPoint());
  }
  void mouseMoveEvent(QMouseEvent* e) override {
    if (m_bar->IsTracking()) m_bar->Track(e->globalPosition().toPoint());
  }
  void mouseReleaseEvent(QMouseEvent* e) override {
    if (e->button() == Qt::LeftButton && m_bar->IsTracking()) {
      m_bar->Track(e->globalPosition().toPoint());
      m_bar->EndTrack();
    }
  }

 private:
  CCoolBar* m_bar;
};

// The halftone line shown where the edge would go: the window's own pixels,
// every other one inverted.
class HalftoneLine final : public QWidget {
 public:
  HalftoneLine(QWidget* window, QImage back) : QWidget(window), m_back(std::move(back)) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setObjectName(QStringLiteral("CoolBarTracker"));
  }

 protected:
  void paintEvent(QPaintEvent*) override {
    const QRect src = geometry().intersected(m_back.rect());
    QImage img = m_back.copy(src).convertToFormat(QImage::Format_RGB32);
    for (int y = 0; y < img.height(); ++y) {
      auto* line = reinterpret_cast<QRgb*>(img.scanLine(y));
      for (int x = (src.x() + src.y() + y) & 1; x < img.width(); x += 2) line[x] = ~line[x] | 0xFF000000u;
    }
    QPainter(this).drawImage(src.topLeft() - geometry().topLeft(), img);
  }

 private:
  QImage m_back;
};

}  // namespace

// The bar's client area: the child and the sizing edge on the side that
// faces the frame's client area. It keeps the child at its whole size, and
// asks nothing of the child's minimum, so the bar's own minimum rules.
class CCoolBarClient final : public QWidget {
 public:
  explicit CCoolBarClient(CCoolBar* bar) : QWidget(bar), m_bar(bar), m_edge(new CoolBarEdge(bar, this)) {
    m_edge->setObjectName(QStringLiteral("SizingEdge"));
  }
  QWidget* Edge() const { return m_edge; }
  void SetChild(QWidget* child) {
    if (child != nullptr) {
      child->setParent(this);
      child->show();
    }
    m_child = child;
    m_edge->raise();
    updateGeometry();
    Relayout();
  }
  QSize sizeHint() const override {
    const QSize c = m_child != nullptr ? m_child->sizeHint() : QSize(0, 0);
    return c + QSize(CCoolBar::kEdge, CCoolBar::kEdge);
  }
  QSize minimumSizeHint() const override { return {0, 0}; }
  QRect ChildRect() const {
    QRect r = rect();
    switch (m_bar->DockSide()) {
      case Qt::LeftDockWidgetArea: r.setRight(r.right() - CCoolBar::kEdge); break;
      case Qt::RightDockWidgetArea: r.setLeft(r.left() + CCoolBar::kEdge); break;
      case Qt::TopDockWidgetArea: r.setBottom(r.bottom() - CCoolBar::kEdge); break;
      case Qt::BottomDockWidgetArea: r.setTop(r.top() + CCoolBar::kEdge); break;
      default: break;
    }
    return r;
  }
  void Relayout() {
    const QRect inner = ChildRect();
    const QRect all = rect();
    switch (m_bar->DockSide()) {
      case Qt::LeftDockWidgetArea:
        m_edge->setGeometry(inner.right() + 1, 0, CCoolBar::kEdge, all.height());
        break;
      case Qt::RightDockWidgetArea: m_edge->setGeometry(0, 0, CCoolBar::kEdge, all.height()); break;
      case Qt::TopDockWidgetArea:
        m_edge->setGeometry(0, inner.bottom() + 1, all.width(), CCoolBar::kEdge);
        break;
      case Qt::BottomDockWidgetArea: m_edge->setGeometry(0, 0, all.width(), CCoolBar::kEdge); break;
      default: break;
    }
    const Qt::DockWidgetArea side = m_bar->DockSide();
    m_edge->setVisible(side != Qt::NoDockWidgetArea);
    m_edge->setCursor(side == Qt::LeftDockWidgetArea || side == Qt::RightDockWidgetArea ? Qt::SizeHorCursor
                                                                                        : Qt::SizeVerCursor);
    // The child may refuse to be smaller than its minimum; it is clipped then.
    if (m_child != nullptr) m_child->setGeometry(inner);
  }

 protected:
  void resizeEvent(QResizeEvent*) override { Relayout(); }

 private:
  CCoolBar* m_bar;
  CoolBarEdge* m_edge;
  QPointer<QWidget> m_child;
};

CCoolBar::CCoolBar(const QString& title, QSize defaultSize, int id, QWidget* parent)
    : QDockWidget(title, parent), m_szDefault(defaultSize), m_nId(id), m_pOwner(parent) {
  setObjectName(QString::number(id));
  static const bool factoryInstalled = [] {
    QAccessible::installFactory(CoolBarFactory);
    return true;
  }();
  (void)factoryInstalled;
  if (auto* frame = qobject_cast<QMainWindow*>(parent);
      frame != nullptr && frame->findChild<FrameStyle*>() == nullptr) {
    auto* style = new FrameStyle;
    style->setParent(frame);
    frame->setStyle(style);
  }
  setCursor(Qt::ArrowCursor);
  setBackgroundRole(QPalette::Button);
  setAutoFillBackground(true);
  m_title = new CoolBarTitle(this);
  setTitleBarWidget(m_title);
  m_client = new CCoolBarClient(this);
  QDockWidget::setWidget(m_client);
  setFeatures(QDockWidget::DockWidgetClosable | QDockWidget::DockWidgetMovable |
              QDockWidget::DockWidgetFloatable);
  connect(this, &QDockWidget::dockLocationChanged, this, &CCoolBar::OnDockLocation);
  connect(this, &QDockWidget::topLevelChanged, this, &CCoolBar::OnFloating);
  m_focusWatch = connect(qApp, &QApplication::focusChanged, this, [this](QWidget*, QWidget* now) {
    const bool active = now != nullptr && isAncestorOf(now);
    if (active == m_bActive) return;
    m_bActive = active;
    m_title->update();
  });
  ReadDesktopSetting();
  UpdateMinimum();
}

CCoolBar::~CCoolBar() {
  // QWidget's destructor moves the focus away from the children it deletes;
  // the bar must not hear of it half destroyed.
  disconnect(m_focusWatch);
  delete m_tracker;  // a line still shown belongs to the window, not the bar
}

void CCoolBar::setWidget(QWidget* child) {
  m_child = child;
  m_client->SetChild(child);
}

QAbstractButton* CCoolBar::CloseButton() const {
  return static_cast<CoolBarTitle*>(m_title)->Close();
}

QWidget* CCoolBar::SizingEdge() const {
  return m_client->Edge();
}

Qt::DockWidgetArea CCoolBar::DockSide() const {
  if (isFloating()) return Qt::NoDockWidgetArea;
  auto* frame = qobject_cast<QMainWindow*>(parentWidget());
  return frame != nullptr ? frame->dockWidgetArea(const_cast<CCoolBar*>(this)) : Qt::NoDockWidgetArea;
}

void CCoolBar::OnDockLocation(Qt::DockWidgetArea area) {
  QDockWidget::DockWidgetFeatures f = features();
  f.setFlag(QDockWidget::DockWidgetVerticalTitleBar,
            area == Qt::TopDockWidgetArea || area == Qt::BottomDockWidgetArea);
  setFeatures(f);
  m_title->updateGeometry();
  m_title->update();
  m_client->Relayout();
  UpdateMinimum();
}

void CCoolBar::OnFloating(bool floating) {
  if (floating) {
    QDockWidget::DockWidgetFeatures f = features();
    f.setFlag(QDockWidget::DockWidgetVerticalTitleBar, false);
    setFeatures(f);
  }
  m_title->updateGeometry();
  m_title->update();
  m_client->Relayout();
  UpdateMinimum();
}

void CCoolBar::UpdateMinimum() {
  // The dock's minimum is the client's plus the strip (and, floating, the
  // frame); the client's is set so that the whole bar comes to the minimum.
  const QSize want = isFloating() ? kMinFloating : kMinDocked;
  QSize client(0, 0);
  for (int pass = 0; pass < 2 && layout() != nullptr; ++pass) {
    m_client->setMinimumSize(client);
    const QSize have = layout()->minimumSize();
    if (have == want) break;
    client = QSize(qMax(0, client.width() + want.width() - have.width()),
                   qMax(0, client.height() + want.height() - have.height()));
  }
  m_client->setMinimumSize(client);
}

void CCoolBar::ReadDesktopSetting() {
  m_bDragFullWindows = style()->styleHint(QStyle::SH_Splitter_OpaqueResize, nullptr, this) != 0;
}

void CCoolBar::changeEvent(QEvent* event) {
  QDockWidget::changeEvent(event);
  switch (event->type()) {
    case QEvent::StyleChange:
    case QEvent::ThemeChange: ReadDesktopSetting(); break;
    case QEvent::WindowTitleChange: m_title->update(); break;
    default: break;
  }
}

int CCoolBar::Extent() const {
  const Qt::DockWidgetArea side = DockSide();
  return side == Qt::LeftDockWidgetArea || side == Qt::RightDockWidgetArea ? width() : height();
}

void CCoolBar::BeginTrack(QPoint global) {
  // The release of a track before may never have come: end it, and its line.
  if (m_bTracking) EndTrack();
  auto* frame = qobject_cast<QMainWindow*>(parentWidget());
  const Qt::DockWidgetArea side = DockSide();
  if (frame == nullptr || side == Qt::NoDockWidgetArea) return;
  const bool horz = side == Qt::LeftDockWidgetArea || side == Qt::RightDockWidgetArea;
  m_bTracking = true;
  m_ptTrackStart = global;
  m_nTrackStart = m_nTrackCurrent = Extent();
  // No smaller than the minimum, and the frame's client area keeps 2 pixels.
  m_nTrackMin = horz ? kMinDocked.width() : kMinDocked.height();
  const QWidget* central = frame->centralWidget();
  const int room = central != nullptr ? (horz ? central->width() : central->height()) - 2 : 0;
  m_nTrackMax = qMax(m_nTrackMin, m_nTrackStart + qMax(0, room));
  qApp->installEventFilter(this);
  if (!m_bDragFullWindows) {
    QWidget* win = window();
    m_tracker = new HalftoneLine(win, win->grab().toImage());
    m_tracker->setGeometry(TrackerRect(m_nTrackStart));
    m_tracker->raise();
    m_tracker->show();
  }
}

int CCoolBar::TrackedExtent(QPoint global) const {
  const QPoint d = global - m_ptTrackStart;
  int delta = 0;
  switch (DockSide()) {
    case Qt::LeftDockWidgetArea: delta = d.x(); break;
    case Qt::RightDockWidgetArea: delta = -d.x(); break;
    case Qt::TopDockWidgetArea: delta = d.y(); break;
    case Qt::BottomDockWidgetArea: delta = -d.y(); break;
    default: break;
  }
  return qBound(m_nTrackMin, m_nTrackStart + delta, m_nTrackMax);
}

void CCoolBar::Track(QPoint global) {
  if (!m_bTracking) return;
  const int extent = TrackedExtent(global);
  if (extent == m_nTrackCurrent) return;
  m_nTrackCurrent = extent;
  if (m_tracker != nullptr)
    m_tracker->setGeometry(TrackerRect(extent));
  else
    ApplyExtent(extent);
}

void CCoolBar::EndTrack() {
  if (!m_bTracking) return;
  m_bTracking = false;
  qApp->removeEventFilter(this);
  delete m_tracker;  // the pointer follows
  ApplyExtent(m_nTrackCurrent);
}

bool CCoolBar::LosesTrack(QObject* watched, const QEvent* event) const {
  QWidget* win = window();
  const bool ourWindow = watched == win || (win->windowHandle() != nullptr && watched == win->windowHandle());
  switch (event->type()) {
    case QEvent::WindowBlocked:
    case QEvent::WindowDeactivate: return ourWindow;
    case QEvent::Hide: return watched == this;
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseMove:
      // While the edge holds the mouse, every mouse event is the edge's.
      return qobject_cast<QWidget*>(watched) != nullptr && watched != SizingEdge();
    default: return false;
  }
}

bool CCoolBar::eventFilter(QObject* watched, QEvent* event) {
  if (m_bTracking && LosesTrack(watched, event)) EndTrack();
  return QDockWidget::eventFilter(watched, event);
}

void CCoolBar::ApplyExtent(int extent) {
  auto* frame = qobject_cast<QMainWindow*>(parentWidget());
  if (frame == nullptr) return;
  const Qt::DockWidgetArea side = DockSide();
  const Qt::Orientation o =
      side == Qt::LeftDockWidgetArea || side == Qt::RightDockWidgetArea ? Qt::Horizontal : Qt::Vertical;
  frame->resizeDocks({this}, {extent}, o);
  if (frame->layout() != nullptr) frame->layout()->activate();
}

QRect CCoolBar::TrackerRect(int extent) const {
  const QRect g(mapTo(window(), QPoint(0, 0)), size());
  switch (DockSide()) {
    case Qt::LeftDockWidgetArea: return {g.left() + extent - kEdge, g.top(), kEdge, g.height()};
    case Qt::RightDockWidgetArea: return {g.right() + 1 - extent, g.top(), kEdge, g.height()};
    case Qt::TopDockWidgetArea: return {g.left(), g.top() + extent - kEdge, g.width(), kEdge};
    case Qt::BottomDockWidgetArea: return {g.left(), g.bottom() + 1 - extent, g.width(), kEdge};
    default: return {};
  }
}

}  // namespace panora
