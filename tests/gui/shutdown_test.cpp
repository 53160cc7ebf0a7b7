#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "GuiTest.h"
#include "app/MainFrame.h"
#include "app/TesselApp.h"
#include "model/Profile.h"

extern char** environ;

using namespace panora;
using namespace panora::test;

TEST(Shutdown, ClosingTheWindowSavesTheProfile) {
  TempHome home;
  ScriptedDialogs dialogs;
  CTesselApp app;
  ASSERT_TRUE(app.InitInstance());
  CMainFrame& f = *app.MainFrame();
  ASSERT_FALSE(std::filesystem::exists(home.ProfilePath()));
  f.m_Profile.m_nToolMode[0] = 5;
  f.close();
  EXPECT_TRUE(f.IsShutDown());
  CProfile saved;
  ASSERT_TRUE(ReadProfile(home.ProfilePath(), saved));
  EXPECT_EQ(saved.m_nToolMode[0], 5);
  EXPECT_EQ(f.m_Profile.m_strProfilePath, home.ProfilePath());
  // The hand-over is closed: a worker can no longer wait on the window.
  EXPECT_TRUE(f.Hand().IsClosed());
  EXPECT_FALSE(f.Replies().SendNetResult(1));
}

TEST(Shutdown, SaveGoesToTheProfileLastOpenedOrSaved) {
  TempHome home;
  ScriptedDialogs dialogs;
  const std::string other = home.Path() + "/other.cfg";
  {
    CTesselApp app;
    ASSERT_TRUE(app.InitInstance());
    app.MainFrame()->m_Profile.m_strProfilePath = other;  // as after "Open" or "Save as"
    app.MainFrame()->m_Profile.m_nToolMode[7] = 30;
  }  // ending the application without closing the window saves too
  CProfile saved;
  ASSERT_TRUE(ReadProfile(other, saved));
  EXPECT_EQ(saved.m_nToolMode[7], 30);
  EXPECT_FALSE(std::filesystem::exists(home.ProfilePath()));
}

TEST(Shutdown, FailingSaveIsReportedInABoxAndOnStderr) {
  TempHome home;
  ScriptedDialogs dialogs;
  CTesselApp app;
  ASSERT_TRUE(app.InitInstance());
  CMainFrame& f = *app.MainFrame();
  f.m_Profile.m_strProfilePath = home.Path() + "/no-such-folder/set-up.cfg";
  dialogs.ExpectBox("could not be saved");
  testing::internal::CaptureStderr();
  f.close();
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find("could not be saved to " + home.Path() + "/no-such-folder/set-up.cfg"),
            std::string::npos)
      << err;
  ASSERT_EQ(dialogs.Boxes().size(), 1u);
  EXPECT_NE(dialogs.Boxes()[0].find("no-such-folder/set-up.cfg"), std::string::npos);
}

TEST(Shutdown, FailingSaveWithoutEventLoopOnlyWritesToStderr) {
  TempHome home;
  ScriptedDialogs dialogs;  // fails the test if a box comes
  CTesselApp app;
  ASSERT_TRUE(app.InitInstance());
  CMainFrame& f = *app.MainFrame();
  f.m_Profile.m_strProfilePath = home.Path() + "/no-such-folder/set-up.cfg";
  testing::internal::CaptureStderr();
  f.Shutdown(false);
  f.Shutdown(false);  // once only
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find("could not be saved"), std::string::npos);
  EXPECT_EQ(err.find("could not be saved"), err.rfind("could not be saved"));
}

TEST(Shutdown, WorkerHandingOverWhileTheWindowEndsDoesNotDeadlock) {
  TempHome home;
  ScriptedDialogs dialogs;
  CTesselApp app;
  ASSERT_TRUE(app.InitInstance());
  CMainFrame& f = *app.MainFrame();

  // Sent calls run on the user-interface thread, posted ones later.
  std::thread::id ranOn;
  std::thread worker([&] { EXPECT_TRUE(f.Hand().Send([&] { ranOn = std::this_thread::get_id(); })); });
  while (ranOn == std::thread::id()) Pump(1);
  worker.join();
  EXPECT_EQ(ranOn, std::this_thread::get_id());

  // A reader handing over blocks of bytes as fast as it can; the window ends
  // meanwhile without running its event loop again. The reader must not hang.
  std::atomic<bool> stop{false};
  std::atomic<int> delivered{0}, refused{0};
  std::thread reader([&] {
    std::uint8_t buf[64] = {0x7D, 0x3A};
    while (!stop) {
      if (f.Replies().SendDeviceData(buf, sizeof buf, &stop))
        ++delivered;
      else
        ++refused;
      buf[2]++;  // the buffer is reused at once
    }
  });
  Pump(50);
  f.close();  // closes the hand-over first
  const auto t0 = std::chrono::steady_clock::now();
  while (refused == 0 && std::chrono::steady_clock::now() - t0 < std::chrono::seconds(5))
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  stop = true;
  reader.join();
  EXPECT_GT(delivered.load(), 0);
  EXPECT_GT(refused.load(), 0);
  Pump(10);  // calls still queued are dropped quietly
}

namespace {

// Starts the program in the background with PANORA_HOME and the offscreen platform.
pid_t SpawnPanora(const std::string& home, const std::string& logPath) {
  // `home` may be a place where no folder can be made: then the save fails.
  const std::string exe = std::string(PANORA_BIN_DIR) + "/panora";
  std::vector<std::string> envStore;
  for (char** e = environ; *e != nullptr; ++e)
    if (std::string(*e).rfind("PANORA_HOME=", 0) != 0) envStore.emplace_back(*e);
  envStore.push_back("PANORA_HOME=" + home);
  envStore.emplace_back("QT_QPA_PLATFORM=offscreen");
  std::vector<char*> envp;
  for (auto& e : envStore) envp.push_back(e.data());
  envp.push_back(nullptr);
  std::string a0 = exe;
  char* argv[] = {a0.data(), nullptr};
  posix_spawn_file_actions_t fa;
  posix_spawn_file_actions_init(&fa);
  posix_spawn_file_actions_addopen(&fa, 2, logPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  pid_t pid = -1;
  if (posix_spawn(&pid, exe.c_str(), &fa, nullptr, argv, envp.data()) != 0) pid = -1;
  posix_spawn_file_actions_destroy(&fa);
  return pid;
}

// True once the process has its own handler for `sig` (SigCgt in /proc).
bool CatchesSignal(pid_t pid, int sig) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("SigCgt:", 0) == 0) {
      const unsigned long long mask = std::stoull(line.substr(7), nullptr, 16);
      return (mask >> (sig - 1)) & 1ULL;
    }
  }
  return false;
}

// Ends a spawned program that a failed assertion left running, so that no
// test leaves a window process behind.
struct SpawnedGuard {
  pid_t pid;
  ~SpawnedGuard() {
    if (pid <= 0 || waitpid(pid, nullptr, WNOHANG) != 0) return;
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
  }
};

int WaitFor(pid_t pid, int seconds) {
  for (int i = 0; i < seconds * 100; ++i) {
    int status = 0;
    if (waitpid(pid, &status, WNOHANG) == pid) return status;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  kill(pid, SIGKILL);
  int status = 0;
  waitpid(pid, &status, 0);
  ADD_FAILURE() << "the program did not end";
  return status;
}

}  // namespace

class SignalEnd : public ::testing::TestWithParam<int> {};

TEST_P(SignalEnd, SavesTheProfileAndEndsNormally) {
  TempHome home;
  const std::string log = home.Path() + "/stderr.txt";
  const pid_t pid = SpawnPanora(home.Path(), log);
  ASSERT_GT(pid, 0);
  const SpawnedGuard guard{pid};
  QElapsedTimer t;
  t.start();
  while (!CatchesSignal(pid, GetParam()) && t.elapsed() < 10000)
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  ASSERT_TRUE(CatchesSignal(pid, GetParam()));
  ASSERT_EQ(kill(pid, GetParam()), 0);
  const int status = WaitFor(pid, 20);
  std::ifstream in(log);
  std::stringstream err;
  err << in.rdbuf();
  EXPECT_TRUE(WIFEXITED(status)) << err.str();
  EXPECT_EQ(WEXITSTATUS(status), 0) << err.str();
  CProfile saved;
  EXPECT_TRUE(ReadProfile(home.ProfilePath(), saved)) << err.str();
}

INSTANTIATE_TEST_SUITE_P(TermAndInt, SignalEnd, ::testing::Values(SIGTERM, SIGINT));
// The terminal or the login session going away.
INSTANTIATE_TEST_SUITE_P(HangUp, SignalEnd, ::testing::Values(SIGHUP));

// Started under nohup, a hang-up stays ignored: the program keeps running.
TEST(SignalEndNohup, AHangUpIgnoredAtStartStaysIgnored) {
  TempHome home;
  const std::string log = home.Path() + "/stderr.txt";
  struct sigaction ignore {
  }, old{};
  ignore.sa_handler = SIG_IGN;
  sigemptyset(&ignore.sa_mask);
  ASSERT_EQ(sigaction(SIGHUP, &ignore, &old), 0);
  const pid_t pid = SpawnPanora(home.Path(), log);
  sigaction(SIGHUP, &old, nullptr);
  ASSERT_GT(pid, 0);
  const SpawnedGuard guard{pid};
  QElapsedTimer t;
  t.start();
  while (!CatchesSignal(pid, SIGTERM) && t.elapsed() < 10000)
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  ASSERT_TRUE(CatchesSignal(pid, SIGTERM));
  EXPECT_FALSE(CatchesSignal(pid, SIGHUP));
  ASSERT_EQ(kill(pid, SIGHUP), 0);
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  int status = 0;
  EXPECT_EQ(waitpid(pid, &status, WNOHANG), 0) << "a hang-up ended the program";
  ASSERT_EQ(kill(pid, SIGTERM), 0);
  status = WaitFor(pid, 20);
  EXPECT_TRUE(WIFEXITED(status));
}

TEST(SignalEndFailing, ReportsAFailedSaveOnStderrWithoutWaitingForAnyone) {
  TempHome home;
  const std::string log = home.Path() + "/stderr.txt";
  // A base folder under a regular file: the data folder can never be made.
  std::ofstream(home.Path() + "/file") << "x";
  const pid_t pid = SpawnPanora(home.Path() + "/file/base", log);
  ASSERT_GT(pid, 0);
  const SpawnedGuard guard{pid};
  QElapsedTimer t;
  t.start();
  while (!CatchesSignal(pid, SIGTERM) && t.elapsed() < 10000)
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  ASSERT_EQ(kill(pid, SIGTERM), 0);
  const int status = WaitFor(pid, 20);
  std::ifstream in(log);
  std::stringstream err;
  err << in.rdbuf();
  ASSERT_TRUE(WIFEXITED(status)) << err.str();
  EXPECT_EQ(WEXITSTATUS(status), 1) << "a lost set-up is not a success";
  EXPECT_NE(err.str().find("could not be saved to " + home.Path() + "/file/base/VideoLib/default.cfg"),
            std::string::npos)
      << err.str();
}
