// The picture and border page, first page of the tab control: contrast and
// brightness of one channel or all, sent only by their "Set" and "Reset"
// buttons, and the channels' borders, which border "Set" also keeps in the
// working record. Controls carry their dialog ids as object names.
#pragma once

#include <QWidget>
#include <array>

#include "panels/ModeRefresh.h"

class QButtonGroup;
class QCheckBox;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QSlider;

namespace panora {

class PanelHost;

class CDlgTestPage : public QWidget, public ModeRefresh {
  Q_OBJECT
 public:
  // The Set buttons' ids, as undo and Send Set-up know them.
  static constexpr int kContrastSetId = 1064;
  static constexpr int kBrightnessSetId = 1062;
  static constexpr int kContrastStart = 100;
  static constexpr int kBrightnessStart = 512;

  explicit CDlgTestPage(PanelHost& host, QWidget* parent = nullptr);

  // true takes the radio groups' choices into m_nPicChannel, m_nScope and
  // m_nOnOff; false shows those members. The track bars, value boxes and
  // channel boxes are controls only.
  void UpdateData(bool fromControls);

  void OnHScroll(QSlider* slider);
  void OnContrastSet();
  void OnContrastReset();
  void OnBrightnessSet();
  void OnBrightnessReset();
  void OnBorderAllChannels();
  void OnBorderSingleChannel();
  void OnBorderOnOff();
  void OnBorderSet();

  // Its part in a mode change: brightness back to 512, the border group for
  // the mode (a stored PIP or POP user mode brings its own), then the
  // members shown.
  void ResetBrightness(const ModeRefreshContext& c) override;
  void RefreshBorderGroup(const ModeRefreshContext& c) override;
  void TransferOut() override { UpdateData(false); }

  // Controls, by dialog id.
  QButtonGroup* m_grpPicChannel = nullptr;      // 1015..1019: CH1..CH4, All
  QSlider* m_sldContrast = nullptr;             // 1124
  QLineEdit* m_edContrast = nullptr;            // 1047
  QPushButton* m_btnContrastSet = nullptr;      // 1064
  QPushButton* m_btnContrastReset = nullptr;    // 1065
  QSlider* m_sldBrightness = nullptr;           // 1123
  QLineEdit* m_edBrightness = nullptr;          // 1050
  QPushButton* m_btnBrightnessSet = nullptr;    // 1062
  QPushButton* m_btnBrightnessReset = nullptr;  // 1066
  QButtonGroup* m_grpScope = nullptr;           // 1054 "ALL channels", 1057 "Single channel"
  QButtonGroup* m_grpOnOff = nullptr;           // 1055 "OFF", 1046 "ON"
  std::array<QCheckBox*, 4> m_chkBorderCh{};    // 1058..1061
  QPushButton* m_btnBorderSet = nullptr;        // 1063

  // Values bound to the radio groups: 0..3 = CH1..CH4, 4 = All; 0 = ALL
  // channels, 1 = Single channel; 0 = OFF, 1 = ON.
  int m_nPicChannel = 0;
  int m_nScope = 0;
  int m_nOnOff = 0;

 private:
  void OnInitDialog();
  void SendContrast(int value);
  void SendBrightness(int value);
  void EnableOnOff(bool on);
  void EnableChannelBoxes(bool on);

  PanelHost& m_host;
};

}  // namespace panora
