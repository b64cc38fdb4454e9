#include "components/imaging/quarter_turn_file.h"

#include <QBuffer>
#include <QColorSpace>
#include <QImage>
#include <QImageWriter>
#include <QPixelFormat>
#include <QTransform>

#include <cstring>
#include <utility>

#include "components/imaging/bmp_quarter_turn.h"
#include "components/imaging/imaging.h"
#include "components/imaging/png_quarter_turn.h"
#include "components/imaging/tiff_keep.h"
#include "components/imaging/tiff_quarter_turn.h"
#include "components/imaging/webp_keep.h"
#include "components/imaging/webp_quarter_turn.h"

namespace lumaset {

namespace {

Error refused(const QString& path, const QString& why) {
  return Error{QStringLiteral("\"%1\" cannot be turned: %2").arg(path, why)};
}

Error unwritable(const QString& path, const QString& why) {
  return Error{QStringLiteral("\"%1\" cannot be written: %2").arg(path, why)};
}

// The bits a sample of each channel keeps in a picture held as `format`.
int heldSampleBits(QImage::Format format) {
  switch (format) {
    case QImage::Format_Mono:
    case QImage::Format_MonoLSB: return 1;
    case QImage::Format_Indexed8:
    case QImage::Format_Grayscale8:
    case QImage::Format_Alpha8: return 8;
    case QImage::Format_Grayscale16: return 16;
    default: return QImage::toPixelFormat(format).redSize();
  }
}

// The bits a sample takes in the file, for the formats whose samples may
// take more than 8; 0 for the others.
int storedSampleBits(const QByteArray& stored, const QByteArray& format) {
  return format == "tiff" ? imaging_detail::tiffSampleBits(stored) : 0;
}

// Whether a WebP file is stored without loss: its picture is a VP8L chunk
// (a lossy picture is a VP8 chunk, with its transparency in an ALPH chunk).
bool losslessWebp(const QByteArray& stored) {
  for (qsizetype at = 12; at + 8 <= stored.size();) {
    const QByteArrayView type(stored.constData() + at, 4);
    if (type == "VP8L") return true;
    if (type == "VP8 ") return false;
    quint32 size = 0;
    for (int i = 3; i >= 0; --i) size = size << 8 | static_cast<unsigned char>(stored[at + 4 + i]);
    at += 8 + qsizetype{size} + (size & 1);
  }
  return false;
}

// The samples of two pictures, compared in the form the first is held in;
// pictures of a palette by their colours, whose order a writer may change.
bool samePixels(const QImage& read, const QImage& written) {
  if (read.size() != written.size() || written.isNull()) return false;
  if (read.depth() <= 8 && read.format() != QImage::Format_Grayscale8) {
    for (int y = 0; y < read.height(); ++y)
      for (int x = 0; x < read.width(); ++x)
        if (read.pixel(x, y) != written.pixel(x, y)) return false;
    return true;
  }
  const QImage same = written.convertToFormat(read.format());
  if (same.isNull()) return false;
  const auto rowBytes = static_cast<size_t>(qint64{read.width()} * read.depth() / 8);
  for (int y = 0; y < read.height(); ++y)
    if (std::memcmp(read.constScanLine(y), same.constScanLine(y), rowBytes) != 0) return false;
  return true;
}

// A bitmap's resolution lies at bytes 38 and 42 of a header of 40 bytes or more.
QByteArray withBitmapResolution(QByteArray written, const QByteArray& stored) {
  constexpr qsizetype kAcross = 38, kDown = 42;
  const bool storedHasIt = stored.size() >= kDown + 4 && static_cast<unsigned char>(stored[14]) >= 40;
  if (written.size() < kDown + 4) return written;
  const QByteArray across = storedHasIt ? stored.mid(kAcross, 4) : QByteArray(4, '\0');
  const QByteArray down = storedHasIt ? stored.mid(kDown, 4) : QByteArray(4, '\0');
  written.replace(kAcross, 4, down);
  written.replace(kDown, 4, across);
  return written;
}

Result<QByteArray> encoded(const QString& path, const QImage& turned, const QByteArray& stored,
                           const QByteArray& format) {
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  QImageWriter writer(&buffer, format);
  if (format == "tiff") writer.setCompression(0);  // compressed afterwards as the file was
  if (format == "webp" && losslessWebp(stored)) writer.setQuality(100);  // Qt's WebP writer: 100 is lossless
  if (!writer.write(turned)) return unwritable(path, writer.errorString() + QLatin1Char('.'));
  if (format == "tiff") {
    Result<QByteArray> kept = imaging_detail::tiffLikeOriginal(bytes, stored);
    if (!kept) return unwritable(path, kept.error());
    return kept;
  }
  if (format == "webp") {
    Result<QByteArray> kept = imaging_detail::webpWithMetadataOf(bytes, stored);
    if (!kept) return unwritable(path, kept.error());
    return kept;
  }
  if (format == "bmp") return withBitmapResolution(bytes, stored);
  return bytes;
}

// Formats other than PNG are read by Qt's readers, turned, and written by
// Qt's writers; the result must hold the very samples the file held.
Result<QByteArray> turnedThroughQt(const QString& path, const QByteArray& stored, const QByteArray& format) {
  Result<QImage> read = Imaging::ReadAsStored(path);
  if (!read) return Error{read.error()};
  QImage image = std::move(read).value();
  const int storedBits = storedSampleBits(stored, format);
  const int heldBits = heldSampleBits(image.format());
  if (storedBits > heldBits) {
    return refused(path, QStringLiteral("its samples of %1 bits are read with %2 bits, and the rest would be lost.")
                             .arg(storedBits)
                             .arg(heldBits));
  }
  QImage turned = image.transformed(QTransform().rotate(90));
  if (turned.isNull()) return refused(path, QStringLiteral("there is not enough memory."));
  turned.setColorSpace(image.colorSpace());
  turned.setDotsPerMeterX(image.dotsPerMeterY());
  turned.setDotsPerMeterY(image.dotsPerMeterX());
  image = QImage();  // held no longer than needed: a large picture is here three times over
  Result<QByteArray> bytes = encoded(path, turned, stored, format);
  if (!bytes) return bytes;
  const bool lossy = format == "webp" && !losslessWebp(stored);
  if (!lossy && !samePixels(turned, QImage::fromData(*bytes, format.constData()))) {
    return refused(path, QStringLiteral("Lumaset cannot write this %1 file back without changing its pixels.")
                             .arg(QString::fromLatin1(format.toUpper())));
  }
  return bytes;
}

}  // namespace

Result<QByteArray> TurnedFileClockwise(const QString& path, const QByteArray& stored, const QByteArray& format) {
  Result<QByteArray> turned = format == "png"   ? imaging_detail::turnPngClockwise(stored)
                              : format == "tiff" ? imaging_detail::turnTiffClockwise(stored)
                              : format == "bmp"  ? imaging_detail::turnBmpClockwise(stored)
                              : format == "webp" ? imaging_detail::turnWebpClockwise(stored)
                                                 : turnedThroughQt(path, stored, format);
  const bool ownTurn = format == "png" || format == "tiff" || format == "bmp" || format == "webp";
  if (ownTurn && !turned && !turned.cancelled()) return refused(path, turned.error());
  return turned;
}

}  // namespace lumaset
