#include "components/file_system.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QStandardPaths>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <utility>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
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
  // Some network and user-space file systems cannot sync a folder at all.
  if (result != 0 && !(fd >= 0 && error == EINVAL))
    return Error{QStringLiteral("The folder \"%1\" cannot be written to disk: %2").arg(folder, errnoText(error))};
  return Status::success();
}

Status cannotRead(const QString& path, const QString& why) {
  return Error{QStringLiteral("The file \"%1\" cannot be read: %2").arg(path, why)};
}

Status cannotWrite(const QString& path, const QString& why) {
  return Error{QStringLiteral("\"%1\" cannot be written: %2").arg(path, why)};
}

// The copy keeps the original's permissions and date; a failure at any
// point leaves the destination as it was.
Status copyContents(const QString& source, const QString& destination) {
  QFile in(source);
  if (!in.open(QIODevice::ReadOnly)) return cannotRead(source, in.errorString());
  CheckedFile out(destination);
  if (Status opened = out.Open(); !opened) return opened;
  for (;;) {
    const QByteArray chunk = in.read(kCopyChunkBytes);
    if (chunk.isEmpty()) {
      if (in.error() != QFileDevice::NoError) return cannotRead(source, in.errorString());
      break;
    }
    if (Status written = out.Write(chunk); !written) return written;
  }
  struct stat info {};
  if (::fstat(in.handle(), &info) != 0) return cannotRead(source, errnoText(errno));
  out.SetMode(static_cast<int>(info.st_mode & 0777));
  out.SetGroupWherePermitted(info.st_gid);
  out.SetModified(info.st_mtim.tv_sec, info.st_mtim.tv_nsec);
  return out.Commit();
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

// The file a chain of symbolic links at `path` ends in (`path` itself when
// it is no link; a link that leads nowhere when the chain ends so); nothing
// for a chain that goes round or on too long.
std::optional<QString> linkChainEnd(const QString& path) {
  QString at = path;
  for (int hop = 0; hop < 40; ++hop) {
    const QByteArray native = nativePath(at);
    std::vector<char> target(PATH_MAX);
    const ssize_t length = ::readlink(native.constData(), target.data(), target.size());
    if (length < 0) return at;  // no link: the chain ends here
    const QString next = QFile::decodeName(QByteArray(target.data(), static_cast<qsizetype>(length)));
    at = next.startsWith(QLatin1Char('/')) ? next : QFileInfo(at).absolutePath() + QLatin1Char('/') + next;
  }
  return std::nullopt;
}

// The user attributes of `model` (a file manager's tags, comments and
// ratings) given to the open file `fd`; the system's cause when they
// cannot be. A file system without attributes has none to give.
std::optional<int> copyUserAttributes(const QByteArray& model, int fd) {
  std::vector<char> names;
  for (;;) {
    const ssize_t size = ::listxattr(model.constData(), nullptr, 0);
    if (size < 0) return errno == ENOTSUP ? std::nullopt : std::optional<int>(errno);
    names.resize(static_cast<std::size_t>(size));
    const ssize_t listed = ::listxattr(model.constData(), names.data(), names.size());
    if (listed >= 0) {
      names.resize(static_cast<std::size_t>(listed));
      break;
    }
    if (errno != ERANGE) return errno;  // ERANGE: one was added meanwhile
  }
  std::vector<char> value;
  for (std::size_t at = 0; at < names.size(); at += std::strlen(names.data() + at) + 1) {
    const char* name = names.data() + at;
    if (std::strncmp(name, "user.", 5) != 0) continue;
    const ssize_t size = ::getxattr(model.constData(), name, nullptr, 0);
    if (size < 0) {
      if (errno == ENODATA) continue;  // removed meanwhile
      return errno;
    }
    value.resize(static_cast<std::size_t>(size));
    const ssize_t read = ::getxattr(model.constData(), name, value.data(), value.size());
    if (read < 0) return errno;
    if (::fsetxattr(fd, name, value.data(), static_cast<std::size_t>(read), 0) != 0) return errno;
  }
  return std::nullopt;
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

namespace {
FileIdentity identityOf(const struct stat& info) {
  return FileIdentity{info.st_dev,        info.st_ino,        info.st_size, info.st_mtim.tv_sec,
                      info.st_mtim.tv_nsec, info.st_mode & 07777, info.st_uid,  info.st_gid};
}
}  // namespace

Error FileSystemUtility::ChangedMeanwhile(const QString& path) {
  return Error{QStringLiteral("\"%1\" was changed by another program while Lumaset worked on it; "
                              "that program's file is kept.")
                   .arg(path)};
}

std::optional<FileIdentity> FileIdentity::Of(int descriptor) {
  struct stat info {};
  if (::fstat(descriptor, &info) != 0) return std::nullopt;
  return identityOf(info);
}

std::optional<FileIdentity> FileIdentity::Of(const QString& path) {
  struct stat info {};
  if (::stat(nativePath(path).constData(), &info) != 0) return std::nullopt;
  return identityOf(info);
}

Status FileSystemUtility::WriteFile(const QString& destination, const QByteArray& bytes, Name name,
                                     const QString& permissionsOf, const std::optional<FileIdentity>& expected) {
  CheckedFile file(destination, name);
  if (!permissionsOf.isEmpty()) file.TakePermissionsOf(permissionsOf);
  if (expected) file.ExpectReplaced(*expected);
  Status done = file.Open();
  if (done) done = file.Write(bytes);
  if (done) done = file.Commit();
  return done;
}

Status FileSystemUtility::MakePrivateFolder(const QString& folder) {
  const QByteArray path = nativePath(QDir::cleanPath(folder));
  for (qsizetype at = 1; at <= path.size(); ++at) {
    if (at < path.size() && path.at(at) != '/') continue;
    const QByteArray part = path.left(at);
    if (::mkdir(part.constData(), 0700) == 0) continue;
    const int error = errno;
    struct stat info {};
    if (error == EEXIST && ::stat(part.constData(), &info) == 0 && S_ISDIR(info.st_mode)) continue;
    return Error{QStringLiteral("The folder \"%1\" cannot be made: %2")
                     .arg(QFile::decodeName(part), errnoText(error == EEXIST ? ENOTDIR : error))};
  }
  if (::chmod(path.constData(), 0700) != 0)
    return Error{QStringLiteral("The folder \"%1\" cannot be made private: %2").arg(folder, errnoText(errno))};
  return Status::success();
}

// ---- CheckedFile --------------------------------------------------------------

CheckedFile::CheckedFile(QString destination, FileSystemUtility::Name name)
    : destination_(std::move(destination)), target_(destination_), name_(name) {}

CheckedFile::~CheckedFile() {
  if (fd_ >= 0) ::close(fd_);
  if (!temporary_.isEmpty()) ::unlink(temporary_.constData());
}

Status CheckedFile::Failed(Status why) {
  if (failure_) failure_ = why;
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  if (!temporary_.isEmpty()) ::unlink(temporary_.constData());
  temporary_.clear();
  return failure_;
}

Status CheckedFile::Open() {
  if (!failure_ || fd_ >= 0 || !temporary_.isEmpty())
    return Failed(cannotWrite(destination_, QStringLiteral("it is already open")));
  const QFileInfo info(destination_);
  if (name_ == FileSystemUtility::Name::New) {
    if (nameTaken(destination_)) return Failed(nameInUse(destination_));
  } else if (followLink_ && info.isSymLink()) {
    const std::optional<QString> end = linkChainEnd(destination_);
    if (!end) return Failed(cannotWrite(destination_, errnoText(ELOOP)));
    target_ = *end;
  }
  if (QFileInfo(target_).isDir())
    return Failed(Error{QStringLiteral("\"%1\" is a folder; a file cannot replace it.").arg(destination_)});

  // Hidden, and ending as the destination does, so that a file left by a
  // crash is recognised for what it is; short enough for any name's file
  // system. Made with 0666 so that the umask gives a new file its usual
  // permissions.
  const QFileInfo target(target_);
  const QString suffix = target.suffix().isEmpty() ? QString() : QLatin1Char('.') + target.suffix().left(16);
  const QString stem = target.absolutePath() + QStringLiteral("/.") + target.fileName().left(60) + QLatin1Char('.');
  for (int attempt = 0; attempt < 100; ++attempt) {
    const QString tag = QString::number(QRandomGenerator::global()->bounded(0x1000000), 36);
    const QByteArray path = nativePath(stem + tag + suffix);
    fd_ = ::open(path.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd_ >= 0) {
      temporary_ = path;
      return Status::success();
    }
    if (errno != EEXIST) return Failed(cannotWrite(destination_, errnoText(errno)));
  }
  return Failed(cannotWrite(destination_, errnoText(EEXIST)));
}

Status CheckedFile::Write(const char* data, qint64 size) {
  if (!failure_) return failure_;
  if (fd_ < 0) return Failed(cannotWrite(destination_, QStringLiteral("it is not open")));
  while (size > 0) {
    const ssize_t written = ::write(fd_, data, static_cast<size_t>(std::min<qint64>(size, 1 << 30)));
    if (written < 0 && errno == EINTR) continue;
    // A regular file that takes no bytes has no room for them.
    if (written <= 0) return Failed(cannotWrite(destination_, errnoText(written < 0 ? errno : ENOSPC)));
    data += written;
    size -= written;
  }
  return Status::success();
}

void CheckedFile::SetModified(qint64 seconds, long nanoseconds) {
  hasTime_ = true;
  seconds_ = seconds;
  nanoseconds_ = nanoseconds;
}

// Permissions and date first, since writing moves the date; then the data to
// the disk (a full disk may only show here; a file system that cannot sync
// says EINVAL and has nothing more to give), then closing, which on a network
// file system can also be the first to hear of a failed write.
Status CheckedFile::FinishFile() {
  int mode = mode_;
  gid_t group = permittedGroup_;
  uid_t owner = static_cast<uid_t>(-1);
  bool groupRequired = false;
  struct stat info {};
  // A new version of a file, or a file standing in for another, takes its
  // mode, group, owner and user attributes: others of that group would
  // otherwise lose it, its owner their file, a file manager its tags.
  const bool modelled = !permissionsOf_.isEmpty() ||
                        (name_ == FileSystemUtility::Name::Replace && QFileInfo::exists(target_));
  if (mode < 0 && modelled) {
    const QByteArray model = nativePath(permissionsOf_.isEmpty() ? target_ : permissionsOf_);
    if (::stat(model.constData(), &info) != 0) return cannotWrite(destination_, errnoText(errno));
    mode = static_cast<int>(info.st_mode & 07777);
    group = info.st_gid;
    owner = info.st_uid;
    groupRequired = true;
    if (const std::optional<int> error = copyUserAttributes(model, fd_))
      return cannotWrite(destination_, QStringLiteral("its attributes cannot be kept: %1").arg(errnoText(*error)));
  }
  // Owner and group first: changing them clears the set-ID bits that the
  // mode then sets again. Only root may give a file away; anyone else's
  // new version of another's file is their own.
  struct stat made {};
  if (::fstat(fd_, &made) != 0) return cannotWrite(destination_, errnoText(errno));
  if (owner != static_cast<uid_t>(-1) && made.st_uid != owner &&
      ::fchown(fd_, owner, static_cast<gid_t>(-1)) != 0 && errno != EPERM) {
    return cannotWrite(destination_, QStringLiteral("its owner cannot be kept: %1").arg(errnoText(errno)));
  }
  if (group != static_cast<gid_t>(-1) && made.st_gid != group &&
      ::fchown(fd_, static_cast<uid_t>(-1), group) != 0 && (groupRequired || errno != EPERM)) {
    return cannotWrite(destination_, QStringLiteral("its group cannot be kept: %1").arg(errnoText(errno)));
  }
  if (mode >= 0 && ::fchmod(fd_, static_cast<mode_t>(mode)) != 0)
    return cannotWrite(destination_, errnoText(errno));
  if (hasTime_) {
    const timespec times[2] = {{0, UTIME_OMIT}, {static_cast<time_t>(seconds_), nanoseconds_}};
    if (::futimens(fd_, times) != 0) return cannotWrite(destination_, errnoText(errno));
  }
  if (durable_ && ::fsync(fd_) != 0 && errno != EINVAL) return cannotWrite(destination_, errnoText(errno));
  const int closed = ::close(fd_);
  fd_ = -1;
  if (closed != 0) return cannotWrite(destination_, errnoText(errno));
  return Status::success();
}

Status CheckedFile::Commit() {
  if (!failure_) return failure_;
  if (fd_ < 0) return Failed(cannotWrite(destination_, QStringLiteral("it is not open")));
  if (Status finished = FinishFile(); !finished) return Failed(finished);
  const QByteArray target = nativePath(target_);
  if (name_ == FileSystemUtility::Name::New) {
    // Something that took the name while the file was written keeps it.
    if (::renameat2(AT_FDCWD, temporary_.constData(), AT_FDCWD, target.constData(), RENAME_NOREPLACE) != 0) {
      const int error = errno;
      if (error == EEXIST) return Failed(nameInUse(destination_));
      if (error != EINVAL && error != ENOSYS && error != EOPNOTSUPP)
        return Failed(cannotWrite(destination_, errnoText(error)));
      if (Status renamed = FileSystemUtility::RenameFile(QFile::decodeName(temporary_), target_); !renamed)
        return Failed(renamed);
    }
  } else if (expected_ && FileIdentity::Of(target_) != expected_) {
    return Failed(FileSystemUtility::ChangedMeanwhile(destination_));
  } else if (std::rename(temporary_.constData(), target.constData()) != 0) {
    return Failed(cannotWrite(destination_, errnoText(errno)));
  }
  temporary_.clear();
  if (durable_) return syncFolder(folderOf(target_));
  return Status::success();
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
