// One mouse move of a drag on the layout area, as the operator makes it: the
// move event to the view, the window's new place, and the repaint of what
// changed, on Qt's offscreen platform.
#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <unistd.h>

#include <QApplication>
#include <QMouseEvent>
#include <QTemporaryDir>

#include "app/MainFrame.h"
#include "app/TesselApp.h"
#include "layout/ChildFrame.h"
#include "layout/TesselView.h"

using namespace panora;

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
