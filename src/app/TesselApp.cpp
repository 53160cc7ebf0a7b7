#include "app/TesselApp.h"

#include <QApplication>
#include <QGuiApplication>
#include <QSessionManager>
#include <QWidget>

#include "app/MainFrame.h"
#include "app/SignalPipe.h"
#include "layout/ChildFrame.h"

namespace panora {

CTesselApp::CTesselApp() {
  m_signals = std::make_unique<CSignalWatcher>();
  QObject::connect(m_signals.get(), &CSignalWatcher::terminationRequested,
                   [this](int) { OnTerminationRequested(); });
}

CTesselApp::~CTesselApp() {
  ExitInstance();
}

bool CTesselApp::InitInstance() {
  auto frame = std::make_unique<CMainFrame>();
  if (!frame->OnCreate()) return false;
  m_pMainWnd = std::move(frame);
  CMainFrame* f = m_pMainWnd.get();

  for (int i = 0; i < 4; ++i) f->OpenChannelWindow();  // CH1..CH4, in this order
  f->UpdateLayoutRect();

  // Mode 17 on the PC side only: nothing is sent to the processor.
  f->ApplyMode(kStartupMode);
  f->m_nPrevMod = kStartupMode;
  f->m_nCurMod = kStartupMode;
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
