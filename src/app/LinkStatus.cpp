#include "app/LinkStatus.h"

#include <unistd.h>

#include <QAction>
#include <QKeySequence>
#include <QLabel>
#include <QMenu>
#include <QStatusBar>

#include "app/Dialogs.h"
#include "app/Connection.h"
#include "link/Commands.h"
#include "link/PrivateProfile.h"
#include "model/Paths.h"

namespace panora {

namespace {
constexpr char kReconnectKey[] = "Reconnect";
constexpr char kKeepaliveKey[] = "Keepalive";

LinkState::Kind SerialKind(int connKind) {
  return connKind == 2 ? LinkState::Kind::Usb : LinkState::Kind::Rs232;
}
}  // namespace

CLinkStatus::CLinkStatus(CConnection& connection, QStatusBar* bar, QMenu* tools)
    : QObject(&connection), m_conn(connection) {
  m_pane = new QLabel;
  m_pane->setObjectName(QStringLiteral("linkStatus"));
  m_pane->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  // Read under its text; the description says what the text is about.
  m_pane->setAccessibleDescription(QStringLiteral("Link status"));
  bar->insertPermanentWidget(0, m_pane);

  m_reconnectAction = tools->addAction(QStringLiteral("Reconnect Automatically"));
  m_reconnectAction->setObjectName(QStringLiteral("reconnectAutomatically"));
  m_reconnectAction->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_R));
  m_reconnectAction->setCheckable(true);
  m_keepaliveAction = tools->addAction(QStringLiteral("Keepalive"));
  m_keepaliveAction->setObjectName(QStringLiteral("keepalive"));
  m_keepaliveAction->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_K));
  m_keepaliveAction->setCheckable(true);

  const std::string path = NetSettingsPath();
  const bool reconnect = GetPrivateProfileInt(kSection, kReconnectKey, 0, path) != 0;
  const bool keepalive = GetPrivateProfileInt(kSection, kKeepaliveKey, 0, path) != 0;
  m_reconnectAction->setChecked(reconnect);
  m_keepaliveAction->setChecked(keepalive);
  m_state.SetReconnect(reconnect);
  m_state.SetKeepalive(keepalive);
  connect(m_reconnectAction, &QAction::triggered, this, [this](bool on) {
    SetReconnect(on);
    Store(kReconnectKey, on);
  });
  connect(m_keepaliveAction, &QAction::triggered, this, [this](bool on) {
    SetKeepalive(on);
    Store(kKeepaliveKey, on);
  });

  m_reconnectTimer.setInterval(LinkState::kReconnectMs);
  connect(&m_reconnectTimer, &QTimer::timeout, this, &CLinkStatus::TryReconnect);
  m_keepaliveTimer.setInterval(LinkState::kKeepaliveMs);
  connect(&m_keepaliveTimer, &QTimer::timeout, this, &CLinkStatus::KeepaliveTick);
  if (keepalive) m_keepaliveTimer.start();
  Refresh();
}

void CLinkStatus::Stop() {
  m_stopped = true;
  m_reconnectTimer.stop();
  m_keepaliveTimer.stop();
}

void CLinkStatus::Refresh() {
  const QString text = QString::fromStdString(m_state.Text(m_conn.Link().Unsent()));
  const bool changed = m_pane->text() != text;
  m_pane->setText(text);
  if (!m_state.Reconnecting()) m_reconnectTimer.stop();
  if (changed && m_onChange) m_onChange();
}

void CLinkStatus::Store(const char* key, bool on) {
  const std::string path = NetSettingsPath();
  if (WritePrivateProfileString(kSection, key, on ? "1" : "0", path)) return;
  MessageBox(m_pane->window(),
             QStringLiteral("The setting could not be saved to\n%1").arg(QString::fromStdString(path)),
             kMbOk | kMbIconError);
}

// ---- what the procedures report -----------------------------------------

void CLinkStatus::Supersede() {
  ++m_netTry;
  m_netPending = 0;
}

void CLinkStatus::SerialOpened(int connKind, const std::string& device) {
  Supersede();  // the operator's procedure: a loop's try on its way is stale
  m_reconnectHandshake = false;
  m_state.SerialOpened(SerialKind(connKind), device);
  Refresh();
}

void CLinkStatus::HandshakeAnswered(bool accepted) {
  m_reconnectHandshake = false;
  m_state.HandshakeAnswered(accepted);
  Refresh();
}

void CLinkStatus::NotConnected() {
  Supersede();
  m_reconnectHandshake = false;
  m_state.NotConnected();
  Refresh();
}

void CLinkStatus::NetConnecting(const std::string& address, const std::string& port) {
  Supersede();
  m_reconnectHandshake = false;
  m_state.NetConnecting(address, port);
  Refresh();
}

void CLinkStatus::NetResult(bool connected) {
  m_state.NetResult(connected);
  Refresh();
}

void CLinkStatus::SerialLost() {
  m_reconnectHandshake = false;
  if (m_state.Lost()) StartReconnect();
  Refresh();
}

void CLinkStatus::NetLost() {
  if (m_state.kind() != LinkState::Kind::Tcp) return;
  if (m_state.Lost()) StartReconnect();
  Refresh();
}

void CLinkStatus::SendFailed() {
  m_state.SendFailed();
  Refresh();
}

void CLinkStatus::BlockReceived() {
  m_state.BlockReceived();
  Refresh();
}

bool CLinkStatus::TakeKeepaliveAnswer() {
  return m_state.TakeKeepaliveAnswer();
}

// ---- reconnect ------------------------------------------------------------

void CLinkStatus::SetReconnect(bool on) {
  // Switched on while the link is lost: the loop starts now, not at the next loss.
  if (m_state.SetReconnect(on)) StartReconnect();
  if (!on) {
    // Every other procedure that makes a try stale closes the transports
    // itself; here the try is abandoned, or what it has just connected is
    // closed, so that no socket stays open behind a pane that says "lost".
    if (m_netPending != 0) m_conn.NetLink().Close();
    Supersede();
  }
  Refresh();
}

void CLinkStatus::StartReconnect() {
  m_reconnectKind = m_state.kind() == LinkState::Kind::Tcp   ? 3
                    : m_state.kind() == LinkState::Kind::Usb ? 2
                                                             : 1;
  // The dead socket goes at once: frames are dropped instead of failing.
  if (m_reconnectKind == 3) m_conn.NetLink().Close();
  Supersede();
  if (!m_stopped && !m_reconnectTimer.isActive()) m_reconnectTimer.start();
}

void CLinkStatus::TryReconnect() {
  if (!m_state.Reconnecting()) {
    m_reconnectTimer.stop();
    return;
  }
  // One try at a time: a handshake or a connect still awaited goes first.
  if (m_reconnectHandshake || (m_reconnectKind == 3 && m_netPending != 0)) return;
  m_state.ReconnectAttempt();
  if (m_reconnectKind == 3) {
    const unsigned attempt = ++m_netTry;
    m_netPending = attempt;
    m_conn.NetLink().StartConnector(&m_conn.Hand(), [this, attempt](int result) {
      if (m_netPending == attempt) m_netPending = 0;
      // The operator chose otherwise since; whatever made this try stale
      // has closed what it may have connected.
      if (attempt != m_netTry) return;
      // A success is the frame's own network result, with its line.
      if (result == 1) m_conn.OnNetResult(1);
      Refresh();
    });
  } else {
    const std::string device = m_state.Device();
    // A device that is not there yet is not even tried.
    if (::access(device.c_str(), F_OK) == 0 && m_conn.RsCom().OpenPortQuietly(device, &m_conn.Hand())) {
      m_conn.m_nConnKind = m_reconnectKind;
      m_reconnectHandshake = true;
      m_state.SerialOpened(SerialKind(m_reconnectKind), device, true);
      m_conn.SendHandshake();
    }
  }
  Refresh();
}

bool CLinkStatus::ReconnectHandshakeTimedOut() {
  if (!m_reconnectHandshake) return false;
  m_reconnectHandshake = false;
  m_state.Lost();  // the loop goes on
  Refresh();
  return true;
}

// ---- keepalive --------------------------------------------------------------

void CLinkStatus::SetKeepalive(bool on) {
  m_state.SetKeepalive(on);
  if (on && !m_stopped)
    m_keepaliveTimer.start();
  else
    m_keepaliveTimer.stop();
  Refresh();
}

void CLinkStatus::KeepaliveTick() {
  // A handshake awaited or a batch going out is no idle link.
  const bool busy = m_conn.Link().m_bSending.load() == 1 || m_conn.TimerHandshake().isActive();
  if (m_state.KeepaliveTick(busy)) m_conn.Link().SendCommand(cmd::kVersion, 0);
  Refresh();
}

}  // namespace panora
