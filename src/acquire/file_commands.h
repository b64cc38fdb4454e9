#pragma once

// The commands that copy, move, delete, rename, rotate and edit the picture
// files of the thumbnail panel, and those that create and remove folders of
// the folder tree. They keep the panel and the tree showing what is on disk.
//
// Every change to a user's file goes through FileSystemUtility, which never
// replaces a file except through a finished temporary one and never deletes:
// what goes, goes to the trash.

#include <QString>

#include <atomic>
#include <functional>
#include <optional>

#include "components/default_editor.h"
#include "components/result.h"

namespace lumaset {

class FileCommandHost;
class Imaging;
class SettingsStore;
class ThumbnailPanel;
struct Options;
struct WorkingFolders;

// The program's state that the commands read and change.
struct FileCommandContext {
  ThumbnailPanel& panel;
  WorkingFolders& folders;  // `CurrentFolder` and `CopyMoveFolder`
  const Options& options;   // ShowProgress
  SettingsStore& settings;  // "Folder"
  Imaging& imaging;         // the main window's imaging object
};

class FileCommands {
 public:
  // Finds the program that edits a file; FindDefaultEditor in the program.
  using EditorFinder = std::function<Result<std::optional<DesktopLaunch>>(const QString& file)>;
  using EditorRunner = std::function<Status(const DesktopLaunch& launch)>;

  FileCommands(FileCommandContext context, FileCommandHost& host, EditorFinder findEditor = FindDefaultEditor,
               EditorRunner runEditor = RunAndWait);

  // The selected thumbnail's file.
  void mnuFileOptionsCopy_Click();
  void mnuFileOptionsMove_Click();
  void mnuFileOptionsDelete_Click();
  void mnuFileOptionsRename_Click();
  void mnuFileOptionsRotate_Click();
  void mnuFileOptionsEdit_Click();

  // A thumbnail's `file`, as its drag carried it, dropped on the tree node
  // of `folder`.
  void mnuNodeFileCopy_Click(const QString& file, const QString& folder);
  void mnuNodeFileMove_Click(const QString& file, const QString& folder);

  // The folder pop-up of the tree node `nodeFolder` (ending with "/").
  void mnuNodeFolderCreate_Click(const QString& nodeFolder);
  void mnuNodeFolderRemove_Click(const QString& nodeFolder);

  // Takes cell `index` out of the panel and sets the captions by the new count.
  void ThumbNailRemove(int index);

  // While a file is turned no other command acts on the panel's files: the
  // file and the table stay the turn's until it has ended.
  bool turning() const { return turning_; }
  // Ends the turn under way before anything is written, for the program's
  // end; a turn already writing finishes its file.
  void StopTurn() { stopTurn_ = true; }

 private:
  enum class Transfer { Copy, Move };

  // While thumbnails are made, or a file is turned, the panel's table and
  // files are not the commands' to change.
  bool PanelHeld() const;
  int Selected() const;
  // The panel's cell of `file`, or -1.
  int IndexOf(const QString& file) const;
  void TransferSelected(Transfer how);
  // Copies or moves `file` into `folder`; true when done.
  bool TransferInto(Transfer how, const QString& file, const QString& folder);
  void TreeTransfer(Transfer how, const QString& file, const QString& folder);
  Status Rotate(int index);
  Status TurnHeldPicture(const QString& file);
  class TurnScope;
  void RebuildCell(int index);
  // The pictures of `folder`, one by one to the trash; false at a refusal.
  bool TrashPictures(const QString& folder, bool* anyTrashed);

  FileCommandContext context_;
  FileCommandHost& host_;
  EditorFinder findEditor_;
  EditorRunner runEditor_;
  bool turning_ = false;
  std::atomic<bool> stopTurn_{false};  // asked by Cancel or the program's end; read by the turn's worker
};

}  // namespace lumaset
