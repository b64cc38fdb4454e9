#include "app/program.h"

#include <QApplication>

#include <memory>

#include "app/main_window.h"
#include "components/imaging/decode_memory.h"
#include "components/printer_device.h"
#include "components/scanner.h"
#include "components/single_instance.h"
#include "components/sound_output.h"
#include "frame/app_state.h"
#include "frame/settings.h"
#include "frame/sounds.h"

namespace lumaset {

namespace {

// The copy that hands over to the running one says so; it waits for the
// sound, since the process ends right after.
void PlayHandOverSound() {
  Options options;
  Sounds sounds(std::make_unique<AlsaSoundOutput>(), LocateProgramFolders().data, options);
  if (sounds.LoadClips()) sounds.PlayEvent(u"RestoreUp", Wait::Yes);
}

}  // namespace

int RunProgram(const std::function<void(MainWindow&)>& beforeLoad) {
  QApplication::setApplicationName(QStringLiteral("Lumaset"));
  QApplication::setDesktopFileName(QStringLiteral("lumaset"));
  QApplication::setWindowIcon(MainWindow::ProgramIcon());

  // A second start brings the running copy forward and ends.
  SingleInstance instance;
  if (!instance.TryBecomePrimary()) {
    PlayHandOverSound();
    return 0;
  }

  // Choosing the printer and asking for the scanner need libraries that
  // take a while to load: they load on workers while the window is made.
  PrinterDevice::OpenLibrariesAhead();
  SaneScanService::OpenLibraryAhead();
  AppState app(LocateProgramFolders());
  MainWindow window(app);
  QObject::connect(&instance, &SingleInstance::activationRequested, &window, &MainWindow::BringForward);
  if (beforeLoad) beforeLoad(window);
  window.FormLoad();
  const int code = QApplication::exec();
  // The program ends without waiting for pictures still being decoded:
  // they stop at their next row, or are left behind.
  DecodeStop::endAll();
  return code;
}

}  // namespace lumaset
