// What the link really is, for the status bar: which transport, where, and
// how far it got (handshake, connected, lost, not answering), plus the rules
// of the opt-in reconnect and keepalive. The connection reports what
// happens; the pane only shows Text(). No Qt, no I/O: every decision is
// testable here.
#pragma once

#include <string>

namespace panora {

class LinkState {
 public:
  enum class Kind { None, Rs232, Usb, Tcp };
  enum class Phase { Idle, HandshakePending, Accepted, Refused, Connecting, Connected, Lost };

  static constexpr int kReconnectMs = 2000;
  static constexpr int kKeepaliveMs = 10000;
  static constexpr int kMissesNotAnswering = 3;

  // ---- what the connect procedures and the transports report ----
  // A serial port opened and the handshake sent; `retry` when the reconnect
  // loop opened it (the loop then goes on until the handshake answers).
  void SerialOpened(Kind kind, const std::string& device, bool retry = false);
  void HandshakeAnswered(bool accepted);
  // The handshake never came (the port is closed), a connect failed, or the
  // operator disconnected: nothing is connected.
  void NotConnected();
  void NetConnecting(const std::string& address, const std::string& port);
  void NetResult(bool connected);
  // The serial device vanished, the peer closed, a receive failed, or a send
  // found the connection broken. Returns whether a reconnect is to follow.
  bool Lost();
  // A send that did not go out whole (the link itself may still be there).
  void SendFailed();
  // Any block from the processor: it answers.
  void BlockReceived();

  // ---- reconnect (off by default) ----
  // Whether the loop is to start now: switched on while a link that was up
  // is lost.
  bool SetReconnect(bool on);
  bool Reconnect() const { return m_reconnect; }
  // Whether the reconnect loop runs: on, and a link that was up is lost.
  bool Reconnecting() const { return m_reconnecting; }
  // One more try starts now (counted for the pane).
  void ReconnectAttempt() { ++m_attempts; }
  int Attempts() const { return m_attempts; }
  // The operator took over (Disconnect, another procedure): the loop ends.
  void StopReconnect();

  // ---- keepalive (off by default) ----
  void SetKeepalive(bool on);
  bool Keepalive() const { return m_keepalive; }
  // The keepalive timer ran out. busy: a batch goes out. Counts a miss when
  // the last query is still unanswered; returns whether to send a query now.
  bool KeepaliveTick(bool busy);
  // A version answer arrived: true when it answers the keepalive's own query
  // (so that it stays out of the information list). Every answer reads the
  // same, so the operator's queries awaiting theirs are served first: each
  // of his gets its line, and the keepalive's never add one.
  bool TakeKeepaliveAnswer();
  // The operator asked for the version himself: one more answer is his, and
  // no keepalive query goes out before the next tick.
  void OperatorAskedVersion() {
    ++m_operatorAwaited;
    m_heard = true;
  }
  // Keepalive queries sent and not answered yet.
  int KeepaliveAwaited() const { return m_keepaliveAwaited; }
  bool NotAnswering() const { return m_misses >= kMissesNotAnswering; }
  int Misses() const { return m_misses; }

  Kind kind() const { return m_kind; }
  Phase phase() const { return m_phase; }
  // Whether the link is up as far as we know (handshake accepted, or TCP connected).
  bool Up() const { return m_phase == Phase::Accepted || m_phase == Phase::Connected; }
  const std::string& Device() const { return m_device; }
  const std::string& Address() const { return m_address; }
  const std::string& Port() const { return m_port; }
  // "Not connected", "RS232 /dev/ttyUSB0 · handshake pending", "TCP
  // 192.168.0.178:4001 · connected" ... in UTF-8, and " · 3 changes not
  // sent" when `unsent` changes wait for the processor.
  std::string Text(int unsent = 0) const;

 private:
  std::string LinkText() const;
  void Enter(Kind kind, Phase phase);

  Kind m_kind = Kind::None;
  Phase m_phase = Phase::Idle;
  std::string m_device, m_address, m_port;
  bool m_reconnect = false, m_reconnecting = false;
  bool m_lostWasUp = false;  // the link now lost had been up
  int m_attempts = 0;
  bool m_keepalive = false;
  bool m_outstanding = false;  // the last tick's query awaits its answer
  // Queries still awaiting an answer. A late answer must still be told apart,
  // so the keepalive's stay counted past their tick (a few at most); the
  // operator's lapse after a whole interval without answer.
  int m_keepaliveAwaited = 0;
  int m_operatorAwaited = 0, m_operatorOlder = 0;
  bool m_heard = false;  // the operator's traffic since the last tick
  int m_misses = 0;
  bool m_sendFailed = false;
};

}  // namespace panora
