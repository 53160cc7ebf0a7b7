// Placeholder window until the main frame lands.
#include <QMainWindow>

QMainWindow* CreateMainWindow() {
  auto* w = new QMainWindow;
  w->setWindowTitle("Panora");
  w->setFixedSize(1120, 720);
  return w;
}
