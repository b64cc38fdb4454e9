// Whole-program benchmark of opening a folder at start-up: starts the main
// window as the program does, with the setting that reopens the last folder
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
#include <QDeadlineTimer>
#include <QDir>

#include <fcntl.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "app/main_window.h"
#include "browser/thumbnail_area.h"
#include "components/settings_store.h"
#include "components/thumbnail_cache.h"
#include "frame/app_state.h"

namespace {

// Milliseconds since the process began, by the kernel's start time.
double MsSinceStart() {
  char buffer[1024] = {};
  const int fd = ::open("/proc/self/stat", O_RDONLY | O_CLOEXEC);
  if (fd < 0) return -1;
  const ssize_t got = ::read(fd, buffer, sizeof buffer - 1);
  ::close(fd);
  const std::string text(buffer, got > 0 ? static_cast<std::size_t>(got) : 0);
  const auto afterName = text.rfind(')');
  if (afterName == std::string::npos) return -1;
  // Field 22, the start time in clock ticks since boot; the name (field 2) may hold spaces.
  const char* field = text.c_str() + afterName + 2;
  for (int i = 3; i < 22 && field; ++i) {
    field = std::strchr(field, ' ');
    if (field) ++field;
  }
  if (!field) return -1;
  const double started = std::strtod(field, nullptr) / static_cast<double>(::sysconf(_SC_CLK_TCK));
  timespec now{};
  ::clock_gettime(CLOCK_BOOTTIME, &now);
  return (static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9 - started) * 1000.0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2 || (argc == 3 && std::strcmp(argv[2], "--large") != 0) || argc > 3) {
    std::fprintf(stderr, "usage: bench_thumbnails_program FOLDER [--large]\n");
    return 2;
  }
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Lumaset"));
  const QString folder = QDir(QString::fromLocal8Bit(argv[1])).absolutePath() + QLatin1Char('/');
  {
    lumaset::SettingsStore settings(QStringLiteral("Lumaset"), QString());
    settings.writeSetting(QStringLiteral("GenOpen"), true);
    settings.writeSetting(QStringLiteral("GenLarge"), argc == 3);
    settings.writeSetting(QStringLiteral("Folder"), folder);
  }

  lumaset::AppState app(lumaset::LocateProgramFolders());
  lumaset::MainWindow window(app);
  lumaset::ThumbnailPanel* panel = window.thumbnailPanel();
  double began = -1;
  double shown = -1;
  int made = 0;
  QObject::connect(panel, &lumaset::ThumbnailPanel::buildStarted, [&] { began = MsSinceStart(); });
  QObject::connect(panel, &lumaset::ThumbnailPanel::buildFinished, [&](int count) {
    shown = MsSinceStart();
    made = count;
  });
  window.FormLoad();
  const QDeadlineTimer patience(10 * 60 * 1000);  // a build that never ends fails the bench
  while (panel->building()) {
    if (patience.hasExpired()) {
      std::printf("the folder's build did not end within ten minutes\n");
      return 1;
    }
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 100);
  }
  panel->thumbnailCache().finishWrites();
  const double whole = MsSinceStart();
  std::printf("%d thumbnails shown %.0f ms after the start, whole run %.0f ms; the build began at %.0f ms\n", made,
              shown, whole, began);
  return made > 0 ? 0 : 1;
}
