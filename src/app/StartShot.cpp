#include "app/StartShot.h"

#include <QAction>
#include <QPixmap>
#include <QTimer>
#include <cstdio>

#include "app/MainFrame.h"
#include "ui/CoolBar.h"

namespace panora {

void ArmStartScreenshot(CMainFrame* frame) {
  const QString file = qEnvironmentVariable("PANORA_SCREENSHOT");
  if (file.isEmpty() || frame == nullptr) return;
  bool pressQuick = false;
  const int quick = qEnvironmentVariableIntValue("PANORA_SCREENSHOT_QUICK", &pressQuick);
  const bool quit = qEnvironmentVariableIntValue("PANORA_SCREENSHOT_QUIT") == 1;
  if (pressQuick && quick >= 0 && quick < 12)
    QTimer::singleShot(0, frame, [frame, quick] { frame->OnQuickMode(quick); });
  const QString traffic = qEnvironmentVariable("PANORA_SCREENSHOT_TRAFFIC");
  if (!traffic.isEmpty()) {
    QTimer::singleShot(0, frame, [frame] { frame->TrafficBar().toggleViewAction()->trigger(); });
    // A geometry frame, the version query and their answers after the handshake.
    QTimer::singleShot(700, frame, [frame] {
      frame->Windows().SendWindowGeometry(1);
      frame->OnFirmwareVersion();
    });
    QTimer::singleShot(1400, frame, [frame, traffic] {
      const bool ok = frame->TrafficBar().grab().save(traffic, "PNG", 0);
      if (!ok) std::fprintf(stderr, "panora: cannot write the picture %s\n", qPrintable(traffic));
    });
  }
  // Late enough for the connection's first lines and the bars to settle.
  QTimer::singleShot(1500, frame, [frame, file, quit] {
    // Quality 0 is zlib's strongest compression: the pictures go into docs/.
    const bool ok = frame->grab().save(file, "PNG", 0);
    if (ok)
      std::printf("panora: picture of the window written to %s\n", qPrintable(file));
    else
      std::fprintf(stderr, "panora: cannot write the picture %s\n", qPrintable(file));
    std::fflush(stdout);
    if (quit) frame->close();
  });
}

}  // namespace panora
