#include "acquire/download.h"

#include <QFileInfo>

#include <utility>

#include "components/drives.h"
#include "components/file_system.h"
#include "frame/settings.h"
#include "frame/working_folders.h"

namespace lumaset {

namespace {

const QString kDownloadError = QStringLiteral("Download error:\n\n");

// Anything by that name counts, hidden files and dangling links included:
// nothing is ever replaced without the user's Yes.
bool SomethingAt(const QString& path) {
  const QFileInfo info(path);
  return info.exists() || info.isSymLink();
}

bool ReadableFolder(const QString& folder) {
  const QFileInfo info(folder);
  return info.isDir() && info.isReadable() && info.isExecutable();
}

}  // namespace

QString OverwriteQuestion(const QString& name) {
  return QStringLiteral("File <") + name +
         QStringLiteral("> already exits on targer drive!\nDo you wish to overwrite it?");
}

bool SameFolder(const QString& a, const QString& b) {
  const QString first = QFileInfo(a).canonicalFilePath();
  return !first.isEmpty() && first == QFileInfo(b).canonicalFilePath();
}

QString UniqueName(const QString& name, const QStringList& taken) {
  if (!taken.contains(name)) return name;
  const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
  const QString stem = dot > 0 ? name.left(dot) : name;
  const QString extension = dot > 0 ? name.mid(dot) : QString();
  for (int n = 2;; ++n) {
    const QString candidate = QStringLiteral("%1 (%2)%3").arg(stem).arg(n).arg(extension);
    if (!taken.contains(candidate)) return candidate;
  }
}

DownloadCommands::DownloadCommands(DownloadHost& host, Options& options, WorkingFolders& folders,
                                   FolderPickRequest& request, CameraOpener openCamera)
    : host_(host),
      options_(options),
      folders_(folders),
      request_(request),
      openCamera_(std::move(openCamera)) {}

void DownloadCommands::mnufileDownloadDrive_Click() {
  if (std::exchange(running_, true)) return;
  DownloadDrive();
  running_ = false;
}

void DownloadCommands::mnuFileDownloadCamera_Click() {
  if (std::exchange(running_, true)) return;
  DownloadCamera();
  running_ = false;
}

void DownloadCommands::DownloadDrive() {
  if (options_.downloadDrive.isEmpty()) {
    host_.ShowInformation(QStringLiteral("Please select source drive from preferences"));
    host_.OpenPreferences(kPreferencesDownloadTab);
    return;
  }
  const QString source = PickSource();
  if (source.isEmpty()) return;

  // From here on the panel shows the source, and the current folder says so,
  // until the target takes its place.
  folders_.current = source;
  host_.OpenCurrentFolder();
  const QStringList files = host_.PanelFiles();
  if (!host_.AskYesNo(QStringLiteral("Do you wish to download these images to your hard drive?")))
    return;
  const QString target = PickTarget();
  if (target.isEmpty()) return;
  if (SameFolder(source, target)) {
    host_.ShowInformation(QStringLiteral(
        "The pictures are in that folder already. Choose another folder to download them to."));
    return;
  }

  QList<Transfer> transfers;
  for (const QString& file : files) {
    transfers.append({FileSystemUtility::PathPart(file, false), [file](const QString& to) {
                        return FileSystemUtility::CopyFile(file, to);
                      }});
  }
  if (CopyAll(transfers, target) != Outcome::Failed) ShowTarget(target);
}

void DownloadCommands::DownloadCamera() {
  if (options_.camera.isEmpty() || options_.cameraConnection.isEmpty()) {
    host_.ShowInformation(QStringLiteral("Please select camera-type from preferences"));
    host_.OpenPreferences(kPreferencesDownloadTab);
    return;
  }
  const QString target = PickTarget();
  if (target.isEmpty()) return;

  host_.SetBusy(true);
  host_.LetEventsRun();
  Result<std::unique_ptr<CameraDevice>> opened = openCamera_(options_.cameraConnection);
  Result<QList<CameraPicture>> listed =
      opened ? opened.value()->ListFiles() : Result<QList<CameraPicture>>(Error{opened.error()});
  host_.SetBusy(false);
  if (!listed) {
    host_.ShowError(kDownloadError + listed.error());
    return;
  }
  if (listed->isEmpty()) {
    host_.ShowInformation(QStringLiteral("There are no pictures on the camera."));
    return;
  }

  // Cameras number their pictures anew in every folder: a name met twice
  // gets a number, so that no picture of this download replaces another.
  CameraDevice* camera = opened.value().get();
  QStringList names;
  QList<Transfer> transfers;
  for (const CameraPicture& picture : *listed) {
    names.append(UniqueName(picture.name, names));
    transfers.append({names.constLast(), [camera, picture](const QString& to) {
                        return camera->CopyFile(picture, to);
                      }});
  }
  if (CopyAll(transfers, target) != Outcome::Failed) ShowTarget(target);
}

QString DownloadCommands::PickSource() {
  for (;;) {
    host_.PickFolder(FolderPickMode::DownloadSource);
    host_.LetEventsRun();
    if (!request_.folderPicked) return {};
    const QString source = request_.downloadSource;
    if (!source.isEmpty() && MountPointUsable(options_.downloadDrive) && ReadableFolder(source))
      return WithTrailingSlash(source);
    if (!host_.AskYesNo(QStringLiteral(
            "Source unavailable. Do you wish to select a new source drive from preferences?")))
      return {};
    host_.OpenPreferences(kPreferencesDownloadTab);
    if (options_.downloadDrive.isEmpty()) return {};
  }
}

QString DownloadCommands::PickTarget() {
  host_.PickFolder(FolderPickMode::DownloadTarget);
  host_.LetEventsRun();
  // A picker closed any way but OK confirmed nothing.
  if (!request_.folderPicked || folders_.downloadTarget.isEmpty()) return {};
  return WithTrailingSlash(folders_.downloadTarget);
}

DownloadCommands::Outcome DownloadCommands::CopyAll(const QList<Transfer>& transfers,
                                                    const QString& target) {
  host_.TakeAbortRequest();  // an Esc from before the command does not count
  host_.SetBusy(true);
  Outcome outcome = Outcome::Done;
  const qsizetype total = transfers.size();
  for (qsizetype i = 0; i < total; ++i) {
    const Transfer& transfer = transfers[i];
    host_.ShowProgress(static_cast<int>(i * 100 / total),
                       QStringLiteral("Downloading %1 (%2 of %3)").arg(transfer.name).arg(i + 1).arg(total));
    host_.LetEventsRun();
    if (host_.TakeAbortRequest()) {
      outcome = Outcome::Stopped;
      break;
    }
    targetPath_ = target + transfer.name;
    if (SomethingAt(targetPath_) && !host_.AskYesNo(OverwriteQuestion(transfer.name))) continue;
    if (const Status copied = transfer.copy(targetPath_); !copied) {
      host_.ShowProgress(100, {});
      host_.SetBusy(false);
      host_.ShowError(kDownloadError + copied.error());
      return Outcome::Failed;
    }
  }
  host_.ShowProgress(100, {});
  host_.SetBusy(false);
  return outcome;
}

void DownloadCommands::ShowTarget(const QString& target) {
  folders_.current = target;
  host_.OpenCurrentFolder();
}

}  // namespace lumaset
