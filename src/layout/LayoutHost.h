// What the channel windows ask of the window that owns them: the mode, the
// current-window bookkeeping, the geometry command and the outline. The main
// frame answers; the views and frames never reach into it otherwise.
#pragma once

#include "layout/Geometry.h"

namespace panora {

class CChildFrame;

class LayoutHost {
 public:
  virtual ~LayoutHost() = default;

  virtual int CurrentMode() const = 0;
  // m_nCurpod <- channel, as a press and the end of a sizing do.
  virtual void SetCurrentPod(int channel) = 0;
  // m_bSkipButtonUp: set after an accepted double-click; the next release
  // takes it (true) and is otherwise ignored.
  virtual void SetSkipButtonUp() = 0;
  virtual bool TakeSkipButtonUp() = 0;

  // The geometry command for a channel's window as it stands, and for the
  // rectangle (screen coordinates) that a sizing ended with.
  virtual void SendWindowGeometry(int channel) = 0;
  virtual void SendSizedGeometry(int channel, const Rect& screen) = 0;

  virtual void MaximizeWindow(int channel) = 0;
  virtual void RestoreWindow(int channel, const Rect& r) = 0;
  virtual void HighlightWindow(CChildFrame* frame) = 0;
  // The outline on the current window, once the event being handled is done.
  virtual void PostHighlightCurrent() = 0;
  // A border press in a mode without stretching.
  virtual void RefuseStretching() = 0;
  // Whether dragged and sized edges snap to the layout's lines and the other
  // windows' edges (the operator's choice; off unless asked for).
  virtual bool SnapToEdges() const { return false; }
};

}  // namespace panora
