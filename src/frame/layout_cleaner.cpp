#include "frame/layout_cleaner.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QListWidget>
#include <QPushButton>
#include <QSet>
#include <QSignalBlocker>

#include <algorithm>

#include "frame/drive_folder_browser.h"
#include "frame/working_folders.h"

namespace lumaset {

namespace {

bool IsDigits(QStringView text) {
  return !text.isEmpty() &&
         std::all_of(text.begin(), text.end(), [](QChar c) { return c >= u'0' && c <= u'9'; });
}

// The hourglass for as long as it lives.
class BusyPointer {
 public:
  explicit BusyPointer(bool on) : on_(on) {
    if (on_) QApplication::setOverrideCursor(Qt::WaitCursor);
  }
  ~BusyPointer() {
    if (on_) QApplication::restoreOverrideCursor();
  }
  BusyPointer(const BusyPointer&) = delete;
  BusyPointer& operator=(const BusyPointer&) = delete;

 private:
  bool on_;
};

// The pictures that the other layouts in `folder` show: a layout saved from
// an opened one points at the first one's copies, which must then stay.
QSet<QString> PicturesOfOtherLayouts(const QString& folder, const QString& layoutName,
                                     const LayoutPicturesReader& readPictures) {
  QSet<QString> named;
  const QDir dir(folder);
  const QStringList layouts =
      dir.entryList({QStringLiteral("*") + QLatin1String(kLayoutExtension)},
                    QDir::Files | QDir::CaseSensitive);
  for (const QString& name : layouts) {
    if (name == layoutName) continue;
    const Result<QStringList> pictures = readPictures(dir.filePath(name));
    if (!pictures) continue;  // a file that cannot be read shows nothing
    for (const QString& picture : *pictures) named.insert(QDir::cleanPath(picture));
  }
  return named;
}

}  // namespace

bool IsLayoutCopyName(QStringView fileName, QStringView layoutName) {
  const QLatin1String extension(kLayoutExtension);
  if (!layoutName.endsWith(extension)) return false;
  const QStringView base = layoutName.chopped(extension.size());
  const QLatin1String ending(kLayoutCopyEnding);
  if (fileName.size() <= base.size() + 1 + ending.size()) return false;
  if (!fileName.startsWith(base) || fileName[base.size()] != u'-' || !fileName.endsWith(ending))
    return false;
  // The slot in plain digits, and " (2)", " (3)"... when the save found the
  // first name taken.
  QStringView slot = fileName.mid(base.size() + 1).chopped(ending.size());
  if (const qsizetype open = slot.indexOf(u" ("); open >= 0) {
    if (!slot.endsWith(u')') || !IsDigits(slot.sliced(open + 2).chopped(1))) return false;
    slot.truncate(open);
  }
  return IsDigits(slot);
}

QStringList LayoutCopies(const QString& folder, const QString& layoutName) {
  QStringList copies;
  const QStringList names =
      QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::NoSort);
  for (const QString& name : names) {
    if (IsLayoutCopyName(name, layoutName)) copies << name;
  }
  copies.sort();
  return copies;
}

Status DeleteLayout(const QString& folder, const QString& layoutName, const Recycler& recycle,
                    const LayoutPicturesReader& readPictures,
                    const std::function<void()>& betweenFiles) {
  if (!layoutName.endsWith(QLatin1String(kLayoutExtension)) ||
      layoutName.contains(QLatin1Char('/'))) {
    return Error{QStringLiteral("\"%1\" is not a layout file.").arg(layoutName)};
  }
  const QString inFolder = WithTrailingSlash(folder);
  const QStringList copies = LayoutCopies(inFolder, layoutName);
  const QSet<QString> shared = copies.isEmpty() || !readPictures
                                   ? QSet<QString>()
                                   : PicturesOfOtherLayouts(inFolder, layoutName, readPictures);
  for (const QString& copy : copies) {
    if (!readPictures || shared.contains(QDir::cleanPath(inFolder + copy))) continue;
    if (Status sent = recycle({inFolder + copy}); !sent) return sent;
    if (betweenFiles) betweenFiles();
  }
  return recycle({inFolder + layoutName});
}

CleanOutcome CleanSavedLayout(const LayoutCleanerSetup& setup) {
  LayoutChoice choice;
  for (;;) {
    choice = setup.pick();
    if (choice.name.isEmpty()) return CleanOutcome::NothingChosen;
    if (choice.name != QLatin1String(kSampleLayoutName)) break;
    setup.messageBox(setup.owner, QMessageBox::Warning, setup.appTitle,
                     QStringLiteral("'Sample.lsf' is a program file, try another name."),
                     QMessageBox::Ok);
  }
  const auto answer = setup.messageBox(
      setup.owner, QMessageBox::Question, setup.appTitle,
      QStringLiteral("Are you sure you want to delete this layout file?"),
      QMessageBox::Yes | QMessageBox::No);
  if (answer != QMessageBox::Yes) return CleanOutcome::Declined;

  Status deleted;
  {
    const BusyPointer busy(setup.busyPointer);
    deleted = DeleteLayout(choice.folder, choice.name, setup.recycle, setup.readPictures,
                           setup.betweenFiles);
  }
  if (!deleted) {
    setup.messageBox(setup.owner, QMessageBox::Warning, setup.appTitle,
                     QStringLiteral("Error deleting pages: ") + deleted.error(), QMessageBox::Ok);
    return CleanOutcome::Failed;
  }
  return CleanOutcome::Deleted;
}

// ---------------------------------------------------------------- picker

LayoutPickerDialog::LayoutPickerDialog(QList<Drive> drives, const QString& layoutFolder,
                                       std::function<void(bool wait)> playSound,
                                       QWidget* parent)
    : QDialog(parent), playSound_(std::move(playSound)) {
  setObjectName(QStringLiteral("frmOptionsClean"));
  setWindowTitle(QStringLiteral("Delete Lumaset Saved Layout"));
  browser_ = new DriveFolderBrowser(std::move(drives), this);
  browser_->driveList()->setToolTip(QStringLiteral("Select drive"));
  browser_->folderList()->setToolTip(QStringLiteral("Double-click to choose folder"));
  file1_ = new QListWidget(this);
  file1_->setObjectName(QStringLiteral("File1"));
  file1_->setAccessibleName(QStringLiteral("Layouts"));
  file1_->setToolTip(QStringLiteral("Click to choose layout to delete"));
  auto* cmdOK = new QPushButton(QStringLiteral("OK"), this);
  cmdOK->setObjectName(QStringLiteral("cmdOK"));
  auto* cmdCancel = new QPushButton(QStringLiteral("Cancel"), this);
  cmdCancel->setObjectName(QStringLiteral("cmdCancel"));

  auto* grid = new QGridLayout(this);
  grid->addWidget(browser_->driveList(), 0, 0);
  grid->addWidget(browser_->folderList(), 1, 0);
  grid->addWidget(file1_, 0, 1, 2, 1);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(cmdOK);
  buttons->addWidget(cmdCancel);
  grid->addLayout(buttons, 2, 0, 1, 2);

  connect(browser_, &DriveFolderBrowser::folderChanged, this, &LayoutPickerDialog::FolderChanged);
  connect(file1_, &QListWidget::currentItemChanged, this, &LayoutPickerDialog::FileClicked);
  connect(cmdOK, &QPushButton::clicked, this, &LayoutPickerDialog::accept);
  connect(cmdCancel, &QPushButton::clicked, this, &LayoutPickerDialog::reject);

  if (playSound_) playSound_(false);
  loaded_ = browser_->setFolderPath(layoutFolder);
}

LayoutPickerDialog::~LayoutPickerDialog() = default;

// The choice is always a file the list shows: another folder starts afresh.
void LayoutPickerDialog::FolderChanged(const QString& path) {
  {
    const QSignalBlocker blocker(file1_);
    file1_->clear();
    QDir folder(path);
    folder.setNameFilters({QStringLiteral("*") + QLatin1String(kLayoutExtension)});
    folder.setFilter(QDir::Files | QDir::CaseSensitive);
    folder.setSorting(QDir::Name | QDir::IgnoreCase);
    file1_->addItems(folder.entryList());
    file1_->setCurrentRow(-1);
  }
  choice_ = {};
}

void LayoutPickerDialog::FileClicked(QListWidgetItem* item) {
  if (item) choice_ = {WithTrailingSlash(browser_->folderPath()), item->text()};
}

int LayoutPickerDialog::exec() {
  if (!loaded_) {
    done(QDialog::Rejected);
    return QDialog::Rejected;
  }
  return QDialog::exec();
}

void LayoutPickerDialog::reject() {
  choice_ = {};
  QDialog::reject();
}

void LayoutPickerDialog::done(int result) {
  if (result != QDialog::Accepted) choice_ = {};
  if (!unloaded_) {
    unloaded_ = true;
    if (playSound_) playSound_(true);
  }
  QDialog::done(result);
}

}  // namespace lumaset
