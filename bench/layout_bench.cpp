// The real main window on Qt's offscreen platform, as the operator uses it:
// one mouse move of a drag on the layout area (the move event to the view,
// the window's new place, the repaint of what changed), and a quick-mode
// recall (the button's handler, its frame written to a connected peer, the
// four channel windows repainted in their new places).
#include <benchmark/benchmark.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QApplication>
#include <QMouseEvent>
#include <QTemporaryDir>
#include <algorithm>
#include <array>
#include <chrono>
#include <vector>

#include "../tests/link/LinkTestSupport.h"
#include "app/MainFrame.h"
#include "app/TesselApp.h"
#include "layout/ChildFrame.h"
#include "layout/LayoutArea.h"
#include "layout/TesselView.h"
#include "link/Frame.h"
#include "model/ModeTable.h"

using namespace panora;
using Clock = std::chrono::steady_clock;

namespace {

CMainFrame* g_frame = nullptr;

void SendMouse(QWidget* w, QEvent::Type type, const QPoint& global, Qt::MouseButtons buttons) {
  const QPoint local = w->mapFromGlobal(global);
  QMouseEvent e(type, local, global, type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton, buttons,
                Qt::NoModifier);
  QApplication::sendEvent(w, &e);
}

void BM_DragMove(benchmark::State& state) {
  CChildFrame* frame = g_frame->ChannelFrame(1);
  CTesselView* view = frame->View();
  frame->move(200, 150);
  QPoint mouse = view->mapToGlobal(QPoint(60, 40));
  SendMouse(view, QEvent::MouseButtonPress, mouse, Qt::LeftButton);
  QApplication::processEvents();
  int step = 0;
  for (auto _ : state) {
    // Back and forth, so the window never meets the area's edge.
    mouse += QPoint((step++ & 1) != 0 ? -3 : 3, 0);
    SendMouse(view, QEvent::MouseMove, mouse, Qt::LeftButton);
    QApplication::processEvents();  // the repaint of the moved window and what it uncovered
  }
  SendMouse(view, QEvent::MouseButtonRelease, mouse, Qt::NoButton);
  QApplication::processEvents();
}
BENCHMARK(BM_DragMove)->Unit(benchmark::kMicrosecond);

// Which of the four channel views painted since the last Reset.
class PaintWatch : public QObject {
 public:
  PaintWatch() {
    for (int ch = 0; ch < 4; ++ch) g_frame->ChannelFrame(ch)->View()->installEventFilter(this);
  }
  ~PaintWatch() override {
    for (int ch = 0; ch < 4; ++ch) g_frame->ChannelFrame(ch)->View()->removeEventFilter(this);
  }
  void Reset() { m_painted = {}; }
  bool All() const {
    return std::all_of(m_painted.begin(), m_painted.end(), [](bool b) { return b; });
  }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Paint) {
      for (int ch = 0; ch < 4; ++ch)
        if (watched == g_frame->ChannelFrame(ch)->View()) m_painted[ch] = true;
    }
    return false;
  }

 private:
  std::array<bool, 4> m_painted{};
};

double Percentile(std::vector<double> v, double p) {
  if (v.empty()) return 0;
  const auto k = static_cast<std::size_t>(p * static_cast<double>(v.size() - 1));
  std::nth_element(v.begin(), v.begin() + static_cast<long>(k), v.end());
  return v[k];
}

// A quick-mode press, timed from the handler's call until the recall frame
// has been written to the socket (the transport sends on this thread, so
// the handler's return means written) and the four channel windows have
// repainted. The peer is a plain loopback socket that reads and never
// answers, so no answer's handling falls into the time. Two modes alternate
// so that every press changes the mode: 20 (the four windows side by side)
// and 17 (each centred on the one below); both leave all four visible.
void BM_ModeRecall(benchmark::State& state) {
  test::Listener listener;
  g_frame->Connection().ConnectNet("127.0.0.1", listener.PortText());
  const int peer = listener.Accept();
  const auto deadline = Clock::now() + std::chrono::seconds(5);
  while (peer >= 0 && !g_frame->TransportOpen() && Clock::now() < deadline) QApplication::processEvents();
  if (peer < 0 || !g_frame->TransportOpen()) return state.SkipWithError("no connection to the peer");
  QWidget* client = g_frame->LayoutArea()->Client();
  QApplication::processEvents();

  constexpr int kSideBySide = 11, kCentred = 8;  // the buttons of modes 20 and 17
  PaintWatch painted;
  std::vector<double> samples;
  int atPeerOnReturn = 0, forced = 0;
  const char* error = nullptr;
  for (auto _ : state) {
    const int button = g_frame->m_nCurMod == kQuickModes[kSideBySide] ? kCentred : kSideBySide;
    painted.Reset();
    const auto start = Clock::now();
    g_frame->OnQuickMode(button);
    // The frame is readable at the peer already (a microsecond's check).
    pollfd p{peer, POLLIN, 0};
    if (::poll(&p, 1, 0) == 1) ++atPeerOnReturn;
    // What the new places posted: moves, resizes and the update request,
    // whose handling paints the windows, as the event loop would next.
    QCoreApplication::sendPostedEvents();
    if (!painted.All()) {
      // Where the platform defers update requests: the paint is forced.
      client->repaint();
      ++forced;
    }
    const double us = std::chrono::duration<double, std::micro>(Clock::now() - start).count();
    state.SetIterationTime(us / 1e6);
    samples.push_back(us);

    // Untimed: the peer must hold exactly the recall frame, every view must
    // have painted, and what the press left for later runs now.
    std::uint8_t expected[kFrameOverhead];
    const CKezCmd frame = BuildModeRecall(kQuickModes[static_cast<std::size_t>(button)], expected);
    const std::vector<std::uint8_t> got =
        test::ReadSocket(peer, static_cast<std::size_t>(frame.TotalLength()), std::chrono::seconds(1));
    if (got != std::vector<std::uint8_t>(expected, expected + frame.TotalLength())) {
      error = "the peer did not receive the recall frame alone";
      break;
    }
    if (!painted.All()) {
      error = "not every channel window painted";
      break;
    }
    QApplication::processEvents();
    if (::poll(&p, 1, 0) == 1) {
      error = "more than the recall frame was sent";
      break;
    }
  }
  g_frame->OnDisconnect();
  ::close(peer);
  QApplication::processEvents();
  if (error != nullptr) return state.SkipWithError(error);
  state.counters["median_us"] = Percentile(samples, 0.5);
  state.counters["p99_us"] = Percentile(samples, 0.99);
  // 0 where the update requests' handling painted every window.
  state.counters["forced_repaints"] = forced;
  // 1: every frame was readable at the peer as soon as the handler returned.
  state.counters["at_peer_on_return"] = samples.empty() ? 0 : atPeerOnReturn / double(samples.size());
}
BENCHMARK(BM_ModeRecall)->UseManualTime()->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
  // The pictures are drawn too, as in the program: they are found in the
  // current folder.
  if (chdir(PANORA_BIN_DIR) != 0) return 1;
  QTemporaryDir home;
  setenv("PANORA_HOME", home.path().toLocal8Bit().constData(), 1);
  if (getenv("QT_QPA_PLATFORM") == nullptr) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QApplication qapp(argc, argv);
  CTesselApp app;
  if (!app.InitInstance()) return 1;
  g_frame = app.MainFrame();
  QApplication::processEvents();
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  app.ExitInstance();
  return 0;
}
