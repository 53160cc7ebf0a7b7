// The mode grid: 34 gradient buttons in eight labelled rows. In load purpose
// ("Load Mode") a click on a mode button chooses the mode to recall; Enter and
// the close box cancel. In edit purpose ("Edit Mode") the operator selects a
// mode, renames it and assigns it to a tool button; those changes reach the
// main frame at once through the mode controller.
#pragma once

#include <QDialog>
#include <array>

#include "model/ModeTable.h"

class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace panora {

class CBaseButton;
class ModeController;

class CDlgModSet : public QDialog {
  Q_OBJECT
 public:
  static constexpr int kLoad = 0;
  static constexpr int kEdit = 2;
  // Pixel layout of the grid.
  static constexpr int kLabelLeft = 14, kLabelWidth = 104, kRowTop = 16, kRowPitch = 34;
  static constexpr int kColumnGap = 40, kColumnPitch = 110;

  CDlgModSet(int purpose, int initMod, ModeController& modes, QWidget* parent = nullptr);

  // Whether a mode button chose m_nRetMod (load purpose).
  bool Chosen() const { return m_bChosen; }

  const int m_nPurpose;
  const int m_nInitMod;
  int m_nSelMod = -1;
  int m_nRetMod = 0;
  int m_nRetCmd = 0;
  int m_nRetSub = 0;

  CBaseButton* ModeButton(int mode) const { return m_buttons[mode]; }
  QRadioButton* ModeRadio(int mode) const { return m_radios[mode]; }
  QLineEdit* NameEdit() const { return m_nameEdit; }
  QLineEdit* ToolEdit() const { return m_toolEdit; }
  QPushButton* SetNameButton() const { return m_setName; }
  QPushButton* SetToolButton() const { return m_setTool; }
  QPushButton* CloseButton() const { return m_close; }

 public slots:
  // Only a mode button accepts in load purpose; any other accept cancels.
  void accept() override;

 protected:
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void OnModeButton(int mode);
  void Select(int mode);
  void OnSetName();
  void OnSetTool();
  void ShowTool();

  ModeController& m_modes;
  bool m_bChosen = false;
  std::array<CBaseButton*, kModeTotal> m_buttons{};
  std::array<QRadioButton*, kModeTotal> m_radios{};
  QLineEdit* m_nameEdit = nullptr;
  QLineEdit* m_toolEdit = nullptr;
  QPushButton* m_setName = nullptr;
  QPushButton* m_setTool = nullptr;
  QPushButton* m_close = nullptr;
};

}  // namespace panora
