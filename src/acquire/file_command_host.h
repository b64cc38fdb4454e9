#pragma once

// What the file and folder commands ask of the windows around them. The main
// window implements it; tests script it. FileCommandDialogs supplies the
// message and input boxes.

#include <QString>

#include <functional>
#include <optional>

#include "frame/folder_picker.h"

namespace lumaset {

class FileCommandHost {
 public:
  virtual ~FileCommandHost() = default;

  // Boxes titled with the application's title: a question with Yes and No
  // (true for Yes), a notice with the information icon, an error with the
  // exclamation icon, and an input box (nullopt when cancelled).
  virtual bool AskYesNo(const QString& question) = 0;
  virtual void ShowNotice(const QString& text) = 0;
  virtual void ShowError(const QString& text) = 0;
  virtual std::optional<QString> AskText(const QString& prompt, const QString& defaultText) = 0;
  // The "SystemQuestion" sound before an input box, when GenSound is on.
  virtual void PlayPrompt() = 0;

  // The folder picker in `mode`, shown modally; true when left with OK (the
  // picker has then stored the copy/move folder).
  virtual bool PickFolder(FolderPickMode mode) = 0;

  // The folder label `labFolder`, the panel's title `labPicPan`, and, with
  // false, the toolbar buttons "Properties", "Preview", "Edit", "Thumbnail"
  // and "SlideShow" disabled.
  virtual void SetFolderCaption(const QString& text) = 0;
  virtual void SetPanelCaption(const QString& text) = 0;
  virtual void SetFolderTools(bool hasPictures) = 0;

  // Clears the folder tree, loads the drives again and, unless `navigateTo`
  // is empty, expands it down to that folder.
  virtual void RebuildTree(const QString& navigateTo) = 0;
  // Sets the reopen request and runs "&Open Folder...": the current folder
  // is opened afresh in the panel and shown in the tree.
  virtual void ReopenCurrentFolder() = 0;

  // While an outside program runs: true shows the hourglass and disables the
  // main window; false restores both.
  virtual void SetBusy(bool busy) = 0;
  // While a file is turned: true makes the page, the panels, the tree and
  // every command that could change them wait, with the hourglass; the
  // menus stay live, and Exit stops the turn (FileCommands::StopTurn) and
  // closes the window once it has ended. False restores them.
  virtual void SetTurning(bool turning) = 0;
  // Runs `work` as one operation of the progress window, which the main
  // imaging object's progress drives, and ShowProgress; true when Cancel was
  // pressed meanwhile.
  virtual bool RunWithProgress(const std::function<void()>& work) = 0;
  // Within RunWithProgress, on the window's thread: the progress window at
  // `percent` (0 shows it naming the work, `workText`); true once Cancel
  // was pressed.
  virtual bool ShowProgress(int percent, const QString& workText) = 0;
};

}  // namespace lumaset
