// Panora: controls a video wall processor.
#include <QApplication>
#include <QTimer>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <vector>

#include "app/CommandLine.h"
#include "app/FileLimit.h"
#include "app/MainFrame.h"
#include "app/RemoteControl.h"
#include "app/SignalPipe.h"
#include "app/StartShot.h"
#include "app/TesselApp.h"
#include "app/UiProbe.h"

int main(int argc, char** argv) {
  const panora::CommandLine cl = panora::ParseCommandLine(argc, argv);
  switch (cl.action) {
    case panora::CommandLine::Action::Help: std::fputs(panora::HelpText().c_str(), stdout); return 0;
    case panora::CommandLine::Action::Version: std::fputs(panora::VersionText().c_str(), stdout); return 0;
    case panora::CommandLine::Action::Refuse:
      std::fprintf(stderr, "panora: %s\nTry 'panora --help' for more information.\n", cl.error.c_str());
      return panora::kExitUsage;
    case panora::CommandLine::Action::Run: break;
  }
  // Nothing else may drive the processor unasked: off the loopback, only with
  // a token. Refused before anything starts.
  if (cl.control.on && !panora::IsLoopbackText(cl.control.address) &&
      panora::ControlToken(panora::RemoteSettings::Read()).empty()) {
    std::fprintf(stderr,
                 "panora: --control on %s needs a token: set PANORA_CONTROL_TOKEN or the settings file's "
                 "[Remote] Token (Tools > Remote Control...)\n",
                 cl.control.address.c_str());
    return panora::kExitUsage;
  }
  // Every failure to start ends here with a message and status 1, never in
  // an abort of a library that could not make its descriptors.
  std::string why;
  if (!panora::EnsureDescriptors(panora::kDescriptorsNeeded, why)) {
    std::fprintf(stderr, "panora: %s\n", why.c_str());
    return 1;
  }
  if (!panora::InstallTerminationPipe()) {
    std::fprintf(stderr, "panora: the signal handlers could not be installed: %s\n", std::strerror(errno));
    return 1;
  }

  std::vector<std::string> args = cl.qtArgs;
  std::vector<char*> qtArgv;
  for (std::string& a : args) qtArgv.push_back(a.data());
  qtArgv.push_back(nullptr);
  int qtArgc = static_cast<int>(args.size());
  QApplication app(qtArgc, qtArgv.data());
  QApplication::setApplicationName(QStringLiteral("Panora"));
  QApplication::setApplicationVersion(QStringLiteral(PANORA_VERSION));
  // The desktop finds the menu entry and its icon by this name.
  QGuiApplication::setDesktopFileName(QStringLiteral("panora"));

  panora::CTesselApp tessel;
  if (cl.connect.kind == panora::ConnectTarget::Kind::Simulate) {
    std::string error;
    if (!tessel.StartSimulator(error)) {
      std::fprintf(stderr, "panora: the simulated processor could not start: %s\n", error.c_str());
      return 1;
    }
    std::printf("panora: simulated processor on 127.0.0.1:%d and %s\n", tessel.SimulatorPort(),
                tessel.SimulatorPty().c_str());
    std::fflush(stdout);
  }
  if (!tessel.InitInstance()) {
    // The simulator, when there is one, stops with `tessel` and takes its pty link along.
    std::fprintf(stderr, "panora: %s\n", tessel.StartError().c_str());
    return 1;
  }
  panora::CRemoteControl& remote = tessel.MainFrame()->Remote();
  if (cl.control.on) {
    panora::RemoteOptions o;
    o.address = cl.control.address;
    o.port = cl.control.port;
    o.token = panora::ControlToken(panora::RemoteSettings::Read());
    std::string why;
    if (!remote.Start(o, &why)) {
      std::fprintf(stderr, "panora: the remote control could not start: %s\n", why.c_str());
      return 1;
    }
    std::printf("remote control: %s\n", remote.Url().c_str());
    std::fflush(stdout);
  } else {
    remote.StartFromSettings();
  }
  panora::ArmUiProbe(tessel.MainFrame());  // before the link starts: it measures the connect too
  tessel.ConnectOnStart(cl.connect);
  panora::ArmStartScreenshot(tessel.MainFrame());

  // For the start-up benchmark: report when the window is up, then end.
  if (qEnvironmentVariableIntValue("PANORA_QUIT_AFTER_SHOW") == 1) {
    QTimer::singleShot(0, [&tessel] {
      timespec ts{};
      clock_gettime(CLOCK_REALTIME, &ts);
      std::printf("panora-shown %lld\n", static_cast<long long>(ts.tv_sec) * 1000000000LL + ts.tv_nsec);
      std::fflush(stdout);
      tessel.MainFrame()->close();
    });
  }
  const int rc = tessel.Run();
  // A set-up that could not be saved is a failure, also for whoever started us.
  const int saved = tessel.ExitInstance();
  return rc != 0 ? rc : saved;
}
