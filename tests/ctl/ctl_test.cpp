// panora-ctl as a script sees it: its output, its exit status and its
// messages. The frame vectors are the worked frames, written from the text.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <fstream>
#include <functional>
#include <nlohmann/json.hpp>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "ctl/web_client.h"
#include "model/Profile.h"
#include "model/SetupFrames.h"
#include "CtlTestSupport.h"
#include "sim/SimProcess.h"

namespace {

using namespace panora::test;

TEST(Ctl, TakesEveryAnswerTheProgramTakesAndWarnsWhenItIsNoCleanFrame) {
  struct Case {
    const char* command;
    std::string answer;  // hex
    const char* out;
    const char* warning;
  };
  const Case cases[] = {
      {"handshake", "7D 3A 00 05 F1 00 00 00 00 00 45 4E 44", "Connection Success!\n",
       "checksum is 0x00, not 0xF1"},
      {"handshake", "7D 3A 00 05 F1 00 01 00 00 F2 45 4E 58", "Connection error!\n",
       "does not end in \"END\""},
      {"version", "00 00 00 08 FF 00 00 00 00 02 00 0F 20 45 4E 44", "Version:2.0.15\n",
       "does not start with 7D 3A"},
      // The program reads the length field as byte 2 x 10 + byte 3: 01 07 is 17.
      {"send", "7D 3A 01 07 31 00 00 00 00 00 64 00 32 01 2C 00 C8 BE 45 4E 44",
       "7D 3A 01 07 31 00 00 00 00 00 64 00 32 01 2C 00 C8 BE 45 4E 44\n", "length field 01 07"},
  };
  for (const auto& c : cases) {
    FakeProcessor fake(Bytes(c.answer));
    std::vector<std::string> args{"--tcp", fake.Address(), c.command};
    if (std::string(c.command) == "send") args.insert(args.end(), {"0x31", "0"});
    const auto r = Ctl(args);
    EXPECT_EQ(r.status, std::string(c.out) == "Connection error!\n" ? 4 : 0) << c.answer << r.err;
    EXPECT_EQ(r.out, c.out) << c.answer;
    EXPECT_NE(r.err.find("warning: "), std::string::npos) << r.err;
    EXPECT_NE(r.err.find(c.warning), std::string::npos) << r.err;
    EXPECT_LT(r.seconds, 0.9);
  }
  // What the program would not take is no answer: a length field below 5.
  FakeProcessor fake(Bytes("7D 3A 00 04 F1 00 00 00 F1 45 4E 44"));
  const auto r = Ctl({"--tcp", fake.Address(), "handshake"});
  EXPECT_EQ(r.status, 3);
  EXPECT_EQ(r.out, "");
  EXPECT_NE(r.err.find("would not take"), std::string::npos) << r.err;
}

TEST(Ctl, AFailedPollWhileConnectingIsAFailedConnect) {
  // A listener whose backlog is full keeps the connect pending; the preloaded
  // shim then fails the poll that waits for it.
  Listener full;
  std::vector<int> queued;
  for (int i = 0; i < 8; ++i) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<std::uint16_t>(full.port));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    queued.push_back(fd);
  }
  ::setenv("LD_PRELOAD", CTL_POLL_FAIL_SHIM, 1);
  const auto r = Ctl({"--tcp", "127.0.0.1:" + std::to_string(full.port), "handshake"});
  ::unsetenv("LD_PRELOAD");
  for (const int fd : queued) ::close(fd);
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("cannot connect"), std::string::npos) << r.err;
}

TEST(Ctl, FramePrintsTheWorkedFrames) {
  auto r = Ctl({"frame", "0xF1", "0"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "7D 3A 00 04 F1 00 00 00 F1 45 4E 44\n");
  EXPECT_EQ(r.err, "");
  r = Ctl({"frame", "0x38", "1", "0", "4", "3", "2", "1"});
  EXPECT_EQ(r.out, "7D 3A 00 09 38 01 00 00 00 04 03 02 01 43 45 4E 44\n");
  r = Ctl({"frame", "240", "0X01"});  // the factory reset frame; either case of 0x
  EXPECT_EQ(r.out, "7D 3A 00 04 F0 01 00 00 F1 45 4E 44\n");
  r = Ctl({"recall-frame", "17"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "7D 3A 00 04 01 04 00 00 05 45 4E 44\n");
  r = Ctl({"recall-frame", "0x15"});  // mode 21: Full-User 1
  EXPECT_EQ(r.out, "7D 3A 00 04 03 20 00 00 23 45 4E 44\n");
}

TEST(Ctl, FrameLengthBytesAndTheLargestPayload) {
  std::vector<std::string> args{"frame", "0x30", "0"};
  args.insert(args.end(), 251, "0");
  auto r = Ctl(args);
  ASSERT_EQ(r.status, 0);
  EXPECT_EQ(r.out.substr(0, 12), "7D 3A 01 00 ");  // L = 255 = 1 x 255 + 0
  EXPECT_EQ(r.out.size(), (251 + 12) * 3u);

  args.assign({"frame", "1", "2"});
  args.insert(args.end(), 1012, "0x7D");
  r = Ctl(args);
  ASSERT_EQ(r.status, 0);
  EXPECT_EQ(r.out.size(), 1024 * 3u);  // the whole transmit buffer
  args.push_back("0");
  r = Ctl(args);
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("1012"), std::string::npos) << r.err;
}

TEST(Ctl, BadArgumentsGiveUsageAndStatus2) {
  const std::vector<std::vector<std::string>> cases = {
      {},
      {"frame"},
      {"frame", "1"},
      {"frame", "256", "0"},
      {"frame", "1", "-1"},
      {"frame", "1", "0x"},
      {"frame", "1", "010x"},
      {"frame", "1", "1.5"},
      {"recall-frame", "34"},
      {"recall-frame"},
      {"recall-frame", "1", "2"},
      {"send", "1", "2"},  // no link
      {"handshake"},
      {"--tcp", "127.0.0.1:4001", "--serial", "/dev/null", "version"},
      {"--tcp", "localhost", "version"},
      {"--tcp", "127.0.0.1:0", "version"},
      {"--timeout", "0", "--tcp", "127.0.0.1:4001", "version"},
      {"--tcp", "127.0.0.1:4001", "version", "extra"},
      {"--tcp", "127.0.0.1:4001", "recall", "40"},
      {"--tcp", "127.0.0.1:4001", "dance"},
      {"--bogus", "x", "frame", "1", "2"},
      {"--tcp", "127.0.0.1:4001", "push"},
      {"--tcp", "127.0.0.1:4001", "push", "a.cfg", "b.cfg"},
      {"--tcp", "127.0.0.1:4001", "push", "a.cfg", "--mode", "34"},
      {"--tcp", "127.0.0.1:4001", "push", "a.cfg", "--mode", "-1"},
      {"--tcp", "127.0.0.1:4001", "push", "a.cfg", "--mode"},
      {"--tcp", "127.0.0.1:4001", "push", "a.cfg", "--users"},
      {"push", "a.cfg"},  // no link
  };
  ExpectUsageErrors(cases);
  EXPECT_NE(Ctl({"--tcp", "127.0.0.1:4001", "push", "a.cfg", "--mode", "40"}).err.find("a mode 0..33"),
            std::string::npos);
  const auto help = Ctl({"--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find("recall-frame MODE"), std::string::npos);
}

TEST(Ctl, NoConnectionGivesStatus1) {
  int port = 0;
  {
    Listener gone;  // a port that was free a moment ago
    port = gone.port;
  }
  auto r = Ctl({"--tcp", "127.0.0.1:" + std::to_string(port), "handshake"});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("cannot connect"), std::string::npos) << r.err;
  r = Ctl({"--serial", "/nonexistent/tty", "handshake"});
  EXPECT_EQ(r.status, 1);
  r = Ctl({"--serial", "/dev/null", "handshake"});  // not a terminal
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("not a serial port"), std::string::npos) << r.err;
}

TEST(Ctl, ALinkThatClosesWithoutAnAnswerIsNoAnswer) {
  Listener listener;
  std::thread server([&] {
    const int fd = ::accept(listener.fd, nullptr, nullptr);
    if (fd >= 0) ::close(fd);
  });
  auto r = Ctl({"--tcp", "127.0.0.1:" + std::to_string(listener.port), "version"});
  server.join();
  EXPECT_EQ(r.status, 3);
  EXPECT_NE(r.err.find("closed before an answer"), std::string::npos) << r.err;
  EXPECT_LT(r.seconds, 0.9);  // no need to sit out the time-out
}

TEST(Ctl, TimeoutCanBeShortened) {
  SimProcess sim({"--tcp", "127.0.0.1:0", "--silent"});
  ASSERT_TRUE(sim.Ok()) << sim.Error();
  auto r = Ctl({"--tcp", sim.TcpAddress(), "--timeout", "200", "send", "0x50", "1", "1", "1", "1", "1"});
  EXPECT_EQ(r.status, 3);
  EXPECT_NE(r.err.find("no answer within 200 ms"), std::string::npos) << r.err;
  EXPECT_LT(r.seconds, 0.9);
}

TEST(Ctl, SendNotesFramesOutsideTheCatalogueButSendsThem) {
  SimProcess sim({"--tcp", "127.0.0.1:0"});
  ASSERT_TRUE(sim.Ok()) << sim.Error();
  auto r = Ctl({"--tcp", sim.TcpAddress(), "send", "0x30", "1", "0", "1"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "7D 3A 00 05 30 01 00 00 00 31 45 4E 44\n");
  EXPECT_NE(r.err.find("expects 8 payload bytes, not 2"), std::string::npos) << r.err;
  r = Ctl({"--tcp", sim.TcpAddress(), "send", "0x99", "0"});
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.err.find("not in the catalogue"), std::string::npos) << r.err;
}

// ---- push -----------------------------------------------------------------

using Json = nlohmann::json;

// A set-up as the simulator's state file writes it. Windows x, y, w, h.
Json ProcessorSetUp(const std::vector<std::array<int, 4>>& windows, std::array<int, 4> resolution,
                    std::array<int, 4> input, const std::vector<std::array<int, 4>>& layers,
                    std::array<int, 4> mask, std::array<int, 4> border) {
  Json j;
  for (const auto& g : windows) j["geometry"].push_back({{"x", g[0]}, {"y", g[1]}, {"w", g[2]}, {"h", g[3]}});
  j["resolution"] = resolution;
  j["input"] = input;
  j["layers"] = layers;
  j["outputMask"] = mask;
  j["border"] = border;
  return j;
}

// A profile prepared without a processor: a working record that differs
// from the factory one in every field the set-up sends, user modes 21 and
// 28 stored, slot 12 marked 2 (which counts as empty).
panora::CProfile Prepared() {
  using panora::ChannelFractions;
  panora::CProfile p;
  p.ResetAllSlots();
  panora::CDataPrm& w = p.m_DataPrm[panora::kWorkingSlot];
  w.m_bPerOutRes = 1;
  w.m_nAllOutRes = 4;  // not used per output
  w.m_nOutRes = {1, 0, 5, 2};
  w.m_nChInput = {3, 2, 1, 0};
  for (int ch = 0; ch < 4; ++ch) {
    w.m_nLayer[ch][0] = ch;
    w.m_nLayer[ch][2] = ch ^ 1;
  }
  w.m_bDispAll = 0;
  w.m_bOutDispCh = {{{1, 0, 0, 0}, {1, 1, 1, 1}, {0, 0, 0, 0}, {0, 1, 0, 1}}};
  w.m_nBorderScope = 1;
  w.m_nBorderCh = {1, 0, 0, 1};
  panora::StorePlaces(
      w,
      {ChannelFractions{0, 0, 0.5, 0.5}, {0.25, 0.25, 0.5, 0.5}, {0.5, 0.5, 0.5, 0.5}, {0.75, 0, 0.25, 1}});
  p.m_DataPrm[0].m_bSaved = 1;
  p.m_DataPrm[0].m_nChInput = {2, 2, 2, 2};
  panora::CDataPrm& pip3 = p.m_DataPrm[7];
  pip3.m_bSaved = 1;
  pip3.m_nAllOutRes = 3;
  pip3.m_nBorderCh = {0, 1, 1, 0};
  panora::StorePlaces(pip3, {ChannelFractions{0, 0, 1, 1},
                             {0.5, 0.5, 0.25, 0.25},
                             {0, 0.75, 0.125, 0.25},
                             {0.875, 0, 0.125, 0.125}});
  p.m_DataPrm[12].m_bSaved = 2;
  return p;
}

// The frames the simulator's log shows it received, in order.
std::vector<std::vector<std::uint8_t>> ReceivedFrames(const std::string& log) {
  std::vector<std::vector<std::uint8_t>> frames;
  std::istringstream in(log);
  for (std::string line; std::getline(in, line);) {
    const auto at = line.find(' ');
    if (at != std::string::npos && line.compare(at + 1, 3, "rx ") == 0 &&
        line.compare(at + 4, 5, "skip ") != 0)
      frames.push_back(Bytes(line.substr(at + 4)));
  }
  return frames;
}

TEST(CtlPush, WritesAPreparedProfileWithItsUserModesToAFreshProcessor) {
  TempDir dir;
  const panora::CProfile profile = Prepared();
  ASSERT_TRUE(panora::WriteProfile(dir.File("show.cfg"), profile));
  const auto expected =
      panora::SetupWithUserModes(profile.m_DataPrm, 19, profile.m_DataPrm[panora::kWorkingSlot],
                                 panora::PlacesOf(profile.m_DataPrm[panora::kWorkingSlot]));
  ASSERT_EQ(expected.size(), 2 * 14 + 13u);

  const std::vector<std::array<int, 4>> factoryLayers(4, {4, 3, 2, 1});
  Json users;
  users["21"] = ProcessorSetUp(std::vector<std::array<int, 4>>(4, {0, 0, 1920, 1080}), {1, 1, 1, 1},
                               {3, 3, 3, 3}, factoryLayers, {15, 15, 15, 15}, {0, 0, 0, 0});
  users["28"] =
      ProcessorSetUp({{0, 0, 1600, 1200}, {800, 600, 400, 300}, {0, 900, 200, 300}, {1400, 0, 200, 150}},
                     {4, 4, 4, 4}, {1, 2, 3, 4}, factoryLayers, {15, 15, 15, 15}, {0, 1, 1, 0});
  const Json setUp = ProcessorSetUp(
      {{0, 0, 640, 360}, {480, 270, 960, 540}, {512, 384, 512, 384}, {1440, 0, 480, 1200}}, {2, 1, 6, 3},
      {4, 3, 2, 1}, {{1, 2, 3, 4}, {4, 3, 2, 1}, {2, 1, 4, 3}, {4, 3, 2, 1}}, {1, 15, 0, 10}, {1, 0, 0, 1});

  for (const bool serial : {false, true}) {
    SCOPED_TRACE(serial ? "pty" : "tcp");
    const std::string log = dir.File(serial ? "pty.log" : "tcp.log");
    const std::string state = dir.File(serial ? "pty.json" : "tcp.json");
    SimProcess sim({serial ? "--pty" : "--tcp", serial ? dir.File("tty") : "127.0.0.1:0", "--log", log,
                    "--state", state});
    ASSERT_TRUE(sim.Ok()) << sim.Error();
    const auto r = Ctl({serial ? "--serial" : "--tcp", serial ? sim.PtyDevice() : sim.TcpAddress(), "push",
                        dir.File("show.cfg"), "--with-user-modes", "--mode", "19"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find("push: 1/41 recall Full-Default 1: answered\n"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("push: 28/41 store user mode: answered\n"), std::string::npos) << r.err;
    EXPECT_TRUE(r.err.ends_with("push: 41/41 window CH4: answered\npush: 41 of 41 frames answered\n"))
        << r.err;
    sim.Terminate();

    EXPECT_EQ(ReceivedFrames(panora::test::ReadFile(log)), expected);
    const Json s = Json::parse(panora::test::ReadFile(state));
    EXPECT_EQ(s["mode"], 19);
    EXPECT_EQ(s["setUp"], setUp) << s["setUp"].dump();
    EXPECT_EQ(s["userModes"], users) << s["userModes"].dump();
  }
}

TEST(CtlPush, SaysWhatWentWrongAndExitsAccordingly) {
  TempDir dir;
  ASSERT_TRUE(panora::WriteProfile(dir.File("show.cfg"), Prepared()));
  std::ofstream(dir.File("broken.cfg")) << "no profile";
  ASSERT_EQ(Ctl({"profile", "default", dir.File("default.cfg")}).status, 0);  // no window places
  struct Case {
    std::vector<std::string> sim;  // none: a port nobody serves
    std::string file;
    int status;
    std::string says;
  };
  const Case cases[] = {
      // Files are read before connecting: 2, not 1, and nothing is sent.
      {{}, "broken.cfg", 2, dir.File("broken.cfg") + ": "},
      {{}, "default.cfg", 2, "keeps no window places (every window is 0 x 0); open it in Panora"},
      {{}, "show.cfg", 1, "cannot connect"},
      // Every frame goes out, none is answered: the program would go on too.
      {{"--silent"},
       "show.cfg",
       3,
       "13/13 window CH4: no answer within 50 ms\npush: 0 of 13 frames answered\n"},
      {{"--drop-after", "3"}, "show.cfg", 1, "push: 3 of 13 frames answered; the link failed, "},
  };
  std::string nobody;
  {
    Listener gone;
    nobody = "127.0.0.1:" + std::to_string(gone.port);
  }
  for (const auto& c : cases) {
    std::optional<SimProcess> sim;
    if (!c.sim.empty()) {
      std::vector<std::string> simArgs{"--tcp", "127.0.0.1:0"};
      simArgs.insert(simArgs.end(), c.sim.begin(), c.sim.end());
      sim.emplace(simArgs);
      ASSERT_TRUE(sim->Ok()) << sim->Error();
    }
    const auto r =
        Ctl({"--tcp", sim ? sim->TcpAddress() : nobody, "--timeout", "50", "push", dir.File(c.file)});
    EXPECT_EQ(r.status, c.status) << c.file << r.err;
    EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("nothing was sent") != std::string::npos, c.status == 2) << r.err;
  }
}

}  // namespace
