// The traffic monitor: a view of the link's TrafficLog, one line per frame
// sent or block received. It reads the log only while shown; hidden, it
// holds no lines of its own and the log is not asked to tell anybody.
#pragma once

#include <QPointer>
#include <QWidget>
#include <cstdint>
#include <deque>
#include <vector>

#include "link/Traffic.h"

class QListWidget;
class QPushButton;

namespace panora {

class HandOver;

class CTrafficMonitor : public QWidget {
  Q_OBJECT
 public:
  // The log and the hand-over must outlive the monitor.
  CTrafficMonitor(TrafficLog& log, HandOver& hand, QWidget* parent = nullptr);
  ~CTrafficMonitor() override;

  QListWidget* List() const { return m_list; }
  QPushButton* PauseButton() const { return m_pause; }
  QPushButton* ClearButton() const { return m_clear; }
  QPushButton* CopyButton() const { return m_copy; }
  QPushButton* SaveButton() const { return m_save; }
  bool Paused() const;

  // The lines as shown, as plain text or CSV (with a header line).
  QString Text(bool selectedOnly = false) const;
  QString Csv() const;

  // Brings new lines of the log in (also what a notice from the log runs).
  void Pull();
  void OnClear();
  void OnCopy();
  void OnSave();

 protected:
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;

 private:
  void Watch(bool on);
  void AddLines(const std::vector<TrafficRecord>& records);

  TrafficLog& m_log;
  HandOver& m_hand;
  QListWidget* m_list = nullptr;
  QPushButton* m_pause = nullptr;
  QPushButton* m_clear = nullptr;
  QPushButton* m_copy = nullptr;
  QPushButton* m_save = nullptr;
  std::uint64_t m_lastSeq = 0;  // the last record shown
  bool m_watching = false;
  // The lines as formatted, for the CSV's columns.
  struct Entry {
    TrafficDir dir;
    TrafficLine line;
  };
  std::deque<Entry> m_entries;
};

}  // namespace panora
