#include "link/NetLink.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <future>
#include <thread>

#include "link/LinkTestSupport.h"

using namespace panora;
using namespace std::chrono_literals;
using test::Listener;
using test::LoopHandOver;
using test::Recorder;
using test::RefusedSends;
using test::TimeRefusedSends;

namespace {
struct Fixture {
  LoopHandOver ui;
  Recorder got;
  CNetLink net{[this](const std::uint8_t* b, int n) { got.Add(b, n); },
               [this](const char* t) { got.Note(t); }};
};

// A listener whose accept queue is full: further connection requests get no
// answer at all, as with an unreachable address.
struct SilentListener {
  Listener listener{0};
  std::vector<int> fillers;
  SilentListener() {
    for (int i = 0; i < 4; ++i) {
      const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
      sockaddr_in a{};
      a.sin_family = AF_INET;
      a.sin_port = htons(static_cast<std::uint16_t>(listener.port));
      a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
      ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
      fillers.push_back(fd);
    }
    std::this_thread::sleep_for(50ms);
  }
  ~SilentListener() {
    for (int fd : fillers) ::close(fd);
  }
};

int FreePort() {
  Listener l;
  return l.port;  // closed again when l goes
}
}  // namespace

TEST(NetLink, ParsesAddressAndPortAsTheDialogGivesThem) {
  EXPECT_EQ(CNetLink::ParseAddress("192.168.0.178"), htonl(0xC0A800B2));
  EXPECT_EQ(CNetLink::ParseAddress("not an address"), 0xFFFFFFFFu);
  EXPECT_EQ(CNetLink::ParseAddress(""), 0xFFFFFFFFu);
  EXPECT_EQ(CNetLink::ParsePort("4001"), 4001);
  EXPECT_EQ(CNetLink::ParsePort("4001abc"), 4001);
  EXPECT_EQ(CNetLink::ParsePort("abc"), 0);
  EXPECT_EQ(CNetLink::ParsePort(""), 0);
  EXPECT_EQ(CNetLink::ParsePort("65535"), 65535);
  EXPECT_EQ(CNetLink::ParsePort("65536"), -1);  // refused, not wrapped to 0
  EXPECT_EQ(CNetLink::ParsePort("99999999999999999999"), -1);
}

TEST(NetLink, ConnectsSendsAndHandsBlocksOver) {
  Fixture f;
  Listener l;
  ASSERT_EQ(f.net.Connect("127.0.0.1", l.PortText() + "xyz", &f.ui), 1);
  EXPECT_TRUE(f.net.IsConnected());
  EXPECT_EQ(f.net.NetIP(), "127.0.0.1");
  const int peer = l.Accept();
  ASSERT_GE(peer, 0);
  const std::uint8_t frame[12] = {0x7D, 0x3A, 0, 4, 0xF1, 0, 0, 0, 0xF1, 0x45, 0x4E, 0x44};
  EXPECT_EQ(f.net.Send(frame, 12), 12);
  EXPECT_EQ(test::ReadSocket(peer, 12, 1s), std::vector<std::uint8_t>(frame, frame + 12));
  const std::uint8_t answer[13] = {0x7D, 0x3A, 0, 5, 0xF1, 0, 0, 0, 0, 0xF6, 0x45, 0x4E, 0x44};
  ASSERT_EQ(::send(peer, answer, 13, 0), 13);
  ASSERT_TRUE(f.got.WaitFor([&] { return f.got.BlockCountLocked() >= 1; }));
  EXPECT_EQ(f.got.Blocks()[0], std::vector<std::uint8_t>(answer, answer + 13));
  f.net.Close();
  EXPECT_FALSE(f.net.IsConnected());
  EXPECT_EQ(f.net.Send(frame, 12), -1);
  f.net.Close();  // safe twice
  ::close(peer);
}

TEST(NetLink, FailedConnectsReturnZeroQuickly) {
  Fixture f;
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(f.net.Connect("127.0.0.1", std::to_string(FreePort()), &f.ui), 0);  // refused
  EXPECT_EQ(f.net.Connect("127.0.0.1", "letters", &f.ui), 0);                   // port 0
  EXPECT_EQ(f.net.Connect("nonsense", "4001", &f.ui), 0);                       // 255.255.255.255
  EXPECT_EQ(f.net.Connect("127.0.0.1", "70000", &f.ui), 0);
  EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);
  EXPECT_FALSE(f.net.IsConnected());
  EXPECT_TRUE(f.got.Notes().empty());
}

TEST(NetLink, AConnectWithNoAnswerIsAbandonedAtOnce) {
  SilentListener silent;
  Fixture f;
  // By Close, as "Disconnect" does.
  auto pending = std::async(std::launch::async,
                            [&] { return f.net.Connect("127.0.0.1", silent.listener.PortText(), &f.ui); });
  EXPECT_EQ(pending.wait_for(300ms), std::future_status::timeout);  // really waiting
  auto start = std::chrono::steady_clock::now();
  f.net.Close();
  ASSERT_EQ(pending.wait_for(1s), std::future_status::ready);
  EXPECT_EQ(pending.get(), 0);
  EXPECT_LT(std::chrono::steady_clock::now() - start, 200ms);
  EXPECT_FALSE(f.net.IsConnected());

  // By a newer connect, which then succeeds.
  Listener good;
  pending = std::async(std::launch::async,
                       [&] { return f.net.Connect("127.0.0.1", silent.listener.PortText(), &f.ui); });
  std::this_thread::sleep_for(100ms);
  EXPECT_EQ(f.net.Connect("127.0.0.1", good.PortText(), &f.ui), 1);
  ASSERT_EQ(pending.wait_for(1s), std::future_status::ready);
  EXPECT_EQ(pending.get(), 0);
  EXPECT_TRUE(f.net.IsConnected());

  // A connector thread reports its result on the user-interface thread;
  // shut-down abandons the attempt and joins it without waiting for a time-out.
  std::atomic<int> result{-1};
  f.net.SetNetAddress("127.0.0.1", silent.listener.PortText());
  std::thread::id reportedOn;
  f.net.StartConnector(&f.ui, [&](int r) {
    reportedOn = std::this_thread::get_id();
    result = r;
    f.got.Note("result");
  });
  std::this_thread::sleep_for(100ms);
  EXPECT_EQ(result.load(), -1);
  start = std::chrono::steady_clock::now();
  f.net.Close();  // "Disconnect" while connecting: the connector reports a failure
  ASSERT_TRUE(f.got.WaitFor([&] { return f.got.NoteCountLocked() == 1; }, 1s));
  EXPECT_EQ(result.load(), 0);
  EXPECT_EQ(reportedOn, f.ui.LoopId());
  f.net.StartConnector(&f.ui, [&](int r) { result = r + 10; });
  std::this_thread::sleep_for(100ms);
  f.net.Shutdown();
  EXPECT_LT(std::chrono::steady_clock::now() - start, 500ms);
  EXPECT_EQ(result.load(), 0);  // the abandoned connector's report was dropped at shut-down
}

TEST(NetLink, APeerThatClosesEndsTheReceiverWithoutSpinningAndSendsFailQuietly) {
  std::atomic<int> lost{0}, sendFailed{0};  // outlive the calls posted to the loop
  Fixture f;
  Listener l;
  f.net.SetLostHandler([&] { ++lost; });
  f.net.SetSendFailedHandler([&] { ++sendFailed; });
  // A connection the program closes itself is not lost.
  ASSERT_EQ(f.net.Connect("127.0.0.1", l.PortText(), &f.ui), 1);
  const int first = l.Accept();
  ASSERT_GE(first, 0);
  f.net.Close();
  ::close(first);
  ASSERT_EQ(f.net.Connect("127.0.0.1", l.PortText(), &f.ui), 1);
  int peer = l.Accept();
  ASSERT_GE(peer, 0);
  ::close(peer);
  const auto deadline = std::chrono::steady_clock::now() + 2s;
  while (!f.net.ReceiveEnded() && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(5ms);
  ASSERT_TRUE(f.net.ReceiveEnded());
  EXPECT_TRUE(f.net.IsConnected());  // counts as connected until closed
  const double cpu = test::ProcessCpuMs();
  std::this_thread::sleep_for(300ms);
  EXPECT_LT(test::ProcessCpuMs() - cpu, 60.0);
  // Sending to the closed peer fails (no SIGPIPE kills the test process).
  const std::uint8_t frame[12] = {0x7D, 0x3A, 0, 4, 0xF1, 0, 0, 0, 0xF1, 0x45, 0x4E, 0x44};
  int failures = 0;
  for (int i = 0; i < 5; ++i) {
    if (f.net.Send(frame, 12) != 12) ++failures;
    std::this_thread::sleep_for(20ms);
  }
  EXPECT_GT(failures, 0);
  // Reported lost once, however many sends then fail; each failure told.
  f.ui.RunAndWait([] {});
  EXPECT_EQ(lost.load(), 1);
  EXPECT_EQ(sendFailed.load(), failures);
  f.net.Close();
}

TEST(NetLink, ASendToAPeerThatReadsNothingGivesUpInsteadOfHanging) {
  Fixture f;
  Listener l;
  ASSERT_EQ(f.net.Connect("127.0.0.1", l.PortText(), &f.ui), 1);
  const int peer = l.Accept();
  ASSERT_GE(peer, 0);
  // The peer never reads: the buffers on both sides fill, and a send then
  // waits for room only as long as its bound.
  std::chrono::steady_clock::duration lastSend{};
  auto sending = std::async(std::launch::async, [&] {
    std::vector<std::uint8_t> chunk(64 * 1024, 0x42);
    for (int i = 0; i < 1000; ++i) {
      const auto start = std::chrono::steady_clock::now();
      const int r = f.net.Send(chunk.data(), static_cast<int>(chunk.size()));
      lastSend = std::chrono::steady_clock::now() - start;
      if (r != static_cast<int>(chunk.size())) return r;
    }
    return -2;  // the buffers never filled
  });
  if (sending.wait_for(10s) != std::future_status::ready) {
    ::close(peer);  // releases the send, so that the test ends
    sending.wait();
    FAIL() << "a send hangs";
  }
  const int r = sending.get();
  EXPECT_NE(r, -2);
  EXPECT_LT(r, 64 * 1024);
  // The send that found no room gave up after its one-second bound, not later.
  EXPECT_GE(lastSend, 900ms);
  EXPECT_LT(lastSend, 3s);
  EXPECT_TRUE(f.net.IsConnected());
  f.net.Close();
  ::close(peer);
}

TEST(NetLink, UiThreadSendsWaitBrieflyForRoomThenFailAtOnceAndFramesStayWhole) {
  std::atomic<int> failed{0};  // outlives the calls posted to the loop
  Fixture f;
  f.net.SetSendFailedHandler([&] { ++failed; });
  Listener l;
  ASSERT_EQ(f.net.Connect("127.0.0.1", l.PortText(), &f.ui), 1);
  const int peer = l.Accept();
  ASSERT_GE(peer, 0);
  // The peer reads nothing: 20-byte frames from the user-interface thread,
  // as a drag sends them, fill the bounded buffers.
  std::vector<std::uint8_t> frame(20);
  for (std::size_t i = 0; i < frame.size(); ++i) frame[i] = static_cast<std::uint8_t>(i + 1);
  RefusedSends r;
  f.ui.RunAndWait(
      [&] { r = TimeRefusedSends(200000, 200, [&] { return f.net.Send(frame.data(), 20) == 20; }); });
  const int whole = r.whole;
  ASSERT_EQ(r.refused, 200);
  // One short wait, then at once: 200 full waits would take ten seconds.
  EXPECT_LT(r.total, 2s);
  EXPECT_LT(r.longest, 500ms);  // far below the worker's one-second bound
  // Nothing like megabytes of stale commands queued.
  EXPECT_LT(whole * 20, 1 << 20);
  f.ui.RunAndWait([] {});
  EXPECT_EQ(failed.load(), 200);
  // What the peer finally reads is whole frames only.
  std::vector<std::uint8_t> got;
  const auto until = std::chrono::steady_clock::now() + 5s;
  while (got.size() < static_cast<std::size_t>(whole) * 20 && std::chrono::steady_clock::now() < until) {
    pollfd p{peer, POLLIN, 0};
    if (::poll(&p, 1, 100) <= 0) continue;
    std::uint8_t buf[65536];
    const ssize_t r = ::recv(peer, buf, sizeof buf, 0);
    if (r <= 0) break;
    got.insert(got.end(), buf, buf + r);
  }
  ASSERT_EQ(got.size(), static_cast<std::size_t>(whole) * 20);
  for (std::size_t at = 0; at < got.size(); at += 20)
    ASSERT_TRUE(std::equal(frame.begin(), frame.end(), got.begin() + static_cast<std::ptrdiff_t>(at))) << at;
  // Room again: the next send goes.
  int again = 0;
  f.ui.RunAndWait([&] { again = f.net.Send(frame.data(), 20); });
  EXPECT_EQ(again, 20);
  f.net.Close();
  ::close(peer);
}

TEST(NetLink, CloseDoesNotWaitOutAWorkersSendWaitingForRoom) {
  Fixture f;
  Listener l;
  ASSERT_EQ(f.net.Connect("127.0.0.1", l.PortText(), &f.ui), 1);
  const int peer = l.Accept();
  ASSERT_GE(peer, 0);
  // Off the user-interface thread a send waits up to its full bound; the
  // peer reads nothing, so the sender soon waits for room.
  std::atomic<bool> waiting{false};
  std::thread sender([&] {
    std::vector<std::uint8_t> frame(20, 7);
    while (f.net.Send(frame.data(), 20) == 20) {
    }
    waiting.store(true);
    while (f.net.Send(frame.data(), 20) == 20 || f.net.IsConnected()) {
    }
  });
  const auto until = std::chrono::steady_clock::now() + 20s;
  while (!waiting.load() && std::chrono::steady_clock::now() < until) std::this_thread::sleep_for(1ms);
  ASSERT_TRUE(waiting.load());
  std::this_thread::sleep_for(50ms);  // the sender is inside its wait again
  const auto start = std::chrono::steady_clock::now();
  f.net.Close();
  EXPECT_LT(std::chrono::steady_clock::now() - start, 500ms);  // the bound is 1000 ms
  sender.join();
  ::close(peer);
}

TEST(NetLink, ClosingWhileDataStreamsInNeverDeadlocks) {
  Listener l;
  for (int round = 0; round < 50; ++round) {
    Fixture f;
    ASSERT_EQ(f.net.Connect("127.0.0.1", l.PortText(), &f.ui), 1);
    const int peer = l.Accept();
    ASSERT_GE(peer, 0);
    std::atomic<bool> stop{false};
    std::thread flood([&] {
      std::vector<std::uint8_t> chunk(700, static_cast<std::uint8_t>(round));
      while (!stop.load()) {
        if (::send(peer, chunk.data(), chunk.size(), MSG_NOSIGNAL | MSG_DONTWAIT) < 0)
          std::this_thread::sleep_for(1ms);
      }
    });
    f.got.WaitFor([&] { return f.got.BlockCountLocked() >= 1; }, 2s);
    f.ui.RunAndWait([&] {
      std::this_thread::sleep_for(std::chrono::milliseconds(round % 3));
      f.net.Close();
    });
    EXPECT_FALSE(f.net.IsConnected());
    stop = true;
    flood.join();
    ::close(peer);
  }
}

TEST(NetLink, CloseOrShutdownRightAfterStartingAConnectorAlwaysCancelsIt) {
  // The connector thread may not have registered its attempt yet when the
  // operator disconnects or quits; it must give up all the same.
  SilentListener silent;
  for (int i = 0; i < 400; ++i) {
    Fixture f;
    f.net.SetNetAddress("127.0.0.1", silent.listener.PortText());
    std::atomic<int> result{-1};
    f.net.StartConnector(&f.ui, [&](int r) { result = r; });
    // Land anywhere in the connector's first steps.
    const auto until = std::chrono::steady_clock::now() + std::chrono::microseconds((i % 40) * 3);
    while (std::chrono::steady_clock::now() < until) {
    }
    const auto start = std::chrono::steady_clock::now();
    if (i % 2 == 0) f.net.Close();  // "Disconnect" at once
    f.net.Shutdown();
    ASSERT_LT(std::chrono::steady_clock::now() - start, 500ms) << "round " << i;
    EXPECT_FALSE(f.net.IsConnected());
    EXPECT_NE(result.load(), 1);
  }
}
