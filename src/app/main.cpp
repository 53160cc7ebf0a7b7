#include <QApplication>
#include <QMainWindow>

QMainWindow* CreateMainWindow();

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QMainWindow* w = CreateMainWindow();
  w->show();
  const int rc = app.exec();
  delete w;
  return rc;
}
