// --connect and --simulate: parsing, refusals, and the procedures they run
// right after start-up, in this process and in the real program.
#include <netdb.h>
#include <signal.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "LinkGuiSupport.h"
#include "app/CommandLine.h"
#include "sim/SimProcess.h"

using namespace panora;
using namespace panora::test;

namespace {

CommandLine Parse(std::vector<const char*> args) {
  args.insert(args.begin(), "panora");
  return ParseCommandLine(static_cast<int>(args.size()), args.data());
}

// Runs the program for about ms, then ends it with SIGTERM as an operator's
// desktop would; returns its exit status and what it printed.
RunResult RunFor(const std::vector<std::string>& args, int ms) {
  std::vector<std::string> argv{BinPath("panora")};
  argv.insert(argv.end(), args.begin(), args.end());
  TempDir out;
  const std::string outPath = out.File("out");
  const int fd = ::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  const pid_t pid = Spawn(argv, fd, -1);
  ::close(fd);
  std::this_thread::sleep_for(std::chrono::milliseconds(ms));
  RunResult r;
  ::kill(pid, SIGTERM);
  r.status = WaitPid(pid, 5000);
  if (r.status < 0) {
    ::kill(pid, SIGKILL);
    WaitPid(pid, 2000);
  }
  r.out = ReadFile(outPath);
  return r;
}

}  // namespace

TEST(ConnectOption, ParsesTheThreeKindsAndSimulate) {
  CommandLine cl = Parse({"--connect", "tcp:127.0.0.1:4001"});
  ASSERT_EQ(cl.action, CommandLine::Action::Run) << cl.error;
  EXPECT_EQ(cl.connect.kind, ConnectTarget::Kind::Tcp);
  EXPECT_EQ(cl.connect.host, "127.0.0.1");
  EXPECT_EQ(cl.connect.port, "4001");
  // A host name is looked up; a system without /etc/hosts (a bare chroot)
  // cannot name even localhost, so that case is tried only where it can.
  addrinfo hints{};
  hints.ai_family = AF_INET;
  addrinfo* res = nullptr;
  if (::getaddrinfo("localhost", nullptr, &hints, &res) == 0) {
    ::freeaddrinfo(res);
    cl = Parse({"--connect=tcp:localhost:0040"});
    ASSERT_EQ(cl.action, CommandLine::Action::Run) << cl.error;
    EXPECT_EQ(cl.connect.host, "127.0.0.1");
    EXPECT_EQ(cl.connect.port, "40");
  }
  cl = Parse({"--connect=tcp:127.0.0.1:0040"});
  EXPECT_EQ(cl.connect.port, "40");
  cl = Parse({"--connect", "serial:/dev/ttyS0", "-platform", "offscreen"});
  EXPECT_EQ(cl.connect.kind, ConnectTarget::Kind::Serial);
  EXPECT_EQ(cl.connect.device, "/dev/ttyS0");
  EXPECT_EQ(cl.qtArgs.size(), 3u);
  EXPECT_EQ(Parse({"--connect", "usb"}).connect.kind, ConnectTarget::Kind::Usb);
  EXPECT_EQ(Parse({"--simulate"}).connect.kind, ConnectTarget::Kind::Simulate);

  const std::pair<std::vector<const char*>, const char*> bad[] = {
      {{"--connect"}, "needs a value"},
      {{"--connect", "tcp:127.0.0.1"}, "HOST:PORT"},
      {{"--connect", "tcp::4001"}, "HOST:PORT"},
      {{"--connect", "tcp:127.0.0.1:0"}, "1 to 65535"},
      {{"--connect", "tcp:127.0.0.1:65536"}, "1 to 65535"},
      {{"--connect", "tcp:127.0.0.1:40x"}, "1 to 65535"},
      {{"--connect", "tcp:999.1.1.1:4001"}, "not an IPv4 address"},
      {{"--connect", "serial:"}, "needs a device"},
      {{"--connect", "com3"}, "tcp:HOST:PORT, serial:DEVICE or usb"},
      {{"--simulate", "--connect", "usb"}, "only one"},
      {{"--connect", "usb", "--connect", "usb"}, "only one"},
  };
  for (const auto& [args, why] : bad) {
    const CommandLine r = Parse(args);
    EXPECT_EQ(r.action, CommandLine::Action::Refuse) << args.back();
    EXPECT_NE(r.error.find(why), std::string::npos) << r.error;
  }
  EXPECT_NE(HelpText().find("--connect tcp:HOST:PORT"), std::string::npos);
  EXPECT_NE(HelpText().find("--simulate"), std::string::npos);
}

TEST(ConnectOption, TheProgramRefusesBadValuesWithStatusTwo) {
  TempHome home;
  const ProcessResult r = RunPanora({"--connect", "tcp:127.0.0.1:99999"});
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_NE(r.err.find("1 to 65535"), std::string::npos) << r.err;
  EXPECT_EQ(RunPanora({"--connect", "bluetooth"}).exitCode, 2);
  EXPECT_EQ(RunPanora({"--simulate", "--simulate"}).exitCode, 2);
}

TEST(ConnectOption, StartUpRunsTheProceduresAgainstTheSimulator) {
  TempHome home;
  ScriptedDialogs dialogs;
  const std::string pty = home.Path() + "/sim.tty";
  SimProcess sim({"--tcp", "127.0.0.1:0", "--pty", pty});
  ASSERT_TRUE(sim.Ok()) << sim.Error();
  {
    CTesselApp app;
    ASSERT_TRUE(app.InitInstance());
    ConnectTarget t;
    t.kind = ConnectTarget::Kind::Tcp;
    t.host = "127.0.0.1";
    t.port = std::to_string(sim.Port());
    app.ConnectOnStart(t);
    CMainFrame& f = *app.MainFrame();
    ASSERT_TRUE(WaitUntil([&] { return InfoHas(f, "Connect NET success!"); }));
    EXPECT_TRUE(Checked(f, ID_CONN_TCPIP));
  }
  {
    CTesselApp app;
    ASSERT_TRUE(app.InitInstance());
    ConnectTarget t;
    t.kind = ConnectTarget::Kind::Serial;
    t.device = pty;
    app.ConnectOnStart(t);
    CMainFrame& f = *app.MainFrame();
    ASSERT_TRUE(WaitUntil([&] { return InfoHas(f, "Connection Success!"); }));
    EXPECT_TRUE(Checked(f, ID_CONN_RS232));
    EXPECT_EQ(f.m_nConnKind.load(), 1);
  }
}

TEST(ConnectOption, SimulateRunsTheProcessorInsideAndStopsItAtExit) {
  TempHome home;
  ScriptedDialogs dialogs;
  std::string pty;
  {
    CTesselApp app;
    std::string error;
    ASSERT_TRUE(app.StartSimulator(error)) << error;
    EXPECT_GT(app.SimulatorPort(), 0);
    pty = app.SimulatorPty();
    EXPECT_TRUE(std::filesystem::is_symlink(pty));
    ASSERT_TRUE(app.InitInstance());
    ConnectTarget t;
    t.kind = ConnectTarget::Kind::Simulate;
    app.ConnectOnStart(t);
    CMainFrame& f = *app.MainFrame();
    ASSERT_TRUE(WaitUntil([&] { return InfoHas(f, "Connect NET success!"); }));
    f.Action(ID_ABOUT_FIRMWARE)->trigger();
    ASSERT_TRUE(WaitUntil([&] { return InfoHas(f, "Version:1.0.0"); }));
    // Its serial line stands for the processor's USB port.
    f.Action(ID_CONN_USB)->trigger();
    EXPECT_EQ(f.RsCom().PortName(), pty);
    ASSERT_TRUE(WaitUntil([&] { return InfoHas(f, "Connection Success!"); }));
    EXPECT_TRUE(Checked(f, ID_CONN_USB));
    app.ExitInstance();
    EXPECT_EQ(app.SimulatorPort(), 0);
  }
  EXPECT_FALSE(std::filesystem::exists(pty));
  const auto usb = ListUsbSerialPorts();
  ASSERT_TRUE(usb.has_value());
  EXPECT_EQ(std::find(usb->begin(), usb->end(), pty), usb->end());
}

TEST(ConnectOption, TheRealProgramConnectsAndEndsCleanly) {
  TempHome home;
  // --connect serial: the handshake reaches the processor's line.
  const std::string log = home.Path() + "/sim.log";
  const std::string pty = home.Path() + "/sim.tty";
  SimProcess sim({"--pty", pty, "--log", log});
  ASSERT_TRUE(sim.Ok()) << sim.Error();
  const RunResult serial = RunFor({"--connect", "serial:" + pty}, 1500);
  EXPECT_EQ(serial.status, 0);
  EXPECT_NE(ReadFile(log).find("rx 7D 3A 00 04 F1 00 00 00 F1 45 4E 44"), std::string::npos) << ReadFile(log);

  // --simulate: says where the processor listens, and leaves nothing behind.
  const RunResult simulate = RunFor({"--simulate"}, 1500);
  EXPECT_EQ(simulate.status, 0);
  const auto at = simulate.out.find("simulated processor on 127.0.0.1:");
  ASSERT_NE(at, std::string::npos) << simulate.out;
  const auto and_ = simulate.out.find(" and ", at);
  ASSERT_NE(and_, std::string::npos);
  const std::string simPty = simulate.out.substr(and_ + 5, simulate.out.find('\n', and_) - and_ - 5);
  EXPECT_FALSE(simPty.empty());
  EXPECT_FALSE(std::filesystem::exists(simPty)) << simPty;
}

TEST(ConnectOption, TooFewFilesEndTheStartWithAMessageNeverAnAbortAndLeaveNoPtyLink) {
  TempHome home;
  // The simulator's pty link goes here, so that one left behind is seen.
  const std::string runtime = home.Path() + "/run";
  std::filesystem::create_directories(runtime);
  const std::vector<std::string> env{"XDG_RUNTIME_DIR=" + runtime, "PANORA_QUIT_AFTER_SHOW=1"};
  for (int files = 8; files <= 16; ++files) {
    const ProcessResult r = RunPanora({"--simulate"}, env, files);
    EXPECT_EQ(r.signal, 0) << files << " files: killed by a signal\n" << r.err;
    EXPECT_GT(r.exitCode, 0) << files << " files\n" << r.out << r.err;
    EXPECT_NE(r.err.find("panora: too few files may be open at once: Panora needs 64 more descriptors than it "
                         "has open, and only "),
              std::string::npos)
        << files << r.err;
    EXPECT_NE(r.err.find(" more can be opened now (the limit is " + std::to_string(files) +
                         "); raise the limit with ulimit -n\n"),
              std::string::npos)
        << files << r.err;
    EXPECT_TRUE(std::filesystem::is_empty(runtime)) << files << " files: a pty link was left";
  }
  // With room enough it starts, shows its window and ends as usual.
  const ProcessResult ok = RunPanora({"--simulate"}, env, 256);
  EXPECT_EQ(ok.exitCode, 0) << ok.err;
  EXPECT_NE(ok.out.find("panora-shown"), std::string::npos) << ok.out;
  EXPECT_TRUE(std::filesystem::is_empty(runtime));
}

TEST(ControlOption, OffTheLoopbackOnlyWithATokenAndBadValuesGiveStatusTwo) {
  ControlTarget t;
  std::string e;
  EXPECT_TRUE(ParseControlTarget("8080", t, e));
  EXPECT_EQ(t.address, "127.0.0.1");
  EXPECT_EQ(t.port, 8080);
  EXPECT_TRUE(ParseControlTarget("[::1]:0", t, e));
  EXPECT_EQ(t.address, "::1");
  EXPECT_FALSE(ParseControlTarget("lobby:80", t, e));
  EXPECT_FALSE(ParseControlTarget("127.0.0.1:70000", t, e));
  EXPECT_TRUE(IsLoopbackText("127.3.2.1") && IsLoopbackText("::1") && !IsLoopbackText("0.0.0.0"));
  TempHome home;
  const ProcessResult r = RunPanora({"--control", "0.0.0.0:0"}, {"PANORA_CONTROL_TOKEN="});
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_NE(r.err.find("needs a token"), std::string::npos) << r.err;
  EXPECT_EQ(RunPanora({"--control", "lobby:80"}).exitCode, 2);
}
