#include "layout/temporary_pictures.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "components/file_system.h"
#include "components/imaging/imaging.h"

namespace lumaset {

Result<QImage> SaveTemporaryPicture(Imaging& imaging, const QString& target, int pageLongSide) {
  if (QFileInfo::exists(target)) {
    return Error{QStringLiteral("\"%1\" already exists and is kept as it is.").arg(target)};
  }
  // A folder that was lost, or could not be made at start, is made now, so
  // that a failure names its real cause.
  const QString folder = FileSystemUtility::PathPart(target, true);
  if (!QFileInfo(folder).isDir()) {
    if (Status made = EnsurePrivateFolder(folder); !made) return Error{made.error()};
  }
  if (const Status saved = imaging.SaveFile(target, FileSystemUtility::Name::New); !saved) return Error{saved.error()};
  if (const Status reduced = imaging.ImgResize(pageLongSide); !reduced) {
    // The page cannot show it, so the edit does not happen: no file is left.
    QFile::remove(target);
    return Error{reduced.error()};
  }
  return imaging.GetPicture();
}

int DeleteTemporaryPictures(const QString& folder) {
  const QDir dir(folder);
  int leftBehind = 0;
  const QStringList names =
      dir.entryList({QStringLiteral("*.jpg")}, QDir::Files | QDir::Hidden | QDir::System);
  for (const QString& name : names) {
    if (!QFile::remove(dir.filePath(name))) ++leftBehind;
  }
  return leftBehind;
}

Status EnsurePrivateFolder(const QString& folder) {
  // Temporary pictures are copies of the user's photos: keep them private.
  return FileSystemUtility::MakePrivateFolder(folder);
}

bool RemoveFolderIfEmpty(const QString& folder) {
  QDir dir(folder);
  if (!dir.exists()) return true;
  return QDir().rmdir(dir.absolutePath());
}

}  // namespace lumaset
