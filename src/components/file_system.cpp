#include "components/file_system.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>
#include <QTemporaryFile>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace lumaset {

namespace {

constexpr qint64 kCopyChunkBytes = 1 << 20;

QString errnoText(int error) {
  return QString::fromStdString(std::generic_category().message(error));
}

QByteArray nativePath(const QString& path) { return QFile::encodeName(path); }

std::filesystem::path fsPath(const QString& path) {
  return std::filesystem::path(nativePath(path).toStdString());
}

// Something, even a symbolic link that leads nowhere, has this name.
bool nameTaken(const QString& path) {
  const QFileInfo info(path);
  return info.exists() || info.isSymLink();
}

// Compares the files themselves, not their names, so that a symbolic link,
// "a/../a" or a second hard link to the source all count as the source.
bool sameFile(const QString& first, const QString& second) {
  std::error_code error;
  return std::filesystem::equivalent(fsPath(first), fsPath(second), error) && !error;
}

Status sourceProblem(const QString& source) {
  const QFileInfo info(source);
  if (!info.exists())
    return Error{QStringLiteral("The file \"%1\" does not exist.").arg(source)};
  if (info.isDir())
    return Error{QStringLiteral("\"%1\" is a folder, not a file.").arg(source)};
  return Status::success();
}

Status checkTransfer(const QString& source, const QString& destination, const QString& verb) {
  if (Status problem = sourceProblem(source); !problem) return problem;
  if (sameFile(source, destination))
    return Error{QStringLiteral("A file cannot be %1 onto itself.").arg(verb)};
  if (QFileInfo(destination).isDir())
    return Error{QStringLiteral("\"%1\" is a folder; a file cannot replace it.").arg(destination)};
  return Status::success();
}

// Makes a rename inside the folder durable, so that a source removed after a
// copy cannot outlive the copy's name after a power cut.
Status syncFolder(const QString& folder) {
  const int fd = ::open(nativePath(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  const int result = fd < 0 ? -1 : ::fsync(fd);
  const int error = errno;
  if (fd >= 0) ::close(fd);
  if (result != 0)
    return Error{QStringLiteral("The folder \"%1\" cannot be written to disk: %2").arg(folder, errnoText(error))};
  return Status::success();
}

Status cannotRead(const QString& path, const QString& why) {
  return Error{QStringLiteral("The file \"%1\" cannot be read: %2").arg(path, why)};
}

Status cannotWrite(const QString& path, const QString& why) {
  return Error{QStringLiteral("\"%1\" cannot be written: %2").arg(path, why)};
}

// QSaveFile writes under a temporary name in the destination's folder, syncs
// the data and renames it over the destination only on commit; abandoned, it
// removes its temporary file and leaves the destination alone.
Status copyContents(const QString& source, const QString& destination) {
  QFile in(source);
  if (!in.open(QIODevice::ReadOnly)) return cannotRead(source, in.errorString());
  QSaveFile out(destination);
  if (!out.open(QIODevice::WriteOnly)) return cannotWrite(destination, out.errorString());
  const auto abandon = [&out](Status why) {
    out.cancelWriting();
    return why;
  };
  for (;;) {
    const QByteArray chunk = in.read(kCopyChunkBytes);
    if (chunk.isEmpty()) {
      if (in.error() != QFileDevice::NoError) return abandon(cannotRead(source, in.errorString()));
      break;
    }
    if (out.write(chunk) != chunk.size()) return abandon(cannotWrite(destination, out.errorString()));
  }
  if (!out.flush()) return abandon(cannotWrite(destination, out.errorString()));
  // A copy keeps the original's permissions and date; the date is set once
  // the last byte is out of the buffer, since writing would move it again.
  const QFileInfo sourceInfo(source);
  out.setPermissions(sourceInfo.permissions());
  out.setFileTime(sourceInfo.lastModified(), QFileDevice::FileModificationTime);
  if (!out.commit()) return cannotWrite(destination, out.errorString());
  return Status::success();
}

QString folderOf(const QString& path) {
  const QString folder = FileSystemUtility::PathPart(path, true);
  return folder.isEmpty() ? QStringLiteral(".") : folder;
}

Status nameInUse(const QString& newPath) {
  return Error{QStringLiteral("A file named \"%1\" already exists.").arg(newPath)};
}

Status renameFailed(const QString& oldPath, const QString& newPath, int error) {
  return Error{QStringLiteral("\"%1\" cannot be renamed to \"%2\": %3").arg(oldPath, newPath, errnoText(error))};
}

bool isSymLink(const QString& path) {
  struct stat info {};
  const QString bare = path.endsWith(QLatin1Char('/')) && path.size() > 1 ? path.chopped(1) : path;
  return ::lstat(nativePath(bare).constData(), &info) == 0 && S_ISLNK(info.st_mode);
}

// A folder is a mount point when it lies on another device than its parent,
// or is its own parent (the root).
bool isMountPoint(const QString& folder) {
  struct stat self {}, parent {};
  const QByteArray path = nativePath(folder);
  if (::stat(path.constData(), &self) != 0 || ::stat((path + "/..").constData(), &parent) != 0) return false;
  return self.st_dev != parent.st_dev || self.st_ino == parent.st_ino;
}

// A temporary file beside `destination`, kept until the caller removes or renames it.
Result<QString> claimTemporary(const QString& destination) {
  const QFileInfo info(destination);
  QTemporaryFile file(info.absolutePath() + QStringLiteral("/.") + info.fileName() + QStringLiteral(".XXXXXX.") +
                      info.suffix());
  file.setAutoRemove(false);
  if (!file.open()) return Error{cannotWrite(destination, file.errorString()).error()};
  return file.fileName();
}

// The group first: changing it clears the set-group-ID bit that the
// permission bits then set again. A file whose group cannot be kept is not
// written, since others of that group would lose it.
Status takeModeAndGroup(const QString& path, const QString& model, const QString& destination) {
  struct stat wanted {}, made {};
  const QByteArray native = nativePath(path);
  if (::stat(nativePath(model).constData(), &wanted) != 0 || ::stat(native.constData(), &made) != 0)
    return cannotWrite(destination, QStringLiteral("its permissions cannot be read: %1").arg(errnoText(errno)));
  if (made.st_gid != wanted.st_gid && ::chown(native.constData(), static_cast<uid_t>(-1), wanted.st_gid) != 0)
    return cannotWrite(destination, QStringLiteral("its group cannot be kept: %1").arg(errnoText(errno)));
  if (::chmod(native.constData(), wanted.st_mode & 07777) != 0)
    return cannotWrite(destination, QStringLiteral("its permissions cannot be set: %1").arg(errnoText(errno)));
  return Status::success();
}

Status writeBeside(const QString& destination, const FileSystemUtility::FileWriter& write,
                   const QString& permissionsOf, const std::function<Status(const QString&)>& finish) {
  const Result<QString> temporary = claimTemporary(destination);
  if (!temporary) return Error{temporary.error()};
  const QString& path = *temporary;
  Status done = write(path);
  if (done) done = takeModeAndGroup(path, permissionsOf, destination);
  if (done) done = finish(path);
  if (!done) {
    QFile::remove(path);
    return done;
  }
  return syncFolder(folderOf(destination));
}

}  // namespace

QString FileSystemUtility::PathPart(const QString& path, bool folderPart) {
  if (path == QLatin1String("/")) return path;
  const bool isFolder = path.endsWith(QLatin1Char('/'));
  const QString trimmed = isFolder ? path.chopped(1) : path;
  const qsizetype slash = trimmed.lastIndexOf(QLatin1Char('/'));
  if (folderPart) return slash < 0 ? QString() : trimmed.left(slash + 1);
  const QString name = trimmed.mid(slash + 1);
  return isFolder ? name + QLatin1Char('/') : name;
}

bool FileSystemUtility::PathExists(const QString& file, const QString& folder) {
  if (file.isEmpty() && folder.isEmpty()) return false;
  if (!folder.isEmpty() && !QFileInfo(folder).isDir()) return false;
  if (!file.isEmpty() && (!nameTaken(file) || QFileInfo(file).isDir())) return false;
  return true;
}

QString FileSystemUtility::SpecialFolderDocuments() {
  const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
  if (documents.isEmpty() || !QFileInfo(documents).isDir()) return {};
  return documents.endsWith(QLatin1Char('/')) ? documents : documents + QLatin1Char('/');
}

Status FileSystemUtility::CopyFile(const QString& source, const QString& destination) {
  if (Status problem = checkTransfer(source, destination, QStringLiteral("copied")); !problem)
    return problem;
  return copyContents(source, destination);
}

Status FileSystemUtility::MoveFile(const QString& source, const QString& destination) {
  if (Status problem = checkTransfer(source, destination, QStringLiteral("moved")); !problem)
    return problem;
  if (std::rename(nativePath(source).constData(), nativePath(destination).constData()) == 0)
    return Status::success();
  if (const int error = errno; error != EXDEV)
    return Error{QStringLiteral("\"%1\" cannot be moved to \"%2\": %3").arg(source, destination, errnoText(error))};

  // Another file system: the source goes only once its copy is safely on disk.
  if (Status copied = copyContents(source, destination); !copied) return copied;
  if (Status synced = syncFolder(folderOf(destination)); !synced) return synced;
  QFile original(source);
  if (!original.remove())
    return Error{QStringLiteral("\"%1\" was copied to \"%2\", but the original cannot be removed: %3")
                     .arg(source, destination, original.errorString())};
  return Status::success();
}

// renameat2 with RENAME_NOREPLACE lets the kernel test and rename in one step.
// File systems that do not know the flag (some network and user-space ones)
// get a hard link to the new name, which also fails rather than replace, and
// then lose the old name; where even links are unknown, the new name is first
// claimed by creating it exclusively and the file renamed over that claim.
Status FileSystemUtility::RenameFile(const QString& oldPath, const QString& newPath) {
  if (!nameTaken(oldPath))
    return Error{QStringLiteral("The file \"%1\" does not exist.").arg(oldPath)};
  if (oldPath == newPath) return Status::success();
  if (::renameat2(AT_FDCWD, nativePath(oldPath).constData(), AT_FDCWD, nativePath(newPath).constData(),
                  RENAME_NOREPLACE) == 0)
    return Status::success();
  const int error = errno;
  if (error == EEXIST) return nameInUse(newPath);
  if (error != EINVAL && error != ENOSYS && error != EOPNOTSUPP) return renameFailed(oldPath, newPath, error);

  bool linkUnsupported = false;
  Status linked = file_system_detail::RenameByLink(oldPath, newPath, &linkUnsupported);
  if (!linkUnsupported) return linked;
  return file_system_detail::RenameOverPlaceholder(oldPath, newPath);
}

bool FileSystemUtility::SameFolder(const QString& first, const QString& second) {
  const QString a = QFileInfo(first).canonicalFilePath();
  return !a.isEmpty() && a == QFileInfo(second).canonicalFilePath();
}

Result<QString> FileSystemUtility::MakeFolder(const QString& parent, const QString& name) {
  if (name.isEmpty() || name == QLatin1String(".") || name == QLatin1String("..") ||
      name.contains(QLatin1Char('/')) || name.contains(QChar(0))) {
    return Error{QStringLiteral("\"%1\" cannot be the name of a folder: a name may not be empty, "
                                "\".\" or \"..\", nor contain \"/\".")
                     .arg(name)};
  }
  const QString folder = parent.endsWith(QLatin1Char('/')) ? parent : parent + QLatin1Char('/');
  const QString path = folder + name;
  if (::mkdir(nativePath(path).constData(), 0777) != 0) {
    const int error = errno;
    if (error == EEXIST) return Error{QStringLiteral("\"%1\" already exists in \"%2\".").arg(name, folder)};
    return Error{QStringLiteral("The folder \"%1\" cannot be created: %2").arg(path, errnoText(error))};
  }
  return path + QLatin1Char('/');
}

Status FileSystemUtility::CheckFolderRemovable(const QString& folder) {
  const QString canonical = QFileInfo(folder).canonicalFilePath();
  if (canonical.isEmpty()) return Error{QStringLiteral("The folder \"%1\" does not exist.").arg(folder)};
  if (isSymLink(folder)) return Error{QStringLiteral("\"%1\" is a link to another folder.").arg(folder)};
  const QString home = QFileInfo(QDir::homePath()).canonicalFilePath();
  if (canonical == QLatin1String("/") || canonical == home ||
      home.startsWith(canonical + QLatin1Char('/'))) {
    return Error{QStringLiteral("\"%1\" holds the home folder.").arg(folder)};
  }
  if (isMountPoint(canonical))
    return Error{QStringLiteral("\"%1\" is where a drive is mounted.").arg(folder)};
  return Status::success();
}

Status FileSystemUtility::RemoveEmptyFolder(const QString& folder) {
  if (::rmdir(nativePath(folder).constData()) == 0) return Status::success();
  const int error = errno;
  return Error{QStringLiteral("The folder \"%1\" cannot be removed: %2").arg(folder, errnoText(error))};
}

Status FileSystemUtility::WriteReplacing(const QString& destination, const FileWriter& write) {
  const QFileInfo info(destination);
  if (!info.exists() || info.isDir() || info.isSymLink())
    return cannotWrite(destination, QStringLiteral("it is no longer an ordinary file"));
  return writeBeside(destination, write, destination, [&destination](const QString& temporary) {
    if (std::rename(nativePath(temporary).constData(), nativePath(destination).constData()) == 0)
      return Status::success();
    return cannotWrite(destination, errnoText(errno));
  });
}

Status FileSystemUtility::WriteNew(const QString& destination, const FileWriter& write,
                                   const QString& permissionsOf) {
  if (nameTaken(destination)) return nameInUse(destination);
  return writeBeside(destination, write, permissionsOf, [&destination](const QString& temporary) {
    return RenameFile(temporary, destination);
  });
}

namespace file_system_detail {

Status RenameByLink(const QString& oldPath, const QString& newPath, bool* linkUnsupported) {
  *linkUnsupported = false;
  const QByteArray from = nativePath(oldPath);
  const QByteArray to = nativePath(newPath);
  if (::link(from.constData(), to.constData()) != 0) {
    const int error = errno;
    if (error == EEXIST) return nameInUse(newPath);
    *linkUnsupported = error == EPERM || error == EOPNOTSUPP || error == ENOSYS || error == EINVAL;
    return renameFailed(oldPath, newPath, error);
  }
  if (::unlink(from.constData()) != 0) {
    // Two names for one file would look like a copy; take the new one back.
    const int error = errno;
    ::unlink(to.constData());
    return renameFailed(oldPath, newPath, error);
  }
  return Status::success();
}

Status RenameOverPlaceholder(const QString& oldPath, const QString& newPath) {
  const QByteArray to = nativePath(newPath);
  const int fd = ::open(to.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (fd < 0) {
    const int error = errno;
    return error == EEXIST ? nameInUse(newPath) : renameFailed(oldPath, newPath, error);
  }
  ::close(fd);
  if (std::rename(nativePath(oldPath).constData(), to.constData()) != 0) {
    const int error = errno;
    ::unlink(to.constData());
    return renameFailed(oldPath, newPath, error);
  }
  return Status::success();
}

}  // namespace file_system_detail

}  // namespace lumaset
