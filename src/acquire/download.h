#pragma once

// The File menu's "&Download" commands: "&Drive" copies the pictures of a
// folder on the download drive chosen in the preferences into a folder on
// the hard disk, "&Camera" copies every file of the camera on the chosen
// connection. Both ask before an existing file is replaced, keep the window
// painting while they copy, stop after the current file when Esc is pressed,
// and end by showing the target folder in the thumbnail panel. The source's
// files are only ever read.
//
// Everything they need of the windows around them goes through
// DownloadHost, so that they run in a test without a window.

#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

#include "components/camera_device.h"
#include "components/result.h"
#include "frame/folder_picker.h"

namespace lumaset {

struct Options;
struct WorkingFolders;

// The preferences' tab of the download settings (`OptionsTab` 2).
inline constexpr int kPreferencesDownloadTab = 2;

class DownloadHost {
 public:
  virtual ~DownloadHost() = default;

  // Message boxes titled with the application's title: a notice
  // (information icon), a failure (exclamation icon), and a question with
  // Yes and No (question icon) that gives true for Yes.
  virtual void ShowInformation(const QString& text) = 0;
  virtual void ShowError(const QString& text) = 0;
  virtual bool AskYesNo(const QString& text) = 0;

  // `mnuFilePrefs_Click`: the preferences, modally, opened on tab `tab`
  // (kPreferencesDownloadTab), with their changes applied.
  virtual void OpenPreferences(int tab) = 0;
  // The folder picker, modally over the main window, in `mode`. Its request's
  // `folderPicked`, its download source and the working folders hold the
  // answer afterwards.
  virtual void PickFolder(FolderPickMode mode) = 0;
  // `mnuFileOpen_Click` with the reopen request: the current folder is shown
  // in the folder tree and the thumbnail panel, whose thumbnails are made
  // before it returns.
  virtual void OpenCurrentFolder() = 0;
  // The full paths of the pictures the thumbnail panel lists, in its order.
  virtual QStringList PanelFiles() const = 0;

  // The copy is under way: the hourglass and the panels disabled, or back.
  virtual void SetBusy(bool busy) = 0;
  // How far the copy is: `percent` of the files done and a line naming the
  // one being copied; 100 ends it.
  virtual void ShowProgress(int percent, const QString& text) = 0;
  // Lets pending window events run once (the window repaints; Esc arrives).
  virtual void LetEventsRun() = 0;
  // Whether Esc was pressed since the last call; the request is cleared.
  virtual bool TakeAbortRequest() = 0;
};

// Opens the camera of a connection ("USB", "Serial"); CameraDevice::OpenOnConnection
// in the program.
using CameraOpener = std::function<Result<std::unique_ptr<CameraDevice>>(const QString& connection)>;

class DownloadCommands {
 public:
  DownloadCommands(DownloadHost& host, Options& options, WorkingFolders& folders,
                   FolderPickRequest& request,
                   CameraOpener openCamera = &CameraDevice::OpenOnConnection);

  // File > Download > Drive and the toolbar's "Drive" button. While either
  // command runs, a second start (the window stays live) does nothing.
  void mnufileDownloadDrive_Click();
  // File > Download > Camera and the toolbar's "Camera" button.
  void mnuFileDownloadCamera_Click();

  // `TargetPath`: the file last written or tested.
  const QString& targetPath() const { return targetPath_; }

 private:
  // One file to bring over: where it comes from and the name it gets.
  struct Transfer {
    QString name;
    std::function<Status(const QString& targetPath)> copy;
  };
  enum class Outcome { Done, Stopped, Failed };

  // The source pick, again after the preferences while the drive cannot be
  // used; the source folder, or "" when the user gave up.
  QString PickSource();
  // The target pick; the target folder, or "" when it was not confirmed.
  QString PickTarget();
  // Copies into `target`, asking before each replacement.
  Outcome CopyAll(const QList<Transfer>& transfers, const QString& target);
  void ShowTarget(const QString& target);
  void DownloadDrive();
  void DownloadCamera();

  DownloadHost& host_;
  Options& options_;
  WorkingFolders& folders_;
  FolderPickRequest& request_;
  CameraOpener openCamera_;
  QString targetPath_;
  bool running_ = false;
};

// The question before an existing file is replaced.
QString OverwriteQuestion(const QString& name);
// Whether two folder paths name the same folder once links are resolved.
bool SameFolder(const QString& a, const QString& b);
// `name`, or "name (2).ext", "name (3).ext"... the first not in `taken`
// (compared exactly).
QString UniqueName(const QString& name, const QStringList& taken);

}  // namespace lumaset
