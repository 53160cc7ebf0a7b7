#include "panels/CoolTabCtrl.h"

#include <QTabBar>

namespace panora {

CCoolTabCtrl::CCoolTabCtrl(QWidget* parent) : QTabWidget(parent) {
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
