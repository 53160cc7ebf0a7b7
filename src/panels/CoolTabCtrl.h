// The tab control of the left bar: one page shown at a time, the tabs along
// the bottom edge with one small icon each and no text. Screen readers see the
// tabs as page tabs under their names, the shown one selected.
#pragma once

#include <QTabBar>
#include <QTabWidget>

namespace panora {

// The tab strip of CCoolTabCtrl, a class of its own so that it gets its own
// accessible interface.
class CCoolTabStrip : public QTabBar {
  Q_OBJECT
 public:
  explicit CCoolTabStrip(QWidget* parent = nullptr) : QTabBar(parent) {}
};

class CCoolTabCtrl : public QTabWidget {
  Q_OBJECT
 public:
  explicit CCoolTabCtrl(QWidget* parent = nullptr);

  // Adds `page` as the next tab; `name` is what a screen reader says for the tab.
  int InsertWindowPage(QWidget* page, const QIcon& icon, const QString& name);
  // Shows the first page when none is shown yet.
  void FinishPages();
  QWidget* PageWindow(int index) const { return widget(index); }
};

}  // namespace panora
