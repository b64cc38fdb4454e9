// Renaming and rotating the selected picture file, and editing it in the
// desktop's default application.

#include <QEventLoop>
#include <QFileInfo>
#include <QFutureWatcher>
#include <QMetaObject>
#include <QtConcurrent/QtConcurrentRun>

#include <atomic>
#include <functional>
#include <optional>
#include <utility>

#include "acquire/file_command_host.h"
#include "acquire/file_commands.h"
#include "acquire/rotate_file.h"
#include "browser/background_work.h"
#include "browser/thumbnail_area.h"
#include "components/file_system.h"
#include "components/imaging/decode_memory.h"
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
// file is written whole or not at all. The work stops where it can once
// `stop` is set; `progress` hears, on the window's thread, the latest of
// the percentages the work reports (a Cancel click that arrives while it
// shows one may set `stop`).
template <typename T, typename Work>
T OffTheWindow(Work work, const std::atomic<bool>& stop, const std::function<void(int)>& progress = {}) {
  QFutureWatcher<T> running;
  QEventLoop loop;
  std::atomic<int> latest{0};
  std::atomic<bool> posted{false};
  bool showing = false;
  const auto show = [&] {
    posted = false;
    if (std::exchange(showing, true)) return;  // a report that came while one is shown waits for the next
    progress(latest);
    showing = false;
  };
  const WorkProgress::Listener listener = [&](int percent) {
    latest = percent;
    if (progress && !posted.exchange(true)) QMetaObject::invokeMethod(&loop, show, Qt::QueuedConnection);
  };
  QObject::connect(&running, &QFutureWatcherBase::finished, &loop, &QEventLoop::quit);
  running.setFuture(QtConcurrent::run(BackgroundPool(), [&] {
    const DecodeStop::Scope stopped([&stop] { return stop.load(std::memory_order_relaxed); });
    const WorkProgress::Scope reported(listener);
    return work();
  }));
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

// The command's hold on the panel, the window and the stop for as long as
// a turn runs, however it ends.
class FileCommands::TurnScope {
 public:
  explicit TurnScope(FileCommands& commands) : commands_(commands) {
    commands_.turning_ = true;
    commands_.stopTurn_ = false;
    commands_.host_.SetTurning(true);
  }
  ~TurnScope() {
    commands_.host_.SetTurning(false);
    commands_.turning_ = false;
  }
  TurnScope(const TurnScope&) = delete;
  TurnScope& operator=(const TurnScope&) = delete;

 private:
  FileCommands& commands_;
};

// A picture that cannot be turned without loss is refused before any work.
// The file is read, turned, checked and written on a worker while the
// window paints and the progress window shows how far the turn has come;
// its Cancel, or the program's end, stops the turn and drops it before
// anything is written. The file is written only once the whole turned
// picture is there.
Status FileCommands::Rotate(int index) {
  const QString file = context_.panel.table().ThumbFiles(index);
  if (Status turnable = CheckTurnable(file); !turnable) return turnable;
  const std::optional<FileIdentity> loadedFile = FileIdentity::Of(file);
  const TurnScope turning(*this);
  // Only a picture written anew as a JPEG is loaded and turned here; every
  // other file turns from the samples it stores, at their own depth (a page
  // widened to 32 bits a pixel and turned beside it would cost many times
  // as much: 64 times for a black-and-white one).
  const bool held = TurnNeedsHeldPicture(file);
  if (held) {
    if (const Status turned = TurnHeldPicture(file); !turned) return turned.cancelled() ? Status::success() : turned;
  }
  const bool shown = context_.options.showProgress && !held;
  std::optional<Result<TurnedPicture>> turned;
  const auto progress = [this](int percent) {
    if (host_.ShowProgress(percent, QString())) stopTurn_ = true;
  };
  const auto turn = [&] {
    if (shown && host_.ShowProgress(0, QStringLiteral("Rotating"))) stopTurn_ = true;
    turned.emplace(OffTheWindow<Result<TurnedPicture>>(
        [&imaging = context_.imaging, file, loadedFile] { return TurnPicture(imaging, file, loadedFile); },
        stopTurn_, shown ? std::function<void(int)>(progress) : std::function<void(int)>()));
  };
  const bool cancelled = held ? (turn(), false) : host_.RunWithProgress(turn);
  if ((cancelled && shown) || stopTurn_) return Status::success();
  if (!*turned) return Error{turned->error()};
  // Written whole once begun, whatever is asked meanwhile.
  const std::atomic<bool> never{false};
  const Result<QString> saved =
      OffTheWindow<Result<QString>>([picture = **turned] { return WriteTurnedPicture(picture); }, never);
  if (!saved) return Error{saved.error()};
  // The cell of the file is rebuilt, wherever the table holds it now.
  const ThumbTable& table = context_.panel.table();
  const int cell = table.isValid(index) && table.ThumbFiles(index) == file ? index : IndexOf(file);
  if (cell < 0) return Status::success();
  context_.panel.table().setFile(cell, *saved);
  RebuildCell(cell);
  return Status::success();
}

// The picture loaded into the imaging object on a worker, then turned there
// under the progress window, which the object's progress drives. A
// cancelled error when Cancel or the program's end drops it.
Status FileCommands::TurnHeldPicture(const QString& file) {
  Imaging& imaging = context_.imaging;
  const bool showProgress = context_.options.showProgress;
  const Error dropped{QString(), true};
  imaging.setProgressEnabled(false);  // the load reports to no window from its worker
  const Status loaded = OffTheWindow<Status>([&imaging, file] { return imaging.LoadFile(file); }, stopTurn_);
  if (stopTurn_) return dropped;
  if (!loaded) return loaded;
  Status turned;
  const bool cancelled = host_.RunWithProgress([&] {
    imaging.setProgressEnabled(showProgress);
    turned = imaging.ImgRotate(90.0);
    imaging.setProgressEnabled(false);
  });
  if ((cancelled && showProgress) || stopTurn_) return dropped;
  return turned;
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
