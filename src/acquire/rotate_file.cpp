#include "acquire/rotate_file.h"

#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QImageWriter>

#include <cerrno>
#include <cstring>
#include <utility>

#include <sys/stat.h>
#include <unistd.h>

#include "components/file_system.h"
#include "components/imaging/decode_memory.h"
#include "components/imaging/imaging.h"
#include "components/imaging/jpeg/jpeg_quarter_turn.h"
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

Error Changed(const QString& path) {
  return Error{QStringLiteral("\"%1\" was changed by another program while Lumaset worked on it; "
                              "that program's file is kept.")
                   .arg(path)};
}

// A file's content, and what the file was when it was read.
struct ReadFile {
  QByteArray bytes;
  FileIdentity identity;
};

// A file larger than all the memory decodes may hold is no picture to turn.
// One that changes while it is read is not read.
Result<ReadFile> ReadWhole(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return CannotRead(path, file.errorString());
  const std::optional<FileIdentity> before = FileIdentity::Of(file.handle());
  if (!before) return CannotRead(path, QString::fromLocal8Bit(std::strerror(errno)));
  if (before->size > imaging_detail::DecodeMemory::kTotalBytes)
    return CannotRead(path, QStringLiteral("the file is too large to be a picture Lumaset reads."));
  QByteArray bytes = file.readAll();
  if (file.error() != QFileDevice::NoError) return CannotRead(path, file.errorString());
  if (FileIdentity::Of(file.handle()) != before || bytes.size() != before->size) return Changed(path);
  return ReadFile{std::move(bytes), *before};
}

// The new content of the file, and what the file was when it was read.
struct Turned {
  QByteArray bytes;
  FileIdentity read;
};

// A JPEG file is turned as it stores its picture; any other file written as
// a JPEG is the held picture compressed.
Result<Turned> TurnedJpeg(Imaging& imaging, const QString& original) {
  if (!IsJpegFile(original)) {
    const std::optional<FileIdentity> read = FileIdentity::Of(original);
    if (!read) return Changed(original);
    Result<QByteArray> encoded = imaging.Encode("jpeg");
    if (!encoded) return Error{QStringLiteral("\"%1\" cannot be written: %2").arg(original, encoded.error())};
    return Turned{std::move(encoded).value(), *read};
  }
  Result<ReadFile> old = ReadWhole(original);
  if (!old) return Error{old.error()};
  Result<QByteArray> turned = TurnJpegClockwise(old->bytes);
  if (turned.cancelled()) return Error{turned.error(), true};
  if (!turned) return Error{Refused(original, turned.error()).error()};
  return Turned{std::move(turned).value(), old->identity};
}

// The held picture is opaque 8-bit RGB; a file kept in its own format is
// turned from what it stores instead, so that it keeps all it held.
Result<Turned> TurnedAsStored(const QString& original, const QByteArray& format) {
  Result<ReadFile> stored = ReadWhole(original);
  if (!stored) return Error{stored.error()};
  Result<QByteArray> turned = TurnedFileClockwise(original, stored->bytes, format);
  if (!turned) return Error{turned.error(), turned.cancelled()};
  return Turned{std::move(turned).value(), stored->identity};
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

Result<TurnedPicture> TurnPicture(Imaging& imaging, const QString& path, const std::optional<FileIdentity>& loaded) {
  const QByteArray format = TurnedPictureFormat(path);
  Result<Turned> turned = format.isEmpty() || format == "jpeg" ? TurnedJpeg(imaging, path) : TurnedAsStored(path, format);
  if (!turned) return Error{turned.error(), turned.cancelled()};
  if (loaded && turned->read != *loaded) return Changed(path);
  return TurnedPicture{path, std::move(turned->bytes), turned->read};
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
  Status trashed = FileIdentity::Of(path) == turned.read ? FileSystemUtility::RecycleFiles({path}) : Changed(path);
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
