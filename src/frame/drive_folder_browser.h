#pragma once

// The drive list over a folder list that the folder picker, the data-folder
// dialog and the layout cleaner all show: the folder list shows the way down
// from the drive's root to the open folder, then that folder's subfolders; a
// double-click opens one.

#include <QList>
#include <QObject>
#include <QString>

#include "components/drives.h"

class QComboBox;
class QListWidget;
class QListWidgetItem;
class QWidget;

namespace lumaset {

// A folder path as the folder list holds it: absolute, without a final "/"
// except for the root.
QString ListPath(const QString& path);

// The widgets belong to the dialog that places them; the browser only fills
// them and follows the user's choices.
class DriveFolderBrowser : public QObject {
  Q_OBJECT

 public:
  DriveFolderBrowser(QList<Drive> drives, QWidget* owner);
  ~DriveFolderBrowser() override;

  QComboBox* driveList() const { return drive1_; }
  QListWidget* folderList() const { return dir1_; }

  // The open folder, without a final "/" except for the root.
  QString folderPath() const { return folderPath_; }
  // Opens `path`; false, with the lists unchanged, when it is no folder
  // that can be listed.
  bool setFolderPath(const QString& path);
  // Chooses drive `index` of the drive list, as the user would.
  void selectDrive(int index);

 signals:
  void folderChanged(const QString& path);

 private:
  void FillFolderList();
  void SyncDriveList();
  void DriveChosen(int index);
  void FolderActivated(QListWidgetItem* item);
  bool eventFilter(QObject* watched, QEvent* event) override;

  QList<Drive> drives_;
  QString folderPath_;
  QComboBox* drive1_ = nullptr;
  QListWidget* dir1_ = nullptr;
};

}  // namespace lumaset
