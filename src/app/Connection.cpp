#include "app/Connection.h"

#include <optional>
#include <vector>

#include "app/Dialogs.h"
#include "app/LinkStatus.h"
#include "app/dialogs/DlgCom.h"
#include "app/dialogs/DlgNet.h"
#include "link/Commands.h"
#include "link/SerialPorts.h"
#include "model/Paths.h"

namespace panora {

CConnection::CConnection(ConnectionHost& host, HandOver& handOver, TrafficLog& traffic, LinkReports reports)
    : m_RsCom(&handOver, reports.data, [this](const char* text) { Box(QString::fromLatin1(text)); }),
      m_NetLink(reports.data, [this](const char* text) { Box(QString::fromLatin1(text)); }),
      m_DeviceLink(m_RsCom, m_NetLink, &handOver,
                   LinkHooks{[this](const char* text) { Box(QString::fromLatin1(text)); },
                             {},  // an answer that did not come in time is ignored
                             reports.batchDone, reports.positionAnswer,
                             [this, then = reports.unsentChanged] {
                               if (m_linkStatus != nullptr) m_linkStatus->Refresh();
                               if (then) then();
                             },
                             reports.setupProgress, reports.setupDone}),
      m_host(host),
      m_handOver(handOver) {
  m_timerHandshake.setInterval(1000);
  // A coarse timer may fire 5 % early: an answer after 900 ms plus the
  // reader's 50 ms gathering would then count as none.
  m_timerHandshake.setTimerType(Qt::PreciseTimer);
  m_timerDots.setInterval(1000);
  connect(&m_timerHandshake, &QTimer::timeout, this, &CConnection::OnTimerHandshake);
  connect(&m_timerDots, &QTimer::timeout, this, &CConnection::OnTimerDots);
  m_RsCom.SetLostHandler([this] { OnComLost(); });
  m_DeviceLink.SetTrafficHook(&traffic);
  m_NetLink.SetLostHandler([this] { OnNetLost(); });
  // The status pane tells of a send that failed.
  auto sendFailed = [this] {
    if (m_linkStatus != nullptr) m_linkStatus->SendFailed();
  };
  m_RsCom.SetWriteFailedHandler(sendFailed);
  m_NetLink.SetSendFailedHandler(sendFailed);
}

CConnection::~CConnection() {
  Shutdown();
}

void CConnection::CreateStatus(QStatusBar* bar, QMenu* tools) {
  m_linkStatus = new CLinkStatus(*this, bar, tools);
}

void CConnection::Box(const QString& text) {
  MessageBox(m_host.Window(), text);
}

void CConnection::ClearChecks() {
  for (int kind : {1, 2, 3}) m_host.SetConnectionCheck(kind, false);
}

void CConnection::CloseTransports() {
  if (m_RsCom.IsOpen()) m_RsCom.ClosePort();
  // Also abandons a connect in progress, so that nothing waits for a
  // system time-out; its result, when it still comes, is stale.
  m_NetLink.Close();
  ++m_nNetAttempt;
  // Nothing is connected now; the procedure tells what it opens next.
  if (m_linkStatus != nullptr) m_linkStatus->NotConnected();
}

void CConnection::SendHandshake() {
  m_timerHandshake.stop();
  m_timerHandshake.start(1000);
  m_DeviceLink.SendCommand(cmd::kHandshake, 0);
}

// ---- serial ---------------------------------------------------------------------

void CConnection::OnRs232() {
  CDlgCom dlg(m_RsCom.IsOpen() ? m_RsCom.PortName() : std::string(), m_host.Window());
  if (Dialogs().Exec(dlg) != kIdOk) return;
  ConnectSerial(dlg.m_strCom);
}

void CConnection::ConnectSerial(const std::string& device) {
  // An earlier handshake still awaited must not time out over this attempt
  // (a message box below runs a nested event loop).
  m_timerHandshake.stop();
  CloseTransports();
  m_nConnKind = 1;
  if (device.empty() || !m_RsCom.OpenPort(device, &m_handOver)) {
    // After the port's own "Can not Open COM" when opening failed. Whatever
    // was connected has just been closed, so no mark may stay.
    Box(QStringLiteral("can not open com"));
    m_nConnKind = 0;
    ClearChecks();
    return;
  }
  if (m_linkStatus != nullptr) m_linkStatus->SerialOpened(1, m_RsCom.PortName());
  SendHandshake();
}

void CConnection::OnUsb() {
  m_timerHandshake.stop();  // as for RS232: no stale handshake time-out
  CloseTransports();
  m_nConnKind = 2;
  const std::optional<std::vector<std::string>> ports = ListUsbSerialPorts();
  if (!ports) {
    m_nConnKind = 0;
    ClearChecks();
    Box(QStringLiteral("can't Find USB"));
    return;
  }
  // The first that opens wins; one that does not shows the port's own message.
  for (const std::string& port : *ports) {
    if (m_RsCom.OpenPort(port, &m_handOver)) {
      if (m_linkStatus != nullptr) m_linkStatus->SerialOpened(2, m_RsCom.PortName());
      SendHandshake();
      return;
    }
  }
  m_nConnKind = 0;
  ClearChecks();
  Box(QStringLiteral("can't open USB"));
}

void CConnection::OnHandshakeAnswer(bool accepted) {
  m_timerHandshake.stop();
  if (!accepted) {
    m_DeviceLink.m_nReplyStatus = kReplyAnswered;
    m_nConnKind = 0;
    ClearChecks();
    m_host.AddInfo(QStringLiteral("Connection error!"));  // the port stays open
    if (m_linkStatus != nullptr) m_linkStatus->HandshakeAnswered(false);
    return;
  }
  const int kind = m_nConnKind;
  if (kind != 1 && kind != 2) return;
  m_DeviceLink.m_nReplyStatus = kReplyAnswered;
  m_host.SetConnectionCheck(1, kind == 1);
  m_host.SetConnectionCheck(2, kind == 2);
  m_host.SetConnectionCheck(3, false);
  m_host.AddInfo(QStringLiteral("Connection Success!"));
  if (m_linkStatus != nullptr) m_linkStatus->HandshakeAnswered(true);
  m_host.Connected();
}

void CConnection::OnTimerHandshake() {
  m_timerHandshake.stop();
  if (m_RsCom.IsOpen()) m_RsCom.ClosePort();
  m_nConnKind = 0;
  m_DeviceLink.m_nReplyStatus = kReplyAnswered;
  // A port the reconnect loop reopened: nobody waits for a box, the loop goes on.
  if (m_linkStatus != nullptr && m_linkStatus->ReconnectHandshakeTimedOut()) return;
  if (m_linkStatus != nullptr) m_linkStatus->NotConnected();
  ClearChecks();
  Box(QStringLiteral("Connect Unsuccess,Please check it"));
}

void CConnection::OnComLost() {
  // The device went away under the open port (an adapter unplugged): a
  // check mark would claim a connection that no frame can reach.
  if (!m_RsCom.IsOpen()) return;
  m_RsCom.ClosePort();
  m_timerHandshake.stop();  // the handshake it waited for cannot come now
  if (m_nConnKind == 1 || m_nConnKind == 2) m_nConnKind = 0;
  m_host.SetConnectionCheck(1, false);
  m_host.SetConnectionCheck(2, false);
  m_host.AddInfo(QStringLiteral("COM port lost"));
  if (m_linkStatus != nullptr) m_linkStatus->SerialLost();
}

// ---- network --------------------------------------------------------------------

void CConnection::OnTcpIp() {
  CDlgNet dlg(NetSettingsPath(), m_host.Window());
  if (Dialogs().Exec(dlg) != kIdOk) return;
  ConnectNet(dlg.m_strIP, dlg.m_strPort);
}

void CConnection::ConnectNet(const std::string& address, const std::string& port) {
  m_NetLink.SetNetAddress(address, port);
  ClearChecks();
  // The handshake of a serial port closed here is no longer awaited.
  m_timerHandshake.stop();
  CloseTransports();
  m_nConnKind = 3;
  m_nDots = 0;
  m_timerDots.start(1000);
  if (m_linkStatus != nullptr) m_linkStatus->NetConnecting(address, port);
  const int attempt = m_nNetAttempt;
  m_nNetPendingAttempt = attempt;
  m_NetLink.StartConnector(&m_handOver, [this, attempt](int result) { OnNetResultOf(attempt, result); });
}

void CConnection::OnNetResultOf(int attempt, int result) {
  if (attempt == m_nNetAttempt) {
    OnNetResult(result);
    return;
  }
  // An attempt abandoned by "Disconnect" or a newer connect procedure: the
  // connection chosen since then keeps its kind and check mark. Only the
  // animation that belonged to this attempt ends.
  if (m_nNetPendingAttempt == attempt) {
    m_nNetPendingAttempt = 0;
    m_timerDots.stop();
  }
}

void CConnection::OnNetResult(int result) {
  m_nNetPendingAttempt = 0;
  m_timerDots.stop();
  m_nConnKind = result == 1 ? 3 : 0;
  m_host.SetConnectionCheck(1, false);
  m_host.SetConnectionCheck(2, false);
  m_host.SetConnectionCheck(3, result == 1);
  m_host.AddInfo(result == 1 ? QStringLiteral("Connect NET success!") : QStringLiteral("Connect NET fail!"));
  if (m_linkStatus != nullptr) m_linkStatus->NetResult(result == 1);
  if (result == 1) m_host.Connected();
}

void CConnection::OnNetLost() {
  if (m_linkStatus != nullptr) m_linkStatus->NetLost();
}

void CConnection::OnTimerDots() {
  static const char* const kTexts[] = {"connecting .", "connecting . .", "connecting . . .",
                                       "connecting . . . .", "connecting . . . . ."};
  if (m_nDots < 0 || m_nDots > 4) return;
  m_host.ShowInfo(QString::fromLatin1(kTexts[m_nDots]));
  m_nDots = (m_nDots + 1) % 5;
}

// ---- both -------------------------------------------------------------------------

void CConnection::OnDisconnect() {
  // Whatever is open is closed, also a port whose handshake was refused, and
  // a connect in progress is abandoned.
  CloseTransports();
  m_nConnKind = 0;
  ClearChecks();
  m_host.ShowInfo(QStringLiteral("Disconnect!"));
  // Timer 4 keeps running: a handshake still awaited ends with its message.
}

void CConnection::OnFirmwareVersion() {
  if (m_DeviceLink.TransportOpen()) {
    if (m_linkStatus != nullptr) m_linkStatus->OperatorAskedVersion();
    m_DeviceLink.SendCommand(cmd::kVersion, 0);
    return;
  }
  Box(QStringLiteral("Please connect PC to machine"));
}

void CConnection::Shutdown() {
  if (m_bStopped) return;
  m_bStopped = true;
  m_timerHandshake.stop();
  m_timerDots.stop();
  if (m_linkStatus != nullptr) m_linkStatus->Stop();
  m_DeviceLink.Shutdown();
  m_NetLink.Shutdown();
  m_RsCom.ClosePort();
}

}  // namespace panora
