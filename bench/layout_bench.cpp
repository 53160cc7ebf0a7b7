// The real main window on Qt's offscreen platform, as the operator uses it:
// one mouse move of a drag on the layout area (the move event to the view,
// the window's new place, the repaint of what changed), and a quick-mode
// recall (the button's handler, its frame written to a connected peer, the
// four channel windows repainted in their new places). Beside them the
// remote control as a show-control tool uses it: a mode recall over HTTP
// against the button's, and events to 20 WebSocket clients.
#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QMouseEvent>
#include <QTemporaryDir>
#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "../tests/link/LinkTestSupport.h"
#include "layout_bench.h"
#include "app/MainFrame.h"
#include "app/TesselApp.h"
#include "layout/ChildFrame.h"
#include "layout/LayoutArea.h"
#include "layout/TesselView.h"
#include "link/Frame.h"
#include "model/ModeTable.h"

using namespace panora;
using Clock = std::chrono::steady_clock;

namespace panora::bench {
CMainFrame* g_frame = nullptr;
QAbstractEventDispatcher* g_loop = nullptr;
}  // namespace panora::bench
using namespace panora::bench;

namespace {

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



}  // namespace

namespace panora::bench {

static double Percentile(std::vector<double> v, double p) {
  if (v.empty()) return 0;
  const auto k = static_cast<std::size_t>(p * static_cast<double>(v.size() - 1));
  std::nth_element(v.begin(), v.begin() + static_cast<long>(k), v.end());
  return v[k];
}

void ReportSpread(benchmark::State& state, const std::vector<double>& samples) {
  state.counters["median_us"] = Percentile(samples, 0.5);
  state.counters["p99_us"] = Percentile(samples, 0.99);
}

// The two quick modes the recalls alternate between, so that every recall
// changes the mode: 20 (the four windows side by side) and 17 (each centred
// on the one below); both leave all four visible.
constexpr int kSideBySide = 11, kCentred = 8;  // their buttons
int NextRecallButton() {
  return g_frame->m_nCurMod == kQuickModes[kSideBySide] ? kCentred : kSideBySide;
}

std::string RecallFrame(int mode) {
  std::uint8_t bytes[kFrameOverhead];
  const CKezCmd frame = BuildModeRecall(mode, bytes);
  return std::string(reinterpret_cast<const char*>(bytes), static_cast<std::size_t>(frame.TotalLength()));
}

}  // namespace panora::bench

namespace {

// A quick-mode press, timed from the handler's call until the recall frame
// has been written to the socket (the transport sends on this thread, so
// the handler's return means written) and the four channel windows have
// repainted. The peer is a plain loopback socket that reads and never
// answers. The two modes alternate.
void BM_ModeRecall(benchmark::State& state) {
  PeerLink link;
  if (!link.Open()) return state.SkipWithError("no connection to the peer");
  const int peer = link.Fd();
  QWidget* client = g_frame->LayoutArea()->Client();
  QApplication::processEvents();

  PaintWatch painted;
  std::vector<double> samples;
  int atPeerOnReturn = 0, forced = 0;
  const char* error = nullptr;
  for (auto _ : state) {
    const int button = NextRecallButton();
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
    const std::string expected = RecallFrame(kQuickModes[static_cast<std::size_t>(button)]);
    const std::vector<std::uint8_t> got = test::ReadSocket(peer, expected.size(), std::chrono::seconds(1));
    if (std::string(got.begin(), got.end()) != expected) {
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
  if (error != nullptr) return state.SkipWithError(error);
  ReportSpread(state, samples);
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
  g_loop = QCoreApplication::eventDispatcher();
  QApplication::processEvents();
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  app.ExitInstance();
  return 0;
}
