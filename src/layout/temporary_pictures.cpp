#include "layout/temporary_pictures.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "components/imaging/imaging.h"

namespace lumaset {

Result<QImage> SaveTemporaryPicture(Imaging& imaging, const QString& target, int pageLongSide) {
  if (QFileInfo::exists(target)) {
    return Error{QStringLiteral("\"%1\" already exists and is kept as it is.").arg(target)};
  }
  if (const Status saved = imaging.SaveFile(target); !saved) return Error{saved.error()};
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

bool EnsurePrivateFolder(const QString& folder) {
  const QFileDevice::Permissions ownerOnly =
      QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner;
  QDir dir(folder);
  if (!dir.exists() && !QDir().mkpath(folder)) return false;
  // Temporary pictures are copies of the user's photos: keep them private.
  return QFile::setPermissions(QFileInfo(folder).absoluteFilePath(), ownerOnly);
}

bool RemoveFolderIfEmpty(const QString& folder) {
  QDir dir(folder);
  if (!dir.exists()) return true;
  return QDir().rmdir(dir.absolutePath());
}

}  // namespace lumaset
