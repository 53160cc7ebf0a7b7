// The remote control's server over real loopback sockets: what it refuses
// before the program hears of it, its limits on connections, idle time and
// slow clients, and the events WebSocket.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QNetworkRequest>
#include <QTcpSocket>
#include <QTimer>
#include <QWebSocket>
#include <QWebSocketHandshakeOptions>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "remote/RecordingHost.h"
#include "remote/RemoteServer.h"

using namespace panora;
using panora::test::RecordingHost;

namespace {

const std::string kToken = "test-token-0123456789";

struct Wake {
  const QObject* sender;
  const char* signal;
};

// Runs the event loop until `done` holds, looking again whenever one of
// `wakes` is emitted; false when `ms` pass first.
bool WaitUntil(const std::function<bool()>& done, std::initializer_list<Wake> wakes, int ms = 5000) {
  QElapsedTimer clock;
  clock.start();
  while (!done()) {
    const qint64 left = ms - clock.elapsed();
    if (left <= 0) return false;
    QEventLoop loop;
    for (const Wake& w : wakes) QObject::connect(w.sender, w.signal, &loop, SLOT(quit()));
    QTimer::singleShot(static_cast<int>(left), &loop, &QEventLoop::quit);
    loop.exec();
  }
  return true;
}

// A plain HTTP client that reads whole responses.
class Client {
 public:
  QTcpSocket socket;
  std::string in;

  bool Open(int port, const QHostAddress& address = QHostAddress(QHostAddress::LocalHost)) {
    socket.connectToHost(address, static_cast<quint16>(port));
    Wait([&] { return socket.state() == QAbstractSocket::ConnectedState || Ended(); });
    return socket.state() == QAbstractSocket::ConnectedState;
  }
  void Send(const std::string& s) { socket.write(s.data(), static_cast<qint64>(s.size())); }
  // The next whole response, or what came before the connection ended.
  std::string Response(int ms = 5000) {
    std::string r;
    Wait([&] { return Take(r) || Ended(); }, ms);
    if (r.empty()) r.swap(in);
    return r;
  }
  int Status(int ms = 5000) {
    const std::string r = Response(ms);
    return r.size() >= 12 ? std::stoi(r.substr(9, 3)) : 0;
  }
  bool Closed(int ms = 5000) {
    return Wait([&] { return Ended(); }, ms);
  }

 private:
  bool Wait(const std::function<bool()>& done, int ms = 5000) {
    return WaitUntil(done,
                     {{&socket, SIGNAL(connected())},
                      {&socket, SIGNAL(readyRead())},
                      {&socket, SIGNAL(disconnected())},
                      {&socket, SIGNAL(errorOccurred(QAbstractSocket::SocketError))}},
                     ms);
  }
  bool Ended() {
    in += socket.readAll().toStdString();
    return socket.state() == QAbstractSocket::UnconnectedState;
  }
  bool Take(std::string& r) {
    in += socket.readAll().toStdString();
    const std::size_t end = in.find("\r\n\r\n");
    if (end == std::string::npos) return false;
    std::size_t length = 0;
    if (const std::size_t cl = in.find("Content-Length: "); cl != std::string::npos && cl < end)
      length = std::stoul(in.substr(cl + 16));
    if (in.size() < end + 4 + length) return false;
    r = in.substr(0, end + 4 + length);
    in.erase(0, r.size());
    return true;
  }
};

// An events client on a WebSocket, keeping what it was sent.
struct EventsClient {
  QWebSocket socket;
  std::vector<QString> messages;
  EventsClient() {
    QObject::connect(&socket, &QWebSocket::textMessageReceived, [this](const QString& m) { messages.push_back(m); });
  }
  // Opens and waits for the handshake's outcome: connected or not.
  bool Open(const QUrl& url, const QStringList& protocols = {}, const std::string& token = {}) {
    QNetworkRequest request(url);
    if (!token.empty()) request.setRawHeader("Authorization", QByteArray::fromStdString("Bearer " + token));
    QWebSocketHandshakeOptions options;
    options.setSubprotocols(protocols);
    socket.open(request, options);
    WaitUntil([&] { return socket.state() == QAbstractSocket::ConnectedState || socket.state() == QAbstractSocket::UnconnectedState; },
              {{&socket, SIGNAL(connected())}, {&socket, SIGNAL(disconnected())},
               {&socket, SIGNAL(error(QAbstractSocket::SocketError))}});
    return socket.state() == QAbstractSocket::ConnectedState;
  }
  bool WaitMessages(std::size_t n) {
    return WaitUntil([&] { return messages.size() >= n; }, {{&socket, SIGNAL(textMessageReceived(QString))}}, 10000);
  }
};

// The opening handshake of an events client made by hand.
std::string UpgradeRequest(int port, const std::string& extra = {}) {
  return "GET /api/v1/events HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(port) +
         "\r\nUpgrade: websocket\r\nConnection: Upgrade\r\nSec-WebSocket-Version: 13\r\n"
         "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\n" +
         extra + "\r\n";
}

}  // namespace

class RemoteServerTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    static int argc = 1;
    static char name[] = "remote_server_test";
    static char* argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
  }

  void Start(RemoteOptions options = {}) {
    options.port = 0;
    std::string error;
    ASSERT_TRUE(server.Start(options, &error)) << error;
    port = server.Port();
    host = "Host: 127.0.0.1:" + std::to_string(port) + "\r\n";
  }
  std::string Get(const std::string& path, const std::string& extra = {}) const {
    return "GET " + path + " HTTP/1.1\r\n" + host + extra + "\r\n";
  }
  std::string Post(const std::string& path, const std::string& body, const std::string& extra = {}) const {
    return "POST " + path + " HTTP/1.1\r\n" + host + "Content-Type: application/json\r\n" + extra +
           "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
  }
  bool WaitConnections(int n) {
    return WaitUntil([&] { return server.Connections() == n; }, {{&server, SIGNAL(ConnectionsChanged(int))}});
  }
  bool WaitEventClients(int n) {
    return WaitUntil([&] { return server.EventClients() == n; }, {{&server, SIGNAL(EventClientsChanged(int))}});
  }
  QUrl EventsUrl() const { return QUrl(QString("ws://127.0.0.1:%1/api/v1/events").arg(port)); }

  RecordingHost recorder;
  CRemoteServer server{recorder};
  int port = 0;
  std::string host;
};

TEST_F(RemoteServerTest, AnswersOnBothLoopbacksAndKeepsTheConnection) {
  server.SetPage("<!doctype html><title>remote</title>");
  Start();
  EXPECT_EQ(server.Url(), "http://127.0.0.1:" + std::to_string(port) + "/");
  Client c;
  ASSERT_TRUE(c.Open(port));
  c.Send(Get("/api/v1/state"));
  const std::string state = c.Response();
  EXPECT_EQ(state.substr(0, 15), "HTTP/1.1 200 OK");
  EXPECT_EQ(state.substr(state.size() - 11), R"({"mode":17})");
  c.Send(Post("/api/v1/mode", R"({"mode":8})") + Get("/"));  // pipelined on the same connection
  EXPECT_EQ(c.Status(), 200);
  const std::string page = c.Response();
  EXPECT_NE(page.find("<title>remote</title>"), std::string::npos);
  EXPECT_EQ(recorder.calls, (std::vector<std::string>{"state", "mode 8"}));

  Client v6;
  if (!v6.Open(port, QHostAddress(QHostAddress::LocalHostIPv6))) GTEST_SKIP() << "no IPv6 loopback here";
  v6.Send("GET /api/v1/state HTTP/1.1\r\nHost: [::1]:" + std::to_string(port) + "\r\n\r\n");
  EXPECT_EQ(v6.Status(), 200);
}

TEST_F(RemoteServerTest, RefusesBeforeTheProgramHearsOfIt) {
  RemoteOptions options;
  options.token = kToken;
  Start(options);
  const std::string auth = "Authorization: Bearer " + kToken + "\r\n";
  const struct {
    std::string request;
    int status;
  } cases[] = {
      {Get("/api/v1/state"), 401},
      {Post("/api/v1/mode", R"({"mode":8})", "Authorization: Bearer wrong\r\n"), 401},
      {"GET /api/v1/state HTTP/1.1\r\nHost: rebound.example:" + std::to_string(port) + "\r\n" + auth + "\r\n", 403},
      {Post("/api/v1/mode", R"({"mode":8})", auth + "Origin: http://evil.example\r\n"), 403},
      {"POST /api/v1/mode HTTP/1.1\r\n" + host + auth + "Content-Type: text/plain\r\nContent-Length: 10\r\n\r\n{\"mode\":8}",
       415},
      {"POST /api/v1/mode HTTP/1.1\r\n" + host + auth + "Content-Type: application/json\r\nContent-Length: 70000\r\n\r\n",
       413},
      {Get("/api/v1/state", auth + "X-Pad: " + std::string(9000, 'p') + "\r\n"), 431},
      {Get("/api/v1/nothing", auth), 404},
      {Get("/api/v1/mode", auth), 405},
      {Post("/api/v1/mode", R"({"mode":34})", auth), 400},
  };
  for (const auto& k : cases) {
    Client c;
    ASSERT_TRUE(c.Open(port));
    c.Send(k.request);
    EXPECT_EQ(c.Status(), k.status) << k.request.substr(0, 120);
  }
  EXPECT_TRUE(recorder.calls.empty());
  Client ok;
  ASSERT_TRUE(ok.Open(port));
  ok.Send(Post("/api/v1/mode", R"({"mode":8})", auth + "Origin: http://localhost:" + std::to_string(port) + "\r\n"));
  EXPECT_EQ(ok.Status(), 200);
  EXPECT_EQ(recorder.calls, std::vector<std::string>{"mode 8"});
}

TEST_F(RemoteServerTest, StartRefusesWhatItCannotServeSafely) {
  const struct {
    std::string address, token, reason;
  } cases[] = {
      {"0.0.0.0", "", "a token is required"},
      {"192.0.2.1", "", "a token is required"},
      {"::", "", "a token is required"},
      {"example.org", kToken, "is not an IP address"},
      {"127.0.0.1", "two words", "the token may hold only"},
  };
  for (const auto& k : cases) {
    std::string error;
    EXPECT_FALSE(server.Start({k.address, 0, k.token}, &error)) << k.address;
    EXPECT_NE(error.find(k.reason), std::string::npos) << error;
    EXPECT_FALSE(server.Running());
  }
  Start();
  RecordingHost other;
  CRemoteServer second(other);
  std::string error;
  EXPECT_FALSE(second.Start({"127.0.0.1", port, ""}, &error));
  EXPECT_NE(error.find("cannot listen on 127.0.0.1:" + std::to_string(port)), std::string::npos) << error;
}

TEST_F(RemoteServerTest, SixtyFifthConnectionIsToldBusyAndClosed) {
  Start();
  std::vector<std::unique_ptr<Client>> clients;
  for (int i = 0; i < CRemoteServer::kMaxConnections; ++i) {
    clients.push_back(std::make_unique<Client>());
    ASSERT_TRUE(clients.back()->Open(port));
  }
  ASSERT_TRUE(WaitConnections(CRemoteServer::kMaxConnections));
  Client extra;
  ASSERT_TRUE(extra.Open(port));
  const std::string busy = extra.Response();
  EXPECT_EQ(busy.substr(0, 12), "HTTP/1.1 503") << busy;
  EXPECT_TRUE(extra.Closed());
  // Those in are served; when one leaves, a newcomer gets its place.
  clients[0]->Send(Get("/api/v1/state"));
  EXPECT_EQ(clients[0]->Status(), 200);
  clients[1]->socket.disconnectFromHost();
  ASSERT_TRUE(WaitConnections(CRemoteServer::kMaxConnections - 1));
  Client next;
  ASSERT_TRUE(next.Open(port));
  next.Send(Get("/api/v1/state"));
  EXPECT_EQ(next.Status(), 200);
}

TEST_F(RemoteServerTest, IdleAndSlowConnectionsCloseButLiveEventClientsStay) {
  RemoteOptions options;
  options.idleMs = 300;
  Start(options);
  EventsClient live;  // answers the server's pings by itself
  ASSERT_TRUE(live.Open(EventsUrl()));
  Client silent, slow, deaf;
  ASSERT_TRUE(silent.Open(port));
  ASSERT_TRUE(slow.Open(port));
  ASSERT_TRUE(deaf.Open(port));
  slow.Send("GET /api/v1/state HTTP/1.1\r\nHo");  // and never the rest
  deaf.Send(UpgradeRequest(port));              // an events client that never answers a ping
  EXPECT_EQ(deaf.Status(), 101);
  EXPECT_TRUE(silent.Closed());
  EXPECT_TRUE(slow.Closed());
  EXPECT_TRUE(deaf.Closed());
  // The live client came first and so was idle as long as the deaf one.
  server.Broadcast(R"({"event":"link"})");
  ASSERT_TRUE(live.WaitMessages(1));
  EXPECT_EQ(live.messages[0], R"({"event":"link"})");
  EXPECT_EQ(server.EventClients(), 1);
}

TEST_F(RemoteServerTest, EventsReachEveryClientAndOneThatDoesNotReadIsDropped) {
  RemoteOptions options;
  options.token = kToken;
  Start(options);
  EventsClient page, script, stranger;
  ASSERT_TRUE(page.Open(EventsUrl(), {"panora.v1", QString::fromStdString("bearer." + kToken)}));
  EXPECT_EQ(page.socket.subprotocol(), "panora.v1");
  ASSERT_TRUE(script.Open(EventsUrl(), {}, kToken));
  EXPECT_FALSE(stranger.Open(EventsUrl(), {"panora.v1", "bearer.guess"}));
  ASSERT_TRUE(WaitEventClients(2));

  const std::string event = R"({"event":"mode","mode":8,"modeName":"Full-Default 1"})";
  server.Broadcast(event);
  ASSERT_TRUE(page.WaitMessages(1));
  ASSERT_TRUE(script.WaitMessages(1));
  EXPECT_EQ(page.messages[0].toStdString(), event);

  // A client that never reads: its queue grows past the bound and it goes,
  // while the others get every message.
  Client stuck;
  ASSERT_TRUE(stuck.Open(port));
  stuck.Send(UpgradeRequest(port, "Authorization: Bearer " + kToken + "\r\n"));
  EXPECT_EQ(stuck.Status(), 101);
  stuck.socket.setReadBufferSize(1);
  ASSERT_TRUE(WaitEventClients(3));
  const std::string big = "{\"pad\":\"" + std::string(256 * 1024, 'x') + "\"}";
  std::size_t sent = 1;
  while (server.EventClients() == 3 && sent < 200) {
    server.Broadcast(big);
    ++sent;
    ASSERT_TRUE(page.WaitMessages(sent));
    ASSERT_TRUE(script.WaitMessages(sent));
  }
  EXPECT_EQ(server.EventClients(), 2) << "after " << sent << " messages";
  EXPECT_EQ(script.messages.size(), sent);

  // Stopping says goodbye to the clients and takes no more.
  server.Stop();
  EXPECT_TRUE(WaitUntil([&] { return page.socket.state() == QAbstractSocket::UnconnectedState; },
                        {{&page.socket, SIGNAL(disconnected())}}));
  Client late;
  EXPECT_FALSE(late.Open(port));
}

TEST_F(RemoteServerTest, GarbageEndsOnlyItsOwnConnection) {
  Start();
  Client slow, bad;
  ASSERT_TRUE(slow.Open(port));
  ASSERT_TRUE(bad.Open(port));
  const std::string request = Post("/api/v1/mode", R"({"mode":5})");
  slow.Send(request.substr(0, 30));
  bad.Send(std::string("\x16\x03\x01\x00\xa5\x01\x00\x00\xa1\x03\x03 not http\r\n\r\n", 24));
  EXPECT_EQ(bad.Status(), 400);
  EXPECT_TRUE(bad.Closed());
  slow.Send(request.substr(30));
  EXPECT_EQ(slow.Status(), 200);
  EXPECT_EQ(recorder.calls, std::vector<std::string>{"mode 5"});
}
