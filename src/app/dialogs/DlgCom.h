// The port dialog of "RS232": the serial ports that exist on this machine
// when it opens, the ones in use included and the ones this user may not
// open marked "(no permission)", each followed by its lasting names in
// /dev/serial/by-id, with the port this program holds preselected. A device
// the list does not show (a pseudo-terminal, another name) can be typed.
#pragma once

#include <QDialog>
#include <string>
#include <vector>

class QComboBox;
class QLabel;

namespace panora {

class CDlgCom : public QDialog {
  Q_OBJECT
 public:
  // openPort: the device this program holds open, or empty.
  explicit CDlgCom(const std::string& openPort = {}, QWidget* parent = nullptr);

  // The device chosen with OK (trimmed); empty until OK is pressed with a
  // selection or a typed device, and when the box was left empty.
  std::string m_strCom;
  // The ports found, one per entry of the box, in the order listed.
  std::vector<std::string> m_strPorts;

  QComboBox* PortBox() const { return m_cbPort; }
  // Shown only while a listed port is marked "(no permission)".
  QLabel* PermissionHint() const { return m_permissionHint; }

 public slots:
  void accept() override;

 private:
  void OnInitDialog(const std::string& openPort);
  // The device the box names: a listed entry, or the typed path once it has
  // passed for a serial device (a box says why not, and the dialog stays).
  bool TakeChoice();

  QComboBox* m_cbPort = nullptr;  // 1057
  QLabel* m_permissionHint = nullptr;
};

}  // namespace panora
