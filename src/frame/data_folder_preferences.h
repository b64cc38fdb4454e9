#pragma once

// `frmPref`, the small dialog behind the preferences' "Preferences..."
// button: it chooses the layouts folder (setting "DataPath"), can make a new
// folder there, and switches the 30-day update reminder (setting "Update").
// Also the drive and folder lists it shares with the layout cleaner.

#include <QDate>
#include <QDialog>
#include <QList>
#include <QObject>
#include <QString>

#include <functional>
#include <optional>

#include "components/drives.h"
#include "frame/about_box.h"
#include "frame/notice_window.h"

class QCheckBox;
class QComboBox;
class QListWidget;
class QListWidgetItem;
class QPushButton;

namespace lumaset {

class SettingsStore;

// Asks for a line of text; nullopt when the prompt was cancelled.
using TextPrompt = std::function<std::optional<QString>(QWidget* parent, const QString& title,
                                                        const QString& prompt)>;
// An input box.
std::optional<QString> AskText(QWidget* parent, const QString& title, const QString& prompt);

// A drive list over a folder list: the folder list shows the way down from
// the drive's root to the open folder, then that folder's subfolders; a
// double-click opens one. The widgets belong to the dialog that places them.
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

  QList<Drive> drives_;
  QString folderPath_;
  QComboBox* drive1_ = nullptr;
  QListWidget* dir1_ = nullptr;
};

struct DataFolderSetup {
  SettingsStore& settings;
  QList<Drive> drives;
  QString prefFolder;     // PrefFolder: the layouts folder to show first, or ""
  QString programFolder;  // shown when there is no layouts folder to show
  QString appTitle;
  EventSoundPlayer playEvent;  // empty without a wave output device
  MessageBoxFunction messageBox = &ShowMessageBox;
  TextPrompt askText = &AskText;
  UpdateReminder::Clock today = &QDate::currentDate;
};

class DataFolderDialog : public QDialog {
  Q_OBJECT

 public:
  explicit DataFolderDialog(DataFolderSetup setup, QWidget* parent = nullptr);
  ~DataFolderDialog() override;

  // PrefFolder: after OK on another folder, that folder ending in "/";
  // otherwise what the caller put in.
  QString prefFolder() const { return prefFolder_; }

  DriveFolderBrowser& browser() { return *browser_; }
  QCheckBox* updateBox() const { return chkUp_; }

  // `cmdCreate_Click`: asks for a name and makes that folder in the open one.
  void cmdCreateClick();
  void cmdOKClick();

  void done(int result) override;

 private:
  void BuildControls();
  void FormLoad();

  DataFolderSetup setup_;
  QString prefFolder_;
  DriveFolderBrowser* browser_ = nullptr;
  QCheckBox* chkUp_ = nullptr;
  bool reminderSwitchedOn_ = false;  // OK then starts the 30 days from today
  bool unloaded_ = false;
};

}  // namespace lumaset
