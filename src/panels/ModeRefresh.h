// How the docked panels follow a newly applied display mode. Each panel
// implements the steps it takes part in; the main frame runs every step over
// all panels, one step after the other, so that a new panel plugs in without
// the frame changing. No widgets here: the steps' order and the rules of
// when a step runs are plain code.
#pragma once

#include <array>
#include <span>

#include "model/DataPrm.h"

namespace panora {

struct ModeRefreshContext {
  int mode = 0;
  // The mode shown until now (m_nCurMod before the change; -1 at start-up).
  int currentMode = -1;
  // The user slot of a user mode 21..33, with values a profile held out of
  // range replaced by factory values; null for the other modes.
  const CDataPrm* slot = nullptr;
  // m_nInput of the views CH1..CH4 as the arrangement has just set them.
  std::array<int, 4> inputs{};
};

class ModeRefresh {
 public:
  virtual ~ModeRefresh() = default;

  // The steps in the order they run. A panel overrides those it takes part in.
  virtual void ResetBrightness(const ModeRefreshContext&) {}       // 1 picture and border
  virtual void RefreshBorderGroup(const ModeRefreshContext&) {}    // 2 picture and border
  virtual void EnableFullModeButtons(bool) {}                      // 3 full-mode move and zoom
  virtual void RefreshBezelEnabling(const ModeRefreshContext&) {}  // 4 bezel
  virtual void RefreshResolution(const ModeRefreshContext&) {}     // 5 main settings
  virtual void RefreshInput(const ModeRefreshContext&) {}          // 6 main settings
  virtual void RefreshOverlay(const ModeRefreshContext&) {}        // 7 main settings
  virtual void RefreshOutputDisplay(const ModeRefreshContext&) {}  // 8 main settings
  virtual void TransferOut() {}                                    // 9 every panel
};

// The eight move and zoom buttons serve the full modes only.
inline bool FullModeButtonsEnabled(int mode) {
  return (mode >= 8 && mode <= 12) || (mode >= 21 && mode <= 25);
}

// Runs the nine steps over `panels` (null entries skipped), in the panels'
// order within each step. The full-mode buttons change only for modes
// 0..33; the output display group is left alone when the mode is already
// the one shown.
inline void RunModeRefresh(std::span<ModeRefresh* const> panels, const ModeRefreshContext& c) {
  auto each = [&](auto&& step) {
    for (ModeRefresh* p : panels)
      if (p != nullptr) step(*p);
  };
  each([&](ModeRefresh& p) { p.ResetBrightness(c); });
  each([&](ModeRefresh& p) { p.RefreshBorderGroup(c); });
  if (c.mode >= 0 && c.mode <= 33) {
    const bool on = FullModeButtonsEnabled(c.mode);
    each([&](ModeRefresh& p) { p.EnableFullModeButtons(on); });
  }
  each([&](ModeRefresh& p) { p.RefreshBezelEnabling(c); });
  each([&](ModeRefresh& p) { p.RefreshResolution(c); });
  each([&](ModeRefresh& p) { p.RefreshInput(c); });
  each([&](ModeRefresh& p) { p.RefreshOverlay(c); });
  if (c.mode != c.currentMode) each([&](ModeRefresh& p) { p.RefreshOutputDisplay(c); });
  each([&](ModeRefresh& p) { p.TransferOut(); });
}

}  // namespace panora
