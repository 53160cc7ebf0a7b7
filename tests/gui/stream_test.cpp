// Received data under stress: a flood of garbage, closing while bytes stream
// in, and answers split over two reads or joined in one.
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>

#include <QTimer>
#include <atomic>
#include <chrono>
#include <random>
#include <thread>

#include "LinkGuiSupport.h"
#include "link/Commands.h"
#include "link/LinkTestSupport.h"

using namespace panora;
using namespace panora::test;
using Clock = std::chrono::steady_clock;

namespace {

// Writes random bytes to fd as fast as the reader takes them, until stopped
// or the far end goes away. Never blocks for long: stopping is prompt.
class Flood {
 public:
  Flood(int fd, bool socket) : m_thread([this, fd, socket] { Run(fd, socket); }) {}
  ~Flood() { Stop(); }
  void Stop() {
    m_stop = true;
    if (m_thread.joinable()) m_thread.join();
  }
  long long Bytes() const { return m_bytes.load(); }

 private:
  void Run(int fd, bool socket) {
    // A pty master may take fewer bytes than poll promised; never block.
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
    std::mt19937 rng(7);
    std::uint8_t buf[4096];
    while (!m_stop) {
      for (auto& b : buf) b = static_cast<std::uint8_t>(rng());
      pollfd p{fd, POLLOUT, 0};
      if (::poll(&p, 1, 10) <= 0) continue;
      if (p.revents & (POLLERR | POLLHUP | POLLNVAL)) return;
      const ssize_t n =
          socket ? ::send(fd, buf, sizeof buf, MSG_NOSIGNAL | MSG_DONTWAIT) : ::write(fd, buf, sizeof buf);
      if (n > 0) m_bytes += n;
      if (n < 0 && errno != EAGAIN && errno != EINTR) return;
    }
  }
  std::atomic<bool> m_stop{false};
  std::atomic<long long> m_bytes{0};
  std::thread m_thread;
};

// The longest gap between ticks of a 20 ms timer while the loop runs for ms.
qint64 LongestTickGap(int ms) {
  QTimer tick;
  tick.setInterval(20);
  auto last = Clock::now();
  qint64 longest = 0;
  QObject::connect(&tick, &QTimer::timeout, [&] {
    longest = std::max<qint64>(longest, MsSince(last));
    last = Clock::now();
  });
  tick.start();
  Pump(ms);
  return std::max<qint64>(longest, MsSince(last));
}

}  // namespace

class StreamTest : public FrameTest {};

TEST_F(StreamTest, AGarbageFloodKeepsTheWindowResponsiveOnBothTransports) {
  // Network: a peer that sends nothing but random bytes.
  Listener peer;
  f->Connection().ConnectNet("127.0.0.1", peer.PortText());
  const int conn = peer.Accept();
  ASSERT_GE(conn, 0);
  ASSERT_TRUE(WaitUntil([&] { return InfoHas(*f, "Connect NET success!"); }));
  {
    Flood flood(conn, true);
    f->NoteCommand(cmd::kVersion, 0);  // random blocks are read as version answers
    EXPECT_LT(LongestTickGap(1000), 250);
    EXPECT_GT(flood.Bytes(), 100000);
    const auto start = Clock::now();
    f->Action(ID_CONN_DISCONNECT)->trigger();
    EXPECT_LT(MsSince(start), 300);
  }
  ::close(conn);

  // Serial: random bytes on the line.
  Pty line;
  AddExtraSerialPort(line.slave, false);
  dialogs.ExpectDialog("153", ChoosePort(line.slave));
  f->Action(ID_CONN_RS232)->trigger();
  ASSERT_TRUE(f->RsCom().IsOpen());
  // Noise never answers the handshake (the flood comes in whole buffers,
  // which decide nothing), and its time-out box is not what this is about.
  f->TimerHandshake().stop();
  {
    Flood flood(line.master, false);
    EXPECT_LT(LongestTickGap(1000), 250);
    EXPECT_GT(flood.Bytes(), 10000);
    const auto start = Clock::now();
    f->Action(ID_CONN_DISCONNECT)->trigger();
    EXPECT_LT(MsSince(start), 300);
  }
}

TEST_F(StreamTest, ClosingWhileDataStreamsInDoesNotDeadlock) {
  Listener peer;
  f->Connection().ConnectNet("127.0.0.1", peer.PortText());
  const int conn = peer.Accept();
  ASSERT_GE(conn, 0);
  ASSERT_TRUE(WaitUntil([&] { return InfoHas(*f, "Connect NET success!"); }));
  Pty line;
  ASSERT_EQ(f->RsCom().OpenPort(line.slave, &f->Hand()), 1);
  Flood net(conn, true), serial(line.master, false);
  Pump(300);
  // Both readers are busy handing blocks over; the window ends without
  // running its event loop again.
  const auto start = Clock::now();
  f->close();
  EXPECT_LT(MsSince(start), 1000);
  EXPECT_FALSE(f->RsCom().IsOpen());
  EXPECT_FALSE(f->NetLink().IsConnected());
  net.Stop();
  serial.Stop();
  ::close(conn);
}

TEST_F(StreamTest, AnAnswerSplitOverTwoReadsIsNotReadButOneJoinedByTheSerialReaderIs) {
  // Over TCP the two halves arrive as two blocks; each fails the length test.
  sim::ServerOptions opt;
  opt.split = true;
  opt.splitPauseMs = 100;
  EmbeddedSim slow(opt);
  ASSERT_TRUE(slow.Ok()) << slow.Error();
  f->Connection().ConnectNet("127.0.0.1", slow.PortText());
  ASSERT_TRUE(WaitUntil([&] { return InfoHas(*f, "Connect NET success!"); }));
  f->Action(ID_ABOUT_FIRMWARE)->trigger();
  Pump(400);
  for (const QString& line : InfoTexts(*f)) EXPECT_FALSE(line.startsWith("Version:")) << line.toStdString();

  // On the serial line, halves 20 ms apart come within the read interval
  // and reach the window as one block.
  sim::ServerOptions fast;
  fast.split = true;
  fast.splitPauseMs = 20;
  EmbeddedSim sim(fast, home.Path());
  ASSERT_TRUE(sim.Ok()) << sim.Error();
  f->Connection().ConnectSerial(sim.Pty());
  ASSERT_TRUE(WaitUntil([&] { return InfoHas(*f, "Connection Success!"); }));
  f->Action(ID_ABOUT_FIRMWARE)->trigger();
  EXPECT_TRUE(WaitUntil([&] { return InfoHas(*f, "Version:1.0.0"); }));
}

TEST_F(StreamTest, TwoAnswersJoinedInOneBlockAreReadOnceAsTheLastCommandsAnswer) {
  Listener peer;
  f->Connection().ConnectNet("127.0.0.1", peer.PortText());
  const int conn = peer.Accept();
  ASSERT_GE(conn, 0);
  ASSERT_TRUE(WaitUntil([&] { return InfoHas(*f, "Connect NET success!"); }));
  f->Action(ID_ABOUT_FIRMWARE)->trigger();
  ASSERT_EQ(ReadSocket(conn, 12, std::chrono::milliseconds(1000)).size(), 12u);
  // Two version answers in one write.
  const std::vector<std::uint8_t> one{0x7D, 0x3A, 0x00, 0x08, 0xFF, 0x00, 0x00, 0x00,
                                      0x00, 3,    4,    5,    0x0B, 0x45, 0x4E, 0x44};
  std::vector<std::uint8_t> two = one;
  two.insert(two.end(), one.begin(), one.end());
  two[16 + 9] = 9;
  ASSERT_EQ(::send(conn, two.data(), two.size(), MSG_NOSIGNAL), static_cast<ssize_t>(two.size()));
  ASSERT_TRUE(WaitUntil([&] { return InfoHas(*f, "Version:3.4.5"); }));
  Pump(200);
  EXPECT_EQ(InfoTexts(*f).filter("Version:").size(), 1);
  ::close(conn);
}
