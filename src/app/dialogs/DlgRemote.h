// "Remote Control...": whether the program serves its remote control, on
// which address and port, and the token clients must give; the address to
// open in a browser. A token can be generated here. Written to the settings
// file's [Remote] section on OK only.
#pragma once

#include <QDialog>
#include <string>

#include "app/RemoteControl.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QSpinBox;

namespace panora {

class CDlgRemote : public QDialog {
  Q_OBJECT
 public:
  // envToken: PANORA_CONTROL_TOKEN is set and wins over the token typed
  // here; url: where the running server answers, empty when it is off.
  CDlgRemote(const RemoteSettings& settings, bool envToken, const std::string& url, QWidget* parent = nullptr);

  RemoteSettings Settings() const;
  QCheckBox* EnabledBox() const { return m_enabled; }
  QLineEdit* AddressEdit() const { return m_address; }
  QSpinBox* PortBox() const { return m_port; }
  QLineEdit* TokenEdit() const { return m_token; }
  QLabel* UrlLabel() const { return m_url; }

  // 32 random hexadecimal digits from the system's generator.
  static QString NewToken();
  // OK: refuses an address that is none, or an open one without a token.
  void accept() override;

 private:
  void ShowUrl();

  QCheckBox* m_enabled;
  QLineEdit* m_address;
  QSpinBox* m_port;
  QLineEdit* m_token;
  QLabel* m_url;
  QString m_running;
};

}  // namespace panora
