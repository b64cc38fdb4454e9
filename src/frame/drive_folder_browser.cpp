#include "frame/drive_folder_browser.h"

#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QListWidget>
#include <QStyle>

#include "frame/working_folders.h"

namespace lumaset {

namespace {

constexpr int kPathRole = Qt::UserRole;

}  // namespace

QString ListPath(const QString& path) { return QDir::cleanPath(QDir(path).absolutePath()); }

DriveFolderBrowser::DriveFolderBrowser(QList<Drive> drives, QWidget* owner)
    : QObject(owner), drives_(std::move(drives)) {
  drive1_ = new QComboBox(owner);
  drive1_->setObjectName(QStringLiteral("Drive1"));
  drive1_->setAccessibleName(QStringLiteral("Drive"));
  for (const Drive& drive : drives_) {
    const QString text = drive.label.isEmpty()
                             ? drive.rootPath
                             : drive.rootPath + QStringLiteral(" [%1]").arg(drive.label);
    drive1_->addItem(text, drive.rootPath);
  }
  dir1_ = new QListWidget(owner);
  dir1_->setObjectName(QStringLiteral("Dir1"));
  dir1_->setAccessibleName(QStringLiteral("Folder"));
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

}  // namespace lumaset
