#include "app/UiProbe.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QTimer>
#include <QWidget>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "app/LinkStatus.h"
#include "app/LstInforBox.h"
#include "app/MainFrame.h"

namespace panora {

namespace {

constexpr qint64 kLongMs = 100;

struct Action {
  qint64 atMs = 0;
  std::string what;
};

class UiProbe : public QObject {
 public:
  UiProbe(CMainFrame* frame, std::string path, std::vector<Action> actions)
      : QObject(qApp), m_frame(frame), m_path(std::move(path)), m_actions(std::move(actions)) {
    s_probe = this;
    m_clock.start();
    m_tick.setTimerType(Qt::PreciseTimer);
    m_tick.setInterval(10);
    connect(&m_tick, &QTimer::timeout, this, [this] { Tick(); });
    m_tick.start();
    connect(qApp, &QCoreApplication::aboutToQuit, this, [this] {
      Tick();
      Write();
    });
  }

  static UiProbe* s_probe;

  void SpanEnded(const std::string& name, qint64 ms) {
    qint64& worst = m_spans[name];
    worst = std::max(worst, ms);
  }

 private:
  void Tick() {
    const qint64 now = m_clock.elapsed();
    if (m_lastTick >= 0) {
      const qint64 gap = now - m_lastTick;
      m_worstGap = std::max(m_worstGap, gap);
      // Each long one with its monotonic time, so that a reader can tell
      // the machine's own pauses from ours.
      if (gap > kLongMs && m_long.size() < 16000)
        m_long += std::to_string(m_clock.msecsSinceReference() - gap) + ":" + std::to_string(gap) + " ";
      if (gap > m_worstStall) {
        m_worstStall = gap;
        m_worstStallAt = m_lastTick;
      }
    }
    m_lastTick = now;
    const bool sending = m_frame != nullptr && !m_frame->IsShutDown() && m_frame->m_bSending.load() == 1;
    if (sending && m_batchStart < 0) m_batchStart = now;
    if (m_batchStart >= 0) m_worstBatch = std::max(m_worstBatch, now - m_batchStart);
    if (!sending && m_batchStart >= 0) {
      m_batchStart = -1;
      ++m_batches;
    }
    // An operator answers a box; the action that opened it waits in its loop.
    if (QWidget* modal = QApplication::activeModalWidget()) {
      for (const QLabel* label : modal->findChildren<QLabel*>()) {
        const std::string text = label->text().toStdString();
        if (!text.empty() && m_boxTexts.find(text) == std::string::npos)
          m_boxTexts += (m_boxTexts.empty() ? "" : "|") + text;
      }
      ++m_boxes;
      modal->close();
    }
    // Each action runs from an event of its own, so that a box it opens
    // does not stop this timer.
    while (m_next < m_actions.size() && m_actions[m_next].atMs <= now) {
      const std::string what = m_actions[m_next++].what;
      QTimer::singleShot(0, this, [this, what] { Run(what); });
    }
    if (now - m_lastWrite >= 1000) Write();
  }

  void Run(const std::string& what) {
    if (m_frame == nullptr || m_frame->IsShutDown()) return;
    Press(what);
  }

  void Press(const std::string& what) {
    if (what == "refresh") {
      for (QAbstractButton* b : m_frame->findChildren<QAbstractButton*>())
        if (b->text() == QStringLiteral("Refresh output")) b->click();
    } else if (what.rfind("quick", 0) == 0) {
      const int i = std::atoi(what.c_str() + 5);
      if (QAction* a = m_frame->Action(ID_QUICK_MODE_FIRST + i)) a->trigger();
    } else if (what.rfind("drag", 0) == 0) {
      const int n = std::atoi(what.c_str() + 4);
      if (n <= 0) return;
      const int boxes = m_boxes;
      m_frame->Windows().SendWindowGeometry(0);
      if (m_boxes != boxes) {
        ++m_dragsEnded;
        return;
      }
      ++m_dragSends;
      QTimer::singleShot(0, this, [this, n] { Run("drag" + std::to_string(n - 1)); });
    }
  }

  void Write() {
    m_lastWrite = m_clock.elapsed();
    // As they last were before the frame shut down.
    if (m_frame != nullptr && !m_frame->IsShutDown()) {
      if (CLinkStatus* link = m_frame->LinkStatus(); link != nullptr && link->Pane() != nullptr)
        m_status = link->Pane()->text().toStdString();
      if (const auto* box = m_frame->findChild<CLstInforBox*>()) {
        m_info.clear();
        for (int i = std::max(0, box->count() - 40); i < box->count(); ++i)
          m_info += (m_info.empty() ? "" : "|") + box->item(i)->text().toStdString();
      }
    }
    std::FILE* f = std::fopen(m_path.c_str(), "we");
    if (f == nullptr) return;
    for (const auto& [name, ms] : m_spans)
      std::fprintf(f, "%s_ms=%lld\n", name.c_str(), static_cast<long long>(ms));
    std::fprintf(f, "drag_sends=%d\ndrags_ended_by_box=%d\nlink_status=%s\ninfo_texts=%s\n", m_dragSends,
                 m_dragsEnded, m_status.c_str(), m_info.c_str());
    std::fprintf(f,
                 "ui_worst_gap_ms=%lld\nui_worst_stall_ms=%lld\nui_worst_stall_at_ms=%lld\nbatch_worst_ms=%"
                 "lld\nbatches=%d\nboxes=%"
                 "d\nbox_texts=%s\nlong_stalls=%s\n",
                 static_cast<long long>(m_worstGap), static_cast<long long>(m_worstStall),
                 static_cast<long long>(m_worstStallAt), static_cast<long long>(m_worstBatch), m_batches,
                 m_boxes, m_boxTexts.c_str(), m_long.c_str());
    std::fclose(f);
  }

  CMainFrame* m_frame;
  std::string m_path;
  std::vector<Action> m_actions;
  std::size_t m_next = 0;
  QTimer m_tick;
  QElapsedTimer m_clock;
  qint64 m_lastTick = 0, m_lastWrite = 0, m_worstGap = 0, m_batchStart = -1, m_worstBatch = 0;
  qint64 m_worstStall = 0, m_worstStallAt = 0;  // every gap from arming on
  int m_batches = 0, m_boxes = 0, m_dragSends = 0, m_dragsEnded = 0;
  std::map<std::string, qint64> m_spans;  // the longest of each UiProbeSpan
  std::string m_long;                     // "MONOTONIC_MS:LENGTH " of each stall over kLongMs
  std::string m_boxTexts;                 // the distinct texts, '|' between
  std::string m_status, m_info;           // the link status pane, the information list ('|' between)
};

UiProbe* UiProbe::s_probe = nullptr;

long long NowNs() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

}  // namespace

UiProbeSpan::UiProbeSpan(const char* name)
    : m_name(name), m_startNs(UiProbe::s_probe != nullptr ? NowNs() : 0) {}

UiProbeSpan::~UiProbeSpan() {
  if (UiProbe::s_probe != nullptr && m_startNs != 0)
    UiProbe::s_probe->SpanEnded(m_name, (NowNs() - m_startNs) / 1000000);
}

void ArmUiProbe(CMainFrame* frame) {
  const char* path = std::getenv("PANORA_UI_PROBE");
  if (path == nullptr || *path == '\0' || frame == nullptr) return;
  std::vector<Action> actions;
  if (const char* script = std::getenv("PANORA_UI_ACTIONS")) {
    std::istringstream in(script);
    std::string word;
    while (in >> word) {
      const auto colon = word.find(':');
      if (colon == std::string::npos) continue;
      actions.push_back({std::atoll(word.substr(0, colon).c_str()), word.substr(colon + 1)});
    }
    std::stable_sort(actions.begin(), actions.end(),
                     [](const Action& a, const Action& b) { return a.atMs < b.atMs; });
  }
  // The window's first paint is start-up, not link: it is done and timed
  // here, before the clock of the stalls starts, and everything after counts.
  const long long paintStart = NowNs();
  QApplication::processEvents();
  auto* probe = new UiProbe(frame, path, std::move(actions));
  probe->SpanEnded("first_paint", (NowNs() - paintStart) / 1000000);
}

}  // namespace panora
