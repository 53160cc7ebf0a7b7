// A picture of the main window once it is up, for run.sh (which may serve
// the window over VNC where nobody looks yet) and for the README's pictures.
// PANORA_SCREENSHOT=FILE asks for it; PANORA_SCREENSHOT_QUICK=N presses
// quick-mode button N (0..11) first; PANORA_SCREENSHOT_QUIT=1 ends the
// program after writing. PANORA_SCREENSHOT_TRAFFIC=FILE also shows the
// traffic monitor, moves a window so that a frame goes out, and writes a
// picture of the monitor to FILE.
#pragma once

namespace panora {

class CMainFrame;

// Arms the picture when PANORA_SCREENSHOT is set; does nothing otherwise.
void ArmStartScreenshot(CMainFrame* frame);

}  // namespace panora
