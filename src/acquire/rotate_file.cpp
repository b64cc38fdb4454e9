#include "acquire/rotate_file.h"

#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QImageWriter>

#include <sys/stat.h>
#include <unistd.h>

#include "components/file_system.h"
#include "components/imaging/decode_memory.h"
#include "components/imaging/imaging.h"
#include "components/imaging/jpeg_metadata.h"
#include "components/imaging/quarter_turn_file.h"

namespace lumaset {

namespace {

bool IsJpegFile(const QString& path) { return QImageReader::imageFormat(path) == "jpeg"; }

Status Refused(const QString& path, const QString& why) {
  return Error{QStringLiteral("\"%1\" cannot be turned: %2").arg(path, why)};
}

Error CannotRead(const QString& path, const QString& why) {
  return Error{QStringLiteral("\"%1\" cannot be read: %2").arg(path, why)};
}

// A file larger than all the memory decodes may hold is no picture to turn.
Result<QByteArray> ReadWhole(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return CannotRead(path, file.errorString());
  if (file.size() > imaging_detail::DecodeMemory::kTotalBytes)
    return CannotRead(path, QStringLiteral("the file is too large to be a picture Lumaset reads."));
  QByteArray bytes = file.readAll();
  if (file.error() != QFileDevice::NoError) return CannotRead(path, file.errorString());
  return bytes;
}

// The JPEG of the held picture, with the original JPEG's own data.
Result<QByteArray> TurnedJpeg(Imaging& imaging, const QString& original) {
  Result<QByteArray> encoded = imaging.Encode("jpeg");
  if (!encoded) return Error{QStringLiteral("\"%1\" cannot be written: %2").arg(original, encoded.error())};
  if (!IsJpegFile(original)) return encoded;
  const Result<QByteArray> old = ReadWhole(original);
  if (!old) return Error{old.error()};
  Result<QByteArray> kept = WithMetadataOf(*encoded, *old, true);
  if (!kept) return Error{Refused(original, kept.error()).error()};
  return kept;
}

// The held picture is opaque 8-bit RGB; a file kept in its own format is
// turned from what it stores instead, so that it keeps all it held.
Result<QByteArray> TurnedAsStored(const QString& original, const QByteArray& format) {
  const Result<QByteArray> stored = ReadWhole(original);
  if (!stored) return Error{stored.error()};
  return TurnedFileClockwise(original, *stored, format);
}

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

// Root may write any file, so the permission bits count too: a picture that
// nobody may write is one its owner wants left alone.
Status CheckTurnable(const QString& path) {
  const QByteArray native = QFile::encodeName(path);
  struct stat info {};
  if (::stat(native.constData(), &info) == 0 && ((info.st_mode & 0222) == 0 || ::access(native.constData(), W_OK) != 0))
    return Refused(path, QStringLiteral("the file is read-only."));
  if (TurnedPictureFormat(path).isEmpty()) return Status::success();  // the original goes to the trash whole
  // A file that cannot be read is refused by its load, with the cause.
  if (const Result<int> count = Imaging::FrameCount(path); count && *count > 1) {
    return Refused(path, QStringLiteral("it holds %1 pages or frames, and only the first would be kept.").arg(*count));
  }
  return Status::success();
}

Result<QString> SaveTurnedPicture(Imaging& imaging, const QString& path) {
  const QByteArray format = TurnedPictureFormat(path);
  const bool sameName = !format.isEmpty();
  const Result<QByteArray> bytes =
      !sameName || format == "jpeg" ? TurnedJpeg(imaging, path) : TurnedAsStored(path, format);
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
