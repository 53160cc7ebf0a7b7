#include "app/TesselApp.h"

#include <unistd.h>

#include <QApplication>
#include <QGuiApplication>
#include <QSessionManager>
#include <QTimer>
#include <QWidget>
#include <cstdlib>

#include "app/dialogs/DlgNet.h"
#include "app/MainFrame.h"
#include "app/SignalPipe.h"
#include "app/UiHandOver.h"
#include "app/UiProbe.h"
#include "layout/ChildFrame.h"
#include "link/SerialPorts.h"
#include "sim/engine/Server.h"

namespace panora {

CTesselApp::CTesselApp() {
  m_signals = std::make_unique<CSignalWatcher>();
  QObject::connect(m_signals.get(), &CSignalWatcher::terminationRequested,
                   [this](int) { OnTerminationRequested(); });
}

CTesselApp::~CTesselApp() {
  ExitInstance();
  StopSimulator();
}

bool CTesselApp::StartSimulator(std::string& error) {
  if (m_sim) return true;
  sim::ServerOptions opt;
  opt.useTcp = true;
  opt.tcpHost = "127.0.0.1";
  opt.tcpPort = 0;  // a free port
  // The server removes the links that killed runs left in that folder.
  opt.ptyPath = sim::PtyLinkPath(sim::PtyLinkDir(), ::getpid());
  auto server = std::make_unique<sim::Server>(opt);
  if (!server->Start(error)) return false;
  m_sim = std::move(server);
  m_simPty = opt.ptyPath;
  // The simulated processor's serial line, as its USB virtual port would appear.
  AddExtraSerialPort(m_simPty, true);
  // "TCP/IP" offers it, so that a connection closed by "Disconnect" can be made again.
  const std::string port = std::to_string(m_sim->TcpPort());
  CDlgNet::SetOfferedAddress("127.0.0.1", port, "Simulated processor: 127.0.0.1, port " + port);
  return true;
}

void CTesselApp::StopSimulator() {
  if (!m_sim) return;
  m_sim->Stop();
  m_sim.reset();
  RemoveExtraSerialPort(m_simPty);
  CDlgNet::SetOfferedAddress("", "", "");
}

int CTesselApp::SimulatorPort() const {
  return m_sim ? m_sim->TcpPort() : 0;
}

std::string CTesselApp::SimulatorPty() const {
  return m_sim ? m_simPty : std::string();
}

void CTesselApp::ConnectOnStart(const ConnectTarget& target) {
  CMainFrame* f = m_pMainWnd.get();
  if (f == nullptr) return;
  ConnectTarget t = target;
  if (t.kind == ConnectTarget::Kind::Simulate) {
    if (!m_sim) return;
    t.kind = ConnectTarget::Kind::Tcp;
    t.host = "127.0.0.1";
    t.port = std::to_string(m_sim->TcpPort());
  }
  QTimer::singleShot(0, f, [f, t] {
    const UiProbeSpan span("start_connect");
    switch (t.kind) {
      case ConnectTarget::Kind::Tcp: f->Connection().ConnectNet(t.host, t.port); break;
      case ConnectTarget::Kind::Serial: f->Connection().ConnectSerial(t.device); break;
      case ConnectTarget::Kind::Usb: f->Connection().OnUsb(); break;
      default: break;
    }
  });
}

bool CTesselApp::InitInstance() {
  auto frame = std::make_unique<CMainFrame>();
  // Without its hand-over no worker could reach the window: refuse at once,
  // before anything starts that would wait on it.
  if (const auto* hand = dynamic_cast<const CUiHandOver*>(&frame->Hand()); hand != nullptr && !hand->Ok()) {
    m_strStartError = "the main window cannot take the link's reports: " + hand->Error();
    return false;
  }
  if (!frame->OnCreate()) {
    m_strStartError = "the main window could not be made";
    return false;
  }
  m_pMainWnd = std::move(frame);
  CMainFrame* f = m_pMainWnd.get();

  f->OpenChannelWindows();

  // Mode 17 on the PC side only: nothing is sent to the processor.
  f->ApplyMode(kStartupMode);
  f->m_nPrevMod = kStartupMode;
  f->m_nCurMod = kStartupMode;
  f->UpdateModeMenuItems();
  f->m_Profile.ResetWorkingForMode(kStartupMode);

  f->setWindowTitle(QStringLiteral("Panora"));
  f->show();

  // The desktop session ends: save the set-up while the session still waits
  // for us; the frame's own end follows when the program is closed.
  QObject::connect(qApp, &QGuiApplication::commitDataRequest, f,
                   [f](QSessionManager&) { f->SaveProfileNow(false); });
  QObject::connect(qApp, &QCoreApplication::aboutToQuit, f, [f] { f->Shutdown(false); });
  return true;
}

int CTesselApp::Run() {
  return QApplication::exec();
}

int CTesselApp::ExitInstance() {
  if (!m_pMainWnd) return m_nExitCode;
  m_pMainWnd->Shutdown(false);
  m_nExitCode = m_pMainWnd->SaveFailed() ? 1 : 0;
  m_pMainWnd.reset();
  // The frame's link has closed its connection; now the simulator may go.
  StopSimulator();
  return m_nExitCode;
}

void CTesselApp::OnTerminationRequested() {
  // Nobody may be at the screen to answer a box: a failed save goes to stderr only.
  if (m_pMainWnd) m_pMainWnd->Shutdown(false);
  // A modal window runs its own event loop: end it first, then the frame.
  while (QWidget* modal = QApplication::activeModalWidget()) {
    modal->close();
    if (QApplication::activeModalWidget() == modal) break;  // it refused; the quit below ends its loop
  }
  if (m_pMainWnd) m_pMainWnd->close();
  QCoreApplication::quit();
}

}  // namespace panora
