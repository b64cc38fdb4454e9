#include "frame/app_state.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

#include "components/sound_output.h"
#include "frame/sounds.h"

namespace lumaset {

namespace {

QString Folder(const QString& path) { return QDir::cleanPath(path) + QLatin1Char('/'); }

QString LocateDataFolder() {
  const QString fromEnvironment = qEnvironmentVariable("LUMASET_DATA_DIR");
  if (!fromEnvironment.isEmpty()) return Folder(fromEnvironment);
  // The build tree has the installed layout: bin/lumaset beside share/lumaset.
  const QString besideBinary =
      QCoreApplication::applicationDirPath() + QStringLiteral("/../share/lumaset");
  if (QFileInfo(besideBinary).isDir()) return Folder(besideBinary);
  return Folder(QStringLiteral(LUMASET_INSTALL_DATA_DIR));
}

}  // namespace

ProgramFolders LocateProgramFolders() {
  ProgramFolders folders;
  folders.data = LocateDataFolder();
  folders.userData = Folder(
      QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
      QStringLiteral("/Lumaset"));
  folders.tempImages = Folder(
      QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) +
      QStringLiteral("/Lumaset/Temp Images"));
  // Apart from the temporary pictures, which go at exit: a message may still need them.
  folders.emailCopies = Folder(
      QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) +
      QStringLiteral("/Lumaset/Email"));
  return folders;
}

AppState::AppState(ProgramFolders located, std::unique_ptr<SoundOutput> soundOutput)
    : programFolders(std::move(located)),
      files_(std::make_unique<FileSystemUtility>()),
      settings_(std::make_unique<SettingsStore>(identity.name)),
      imaging_(std::make_unique<Imaging>()),
      screenSaver_(std::make_unique<ScreenSaverSwitch>()),
      sounds_(std::make_unique<Sounds>(soundOutput ? std::move(soundOutput) : std::make_unique<AlsaSoundOutput>(),
                                       programFolders.data, options)) {}

AppState::~AppState() = default;

// Nothing is asked of the print system here: the window's printer comes
// when the print system answers (FindPrinterAway).
PrinterDevice& AppState::printer() {
  if (!printer_) printer_ = std::make_unique<PrinterDevice>(PrinterDevice::Start::NoPrinter);
  return *printer_;
}

}  // namespace lumaset
