#include "frame/data_folder_preferences.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QInputDialog>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

#include "components/settings_store.h"
#include "frame/folder_picker.h"
#include "frame/number_from_setting.h"
#include "frame/startup.h"

namespace lumaset {

namespace {

constexpr int kPathRole = Qt::UserRole;

// A folder path as the folder list holds it: absolute, without a final "/"
// except for the root.
QString ListPath(const QString& path) { return QDir::cleanPath(QDir(path).absolutePath()); }

}  // namespace

std::optional<QString> AskText(QWidget* parent, const QString& title, const QString& prompt) {
  bool accepted = false;
  const QString text =
      QInputDialog::getText(parent, title, prompt, QLineEdit::Normal, QString(), &accepted);
  return accepted ? std::optional<QString>(text) : std::nullopt;
}

// ---------------------------------------------------------------- browser

DriveFolderBrowser::DriveFolderBrowser(QList<Drive> drives, QWidget* owner)
    : QObject(owner), drives_(std::move(drives)) {
  drive1_ = new QComboBox(owner);
  drive1_->setObjectName(QStringLiteral("Drive1"));
  for (const Drive& drive : drives_) {
    const QString text = drive.label.isEmpty()
                             ? drive.rootPath
                             : drive.rootPath + QStringLiteral(" [%1]").arg(drive.label);
    drive1_->addItem(text, drive.rootPath);
  }
  dir1_ = new QListWidget(owner);
  dir1_->setObjectName(QStringLiteral("Dir1"));
  connect(drive1_, &QComboBox::activated, this, &DriveFolderBrowser::DriveChosen);
  connect(dir1_, &QListWidget::itemActivated, this, &DriveFolderBrowser::FolderActivated);
}

DriveFolderBrowser::~DriveFolderBrowser() = default;

bool DriveFolderBrowser::setFolderPath(const QString& path) {
  if (path.isEmpty()) return false;
  const QString listPath = ListPath(path);
  const QFileInfo info(listPath);
  if (!info.isDir() || !info.isExecutable()) return false;
  folderPath_ = listPath;
  FillFolderList();
  SyncDriveList();
  emit folderChanged(folderPath_);
  return true;
}

void DriveFolderBrowser::selectDrive(int index) {
  drive1_->setCurrentIndex(index);
  DriveChosen(index);
}

void DriveFolderBrowser::FillFolderList() {
  const QString root = ListPath(DriveRootOf(drives_, folderPath_));
  dir1_->clear();
  const QIcon openIcon = dir1_->style()->standardIcon(QStyle::SP_DirOpenIcon);
  const QIcon closedIcon = dir1_->style()->standardIcon(QStyle::SP_DirClosedIcon);
  int depth = 0;
  const auto add = [&](const QIcon& icon, const QString& text, const QString& itemPath) {
    auto* item = new QListWidgetItem(icon, QString(depth * 2, QLatin1Char(' ')) + text, dir1_);
    item->setData(kPathRole, itemPath);
    return item;
  };
  QListWidgetItem* current = add(openIcon, WithTrailingSlash(root), root);
  QString path = root;
  const QString below = folderPath_.mid(WithTrailingSlash(root).size());
  for (const QString& name : below.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
    path = WithTrailingSlash(path) + name;
    ++depth;
    current = add(openIcon, name, path);
  }
  dir1_->setCurrentItem(current);
  ++depth;
  const QStringList children = QDir(folderPath_).entryList(QDir::Dirs | QDir::NoDotAndDotDot,
                                                           QDir::Name | QDir::IgnoreCase);
  for (const QString& name : children) add(closedIcon, name, WithTrailingSlash(folderPath_) + name);
}

// Shows the drive that holds the folder, without the change a user's choice brings.
void DriveFolderBrowser::SyncDriveList() {
  drive1_->setCurrentIndex(drive1_->findData(DriveRootOf(drives_, folderPath_)));
}

void DriveFolderBrowser::DriveChosen(int index) {
  // A drive that cannot be read keeps the lists where they were.
  if (!setFolderPath(drive1_->itemData(index).toString())) SyncDriveList();
}

void DriveFolderBrowser::FolderActivated(QListWidgetItem* item) {
  if (item) setFolderPath(item->data(kPathRole).toString());
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
