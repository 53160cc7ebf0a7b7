// The application object: builds the main window in the start-up order and
// ends it the orderly way, whether the operator closes it, a SIGTERM or SIGINT
// arrives, or the desktop session ends.
#pragma once

#include <memory>
#include <string>

#include "app/CommandLine.h"

namespace panora {

namespace sim {
class Server;
}

class CMainFrame;
class CSignalWatcher;

class CTesselApp {
 public:
  static constexpr int kStartupMode = 17;

  // Needs a QApplication.
  CTesselApp();
  ~CTesselApp();

  // Creates the frame, the four channel windows, the layout rectangle and
  // mode 17, sets the caption and shows the window. False when the frame
  // could not be created; StartError() says why.
  bool InitInstance();
  const std::string& StartError() const { return m_strStartError; }
  // Runs the event loop; returns its exit code.
  int Run();
  // Ends the frame (saving the profile) if that has not happened yet.
  // Returns 1 when the set-up could not be saved at exit, else 0.
  int ExitInstance();

  CMainFrame* MainFrame() const { return m_pMainWnd.get(); }

  // --simulate: starts the simulated processor inside the program, on a free
  // loopback TCP port and a pseudo-terminal (listed among the serial and USB
  // ports). False with the reason in error. Stopped and joined at exit.
  bool StartSimulator(std::string& error);
  int SimulatorPort() const;
  std::string SimulatorPty() const;  // the pseudo-terminal's stable path
  // Runs the connect procedure of the target as soon as the event loop runs,
  // as the Connection menu would after its dialog (--connect, --simulate).
  void ConnectOnStart(const ConnectTarget& target);

  // What a termination signal does: close open modal windows, then the frame.
  void OnTerminationRequested();

 private:
  void StopSimulator();

  std::unique_ptr<CMainFrame> m_pMainWnd;
  std::unique_ptr<sim::Server> m_sim;  // outlives the frame: stopped after it
  std::string m_simPty;
  std::unique_ptr<CSignalWatcher> m_signals;
  int m_nExitCode = 0;
  std::string m_strStartError;
};

}  // namespace panora
