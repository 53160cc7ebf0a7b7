// The network dialog of "TCP/IP" ("IP SET"): the processor's IPv4 address in
// an address control of four fields and its TCP port, kept in the settings
// file between runs.
#pragma once

#include <QDialog>
#include <QFrame>
#include <array>
#include <cstdint>
#include <string>

class QLabel;
class QLineEdit;

namespace panora {

// Four fields of 0..255 with dots between them. Typing three digits or a dot
// moves on to the next field; Backspace in an empty field goes back.
class CIpAddressCtrl : public QFrame {
  Q_OBJECT
 public:
  explicit CIpAddressCtrl(QWidget* parent = nullptr);

  void SetAddress(std::uint8_t f0, std::uint8_t f1, std::uint8_t f2, std::uint8_t f3);
  // The four fields (a blank field counts as 0); returns how many are not blank.
  int GetAddress(std::uint8_t& f0, std::uint8_t& f1, std::uint8_t& f2, std::uint8_t& f3) const;
  // Dotted form, as the control shows it (blank fields as 0).
  QString Text() const;
  QLineEdit* Field(int i) const { return m_fields[static_cast<std::size_t>(i)]; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void FocusField(int i);
  std::array<QLineEdit*, 4> m_fields{};
};

class CDlgNet : public QDialog {
  Q_OBJECT
 public:
  // settingsPath: the settings file (read at start, written on OK).
  explicit CDlgNet(const std::string& settingsPath, QWidget* parent = nullptr);

  // Moves values between the members and the controls.
  void UpdateData(bool fromControls);

  // An address to show instead of the settings file's, with a note saying
  // what it is: the program's own simulated processor while it runs. It is
  // written to the settings file only when OK is pressed. An empty ip
  // withdraws the offer.
  static void SetOfferedAddress(const std::string& ip, const std::string& port, const std::string& note);

  std::uint8_t m_byIP[4] = {192, 168, 0, 178};
  std::string m_strIP;    // dotted form, as the control shows it; set by OK
  std::string m_strPort;  // the port text; set by OK

  CIpAddressCtrl* AddressCtrl() const { return m_ipCtrl; }
  QLineEdit* PortEdit() const { return m_edPort; }

 public slots:
  void accept() override;

 private:
  void OnInitDialog();

  std::string m_strSettingsPath;
  CIpAddressCtrl* m_ipCtrl = nullptr;  // 1121
  QLineEdit* m_edPort = nullptr;       // 1122
  QLabel* m_lblOffer = nullptr;        // shown with an offered address
};

}  // namespace panora
