// Start-up benchmark: how long after the process began the main window was
// first drawn, for the whole program as main() runs it. bench_bare_window is
// its anchor: a bare Qt main window of the same size with six menus.
//
//   bench_startup
//
// The settings are the user's, as HOME and the XDG folders give them: the
// script that runs it (bench/startup.sh) gives the runs private ones.

#include <QApplication>

#include "app/main_window.h"
#include "app/program.h"
#include "first_paint.h"

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  return lumaset::RunProgram([](lumaset::MainWindow& window) { bench::EndAtFirstPaint(window); });
}
