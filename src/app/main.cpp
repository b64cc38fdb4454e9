// Lumaset: puts photographs on paper.

#include <QApplication>

#include <cstdio>

#include "app/program.h"

namespace {

bool HasDisplay() {
  if (!qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) return true;
  return !qEnvironmentVariableIsEmpty("DISPLAY") || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
}

}  // namespace

int main(int argc, char** argv) {
  if (!HasDisplay()) {
    std::fputs("Lumaset needs a graphical desktop, but no display was found "
               "(neither DISPLAY nor WAYLAND_DISPLAY is set).\n",
               stderr);
    return 1;
  }
  QApplication application(argc, argv);
  return lumaset::RunProgram();
}
