#include "components/imaging/quarter_turn_file.h"

#include "components/imaging/bmp/bmp_quarter_turn.h"
#include "components/imaging/imaging_file_headers.h"
#include "components/imaging/jpeg/jpeg_quarter_turn.h"
#include "components/imaging/png/png_quarter_turn.h"
#include "components/imaging/tiff/tiff_quarter_turn.h"
#include "components/imaging/webp/webp_quarter_turn.h"

namespace lumaset {

namespace {

Error refused(const QString& path, const QString& why) {
  return Error{QStringLiteral("\"%1\" cannot be turned: %2").arg(path, why)};
}

bool turnsAsStored(const QByteArray& format) {
  return format == "png" || format == "tiff" || format == "bmp" || format == "webp";
}

}  // namespace

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
  if (!holds.isEmpty() && holds != "jpeg" && !turnsAsStored(holds)) {
    return refused(path, QStringLiteral("its name says %1, but it holds a %2 picture, which Lumaset cannot write back "
                                        "as it holds it.")
                             .arg(QString::fromLatin1(format.toUpper()), QString::fromLatin1(holds.toUpper())));
  }
  const QByteArray kind = holds.isEmpty() ? format : holds;
  Result<QByteArray> turned = kind == "jpeg"   ? TurnJpegClockwise(stored)
                              : kind == "png"  ? imaging_detail::turnPngClockwise(stored)
                              : kind == "tiff" ? imaging_detail::turnTiffClockwise(stored)
                              : kind == "bmp"  ? imaging_detail::turnBmpClockwise(stored)
                                               : imaging_detail::turnWebpClockwise(stored);
  if (!turned && !turned.cancelled()) return refused(path, turned.error());
  return turned;
}

}  // namespace lumaset
