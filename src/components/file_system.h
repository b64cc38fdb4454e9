#pragma once

// The program's one door to files and folders outside its own documents:
// path parts, existence, copy, move, rename and the trash. Every operation
// that changes something on disk either completes or leaves the user's files
// as they were, and says why it failed in words fit for a message box.

#include <QString>
#include <QStringList>

#include <functional>

#include "components/result.h"

namespace lumaset {

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

  // Writes a new version of `destination`: `write` fills a temporary file in
  // the same folder, which then replaces the destination in one step with
  // the destination's permissions and group. A failed write leaves the old
  // file alone.
  using FileWriter = std::function<Status(const QString& temporaryPath)>;
  static Status WriteReplacing(const QString& destination, const FileWriter& write);
  // The same for a destination that must not exist yet: refused when the
  // name is taken, also when something takes it while `write` runs. The new
  // file gets the permissions and group of `permissionsOf`.
  static Status WriteNew(const QString& destination, const FileWriter& write, const QString& permissionsOf);
};

// The two ways RenameFile falls back on file systems that cannot rename
// without replacing; open to tests, which cannot otherwise reach them.
namespace file_system_detail {
Status RenameByLink(const QString& oldPath, const QString& newPath, bool* linkUnsupported);
Status RenameOverPlaceholder(const QString& oldPath, const QString& newPath);
}  // namespace file_system_detail

}  // namespace lumaset
