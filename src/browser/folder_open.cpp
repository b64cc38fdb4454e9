#include "browser/folder_open.h"

#include <QFileInfo>

#include <utility>

#include "components/file_system.h"
#include "components/settings_store.h"

namespace lumaset {

namespace {

// Clears a flag however the scope is left.
class FlagScope {
 public:
  explicit FlagScope(bool& flag) : flag_(flag) { flag_ = true; }
  ~FlagScope() { flag_ = false; }
  FlagScope(const FlagScope&) = delete;
  FlagScope& operator=(const FlagScope&) = delete;

 private:
  bool& flag_;
};

}  // namespace

QString FolderDisplayName(const QString& folder) {
  const QString asFolder = folder.endsWith(QLatin1Char('/')) ? folder : folder + QLatin1Char('/');
  const QString last = FileSystemUtility::PathPart(asFolder, false);
  // The root has no name of its own; it shows as itself.
  return last == QLatin1String("/") ? last : last.chopped(1);
}

QString FolderCaptionText(int count, const QString& name) {
  if (count <= 0) return QStringLiteral("No photos in folder");
  if (count == 1) return QStringLiteral("1 picture from '%1'").arg(name);
  return QStringLiteral("%1 pictures from '%2'").arg(QString::number(count), name);
}

bool IsContactSheetCaption(const QString& pageCaption) {
  return pageCaption.startsWith(QLatin1String("Thumbnail"));
}

FolderOpener::FolderOpener(FolderOpenWindow& window, SettingsStore& settings, QString& currentFolder,
                           bool& reopenFolder, QString appTitle)
    : window_(window),
      settings_(settings),
      currentFolder_(currentFolder),
      reopenFolder_(reopenFolder),
      appTitle_(std::move(appTitle)) {}

void FolderOpener::mnuFileOpen_Click() {
  if (!reopenFolder_) {
    // The picker sets the current folder as soon as it closes, which would
    // pull the folder out from under the build that is running.
    if (opening_ || window_.MakingThumbnails()) {
      window_.ShowNotice(QStringLiteral(
          "Thumbnails are still being made. Press Esc to stop them, or wait until they are "
          "done, then open the folder again."));
      return;
    }
    if (!window_.PickPhotoFolder()) return;
    window_.SetPanelCaption(QString());
    window_.SetFolderCaption(QString());
    window_.SetWindowCaption(appTitle_);
    window_.LetEventsRun();
  } else {
    reopenFolder_ = false;
    window_.SetPanelCaption(QString());
  }
  window_.ClearEmailList();
  window_.ShowInTree(currentFolder_);
  ThumbsOpen();
}

void FolderOpener::ThumbsOpen() {
  // Events run while a folder opens; an opening asked for meanwhile follows
  // the one under way instead of emptying the table beneath its build.
  if (opening_ || window_.MakingThumbnails()) {
    openPending_ = true;
    return;
  }
  const FlagScope opening(opening_);
  do {
    openPending_ = false;
    OpenCurrentFolder();
  } while (openPending_);
}

void FolderOpener::OpenFromTree(const QString& folder) {
  currentFolder_ = folder;
  settings_.writeSetting(QStringLiteral("Folder"), currentFolder_);
  ThumbsOpen();
}

void FolderOpener::OpenCurrentFolder() {
  window_.SetPanelCaption(QString());
  window_.SetFolderCaption(QString());
  window_.SetWindowCaption(appTitle_);
  window_.LetEventsRun();

  window_.ClearThumbnails();
  if (IsContactSheetCaption(window_.PageCaption())) window_.NewPage();

  const QString name = FolderDisplayName(currentFolder_);
  window_.SetWindowCaption(QStringLiteral("%1 (%2)").arg(appTitle_, name));

  const QString kept = window_.StatusText();
  window_.SetStatusText(QStringLiteral("Loading thumbnails..."));
  int count = 0;
  if (QFileInfo(currentFolder_).isDir()) {
    count = window_.MakeThumbnails();
  } else {
    window_.ShowError(QStringLiteral("Error opening folder: The folder \"%1\" cannot be found.")
                          .arg(currentFolder_));
  }
  ShowFolderCount(count, name);
  window_.SetStatusText(kept);
}

void FolderOpener::ShowFolderCount(int count, const QString& name) {
  window_.SetFolderCaption(FolderCaptionText(count, name));
  if (count <= 0) {
    window_.SetPanelCaption(QStringLiteral("Thumbnail Panel (none)"));
    window_.SetFolderTools(false);
  } else {
    window_.SetPanelCaption(QString());
    window_.SetFolderTools(true);
  }
}

}  // namespace lumaset
