#pragma once

// The program's one door to files and folders outside its own documents:
// path parts, existence, copy, move, rename and the trash. Every operation
// that changes something on disk either completes or leaves the user's files
// as they were, and says why it failed in words fit for a message box.

#include <QString>
#include <QStringList>

#include <optional>

#include <sys/types.h>

#include "components/result.h"

namespace lumaset {

// What a file is at one moment: which file (device and inode), its size,
// the time it was last modified to the nanosecond, and who may do what with
// it (its mode, owner and group). Another program that changes or replaces
// the file, or makes it read-only, changes at least one of them.
struct FileIdentity {
  dev_t device = 0;
  ino_t inode = 0;
  qint64 size = 0;
  qint64 modifiedSeconds = 0;
  long modifiedNanoseconds = 0;
  mode_t mode = 0;
  uid_t owner = 0;
  gid_t group = 0;
  bool operator==(const FileIdentity&) const = default;

  // The identity of the file open as `descriptor`, or of the file at `path`
  // (its link's target); none when it cannot be asked.
  static std::optional<FileIdentity> Of(int descriptor);
  static std::optional<FileIdentity> Of(const QString& path);
};

class FileSystemUtility {
 public:
  // With folderPart false: the last component ("photo.jpg"; for a folder path
  // ending in "/" the folder's name with that "/", "Holiday/"). With
  // folderPart true: the folder holding it, ending in "/"; for a folder path
  // its parent. The root is its own parent; a bare name has no folder ("").
  static QString PathPart(const QString& path, bool folderPart);

  // With file "" whether the folder exists; with folder "" whether something
  // other than a folder has the name file. With both, both must hold.
  static bool PathExists(const QString& file, const QString& folder);

  // The user's documents folder ending in "/", or "" when it does not exist.
  static QString SpecialFolderDocuments();

  // Copies source over destination (a full file path). The copy is written
  // beside the destination under a temporary name and renamed over it only
  // when complete, so a failed copy leaves any old destination intact.
  static Status CopyFile(const QString& source, const QString& destination);

  // Moves source to destination, replacing it. Between file systems the file
  // is copied, flushed to disk, and only then is the source removed; a
  // failure at any point leaves the source where it was.
  static Status MoveFile(const QString& source, const QString& destination);

  // Gives a file a new path, refusing when something already has that name.
  static Status RenameFile(const QString& oldPath, const QString& newPath);

  // Sends each file to the freedesktop trash, stopping at the first that
  // cannot go there. A file that cannot be trashed is never deleted instead,
  // and none is left in the trash without the record of where it came from.
  static Status RecycleFiles(const QStringList& paths);

  // Whether two folder paths name the same folder once links and "." or ".."
  // are resolved; compared exactly, so "Photos" is never "photos".
  static bool SameFolder(const QString& first, const QString& second);

  // Makes the folder `name` (one level) inside `parent`; gives its path
  // ending in "/". Refuses names that hold "/" or are "." or "..", and names
  // already in use.
  static Result<QString> MakeFolder(const QString& parent, const QString& name);

  // Why `folder` must never be emptied and removed by a command: the root,
  // the home folder or a folder holding it, a mount point, or a symbolic
  // link. Success when none of these holds.
  static Status CheckFolderRemovable(const QString& folder);
  // Removes `folder` only when it is empty; never anything inside it.
  static Status RemoveEmptyFolder(const QString& folder);

  // Writes `bytes` as the whole content of `destination` through a
  // CheckedFile (below): replacing a file of that name, or with `name` New
  // refusing when the name is taken. The new file gets the permissions of
  // `permissionsOf` when given, else those of the file it replaces, and its
  // group, owner and user attributes (see CheckedFile::Commit).
  // With `expected`, the file replaced must still be that file: one that
  // another program has changed or replaced since is kept, and the write
  // refused with the words of ChangedMeanwhile.
  enum class Name { Replace, New };
  static Status WriteFile(const QString& destination, const QByteArray& bytes, Name name = Name::Replace,
                          const QString& permissionsOf = QString(),
                          const std::optional<FileIdentity>& expected = std::nullopt);

  // Why a file that another program changed or replaced while Lumaset
  // worked on it is kept.
  static Error ChangedMeanwhile(const QString& path);

  // Makes `folder` and any missing parent, each new one readable by the user
  // alone, and leaves `folder` itself so; says why when it cannot.
  static Status MakePrivateFolder(const QString& folder);
};

// One file written whole or not at all. The bytes go to a temporary file
// beside the destination; every write is checked, and Commit pushes the data
// to the disk and checks that too before the file takes the destination's
// name. Until then the destination is untouched, and a CheckedFile that ends
// without a successful Commit removes its temporary file. Failures name the
// file and the system's cause ("No space left on device").
//
//   CheckedFile out(path);
//   Status done = out.Open();
//   if (done) done = out.Write(bytes);
//   if (done) done = out.Commit();
class CheckedFile {
 public:
  // With Replace, a symbolic link at the destination has its target written
  // (the end of a chain of links).
  explicit CheckedFile(QString destination, FileSystemUtility::Name name = FileSystemUtility::Name::Replace);
  ~CheckedFile();
  CheckedFile(const CheckedFile&) = delete;
  CheckedFile& operator=(const CheckedFile&) = delete;

  Status Open();
  // Writes every byte or gives the cause; after a failure every later call
  // gives the first failure again.
  Status Write(const char* data, qint64 size);
  Status Write(const QByteArray& bytes) { return Write(bytes.constData(), bytes.size()); }
  Status Commit();

  // What the finished file takes on at Commit: the mode, group, owner (where
  // the system lets the user give it) and user attributes (a file manager's
  // tags and comments) of another file (by default, of the file it
  // replaces), or exactly `mode`; and a modification time.
  void TakePermissionsOf(const QString& path) { permissionsOf_ = path; }
  void SetMode(int mode) { mode_ = mode; }
  // The group of a copy, kept where the user may give it, as a copy that
  // keeps permissions does; elsewhere the file keeps the group it was made with.
  void SetGroupWherePermitted(gid_t group) { permittedGroup_ = group; }
  void SetModified(qint64 seconds, long nanoseconds = 0);
  // The file replaced must be `expected` at the moment it is replaced (see WriteFile).
  void ExpectReplaced(const FileIdentity& expected) { expected_ = expected; }
  // A file that can be made again (a cache entry) is renamed without first
  // waiting for its data to reach the disk; its writes are checked all the same.
  void SetDisposable() { durable_ = false; }
  // Replaces a symbolic link at the destination by the new file instead of
  // writing its target: for files of the program's own, such as cache entries.
  void ReplaceLinkItself() { followLink_ = false; }

  const QString& destination() const { return destination_; }
  // The first failure so far, or success.
  const Status& failure() const { return failure_; }

 private:
  Status Failed(Status why);
  Status FinishFile();

  QString destination_;
  QString target_;  // the file written: the destination, or the target of its link
  FileSystemUtility::Name name_;
  QByteArray temporary_;
  int fd_ = -1;
  Status failure_;
  QString permissionsOf_;
  int mode_ = -1;
  gid_t permittedGroup_ = static_cast<gid_t>(-1);
  bool hasTime_ = false;
  qint64 seconds_ = 0;
  long nanoseconds_ = 0;
  bool durable_ = true;
  bool followLink_ = true;
  std::optional<FileIdentity> expected_;
};

// The two ways RenameFile falls back on file systems that cannot rename
// without replacing; open to tests, which cannot otherwise reach them.
namespace file_system_detail {
Status RenameByLink(const QString& oldPath, const QString& newPath, bool* linkUnsupported);
Status RenameOverPlaceholder(const QString& oldPath, const QString& newPath);
}  // namespace file_system_detail

}  // namespace lumaset
