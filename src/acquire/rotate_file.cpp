#include "acquire/rotate_file.h"

#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QImageWriter>

#include <utility>

#include <sys/stat.h>
#include <unistd.h>

#include "components/file_system.h"
#include "components/imaging/imaging.h"
#include "components/imaging/quarter_turn_file.h"

namespace lumaset {

namespace {

bool IsJpegFile(const QString& path) { return QImageReader::imageFormat(path) == "jpeg"; }

Status Refused(const QString& path, const QString& why) {
  return Error{QStringLiteral("\"%1\" cannot be turned: %2").arg(path, why)};
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

bool TurnNeedsHeldPicture(const QString& path) {
  const QByteArray format = TurnedPictureFormat(path);
  return format.isEmpty() || (format == "jpeg" && !IsJpegFile(path));
}

// A JPEG file, and every file kept in its own format, is turned as it
// stores its picture; any other file written as a JPEG is the held picture
// compressed.
Result<TurnedPicture> TurnPicture(Imaging& imaging, const QString& path, const std::optional<FileIdentity>& loaded) {
  const QByteArray format = TurnedPictureFormat(path);
  TurnedPicture turned{path, {}, {}};
  if (TurnNeedsHeldPicture(path)) {
    const std::optional<FileIdentity> read = FileIdentity::Of(path);
    if (!read) return FileSystemUtility::ChangedMeanwhile(path);
    Result<QByteArray> encoded = imaging.Encode("jpeg");
    if (!encoded) return Error{QStringLiteral("\"%1\" cannot be written: %2").arg(path, encoded.error())};
    turned.bytes = std::move(encoded).value();
    turned.read = *read;
  } else {
    Result<TurnedFile> file = TurnFileClockwise(path, format);
    if (!file) return Error{file.error(), file.cancelled()};
    turned.bytes = std::move(file->bytes);
    turned.read = file->read;
  }
  if (loaded && turned.read != *loaded) return FileSystemUtility::ChangedMeanwhile(path);
  return turned;
}

Result<QString> WriteTurnedPicture(const TurnedPicture& turned) {
  const QString& path = turned.path;
  if (!TurnedPictureFormat(path).isEmpty()) {
    if (Status replaced =
            FileSystemUtility::WriteFile(path, turned.bytes, FileSystemUtility::Name::Replace, QString(), turned.read);
        !replaced)
      return Error{replaced.error()};
    return path;
  }
  const QString jpeg = JpegNameFor(path);
  if (Status written = FileSystemUtility::WriteFile(jpeg, turned.bytes, FileSystemUtility::Name::New, path); !written)
    return Error{written.error()};
  // Only the file that was turned goes to the trash.
  Status trashed = FileIdentity::Of(path) == turned.read ? FileSystemUtility::RecycleFiles({path})
                                                         : FileSystemUtility::ChangedMeanwhile(path);
  if (!trashed) {
    // Two copies would look like a new picture; the new one is ours to take back.
    QFile::remove(jpeg);
    return Error{trashed.error()};
  }
  return jpeg;
}

Result<QString> SaveTurnedPicture(Imaging& imaging, const QString& path, const std::optional<FileIdentity>& loaded) {
  const Result<TurnedPicture> turned = TurnPicture(imaging, path, loaded);
  if (!turned) return Error{turned.error(), turned.cancelled()};
  return WriteTurnedPicture(*turned);
}

}  // namespace lumaset
