// The freedesktop trash, through GIO: it escapes the original path in the
// entry's record as the trash asks, refuses cleanly where the trash cannot
// take a file (a name too long for the record, a trash it may not write),
// and never deletes instead.
//
// GIO (2.74 at least) moves the file in before it fills the record, and does
// not notice when that last write fails: a full disk leaves the picture in
// the trash with an empty record, which no file manager can put back. Each
// file sent is therefore looked up in the trash afterwards and, when its
// record is not whole, put back where it was and the send refused.

// GIO's headers use "signals" as a name, which Qt's keywords would take over.
#pragma push_macro("signals")
#undef signals
#pragma pop_macro("signals")

#include "components/file_system.h"
#include "components/gio_functions.h"

#include <QByteArray>
#include <QDir>
#include <QFile>

#include <optional>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace lumaset {

namespace {

// A trash record is a few short lines; anything longer is not one of ours.
constexpr qint64 kRecordLimit = 64 * 1024;
// A trash folder with its two folders inside and one record.
constexpr fsblkcnt_t kTrashBlocks = 4;

struct Identity {
  dev_t device = 0;
  ino_t inode = 0;
  bool operator==(const Identity&) const = default;
};

std::optional<Identity> identify(const QByteArray& path) {
  struct stat info {};
  if (::lstat(path.constData(), &info) != 0) return std::nullopt;
  return Identity{info.st_dev, info.st_ino};
}

struct TrashEntry {
  QByteArray file;
  QByteArray record;
};

Status cannotTrash(const QString& path, const QString& why) {
  return Error{QStringLiteral("\"%1\" cannot be sent to the trash: %2").arg(path, why)};
}

// The name GIO gives the n-th file of one name in a trash: "beach.jpg",
// then "beach.2.jpg", "beach.3.jpg" and so on, the number before the first dot.
QByteArray nameInTrash(const QByteArray& name, int n) {
  if (n == 1) return name;
  const qsizetype dot = name.indexOf('.');
  const QByteArray number = '.' + QByteArray::number(n);
  return dot < 0 ? name + number : name.left(dot) + number + name.mid(dot);
}

// The top folder of the file system that holds `folder`.
QByteArray mountTop(const QByteArray& folder) {
  QByteArray top = QFile::encodeName(QDir(QFile::decodeName(folder)).canonicalPath());
  struct stat self {};
  if (top.isEmpty() || ::stat(top.constData(), &self) != 0) return {};
  while (top != "/") {
    const qsizetype slash = top.lastIndexOf('/');
    const QByteArray parent = slash <= 0 ? QByteArray("/") : top.left(slash);
    struct stat above {};
    if (::stat(parent.constData(), &above) != 0 || above.st_dev != self.st_dev) break;
    top = parent;
  }
  return top;
}

// Every trash GIO may have chosen for a file in `folder`: the home trash and
// the two kinds of trash at the top of the file's own file system.
QList<QByteArray> trashesFor(const Gio& gio, const QByteArray& folder) {
  QList<QByteArray> trashes{QByteArray(gio.g_get_user_data_dir()) + "/Trash"};
  if (const QByteArray top = mountTop(folder); !top.isEmpty()) {
    const QByteArray base = top == "/" ? QByteArray() : top;
    const QByteArray uid = QByteArray::number(::getuid());
    trashes << base + "/.Trash/" + uid << base + "/.Trash-" + uid;
  }
  return trashes;
}

// The entry that holds the file `moved`, among the names GIO gives in turn.
std::optional<TrashEntry> findEntry(const Gio& gio, const QByteArray& folder, const QByteArray& name,
                                    Identity moved) {
  for (const QByteArray& trash : trashesFor(gio, folder)) {
    for (int n = 1;; ++n) {
      const QByteArray inTrash = nameInTrash(name, n);
      const TrashEntry candidate{trash + "/files/" + inTrash, trash + "/info/" + inTrash + ".trashinfo"};
      if (!identify(candidate.record)) break;
      if (identify(candidate.file) == moved) return candidate;
    }
  }
  return std::nullopt;
}

bool wholeRecord(const QByteArray& record) {
  QFile file(QFile::decodeName(record));
  if (!file.open(QIODevice::ReadOnly)) return false;
  const QByteArray text = file.read(kRecordLimit);
  return text.startsWith("[Trash Info]\n") && text.contains("\nPath=") && text.contains("\nDeletionDate=") &&
         text.endsWith('\n');
}

// GIO writes the record through a temporary file named after it with seven
// more characters; where that name is too long, the record stays empty.
bool recordNameTooLong(const QByteArray& record) {
  const qsizetype slash = record.lastIndexOf('/');
  const long longest = ::pathconf(record.left(slash).constData(), _PC_NAME_MAX);
  return record.size() - slash - 1 + 7 > (longest > 0 ? longest : 255);
}

// Whether the file system holding `folder` lacks room for a trash folder
// and a record: a few blocks and an inode (where it counts inodes at all:
// FAT cards and btrfs give 0 of 0). GIO's refusal does not say so.
bool diskFull(const QByteArray& folder) {
  struct statvfs room {};
  return ::statvfs(folder.constData(), &room) == 0 && (room.f_bavail < kTrashBlocks || (room.f_files > 0 && room.f_favail == 0));
}

// Brings the file back from the trash under its own name, which nothing can
// have taken in the meantime without being refused.
Status putBack(const QString& path, const TrashEntry& entry) {
  const QString why = recordNameTooLong(entry.record)
                          ? QStringLiteral("the name is too long for the trash.")
                          : QStringLiteral("the trash could not record where it came from; the disk may be full.");
  if (::renameat2(AT_FDCWD, entry.file.constData(), AT_FDCWD, QFile::encodeName(path).constData(),
                  RENAME_NOREPLACE) != 0) {
    return cannotTrash(path, QStringLiteral("%1 It is in the trash as \"%2\" and cannot be put back.")
                                 .arg(why, QFile::decodeName(entry.file)));
  }
  ::unlink(entry.record.constData());
  return cannotTrash(path, why);
}

Status trashOne(const QString& path) {
  const QByteArray native = QFile::encodeName(path);
  const std::optional<Identity> before = identify(native);
  if (!before) return cannotTrash(path, QStringLiteral("it does not exist."));
  const Result<Gio>& gio = Gio::Get();
  if (!gio) return cannotTrash(path, gio.error());
  GFile* file = gio->g_file_new_for_path(native.constData());
  GError* error = nullptr;
  const bool trashed = gio->g_file_trash(file, nullptr, &error);
  gio->g_object_unref(file);
  const QString folder = FileSystemUtility::PathPart(QDir::cleanPath(QDir(path).absolutePath()), true);
  if (!trashed) {
    QString why = error ? QString::fromUtf8(error->message) : QStringLiteral("the trash refused it.");
    if (error) gio->g_error_free(error);
    if (diskFull(QFile::encodeName(folder)))
      why += QLatin1String(why.endsWith(QLatin1Char('.')) ? " " : ". ") + QStringLiteral("The disk is full.");
    return cannotTrash(path, why);
  }
  const std::optional<TrashEntry> entry =
      findEntry(*gio, QFile::encodeName(folder), QFile::encodeName(FileSystemUtility::PathPart(path, false)), *before);
  if (entry && !wholeRecord(entry->record)) return putBack(path, *entry);
  return Status::success();
}

}  // namespace

Status FileSystemUtility::RecycleFiles(const QStringList& paths) {
  for (const QString& path : paths) {
    if (Status trashed = trashOne(path); !trashed) return trashed;
  }
  return Status::success();
}

}  // namespace lumaset
