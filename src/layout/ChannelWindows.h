// The four channel windows CH1..CH4 on the layout area, and every operation
// on them: the mode's arrangement, selecting and stacking, maximise and
// restore, measuring, the geometry command and the output refresh.
//
// Each window keeps its place as exact fractions of the layout area (what
// an arrangement, a drag, a sizing, maximise/restore, a nudge or undo gave
// it). When the area changes size (a docking bar sized, closed or opened)
// the windows are placed again from those fractions, never from their
// truncated pixels, so a window stays where it is on the output to the
// pixel however often the area changes. Pixels are measured only when
// something moved a window by its pixels (the operator's mouse or keys).
#pragma once

#include <QObject>
#include <QRect>
#include <array>
#include <cstdint>

#include "layout/Arrange.h"
#include "layout/LayoutHost.h"
#include "model/DataPrm.h"

namespace panora {

class CChildFrame;
class CLayoutArea;

// What the windows need from the rest of the program.
class WindowsHost {
 public:
  virtual ~WindowsHost() = default;
  virtual int CurrentMode() const = 0;
  // The resolution index (0..5) the main settings panel shows for output
  // channel + 1.
  virtual int OutputResolutionIndex(int channel) = 0;
  // One geometry frame through the standard sender, with the geometry
  // command's rules (no link, busy); and the output refresh as a batch.
  virtual void SendGeometryFrame(int channel, const std::array<std::uint8_t, 8>& payload) = 0;
  virtual void SendGeometryBatch(const std::uint8_t* frames, int frameSize, int count) = 0;
  // A window step the operator took (undo records it).
  virtual void WindowChanged(int channel, bool sized) = 0;
  // The current window or a window's place changed (the placement pane).
  virtual void CurrentWindowChanged() = 0;
  virtual bool SnapToEdges() const = 0;
  virtual void RefuseStretching() = 0;
};

class CChannelWindows : public QObject, public LayoutHost {
  Q_OBJECT
 public:
  explicit CChannelWindows(WindowsHost& host);
  ~CChannelWindows() override;

  // The area the windows live on; follows its size from now on.
  void Attach(CLayoutArea* area);
  CLayoutArea* Area() const { return m_area; }
  // Opens the next channel window (CH1 first).
  CChildFrame* OpenChannelWindow();
  CChildFrame* Frame(int channel) const;

  // m_rcLayout: the area's client region in the main window's client
  // coordinates; taken again whenever the area moves or changes size.
  void UpdateLayoutRect();
  int LayoutWidth() const { return m_rcLayout.width(); }
  int LayoutHeight() const { return m_rcLayout.height(); }

  // The mode's arrangement: windows placed, sunk and selected as the mode
  // asks, each view's input set. m_nCurpod ends at 3 unless one is selected.
  void ArrangeChannels(int mode, const std::array<CDataPrm, kSlotCount>& records);
  // CH1..CH4 each sent to the bottom without moving: CH1 ends above CH4.
  void SinkChannels();
  // Raises a window without moving it; it becomes the active and current one.
  void SelectWindow(int channel);

  // A window's exact place as fractions of the area (zeros outside 0..3).
  ChannelFractions MeasureChannel(int channel);
  // Places a window at exact fractions, as an operation does.
  void PlaceChannel(int channel, const ChannelFractions& f);
  // Where a double-click restores a maximised window to, exactly.
  ChannelFractions RestoreFractions(int channel) const;
  void SetRestore(int channel, const Rect& rect, const ChannelFractions& f);
  // The window in output pixels at the resolution shown for its output.
  OutputGeometry OutputOf(int channel);
  // A rectangle in the main window's client coordinates in output pixels,
  // as the geometry command converts it.
  OutputGeometry WindowToOutput(int channel, const Rect& client);

  // The four windows' geometry as one batch (job 2).
  void RefreshOutput();

  // LayoutHost: what the views and frames ask.
  int CurrentMode() const override { return m_host.CurrentMode(); }
  void SetCurrentPod(int channel) override;
  void SetSkipButtonUp() override { m_bSkipButtonUp = 1; }
  bool TakeSkipButtonUp() override;
  void SendWindowGeometry(int channel) override;
  void SendSizedGeometry(int channel, const Rect& screen) override;
  void MaximizeWindow(int channel) override;
  void RestoreWindow(int channel, const Rect& r) override;
  void HighlightWindow(CChildFrame* frame) override;
  void PostHighlightCurrent() override;
  void RefuseStretching() override { m_host.RefuseStretching(); }
  bool SnapToEdges() const override { return m_host.SnapToEdges(); }

  // Main-window client coordinates. QRect's right() and bottom() are the last
  // pixel inside, one less than a Windows RECT's: use left() + width().
  QRect m_rcLayout;
  int m_nPrevPod = 0, m_nCurpod = 0;
  int m_bSkipButtonUp = 0;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  // The fractions of a window moved by its pixels since the last placement
  // are measured again first; otherwise they stand as they are.
  void Sync(int channel);
  // Moves a window to `r` (layout coordinates), keeping its fractions; with
  // `f`, the window's exact place becomes `f`.
  void Place(int channel, const Rect& r);
  void Place(int channel, const Rect& r, const ChannelFractions& f);
  void SendGeometry(int channel);
  Rect LayoutRect() const { return Rect{0, 0, m_rcLayout.width(), m_rcLayout.height()}; }

  WindowsHost& m_host;
  CLayoutArea* m_area = nullptr;
  std::array<ChannelFractions, 4> m_fractions{};
  std::array<Rect, 4> m_placed{};  // where the fractions last put each window
  std::array<ChannelFractions, 4> m_restoreFractions{};
  std::array<Rect, 4> m_restoreRect{};  // the view's restore rectangle they belong to
};

}  // namespace panora
