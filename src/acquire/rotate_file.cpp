#include "acquire/rotate_file.h"

#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QImageWriter>

#include "components/file_system.h"
#include "components/imaging/imaging.h"

namespace lumaset {

namespace {

bool IsJpegFile(const QString& path) { return QImageReader::imageFormat(path) == "jpeg"; }

}  // namespace

QByteArray TurnedPictureFormat(const QString& path) {
  QByteArray suffix = QFileInfo(path).suffix().toLower().toLatin1();
  if (suffix == "jpg" || suffix == "jpe") suffix = "jpeg";
  if (suffix == "tif") suffix = "tiff";
  return !suffix.isEmpty() && QImageWriter::supportedImageFormats().contains(suffix) ? suffix : QByteArray();
}

QString JpegNameFor(const QString& path) {
  const QString suffix = QFileInfo(path).suffix();
  const QString stem = suffix.isEmpty() ? path : path.chopped(suffix.size() + 1);
  return stem + QStringLiteral(".jpg");
}

Result<QString> SaveTurnedPicture(Imaging& imaging, const QString& path, const ExifWriter& exif) {
  QByteArray format = TurnedPictureFormat(path);
  const bool sameName = !format.isEmpty();
  if (!sameName) format = "jpeg";
  const bool keepExif = format == "jpeg" && IsJpegFile(path);
  Result<QByteArray> bytes = imaging.Encode(format);
  if (!bytes) return Error{QStringLiteral("\"%1\" cannot be written: %2").arg(path, bytes.error())};
  if (keepExif) bytes = exif.CopyUpright(path, *bytes);
  if (!bytes) return Error{bytes.error()};
  if (sameName) {
    if (Status replaced = FileSystemUtility::WriteFile(path, *bytes); !replaced) return Error{replaced.error()};
    return path;
  }
  const QString jpeg = JpegNameFor(path);
  if (Status written = FileSystemUtility::WriteFile(jpeg, *bytes, FileSystemUtility::Name::New, path); !written)
    return Error{written.error()};
  if (Status trashed = FileSystemUtility::RecycleFiles({path}); !trashed) {
    // Two copies would look like a new picture; the new one is ours to take back.
    QFile::remove(jpeg);
    return Error{trashed.error()};
  }
  return jpeg;
}

}  // namespace lumaset
