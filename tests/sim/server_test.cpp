// The server embedded in-process, as the program will embed it: start-up
// failures, stopping while busy, and one state shared by TCP and pty.
#include "sim/engine/Server.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>
#include <vector>

#include "link/Frame.h"
#include "link/LinkTestSupport.h"
#include "sim/SimProcess.h"

namespace {

using panora::sim::Server;
using panora::sim::ServerOptions;
using panora::test::RawClient;
using panora::test::TempDir;
using Bytes = std::vector<std::uint8_t>;

Bytes Frame(std::uint8_t cmd, std::uint8_t sub, Bytes payload = {}) {
  return panora::test::MakeFrame(cmd, sub, std::move(payload));
}

ServerOptions FreePort() {
  ServerOptions o;
  o.tcpPort = 0;
  return o;
}

TEST(SimServer, ServesOnAFreePortAndStopIsSafeTwice) {
  Server server(FreePort());
  std::string error;
  ASSERT_TRUE(server.Start(error)) << error;
  ASSERT_GT(server.TcpPort(), 0);
  RawClient client(server.TcpPort());
  ASSERT_TRUE(client.Ok());
  client.Send(Frame(0xF1, 0));
  EXPECT_EQ(client.Receive(13, 2000).size(), 13u);
  server.Stop();
  server.Stop();
  // A stopped server may start again, as an embedding program would after a
  // disconnect.
  ASSERT_TRUE(server.Start(error)) << error;
  RawClient again(server.TcpPort());
  again.Send(Frame(0xFF, 0));
  EXPECT_EQ(again.Receive(16, 2000).size(), 16u);
}

TEST(SimServer, ClientsTalkingAtOnceEachGetTheirOwnAnswers) {
  Server server(FreePort());
  std::string error;
  ASSERT_TRUE(server.Start(error)) << error;
  std::vector<std::thread> threads;
  std::atomic<int> answered{0};
  for (int c = 0; c < 8; ++c) {
    threads.emplace_back([&, c] {
      RawClient client(server.TcpPort());
      // Even clients set and read back their own window; odd ones ask the version.
      const auto ch = static_cast<std::uint8_t>(c / 2);
      for (int i = 0; i < 20; ++i) {
        if (c % 2 == 0) {
          client.Send(Frame(0x30, ch, {0, 0, 0, 0, 0, 100, 0, 100}));
          if (client.Receive(13, 2000).size() != 13u) return;
        }
        const Bytes ask = c % 2 ? Frame(0xFF, 0) : Frame(0x31, ch);
        client.Send(ask);
        const Bytes got = client.Receive(c % 2 ? 16 : 21, 2000);
        if (got.size() < 5 || got[4] != ask[4] || got[5] != ask[5]) return;
      }
      ++answered;
    });
  }
  for (auto& t : threads) t.join();
  EXPECT_EQ(answered, 8);
}

TEST(SimServer, StartFailsCleanlyWhenThePortIsTaken) {
  Server first(FreePort());
  std::string error;
  ASSERT_TRUE(first.Start(error)) << error;
  ServerOptions o;
  o.tcpPort = first.TcpPort();
  Server second(o);
  EXPECT_FALSE(second.Start(error));
  EXPECT_NE(error.find("cannot listen"), std::string::npos) << error;
  second.Stop();  // nothing running: still safe
}

TEST(SimServer, TooFewDescriptorsFailTheStartAndLeaveNoPtyLink) {
  TempDir dir;
  {
    // One start first, so that a sanitizer's type check (which needs a
    // descriptor of its own) has seen the server's threads before none are left.
    ServerOptions o = FreePort();
    o.ptyPath = dir.File("warm.tty");
    Server server(o);
    std::string error;
    ASSERT_TRUE(server.Start(error)) << error;
    server.Stop();
  }
  // Each count of descriptors it can still open, until the start succeeds.
  bool started = false;
  for (int spare = 0; spare <= 12 && !started; ++spare) {
    ServerOptions o = FreePort();
    o.ptyPath = dir.File("sim.tty");
    o.logPath = dir.File("sim.log");
    Server server(o);
    std::string error;
    {
      panora::test::FileLimit limit(spare);
      ASSERT_TRUE(limit.Ok());
      started = server.Start(error);
    }
    if (started) {
      EXPECT_TRUE(std::filesystem::is_symlink(o.ptyPath));
      server.Stop();
    } else {
      EXPECT_NE(error.find("Too many open files"), std::string::npos) << spare << ": " << error;
    }
    EXPECT_FALSE(std::filesystem::exists(o.ptyPath) || std::filesystem::is_symlink(o.ptyPath)) << spare;
  }
  EXPECT_TRUE(started);
}

TEST(SimServer, NeverReplacesARealFileWithThePtyLink) {
  TempDir dir;
  const std::string path = dir.File("not-a-link");
  std::ofstream(path) << "keep me";
  ServerOptions o;
  o.useTcp = false;
  o.ptyPath = path;
  Server server(o);
  std::string error;
  EXPECT_FALSE(server.Start(error));
  EXPECT_NE(error.find("not a symlink"), std::string::npos) << error;
  EXPECT_EQ(panora::test::ReadFile(path), "keep me");
}

TEST(SimServer, StopReturnsPromptlyWhileAnAnswerIsDelayed) {
  ServerOptions o = FreePort();
  o.delayMs = 10000;
  Server server(o);
  std::string error;
  ASSERT_TRUE(server.Start(error)) << error;
  RawClient client(server.TcpPort());
  client.Send(Frame(0xF1, 0));
  std::this_thread::sleep_for(std::chrono::milliseconds(50));  // the server is now in its delay
  const auto start = std::chrono::steady_clock::now();
  server.Stop();
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
}

int OpenRawTty(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY);
  if (fd < 0) return fd;
  termios tio{};
  ::tcgetattr(fd, &tio);
  ::cfmakeraw(&tio);
  ::tcsetattr(fd, TCSANOW, &tio);
  return fd;
}

// Writes a frame and reads until want bytes came or 2 s passed.
Bytes TtyExchange(int fd, const Bytes& frame, std::size_t want) {
  if (::write(fd, frame.data(), frame.size()) != static_cast<ssize_t>(frame.size())) return {};
  Bytes answer;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
  while (answer.size() < want && std::chrono::steady_clock::now() < deadline) {
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, 100) <= 0) continue;
    std::uint8_t buf[64];
    const ssize_t n = ::read(fd, buf, sizeof buf);
    if (n > 0) answer.insert(answer.end(), buf, buf + n);
  }
  return answer;
}

TEST(SimServer, PtyServesClientsThatReopenAtOnce) {
  // The hang-up of one client and the first frame of the next may meet; the
  // clean-up after the first must not eat the second's frame or answer.
  TempDir dir;
  ServerOptions o;
  o.useTcp = false;
  o.ptyPath = dir.File("tty");
  Server server(o);
  std::string error;
  ASSERT_TRUE(server.Start(error)) << error;
  for (int i = 0; i < 40; ++i) {
    const int fd = OpenRawTty(o.ptyPath);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(TtyExchange(fd, Frame(0xF1, 0), 13).size(), 13u) << "round " << i;
    ::close(fd);
  }
  // An answer left unread by a client that went away is not handed to the next.
  int fd = OpenRawTty(o.ptyPath);
  const Bytes version = Frame(0xFF, 0);
  ASSERT_EQ(::write(fd, version.data(), version.size()), static_cast<ssize_t>(version.size()));
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  ::close(fd);
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  fd = OpenRawTty(o.ptyPath);
  const Bytes answer = TtyExchange(fd, Frame(0xF1, 0), 13);
  ::close(fd);
  ASSERT_EQ(answer.size(), 13u);
  EXPECT_EQ(answer[4], 0xF1);
  // Every client has gone: the line's thread waits for the next without
  // looking at the line now and then (as the embedded simulator does too).
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_EQ(panora::test::WakeableThreads(::getpid(), "sim-pty"), "");
}

TEST(SimServer, ALineHeldExclusivelyOpensAgainOnceItsClientHasGone) {
  // The program's serial transport sets TIOCEXCL; on a pty that outlives the
  // close, and only root could open the line again.
  TempDir dir;
  ServerOptions o;
  o.useTcp = false;
  o.ptyPath = dir.File("tty");
  Server server(o);
  std::string error;
  ASSERT_TRUE(server.Start(error)) << error;
  const std::string slave = server.PtySlaveName();
  ASSERT_EQ(::chmod(slave.c_str(), 0666), 0);
  const int fd = OpenRawTty(slave);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(::ioctl(fd, TIOCEXCL), 0);
  EXPECT_EQ(TtyExchange(fd, Frame(0xF1, 0), 13).size(), 13u);
  ::close(fd);
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  const pid_t child = ::fork();
  if (child == 0) {
    if (::getuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) ::_exit(2);
    ::_exit(::open(slave.c_str(), O_RDWR | O_NOCTTY) >= 0 ? 0 : 100 + errno);
  }
  int status = 0;
  ::waitpid(child, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}

TEST(SimServer, StartRemovesStalePtyLinksOfSimulatorsThatAreGone) {
  TempDir dir;
  // A pty whose master a live child holds, and one a live child does not hold.
  const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
  ASSERT_GE(master, 0);
  ASSERT_EQ(::grantpt(master), 0);
  ASSERT_EQ(::unlockpt(master), 0);
  const std::string pts = ::ptsname(master);
  const pid_t holder = ::fork();
  if (holder == 0) {
    ::pause();
    ::_exit(0);
  }
  ::close(master);
  const pid_t other = ::fork();
  if (other == 0) {
    ::pause();
    ::_exit(0);
  }
  const pid_t dead = ::fork();
  if (dead == 0) ::_exit(0);
  ::waitpid(dead, nullptr, 0);

  auto link = [&](const std::string& name, const std::string& target) {
    std::filesystem::create_symlink(target, dir.File(name));
    return dir.File(name);
  };
  auto name = [](pid_t pid) { return "panora-sim-" + std::to_string(pid) + ".tty"; };
  const std::string held = link(name(holder), pts);
  const std::string notHeld = link(name(other), pts);  // the pty went to someone else
  const std::string deadPid = link(name(dead), pts);   // its simulator is gone
  const std::string noDevice = link(name(holder) + ".new", "/dev/pts/99999");
  const std::string notPts = link("panora-sim-1.tty", "/etc/hostname");
  const std::string foreign = link("mine.tty", "/dev/pts/99999");
  std::ofstream(dir.File("panora-sim-2.tty")) << "a file";

  ServerOptions o;
  o.useTcp = false;
  o.ptyPath = panora::sim::PtyLinkPath(dir.Path(), ::getpid());
  Server server(o);
  std::string error;
  ASSERT_TRUE(server.Start(error)) << error;
  auto exists = [](const std::string& p) {
    return std::filesystem::exists(std::filesystem::symlink_status(p));
  };
  EXPECT_TRUE(exists(held));
  EXPECT_FALSE(exists(notHeld));
  EXPECT_FALSE(exists(deadPid));
  EXPECT_FALSE(exists(noDevice));
  EXPECT_TRUE(exists(notPts));
  EXPECT_TRUE(exists(foreign));
  EXPECT_TRUE(exists(dir.File("panora-sim-2.tty")));
  EXPECT_TRUE(exists(o.ptyPath));
  server.Stop();
  for (const pid_t pid : {holder, other}) {
    ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
  }
}

TEST(SimServer, TcpAndPtyShareOneProcessorState) {
  TempDir dir;
  ServerOptions o = FreePort();
  o.ptyPath = dir.File("tty");
  Server server(o);
  std::string error;
  ASSERT_TRUE(server.Start(error)) << error;

  RawClient tcp(server.TcpPort());
  tcp.Send(Frame(0x30, 1, {0x00, 0x64, 0x00, 0x32, 0x01, 0x2C, 0x00, 0xC8}));
  ASSERT_EQ(tcp.Receive(13, 2000).size(), 13u);

  const int fd = OpenRawTty(o.ptyPath);
  ASSERT_GE(fd, 0);
  const Bytes answer = TtyExchange(fd, Frame(0x31, 1), 21);
  ::close(fd);
  ASSERT_EQ(answer.size(), 21u);
  EXPECT_EQ(Bytes(answer.begin() + 9, answer.begin() + 17),
            (Bytes{0x00, 0x64, 0x00, 0x32, 0x01, 0x2C, 0x00, 0xC8}));

  server.Stop();
  EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(o.ptyPath)));
}

}  // namespace
