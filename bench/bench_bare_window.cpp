// The anchor of the start-up benchmark: a bare Qt main window with six
// menus, of the size the program's first window takes (three quarters of
// the screen), linked with nothing but Qt Widgets; reports when it was first
// drawn, as bench_startup does for the program.

#include <QApplication>
#include <QMainWindow>
#include <QMenuBar>
#include <QScreen>

#include "first_paint.h"

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  QMainWindow window;
  window.setWindowTitle(QStringLiteral("Bare"));
  for (const char* title : {"&File", "&Edit", "&View", "&Tools", "&Options", "&Help"}) {
    window.menuBar()->addMenu(QString::fromLatin1(title))->addAction(QStringLiteral("Item"));
  }
  if (const QScreen* screen = window.screen()) window.resize(screen->availableGeometry().size() * 3 / 4);
  bench::EndAtFirstPaint(window);
  window.show();
  return QApplication::exec();
}
