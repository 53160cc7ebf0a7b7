// The widget tests run on Qt's offscreen platform, each in a QApplication of
// their own process, and never wait on a modal window (see ScriptedDialogs).
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <filesystem>

#include "GuiTest.h"

extern char** environ;

namespace panora::test {

TempHome::TempHome() {
  char tmpl[] = "/tmp/panora-gui-XXXXXX";
  m_path = mkdtemp(tmpl);
  if (const char* old = std::getenv("PANORA_HOME")) {
    m_hadOld = true;
    m_old = old;
  }
  setenv("PANORA_HOME", m_path.c_str(), 1);
}

TempHome::~TempHome() {
  if (m_hadOld)
    setenv("PANORA_HOME", m_old.c_str(), 1);
  else
    unsetenv("PANORA_HOME");
  std::error_code ec;
  std::filesystem::remove_all(m_path, ec);
}

namespace {
std::string ReadAll(int fd) {
  std::string s;
  char buf[4096];
  ssize_t n;
  while ((n = read(fd, buf, sizeof buf)) > 0) s.append(buf, static_cast<std::size_t>(n));
  return s;
}
}  // namespace

ProcessResult RunPanora(const std::vector<std::string>& args, const std::vector<std::string>& env,
                        int fileLimit) {
  const std::string exe = std::string(PANORA_BIN_DIR) + "/panora";
  std::vector<std::string> argStore{exe};
  argStore.insert(argStore.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (auto& a : argStore) argv.push_back(a.data());
  argv.push_back(nullptr);
  std::vector<std::string> envStore;
  std::vector<std::string> given{"QT_QPA_PLATFORM=offscreen"};
  given.insert(given.end(), env.begin(), env.end());
  // A variable given here replaces the inherited one (the first one counts).
  auto named = [](const std::string& a, const std::string& b) { return a.substr(0, a.find('=') + 1) == b.substr(0, b.find('=') + 1); };
  for (char** e = environ; *e != nullptr; ++e)
    if (std::none_of(given.begin(), given.end(), [&](const std::string& g) { return named(g, *e); }))
      envStore.emplace_back(*e);
  envStore.insert(envStore.end(), given.begin(), given.end());
  std::vector<char*> envp;
  for (auto& e : envStore) envp.push_back(e.data());
  envp.push_back(nullptr);

  int outPipe[2], errPipe[2];
  ProcessResult r;
  if (pipe(outPipe) != 0 || pipe(errPipe) != 0) return r;
  posix_spawn_file_actions_t fa;
  posix_spawn_file_actions_init(&fa);
  posix_spawn_file_actions_adddup2(&fa, outPipe[1], 1);
  posix_spawn_file_actions_adddup2(&fa, errPipe[1], 2);
  posix_spawn_file_actions_addclose(&fa, outPipe[0]);
  posix_spawn_file_actions_addclose(&fa, errPipe[0]);
  pid_t pid = 0;
  int rc = 0;
  if (fileLimit > 0) {
    // The limit is set in the child, for the program alone.
    const rlimit lim{static_cast<rlim_t>(fileLimit), static_cast<rlim_t>(fileLimit)};
    pid = fork();
    if (pid == 0) {
      dup2(outPipe[1], 1);
      dup2(errPipe[1], 2);
      for (int fd : {outPipe[0], errPipe[0], outPipe[1], errPipe[1]})
        if (fd > 2) close(fd);
      if (setrlimit(RLIMIT_NOFILE, &lim) == 0) execve(exe.c_str(), argv.data(), envp.data());
      _exit(127);
    }
    rc = pid < 0 ? errno : 0;
  } else {
    rc = posix_spawn(&pid, exe.c_str(), &fa, nullptr, argv.data(), envp.data());
  }
  posix_spawn_file_actions_destroy(&fa);
  close(outPipe[1]);
  close(errPipe[1]);
  if (rc != 0) {
    close(outPipe[0]);
    close(errPipe[0]);
    return r;
  }
  r.out = ReadAll(outPipe[0]);  // small outputs: reading one after the other is safe
  r.err = ReadAll(errPipe[0]);
  close(outPipe[0]);
  close(errPipe[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  if (WIFEXITED(status)) r.exitCode = WEXITSTATUS(status);
  if (WIFSIGNALED(status)) r.signal = WTERMSIG(status);
  return r;
}

void Pump(int ms) {
  QElapsedTimer t;
  t.start();
  do {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
  } while (t.elapsed() < ms);
}

}  // namespace panora::test

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  testing::InitGoogleTest(&argc, argv);
  QApplication app(argc, argv);
  // Never the desktop's boxes: they would wait for a click that never comes.
  panora::test::NoDialogsExpected noDialogs;
  panora::SetDialogs(&noDialogs);
  const int rc = RUN_ALL_TESTS();
  panora::SetDialogs(nullptr);
  return rc;
}
