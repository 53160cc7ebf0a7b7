// A measuring probe for the fault tests, off unless PANORA_UI_PROBE names a
// file: a 10 ms timer on the user-interface thread records the longest gap
// between its ticks (how long that thread was blocked; also less the work of
// the controls the probe pressed itself, from 0.5 s on) and how long each
// worker batch ran, and writes them to the file every second and at exit.
// PANORA_UI_ACTIONS ("MS:ACTION ...", times from start-up) presses controls
// as an operator would, so that traffic flows while a fault is active:
//   refresh   the main settings panel's "Refresh output" (a worker batch)
//   quickN    quick-mode button N (0..11)
//   dragN     N geometry sends of CH1, one per event, as a window drag sends
// A message box open at a tick is answered (closed) and counted.
#pragma once

namespace panora {

class CMainFrame;

void ArmUiProbe(CMainFrame* frame);

}  // namespace panora
