#include "panels/CoolTabCtrl.h"

#include <QAccessibleWidget>
#include <QPainter>
#include <QPointer>
#include <QSignalBlocker>
#include <QStyle>
#include <QStyleOptionFocusRect>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <initializer_list>
#include <vector>

#include "ui/Accessible.h"

namespace panora {
namespace {

// One tab as screen readers see it: a page tab, named after its page and
// selected while its page is shown; pressing it shows the page.
class TabAccessible final : public QAccessibleInterface, public QAccessibleActionInterface {
 public:
  TabAccessible(CCoolTabStrip* bar, int index) : m_bar(bar), m_index(index) {}

  void* interface_cast(QAccessible::InterfaceType t) override {
    return t == QAccessible::ActionInterface ? static_cast<QAccessibleActionInterface*>(this) : nullptr;
  }
  bool isValid() const override { return m_bar != nullptr && m_index < m_bar->count(); }
  QObject* object() const override { return nullptr; }
  QWindow* window() const override { return Bar() != nullptr ? Bar()->window() : nullptr; }
  QAccessibleInterface* parent() const override { return Bar(); }
  QAccessibleInterface* child(int) const override { return nullptr; }
  int childCount() const override { return 0; }
  int indexOfChild(const QAccessibleInterface*) const override { return -1; }
  QAccessibleInterface* childAt(int, int) const override { return nullptr; }

  QString text(QAccessible::Text t) const override {
    if (!isValid() || t != QAccessible::Name) return {};
    const QString name = m_bar->accessibleTabName(m_index);
    return name.isEmpty() ? m_bar->tabText(m_index) : name;
  }
  void setText(QAccessible::Text, const QString&) override {}
  QRect rect() const override {
    if (!isValid()) return {};
    const QRect r = m_bar->tabRect(m_index);
    return QRect(m_bar->mapToGlobal(r.topLeft()), r.size());
  }
  QAccessible::Role role() const override { return QAccessible::PageTab; }
  QAccessible::State state() const override {
    QAccessible::State s;
    if (!isValid()) {
      s.invalid = true;
      return s;
    }
    s.selectable = true;
    s.selected = m_bar->currentIndex() == m_index;
    s.focusable = m_bar->focusPolicy() != Qt::NoFocus;
    s.focused = s.selected && m_bar->hasFocus();
    s.disabled = !m_bar->isTabEnabled(m_index);
    s.invisible = !m_bar->isVisible() || !m_bar->isTabVisible(m_index);
    s.offscreen = !m_bar->rect().intersects(m_bar->tabRect(m_index));
    return s;
  }

  QStringList actionNames() const override {
    if (!isValid() || !m_bar->isEnabled() || !m_bar->isVisible() || !m_bar->isTabEnabled(m_index) ||
        !m_bar->isTabVisible(m_index))
      return {};
    return {pressAction()};
  }
  void doAction(const QString& name) override {
    if (isValid() && name == pressAction()) m_bar->ClickTab(m_index);
  }
  QStringList keyBindingsForAction(const QString&) const override { return {}; }

 private:
  QAccessibleInterface* Bar() const { return QAccessible::queryAccessibleInterface(m_bar.data()); }
  QPointer<CCoolTabStrip> m_bar;
  int m_index;
};

// The tab strip: the tabs first, then the strip's own scroll buttons. Qt's
// own tab strip does not say which tab is selected.
class TabBarAccessible final : public QAccessibleWidget {
 public:
  explicit TabBarAccessible(CCoolTabStrip* bar) : QAccessibleWidget(bar, QAccessible::PageTabList) {}
  ~TabBarAccessible() override {
    for (QAccessible::Id id : m_tabs)
      if (id != 0) QAccessible::deleteAccessibleInterface(id);
  }

  int childCount() const override { return Bar()->count() + QAccessibleWidget::childCount(); }
  QAccessibleInterface* child(int index) const override {
    const int tabs = Bar()->count();
    if (index < 0) return nullptr;
    if (index >= tabs) return QAccessibleWidget::child(index - tabs);
    if (m_tabs.size() <= static_cast<std::size_t>(index)) m_tabs.resize(index + 1, 0);
    if (m_tabs[index] == 0)
      m_tabs[index] = QAccessible::registerAccessibleInterface(new TabAccessible(Bar(), index));
    return QAccessible::accessibleInterface(m_tabs[index]);
  }
  int indexOfChild(const QAccessibleInterface* child) const override {
    for (std::size_t i = 0; i < m_tabs.size(); ++i)
      if (m_tabs[i] != 0 && QAccessible::accessibleInterface(m_tabs[i]) == child) return static_cast<int>(i);
    const int i = QAccessibleWidget::indexOfChild(child);
    return i < 0 ? -1 : i + Bar()->count();
  }
  QAccessibleInterface* childAt(int x, int y) const override {
    for (int i = 0; i < Bar()->count(); ++i) {
      QAccessibleInterface* tab = child(i);
      if (tab->rect().contains(x, y)) return tab;
    }
    return QAccessibleWidget::childAt(x, y);
  }
  QAccessibleInterface* focusChild() const override {
    return Bar()->hasFocus() && Bar()->currentIndex() >= 0 ? child(Bar()->currentIndex()) : nullptr;
  }
  QString text(QAccessible::Text t) const override {
    QString s = QAccessibleWidget::text(t);
    if (t == QAccessible::Name && s.isEmpty() && Bar()->currentIndex() >= 0)
      s = child(Bar()->currentIndex())->text(t);
    return s;
  }

 private:
  CCoolTabStrip* Bar() const { return static_cast<CCoolTabStrip*>(widget()); }
  mutable std::vector<QAccessible::Id> m_tabs;
};

QAccessibleInterface* TabStripFactory(const QString&, QObject* object) {
  auto* strip = qobject_cast<CCoolTabStrip*>(object);
  return strip != nullptr ? new TabBarAccessible(strip) : nullptr;
}

// Lines as the classic drawing calls make them: from the first point up to,
// but not including, the last; horizontal, vertical or diagonal.
void Line(QPainter& p, QPoint from, QPoint to) {
  const QPoint d = to - from;
  const int n = std::max(std::abs(d.x()), std::abs(d.y()));
  for (int k = 0; k < n; ++k)
    p.drawPoint(from + QPoint(static_cast<int>(std::lround(static_cast<double>(d.x()) * k / n)),
                              static_cast<int>(std::lround(static_cast<double>(d.y()) * k / n))));
}
void Polyline(QPainter& p, std::initializer_list<QPoint> points) {
  for (auto it = points.begin(); it + 1 != points.end(); ++it) Line(p, *it, *(it + 1));
}
// A filled rectangle whose right and bottom edges lie outside it.
void Fill(QPainter& p, int l, int t, int r, int b, const QColor& c) {
  if (r > l && b > t) p.fillRect(QRect(l, t, r - l, b - t), c);
}

}  // namespace

// ---- the strip -----------------------------------------------------------

CCoolTabStrip::CCoolTabStrip(QWidget* parent) : QTabBar(parent) {
  setDrawBase(false);
  setExpanding(false);
  setUsesScrollButtons(false);
  setElideMode(Qt::ElideNone);
  setIconSize(QSize(16, 16));
  // The tabs only: the frame of the control beneath shows between them.
  setAutoFillBackground(false);
}

void CCoolTabStrip::ClickTab(int index) {
  // As the mouse: a disabled or hidden tab takes no click.
  if (index < 0 || index >= count() || !isTabEnabled(index) || !isTabVisible(index)) return;
  if (ClickReaches(this)) setCurrentIndex(index);
}

void CCoolTabStrip::wheelEvent(QWheelEvent* event) {
  // Turning the wheel over the strip, on the way elsewhere, changes no page.
  event->ignore();
}

QSize CCoolTabStrip::tabSizeHint(int index) const {
  // A tab is 9 pixels of edges plus its title, and 18 more with an icon;
  // when they do not all fit the strip they share it evenly.
  int w = 9 + fontMetrics().horizontalAdvance(tabText(index)) + (tabIcon(index).isNull() ? 0 : 18);
  if (count() > 0 && width() > 0 && count() * w > width()) w = std::max(1, width() / count());
  return QSize(w, CCoolTabCtrl::kStripHeight + 2);
}

void CCoolTabStrip::paintEvent(QPaintEvent*) {
  QPainter p(this);
  const QColor face = palette().color(QPalette::Button);
  const QColor shadow = palette().color(QPalette::Dark);
  for (int i = 0; i < count(); ++i) {
    const QRect rc = tabRect(i);
    // The tab's own rectangle starts 2 pixels down: the shown tab reaches up
    // over the page frame's bottom line and so joins the page.
    int l = rc.left(), t = rc.top() + 2, r = rc.left() + rc.width() - 1, b = rc.top() + rc.height() - 1;
    const int tabTop = t, tabBottom = b;
    const bool active = i == currentIndex();
    if (active) {
      Fill(p, l, t - 2, r, b, face);
      t -= 1;
    } else {
      b -= 1;
    }
    Fill(p, l, tabTop, r, tabBottom, face);
    p.setPen(Qt::white);
    Line(p, {l, t}, {l, b - 1});
    p.setPen(shadow);
    Polyline(p, {{l + 1, b - 2}, {l + 1, b - 1}, {r - 1, b - 1}});
    Polyline(p, {{r - 2, b - 2}, {r - 1, b - 2}, {r - 1, t - 1}});
    p.setPen(Qt::black);
    Polyline(p, {{l + 2, b}, {r - 2, b}, {r, b - 2}});
    Line(p, {r, t}, {r, b - 1});
    t -= 1;
    const QIcon icon = tabIcon(i);
    if (!icon.isNull() && r - l - 7 > 16) {
      const QRect iconRect(l + 5, t + 3, 16, 16);
      icon.paint(&p, iconRect, Qt::AlignCenter, isTabEnabled(i) ? QIcon::Normal : QIcon::Disabled);
      if (active && hasFocus()) {
        QStyleOptionFocusRect focus;
        focus.initFrom(this);
        focus.rect = iconRect.adjusted(-2, -2, 2, 2);
        focus.backgroundColor = face;
        style()->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, &p, this);
      }
    }
  }
}

// ---- the control ---------------------------------------------------------

CCoolTabCtrl::CCoolTabCtrl(QWidget* parent) : QWidget(parent) {
  static const bool factoryInstalled = [] {
    QAccessible::installFactory(TabStripFactory);
    return true;
  }();
  (void)factoryInstalled;
  setObjectName(QStringLiteral("125"));
  m_strip = new CCoolTabStrip(this);
  connect(m_strip, &QTabBar::currentChanged, this, &CCoolTabCtrl::ShowPage);
}

QRect CCoolTabCtrl::PageRect() const {
  const int d = kFrameStyle + 1;
  return QRect(kInset + d, kInset + d, width() - 2 * (kInset + d), height() - kInset - kStripHeight - 2 * d);
}

QRect CCoolTabCtrl::StripRect() const {
  // Two pixels above the tabs belong to the strip as well: the shown tab
  // covers the page frame's bottom line there.
  return QRect(kStripIndent, height() - kStripHeight - 2, width() - 2 * kStripIndent, kStripHeight + 2);
}

int CCoolTabCtrl::InsertWindowPage(QWidget* page, const QIcon& icon, const QString& name) {
  page->setParent(this);
  page->setGeometry(PageRect());
  page->hide();
  m_listPages.push_back({page, icon});
  int index = 0;
  {
    // The first tab would make itself current; FinishPages chooses the page.
    const QSignalBlocker quiet(m_strip);
    index = m_strip->addTab(icon, QString());
  }
  m_strip->setTabToolTip(index, name);
  // The tab has only an icon; its name still reaches screen readers.
  m_strip->setAccessibleTabName(index, name);
  return index;
}

void CCoolTabCtrl::FinishPages() {
  ArrangeTabs();
  const int index = m_nShownPage >= 0 ? m_nShownPage : 0;
  m_nShownPage = -1;
  for (const PageItem& item : m_listPages) item.pPage->hide();
  ShowPage(index);
  update();
}

void CCoolTabCtrl::ShowPage(int index) {
  if (index == m_nShownPage || index < 0 || index >= count()) return;
  if (m_nShownPage >= 0) m_listPages[static_cast<std::size_t>(m_nShownPage)].pPage->hide();
  m_nShownPage = index;
  m_listPages[static_cast<std::size_t>(index)].pPage->show();
  m_strip->setCurrentIndex(index);  // back here with the same index: returns at once
  m_strip->update();
}

QWidget* CCoolTabCtrl::PageWindow(int index) const {
  return index >= 0 && index < count() ? m_listPages[static_cast<std::size_t>(index)].pPage : nullptr;
}

void CCoolTabCtrl::ArrangeTabs() {
  m_strip->setGeometry(StripRect());
  for (const PageItem& item : m_listPages) item.pPage->setGeometry(PageRect());
}

void CCoolTabCtrl::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  ArrangeTabs();
  update();
}

void CCoolTabCtrl::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.fillRect(rect(), palette().color(QPalette::Button));
  // The page area's frame: white on the top and left, black on the bottom
  // and right, its bottom line where the shown tab breaks through.
  const int x = kInset, y = kInset, cx = width() - 2 * kInset, cy = height() - kInset - kStripHeight;
  p.fillRect(QRect(x, y, cx - 1, 1), Qt::white);
  p.fillRect(QRect(x, y, 1, cy - 1), Qt::white);
  p.fillRect(QRect(x + cx - 1, y, 1, cy), Qt::black);
  p.fillRect(QRect(x, y + cy - 1, cx, 1), Qt::black);
}

}  // namespace panora
