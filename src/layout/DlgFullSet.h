// Tab page 1, the full-mode move and zoom page: a channel choice and eight
// buttons that shift or scale that channel's picture on the processor by the
// number of steps in the box beside each. Every press sends one frame at
// once; the page keeps no record of where the picture is.
#pragma once

#include <QWidget>
#include <array>

#include "panels/ModeRefresh.h"

class QButtonGroup;
class QLineEdit;
class QPushButton;

namespace panora {

class PanelHost;

class CDlgFullSet : public QWidget, public ModeRefresh {
  Q_OBJECT
 public:
  explicit CDlgFullSet(PanelHost& host, QWidget* parent = nullptr);

  // true: the radio group into m_nChannel; false: m_nChannel into the radios.
  void UpdateData(bool fromControls);

  // Button `index` (0..7, the order of kMoveZoomButtons) pressed: the frame
  // for the chosen channel and the step in its box, or "Please input number
  // 1-9" when the box holds no step. Sent at once, even while a worker batch
  // goes out: the frame is built apart from the batch.
  void OnMoveZoom(int index);
  // The press of button `index` for `channel` with `step` (1..9), as undo
  // and redo repeat it: the channel shown as chosen, the frame sent as the
  // button sends it. Not noted as a step.
  void Press(int index, int channel, int step);

  // Its part in a mode change: the eight buttons serve the full modes only
  // (the channel choice and the step boxes stay usable); then the channel
  // shown as held.
  void EnableFullModeButtons(bool on) override;
  void TransferOut() override { UpdateData(false); }

  int m_nChannel = 0;                    // 0..3 = Ch1..Ch4
  QButtonGroup* m_grpChannel = nullptr;  // 1015..1018
  std::array<QPushButton*, 8> m_btnMoveZoom{};
  std::array<QLineEdit*, 8> m_edStep{};

 private:
  PanelHost& m_host;
};

}  // namespace panora
