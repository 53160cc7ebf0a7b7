#include "link/LinkState.h"

namespace panora {

void LinkState::Enter(Kind kind, Phase phase) {
  m_kind = kind;
  m_phase = phase;
  m_misses = 0;
  m_outstanding = false;
  m_keepaliveAwaited = 0;
  m_operatorAwaited = m_operatorOlder = 0;
  m_sendFailed = false;
}

void LinkState::SerialOpened(Kind kind, const std::string& device, bool retry) {
  m_device = device;
  if (!retry) StopReconnect();
  Enter(kind, Phase::HandshakePending);
}

void LinkState::HandshakeAnswered(bool accepted) {
  if (m_kind != Kind::Rs232 && m_kind != Kind::Usb) return;
  // Either answer ends a reconnect loop: a refusal is not tried again.
  StopReconnect();
  Enter(m_kind, accepted ? Phase::Accepted : Phase::Refused);
}

void LinkState::NotConnected() {
  StopReconnect();
  Enter(Kind::None, Phase::Idle);
}

void LinkState::NetConnecting(const std::string& address, const std::string& port) {
  m_address = address;
  m_port = port;
  StopReconnect();
  Enter(Kind::Tcp, Phase::Connecting);
}

void LinkState::NetResult(bool connected) {
  if (connected) {
    StopReconnect();
    Enter(Kind::Tcp, Phase::Connected);
    return;
  }
  // A failed try of the reconnect loop leaves the link lost; the loop goes on.
  if (m_reconnecting) return;
  NotConnected();
}

bool LinkState::Lost() {
  if (m_kind == Kind::None) return false;
  // Only a link that was up is tried again: the loop repeats what worked,
  // not a refusal or a handshake that never came.
  const bool wasUp = Up() || m_phase == Phase::Lost || m_reconnecting;
  Enter(m_kind, Phase::Lost);
  m_lostWasUp = wasUp;
  m_reconnecting = m_reconnect && wasUp;
  return m_reconnecting;
}

void LinkState::SendFailed() {
  if (m_kind != Kind::None) m_sendFailed = true;
}

void LinkState::BlockReceived() {
  m_heard = true;
  m_misses = 0;
  m_sendFailed = false;
}

bool LinkState::SetReconnect(bool on) {
  m_reconnect = on;
  if (!on) {
    StopReconnect();
    return false;
  }
  if (m_reconnecting || m_kind == Kind::None || m_phase != Phase::Lost || !m_lostWasUp) return false;
  m_reconnecting = true;
  return true;
}

void LinkState::StopReconnect() {
  m_reconnecting = false;
  m_attempts = 0;
}

void LinkState::SetKeepalive(bool on) {
  if (on && !m_keepalive) {
    // No tick aged the operator's queries while it was off: those still
    // awaited lapse at the first tick, a whole interval from now, before
    // the first query of ours can be answered.
    m_operatorOlder += m_operatorAwaited;
    m_operatorAwaited = 0;
  }
  m_keepalive = on;
  m_outstanding = false;
  m_misses = 0;
  m_heard = false;
}

bool LinkState::KeepaliveTick(bool busy) {
  const bool heard = m_heard;
  m_heard = false;
  // The operator's queries unanswered for a whole interval will not be.
  m_operatorOlder = m_operatorAwaited;
  m_operatorAwaited = 0;
  if (!m_keepalive || !Up()) {
    m_outstanding = false;
    return false;
  }
  if (m_outstanding && !heard && m_misses < kMissesNotAnswering) ++m_misses;
  m_outstanding = false;
  // Not idle: the operator's own traffic shows the link works, and a query
  // now could be taken for the answer to a command still on its way.
  if (busy || heard) return false;
  m_outstanding = true;
  if (m_keepaliveAwaited < kMissesNotAnswering) ++m_keepaliveAwaited;
  return true;
}

bool LinkState::TakeKeepaliveAnswer() {
  if (m_operatorOlder > 0) {
    --m_operatorOlder;
    return false;
  }
  if (m_operatorAwaited > 0) {
    --m_operatorAwaited;
    return false;
  }
  if (m_keepaliveAwaited == 0) return false;
  --m_keepaliveAwaited;
  m_outstanding = false;
  // Its own answer is no sign of the operator's traffic.
  m_heard = false;
  return true;
}

std::string LinkState::Text(int unsent) const {
  std::string text = LinkText();
  // What the processor may not show: changes whose frames could not go out.
  if (unsent > 0) text += " \u00b7 " + std::to_string(unsent) + (unsent == 1 ? " change" : " changes") + " not sent";
  return text;
}

std::string LinkState::LinkText() const {
  if (m_kind == Kind::None || m_phase == Phase::Idle) return "Not connected";
  std::string text;
  switch (m_kind) {
    case Kind::Rs232: text = "RS232 " + m_device; break;
    case Kind::Usb: text = "USB " + m_device; break;
    case Kind::Tcp: text = "TCP " + m_address + ":" + m_port; break;
    case Kind::None: break;
  }
  const std::string dot = " \u00b7 ";
  switch (m_phase) {
    case Phase::Idle: break;
    case Phase::HandshakePending: text += dot + "handshake pending"; break;
    case Phase::Accepted: text += dot + "handshake accepted"; break;
    case Phase::Refused: text += dot + "handshake refused"; break;
    case Phase::Connecting: text += dot + "connecting"; break;
    case Phase::Connected: text += dot + "connected"; break;
    case Phase::Lost: text += dot + "lost"; break;
  }
  if (m_phase == Phase::Lost && m_reconnecting) {
    text += dot + "reconnecting";
    if (m_attempts > 0) text += " (try " + std::to_string(m_attempts) + ")";
  }
  if (Up() && NotAnswering()) text += dot + "not answering";
  if (m_sendFailed && m_phase != Phase::Lost) text += dot + "send failed";
  return text;
}

}  // namespace panora
