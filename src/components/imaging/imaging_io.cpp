// Reading and writing picture files for the imaging layer.

#include "components/imaging/imaging.h"

#include <QBuffer>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QImageWriter>
#include <QPainter>
#include <QPixelFormat>

#include <algorithm>
#include <cstdlib>
#include <optional>

#include "components/imaging/decode_memory.h"
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

// The size as the pixels lie in the file. Qt reads a bitmap stored from its
// top row down the right way up, but gives its height as the file has it,
// below zero.
QSize storedSize(QImageReader& reader) {
  const QSize size = reader.size();
  return reader.format() == "bmp" ? QSize(std::abs(size.width()), std::abs(size.height())) : size;
}

QSize uprightSize(QImageReader& reader) {
  QSize size = storedSize(reader);
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
  QFile file;
  return imaging_detail::openRegularFile(file, path) && imaging_detail::looksLikeJpeg(file.read(2));
}

// A picture file open for reading (never waiting on something that is not a
// regular file) with all its bytes in view, mapped where it can be.
struct OpenPicture {
  QFile file;
  QByteArray copy;
  QByteArrayView bytes;

  std::optional<Error> open(const QString& path) {
    if (!imaging_detail::openRegularFile(file, path)) {
      return fileProblem(path).value_or(readError(path, QStringLiteral("it is not a file")));
    }
    const qint64 size = file.size();
    if (const uchar* mapped = size > 0 ? file.map(0, size) : nullptr) {
      bytes = QByteArrayView(mapped, size);
    } else {
      copy = file.readAll();
      bytes = copy;
      file.seek(0);
    }
    return std::nullopt;
  }
};

int bitsPerPixel(QImage::Format format) {
  if (format == QImage::Format_Invalid) return 24;  // the header does not say: true colour
  const QPixelFormat pixel = QImage::toPixelFormat(format);
  const int bits = pixel.bitsPerPixel();
  return pixel.alphaUsage() == QPixelFormat::IgnoresAlpha ? bits - pixel.alphaSize() : bits;
}

QByteArray fileStart(const QString& path) {
  QFile file;
  return imaging_detail::openRegularFile(file, path) ? file.read(kHeaderBytes) : QByteArray();
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
  QFile file;
  if (!imaging_detail::openRegularFile(file, path)) return readError(path, QStringLiteral("it is not a file"));
  QImageReader reader(&file);
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
  OpenPicture picture;
  if (auto problem = picture.open(path)) return *problem;
  QImageReader reader(&picture.file);
  prepareReader(reader);
  if (!reader.canRead()) return refusal(path, reader);
  const QByteArray format = reader.format();
  const QSize size = storedSize(reader);  // the reader turns the picture after shrinking it
  // A file too small for the picture its header claims is refused before a
  // single pixel is decoded.
  if (!imaging_detail::holdsWholePicture(picture.bytes, format, size)) {
    return readError(path, QStringLiteral("the picture is damaged or incomplete"));
  }
  const bool shrink = longSide > 0 && size.isValid() && std::max(size.width(), size.height()) > longSide;
  const qint64 bytes = qint64{size.width()} * size.height() * 4;
  if (shrink) {
    reader.setScaledSize(fitLongSide(size, longSide));
  } else if (size.isValid() && bytes > (qint64{kReaderLimitMegabytes} << 20)) {
    return memoryError(size);
  }
  QImage image;
  {
    // Qt's readers decode the whole picture before they shrink it.
    const imaging_detail::DecodeMemory::Share share(imaging_detail::DecodeMemory::Shared(), size.isValid() ? bytes : 0);
    if (!reader.read(&image)) return refusal(path, reader);
  }
  if (size.isValid()) {  // the picture must be the one the header promised
    QSize promised = shrink ? fitLongSide(size, longSide) : size;
    if (reader.transformation() & QImageIOHandler::TransformationRotate90) promised.transpose();
    if (image.size() != promised) return readError(path, QStringLiteral("the picture is damaged or incomplete"));
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

Status Imaging::SaveFile(const QString& path, FileSystemUtility::Name name) { return saveAs(path, "jpeg", name); }

Result<QByteArray> Imaging::Encode(const QByteArray& format) {
  if (!hasPicture()) return Error{QStringLiteral("no picture is loaded")};
  const QByteArray name = format.toLower();
  if (!QImageWriter::supportedImageFormats().contains(name)) {
    return Error{
        QStringLiteral("Lumaset does not write pictures in the format \"%1\"").arg(QString::fromLatin1(format))};
  }
  const Operation operation(*this, QStringLiteral("Saving"));
  if (name == "jpeg" || name == "jpg") {
    // Compressed in strips side by side, the resolution in the JFIF header;
    // one file with restart markers.
    PixelJob job(workerThreads_);
    auto encoded = EncodeJpeg(picture_, jpegQuality_, jpegDpi_, job);
    if (!encoded) return Error{encoded.error()};
    operation.step(90);
    return std::move(encoded).value();
  }
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  if (QImageWriter writer(&buffer, name); !writer.write(picture_)) return Error{writer.errorString()};
  operation.step(90);
  return bytes;
}

// Encoded whole in memory first, so that the file is written through the
// one checked write and never left half done.
Status Imaging::saveAs(const QString& path, const QByteArray& format, FileSystemUtility::Name name) {
  const Result<QByteArray> bytes = Encode(format);
  if (!bytes) return writeError(path, bytes.error());
  return FileSystemUtility::WriteFile(path, *bytes, name);
}

bool IsGifName(const QString& path) { return path.right(4).toUpper() == QStringLiteral(".GIF"); }

bool AcceptedAsPicture(const QString& path) { return IsGifName(path) || Imaging::FileInfo(path).ok(); }

}  // namespace lumaset
