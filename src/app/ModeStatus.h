// The live mode, in view at all times: a status-bar pane with the current
// mode's group, variant and name ("PIP-Default 2 · 14"), and the quick-mode
// and tool buttons that recall it shown pressed.
#pragma once

#include <QObject>
#include <QString>
#include <string>
#include <vector>

class QAction;
class QLabel;
class QStatusBar;

namespace panora {

class CProfile;

class CModeStatus : public QObject {
  Q_OBJECT
 public:
  // Follows `curMod` and the profile's names and tool buttons; `quick` are
  // the twelve quick-mode buttons in id order, `tools` the eight tool buttons.
  CModeStatus(const int& curMod, const CProfile& profile, QStatusBar* bar, std::vector<QAction*> quick,
              std::vector<QAction*> tools, QObject* parent = nullptr);

  // After anything that changes the mode, a mode's name or a tool button.
  void Update();

  QLabel* Pane() const { return m_pane; }
  // "<group> <variant> · <name>", or "" outside 0..33.
  static QString Text(int mode, const std::string& name);

 private:
  const int& m_curMod;
  const CProfile& m_profile;
  QLabel* m_pane;
  std::vector<QAction*> m_quick;
  std::vector<QAction*> m_tools;
};

}  // namespace panora
