// The main frame as the mode controller sees it: the channel windows, the
// panels, the send path and the boxes.
#pragma once

#include "model/ModeController.h"

namespace panora {

class CMainFrame;

class CFrameModeHost final : public ModeHost {
 public:
  explicit CFrameModeHost(CMainFrame& frame) : m_frame(frame) {}

  void UnmaximizeViews() override;
  void ApplyMode(int mode) override;
  void SinkChannels() override { Sink(); }
  std::array<double, 4> MeasureChannel(int channel) override { return Measure(channel); }
  bool Sending() const override;
  void NoteCommand(int command, int subCode) override;
  void SendFrame(const std::uint8_t* bytes, int length) override;
  void CountUnsent(const std::uint8_t* bytes, int length) override;
  void ShowMessage(const std::string& text) override;
  bool Confirm(const std::string& text, const std::string& yes, const std::string& no) override;
  void ModeNamesChanged() override;
  void ModeChanged() override;
  void SelectWindow(int channel) override;
  void HighlightWindow(int channel) override;

 private:
  // The window arrangement's own measuring and lowering of the channel
  // windows, for "Save mode" and the factory reset.
  std::array<double, 4> Measure(int channel) const;
  void Sink();

  CMainFrame& m_frame;
};

}  // namespace panora
