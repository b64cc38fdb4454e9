#include "acquire/file_command_wiring.h"

#include "acquire/file_commands.h"
#include "browser/folder_tree.h"
#include "browser/thumbnail_area.h"

namespace lumaset {

void ConnectFileCommands(ThumbnailPanel& panel, FolderTree& tree, FileCommands& commands) {
  using Command = ThumbnailPanel::CellCommand;
  for (const Command command :
       {Command::Rotate, Command::Edit, Command::Copy, Command::Move, Command::Rename, Command::Delete}) {
    panel.setCommandAvailable(command, true);
  }
  // Each command reads the selection afresh; the index the menu sends is the same.
  QObject::connect(&panel, &ThumbnailPanel::cellCommandRequested, &panel, [&commands](Command command, int) {
    switch (command) {
      case Command::Rotate: commands.mnuFileOptionsRotate_Click(); break;
      case Command::Edit: commands.mnuFileOptionsEdit_Click(); break;
      case Command::Copy: commands.mnuFileOptionsCopy_Click(); break;
      case Command::Move: commands.mnuFileOptionsMove_Click(); break;
      case Command::Rename: commands.mnuFileOptionsRename_Click(); break;
      case Command::Delete: commands.mnuFileOptionsDelete_Click(); break;
      case Command::Email: break;  // the e-mail list's own
    }
  });
  QObject::connect(&tree, &FolderTree::copyFileRequested, &tree, [&commands](const QString& file, const QString& to) {
    commands.mnuNodeFileCopy_Click(file, to);
  });
  QObject::connect(&tree, &FolderTree::moveFileRequested, &tree, [&commands](const QString& file, const QString& to) {
    commands.mnuNodeFileMove_Click(file, to);
  });
  QObject::connect(&tree, &FolderTree::createFolderRequested, &tree,
                   [&commands](const QString& folder) { commands.mnuNodeFolderCreate_Click(folder); });
  QObject::connect(&tree, &FolderTree::removeFolderRequested, &tree,
                   [&commands](const QString& folder) { commands.mnuNodeFolderRemove_Click(folder); });
}

}  // namespace lumaset
