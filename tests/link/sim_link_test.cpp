// The device link against the real simulator, over loopback TCP and its pty.
#include <gtest/gtest.h>

#include "link/Commands.h"
#include "link/LinkFrame.h"
#include "sim/SimProcess.h"

using namespace panora;
using namespace std::chrono_literals;
using test::LinkFrame;
using test::SimProcess;

namespace {
// Connects over TCP as the connector thread does, waiting for its result.
bool ConnectTcp(LinkFrame& f, const SimProcess& sim) {
  std::atomic<int> result{-1};
  f.net.SetNetAddress("127.0.0.1", std::to_string(sim.Port()));
  f.net.StartConnector(&f.ui, [&](int r) {
    result = r;
    f.got.Note("net result");
  });
  f.got.WaitFor([&] { return result.load() != -1 || f.got.NoteCountLocked() > 0; }, 3s);
  return result.load() == 1;
}
bool OpenSerial(LinkFrame& f, const std::string& path) {
  int r = 0;
  f.OnUi([&] { r = f.rs.OpenPort(path); });
  return r == 1;
}
// Sends one command from the user-interface thread and waits for n blocks in all.
void SendAndWait(LinkFrame& f, std::uint8_t command, std::size_t blocks,
                 std::chrono::milliseconds wait = 2s) {
  f.OnUi([&] { f.link.SendCommand(command, 0); });
  f.got.WaitFor([&] { return f.got.BlockCountLocked() >= blocks; }, wait);
}
}  // namespace

TEST(SimLink, HandshakeAndVersionOverTcpAndSerial) {
  SimProcess sim({"--tcp", "127.0.0.1:0", "--pty", "/tmp/panora-link-sim-" + std::to_string(::getpid()),
                  "--version", "2.0.15"});
  ASSERT_TRUE(sim.Ok()) << sim.Error();
  {
    LinkFrame f;
    ASSERT_TRUE(ConnectTcp(f, sim));
    SendAndWait(f, cmd::kHandshake, 1);
    EXPECT_EQ(f.handshakeOk.load(), 1);
    SendAndWait(f, cmd::kVersion, 2);
    f.OnUi([&] { EXPECT_EQ(f.version, "Version:2.0.15"); });
  }
  {
    LinkFrame f;
    ASSERT_TRUE(OpenSerial(f, sim.PtyDevice()));
    SendAndWait(f, cmd::kHandshake, 1);
    EXPECT_EQ(f.handshakeOk.load(), 1);
    SendAndWait(f, cmd::kVersion, 2);
    f.OnUi([&] { EXPECT_EQ(f.version, "Version:2.0.15"); });
  }
}

TEST(SimLink, RefusedAndSilentHandshakes) {
  SimProcess refusing({"--tcp", "127.0.0.1:0", "--refuse"});
  ASSERT_TRUE(refusing.Ok()) << refusing.Error();
  LinkFrame f;
  ASSERT_TRUE(ConnectTcp(f, refusing));
  SendAndWait(f, cmd::kHandshake, 1);
  EXPECT_EQ(f.handshakes.load(), 1);
  EXPECT_EQ(f.handshakeOk.load(), 0);

  SimProcess silent({"--tcp", "127.0.0.1:0", "--silent"});
  ASSERT_TRUE(silent.Ok()) << silent.Error();
  LinkFrame g;
  ASSERT_TRUE(ConnectTcp(g, silent));
  SendAndWait(g, cmd::kHandshake, 1, 1000ms);  // the handshake time-out
  EXPECT_EQ(g.handshakes.load(), 0);
  EXPECT_TRUE(g.got.Blocks().empty());
}

TEST(SimLink, ANetworkConnectToNoSimulatorFails) {
  int port = 0;
  {
    SimProcess sim({"--tcp", "127.0.0.1:0"});
    ASSERT_TRUE(sim.Ok()) << sim.Error();
    port = sim.Port();
  }  // gone: its port now refuses
  LinkFrame f;
  EXPECT_EQ(f.net.Connect("127.0.0.1", std::to_string(port), &f.ui), 0);
  EXPECT_FALSE(f.net.IsConnected());
}

TEST(SimLink, SerialWinsOverTheNetwork) {
  SimProcess net({"--tcp", "127.0.0.1:0", "--version", "1.1.1"});
  SimProcess serial({"--pty", "/tmp/panora-link-win-" + std::to_string(::getpid()), "--version", "3.3.3"});
  ASSERT_TRUE(net.Ok() && serial.Ok()) << net.Error() << serial.Error();
  LinkFrame f;
  ASSERT_TRUE(ConnectTcp(f, net));
  ASSERT_TRUE(OpenSerial(f, serial.PtyDevice()));
  SendAndWait(f, cmd::kVersion, 1);
  std::this_thread::sleep_for(100ms);
  EXPECT_EQ(f.got.Blocks().size(), 1u);
  f.OnUi([&] { EXPECT_EQ(f.version, "Version:3.3.3"); });
}

TEST(SimLink, AWorkerBatchAgainstASilentProcessorOverSerialEndsAfterFourSeconds) {
  SimProcess sim({"--pty", "/tmp/panora-link-batch-" + std::to_string(::getpid()), "--silent"});
  ASSERT_TRUE(sim.Ok()) << sim.Error();
  LinkFrame f;
  ASSERT_TRUE(OpenSerial(f, sim.PtyDevice()));
  const auto start = std::chrono::steady_clock::now();
  f.OnUi([&] {
    for (int ch = 0; ch < 4; ++ch) {
      const std::uint8_t xywh[8] = {0, 0, 0, 0, 3, 0xC0, 2, 0x1C};
      BuildFrame(g_TxBuf + ch * 20, xywh, 8, cmd::kSetGeometry, static_cast<std::uint8_t>(ch));
    }
    f.link.m_nJobType = kJobGeometry;
    f.link.StartSendWorker();
  });
  ASSERT_TRUE(f.got.WaitFor([&] { return f.got.NoteCountLocked() >= 1; }, 6s));
  const auto took = std::chrono::steady_clock::now() - start;
  EXPECT_GE(took, 3900ms);
  EXPECT_LT(took, 4800ms);
  EXPECT_EQ(f.batchJob.load(), kJobGeometry);
}

TEST(SimLink, AProcessorThatDropsTheConnection) {
  SimProcess sim({"--tcp", "127.0.0.1:0", "--drop-after", "1"});
  ASSERT_TRUE(sim.Ok()) << sim.Error();
  LinkFrame f;
  ASSERT_TRUE(ConnectTcp(f, sim));
  SendAndWait(f, cmd::kHandshake, 1);
  const auto deadline = std::chrono::steady_clock::now() + 2s;
  while (!f.net.ReceiveEnded() && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(5ms);
  EXPECT_TRUE(f.net.ReceiveEnded());
  EXPECT_TRUE(f.net.IsConnected());
  for (int i = 0; i < 3; ++i) {
    f.OnUi([&] { f.link.SendCommand(cmd::kVersion, 0); });
    std::this_thread::sleep_for(20ms);
  }
  const auto notes = f.got.Notes();
  EXPECT_FALSE(notes.empty());
  for (const auto& n : notes) {
    if (n != "net result") {
      EXPECT_EQ(n, "Net Send failure!");
    }
  }
  f.OnUi([&] { f.net.Close(); });
  EXPECT_FALSE(f.net.IsConnected());
}

TEST(SimLink, AFloodOfGarbageIsReadWithoutHarmAndTheUiStaysResponsive) {
  SimProcess sim(
      {"--tcp", "127.0.0.1:0", "--pty", "/tmp/panora-link-junk-" + std::to_string(::getpid()), "--garbage"});
  ASSERT_TRUE(sim.Ok()) << sim.Error();
  LinkFrame f;
  ASSERT_TRUE(ConnectTcp(f, sim));
  std::atomic<bool> stop{false};
  std::thread flood([&] {
    while (!stop.load()) {
      f.ui.RunOnLoop([&] { f.link.SendCommand(cmd::kVersion, 0); });
      std::this_thread::sleep_for(200us);
    }
  });
  for (int i = 0; i < 20; ++i) {
    const auto start = std::chrono::steady_clock::now();
    f.OnUi([] {});
    EXPECT_LT(std::chrono::steady_clock::now() - start, 200ms);
    std::this_thread::sleep_for(20ms);
  }
  stop = true;
  flood.join();
  // Garbage neither ends the receiver nor comes in blocks larger than the
  // reader's buffer (answers are not checked for their start bytes, so one
  // may pass for an answer now and then).
  EXPECT_FALSE(f.net.ReceiveEnded());
  EXPECT_TRUE(f.net.IsConnected());
  const auto blocks = f.got.Blocks();
  ASSERT_FALSE(blocks.empty());
  for (const auto& b : blocks) EXPECT_LE(b.size(), static_cast<std::size_t>(CNetLink::kBlockSize));
}

TEST(SimLink, SplitAnswersJoinOnSerialButNotOverTcp) {
  SimProcess sim(
      {"--tcp", "127.0.0.1:0", "--pty", "/tmp/panora-link-split-" + std::to_string(::getpid()), "--split"});
  ASSERT_TRUE(sim.Ok()) << sim.Error();
  {
    // The serial reader keeps reading while bytes follow within 50 ms.
    LinkFrame f;
    ASSERT_TRUE(OpenSerial(f, sim.PtyDevice()));
    SendAndWait(f, cmd::kHandshake, 1);
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(f.got.Blocks().size(), 1u);
    EXPECT_EQ(f.handshakeOk.load(), 1);
  }
  {
    // Over TCP each part is a block of its own, examined alone: neither is
    // long enough, so the handshake is not confirmed.
    LinkFrame f;
    ASSERT_TRUE(ConnectTcp(f, sim));
    SendAndWait(f, cmd::kHandshake, 2);
    EXPECT_EQ(f.got.Blocks().size(), 2u);
    EXPECT_EQ(f.handshakes.load(), 0);
  }
}
