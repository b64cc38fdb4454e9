#include "components/imaging/quarter_turn_file.h"

#include "components/imaging/bmp/bmp_quarter_turn.h"
#include "components/imaging/png/png_quarter_turn.h"
#include "components/imaging/tiff/tiff_quarter_turn.h"
#include "components/imaging/webp/webp_quarter_turn.h"

namespace lumaset {

namespace {

Error refused(const QString& path, const QString& why) {
  return Error{QStringLiteral("\"%1\" cannot be turned: %2").arg(path, why)};
}

}  // namespace

Result<QByteArray> TurnedFileClockwise(const QString& path, const QByteArray& stored, const QByteArray& format) {
  // Only a name that says another format than the file holds leads
  // elsewhere; the file is kept rather than rewritten in that format.
  if (format != "png" && format != "tiff" && format != "bmp" && format != "webp") {
    return refused(path, QStringLiteral("Lumaset cannot write a %1 file back as it holds it.")
                             .arg(QString::fromLatin1(format.toUpper())));
  }
  Result<QByteArray> turned = format == "png"    ? imaging_detail::turnPngClockwise(stored)
                              : format == "tiff" ? imaging_detail::turnTiffClockwise(stored)
                              : format == "bmp"  ? imaging_detail::turnBmpClockwise(stored)
                                                 : imaging_detail::turnWebpClockwise(stored);
  if (!turned && !turned.cancelled()) return refused(path, turned.error());
  return turned;
}

}  // namespace lumaset
