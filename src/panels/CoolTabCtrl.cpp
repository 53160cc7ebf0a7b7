#include "panels/CoolTabCtrl.h"

#include <QAccessibleWidget>
#include <QPointer>
#include <QTabBar>
#include <vector>

namespace panora {
namespace {

// One tab as screen readers see it: a page tab, named after its page and
// selected while its page is shown; pressing it shows the page.
class TabAccessible final : public QAccessibleInterface, public QAccessibleActionInterface {
 public:
  TabAccessible(QTabBar* bar, int index) : m_bar(bar), m_index(index) {}

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

  QStringList actionNames() const override { return {pressAction()}; }
  void doAction(const QString& name) override {
    if (isValid() && name == pressAction()) m_bar->setCurrentIndex(m_index);
  }
  QStringList keyBindingsForAction(const QString&) const override { return {}; }

 private:
  QAccessibleInterface* Bar() const { return QAccessible::queryAccessibleInterface(m_bar.data()); }
  QPointer<QTabBar> m_bar;
  int m_index;
};

// The tab strip: the tabs first, then the strip's own scroll buttons. Qt's
// own tab strip does not say which tab is selected.
class TabBarAccessible final : public QAccessibleWidget {
 public:
  explicit TabBarAccessible(QTabBar* bar) : QAccessibleWidget(bar, QAccessible::PageTabList) {}
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
  QTabBar* Bar() const { return static_cast<QTabBar*>(widget()); }
  mutable std::vector<QAccessible::Id> m_tabs;
};

QAccessibleInterface* TabStripFactory(const QString&, QObject* object) {
  auto* strip = qobject_cast<CCoolTabStrip*>(object);
  return strip != nullptr ? new TabBarAccessible(strip) : nullptr;
}

}  // namespace

CCoolTabCtrl::CCoolTabCtrl(QWidget* parent) : QTabWidget(parent) {
  static const bool factoryInstalled = [] {
    QAccessible::installFactory(TabStripFactory);
    return true;
  }();
  (void)factoryInstalled;
  setTabBar(new CCoolTabStrip(this));
  setObjectName(QStringLiteral("125"));
  setTabPosition(QTabWidget::South);
  setIconSize(QSize(16, 16));
  setDocumentMode(false);
}

int CCoolTabCtrl::InsertWindowPage(QWidget* page, const QIcon& icon, const QString& name) {
  const int index = addTab(page, icon, QString());
  setTabToolTip(index, name);
  // The tab has only an icon; its name still reaches screen readers.
  tabBar()->setAccessibleTabName(index, name);
  return index;
}

void CCoolTabCtrl::FinishPages() {
  if (count() > 0 && currentIndex() < 0) setCurrentIndex(0);
}

}  // namespace panora
