#include "frame/data_folder_preferences.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include "components/settings_store.h"
#include "frame/drive_folder_browser.h"
#include "frame/folder_picker.h"
#include "frame/general.h"
#include "frame/number_from_setting.h"
#include "frame/working_folders.h"

namespace lumaset {

std::optional<QString> AskText(QWidget* parent, const QString& title, const QString& prompt) {
  return InputBox(parent, title, prompt);
}

// ---------------------------------------------------------------- dialog

DataFolderDialog::DataFolderDialog(DataFolderSetup setup, QWidget* parent)
    : QDialog(parent), setup_(std::move(setup)), prefFolder_(setup_.prefFolder) {
  setObjectName(QStringLiteral("frmPref"));
  BuildControls();
  FormLoad();
}

DataFolderDialog::~DataFolderDialog() = default;

void DataFolderDialog::BuildControls() {
  setWindowTitle(QStringLiteral("Preferences"));
  auto* frame = new QGroupBox(QStringLiteral("Data Folder"), this);
  frame->setObjectName(QStringLiteral("Frame1"));
  browser_ = new DriveFolderBrowser(setup_.drives, this);
  browser_->driveList()->setToolTip(QStringLiteral("Select drive"));
  browser_->folderList()->setToolTip(QStringLiteral("Double-click to select folder"));
  auto* label2 = new QLabel(QStringLiteral("Data Drive:"), frame);
  label2->setObjectName(QStringLiteral("Label2"));
  auto* label1 = new QLabel(QStringLiteral("Data Folder:"), frame);
  label1->setObjectName(QStringLiteral("Label1"));
  auto* cmdCreate = new QPushButton(QStringLiteral("New Folder"), frame);
  cmdCreate->setObjectName(QStringLiteral("cmdCreate"));
  cmdCreate->setToolTip(QStringLiteral("Create new folder in which to save layouts"));
  auto* frameGrid = new QGridLayout(frame);
  frameGrid->addWidget(label2, 0, 0);
  frameGrid->addWidget(browser_->driveList(), 0, 1);
  frameGrid->addWidget(label1, 1, 0, Qt::AlignTop);
  frameGrid->addWidget(browser_->folderList(), 1, 1);
  frameGrid->addWidget(cmdCreate, 2, 1, Qt::AlignRight);

  chkUp_ = new QCheckBox(QStringLiteral("Check for software update every 30 days"), this);
  chkUp_->setObjectName(QStringLiteral("chkUp"));
  auto* cmdOK = new QPushButton(QStringLiteral("&OK"), this);
  cmdOK->setObjectName(QStringLiteral("cmdOK"));
  cmdOK->setToolTip(QStringLiteral("Commit changes"));
  cmdOK->setDefault(true);
  auto* cmdCancel = new QPushButton(QStringLiteral("&Cancel"), this);
  cmdCancel->setObjectName(QStringLiteral("cmdCancel"));
  cmdCancel->setToolTip(QStringLiteral("Exit without changes"));

  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(cmdOK);
  buttons->addWidget(cmdCancel);
  auto* column = new QVBoxLayout(this);
  column->addWidget(frame);
  column->addWidget(chkUp_);
  column->addLayout(buttons);

  connect(cmdCreate, &QPushButton::clicked, this, &DataFolderDialog::cmdCreateClick);
  connect(cmdOK, &QPushButton::clicked, this, &DataFolderDialog::cmdOKClick);
  connect(cmdCancel, &QPushButton::clicked, this, &DataFolderDialog::reject);
  // Switching the reminder on starts its 30 days afresh on OK.
  connect(chkUp_, &QCheckBox::clicked, this, [this](bool on) { reminderSwitchedOn_ = on; });
}

void DataFolderDialog::FormLoad() {
  // A layouts folder that is gone leaves the lists at the program's folder.
  if (!browser_->setFolderPath(setup_.prefFolder) &&
      !browser_->setFolderPath(setup_.programFolder)) {
    browser_->setFolderPath(QDir::homePath());
  }
  const QString update = setup_.settings.readSetting(QStringLiteral("Update"), "0");
  chkUp_->setChecked(NumberFromSetting(update) == 1.0F);
  reminderSwitchedOn_ = false;
  if (setup_.playEvent) setup_.playEvent(u"RestoreUp", EventSoundPlay::NoWait);
}

void DataFolderDialog::cmdCreateClick() {
  if (setup_.playEvent) setup_.playEvent(u"SystemQuestion", EventSoundPlay::NoWait);
  const QString folder = browser_->folderPath();
  const std::optional<QString> name = setup_.askText(
      this, QStringLiteral("Create Folder"),
      QStringLiteral("Type the name of the new folder to create in <%1>:").arg(folder));
  if (!name || name->isEmpty()) return;
  const Result<QString> created = CreateFolder(folder, *name);
  if (!created) {
    setup_.messageBox(this, QMessageBox::Warning, setup_.appTitle,
                      QStringLiteral("Error creating folder: ") + created.error(),
                      QMessageBox::Ok);
    return;
  }
  browser_->setFolderPath(*created);
}

void DataFolderDialog::cmdOKClick() {
  // The root keeps its one "/".
  const QString chosen =
      browser_->folderPath().isEmpty() ? prefFolder_ : WithTrailingSlash(browser_->folderPath());
  if (chosen != prefFolder_) {
    prefFolder_ = chosen;
    setup_.settings.writeSetting(QStringLiteral("DataPath"), prefFolder_);
  }
  setup_.settings.writeSetting(QStringLiteral("Update"), chkUp_->isChecked() ? 1 : 0);
  if (reminderSwitchedOn_ && chkUp_->isChecked())
    UpdateReminder(setup_.settings, setup_.today).MarkChecked();
  accept();
}

void DataFolderDialog::done(int result) {
  if (!unloaded_) {
    unloaded_ = true;
    if (setup_.playEvent) setup_.playEvent(u"RestoreDown", EventSoundPlay::Wait);
  }
  QDialog::done(result);
}

}  // namespace lumaset
