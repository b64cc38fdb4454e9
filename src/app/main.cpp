// Lumaset: puts photographs on paper.

#include <QApplication>

#include <cstdio>
#include <memory>

#include "app/main_window.h"
#include "components/imaging/decode_memory.h"
#include "components/single_instance.h"
#include "components/sound_output.h"
#include "frame/app_state.h"
#include "frame/settings.h"
#include "frame/sounds.h"

namespace {

bool HasDisplay() {
  if (!qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) return true;
  return !qEnvironmentVariableIsEmpty("DISPLAY") || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
}

// The copy that hands over to the running one says so; it waits for the
// sound, since the process ends right after.
void PlayHandOverSound() {
  lumaset::Options options;
  lumaset::Sounds sounds(std::make_unique<lumaset::AlsaSoundOutput>(),
                         lumaset::LocateProgramFolders().data, options);
  if (sounds.LoadClips()) sounds.PlayEvent(u"RestoreUp", lumaset::Wait::Yes);
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
  QApplication::setApplicationName(QStringLiteral("Lumaset"));
  QApplication::setDesktopFileName(QStringLiteral("lumaset"));
  QApplication::setWindowIcon(lumaset::MainWindow::ProgramIcon());

  // A second start brings the running copy forward and ends.
  lumaset::SingleInstance instance;
  if (!instance.TryBecomePrimary()) {
    PlayHandOverSound();
    return 0;
  }

  lumaset::AppState app(lumaset::LocateProgramFolders());
  lumaset::MainWindow window(app);
  QObject::connect(&instance, &lumaset::SingleInstance::activationRequested, &window,
                   &lumaset::MainWindow::BringForward);
  window.FormLoad();
  const int code = QApplication::exec();
  // The program ends without waiting for pictures still being decoded:
  // they stop at their next row, or are left behind.
  lumaset::DecodeStop::endAll();
  return code;
}
