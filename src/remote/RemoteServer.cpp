#include "remote/RemoteServer.h"

#include <sys/socket.h>

#include <QHostAddress>
#include <QHostInfo>
#include <QNetworkInterface>
#include <QTcpServer>
#include <QTcpSocket>
#include <algorithm>

#include "remote/ApiRouter.h"
#include "remote/HttpSession.h"

namespace panora {

struct CRemoteServer::Connection {
  Connection(QTcpSocket* s, remote::ApiHost& host, const remote::ServerConfig& config)
      : socket(s), session(host, config) {
    sinceRequest.start();
    sinceHeard.start();
  }
  QTcpSocket* socket;
  remote::CHttpSession session;
  QElapsedTimer sinceRequest;  // restarted by every answer: slow senders get no more time than idle ones
  QElapsedTimer sinceHeard;    // events clients: restarted by every byte (a pong too)
  QElapsedTimer sinceClosing;
  std::uint64_t answered = 0;
  bool eventClient = false;
  bool pinged = false;
  bool closing = false;     // the answers go out, then our side ends; what comes is read and dropped
  bool halfClosed = false;  // our side ended: the peer's close ends the connection
  bool busy = false;        // in Pump: the host may run an event loop under it
  bool gone = false;        // dropped while busy: removed when Pump returns
};

namespace {

// How an address appears in Host and Origin: lower-case, IPv6 in brackets.
std::string HostName(QHostAddress a) {
  a.setScopeId({});
  const std::string s = a.toString().toLower().toStdString();
  return a.protocol() == QAbstractSocket::IPv6Protocol ? "[" + s + "]" : s;
}

std::vector<std::string> LoopbackNames() { return {"127.0.0.1", "localhost", "[::1]"}; }

}  // namespace

CRemoteServer::CRemoteServer(remote::ApiHost& host, QObject* parent) : QObject(parent), m_host(host) {
  connect(&m_tick, &QTimer::timeout, this, &CRemoteServer::Tick);
}

CRemoteServer::~CRemoteServer() {
  m_tick.stop();
  for (auto& [socket, c] : m_connections) {
    socket->disconnect(this);
    socket->abort();
  }
  m_connections.clear();
}

bool CRemoteServer::Start(const RemoteOptions& options, std::string* error) {
  Stop();
  auto fail = [&](const std::string& why) {
    if (error != nullptr) *error = why;
    m_listeners.clear();
    return false;
  };
  if (options.port < 0 || options.port > 65535) return fail("the port must be 0..65535");
  if (!options.token.empty() && !remote::ValidToken(options.token))
    return fail("the token may hold only letters, digits and - . _ ~ (at most 256)");

  QString text = QString::fromStdString(options.address).trimmed();
  if (text.startsWith('[') && text.endsWith(']')) text = text.mid(1, text.size() - 2);
  std::vector<QHostAddress> binds;
  std::vector<std::string> names;
  std::string urlHost;
  if (text.compare("localhost", Qt::CaseInsensitive) == 0 || text == "127.0.0.1" || text == "::1") {
    // Browsers may resolve localhost to either loopback.
    binds = {QHostAddress(QHostAddress::LocalHost), QHostAddress(QHostAddress::LocalHostIPv6)};
    if (text == "::1") std::swap(binds[0], binds[1]);
    names = LoopbackNames();
    urlHost = text == "::1" ? "[::1]" : text.toLower().toStdString();
  } else {
    QHostAddress a;
    if (!a.setAddress(text)) return fail("\"" + options.address + "\" is not an IP address or localhost");
    binds = {a};
    if (!a.isLoopback() && options.token.empty())
      return fail("a token is required to listen on " + options.address +
                  ", an address other machines can reach; without one only loopback is served");
    if (a == QHostAddress(QHostAddress::AnyIPv4) || a == QHostAddress(QHostAddress::AnyIPv6)) {
      names = LoopbackNames();
      for (const QHostAddress& i : QNetworkInterface::allAddresses()) names.push_back(HostName(i));
      names.push_back(QHostInfo::localHostName().toLower().toStdString());
      urlHost = "127.0.0.1";
      for (const QHostAddress& i : QNetworkInterface::allAddresses())
        if (!i.isLoopback() && i.protocol() == QAbstractSocket::IPv4Protocol) {
          urlHost = HostName(i);
          break;
        }
    } else {
      names = {HostName(a)};
      urlHost = HostName(a);
    }
  }

  int port = options.port;
  for (std::size_t i = 0; i < binds.size(); ++i) {
    auto listener = std::make_unique<QTcpServer>();
    if (!listener->listen(binds[i], static_cast<quint16>(port))) {
      // The second loopback is a courtesy: a machine without IPv6 has none.
      if (i > 0) continue;
      return fail("cannot listen on " + HostName(binds[i]) + ":" + std::to_string(port) + ": " +
                  listener->errorString().toStdString());
    }
    port = listener->serverPort();
    QTcpServer* raw = listener.get();
    connect(raw, &QTcpServer::newConnection, this, [this, raw] { Accept(raw); });
    m_listeners.push_back(std::move(listener));
  }
  m_config.hostNames = names;
  m_config.port = port;
  m_config.token = options.token;
  m_url = "http://" + urlHost + ":" + std::to_string(port) + "/";
  m_idleMs = std::max(options.idleMs, 1);
  m_tick.start(std::max(m_idleMs / 4, 10));
  return true;
}

void CRemoteServer::Stop() {
  if (m_listeners.empty() && m_connections.empty()) return;
  m_tick.stop();
  m_listeners.clear();
  std::vector<QTcpSocket*> sockets;
  for (auto& [socket, c] : m_connections) sockets.push_back(socket);
  for (QTcpSocket* socket : sockets) {
    const auto it = m_connections.find(socket);
    if (it == m_connections.end()) continue;
    Connection& c = *it->second;
    if (c.busy) {  // Stop() from within a request: Pump ends it
      c.gone = true;
      continue;
    }
    // Events clients hear that the server goes; then the socket ends itself.
    c.session.GoAway();
    const std::string out = c.session.TakeOutput();
    socket->write(out.data(), static_cast<qint64>(out.size()));
    m_connections.erase(it);
    socket->disconnect(this);
    connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    QTimer::singleShot(1000, socket, [socket] { socket->abort(); });
    socket->disconnectFromHost();
  }
  emit ConnectionsChanged(Connections());
  emit EventClientsChanged(0);
  m_url.clear();
}

void CRemoteServer::SetPage(const QByteArray& html) { m_config.page = html.toStdString(); }

int CRemoteServer::EventClients() const {
  return static_cast<int>(std::count_if(m_connections.begin(), m_connections.end(), [](const auto& e) {
    return e.second->eventClient && !e.second->closing && !e.second->gone;
  }));
}

void CRemoteServer::Accept(QTcpServer* listener) {
  while (QTcpSocket* socket = listener->nextPendingConnection()) {
    if (static_cast<int>(m_connections.size()) >= kMaxConnections) {
      remote::HttpResponse busy = remote::ErrorResponse(503, "too many connections");
      busy.close = true;
      const std::string text = remote::SerializeResponse(busy);
      socket->write(text.data(), static_cast<qint64>(text.size()));
      connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
      socket->disconnectFromHost();
      continue;
    }
    // Owned here, so that closing a listener leaves its connections alone.
    socket->setParent(this);
    // Qt reads no more than this ahead of us: a client we stop reading waits.
    socket->setReadBufferSize(64 * 1024);
    connect(socket, &QTcpSocket::readyRead, this, [this, socket] {
      if (const auto it = m_connections.find(socket); it != m_connections.end()) Pump(*it->second);
    });
    connect(socket, &QTcpSocket::bytesWritten, this, [this, socket] {
      const auto it = m_connections.find(socket);
      if (it == m_connections.end()) return;
      Connection& c = *it->second;
      if (c.closing && !c.halfClosed && socket->bytesToWrite() == 0) {
        // All answered: end our side, and let the peer's close end the rest
        // (closing with its bytes unread would reset the connection and
        // could lose the answer on the way).
        ::shutdown(static_cast<int>(socket->socketDescriptor()), SHUT_WR);
        c.halfClosed = true;
      }
      Pump(c);
    });
    connect(socket, &QTcpSocket::disconnected, this, [this, socket] { Drop(socket); });
    auto c = std::make_unique<Connection>(socket, m_host, m_config);
    Connection& ref = *c;
    m_connections.emplace(socket, std::move(c));
    emit ConnectionsChanged(Connections());
    Pump(ref);
  }
}

void CRemoteServer::Flush(Connection& c) {
  const std::string out = c.session.TakeOutput();
  if (!out.empty()) c.socket->write(out.data(), static_cast<qint64>(out.size()));
  if (c.session.Closing() && !c.closing) {
    c.closing = true;
    c.sinceClosing.start();
    if (c.socket->bytesToWrite() == 0) {
      ::shutdown(static_cast<int>(c.socket->socketDescriptor()), SHUT_WR);
      c.halfClosed = true;
    }
  }
}

void CRemoteServer::Pump(Connection& c) {
  if (c.busy) return;
  QTcpSocket* socket = c.socket;
  c.busy = true;
  char buf[16384];
  // A client that does not read its answers is not read from either.
  while (!c.gone && socket->bytesAvailable() > 0 && (c.closing || socket->bytesToWrite() < kMaxQueued)) {
    const qint64 n = socket->read(buf, sizeof buf);
    if (n <= 0) break;
    if (c.closing) continue;  // after the last answer: read and dropped
    c.sinceHeard.restart();
    c.pinged = false;
    c.session.Feed(std::string_view(buf, static_cast<std::size_t>(n)));
    if (c.session.Answered() != c.answered) {
      c.answered = c.session.Answered();
      c.sinceRequest.restart();
    }
    Flush(c);
    if (c.session.IsEventClient() && !c.eventClient) {
      c.eventClient = true;
      emit EventClientsChanged(EventClients());
    }
  }
  c.busy = false;
  if (c.gone) Drop(socket);
}

void CRemoteServer::Drop(QTcpSocket* socket) {
  const auto it = m_connections.find(socket);
  if (it == m_connections.end()) return;
  if (it->second->busy) {
    it->second->gone = true;
    return;
  }
  const bool events = it->second->eventClient;
  m_connections.erase(it);
  socket->disconnect(this);
  socket->abort();  // when dropped for being slow or by Stop() under a request
  socket->deleteLater();
  emit ConnectionsChanged(Connections());
  if (events) emit EventClientsChanged(EventClients());
}

void CRemoteServer::Broadcast(const std::string& json) {
  const std::string frame = remote::EncodeWsFrame(remote::kWsText, json);
  std::vector<QTcpSocket*> sockets;
  for (auto& [socket, c] : m_connections)
    if (c->eventClient && !c->closing && !c->gone) sockets.push_back(socket);
  for (QTcpSocket* socket : sockets) {
    if (m_connections.count(socket) == 0) continue;
    socket->write(frame.data(), static_cast<qint64>(frame.size()));
    // A client that does not read must not hold the others up, nor memory.
    if (socket->bytesToWrite() > kMaxQueued) socket->abort();
  }
}

void CRemoteServer::Tick() {
  std::vector<QTcpSocket*> ending, pinging;
  for (auto& [socket, c] : m_connections) {
    if (c->busy) continue;
    if (c->closing) {
      if (c->sinceClosing.elapsed() > m_idleMs) ending.push_back(socket);
    } else if (c->eventClient) {
      // A live client answers pings: one that says nothing for the idle time is gone.
      if (c->sinceHeard.elapsed() > m_idleMs)
        ending.push_back(socket);
      else if (!c->pinged && c->sinceHeard.elapsed() > m_idleMs / 2)
        pinging.push_back(socket);
    } else if (c->sinceRequest.elapsed() > m_idleMs) {
      ending.push_back(socket);
    }
  }
  for (QTcpSocket* socket : pinging) {
    Connection& c = *m_connections.at(socket);
    c.pinged = true;
    c.session.Ping();
    Flush(c);
  }
  for (QTcpSocket* socket : ending)
    if (m_connections.count(socket) != 0) socket->abort();
}

}  // namespace panora
