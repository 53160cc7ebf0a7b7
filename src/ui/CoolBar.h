// A docking bar that the operator can resize by its inner edge: a 12-pixel
// gripper strip with a close button, along the left side when docked at the
// top or bottom, along the top when docked left or right. Its one child fills
// it. Screen readers read it by its accessible name, so that it can say what
// it holds while its caption stays.
#pragma once

#include <QDockWidget>

namespace panora {

class CCoolBar : public QDockWidget {
  Q_OBJECT
 public:
  static constexpr int kGripper = 12;
  static constexpr int kCloseButton = 13;
  static constexpr int kMinDocked = 33;

  CCoolBar(const QString& title, QSize defaultSize, int id, QWidget* parent);

  QSize DefaultSize() const { return m_szDefault; }
  int Id() const { return m_nId; }

 private:
  void OnDockLocation(Qt::DockWidgetArea area);
  QSize m_szDefault;
  int m_nId;
};

}  // namespace panora
