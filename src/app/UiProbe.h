// A measuring probe for the fault tests, off unless PANORA_UI_PROBE names a
// file: a 10 ms timer on the user-interface thread records the longest gap
// between its ticks (how long that thread was blocked, from arming on; the
// window's first paint is start-up and done before), how long the start-up connect held
// that thread and how long each worker batch ran, and writes them with the
// link status and the information list to the file every second and at exit.
// PANORA_UI_ACTIONS ("MS:ACTION ...", times from start-up) presses controls
// as an operator would, so that traffic flows while a fault is active:
//   refresh   the main settings panel's "Refresh output" (a worker batch)
//   quickN    quick-mode button N (0..11)
//   dragN     N geometry sends of CH1, one per event, as a window drag sends;
//             a message box ends the drag, as its modality ends an operator's
// A message box open at a tick is answered (closed) and counted.
#pragma once

namespace panora {

class CMainFrame;

// Before the link is started, so that the probe sees all it does.
void ArmUiProbe(CMainFrame* frame);

// Times its scope on the user-interface thread for the probe (nothing when
// the probe is off), under a name of the report: "start_connect".
class UiProbeSpan {
 public:
  explicit UiProbeSpan(const char* name);
  ~UiProbeSpan();
  UiProbeSpan(const UiProbeSpan&) = delete;
  UiProbeSpan& operator=(const UiProbeSpan&) = delete;

 private:
  const char* m_name;
  long long m_startNs;
};

}  // namespace panora
