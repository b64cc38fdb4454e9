// Reading and writing picture files for the imaging layer.

#include "components/imaging/imaging.h"

#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QImageWriter>
#include <QPainter>
#include <QPixelFormat>
#include <QSaveFile>

#include <algorithm>
#include <optional>

#include "components/imaging/imaging_file_headers.h"
#include "components/imaging/jpeg_strips.h"
#include "components/imaging/imaging_jpeg.h"

namespace lumaset {

namespace {

// Qt refuses to decode pictures above 128 MB, which a 36-megapixel photo
// already needs; 1 GB still turns away a header that claims absurd sizes.
constexpr int kReaderLimitMegabytes = 1024;

// Enough of a file's start to find an indexed picture's palette.
constexpr qint64 kHeaderBytes = 64 * 1024;

void raiseReaderLimit() {
  static const bool raised = [] {
    const int limit = QImageReader::allocationLimit();
    if (limit != 0 && limit < kReaderLimitMegabytes) QImageReader::setAllocationLimit(kReaderLimitMegabytes);
    return true;
  }();
  (void)raised;
}

// Pictures stand upright as their orientation tag says. JPEG files, which
// carry it in EXIF data, go to the JPEG decoder, which turns the picture
// and reports the turned size; Qt's reader does the same for the other
// formats that have such a tag (TIFF). FileInfo and the loads take the same
// road, so a file's stated size and its loaded picture always agree.
void prepareReader(QImageReader& reader) {
  raiseReaderLimit();
  reader.setAutoTransform(true);
}

QSize uprightSize(QImageReader& reader) {
  QSize size = reader.size();
  if (reader.transformation() & QImageIOHandler::TransformationRotate90) size.transpose();
  return size;
}

Error readError(const QString& path, const QString& cause) {
  return Error{QStringLiteral("\"%1\" cannot be read: %2.").arg(path, cause)};
}

Error writeError(const QString& path, const QString& cause) {
  return Error{QStringLiteral("\"%1\" cannot be written: %2.").arg(path, cause)};
}

Error memoryError(QSize size) {
  return Error{QStringLiteral("There is not enough memory for a picture of %1 x %2 pixels.")
                   .arg(size.width())
                   .arg(size.height())};
}

// Why a file cannot be opened at all, if it cannot.
std::optional<Error> fileProblem(const QString& path) {
  const QFileInfo info(path);
  if (!info.exists()) return readError(path, QStringLiteral("the file does not exist"));
  if (!info.isFile()) return readError(path, QStringLiteral("it is not a file"));
  if (!info.isReadable()) return readError(path, QStringLiteral("permission to read it is denied"));
  return std::nullopt;
}

// Why Qt's reader turned a file away, in words fit for a message box.
Error refusal(const QString& path, const QImageReader& reader) {
  if (auto problem = fileProblem(path)) return *problem;
  switch (reader.error()) {
    case QImageReader::UnsupportedFormatError:
      return readError(path, QStringLiteral("it is not a picture in a format Lumaset reads"));
    case QImageReader::InvalidDataError:
      return readError(path, QStringLiteral("the picture is damaged or incomplete"));
    default:
      return readError(path, reader.errorString());
  }
}

bool isJpegFile(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) && imaging_detail::looksLikeJpeg(file.read(2));
}

bool fileHoldsWholePicture(const QString& path, const QByteArray& format) {
  if (!imaging_detail::needsWholenessCheck(format)) return true;
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return false;
  const uchar* mapped = file.map(0, file.size());
  if (mapped) return imaging_detail::holdsWholePicture(QByteArrayView(mapped, file.size()), format);
  return imaging_detail::holdsWholePicture(file.readAll(), format);
}

int bitsPerPixel(QImage::Format format) {
  if (format == QImage::Format_Invalid) return 24;  // the header does not say: true colour
  const QPixelFormat pixel = QImage::toPixelFormat(format);
  const int bits = pixel.bitsPerPixel();
  return pixel.alphaUsage() == QPixelFormat::IgnoresAlpha ? bits - pixel.alphaSize() : bits;
}

QByteArray fileStart(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.read(kHeaderBytes) : QByteArray();
}

}  // namespace

QSize Imaging::fitLongSide(QSize size, int longSide) { return imaging_detail::fitLongSide(size, longSide); }

Result<FileFacts> Imaging::FileInfo(const QString& path) {
  if (auto problem = fileProblem(path)) return *problem;
  if (isJpegFile(path)) {
    const auto header = imaging_detail::readJpegHeader(path);
    if (!header) return readError(path, header.error());
    const QSize size = header->upright();
    if (size.isEmpty()) return readError(path, QStringLiteral("the picture is damaged or incomplete"));
    return FileFacts{size.width(), size.height(), header->components == 1 ? 8 : 24, 0};
  }
  QImageReader reader(path);
  prepareReader(reader);
  if (!reader.canRead()) return refusal(path, reader);
  const QSize size = uprightSize(reader);
  if (!size.isValid()) return readError(path, QStringLiteral("the picture is damaged or incomplete"));
  const QImage::Format pixelFormat = reader.imageFormat();
  const bool mono = pixelFormat == QImage::Format_Mono || pixelFormat == QImage::Format_MonoLSB;
  FileFacts facts{size.width(), size.height(), bitsPerPixel(pixelFormat), mono ? 2 : 0};
  const QByteArray format = reader.format();
  if (const auto palette = imaging_detail::paletteFacts(fileStart(path), format)) {
    facts.bitsPerPixel = palette->bitsPerPixel;
    facts.paletteSize = palette->colors;
  } else if (format == "gif") {
    facts.bitsPerPixel = 8;
  }
  return facts;
}

Result<QImage> Imaging::decode(const QString& path, int longSide) {
  if (auto problem = fileProblem(path)) return *problem;
  if (isJpegFile(path)) {
    auto image = imaging_detail::decodeJpeg(path, longSide, qint64{kReaderLimitMegabytes} << 20);
    if (!image) return readError(path, image.error());
    return image;
  }
  QImageReader reader(path);
  prepareReader(reader);
  if (!reader.canRead()) return refusal(path, reader);
  const QByteArray format = reader.format();
  const QSize size = reader.size();  // as stored: the reader turns the picture after shrinking it
  const bool shrink = longSide > 0 && size.isValid() && std::max(size.width(), size.height()) > longSide;
  const qint64 bytes = qint64{size.width()} * size.height() * 4;
  if (shrink) {
    reader.setScaledSize(fitLongSide(size, longSide));
  } else if (size.isValid() && bytes > (qint64{kReaderLimitMegabytes} << 20)) {
    return memoryError(size);
  }
  QImage image;
  if (!reader.read(&image)) return refusal(path, reader);
  if (!fileHoldsWholePicture(path, format)) {
    return readError(path, QStringLiteral("the picture is damaged or incomplete"));
  }
  if (longSide > 0 && std::max(image.width(), image.height()) > longSide) {  // the header gave no size
    const QSize target = fitLongSide(image.size(), longSide);
    image = image.scaled(target, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
  }
  return image;
}

Result<QImage> Imaging::toHeldFormat(const QImage& image) {
  if (image.isNull()) return Error{QStringLiteral("The picture is empty.")};
  QImage held;
  if (image.hasAlphaChannel()) {
    held = QImage(image.size(), QImage::Format_RGB32);
    if (!held.isNull()) {
      held.fill(Qt::white);
      QPainter painter(&held);
      painter.drawImage(0, 0, image);
    }
  } else {
    held = image.convertToFormat(QImage::Format_RGB32);
  }
  if (held.isNull()) return memoryError(image.size());
  // Setting the resolution on a picture that shares its pixels copies them all.
  if (held.dotsPerMeterX() != image.dotsPerMeterX()) held.setDotsPerMeterX(image.dotsPerMeterX());
  if (held.dotsPerMeterY() != image.dotsPerMeterY()) held.setDotsPerMeterY(image.dotsPerMeterY());
  return held;
}

Result<QImage> Imaging::readScaled(const QString& path, int longSide) {
  if (longSide <= 0) return Error{QStringLiteral("A picture cannot be shrunk to %1 pixels.").arg(longSide)};
  auto image = decode(path, longSide);
  if (!image) return image;
  return toHeldFormat(*image);
}

Status Imaging::SaveFile(const QString& path) { return saveAs(path, "jpeg"); }

Status Imaging::saveAs(const QString& path, const QByteArray& format) {
  if (!hasPicture()) return writeError(path, QStringLiteral("no picture is loaded"));
  const QByteArray name = format.toLower();
  if (!QImageWriter::supportedImageFormats().contains(name)) {
    return writeError(path, QStringLiteral("Lumaset does not write pictures in the format \"%1\"")
                                .arg(QString::fromLatin1(format)));
  }
  const Operation operation(*this, QStringLiteral("Saving"));
  const bool jpeg = name == "jpeg" || name == "jpg";
  QSaveFile file(path);
  if (!file.open(QIODevice::WriteOnly)) return writeError(path, file.errorString());
  if (jpeg) {
    // Compressed in strips side by side, the resolution in the JFIF header;
    // one file with restart markers.
    PixelJob job(workerThreads_);
    const auto encoded = EncodeJpeg(picture_, jpegQuality_, jpegDpi_, job);
    if (!encoded) return writeError(path, encoded.error());
    if (file.write(encoded.value()) != encoded->size()) {
      file.cancelWriting();
      return writeError(path, file.errorString());
    }
  } else if (QImageWriter writer(&file, name); !writer.write(picture_)) {
    file.cancelWriting();
    return writeError(path, writer.errorString());
  }
  operation.step(90);
  if (!file.commit()) return writeError(path, file.errorString());
  return Status::success();
}

bool IsGifName(const QString& path) { return path.right(4).toUpper() == QStringLiteral(".GIF"); }

bool AcceptedAsPicture(const QString& path) { return IsGifName(path) || Imaging::FileInfo(path).ok(); }

}  // namespace lumaset
