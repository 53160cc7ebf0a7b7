// Asks which of the eight tool buttons is to recall the selected mode. The
// boxes below show the buttons already in use; taking one of them asks first.
#pragma once

#include <QDialog>
#include <array>

class QButtonGroup;
class QCheckBox;
class QRadioButton;

namespace panora {

class CDlgToolNumSet : public QDialog {
  Q_OBJECT
 public:
  // `assign`: the tool-button table; `choice`: the button selected at first.
  explicit CDlgToolNumSet(const std::array<int, 8>& assign, int choice = 0, QWidget* parent = nullptr);

  std::array<int, 8> m_nAssign;
  int m_nChoice = 0;
  int m_nResult = -1;  // the button to assign, on OK

  QRadioButton* Radio(int i) const { return m_radios[i]; }
  QCheckBox* UsedBox(int i) const { return m_used[i]; }

 public slots:
  void accept() override;

 private:
  std::array<QRadioButton*, 8> m_radios{};
  std::array<QCheckBox*, 8> m_used{};
  QButtonGroup* m_group;
};

}  // namespace panora
