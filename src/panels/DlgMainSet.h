// The main settings panel in the bottom bar: five groups from left to right,
// "Resolution", "Channel input selection", "Overlay", "Output display" and
// "Information". Controls carry their dialog ids as object names.
#pragma once

#include <QWidget>
#include <array>
#include <functional>

#include "panels/ModeRefresh.h"
#include "panels/PanelHost.h"

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QPushButton;
class QRadioButton;

namespace panora {

class CLstInforBox;

class CDlgMainSet : public QWidget, public ModeRefresh {
  Q_OBJECT
 public:
  // The host gives the working record, the send path and the boxes; it
  // must outlive the panel.
  explicit CDlgMainSet(PanelHost& host, QWidget* parent = nullptr);

  // Moves values between the members and the controls: true takes the
  // controls' values into the members, false shows the members.
  void UpdateData(bool fromControls);

  // The resolution index output `out` (0..3) runs at, as the controls show
  // it now: its own list when "Full mode" is ticked, else the all-outputs
  // list; no choice reads as 255. 0 for an output above 3.
  int GetOutputResolution(int out);

  // Its part in a mode change: resolution, input, overlay and output display
  // groups for the mode, then the members shown in the controls.
  // RefreshForMode runs these steps for this panel alone, in their order.
  void RefreshForMode(const ModeRefreshContext& c);
  void RefreshResolution(const ModeRefreshContext& c) override;
  void RefreshInput(const ModeRefreshContext& c) override;
  void RefreshOverlay(const ModeRefreshContext& c) override;
  void RefreshOutputDisplay(const ModeRefreshContext& c) override;
  void TransferOut() override { UpdateData(false); }
  // "All Outs:" and "Full mode" usable, the output lists not; DisableFullMode
  // also clears and greys "Full mode".
  void EnableFullMode();
  void DisableFullMode();

  // "Refresh output": what the main frame does for it (the window geometry
  // of all four channels, while connected).
  void SetRefreshOutput(std::function<void()> refresh) { m_fnRefreshOutput = std::move(refresh); }
  // Input Set: the owner shows the new inputs in the channel windows' labels.
  void SetShowInputs(std::function<void(const std::array<int, 4>&)> show) {
    m_fnShowInputs = std::move(show);
  }

  // The handlers, as the controls call them.
  void OnResolutionSet();
  void OnFullMode();
  void OnInputSet();
  void OnLayerClicked(int id);  // 1130..1145
  void OnOverlayAll();
  void OnOverlayDifferent();
  void OnOverlayOutChanged();
  void OnOverlaySet();
  void OnDisplayAll();
  void OnDisplaySet();
  void OnRefreshOutput();
  // The owner tells the panel that a worker batch (job 1 overlay, 2
  // geometry) has ended or could not start.
  void OnBatchDone(int job);

  // The information list (numbering, stamp and six-line limit are the list's).
  void AddInfo(const QString& text);
  void ShowInfo(const QString& text);
  CLstInforBox* InfoList() const { return m_lstInfo; }

  // Controls of the groups.
  QComboBox* m_cbAllOutRes = nullptr;            // 1003
  QCheckBox* m_chkFullMode = nullptr;            // 1004
  std::array<QComboBox*, 4> m_cbOutRes{};        // 1005..1008
  QPushButton* m_btnResolutionSet = nullptr;     // 1009
  std::array<QButtonGroup*, 4> m_grpInSel{};     // 1015..1030, a group per channel
  QPushButton* m_btnInputSet = nullptr;          // 1031
  QButtonGroup* m_grpOverlay = nullptr;          // 1032, 1033
  QComboBox* m_cbOverlayOut = nullptr;           // 1034
  std::array<QButtonGroup*, 4> m_grpLayerSel{};  // 1130..1145
  QPushButton* m_btnOverlaySet = nullptr;        // 1068
  std::array<QCheckBox*, 4> m_chkDispCh{};       // 1071..1074
  QCheckBox* m_chkDispAll = nullptr;             // 1041, hidden
  std::array<QCheckBox*, 16> m_chkOutDispCh{};   // 1090..1105, hidden: 1090 + 4*o + ch
  QPushButton* m_btnDisplaySet = nullptr;        // 1070
  QPushButton* m_btnRefreshOutput = nullptr;     // 1056
  QLabel* m_lblRefreshNote = nullptr;            // 1152
  CLstInforBox* m_lstInfo = nullptr;             // 1043

  // Values bound to the radio groups.
  std::array<int, 4> m_nInSel{0, 0, 0, 0};
  int m_nOverlay = 0;
  std::array<int, 4> m_nLayerSel{0, 1, 2, 3};

 private:
  QGroupBox* BuildResolutionGroup();
  QGroupBox* BuildInputGroup();
  QGroupBox* BuildOverlayGroup();
  QGroupBox* BuildDisplayGroup();
  QGroupBox* BuildInformationGroup();
  void OnInitDialog();
  // Overlay Set is usable when the mode allows the overlay group and no
  // overlay batch of this panel is going out.
  void ShowOverlaySetState();

  PanelHost& m_host;
  bool m_bOverlayGroupOn = true;
  bool m_bOverlayBatch = false;
  std::function<void()> m_fnRefreshOutput;
  std::function<void(const std::array<int, 4>&)> m_fnShowInputs;
};

}  // namespace panora
