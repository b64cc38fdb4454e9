#pragma once

// Opening a folder in the thumbnail panel: the File menu's "&Open Folder..."
// (`mnuFileOpen_Click`), which asks for a folder with the folder picker or
// reopens the current one on request, and `ThumbsOpen`, which empties the
// panel, has the thumbnails made and sets the captions and tools by how many
// pictures were found. The rules live here; the windows they touch are
// reached through FolderOpenWindow, which the main window implements.

#include <QString>

namespace lumaset {

class SettingsStore;

// What opening a folder asks of the windows around it.
class FolderOpenWindow {
 public:
  virtual ~FolderOpenWindow() = default;

  // The folder picker in photo-folder mode, shown modally. True when it was
  // left with OK; it has then set the current folder (and written "Folder"
  // when its save box was ticked).
  virtual bool PickPhotoFolder() = 0;
  // Thumbnails are being made right now.
  virtual bool MakingThumbnails() const = 0;

  // `labPicPan`, `labFolder` and the main window's title.
  virtual void SetPanelCaption(const QString& text) = 0;
  virtual void SetFolderCaption(const QString& text) = 0;
  virtual void SetWindowCaption(const QString& text) = 0;
  // Lets pending window events run once (the window repaints).
  virtual void LetEventsRun() = 0;
  // The text of the status bar's first panel.
  virtual QString StatusText() const = 0;
  virtual void SetStatusText(const QString& text) = 0;

  // Empties the e-mail list `lstEmail`.
  virtual void ClearEmailList() = 0;
  // `TreeView` "Navigate" and then "Select" with the folder.
  virtual void ShowInTree(const QString& folder) = 0;
  // `ThumbNailClear`: the panel and the thumbnail table are emptied.
  virtual void ClearThumbnails() = 0;
  // The caption of the page panel `panPrev`.
  virtual QString PageCaption() const = 0;
  // `mnuFileNew_Click`: a new, empty page.
  virtual void NewPage() = 0;
  // `ThumbNail`: makes the thumbnails of the current folder and gives
  // `ThumbCount`, the number of cells made.
  virtual int MakeThumbnails() = 0;
  // With pictures: enables the menu items "ThumbNail &Layout" and
  // "&SlideShow..." and the toolbar buttons "Thumbnail" and "SlideShow".
  // Without: disables the buttons "Properties", "Preview", "Edit",
  // "Thumbnail" and "SlideShow" and leaves the menu items as they are.
  virtual void SetFolderTools(bool hasPictures) = 0;

  // A message box with the application's title: an error with the
  // exclamation icon, or a notice with the information icon.
  virtual void ShowError(const QString& text) = 0;
  virtual void ShowNotice(const QString& text) = 0;
};

// The name shown for a folder: its last component ("Holiday" for
// "/photos/Holiday/"); the root shows as "/".
QString FolderDisplayName(const QString& folder);
// The folder label once the thumbnails are made: "No photos in folder",
// "1 picture from 'Holiday'", "12 pictures from 'Holiday'".
QString FolderCaptionText(int count, const QString& name);
// The page holds a contact sheet: its caption begins with "Thumbnail".
bool IsContactSheetCaption(const QString& pageCaption);

class FolderOpener {
 public:
  // `currentFolder` is `CurrentFolder` (ends with "/"), `reopenFolder` the
  // reopen request `ReopenFolder`; both are the program's, shared with the
  // windows that set them. `appTitle` is "Tavrin Lumaset".
  FolderOpener(FolderOpenWindow& window, SettingsStore& settings, QString& currentFolder,
               bool& reopenFolder, QString appTitle);

  // "&Open Folder...": without the reopen request asks for a folder with the
  // picker (a cancelled picker changes nothing); with it reopens the current
  // folder and clears the request. Then empties the e-mail list, shows the
  // folder in the tree and opens it.
  void mnuFileOpen_Click();

  // Opens the current folder in the thumbnail panel. Asked for while
  // thumbnails are being made, it waits: the folder is opened as soon as the
  // running build has ended, never over it.
  void ThumbsOpen();

  // A left click on a folder of the tree: it becomes the current folder, is
  // written to the setting "Folder" (whatever GenSave says) and is opened.
  void OpenFromTree(const QString& folder);

  // An opening is waiting for the running build to end.
  bool openPending() const { return openPending_; }

 private:
  void OpenCurrentFolder();
  void ShowFolderCount(int count, const QString& name);

  FolderOpenWindow& window_;
  SettingsStore& settings_;
  QString& currentFolder_;
  bool& reopenFolder_;
  const QString appTitle_;
  bool opening_ = false;
  bool openPending_ = false;
};

}  // namespace lumaset
