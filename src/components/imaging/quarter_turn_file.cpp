#include "components/imaging/quarter_turn_file.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <utility>

#include "components/imaging/bmp/bmp_quarter_turn.h"
#include "components/imaging/imaging.h"
#include "components/imaging/imaging_file_headers.h"
#include "components/imaging/jpeg/jpeg_quarter_turn.h"
#include "components/imaging/pixels/pixel_bands.h"
#include "components/imaging/png/png_quarter_turn.h"
#include "components/imaging/tiff/tiff_quarter_turn.h"
#include "components/imaging/webp/webp_quarter_turn.h"

namespace lumaset {

namespace {

Error refused(const QString& path, const QString& why) {
  return Error{QStringLiteral("\"%1\" cannot be turned: %2").arg(path, why)};
}

bool turnsAsStored(const QByteArray& format) {
  return format == "jpeg" || format == "png" || format == "tiff" || format == "bmp" || format == "webp";
}

Error cannotRead(const QString& path, const QString& why) {
  return Error{QStringLiteral("\"%1\" cannot be read: %2").arg(path, why)};
}

// A file larger than all the memory decodes may hold is no picture to turn.
// One that changes while it is read is not read.
Result<TurnedFile> readWhole(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return cannotRead(path, file.errorString());
  const std::optional<FileIdentity> before = FileIdentity::Of(file.handle());
  if (!before) return cannotRead(path, QString::fromLocal8Bit(std::strerror(errno)));
  if (before->size > imaging_detail::DecodeMemory::kTotalBytes)
    return cannotRead(path, QStringLiteral("the file is too large to be a picture Lumaset reads."));
  QByteArray bytes = file.readAll();
  if (file.error() != QFileDevice::NoError) return cannotRead(path, file.errorString());
  if (FileIdentity::Of(file.handle()) != before || bytes.size() != before->size)
    return FileSystemUtility::ChangedMeanwhile(path);
  return TurnedFile{std::move(bytes), *before};
}

}  // namespace

Result<TurnedFile> TurnFileClockwise(const QString& path, const QByteArray& format) {
  // What the preview could not show is not turned either: the same memory,
  // the same words.
  if (const auto reading = imaging_detail::decodeRequest(path, 0, true); !reading) return Error{reading.error()};
  Result<TurnedFile> file = readWhole(path);
  if (!file) return file;
  Result<QByteArray> turned = TurnedFileClockwise(path, file->bytes, format);
  if (!turned) return Error{turned.error(), turned.cancelled()};
  return TurnedFile{std::move(turned).value(), file->read};
}

Result<QByteArray> TurnedFileClockwise(const QString& path, const QByteArray& stored, const QByteArray& format) {
  // Only a name that says another format than the file holds leads
  // elsewhere; the file is kept rather than rewritten in that format.
  if (!turnsAsStored(format)) {
    return refused(path, QStringLiteral("Lumaset cannot write a %1 file back as it holds it.")
                             .arg(QString::fromLatin1(format.toUpper())));
  }
  // A file is turned as what it holds, and stays that: a JPEG photo named
  // .png is turned without loss and stays the JPEG it is.
  const QByteArray holds = imaging_detail::pictureFormat(stored);
  if (!holds.isEmpty() && !turnsAsStored(holds)) {
    return refused(path, QStringLiteral("its name says %1, but it holds a %2 picture, which Lumaset cannot write back "
                                        "as it holds it.")
                             .arg(QString::fromLatin1(format.toUpper()), QString::fromLatin1(holds.toUpper())));
  }
  const QByteArray kind = holds.isEmpty() ? format : holds;
  WorkProgress::Stage(0, 1);
  Result<QByteArray> turned = kind == "jpeg"   ? TurnJpegClockwise(stored)
                              : kind == "png"  ? imaging_detail::turnPngClockwise(stored)
                              : kind == "tiff" ? imaging_detail::turnTiffClockwise(stored)
                              : kind == "bmp"  ? imaging_detail::turnBmpClockwise(stored)
                                               : imaging_detail::turnWebpClockwise(stored);
  // A turn stopped half way may fail in any words.
  if (!turned && DecodeStop::requested()) return CancelledError();
  if (!turned && !turned.cancelled()) return refused(path, turned.error());
  return turned;
}

namespace imaging_detail {

std::optional<Error> TakeTurnMemory(std::optional<DecodeMemory::Share>& share, double bytes, quint64 width,
                                    quint64 height) {
  if (!(bytes <= static_cast<double>(kFullSizeBytes))) {
    return Error{QStringLiteral("there is not enough memory for a picture of %1 x %2 pixels.").arg(width).arg(height)};
  }
  share.emplace(FullSizeMemory(), static_cast<qint64>(bytes));
  if (!share->granted()) return CancelledError();
  return std::nullopt;
}

bool KeepTurning(int percent) { return !DecodeStop::requested() && !WorkProgress::Step(percent, 100); }

}  // namespace imaging_detail

}  // namespace lumaset
