// The remote control's server: listens on a TCP port on the user-interface
// thread (the host is called there) and hands each connection's bytes to a
// session of its own (remote/HttpSession.h), which does all the HTTP and
// WebSocket work. Here live only the limits that need a socket or a clock:
// at most kMaxConnections at once (the next one is told 503 and closed),
// idle ones closed, nothing ever read or written blocking, a client that
// does not read its answers not read from either, and an events client that
// does not read dropped once its queue passes kMaxQueued.
#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QTimer>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "remote/ApiHost.h"
#include "remote/HttpSecurity.h"

class QTcpServer;
class QTcpSocket;

namespace panora {

struct RemoteOptions {
  std::string address = "127.0.0.1";  // an IP address or "localhost"
  int port = 8080;                    // 0: any free port (see Port())
  std::string token;                  // needed unless the address is loopback
  int idleMs = 30000;                 // a connection without a request this long is closed
};

class CRemoteServer : public QObject {
  Q_OBJECT

 public:
  static constexpr int kMaxConnections = 64;
  static constexpr qint64 kMaxQueued = 1 << 20;

  explicit CRemoteServer(remote::ApiHost& host, QObject* parent = nullptr);
  ~CRemoteServer() override;

  // Listens; on loopback 127.0.0.1 and [::1] both. Refuses, saying why, an
  // address that is not loopback without a valid token, or a port in use.
  bool Start(const RemoteOptions& options, std::string* error);
  void Stop();
  bool Running() const { return !m_listeners.empty(); }
  int Port() const { return m_config.port; }
  // What to open in a browser: "http://127.0.0.1:8080/".
  std::string Url() const { return m_url; }

  void SetPage(const QByteArray& html);
  // One text message to every events client.
  void Broadcast(const std::string& json);
  int EventClients() const;
  int Connections() const { return static_cast<int>(m_connections.size()); }

 signals:
  void EventClientsChanged(int count);
  void ConnectionsChanged(int count);

 private:
  struct Connection;
  void Accept(QTcpServer* listener);
  void Pump(Connection& c);
  void Flush(Connection& c);
  void Drop(QTcpSocket* socket);
  void Tick();

  remote::ApiHost& m_host;
  remote::ServerConfig m_config;
  std::string m_url;
  int m_idleMs = 30000;
  std::vector<std::unique_ptr<QTcpServer>> m_listeners;
  std::map<QTcpSocket*, std::unique_ptr<Connection>> m_connections;
  QTimer m_tick;
};

}  // namespace panora
