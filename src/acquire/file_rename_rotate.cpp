// Renaming and rotating the selected picture file, and editing it in the
// desktop's default application.

#include <QEventLoop>
#include <QFileInfo>
#include <QFutureWatcher>
#include <QtConcurrent/QtConcurrentRun>

#include <optional>

#include "acquire/file_command_host.h"
#include "acquire/file_commands.h"
#include "acquire/rotate_file.h"
#include "browser/background_work.h"
#include "browser/thumbnail_area.h"
#include "components/file_system.h"
#include "components/imaging/imaging.h"
#include "frame/settings.h"

namespace lumaset {

namespace {

using FS = FileSystemUtility;

Status CheckFileName(const QString& name) {
  if (name == QLatin1String(".") || name == QLatin1String("..") || name.contains(QLatin1Char('/')) ||
      name.contains(QChar(0))) {
    return Error{QStringLiteral("\"%1\" cannot be the name of a file: a name may not be \".\" or \"..\" "
                                "nor contain \"/\".")
                     .arg(name)};
  }
  return Status::success();
}

// Runs `work` on a worker while the window's events go on, and gives its
// result. Work under way when the program ends is waited for, so that a
// file is written whole or not at all.
template <typename T, typename Work>
T OffTheWindow(Work work) {
  QFutureWatcher<T> running;
  QEventLoop loop;
  QObject::connect(&running, &QFutureWatcherBase::finished, &loop, &QEventLoop::quit);
  running.setFuture(QtConcurrent::run(BackgroundPool(), std::move(work)));
  loop.exec();
  running.waitForFinished();
  return running.result();
}

// Restores the window however the edit ends.
class BusyScope {
 public:
  explicit BusyScope(FileCommandHost& host) : host_(host) { host_.SetBusy(true); }
  ~BusyScope() { host_.SetBusy(false); }
  BusyScope(const BusyScope&) = delete;
  BusyScope& operator=(const BusyScope&) = delete;

 private:
  FileCommandHost& host_;
};

}  // namespace

// The new name stays in the file's own folder; a name without the file's
// extension gets it, and a name in use is refused, never replaced.
void FileCommands::mnuFileOptionsRename_Click() {
  const int sel = Selected();
  if (sel < 0) return;
  const QString file = context_.panel.table().ThumbFiles(sel);
  host_.PlayPrompt();
  const std::optional<QString> answer = host_.AskText(
      QStringLiteral("Enter new file name:\n\n(The file extension will be automatically added\nif none is specified)"),
      FS::PathPart(file, false));
  if (!answer || answer->isEmpty()) return;
  QString name = *answer;
  Status renamed = CheckFileName(name);
  if (renamed) {
    const QString suffix = QFileInfo(file).suffix();
    const QString extension = suffix.isEmpty() ? QString() : QLatin1Char('.') + suffix;
    if (!name.endsWith(extension)) name += extension;
    renamed = FS::RenameFile(file, FS::PathPart(file, true) + name);
  }
  if (!renamed) {
    host_.ShowError(QStringLiteral("Error: File <%1> not renamed!\n%2").arg(file, renamed.error()));
    return;
  }
  context_.panel.table().setFile(sel, FS::PathPart(file, true) + name);
  context_.panel.update();
}

void FileCommands::mnuFileOptionsRotate_Click() {
  const int sel = Selected();
  if (sel < 0) return;
  const QString file = context_.panel.table().ThumbFiles(sel);
  if (const Status rotated = Rotate(sel); !rotated)
    host_.ShowError(QStringLiteral("Error: File <%1> not rotated!\n%2").arg(file, rotated.error()));
}

// A picture that cannot be turned without loss is refused before any work;
// the turn is thrown away when Cancel was pressed while it ran; the file is
// written only once the whole turned picture is there.
Status FileCommands::Rotate(int index) {
  Imaging& imaging = context_.imaging;
  const QString file = context_.panel.table().ThumbFiles(index);
  if (Status turnable = CheckTurnable(file); !turnable) return turnable;
  const std::optional<FileIdentity> loadedFile = FileIdentity::Of(file);
  // Only a picture written anew as a JPEG is loaded and turned here; every
  // other file turns from the samples it stores, at their own depth (a page
  // widened to 32 bits a pixel and turned beside it would cost many times
  // as much: 64 times for a black-and-white one).
  const bool held = TurnNeedsHeldPicture(file);
  if (held) {
    if (Status loaded = imaging.LoadFile(file); !loaded) return loaded;
    Status turned;
    const bool cancelled = host_.RunWithProgress([&] {
      imaging.setProgressEnabled(context_.options.showProgress);
      turned = imaging.ImgRotate(90.0);
      imaging.setProgressEnabled(false);
    });
    if (cancelled && context_.options.showProgress) return Status::success();
    if (!turned) return turned;
  }
  // The file is read, turned, checked and written on a worker, the window
  // taking no input but painting meanwhile: a large photo takes seconds.
  // Cancel drops the turn before anything is written.
  const BusyScope busy(host_);
  std::optional<Result<TurnedPicture>> turned;
  const auto turn = [&] {
    turned.emplace(OffTheWindow<Result<TurnedPicture>>(
        [&imaging, file, loadedFile] { return TurnPicture(imaging, file, loadedFile); }));
  };
  if (held) {
    turn();
  } else if (host_.RunWithProgress(turn) && context_.options.showProgress) {
    return Status::success();
  }
  if (!*turned) return Error{turned->error()};
  const Result<QString> saved =
      OffTheWindow<Result<QString>>([picture = **turned] { return WriteTurnedPicture(picture); });
  if (!saved) return Error{saved.error()};
  context_.panel.table().setFile(index, *saved);
  RebuildCell(index);
  return Status::success();
}

void FileCommands::RebuildCell(int index) { context_.panel.ThumbNailCreate(index); }

// The window stays disabled while the editor runs and keeps painting; the
// cell is read afresh from whatever the editor left in the file.
void FileCommands::mnuFileOptionsEdit_Click() {
  const int sel = Selected();
  if (sel < 0) return;
  const QString file = context_.panel.table().ThumbFiles(sel);
  const BusyScope busy(host_);
  const Result<std::optional<DesktopLaunch>> found = findEditor_(file);
  if (found && !found->has_value()) {
    host_.ShowError(QStringLiteral("Default editor not found!"));
    return;
  }
  if (!found) {
    host_.ShowNotice(QStringLiteral("Unable to start editor.\n") + found.error());
    return;
  }
  if (const Status ran = runEditor_(**found); !ran) {
    host_.ShowNotice(QStringLiteral("Unable to start editor.\n") + ran.error());
    return;
  }
  const ThumbTable& table = context_.panel.table();
  if (table.isValid(sel) && table.ThumbFiles(sel) == file) RebuildCell(sel);
}

}  // namespace lumaset
