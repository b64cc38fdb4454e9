// Copying, moving and deleting the picture files of the thumbnail panel, from
// its cell menu and by a drop on the folder tree.

#include <QString>

#include "acquire/file_command_host.h"
#include "acquire/file_commands.h"
#include "browser/folder_open.h"
#include "browser/thumbnail_area.h"
#include "components/file_system.h"
#include "frame/working_folders.h"

namespace lumaset {

namespace {

using FS = FileSystemUtility;

QString FailureText(const QString& file, const QString& ending, const QString& cause) {
  return QStringLiteral("Error: File <%1> %2\n%3").arg(file, ending, cause);
}

}  // namespace

FileCommands::FileCommands(FileCommandContext context, FileCommandHost& host, EditorFinder findEditor,
                           EditorRunner runEditor)
    : context_(context), host_(host), findEditor_(std::move(findEditor)), runEditor_(std::move(runEditor)) {}

bool FileCommands::PanelHeld() const { return context_.panel.building() || turning_; }

int FileCommands::Selected() const {
  const ThumbTable& table = context_.panel.table();
  const int sel = table.ThumbSel();
  return !PanelHeld() && table.isValid(sel) ? sel : -1;
}

int FileCommands::IndexOf(const QString& file) const {
  const ThumbTable& table = context_.panel.table();
  for (int i = 0; i < table.ThumbCount(); ++i) {
    if (table.ThumbFiles(i) == file) return i;
  }
  return -1;
}

void FileCommands::mnuFileOptionsCopy_Click() { TransferSelected(Transfer::Copy); }
void FileCommands::mnuFileOptionsMove_Click() { TransferSelected(Transfer::Move); }

void FileCommands::TransferSelected(Transfer how) {
  const int sel = Selected();
  if (sel < 0) return;
  const QString file = context_.panel.table().ThumbFiles(sel);
  if (!host_.PickFolder(how == Transfer::Copy ? FolderPickMode::CopyTo : FolderPickMode::MoveTo)) return;
  if (!TransferInto(how, file, context_.folders.copyMove) || how == Transfer::Copy) return;
  if (const int index = IndexOf(file); index >= 0) ThumbNailRemove(index);
}

// The same folder is the same directory, however it is spelled; letter case
// counts, as it does for the file system.
bool FileCommands::TransferInto(Transfer how, const QString& file, const QString& folder) {
  const bool copy = how == Transfer::Copy;
  if (FS::SameFolder(FS::PathPart(file, true), folder)) {
    host_.ShowNotice(copy ? QStringLiteral("Cannot copy file on top of itself.")
                          : QStringLiteral("Cannot move file on top of itself."));
    return false;
  }
  const QString target = WithTrailingSlash(folder) + FS::PathPart(file, false);
  if (FS::PathExists(target, QString()) &&
      !host_.AskYesNo(QStringLiteral("File already exists in target folder.\nDo you wish to replace it?"))) {
    return false;
  }
  const Status done = copy ? FS::CopyFile(file, target) : FS::MoveFile(file, target);
  if (!done) {
    const QString ending = copy ? QStringLiteral("not copied!") : QStringLiteral("not moved!");
    host_.ShowError(FailureText(file, ending, done.error()));
    return false;
  }
  return true;
}

void FileCommands::mnuNodeFileCopy_Click(const QString& file, const QString& folder) {
  TreeTransfer(Transfer::Copy, file, folder);
}

void FileCommands::mnuNodeFileMove_Click(const QString& file, const QString& folder) {
  TreeTransfer(Transfer::Move, file, folder);
}

void FileCommands::TreeTransfer(Transfer how, const QString& file, const QString& folder) {
  if (file.isEmpty() || folder.isEmpty() || PanelHeld()) return;
  if (!TransferInto(how, file, folder) || how == Transfer::Copy) return;
  if (const int index = IndexOf(file); index >= 0) ThumbNailRemove(index);
}

void FileCommands::mnuFileOptionsDelete_Click() {
  const int sel = Selected();
  if (sel < 0) return;
  const QString file = context_.panel.table().ThumbFiles(sel);
  if (!host_.AskYesNo(QStringLiteral("Do you wish to send <%1> to the recycle bin?").arg(FS::PathPart(file, false))))
    return;
  if (const Status trashed = FS::RecycleFiles({file}); !trashed) {
    host_.ShowError(FailureText(file, QStringLiteral("not deleted!"), trashed.error()));
    return;
  }
  if (const int index = IndexOf(file); index >= 0) ThumbNailRemove(index);
}

void FileCommands::ThumbNailRemove(int index) {
  ThumbnailPanel& panel = context_.panel;
  panel.removeCell(index);
  const int count = panel.table().ThumbCount();
  if (count < 1) {
    host_.SetFolderCaption(QStringLiteral("No photos in folder"));
    host_.SetPanelCaption(QStringLiteral("Thumbnail Panel (none)"));
    host_.SetFolderTools(false);
    return;
  }
  host_.SetFolderCaption(QStringLiteral("'%1' has %2 %3")
                             .arg(FolderDisplayName(context_.folders.current))
                             .arg(count)
                             .arg(count == 1 ? QStringLiteral("picture") : QStringLiteral("pictures")));
}

}  // namespace lumaset
