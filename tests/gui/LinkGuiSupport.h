// Helpers of the connection tests: the main window with a fresh data folder,
// the simulated processor embedded in the test (a real TCP listener and a
// real pseudo-terminal), a TCP port whose connects never complete, and
// waiting while the event loop runs.
#pragma once

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QAction>
#include <QComboBox>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "GuiTest.h"
#include "app/dialogs/DlgCom.h"
#include "app/dialogs/DlgNet.h"
#include "app/LstInforBox.h"
#include "app/MainFrame.h"
#include "app/TesselApp.h"
#include "link/SerialPorts.h"
#include "panels/DlgMainSet.h"
#include "sim/engine/Server.h"

namespace panora::test {

inline qint64 MsSince(std::chrono::steady_clock::time_point t) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - t).count();
}

// Pumps events until pred() holds or ms have passed; returns pred().
inline bool WaitUntil(const std::function<bool()>& pred, int ms = 3000) {
  QElapsedTimer t;
  t.start();
  while (!pred()) {
    if (t.elapsed() >= ms) return pred();
    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
  }
  return true;
}

// The texts of the information list, without their number and stamp.
inline QStringList InfoTexts(CMainFrame& f) {
  QStringList out;
  CLstInforBox* list = f.MainSet().InfoList();
  for (int i = 0; i < list->count(); ++i) out << list->item(i)->text().section(QLatin1Char(' '), 2);
  return out;
}

inline bool InfoHas(CMainFrame& f, const QString& text) {
  return InfoTexts(f).contains(text);
}

// The text of the line edit with object name `id` inside `w`.
inline QString BoxText(QWidget& w, int id) {
  auto* e = w.findChild<QLineEdit*>(QString::number(id));
  return e != nullptr ? e->text() : QStringLiteral("<no box %1>").arg(id);
}

inline bool Checked(CMainFrame& f, int id) {
  return f.Action(id)->isChecked();
}

// The main window as the program builds it, on a fresh data folder, with
// every box and dialog answered by the script. Serial port lists see only
// the ports a test adds.
class FrameTest : public testing::Test {
 protected:
  void SetUp() override {
    ClearExtraSerialPorts();
    SetSerialClassRoot(home.Path() + "/no-tty-class");
    ASSERT_TRUE(app.InitInstance());
    f = app.MainFrame();
  }
  void TearDown() override {
    app.ExitInstance();
    ClearExtraSerialPorts();
    SetSerialClassRoot("/sys/class/tty");
  }

  TempHome home;
  ScriptedDialogs dialogs;
  CTesselApp app;
  CMainFrame* f = nullptr;
};

// The simulated processor inside the test process.
class EmbeddedSim {
 public:
  // pty: also serve a pseudo-terminal, its stable path inside dir.
  explicit EmbeddedSim(sim::ServerOptions opt = {}, const std::string& ptyDir = {}) {
    opt.useTcp = true;
    opt.tcpHost = "127.0.0.1";
    opt.tcpPort = 0;
    if (!ptyDir.empty()) opt.ptyPath = ptyDir + "/sim-" + std::to_string(++Counter()) + ".tty";
    m_pty = opt.ptyPath;
    m_server = std::make_unique<sim::Server>(opt);
    m_ok = m_server->Start(m_error);
  }
  ~EmbeddedSim() { m_server->Stop(); }
  bool Ok() const { return m_ok; }
  const std::string& Error() const { return m_error; }
  std::string PortText() const { return std::to_string(m_server->TcpPort()); }
  const std::string& Pty() const { return m_pty; }
  sim::Server& Server() { return *m_server; }

 private:
  static int& Counter() {
    static int n = 0;
    return n;
  }
  std::unique_ptr<sim::Server> m_server;
  bool m_ok = false;
  std::string m_error;
  std::string m_pty;
};

// A loopback port whose connects hang: its accept queue is full, so the
// system drops every further connection request until its own time-out.
// `port`: a given one (a listener that has just gone), else any free one.
class HangingPort {
 public:
  explicit HangingPort(int port = 0) {
    m_listen = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int one = 1;
    ::setsockopt(m_listen, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(static_cast<std::uint16_t>(port));
    if (::bind(m_listen, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) return;
    ::listen(m_listen, 0);
    socklen_t len = sizeof a;
    ::getsockname(m_listen, reinterpret_cast<sockaddr*>(&a), &len);
    m_port = ntohs(a.sin_port);
    // Fill the queue until a connect no longer completes.
    for (int i = 0; i < 16; ++i) {
      const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
      ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
      pollfd p{fd, POLLOUT, 0};
      const bool done = ::poll(&p, 1, 200) > 0;
      m_fillers.push_back(fd);
      if (!done) {
        m_hangs = true;
        break;
      }
    }
  }
  ~HangingPort() {
    for (int fd : m_fillers) ::close(fd);
    ::close(m_listen);
  }
  bool Hangs() const { return m_hangs; }
  std::string PortText() const { return std::to_string(m_port); }

 private:
  int m_listen = -1;
  int m_port = 0;
  bool m_hangs = false;
  std::vector<int> m_fillers;
};

// A free loopback port with nothing listening on it.
inline std::string ClosedPort() {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
  socklen_t len = sizeof a;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
  ::close(fd);
  return std::to_string(ntohs(a.sin_port));
}

// While it lives, this process acts as an ordinary user (nobody) when it
// runs as root, who may open every port.
class AsOrdinaryUser {
 public:
  AsOrdinaryUser() : m_root(::geteuid() == 0) {
    if (m_root) m_root = ::setegid(65534) == 0 && ::seteuid(65534) == 0;
  }
  ~AsOrdinaryUser() {
    if (m_root && (::seteuid(0) != 0 || ::setegid(0) != 0)) std::abort();
  }

 private:
  bool m_root;
};

// Answers the "RS232" dialog by choosing `device` (which must be listed).
inline std::function<int(QDialog&)> ChoosePort(const std::string& device) {
  return [device](QDialog& d) {
    auto& dlg = static_cast<CDlgCom&>(d);
    const int i = dlg.PortBox()->findText(QString::fromStdString(device));
    EXPECT_GE(i, 0) << device << " is not listed";
    dlg.PortBox()->setCurrentIndex(i);
    dlg.accept();
    return kIdOk;
  };
}

// Answers "IP SET" with an address and a port.
inline std::function<int(QDialog&)> EnterAddress(const QStringList& fields, const QString& port) {
  return [fields, port](QDialog& d) {
    auto& dlg = static_cast<CDlgNet&>(d);
    for (int i = 0; i < 4; ++i) dlg.AddressCtrl()->Field(i)->setText(fields[i]);
    dlg.PortEdit()->setText(port);
    dlg.accept();
    return kIdOk;
  };
}

}  // namespace panora::test
