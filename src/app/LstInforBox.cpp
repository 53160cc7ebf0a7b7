#include "app/LstInforBox.h"

namespace panora {
namespace {
std::tm LocalNow() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  return local;
}
}  // namespace

CLstInforBox::CLstInforBox(QWidget* parent) : QListWidget(parent), m_clock(LocalNow) {
  setObjectName(QStringLiteral("1043"));
  setAccessibleName(QStringLiteral("Information"));
  // Sorted as text: the leading single-digit number keeps arrival order.
  setSortingEnabled(true);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  // One line per entry, as in a list box: a line longer than the list gets a
  // horizontal scroll bar, and its tool tip shows the whole of it.
  setWordWrap(false);
  setTextElideMode(Qt::ElideNone);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
}

int CLstInforBox::AddLine(const QString& text) {
  const int n = count();
  m_nLineNo = n;
  const std::tm t = m_clock();
  const QString stamp = QString::asprintf("%02d:%02d ", t.tm_min, t.tm_sec);
  if (n < kMaxLines) {
    m_nLineNo = n + 1;
  } else {
    clear();
    m_nLineNo = 1;
  }
  auto* item = new QListWidgetItem(QString::asprintf("%d ", m_nLineNo) + stamp + text);
  item->setToolTip(item->text());
  addItem(item);  // sorting places it
  scrollToItem(item);
  return row(item);
}

}  // namespace panora
