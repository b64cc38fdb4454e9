// Creating and removing folders from the folder tree's pop-up menu.

#include <QDir>

#include "acquire/file_command_host.h"
#include "acquire/file_commands.h"
#include "browser/thumb_picture.h"
#include "browser/thumbnail_area.h"
#include "components/file_system.h"
#include "components/settings_store.h"
#include "frame/working_folders.h"

namespace lumaset {

namespace {

using FS = FileSystemUtility;

QString KeptText(const QString& folder) {
  return QStringLiteral("Unable to remove folder < %1 >\n a subfolder or other non-photo files exist.").arg(folder);
}

bool HoldsAnything(const QString& folder) {
  return !QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot).isEmpty();
}

}  // namespace

void FileCommands::mnuNodeFolderCreate_Click(const QString& nodeFolder) {
  if (nodeFolder.isEmpty()) return;
  const QString parent = WithTrailingSlash(nodeFolder);
  const QString last = FS::PathPart(parent, false);
  host_.PlayPrompt();
  const std::optional<QString> answer = host_.AskText(
      QStringLiteral("Enter name of new folder to be created in folder '%1'")
          .arg(last == QLatin1String("/") ? last : QStringLiteral(".../") + last),
      QString());
  if (!answer || answer->isEmpty()) return;
  const bool plainName = !answer->contains(QLatin1Char('/')) && *answer != QLatin1String(".") &&
                         *answer != QLatin1String("..");
  if (plainName && FS::PathExists(QString(), parent + *answer)) {
    host_.ShowError(QStringLiteral("Folder already exists, try another name."));
    return;
  }
  const Result<QString> made = FS::MakeFolder(parent, *answer);
  if (!made) {
    host_.ShowError(QStringLiteral("Unable to create folder < %1 >\n%2").arg(parent + *answer, made.error()));
    return;
  }
  host_.RebuildTree(*made);
}

// Only the folder's own pictures go, each to the trash; the folder itself is
// removed only when that leaves it empty. The home folder, the folders above
// it and mount points are never touched.
void FileCommands::mnuNodeFolderRemove_Click(const QString& nodeFolder) {
  if (nodeFolder.isEmpty() || PanelHeld()) return;
  const QString folder = WithTrailingSlash(nodeFolder);
  if (const Status removable = FS::CheckFolderRemovable(folder); !removable) {
    host_.ShowError(QStringLiteral("Unable to remove folder < %1 >\n%2").arg(folder, removable.error()));
    return;
  }
  if (!host_.AskYesNo(
          QStringLiteral("Do you wish to send \n< %1 >\nand all of its photo files to the Recycle Bin?").arg(folder)))
    return;
  WorkingFolders& folders = context_.folders;
  const bool wasOpen = folder == folders.current || FS::SameFolder(folder, folders.current);
  bool anyTrashed = false;
  if (!TrashPictures(folder, &anyTrashed)) {
    if (anyTrashed && wasOpen) host_.ReopenCurrentFolder();
    return;
  }
  if (!QDir(folder).entryList(QDir::Files | QDir::NoDotAndDotDot).isEmpty()) {
    host_.ShowError(KeptText(folder));
  } else if (const Status removed = FS::RemoveEmptyFolder(folder); !removed) {
    const QString why = QStringLiteral("Unable to remove folder < %1 >\n%2").arg(folder, removed.error());
    host_.ShowError(HoldsAnything(folder) ? KeptText(folder) : why);
  }
  if (wasOpen) context_.panel.ThumbNailClear();
  folders.current = FS::PathPart(folder, true);
  host_.RebuildTree(QString());
  host_.ReopenCurrentFolder();
  context_.settings.writeSetting(QStringLiteral("Folder"), folders.current);
}

bool FileCommands::TrashPictures(const QString& folder, bool* anyTrashed) {
  const QStringList names = QDir(folder).entryList(QDir::Files | QDir::NoDotAndDotDot, QDir::Name);
  for (const QString& name : names) {
    const QString path = folder + name;
    if (!AcceptedAsPicture(path)) continue;
    if (const Status trashed = FS::RecycleFiles({path}); !trashed) {
      host_.ShowError(QStringLiteral("Error: File <%1> not deleted!\n%2").arg(path, trashed.error()));
      return false;
    }
    *anyTrashed = true;
  }
  return true;
}

}  // namespace lumaset
