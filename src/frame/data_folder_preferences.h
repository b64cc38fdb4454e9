#pragma once

// `frmPref`, the small dialog behind the preferences' "Preferences..."
// button: it chooses the layouts folder (setting "DataPath"), can make a new
// folder there, and switches the 30-day update reminder (setting "Update").

#include <QDate>
#include <QDialog>
#include <QList>
#include <QString>

#include <functional>
#include <optional>

#include "components/drives.h"
#include "frame/about_box.h"
#include "frame/notice_window.h"

class QCheckBox;

namespace lumaset {

class DriveFolderBrowser;
class SettingsStore;

// Asks for a line of text; nullopt when the prompt was cancelled.
using TextPrompt = std::function<std::optional<QString>(QWidget* parent, const QString& title,
                                                        const QString& prompt)>;
// An input box.
std::optional<QString> AskText(QWidget* parent, const QString& title, const QString& prompt);

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
