// The main settings panel in the bottom bar: five groups from left to right,
// "Resolution", "Channel input selection", "Overlay", "Output display" and
// "Information". Controls carry their dialog ids as object names.
#pragma once

#include <QWidget>
#include <array>
#include <functional>

#include "panels/ModeRefresh.h"

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
  // The six output resolutions; the code sent for index i is i + 1.
  static const std::array<const char*, 6> kResolutionTexts;

  explicit CDlgMainSet(QWidget* parent = nullptr);

  // Moves values between the members and the controls: true takes the
  // controls' values into the members, false shows the members.
  void UpdateData(bool fromControls);

  // The resolution index output `out` (0..3) runs at, as the controls show
  // it now: its own list when "Full mode" is ticked, else the all-outputs
  // list; no choice reads as 255. 0 for an output above 3.
  int GetOutputResolution(int out);

  // Its part in a mode change: resolution, input, overlay and output display
  // groups for the mode, then the members shown in the controls.
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
  void OnRefreshOutput();

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

  std::function<void()> m_fnRefreshOutput;
};

}  // namespace panora
