#include "frame/working_folders.h"

#include <QDir>
#include <QFileInfo>

#include "components/file_system.h"
#include "components/settings_store.h"

namespace lumaset {

namespace {

bool FolderExists(const QString& folder) { return !folder.isEmpty() && QFileInfo(folder).isDir(); }

// A stored folder, or the default when it was never stored or is gone. When
// the default is missing as well, the stored folder stays: whatever later
// finds it missing then names the folder the user chose.
QString StoredFolder(const SettingsStore& settings, const QString& key, const QString& fallback) {
  const QString stored = settings.readSetting(key, fallback);
  if (FolderExists(stored)) return WithTrailingSlash(stored);
  if (stored.isEmpty() || FolderExists(fallback)) return fallback;
  return WithTrailingSlash(stored);
}

QString MadeFolder(const QString& folder) {
  QDir().mkpath(folder);
  return folder;
}

QString LayoutsFolder(SettingsStore& settings, const ProgramFolders& program,
                      const QString& defaultPictures) {
  const QString stored = settings.readSetting(QStringLiteral("DataPath"), QString());
  if (FolderExists(stored)) return WithTrailingSlash(stored);

  QString layouts;
  if (defaultPictures == program.userData + QStringLiteral("Photos/")) {
    layouts = MadeFolder(program.userData + QStringLiteral("Page Layouts/"));
  } else {
    layouts = MadeFolder(MadeFolder(defaultPictures + QStringLiteral("Tavrin/")) +
                         QStringLiteral("Lumaset/"));
  }
  settings.writeSetting(QStringLiteral("DataPath"), layouts);
  return layouts;
}

}  // namespace

QString WithTrailingSlash(const QString& folder) {
  return folder.endsWith(QLatin1Char('/')) ? folder : folder + QLatin1Char('/');
}

WorkingFolders SetUpWorkingFolders(SettingsStore& settings, const ProgramFolders& program,
                                   const QString& documentsFolder) {
  WorkingFolders folders;
  folders.tempImages = program.tempImages;
  folders.defaultPictures = documentsFolder.isEmpty() ? program.userData + QStringLiteral("Photos/")
                                                      : WithTrailingSlash(documentsFolder);
  folders.current = StoredFolder(settings, QStringLiteral("Folder"), folders.defaultPictures);
  folders.copyMove = StoredFolder(settings, QStringLiteral("FolderMove"), folders.defaultPictures);
  folders.scan = folders.copyMove;
  folders.downloadTarget = folders.copyMove;
  folders.midi = StoredFolder(settings, QStringLiteral("SSMidiFolder"), folders.defaultPictures);
  folders.layouts = LayoutsFolder(settings, program, folders.defaultPictures);
  return folders;
}


}  // namespace lumaset
