// Whole-program benchmark of opening a folder at start-up: runs the program
// as main() does, with the setting that reopens the last folder
// on and that folder set to FOLDER, and reports how long after the process
// began the folder's last thumbnail showed, when the thumbnail cache had also
// written its entries, and when the build began (what start-up took).
//
//   bench_thumbnails_program FOLDER [--large]
//
// The settings and the thumbnail cache are the user's, as HOME and the XDG
// folders give them: the script that runs it gives each run private ones.
// --large makes large thumbnails (GenLarge).

#include <QApplication>
#include <QDir>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "app/main_window.h"
#include "app/program.h"
#include "browser/thumbnail_area.h"
#include "components/settings_store.h"
#include "components/thumbnail_cache.h"
#include "process_clock.h"

using bench::MsSinceStart;

int main(int argc, char** argv) {
  if (argc < 2 || (argc == 3 && std::strcmp(argv[2], "--large") != 0) || argc > 3) {
    std::fprintf(stderr, "usage: bench_thumbnails_program FOLDER [--large]\n");
    return 2;
  }
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Lumaset"));  // for the settings written here
  const QString folder = QDir(QString::fromLocal8Bit(argv[1])).absolutePath() + QLatin1Char('/');
  {
    lumaset::SettingsStore settings(QStringLiteral("Lumaset"), QString());
    settings.writeSetting(QStringLiteral("GenOpen"), true);
    settings.writeSetting(QStringLiteral("GenLarge"), argc == 3);
    settings.writeSetting(QStringLiteral("Folder"), folder);
  }

  // The program's own run; the watch ends the process once the cache has
  // written its entries, so that its shut-down is not counted.
  lumaset::ThumbnailPanel* panel = nullptr;
  double began = -1;
  return lumaset::RunProgram([&](lumaset::MainWindow& window) {
    panel = window.thumbnailPanel();
    QObject::connect(panel, &lumaset::ThumbnailPanel::buildStarted, [&] { began = MsSinceStart(); });
    QObject::connect(panel, &lumaset::ThumbnailPanel::buildFinished, [&](int made) {
      const double shown = MsSinceStart();
      panel->thumbnailCache().finishWrites();
      const double whole = MsSinceStart();
      std::printf("%d thumbnails shown %.0f ms after the start, whole run %.0f ms; the build began at %.0f ms\n",
                  made, shown, whole, began);
      std::fflush(stdout);
      std::_Exit(made > 0 ? 0 : 1);
    });
    QTimer::singleShot(10 * 60 * 1000, [] {  // a build that never ends fails the bench
      std::printf("the folder's build did not end within ten minutes\n");
      std::fflush(stdout);
      std::_Exit(1);
    });
  });
}
