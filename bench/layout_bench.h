// What the layout benchmark's two files share: the real main window, the
// processor's stand-in on a loopback socket, and the recall pair.
#pragma once

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <benchmark/benchmark.h>
#include <chrono>
#include <string>
#include <vector>

#include "../tests/link/LinkTestSupport.h"
#include "app/MainFrame.h"

namespace panora::bench {

extern CMainFrame* g_frame;
extern QAbstractEventDispatcher* g_loop;  // the user-interface thread's

// The processor's stand-in: a plain loopback socket the link is connected
// to, which reads and never answers, so no answer's handling falls into a
// measurement. The kernel stamps what arrives on it (see RecvStamped).
class PeerLink {
 public:
  PeerLink() {
    g_frame->Connection().ConnectNet("127.0.0.1", m_listener.PortText());
    m_peer = m_listener.Accept();
    if (m_peer < 0) return;
    const int on = 1;
    ::setsockopt(m_peer, SOL_SOCKET, SO_TIMESTAMPNS, &on, sizeof on);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!g_frame->TransportOpen() && std::chrono::steady_clock::now() < deadline) QApplication::processEvents();
    QApplication::processEvents();
  }
  ~PeerLink() {
    g_frame->OnDisconnect();
    if (m_peer >= 0) ::close(m_peer);
    QApplication::processEvents();
  }
  bool Open() const { return m_peer >= 0 && g_frame->TransportOpen(); }
  int Fd() const { return m_peer; }

 private:
  test::Listener m_listener;
  int m_peer = -1;
};

// median_us and p99_us of the samples.
void ReportSpread(benchmark::State& state, const std::vector<double>& samples);
// The quick-mode button to press next, so that every recall changes the mode.
int NextRecallButton();
// The recall frame of `mode`, as the wire carries it.
std::string RecallFrame(int mode);

}  // namespace panora::bench
