// The real panora-sim driven by the real panora-ctl (and by raw sockets for
// bytes the tool never sends), over TCP and over the pty, with every fault.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <memory>
#include <nlohmann/json.hpp>
#include <regex>
#include <sstream>

#include "link/Frame.h"
#include "sim/SimProcess.h"

namespace {

using panora::test::BinPath;
using panora::test::RawClient;
using panora::test::ReadFile;
using panora::test::RunProgram;
using panora::test::RunResult;
using panora::test::SimProcess;
using panora::test::TempDir;
using Bytes = std::vector<std::uint8_t>;

Bytes Frame(std::uint8_t cmd, std::uint8_t sub, Bytes payload = {}) {
  return panora::test::MakeFrame(cmd, sub, std::move(payload));
}

RunResult Ctl(std::vector<std::string> args) {
  args.insert(args.begin(), BinPath("panora-ctl"));
  return RunProgram(args);
}

nlohmann::json State(const std::string& path) {
  return nlohmann::json::parse(ReadFile(path));
}

// Runs the exchanges every link must carry, through the given link options.
void ExpectFullConversation(const std::vector<std::string>& link) {
  auto with = [&](std::vector<std::string> more) {
    std::vector<std::string> args = link;
    args.insert(args.end(), more.begin(), more.end());
    return Ctl(args);
  };
  auto r = with({"handshake"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "Connection Success!\n");
  r = with({"version"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "Version:2.0.15\n");
  // X 100, Y 50, W 300, H 200 for window 2, then read back.
  r = with({"send", "0x30", "2", "0", "100", "0", "50", "1", "44", "0", "200"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "7D 3A 00 05 30 02 00 00 00 32 45 4E 44\n");
  r = with({"send", "0x31", "2"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "7D 3A 00 0D 31 02 00 00 00 00 64 00 32 01 2C 00 C8 BE 45 4E 44\n");
  r = with({"recall", "17"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "7D 3A 00 05 01 04 00 00 00 05 45 4E 44\n");
}

TEST(SimProcess, TcpConversationAndState) {
  TempDir dir;
  SimProcess sim({"--tcp", "127.0.0.1:0", "--version", "2.0.15", "--state", dir.File("state.json")});
  ASSERT_TRUE(sim.Ok()) << sim.Error();
  EXPECT_EQ(State(dir.File("state.json"))["mode"], 8);  // written at start
  ExpectFullConversation({"--tcp", sim.TcpAddress()});
  const auto state = State(dir.File("state.json"));
  EXPECT_EQ(state["mode"], 17);
  EXPECT_EQ(state["setUp"]["geometry"][2]["w"], 300);
  EXPECT_FALSE(std::filesystem::exists(dir.File("state.json.tmp")));
}

TEST(SimProcess, PtyConversation) {
  TempDir dir;
  const std::string tty = dir.File("tty");
  SimProcess sim({"--pty", tty, "--version", "2.0.15"});
  ASSERT_TRUE(sim.Ok()) << sim.Error();
  EXPECT_EQ(sim.Port(), 0);  // only the pty when --tcp is not given
  EXPECT_EQ(std::filesystem::read_symlink(tty).string(), sim.PtyDevice());
  // Each ctl run opens and closes the line: the simulator serves each in turn.
  ExpectFullConversation({"--serial", tty});
}

TEST(SimProcess, TheLargestFrameGoesOverThePtyToo) {
  // panora-ctl promises 1012 payload bytes on every link; the serial
  // transport writes at most 1022 bytes a call.
  TempDir dir;
  const std::string tty = dir.File("tty");
  SimProcess sim({"--pty", tty, "--log", dir.File("log")});
  ASSERT_TRUE(sim.Ok()) << sim.Error();
  std::vector<std::string> args{"--serial", tty, "send", "0x30", "0"};
  args.insert(args.end(), 1012, "1");
  const auto r = Ctl(args);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out.substr(0, 15), "7D 3A 00 05 30 ") << r.out;
  EXPECT_NE(ReadFile(dir.File("log")).find("rx 7D 3A 03 FB 30 00 00 00 01 01"), std::string::npos);
}

TEST(SimProcess, RefusedHandshake) {
  TempDir dir;
  SimProcess sim({"--tcp", "127.0.0.1:0", "--pty", dir.File("tty"), "--refuse"});
  ASSERT_TRUE(sim.Ok()) << sim.Error();
  for (const auto& link :
       {std::vector<std::string>{"--tcp", sim.TcpAddress()}, {"--serial", dir.File("tty")}}) {
    auto r = Ctl({link[0], link[1], "handshake"});
    EXPECT_EQ(r.status, 4) << r.err;
    EXPECT_EQ(r.out, "Connection error!\n");
  }
}

TEST(SimProcess, SilentMeansNoAnswerAfterOneSecond) {
  SimProcess sim({"--tcp", "127.0.0.1:0", "--silent"});
  ASSERT_TRUE(sim.Ok()) << sim.Error();
  auto r = Ctl({"--tcp", sim.TcpAddress(), "handshake"});
  EXPECT_EQ(r.status, 3);
  EXPECT_EQ(r.out, "");
  EXPECT_NE(r.err.find("no answer within 1000 ms"), std::string::npos) << r.err;
  EXPECT_GE(r.seconds, 0.95);
  EXPECT_LT(r.seconds, 3.0);
}

TEST(SimProcess, DelayedAnswerStillComesInTime) {
  SimProcess sim({"--tcp", "127.0.0.1:0", "--delay", "200"});
  ASSERT_TRUE(sim.Ok()) << sim.Error();
  auto r = Ctl({"--tcp", sim.TcpAddress(), "handshake"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "Connection Success!\n");
  EXPECT_GE(r.seconds, 0.2);
}

TEST(SimProcess, GarbageIsNoAnswer) {
  SimProcess sim({"--tcp", "127.0.0.1:0", "--garbage"});
  ASSERT_TRUE(sim.Ok()) << sim.Error();
  auto r = Ctl({"--tcp", sim.TcpAddress(), "version"});
  EXPECT_EQ(r.status, 3);
  EXPECT_NE(r.err.find("no answer"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("garbage"), std::string::npos) << r.err;
}

TEST(SimProcess, SplitAnswersAreReassembled) {
  TempDir dir;
  SimProcess sim({"--tcp", "127.0.0.1:0", "--pty", dir.File("tty"), "--split", "--log", dir.File("log")});
  ASSERT_TRUE(sim.Ok()) << sim.Error();
  for (const auto& link :
       {std::vector<std::string>{"--tcp", sim.TcpAddress()}, {"--serial", dir.File("tty")}}) {
    auto r = Ctl({link[0], link[1], "send", "0x31", "0"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "7D 3A 00 0D 31 00 00 00 00 00 00 00 00 03 C0 02 1C 12 45 4E 44\n");
  }
}

TEST(SimProcess, DropAfterClosesTheConnectionAndServesTheNext) {
  TempDir dir;
  SimProcess sim({"--tcp", "127.0.0.1:0", "--drop-after", "2", "--state", dir.File("state.json")});
  ASSERT_TRUE(sim.Ok()) << sim.Error();
  {
    RawClient client(sim.Port());
    ASSERT_TRUE(client.Ok());
    Bytes three = Frame(0xF1, 0);
    for (const Bytes& f : {Frame(0x50, 1, {2, 2, 2, 2}), Frame(0x36, 1, {4, 3, 2, 1})}) {
      three.insert(three.end(), f.begin(), f.end());
    }
    client.Send(three);
    bool closed = false;
    const Bytes got = client.Receive(100, 3000, &closed);
    EXPECT_TRUE(closed);
    EXPECT_EQ(got.size(), 26u);  // two acknowledgements, then the end
  }
  const auto state = State(dir.File("state.json"));
  EXPECT_EQ(state["setUp"]["resolution"], nlohmann::json::parse("[2,2,2,2]"));
  EXPECT_EQ(state["setUp"]["input"], nlohmann::json::parse("[1,2,3,4]"));  // third frame never taken
  auto r = Ctl({"--tcp", sim.TcpAddress(), "handshake"});
  EXPECT_EQ(r.status, 0) << r.err;
}

TEST(SimProcess, DropAfterOnThePtyHangsUpTheLine) {
  TempDir dir;
  const std::string tty = dir.File("tty");
  SimProcess sim({"--pty", tty, "--drop-after", "1"});
  ASSERT_TRUE(sim.Ok()) << sim.Error();
  auto r = Ctl({"--serial", tty, "handshake"});
  EXPECT_EQ(r.status, 0) << r.err;
  // The line was dropped: the path now leads to a fresh pty, which works.
  for (int i = 0; i < 100 && std::filesystem::read_symlink(tty).string() == sim.PtyDevice(); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  EXPECT_NE(std::filesystem::read_symlink(tty).string(), sim.PtyDevice());
  r = Ctl({"--serial", tty, "handshake"});
  EXPECT_EQ(r.status, 0) << r.err;
}

TEST(SimProcess, BadChecksumIsLoggedNotAppliedNotAnswered) {
  TempDir dir;
  SimProcess sim({"--tcp", "127.0.0.1:0", "--log", dir.File("log"), "--state", dir.File("state.json")});
  ASSERT_TRUE(sim.Ok()) << sim.Error();
  RawClient client(sim.Port());
  Bytes bad = Frame(0x36, 1, {4, 3, 2, 1});
  bad[12] ^= 0xFF;
  client.Send(bad);
  EXPECT_TRUE(client.Receive(13, 300).empty());
  // The stream resynchronises: the next good frame is taken and answered.
  client.Send(Frame(0x50, 1, {3, 3, 3, 3}));
  EXPECT_EQ(client.Receive(13, 2000).size(), 13u);
  client.Close();

  const auto state = State(dir.File("state.json"));
  EXPECT_EQ(state["setUp"]["input"], nlohmann::json::parse("[1,2,3,4]"));
  EXPECT_EQ(state["setUp"]["resolution"], nlohmann::json::parse("[3,3,3,3]"));
  const std::string log = ReadFile(dir.File("log"));
  EXPECT_NE(log.find(" rx skip bad checksum: 7D 3A 00 08 36 01 00 00 04 03 02 01 BE 45 4E 44\n"),
            std::string::npos)
      << log;
  // The rejected bytes are shown once, not once more as garbage.
  EXPECT_EQ(log.find("skip garbage"), std::string::npos) << log;
}

TEST(SimProcess, LogHasATimedLinePerFrameEachWay) {
  TempDir dir;
  SimProcess sim({"--tcp", "127.0.0.1:0", "--log", dir.File("log")});
  ASSERT_TRUE(sim.Ok()) << sim.Error();
  ASSERT_EQ(Ctl({"--tcp", sim.TcpAddress(), "handshake"}).status, 0);
  ASSERT_EQ(sim.Terminate(), 0);
  std::istringstream lines(ReadFile(dir.File("log")));
  const std::regex stamp(R"(^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z (.*)$)");
  std::vector<std::string> frames;
  std::string line;
  while (std::getline(lines, line)) {
    std::smatch m;
    ASSERT_TRUE(std::regex_match(line, m, stamp)) << line;
    const std::string text = m[1];
    if (text.rfind("rx ", 0) == 0 || text.rfind("tx ", 0) == 0) frames.push_back(text);
  }
  EXPECT_EQ(frames, (std::vector<std::string>{"rx 7D 3A 00 04 F1 00 00 00 F1 45 4E 44",
                                              "tx 7D 3A 00 05 F1 00 00 00 00 F1 45 4E 44"}));
}

TEST(SimProcess, ClientLeavingBeforeItsAnswerDoesNotHurt) {
  SimProcess sim({"--tcp", "127.0.0.1:0", "--delay", "100"});
  ASSERT_TRUE(sim.Ok()) << sim.Error();
  for (int i = 0; i < 3; ++i) {
    RawClient client(sim.Port());
    client.Send(Frame(0xFF, 0));
  }  // each closes at once; the answer goes to a closed connection
  std::this_thread::sleep_for(std::chrono::milliseconds(400));
  auto r = Ctl({"--tcp", sim.TcpAddress(), "handshake"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(::kill(sim.Pid(), 0), 0);
}

TEST(SimProcess, IdleMeansEveryThreadWaitsForAnEvent) {
  // After clients of both kinds have come and gone (one leaving half a frame
  // behind), nothing may wake the simulator but the next client.
  TempDir dir;
  const std::string tty = dir.File("tty");
  SimProcess sim({"--tcp", "127.0.0.1:0", "--pty", tty});
  ASSERT_TRUE(sim.Ok()) << sim.Error();
  EXPECT_EQ(panora::test::WakeableThreads(sim.Pid()), "");
  ASSERT_EQ(Ctl({"--serial", tty, "handshake"}).status, 0);
  EXPECT_EQ(panora::test::WakeableThreads(sim.Pid()), "");
  RawClient quiet(sim.Port());
  const Bytes half = Frame(0xF1, 0);
  quiet.Send(Bytes(half.begin(), half.begin() + 5));
  ASSERT_EQ(Ctl({"--tcp", sim.TcpAddress(), "version"}).status, 0);
  std::this_thread::sleep_for(std::chrono::milliseconds(400));  // the half frame is given up
  EXPECT_EQ(panora::test::WakeableThreads(sim.Pid()), "");
}

TEST(SimProcess, ServesEightClientsAtOnceAndTurnsTheNinthAway) {
  TempDir dir;
  SimProcess sim({"--tcp", "127.0.0.1:0", "--log", dir.File("log")});
  ASSERT_TRUE(sim.Ok()) << sim.Error();
  std::vector<std::unique_ptr<RawClient>> clients;
  for (int i = 0; i < 8; ++i) clients.push_back(std::make_unique<RawClient>(sim.Port()));
  // The first sends half a frame and stalls; the others are answered meanwhile,
  // each with the answer to its own question, on one processor state.
  const Bytes hs = Frame(0xF1, 0);
  clients[0]->Send(Bytes(hs.begin(), hs.begin() + 6));
  clients[1]->Send(Frame(0x30, 3, {0x00, 0x10, 0x00, 0x20, 0x00, 0x30, 0x00, 0x40}));
  ASSERT_EQ(clients[1]->Receive(13, 2000).size(), 13u);
  for (int i = 2; i < 8; ++i)
    clients[static_cast<std::size_t>(i)]->Send(i % 2 ? Frame(0xFF, 0) : Frame(0x31, 3));
  for (int i = 2; i < 8; ++i) {
    const Bytes got = clients[static_cast<std::size_t>(i)]->Receive(i % 2 ? 16 : 21, 2000);
    ASSERT_EQ(got.size(), i % 2 ? 16u : 21u) << "client " << i;
    EXPECT_EQ(got[4], i % 2 ? 0xFF : 0x31) << "client " << i;
    if (i % 2 == 0) {
      EXPECT_EQ(Bytes(got.begin() + 9, got.begin() + 17), (Bytes{0, 0x10, 0, 0x20, 0, 0x30, 0, 0x40}));
    }
  }
  clients[0]->Send(Bytes(hs.begin() + 6, hs.end()));
  const Bytes answer = clients[0]->Receive(13, 2000);
  ASSERT_EQ(answer.size(), 13u);
  EXPECT_EQ(answer[4], 0xF1);

  RawClient ninth(sim.Port());
  bool closed = false;
  EXPECT_TRUE(ninth.Receive(1, 2000, &closed).empty());
  EXPECT_TRUE(closed);
  EXPECT_NE(ReadFile(dir.File("log")).find("clients already connected"), std::string::npos);
  // A place that frees up is taken again.
  clients[7].reset();
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  auto r = Ctl({"--tcp", sim.TcpAddress(), "handshake"});
  EXPECT_EQ(r.status, 0) << r.err;
}

TEST(SimProcess, APartialFrameIsGivenUpAfterSilence) {
  TempDir dir;
  SimProcess sim({"--tcp", "127.0.0.1:0", "--log", dir.File("log")});
  ASSERT_TRUE(sim.Ok()) << sim.Error();
  RawClient client(sim.Port());
  // A length field that promises 773 bytes must not swallow the next frame,
  // neither one sent later nor one sent right behind it.
  const Bytes bad{0x7D, 0x3A, 0x03, 0x00, 0xF1, 0x00};
  client.Send(bad);
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  client.Send(Frame(0xF1, 0));
  EXPECT_EQ(client.Receive(13, 1000).size(), 13u);
  Bytes joined = bad;
  const Bytes version = Frame(0xFF, 0);
  joined.insert(joined.end(), version.begin(), version.end());
  client.Send(joined);
  const Bytes got = client.Receive(16, 1000);
  ASSERT_EQ(got.size(), 16u);
  EXPECT_EQ(got[4], 0xFF);
  const std::string log = ReadFile(dir.File("log"));
  EXPECT_NE(log.find("rx skip truncated (200 ms of silence): 7D 3A 03 00 F1 00\n"), std::string::npos) << log;
}

TEST(SimProcess, LogRotatesOnceAtItsCap) {
  TempDir dir;
  const std::string log = dir.File("sim.log");
  SimProcess sim({"--tcp", "127.0.0.1:0", "--log", log, "--log-max", "1k"});
  ASSERT_TRUE(sim.Ok()) << sim.Error();
  RawClient client(sim.Port());
  for (int i = 0; i < 40; ++i) {
    client.Send(Frame(0xF1, 0));
    ASSERT_EQ(client.Receive(13, 2000).size(), 13u);
  }
  client.Send(Frame(0xFF, 0));
  ASSERT_EQ(client.Receive(16, 2000).size(), 16u);
  ASSERT_EQ(sim.Terminate(), 0);
  EXPECT_LE(std::filesystem::file_size(log), 1000u);
  ASSERT_TRUE(std::filesystem::exists(log + ".1"));
  EXPECT_LE(std::filesystem::file_size(log + ".1"), 1000u);
  EXPECT_GT(std::filesystem::file_size(log + ".1"), 800u);
  EXPECT_FALSE(std::filesystem::exists(log + ".2"));
  EXPECT_NE(ReadFile(log).find("tx 7D 3A 00 08 FF"), std::string::npos);  // the newest lines are kept
  for (const auto& bad : {"big", "-1", "5G", ""}) {
    EXPECT_EQ(RunProgram({SimProcess::DefaultBinary(), "--log-max", bad}).status, 2) << bad;
  }
}

TEST(SimProcess, SigtermEndsCleanlyAndRemovesThePtyLink) {
  TempDir dir;
  const std::string tty = dir.File("tty");
  SimProcess sim({"--tcp", "127.0.0.1:0", "--pty", tty});
  ASSERT_TRUE(sim.Ok()) << sim.Error();
  RawClient client(sim.Port());  // a client still connected must not hold it up
  client.Send(Frame(0xF1, 0));
  client.Receive(13, 2000);
  EXPECT_EQ(sim.Terminate(SIGTERM), 0);
  EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(tty)));
}

TEST(SimProcess, SigintEndsCleanlyToo) {
  TempDir dir;
  const std::string tty = dir.File("tty");
  SimProcess sim({"--pty", tty});
  ASSERT_TRUE(sim.Ok()) << sim.Error();
  EXPECT_EQ(sim.Terminate(SIGINT), 0);
  EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(tty)));
}

TEST(SimProcess, BadArgumentsAndStartFailures) {
  const std::string bin = SimProcess::DefaultBinary();
  for (const auto& args : std::vector<std::vector<std::string>>{{"--delay", "soon"},
                                                                {"--tcp", "127.0.0.1"},
                                                                {"--tcp", "127.0.0.1:70000"},
                                                                {"--version", "1.2"},
                                                                {"--version", "1.2.300"},
                                                                {"--drop-after", "0"},
                                                                {"--pty"},
                                                                {"--frobnicate"}}) {
    std::vector<std::string> argv{bin};
    argv.insert(argv.end(), args.begin(), args.end());
    const auto r = RunProgram(argv);
    EXPECT_EQ(r.status, 2) << args[0];
    EXPECT_NE(r.err.find("usage: panora-sim"), std::string::npos);
  }
  const auto help = RunProgram({bin, "--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find("--drop-after"), std::string::npos);

  TempDir dir;
  std::ofstream(dir.File("file")) << "x";
  const auto r = RunProgram({bin, "--pty", dir.File("file")});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("not a symlink"), std::string::npos) << r.err;
}

}  // namespace
