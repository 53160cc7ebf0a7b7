#include "app/TrafficMonitor.h"

#include <QApplication>
#include <QClipboard>
#include <QFileInfo>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QListWidget>
#include <QPushButton>
#include <QScrollBar>
#include <QVBoxLayout>

#include "app/Dialogs.h"
#include "link/HandOver.h"
#include "link/SafeFile.h"

namespace panora {

namespace {
const QColor kSentColour(0, 0, 160);        // blue: what we wrote
const QColor kReceivedColour(0, 110, 0);    // green: what the processor answered
const QColor kUnsentColour(128, 128, 128);  // grey: a write that failed
const QColor kUnparsedGround(255, 220, 220);
}  // namespace

CTrafficMonitor::CTrafficMonitor(TrafficLog& log, HandOver& hand, QWidget* parent)
    : QWidget(parent), m_log(log), m_hand(hand) {
  setObjectName(QStringLiteral("CTrafficMonitor"));
  auto* buttons = new QHBoxLayout;
  buttons->setContentsMargins(0, 0, 0, 0);
  auto button = [&](const char* text) {
    auto* b = new QPushButton(QString::fromLatin1(text), this);
    b->setAutoDefault(false);
    b->setFocusPolicy(Qt::TabFocus);
    buttons->addWidget(b);
    return b;
  };
  m_pause = button("Pause");
  m_pause->setCheckable(true);
  m_clear = button("Clear");
  m_copy = button("Copy");
  m_save = button("Save");
  buttons->addStretch(1);

  m_list = new QListWidget(this);
  m_list->setAccessibleName(QStringLiteral("Traffic"));
  m_list->setSelectionMode(QAbstractItemView::ExtendedSelection);
  m_list->setUniformItemSizes(true);
  m_list->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(4, 4, 4, 4);
  layout->setSpacing(4);
  layout->addLayout(buttons);
  layout->addWidget(m_list, 1);

  connect(m_pause, &QPushButton::toggled, this, [this](bool paused) {
    if (!paused) Pull();  // catch up with what came meanwhile
  });
  connect(m_clear, &QPushButton::clicked, this, &CTrafficMonitor::OnClear);
  connect(m_copy, &QPushButton::clicked, this, &CTrafficMonitor::OnCopy);
  connect(m_save, &QPushButton::clicked, this, &CTrafficMonitor::OnSave);
}

CTrafficMonitor::~CTrafficMonitor() {
  if (m_watching) m_log.SetWatcher({});
}

bool CTrafficMonitor::Paused() const {
  return m_pause->isChecked();
}

void CTrafficMonitor::Watch(bool on) {
  if (on == m_watching) return;
  m_watching = on;
  if (!on) {
    m_log.SetWatcher({});
    // Hidden, the monitor keeps nothing beyond the log's ring: the lines
    // come back from the ring when it is shown again.
    m_list->clear();
    m_entries.clear();
    m_lastSeq = 0;
    return;
  }
  // The notice comes from whatever thread logged; the reading runs here.
  QPointer<CTrafficMonitor> self(this);
  HandOver* hand = &m_hand;
  m_log.SetWatcher([hand, self] {
    hand->Post([self] {
      if (self) self->Pull();
    });
  });
  Pull();
}

void CTrafficMonitor::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  Watch(true);
}

void CTrafficMonitor::hideEvent(QHideEvent* event) {
  QWidget::hideEvent(event);
  Watch(false);
}

void CTrafficMonitor::Pull() {
  // Paused, the log is not re-armed: one notice, then quiet until resumed.
  if (!m_watching || Paused()) return;
  // Re-armed before reading, so a record logged while we read is noticed.
  m_log.Rearm();
  const std::vector<TrafficRecord> records = m_log.Since(m_lastSeq);
  if (!records.empty()) AddLines(records);
}

void CTrafficMonitor::AddLines(const std::vector<TrafficRecord>& records) {
  QScrollBar* bar = m_list->verticalScrollBar();
  const bool atEnd = bar->value() == bar->maximum();
  m_list->setUpdatesEnabled(false);
  for (const TrafficRecord& r : records) {
    const TrafficLine line = FormatTraffic(r);
    auto* item = new QListWidgetItem(QString::fromStdString(TrafficText(line)));
    item->setForeground(r.dir == TrafficDir::Sent       ? kSentColour
                        : r.dir == TrafficDir::Received ? kReceivedColour
                                                        : kUnsentColour);
    if (!line.parsed) item->setBackground(kUnparsedGround);
    m_list->addItem(item);
    m_entries.push_back({r.dir, line});
    m_lastSeq = r.seq;
  }
  // As many lines as the ring holds, no more.
  const int excess = m_list->count() - static_cast<int>(m_log.Capacity());
  for (int i = 0; i < excess; ++i) delete m_list->takeItem(0);
  for (int i = 0; i < excess; ++i) m_entries.pop_front();
  m_list->setUpdatesEnabled(true);
  if (atEnd) m_list->scrollToBottom();
}

void CTrafficMonitor::OnClear() {
  m_log.Clear();
  m_list->clear();
  m_entries.clear();
}

QString CTrafficMonitor::Text(bool selectedOnly) const {
  QString out;
  for (int i = 0; i < m_list->count(); ++i) {
    const QListWidgetItem* item = m_list->item(i);
    if (selectedOnly && !item->isSelected()) continue;
    out += item->text() + QLatin1Char('\n');
  }
  return out;
}

QString CTrafficMonitor::Csv() const {
  QString out = QString::fromStdString(TrafficCsvHeader()) + QLatin1Char('\n');
  for (const Entry& e : m_entries)
    out += QString::fromStdString(TrafficCsv(e.line, e.dir)) + QLatin1Char('\n');
  return out;
}

void CTrafficMonitor::OnCopy() {
  // The selected lines, or all of them when none is selected.
  QString text = Text(true);
  if (text.isEmpty()) text = Text(false);
  QApplication::clipboard()->setText(text);
}

void CTrafficMonitor::OnSave() {
  QString filter;
  QString path = Dialogs().SaveFileNameAndFilter(this, QStringLiteral("Save traffic"), QString(),
                                                 QStringLiteral("Text (*.txt);;CSV (*.csv)"), &filter);
  if (path.isEmpty()) return;
  // A name typed as .txt or .csv says the format; otherwise the filter
  // chosen does, and gives a bare name its suffix.
  const QString chosen = FilterSuffix(filter).toLower();
  QString suffix = QFileInfo(path).suffix().toLower();
  if (suffix.isEmpty()) {
    suffix = chosen.isEmpty() ? QStringLiteral("txt") : chosen;
    if (!path.endsWith(QLatin1Char('.'))) path += QLatin1Char('.');
    path += suffix;
  }
  const bool csv =
      suffix == QStringLiteral("csv") || (suffix != QStringLiteral("txt") && chosen == QStringLiteral("csv"));
  const QByteArray data = (csv ? Csv() : Text()).toUtf8();
  std::string error;
  if (!WriteFileSafely(
          QFile::encodeName(path).toStdString(),
          {reinterpret_cast<const std::uint8_t*>(data.constData()), static_cast<std::size_t>(data.size())},
          &error))
    MessageBox(this, QStringLiteral("The traffic could not be saved: %1").arg(QString::fromStdString(error)));
}

}  // namespace panora
