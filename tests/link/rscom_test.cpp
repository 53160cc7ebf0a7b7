#include "link/RsCom.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <termios.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <iomanip>

#include "link/LinkTestSupport.h"
#include "link/SerialBaud.h"
#include "link/SerialPorts.h"

using namespace panora;
using namespace std::chrono_literals;
using test::LoopHandOver;
using test::Pty;
using test::RefusedSends;
using test::TimeRefusedSends;
using test::Recorder;

namespace {
struct Fixture {
  LoopHandOver ui;
  Recorder got;
  CRsCom com{&ui, [this](const std::uint8_t* b, int n) { got.Add(b, n); },
             [this](const char* text) { got.Note(text); }};
  // The port is opened and closed on the user-interface thread, as the frame does.
  int Open(const std::string& name) {
    int r = 0;
    ui.RunAndWait([&] { r = com.OpenPort(name); });
    return r;
  }
  void Close() {
    ui.RunAndWait([&] { com.ClosePort(); });
  }
};
std::vector<std::uint8_t> Bytes(std::size_t n, std::uint8_t seed = 0) {
  std::vector<std::uint8_t> v(n);
  for (std::size_t i = 0; i < n; ++i) v[i] = static_cast<std::uint8_t>(seed + i * 7);
  return v;
}
}  // namespace

TEST(RsCom, OpensACleanedNameRawAt115200EightNOne) {
  Fixture f;
  Pty pty;
  ASSERT_FALSE(pty.slave.empty());
  // White space around the name and spaces inside it are dropped.
  const std::string messy = "  " + pty.slave.substr(0, 5) + " " + pty.slave.substr(5) + " \t";
  ASSERT_EQ(f.Open(messy), 1);
  EXPECT_TRUE(f.com.IsOpen());
  EXPECT_EQ(f.com.PortName(), pty.slave);
  termios tio{};
  ASSERT_EQ(::tcgetattr(pty.master, &tio), 0);  // the master reports the slave's settings
  EXPECT_EQ(::cfgetospeed(&tio), B115200);
  EXPECT_EQ(tio.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
  EXPECT_EQ(tio.c_cflag & (PARENB | CSTOPB | CRTSCTS), 0u);
  EXPECT_EQ(tio.c_lflag & (ICANON | ECHO | ISIG), 0u);
  EXPECT_EQ(tio.c_oflag & OPOST, 0u);

  // Other entries of the tables; speeds without a constant use the
  // arbitrary-rate interface, settings no driver has are refused.
  EXPECT_EQ(f.com.ConfigurePort(7, 0, 4, 2), 1);  // 14400, two stop bits
  EXPECT_EQ(detail::ReadArbitrarySpeed(pty.master), 14400u);
  ASSERT_EQ(::tcgetattr(pty.master, &tio), 0);
  EXPECT_EQ(tio.c_cflag & (CSTOPB | CSIZE), static_cast<tcflag_t>(CSTOPB | CS8));
  EXPECT_EQ(f.com.ConfigurePort(99, 0, 4, 0), 1);  // an unknown speed index is 9600
  EXPECT_EQ(detail::ReadArbitrarySpeed(pty.master), 9600u);
  EXPECT_EQ(f.com.ConfigurePort(14, 0, 4, 0), 1);
  EXPECT_EQ(detail::ReadArbitrarySpeed(pty.master), 256000u);
  EXPECT_EQ(f.com.ConfigurePort(12, 0, 0, 0), 0);  // four data bits
  EXPECT_EQ(f.com.ConfigurePort(12, 0, 4, 1), 0);  // one and a half stop bits with eight data bits
  // A pseudo-terminal keeps eight bits without parity whatever it is told:
  // read back, such a setting is a failure, not a success.
  EXPECT_EQ(f.com.ConfigurePort(7, 2, 3, 2), 0);   // mark parity, seven bits
  EXPECT_EQ(f.com.ConfigurePort(12, 1, 4, 0), 0);  // even parity
  EXPECT_EQ(f.com.ConfigurePort(12, 0, 1, 1), 0);  // five bits, one and a half stop bits
  EXPECT_EQ(f.com.ConfigurePort(12, 0, 4, 0), 1);
  f.Close();
  EXPECT_FALSE(f.com.IsOpen());
  EXPECT_EQ(f.com.PortName(), "");
  EXPECT_TRUE(f.got.Notes().empty());
}

TEST(RsCom, FailuresLeaveThePortClosedWithTheirMessage) {
  Fixture f;
  EXPECT_EQ(f.Open("/dev/panora-no-such-port"), 0);
  EXPECT_FALSE(f.com.IsOpen());
  // A file that is not a terminal opens but cannot be configured: no box.
  char tmpl[] = "/tmp/panora-notatty-XXXXXX";
  const int fd = ::mkstemp(tmpl);
  ::close(fd);
  EXPECT_EQ(f.Open(tmpl), 0);
  ::unlink(tmpl);
  EXPECT_FALSE(f.com.IsOpen());
  // No window to notify: refused, and an open port stays open.
  Pty pty;
  ASSERT_EQ(f.Open(pty.slave), 1);
  EXPECT_EQ(f.com.OpenPort(pty.slave, nullptr), 0);
  EXPECT_TRUE(f.com.IsOpen());
  f.Close();
  const std::uint8_t frame[3] = {1, 2, 3};
  int written = -1;
  f.ui.RunAndWait([&] { written = f.com.WritePort(3, frame); });
  EXPECT_EQ(written, 0);
  EXPECT_EQ(f.got.Notes(),
            (std::vector<std::string>{"Can not Open COM", "No indicate m_hwnd", "have not opened COM"}));
  f.com.ClosePort();  // safe on a closed port
}

TEST(RsCom, APortInUseCannotBeOpenedAgain) {
  Fixture a, b;
  Pty pty;
  ASSERT_EQ(a.Open(pty.slave), 1);
  EXPECT_EQ(b.Open(pty.slave), 0);
  EXPECT_EQ(b.got.Notes(), std::vector<std::string>{"Can not Open COM"});
  a.Close();
  EXPECT_EQ(b.Open(pty.slave), 1);
}

TEST(RsCom, APortAnotherProgramHasOpenWithoutAnyLockIsNotShared) {
  Fixture f;
  Pty pty;
  int ready[2], release[2];
  ASSERT_EQ(::pipe(ready), 0);
  ASSERT_EQ(::pipe(release), 0);
  const pid_t other = ::fork();
  if (other == 0) {
    // Another program: opens the line plainly and keeps it until told. It
    // must not hold the master too: the line's own server may keep its slave.
    ::close(release[1]);
    ::close(pty.master);
    const int fd = ::open(pty.slave.c_str(), O_RDWR | O_NOCTTY);
    char c = fd >= 0 ? 'y' : 'n';
    if (::write(ready[1], &c, 1) != 1) ::_exit(1);
    ::read(release[0], &c, 1);
    ::_exit(0);
  }
  ::close(ready[1]);
  ::close(release[0]);
  char c = 0;
  ASSERT_EQ(::read(ready[0], &c, 1), 1);
  ASSERT_EQ(c, 'y');
  EXPECT_EQ(f.Open(pty.slave), 0);
  EXPECT_EQ(f.got.Notes(), std::vector<std::string>{"Can not Open COM"});
  ::close(release[1]);
  ::waitpid(other, nullptr, 0);
  ::close(ready[0]);
  EXPECT_EQ(f.Open(pty.slave), 1);
  f.Close();
}

TEST(RsCom, WritesAreCappedAt1022Bytes) {
  Fixture f;
  Pty pty;
  ASSERT_EQ(f.Open(pty.slave), 1);
  const auto data = Bytes(1030);
  EXPECT_EQ(f.com.WritePort(1030, data.data()), 1022);
  const auto seen = pty.Read(1030, 500ms);
  ASSERT_EQ(seen.size(), 1022u);
  EXPECT_TRUE(std::equal(seen.begin(), seen.end(), data.begin()));
  const std::uint8_t frame[12] = {0x7D, 0x3A, 0, 4, 0xF1, 0, 0, 0, 0xF1, 0x45, 0x4E, 0x44};
  EXPECT_EQ(f.com.WritePort(12, frame), 12);
  EXPECT_EQ(pty.Read(12, 500ms), std::vector<std::uint8_t>(frame, frame + 12));
}

TEST(RsCom, BurstsArriveAsWholeBlocksInOrder) {
  Fixture f;
  Pty pty;
  ASSERT_EQ(f.Open(pty.slave), 1);
  pty.Write(Bytes(10));
  ASSERT_TRUE(f.got.WaitFor([&] { return f.got.BlockCountLocked() >= 1; }));
  std::this_thread::sleep_for(100ms);
  ASSERT_EQ(f.got.Blocks().size(), 1u);
  EXPECT_EQ(f.got.Blocks()[0], Bytes(10));

  // A reply written in two parts a few milliseconds apart still arrives whole.
  const auto reply = Bytes(13, 3);
  pty.Write({reply.begin(), reply.begin() + 6});
  std::this_thread::sleep_for(5ms);
  pty.Write({reply.begin() + 6, reply.end()});
  ASSERT_TRUE(f.got.WaitFor([&] { return f.got.BlockCountLocked() >= 2; }));
  EXPECT_EQ(f.got.Blocks()[1], reply);

  // More than 1024 bytes at once: several blocks of at most 1024, in order.
  const auto big = Bytes(3000, 1);
  pty.Write(big);
  ASSERT_TRUE(f.got.WaitFor([&] { return f.got.TotalBytesLocked() >= 3023; }));
  std::vector<std::uint8_t> joined;
  const auto blocks = f.got.Blocks();
  for (std::size_t i = 2; i < blocks.size(); ++i) {
    EXPECT_LE(blocks[i].size(), 1024u);
    joined.insert(joined.end(), blocks[i].begin(), blocks[i].end());
  }
  EXPECT_GE(blocks.size(), 5u);
  EXPECT_EQ(joined, big);
}

TEST(RsCom, ReopeningClosesTheOldPortFirstAndCloseIsQuick) {
  Fixture f;
  Pty one, two;
  ASSERT_EQ(f.Open(one.slave), 1);
  auto start = std::chrono::steady_clock::now();
  ASSERT_EQ(f.Open(two.slave), 1);
  EXPECT_GE(std::chrono::steady_clock::now() - start, 100ms);  // the pause after closing
  EXPECT_EQ(f.com.PortName(), two.slave);
  one.Write(Bytes(5));  // the old port is no longer read
  two.Write(Bytes(7));
  ASSERT_TRUE(f.got.WaitFor([&] { return f.got.BlockCountLocked() >= 1; }));
  std::this_thread::sleep_for(100ms);
  EXPECT_EQ(f.got.Blocks(), std::vector<std::vector<std::uint8_t>>{Bytes(7)});
  start = std::chrono::steady_clock::now();
  f.Close();
  EXPECT_LT(std::chrono::steady_clock::now() - start, 100ms);
}

TEST(RsCom, AnIdlePortCostsNoWakeUps) {
  Fixture f;
  Pty pty;
  ASSERT_EQ(f.Open(pty.slave), 1);
  std::this_thread::sleep_for(50ms);
  // Every wake-up of every thread of this process is a context switch; a
  // reader that polls would add one per poll.
  const long long before = test::ContextSwitches();
  std::this_thread::sleep_for(500ms);
  EXPECT_LT(test::ContextSwitches() - before, 10);
  // It still reads at once when bytes come.
  pty.Write(Bytes(3));
  ASSERT_TRUE(f.got.WaitFor([&] { return f.got.BlockCountLocked() >= 1; }));
  EXPECT_EQ(f.got.Blocks()[0], Bytes(3));
  f.Close();
}

TEST(RsCom, AWriteThatCannotFinishLeavesNoPartOfItsFrameOnTheLine) {
  std::atomic<int> failed{0};  // outlives the calls posted to the loop
  Fixture f;
  Pty pty;
  f.com.SetWriteFailedHandler([&] { ++failed; });
  ASSERT_EQ(f.Open(pty.slave), 1);
  // The far end takes nothing until the line's queue is full: one frame
  // then cannot go out whole within the second.
  const auto frame = Bytes(997, 5);  // a size that never fills the queue exactly
  std::vector<int> results;
  for (int i = 0; i < 400; ++i) {
    results.push_back(f.com.WritePort(static_cast<int>(frame.size()), frame.data()));
    if (results.back() != static_cast<int>(frame.size())) break;
  }
  ASSERT_EQ(results.back(), 0);  // all or nothing
  // What the far end had already taken in cannot be called back; the rest
  // of the queue went, and with it the tail of the cut frame.
  const std::size_t sent = (results.size() - 1) * frame.size();
  const auto left = pty.Read(1 << 20, 300ms);
  EXPECT_LT(left.size(), sent);
  // The next frame arrives whole and first.
  EXPECT_EQ(f.com.WritePort(static_cast<int>(frame.size()), frame.data()), 997);
  EXPECT_EQ(pty.Read(frame.size(), 500ms), frame);
  f.Close();
  f.ui.RunAndWait([] {});
  EXPECT_EQ(failed.load(), 1);  // the cut write is reported, the whole ones are not
}

TEST(RsCom, UiThreadWritesWaitBrieflyForRoomThenFailAtOnce) {
  std::atomic<int> failed{0};  // outlives the calls posted to the loop
  Fixture f;
  Pty pty;
  f.com.SetWriteFailedHandler([&] { ++failed; });
  ASSERT_EQ(f.Open(pty.slave), 1);
  // The far end reads nothing. Single bytes from another thread fill the
  // line (a single byte is never cut, so nothing is flushed to make room);
  // the last one waits out the worker's bound.
  const std::uint8_t one = 1;
  for (int i = 0; i < 1 << 20 && f.com.WritePort(1, &one) == 1; ++i) {
  }
  const auto frame = Bytes(20, 3);
  RefusedSends r;
  f.ui.RunAndWait(
      [&] { r = TimeRefusedSends(200, 200, [&] { return f.com.WritePort(20, frame.data()) == 20; }); });
  ASSERT_EQ(r.refused, 200);
  // One short wait, then at once: 200 full waits would take 200 seconds.
  EXPECT_LT(r.total, 2s);
  EXPECT_LT(r.longest, 500ms);  // far below the worker's one-second bound
  f.ui.RunAndWait([] {});
  EXPECT_EQ(failed.load(), 201);
  // Once the far end reads, the line takes frames again.
  EXPECT_FALSE(pty.Read(1 << 20, 300ms).empty());
  int again = 0;
  f.ui.RunAndWait([&] { again = f.com.WritePort(20, frame.data()); });
  EXPECT_EQ(again, 20);
  f.Close();
}

TEST(RsCom, UucpLockFilesAreHonouredMadeAndRemoved) {
  char tmpl[] = "/tmp/panora-lock-XXXXXX";
  const std::string dir = ::mkdtemp(tmpl);
  SetSerialLockDir(dir);
  Fixture f;
  Pty pty;
  const std::string lock = dir + "/" + UucpLockName(pty.slave);
  EXPECT_EQ(UucpLockName("/dev/ttyUSB0"), "LCK..ttyUSB0");
  auto writeLock = [&](long pid) { std::ofstream(lock) << std::setw(10) << pid << "\n"; };
  auto readLock = [&] {
    std::ifstream in(lock);
    return std::string(std::istreambuf_iterator<char>(in), {});
  };

  // Ours while open, in the common format, and gone after the close.
  ASSERT_EQ(f.Open(pty.slave), 1);
  char own[16];
  std::snprintf(own, sizeof own, "%10d\n", static_cast<int>(::getpid()));
  EXPECT_EQ(readLock(), own);
  f.Close();
  EXPECT_FALSE(std::filesystem::exists(lock));

  // A live process holds the port (process 1 always lives): refused, and
  // its lock stays.
  writeLock(1);
  EXPECT_EQ(f.Open(pty.slave), 0);
  EXPECT_EQ(f.got.Notes(), std::vector<std::string>{"Can not Open COM"});
  EXPECT_EQ(readLock(), "         1\n");

  // The lock of a process that has ended is removed and replaced by ours.
  const pid_t child = ::fork();
  if (child == 0) ::_exit(0);
  ::waitpid(child, nullptr, 0);
  writeLock(child);
  ASSERT_EQ(f.Open(pty.slave), 1);
  EXPECT_EQ(readLock(), own);
  f.Close();

  // Without a writable lock folder the port opens all the same.
  SetSerialLockDir(dir + "/missing");
  ASSERT_EQ(f.Open(pty.slave), 1);
  f.Close();
  SetSerialLockDir({});
  std::filesystem::remove_all(dir);
}

TEST(RsCom, AnUnpluggedPortIsReportedOnceAndDoesNotSpin) {
  Fixture f;
  Pty pty;
  std::atomic<int> lost{0};
  f.com.SetLostHandler([&] { ++lost; });
  ASSERT_EQ(f.Open(pty.slave), 1);
  pty.Write(Bytes(4));
  ASSERT_TRUE(f.got.WaitFor([&] { return f.got.BlockCountLocked() >= 1; }));
  pty.CloseMaster();  // the device goes away under the open port
  const auto deadline = std::chrono::steady_clock::now() + 2s;
  while (!f.com.IsLost() && std::chrono::steady_clock::now() < deadline) std::this_thread::sleep_for(5ms);
  ASSERT_TRUE(f.com.IsLost());
  const double cpuBefore = test::ProcessCpuMs();
  std::this_thread::sleep_for(500ms);
  EXPECT_LT(test::ProcessCpuMs() - cpuBefore, 100.0);  // a spinning reader would burn ~500 ms
  EXPECT_EQ(lost.load(), 1);
  EXPECT_TRUE(f.com.IsOpen());  // still open until the operator closes it
  f.Close();

  // Plugged in again (another line): frames go out and answers come in.
  Pty again;
  ASSERT_EQ(f.Open(again.slave), 1);
  EXPECT_FALSE(f.com.IsLost());
  const auto frame = Bytes(12, 9);
  EXPECT_EQ(f.com.WritePort(12, frame.data()), 12);
  EXPECT_EQ(again.Read(12, 500ms), frame);
  again.Write(Bytes(6));
  ASSERT_TRUE(f.got.WaitFor([&] { return f.got.BlockCountLocked() >= 2; }));
  EXPECT_EQ(f.got.Blocks()[1], Bytes(6));

  // A loss that is only handled after the port was closed is not reported.
  again.CloseMaster();
  const auto later = std::chrono::steady_clock::now() + 2s;
  while (!f.com.IsLost() && std::chrono::steady_clock::now() < later) std::this_thread::sleep_for(5ms);
  f.ui.RunAndWait([] {});  // the report is queued by now
  EXPECT_EQ(lost.load(), 2);
  Pty third;
  ASSERT_EQ(f.Open(third.slave), 1);
  f.ui.RunAndWait([&] {
    third.CloseMaster();
    while (!f.com.IsLost()) std::this_thread::sleep_for(1ms);
    f.com.ClosePort();  // the report is queued behind this call
  });
  f.ui.RunAndWait([] {});
  EXPECT_EQ(lost.load(), 2);
}

TEST(RsCom, ClosingWhileDataStreamsInNeverDeadlocks) {
  for (int round = 0; round < 50; ++round) {
    Fixture f;
    Pty pty;
    ::fcntl(pty.master, F_SETFL, ::fcntl(pty.master, F_GETFL) | O_NONBLOCK);
    ASSERT_EQ(f.Open(pty.slave), 1);
    std::atomic<bool> stop{false};
    std::thread writer([&] {
      const auto chunk = Bytes(512, static_cast<std::uint8_t>(round));
      while (!stop.load()) {
        if (::write(pty.master, chunk.data(), chunk.size()) < 0) std::this_thread::sleep_for(1ms);
      }
    });
    // The handler is slow, so the reader is usually waiting in its hand-over.
    f.got.WaitFor([&] { return f.got.BlockCountLocked() >= 1; }, 2s);
    f.ui.RunAndWait([&] {
      std::this_thread::sleep_for(std::chrono::milliseconds(round % 3));
      f.com.ClosePort();
    });
    EXPECT_FALSE(f.com.IsOpen());
    stop = true;
    writer.join();
  }
}

TEST(RsCom, TheDataHandlerMayCloseThePortItself) {
  LoopHandOver ui;
  std::atomic<int> calls{0};
  CRsCom* self = nullptr;
  CRsCom com{&ui, [&](const std::uint8_t*, int) {
               ++calls;
               self->ClosePort();  // e.g. a nested loop handling "Disconnect" inside the hand-over
             }};
  self = &com;
  Pty pty;
  int opened = 0;
  ui.RunAndWait([&] { opened = com.OpenPort(pty.slave); });
  ASSERT_EQ(opened, 1);
  pty.Write(Bytes(8));
  const auto deadline = std::chrono::steady_clock::now() + 2s;
  while (com.IsOpen() && std::chrono::steady_clock::now() < deadline) std::this_thread::sleep_for(5ms);
  EXPECT_FALSE(com.IsOpen());
  EXPECT_EQ(calls.load(), 1);
}
