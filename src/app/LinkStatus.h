// The link status pane of the status bar and the two opt-in link helpers of
// the Tools menu: reconnect after a lost link and the idle keepalive. The
// rules are LinkState's; this only carries them out with timers, the pane
// and the connection's procedures.
#pragma once

#include <QObject>
#include <QTimer>
#include <functional>
#include <string>

#include "link/LinkState.h"

class QAction;
class QLabel;
class QMenu;
class QStatusBar;

namespace panora {

class CConnection;

class CLinkStatus : public QObject {
  Q_OBJECT

 public:
  // Puts the pane into the status bar and the two items into the Tools
  // menu, with the settings as stored.
  CLinkStatus(CConnection& connection, QStatusBar* bar, QMenu* tools);

  // Where the two settings live: a section of our own in the network
  // settings file.
  static constexpr const char* kSection = "Link";

  LinkState& State() { return m_state; }
  QLabel* Pane() const { return m_pane; }
  QAction* ReconnectAction() const { return m_reconnectAction; }
  QAction* KeepaliveAction() const { return m_keepaliveAction; }
  QTimer& ReconnectTimer() { return m_reconnectTimer; }
  QTimer& KeepaliveTimer() { return m_keepaliveTimer; }

  // What the frame's procedures report.
  void SerialOpened(int connKind, const std::string& device);
  void HandshakeAnswered(bool accepted);
  void NotConnected();
  void NetConnecting(const std::string& address, const std::string& port);
  void NetResult(bool connected);
  void SerialLost();
  void NetLost();
  void SendFailed();
  void BlockReceived();
  // A version answer: true when it was the keepalive's and is to stay unlisted.
  bool TakeKeepaliveAnswer();
  void OperatorAskedVersion() { m_state.OperatorAskedVersion(); }
  // The handshake of a port the loop reopened timed out: the loop goes on
  // quietly. False when no reconnect handshake was awaited.
  bool ReconnectHandshakeTimedOut();

  // The pane says it again, e.g. after the count of changes not sent moved.
  void Refresh();
  // Called whenever the pane's text changes.
  void SetOnChange(std::function<void()> onChange) { m_onChange = std::move(onChange); }

  void SetReconnect(bool on);
  void SetKeepalive(bool on);
  // At shut-down: no try and no query any more.
  void Stop();

 private:
  void StartReconnect();
  void TryReconnect();
  void KeepaliveTick();
  void Store(const char* key, bool on);
  // Another procedure or the operator's choice: a try on its way is stale
  // and no longer holds the loop back.
  void Supersede();

  CConnection& m_conn;
  LinkState m_state;
  QLabel* m_pane = nullptr;
  QAction* m_reconnectAction = nullptr;
  QAction* m_keepaliveAction = nullptr;
  QTimer m_reconnectTimer;
  QTimer m_keepaliveTimer;
  int m_reconnectKind = 0;            // m_nConnKind of the lost link
  bool m_reconnectHandshake = false;  // the handshake awaited is the loop's
  unsigned m_netTry = 0;              // counts tries and procedures; a result of an older try is stale
  unsigned m_netPending = 0;          // the loop's network try still awaited, 0 for none
  bool m_stopped = false;
  std::function<void()> m_onChange;
};

}  // namespace panora
