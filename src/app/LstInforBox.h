// The information list: connection results, the firmware version and the
// "connecting" animation, each line numbered and stamped with minutes and
// seconds. At most six lines; the seventh starts the list again at 1.
#pragma once

#include <QListWidget>
#include <ctime>
#include <functional>

namespace panora {

class CLstInforBox : public QListWidget {
  Q_OBJECT
 public:
  static constexpr int kMaxLines = 6;

  explicit CLstInforBox(QWidget* parent = nullptr);

  // Adds "<n> <mm>:<ss> <text>"; returns the row of the new line.
  int AddLine(const QString& text);

  // Number given to the last line added.
  int LineNumber() const { return m_nLineNo; }

  // Where the time comes from; tests give a fixed clock.
  void SetClock(std::function<std::tm()> clock) { m_clock = std::move(clock); }

 private:
  int m_nLineNo = 0;
  std::function<std::tm()> m_clock;
};

}  // namespace panora
