#include "frame/drive_folder_browser.h"

#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QKeyEvent>
#include <QPainter>
#include <QStyledItemDelegate>
#include <QListWidget>
#include <QStyle>

#include "frame/fit_text.h"
#include "frame/working_folders.h"

namespace lumaset {

namespace {

constexpr int kPathRole = Qt::UserRole;
constexpr int kDepthRole = Qt::UserRole + 1;

// Shows each folder indented by its depth below the root. The names
// themselves start with their first letter, so that typing one finds it.
class IndentedNames : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;

  void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    QStyleOptionViewItem indented(option);
    indented.rect.setLeft(option.rect.left() + Indent(option, index));
    QStyledItemDelegate::paint(painter, indented, index);
  }

  QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    return QStyledItemDelegate::sizeHint(option, index) + QSize(Indent(option, index), 0);
  }

 private:
  static int Indent(const QStyleOptionViewItem& option, const QModelIndex& index) {
    return index.data(kDepthRole).toInt() * 2 * option.fontMetrics.averageCharWidth();
  }
};

}  // namespace

QString ListPath(const QString& path) { return QDir::cleanPath(QDir(path).absolutePath()); }

DriveFolderBrowser::DriveFolderBrowser(QList<Drive> drives, QWidget* owner)
    : QObject(owner), drives_(std::move(drives)) {
  drive1_ = new ShortenedComboBox(owner);
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
  dir1_->setItemDelegate(new IndentedNames(dir1_));
  dir1_->installEventFilter(this);
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
    auto* item = new QListWidgetItem(icon, text, dir1_);
    item->setData(kPathRole, itemPath);
    item->setData(kDepthRole, depth);
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

// Enter opens the current folder and goes no further: the dialog's default
// button must not take it as well.
bool DriveFolderBrowser::eventFilter(QObject* watched, QEvent* event) {
  if (watched == dir1_ && event->type() == QEvent::KeyPress) {
    const int key = static_cast<QKeyEvent*>(event)->key();
    if (key == Qt::Key_Return || key == Qt::Key_Enter) {
      FolderActivated(dir1_->currentItem());
      return true;
    }
  }
  return QObject::eventFilter(watched, event);
}

void DriveFolderBrowser::FolderActivated(QListWidgetItem* item) {
  if (item) setFolderPath(item->data(kPathRole).toString());
}

}  // namespace lumaset
