// The connection procedures of the Connection menu and everything that
// keeps a link: the serial port, the network link and the device link on
// top of them (owned here), the handshake and its one-second timer, the
// "connecting" animation, a serial port or network link lost on its own,
// the firmware version query, and the link status pane with reconnect and
// keepalive. What must reach the window (information lines, boxes, the
// check marks of the Connection menu) goes through ConnectionHost.
//
// Every procedure starts with CloseTransports: close the serial port, close
// the network link (which abandons a connect in progress at once) and count
// a new attempt. A connector's result carries the attempt it belongs to;
// the result of an abandoned attempt only ends its own animation.
#pragma once

#include <QObject>
#include <QString>
#include <QTimer>
#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

#include "link/DeviceLink.h"
#include "link/NetLink.h"
#include "link/RsCom.h"

class QMenu;
class QStatusBar;
class QWidget;

namespace panora {

class CLinkStatus;

// What the procedures need of the window.
class ConnectionHost {
 public:
  virtual ~ConnectionHost() = default;
  virtual QWidget* Window() = 0;  // the parent of dialogs and boxes
  virtual void AddInfo(const QString& text) = 0;
  virtual void ShowInfo(const QString& text) = 0;
  // The mark of "RS232" (kind 1), "USB" (2) or "TCP/IP" (3): the
  // connection last confirmed carries it.
  virtual void SetConnectionCheck(int kind, bool on) = 0;
  // A connect or reconnect succeeded (the handshake accepted, or the
  // network connected).
  virtual void Connected() {}
};

// Where the device link's threads report: each runs on the user-interface thread.
struct LinkReports {
  std::function<void(const std::uint8_t*, int)> data;  // a received block
  std::function<void(int job)> batchDone;
  std::function<void()> positionAnswer;
  std::function<void()> unsentChanged;  // after the link pane has said it
  std::function<void(int sent, int total)> setupProgress;
  std::function<void(const SetupOutcome&)> setupDone;
};

class CConnection : public QObject {
  Q_OBJECT

  // The device link refers to both transports and so is declared after them.
  CRsCom m_RsCom;
  CNetLink m_NetLink;
  CDeviceLink m_DeviceLink;

 public:
  static constexpr int kTimerHandshake = 4;  // the handshake time-out
  static constexpr int kTimerDots = 6;       // the "connecting" animation

  CConnection(ConnectionHost& host, HandOver& handOver, TrafficLog& traffic, LinkReports reports);
  ~CConnection() override;

  // The link status pane in `bar` and its two switches in `tools`.
  void CreateStatus(QStatusBar* bar, QMenu* tools);
  CLinkStatus* LinkStatus() const { return m_linkStatus; }

  CRsCom& RsCom() { return m_RsCom; }
  CNetLink& NetLink() { return m_NetLink; }
  CDeviceLink& Link() { return m_DeviceLink; }
  const CDeviceLink& Link() const { return m_DeviceLink; }
  HandOver& Hand() { return m_handOver; }
  QTimer& TimerHandshake() { return m_timerHandshake; }
  QTimer& TimerDots() { return m_timerDots; }

  // The Connection menu. RS232 and TCP/IP ask their dialog first; the
  // command line and the reconnect loop use the procedures after it.
  void OnRs232();
  void OnUsb();
  void OnTcpIp();
  void OnDisconnect();
  void ConnectSerial(const std::string& device);
  void ConnectNet(const std::string& address, const std::string& port);
  void SendHandshake();
  // "About Firmware Version".
  void OnFirmwareVersion();

  // The answer to the handshake (the reply handling reads it).
  void OnHandshakeAnswer(bool accepted);
  void OnNetResult(int result);
  void OnTimerHandshake();
  void OnTimerDots();
  // The serial device went away under the open port.
  void OnComLost();
  // The network link went away on its own; it counts as connected until closed.
  void OnNetLost();

  // Ends and joins every thread of the link, none waiting for a system
  // time-out: workers first, then connectors and the receive thread, then
  // the serial reader.
  void Shutdown();

  std::atomic<int> m_nConnKind{0};  // 0 none, 1 RS232, 2 USB, 3 TCP/IP
  int m_nDots = 0;

 private:
  void CloseTransports();
  void OnNetResultOf(int attempt, int result);
  void ClearChecks();
  void Box(const QString& text);

  ConnectionHost& m_host;
  HandOver& m_handOver;
  QTimer m_timerHandshake;
  QTimer m_timerDots;
  CLinkStatus* m_linkStatus = nullptr;
  bool m_bStopped = false;
  int m_nNetAttempt = 0;         // counts connect procedures and disconnects
  int m_nNetPendingAttempt = 0;  // the network attempt still awaited, or 0
};

}  // namespace panora
