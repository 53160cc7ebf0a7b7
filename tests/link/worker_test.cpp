#include <gtest/gtest.h>

#include <atomic>
#include <cstring>

#include "link/Commands.h"
#include "link/DeviceLink.h"
#include "link/LinkFrame.h"
#include "link/NetLink.h"
#include "link/RsCom.h"

using namespace panora;
using namespace std::chrono_literals;
using test::Listener;
using test::LoopHandOver;
using test::Pty;
using test::Recorder;

namespace {
using Frame = test::LinkFrame;

// Four 20-byte geometry frames in g_TxBuf, as "Refresh output" builds them.
void BuildGeometryBatch(std::uint8_t seed) {
  for (int ch = 0; ch < 4; ++ch) {
    std::uint8_t xywh[8];
    for (int i = 0; i < 8; ++i) xywh[i] = static_cast<std::uint8_t>(seed + ch * 8 + i);
    BuildFrame(g_TxBuf + ch * 20, xywh, 8, cmd::kSetGeometry, static_cast<std::uint8_t>(ch));
  }
}

// The processor's answer to a frame: a short acknowledgement (D = 5).
const std::vector<std::uint8_t> kAck = {0x7D, 0x3A, 0, 5, 0x30, 0, 0, 0, 0, 0x30, 0x45, 0x4E, 0x44};

// Reads frames from a socket and answers each one (when answering) until it closes.
struct Peer {
  int fd;
  bool answer;
  std::vector<std::uint8_t> received;
  std::mutex mutex;
  std::thread thread;
  Peer(int fd_, bool answer_) : fd(fd_), answer(answer_) {
    thread = std::thread([this] {
      std::uint8_t buf[1024];
      for (;;) {
        const ssize_t r = ::recv(fd, buf, sizeof buf, 0);
        if (r <= 0) break;
        {
          std::lock_guard<std::mutex> lock(mutex);
          received.insert(received.end(), buf, buf + r);
        }
        if (answer) ::send(fd, kAck.data(), kAck.size(), MSG_NOSIGNAL);
      }
    });
  }
  ~Peer() {
    ::shutdown(fd, SHUT_RDWR);
    thread.join();
    ::close(fd);
  }
  std::vector<std::uint8_t> Received() {
    std::lock_guard<std::mutex> lock(mutex);
    return received;
  }
};
}  // namespace

TEST(SendWorker, ABatchAgainstASilentProcessorEndsAfterFourSecondsWithItsMessage) {
  Frame f;
  Listener l;
  ASSERT_EQ(f.net.Connect("127.0.0.1", l.PortText(), &f.ui), 1);
  Peer peer(l.Accept(), false);
  BuildGeometryBatch(1);
  std::vector<std::uint8_t> batch(g_TxBuf, g_TxBuf + 80);
  f.link.m_nJobType = kJobGeometry;
  const auto start = std::chrono::steady_clock::now();
  f.link.StartSendWorker();
  EXPECT_EQ(f.link.m_bSending.load(), 1);  // busy before the worker has run
  BuildGeometryBatch(100);                 // a sender building meanwhile changes nothing in flight
  EXPECT_FALSE(
      f.link.SendCommand(cmd::kSetGeometry, 0, g_TxBuf + 8, 8, true));  // a busy-aware sender refuses
  ASSERT_TRUE(f.got.WaitFor([&] { return f.batchDone.load() == 1; }, 6s));
  const auto took = std::chrono::steady_clock::now() - start;
  EXPECT_GE(took, 3900ms);
  EXPECT_LT(took, 4800ms);
  EXPECT_EQ(f.batchJob.load(), kJobGeometry);
  EXPECT_EQ(f.timeouts.load(), 4);
  EXPECT_EQ(f.positionAnswers.load(), 0);
  const auto deadline = std::chrono::steady_clock::now() + 1s;
  while (f.link.m_bSending.load() != 0 && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(1ms);
  EXPECT_EQ(f.link.m_bSending.load(), 0);
  EXPECT_EQ(peer.Received(), batch);
  EXPECT_EQ(f.link.m_nCurCmd.load(), cmd::kSetGeometry);
  EXPECT_EQ(f.link.m_nCurSub.load(), 3);  // the last frame of the batch was noted
  EXPECT_EQ(f.got.Notes(),
            (std::vector<std::string>{"please wait second, sending data have not finished", "done"}));
}

TEST(SendWorker, AnsweredFramesGoOnAtOnce) {
  Frame f;
  Listener l;
  ASSERT_EQ(f.net.Connect("127.0.0.1", l.PortText(), &f.ui), 1);
  Peer peer(l.Accept(), true);
  for (int i = 0; i < 4; ++i) {
    const std::uint8_t layers[5] = {static_cast<std::uint8_t>(i), 1, 2, 3, 4};
    BuildFrame(g_TxBuf + i * 17, layers, 5, cmd::kOverlay, 1);
  }
  f.link.m_nJobType = kJobOverlay;
  const auto start = std::chrono::steady_clock::now();
  f.link.StartSendWorker();
  ASSERT_TRUE(f.got.WaitFor([&] { return f.batchDone.load() == 1; }, 6s));
  EXPECT_LT(std::chrono::steady_clock::now() - start, 500ms);
  EXPECT_EQ(f.batchJob.load(), kJobOverlay);
  EXPECT_EQ(f.timeouts.load(), 0);
  EXPECT_EQ(peer.Received().size(), 68u);
}

TEST(SendWorker, AnUnansweredQueryEndsWithStatusOneAndTheAnswerMessage) {
  Frame f;
  Pty pty;  // nobody answers on the far end
  ASSERT_EQ(f.rs.OpenPort(pty.slave), 1);
  BuildFrame(g_TxBuf, nullptr, 0, cmd::kQueryPosition, 2);
  f.link.NoteCommand(cmd::kQueryPosition, 0);
  f.link.m_nReplyStatus = kReplyPending;
  f.link.m_nJobType = kJobPosition;
  f.link.StartSendWorker();
  ASSERT_TRUE(f.got.WaitFor([&] { return f.positionAnswers.load() == 1; }, 3s));
  EXPECT_EQ(f.statusAtAnswer.load(), kReplyTimedOut);
  EXPECT_EQ(pty.Read(12, 500ms).size(), 12u);
  EXPECT_EQ(f.batchDone.load(), 0);
  f.rs.ClosePort();
}

TEST(SendWorker, WithoutATransportOnlyJobsOneAndThreeReport) {
  Frame f;
  f.link.m_nJobType = kJobGeometry;
  f.link.StartSendWorker();
  f.link.m_nJobType = kJobBezel;
  f.link.StartSendWorker();
  f.link.m_nJobType = kJobOverlay;
  f.link.StartSendWorker();
  f.link.m_nJobType = kJobPosition;
  f.link.StartSendWorker();
  ASSERT_TRUE(f.got.WaitFor([&] { return f.got.NoteCountLocked() >= 2; }, 2s));
  std::this_thread::sleep_for(100ms);
  EXPECT_EQ(f.batchDone.load(), 1);
  EXPECT_EQ(f.batchJob.load(), kJobOverlay);
  EXPECT_EQ(f.positionAnswers.load(), 1);
  EXPECT_EQ(f.statusAtAnswer.load(), kReplyNotConnected);
  EXPECT_EQ(f.link.m_bSending.load(), 0);
}

TEST(SendWorker, ShutDownDuringABatchDoesNotWaitForIt) {
  Frame f;
  Listener l;
  ASSERT_EQ(f.net.Connect("127.0.0.1", l.PortText(), &f.ui), 1);
  Peer peer(l.Accept(), false);
  BuildGeometryBatch(3);
  f.link.m_nJobType = kJobGeometry;
  f.link.StartSendWorker();
  std::this_thread::sleep_for(200ms);
  const auto start = std::chrono::steady_clock::now();
  f.ui.RunAndWait([&] { f.link.Shutdown(); });  // the frame goes away on its own thread
  EXPECT_LT(std::chrono::steady_clock::now() - start, 200ms);
  EXPECT_EQ(f.link.m_bSending.load(), 0);
}

TEST(SendPath, SerialWinsTheNetworkSendsAndNothingOpenDropsQuietly) {
  Frame f;
  const std::uint8_t payload[2] = {1, 2};
  // Nothing open: dropped without a message.
  f.ui.RunAndWait([&] { EXPECT_TRUE(f.link.SendCommand(cmd::kMovePicture, 0, payload, 2)); });
  EXPECT_EQ(f.link.m_nCurCmd.load(), cmd::kMovePicture);

  Listener l;
  Pty pty;
  ASSERT_EQ(f.net.Connect("127.0.0.1", l.PortText(), &f.ui), 1);
  Peer peer(l.Accept(), false);
  f.ui.RunAndWait([&] { EXPECT_EQ(f.rs.OpenPort(pty.slave), 1); });
  f.ui.RunAndWait([&] { f.link.SendCommand(cmd::kVersion, 0); });
  EXPECT_EQ(pty.Read(12, 500ms).size(), 12u);
  EXPECT_TRUE(peer.Received().empty());
  EXPECT_EQ(f.link.m_nPrevCmd.load(), cmd::kMovePicture);
  EXPECT_EQ(f.link.m_nCurCmd.load(), cmd::kVersion);

  f.ui.RunAndWait([&] { f.rs.ClosePort(); });
  f.ui.RunAndWait([&] { f.link.SendCommand(cmd::kVersion, 0); });
  const auto deadline = std::chrono::steady_clock::now() + 1s;
  while (peer.Received().size() < 12 && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(1ms);
  EXPECT_EQ(peer.Received().size(), 12u);
  EXPECT_TRUE(f.got.Notes().empty());
}

TEST(SendPath, AFailingNetworkSendShowsNetSendFailure) {
  Frame f;
  Listener l;
  ASSERT_EQ(f.net.Connect("127.0.0.1", l.PortText(), &f.ui), 1);
  ::close(l.Accept());
  const auto deadline = std::chrono::steady_clock::now() + 2s;
  while (!f.net.ReceiveEnded() && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(5ms);
  for (int i = 0; i < 3; ++i) {
    f.ui.RunAndWait([&] { f.link.SendCommand(cmd::kVersion, 0); });
    std::this_thread::sleep_for(20ms);
  }
  const auto notes = f.got.Notes();
  ASSERT_FALSE(notes.empty());
  for (const auto& n : notes) EXPECT_EQ(n, "Net Send failure!");
}

TEST(DeviceData, EveryBlockWakesTheWorkerAndIsCopied) {
  Frame f;
  g_hReplyEvent.Reset();
  const std::uint8_t junk[3] = {9, 9, 9};
  f.link.NoteCommand(cmd::kQueryPosition, 0);
  const ReplyAction a = f.link.TakeReply(junk, 3);
  EXPECT_EQ(a.kind, ReplyKind::PositionFailed);
  EXPECT_EQ(f.link.m_nReplyStatus.load(), kReplyShort);
  EXPECT_TRUE(g_hReplyEvent.Wait(0ms));
  EXPECT_EQ(std::memcmp(g_RxBuf, junk, 3), 0);
  f.link.EndReply();
  EXPECT_EQ(f.link.m_nReplyStatus.load(), kReplyAnswered);
}

namespace {

TEST(TrafficHookTest, BothDirectionsAreLoggedEachFrameBeforeItsAnswer) {
  TrafficLog log;
  Frame f;
  f.link.SetTrafficHook(&log);
  Listener l;
  ASSERT_EQ(f.net.Connect("127.0.0.1", l.PortText(), &f.ui), 1);
  {
    Peer peer(l.Accept(), true);
    BuildGeometryBatch(1);
    f.link.m_nJobType = kJobGeometry;
    f.link.StartSendWorker();
    ASSERT_TRUE(f.got.WaitFor([&] { return f.batchDone.load() == 1; }, 6s));
    const auto records = log.Since(0);
    ASSERT_EQ(records.size(), 8u);
    for (std::size_t i = 0; i < 8; i += 2) {
      EXPECT_EQ(records[i].dir, TrafficDir::Sent);
      EXPECT_EQ(records[i].bytes, std::vector<std::uint8_t>(g_TxBuf + i * 10, g_TxBuf + i * 10 + 20));
      EXPECT_EQ(records[i + 1].dir, TrafficDir::Received);
      EXPECT_EQ(records[i + 1].bytes, kAck);
    }
  }
  // The peer gone, a frame is not written into the dead socket but logged
  // as not sent, once.
  const auto deadline = std::chrono::steady_clock::now() + 2s;
  while (!f.net.ReceiveEnded() && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(5ms);
  const std::uint64_t before = log.LastSeq();
  f.ui.RunAndWait([&] { f.link.SendCommand(cmd::kVersion, 0); });
  const auto tail = log.Since(before);
  ASSERT_EQ(tail.size(), 1u);
  EXPECT_EQ(tail[0].dir, TrafficDir::Unsent);
}

}  // namespace

// Changes that could not go out are counted (queries are not); a set-up
// batch sends any frames with the reply wait, reports its progress, stops
// after the frame in flight when cancelled, and when whole takes off what
// was waiting when it began.
TEST(SetupBatch, CountsWhatCouldNotGoOutAndSendsTheSetUpWithProgressAndCancel) {
  Frame f;
  const std::uint8_t xywh[8] = {};
  f.OnUi([&] {
    f.link.SendCommand(cmd::kSetGeometry, 1, xywh, 8);   // a change, no link
    f.link.SendCommand(cmd::kVersion, 0);                 // a query
    f.link.CountUnsent(cmd::kSetGeometry, 2, xywh, 8);    // built and counted, not noted
  });
  EXPECT_EQ(f.link.Unsent(), 2);
  EXPECT_EQ(f.link.m_nCurCmd.load(), cmd::kVersion);
  std::vector<std::vector<std::uint8_t>> frames;
  for (int ch = 0; ch < 4; ++ch) {
    std::vector<std::uint8_t> b(20);
    BuildFrame(b.data(), xywh, 8, cmd::kSetGeometry, static_cast<std::uint8_t>(ch));
    frames.push_back(b);
  }
  EXPECT_FALSE(f.link.StartSetupBatch(frames));  // no link: nothing starts

  Listener l;
  ASSERT_EQ(f.net.Connect("127.0.0.1", l.PortText(), &f.ui), 1);
  {
    Peer peer(l.Accept(), true);
    ASSERT_TRUE(f.link.StartSetupBatch(frames));
    EXPECT_EQ(f.link.m_bSending.load(), 1);
    EXPECT_FALSE(f.link.StartSetupBatch(frames));  // one at a time
    ASSERT_TRUE(f.got.WaitFor([&] { return f.setupDone == 1; }, 6s));
    EXPECT_EQ(f.setup.total, 4);
    EXPECT_EQ(f.setup.answered, 4);
    EXPECT_TRUE(f.setup.Whole());
    EXPECT_EQ(f.progress.back(), 4);
    f.OnUi([&] { f.link.EndSetup(f.setup); });
    EXPECT_EQ(f.link.Unsent(), 0);
    EXPECT_EQ(f.link.m_bSending.load(), 0);
    // A user mode stored while the processor could not hear it waits for a
    // set-up that makes the user modes; a plain one leaves it counted.
    const std::uint8_t store[12] = {0x7D, 0x3A, 0, 4, cmd::kSaveMode, 1, 0, 0, 0x81, 0x45, 0x4E, 0x44};
    f.OnUi([&] { f.link.CountUnsentFrame(store, 12); });
    for (bool withUserModes : {false, true}) {
      ASSERT_TRUE(f.link.StartSetupBatch(frames, withUserModes));
      const int ended = f.setupDone;
      ASSERT_TRUE(f.got.WaitFor([&] { return f.setupDone == ended + 1; }, 6s));
      f.OnUi([&] { f.link.EndSetup(f.setup); });
      EXPECT_EQ(f.link.Unsent(), withUserModes ? 0 : 1);
      EXPECT_EQ(f.link.UnsentUserModes(), withUserModes ? 0 : 1);
    }
  }
  // A silent processor: cancelled while the first frame waits, the batch
  // ends after it; the count stays.
  ASSERT_EQ(f.net.Connect("127.0.0.1", l.PortText(), &f.ui), 1);
  Peer silent(l.Accept(), false);
  f.OnUi([&] { f.link.CountUnsent(cmd::kSetGeometry, 2, xywh, 8); });
  ASSERT_TRUE(f.link.StartSetupBatch(frames));
  f.link.CancelSetup();
  ASSERT_TRUE(f.got.WaitFor([&] { return f.setupDone == 4; }, 3s));
  EXPECT_TRUE(f.setup.cancelled);
  EXPECT_LE(f.setup.sent, 1);
  f.OnUi([&] { f.link.EndSetup(f.setup); });
  EXPECT_EQ(f.link.Unsent(), 1);
}

// A processor that goes away part way through a set-up batch: the batch ends
// as lost, with at most one box, not a "Net Send failure!" per frame left.
TEST(SetupBatch, ALinkLostPartWayEndsTheBatchAsLostWithoutABoxPerFrame) {
  Frame f;
  const std::uint8_t xywh[8] = {};
  std::vector<std::vector<std::uint8_t>> frames;
  for (int i = 0; i < 12; ++i) {
    std::vector<std::uint8_t> b(20);
    BuildFrame(b.data(), xywh, 8, cmd::kSetGeometry, static_cast<std::uint8_t>(i % 4));
    frames.push_back(b);
  }
  Listener l;
  ASSERT_EQ(f.net.Connect("127.0.0.1", l.PortText(), &f.ui), 1);
  const int fd = l.Accept();
  // Answers the first frame, then closes.
  std::thread peer([fd] {
    std::uint8_t buf[64];
    std::size_t got = 0;
    while (got < 20) {
      const ssize_t r = ::recv(fd, buf, sizeof buf, 0);
      if (r <= 0) break;
      got += static_cast<std::size_t>(r);
    }
    ::send(fd, kAck.data(), kAck.size(), MSG_NOSIGNAL);
    ::close(fd);
  });
  ASSERT_TRUE(f.link.StartSetupBatch(frames));
  ASSERT_TRUE(f.got.WaitFor([&] { return f.setupDone == 1; }, 20s));
  peer.join();
  int boxes = 0;
  for (const std::string& n : f.got.Notes()) boxes += n == "Net Send failure!" ? 1 : 0;
  EXPECT_LT(f.setup.sent, f.setup.total);
  EXPECT_TRUE(f.setup.lost) << "sent " << f.setup.sent << " of " << f.setup.total;
  EXPECT_LE(boxes, 1);
}
