// SIGTERM, SIGINT and SIGHUP as events: the handler only writes the signal
// number into a pipe; the event loop reads it and closes the program the
// orderly way.
#pragma once

#include <QObject>

class QSocketNotifier;

namespace panora {

// Installs the handlers for SIGTERM, SIGINT and, unless it is ignored at
// start (nohup), SIGHUP (once; safe to call again).
// Call it early, before the windows are built, so that no signal is lost.
bool InstallTerminationPipe();

// Reports a caught signal on the user-interface thread. A second signal,
// once one has been reported, ends the program at once (the default action).
class CSignalWatcher : public QObject {
  Q_OBJECT
 public:
  explicit CSignalWatcher(QObject* parent = nullptr);

 signals:
  void terminationRequested(int signalNumber);

 private:
  void OnReadable();
  QSocketNotifier* m_notifier = nullptr;
};

}  // namespace panora
