// Reading and writing picture files for the imaging layer.

#include "components/imaging/imaging.h"

#include <webp/decode.h>

#include <QBuffer>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QImageWriter>
#include <QPainter>
#include <QPixelFormat>
#include <QTransform>

#include <algorithm>
#include <cstdlib>
#include <optional>

#include "components/imaging/bmp/bmp_file.h"
#include "components/imaging/decode_memory.h"
#include "components/imaging/imaging_file_headers.h"
#include "components/imaging/jpeg/jpeg_decode.h"
#include "components/imaging/jpeg/jpeg_strips.h"
#include "components/imaging/oriented_samples.h"
#include "components/imaging/picture_shrink.h"
#include "components/imaging/pixels/pixel_bands.h"
#include "components/imaging/png/png_decode.h"
#include "components/imaging/tiff/tiff_decode.h"

namespace lumaset {

namespace {

// Qt refuses to decode pictures above 128 MB, which a 36-megapixel photo
// already needs; 1 GB still turns away a header that claims absurd sizes.
// Qt counts 32 bits a pixel whatever it holds, so a black-and-white page of
// 16000 x 16000 needs all of it; what a decode may really take is counted
// apart (decodeFootprint).
constexpr int kReaderLimitMegabytes = 1024;

// Enough of a file's start to find an indexed picture's palette.
constexpr qint64 kHeaderBytes = 64 * 1024;

// Enough of a file's start to tell its format.
constexpr qint64 kSniffBytes = 16;

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

// Qt's PNG and WebP readers pass over the EXIF orientation, which viewers
// show these files by, and which their turn follows.
QImageIOHandler::Transformations exifTransformation(imaging_detail::FileWindow& window, const QByteArray& format) {
  if (format == "png") return imaging_detail::uprightTransformation(imaging_detail::pngOrientation(window));
  if (format == "webp") return imaging_detail::uprightTransformation(imaging_detail::webpOrientation(window));
  return QImageIOHandler::TransformationNone;
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

Error memoryError(const QString& path, QSize size) {
  return readError(path, QStringLiteral("there is not enough memory for a picture of %1 x %2 pixels")
                             .arg(size.width())
                             .arg(size.height()));
}

Error packedTight(const QString& path, QSize size, qsizetype bytes) {
  const QString why = QStringLiteral("a picture of %1 x %2 pixels in %3 bytes is packed tighter than any photo or scan");
  return readError(path, why.arg(size.width()).arg(size.height()).arg(bytes));
}

Error tooLarge(const QString& path, QSize size) {
  return readError(path, QStringLiteral("a picture of %1 x %2 pixels is larger than any photo or scan")
                             .arg(size.width())
                             .arg(size.height()));
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

// A regular file read with plain reads and never mapped (Qt's TIFF reader
// maps a QFile it is given): a file cut short meanwhile gives a short read,
// never a fault.
class UnmappedFile : public QIODevice {
 public:
  bool openPath(const QString& path) {
    return imaging_detail::openRegularFile(file_, path) && QIODevice::open(QIODevice::ReadOnly | QIODevice::Unbuffered);
  }
  bool isSequential() const override { return false; }
  qint64 size() const override { return file_.size(); }
  bool seek(qint64 pos) override { return QIODevice::seek(pos) && file_.seek(pos); }

 protected:
  qint64 readData(char* data, qint64 maxSize) override { return file_.read(data, maxSize); }
  qint64 writeData(const char*, qint64) override { return -1; }

 private:
  QFile file_;
};

// A reader bound to the one format the content names, never guessing another
// (an SVG reader would open whatever files its picture names).
void bindReader(QImageReader& reader, QIODevice* device, const QByteArray& format) {
  reader.setAutoDetectImageFormat(false);
  reader.setDevice(device);
  reader.setFormat(format);
  prepareReader(reader);
}

Error damaged(const QString& path) { return readError(path, QStringLiteral("the picture is damaged or incomplete")); }

Error notAPicture(const QString& path) {
  return readError(path, QStringLiteral("it is not a picture in a format Lumaset reads"));
}

// A bitmap is read by Lumaset's own decoder, never by Qt's reader: its
// layout from the file's start.
Result<imaging_detail::BmpLayout> bmpLayout(const QString& path, QIODevice& file) {
  auto layout = imaging_detail::readBmpLayout(file.peek(kHeaderBytes));
  if (!layout) return readError(path, layout.error());
  return layout;
}

// Opens `path` as `file` and binds `reader` to it in the format its content
// names, which it gives in `format`; the error when it is no picture to read.
// `toDecode`: the reader is to decode the picture, not only to measure it.
// A bitmap's reader stays unbound (see bmpLayout).
std::optional<Error> openReader(const QString& path, UnmappedFile& file, QImageReader& reader, QByteArray& format,
                                bool toDecode = false) {
  if (!file.openPath(path)) return readError(path, QStringLiteral("it is not a file"));
  format = imaging_detail::pictureFormat(file.peek(kSniffBytes));
  if (format.isEmpty()) return notAPicture(path);
  if (format == "bmp") {
    const auto layout = bmpLayout(path, file);
    return layout ? std::nullopt : std::optional(Error{layout.error()});
  }
  if (format == "png") {
    imaging_detail::FileWindow chunks(file, file.size());
    if (!imaging_detail::pngChunksWithinFile(chunks, toDecode) || !file.seek(0)) return damaged(path);
  }
  if (format == "tiff" && imaging_detail::isBigTiff(file.peek(kSniffBytes))) return std::nullopt;  // see bigTiff()
  bindReader(reader, &file, format);
  if (!reader.canRead()) return refusal(path, reader);
  return std::nullopt;
}

// A BigTIFF file, which Qt's reader does not open, is measured by libtiff
// instead, from `file` that openReader opened; nothing for other files.
// `damaged`: a BigTIFF file libtiff cannot measure.
std::optional<imaging_detail::TiffMeasure> bigTiff(const QByteArray& format, UnmappedFile& file, bool& damaged) {
  damaged = false;
  if (format != "tiff" || !imaging_detail::isBigTiff(file.peek(kSniffBytes))) return std::nullopt;
  auto measure = imaging_detail::measureTiff(file);
  damaged = !measure;
  return measure;
}


// The picture stood upright as the file's orientation tag says, the way Qt's
// reader turns it: mirrored first, then a quarter turn clockwise.
QImage upright(const QImage& image, QImageIOHandler::Transformations how) {
  if (how == QImageIOHandler::TransformationNone) return image;
  QImage turned =
      image.mirrored(how & QImageIOHandler::TransformationMirror, how & QImageIOHandler::TransformationFlip);
  if (how & QImageIOHandler::TransformationRotate90) turned = turned.transformed(QTransform().rotate(90));
  return turned;
}

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

// The bytes of a picture widened to the held form, 32 bits a pixel.
qint64 heldFormBytes(QSize size) { return qint64{4} * size.width() * size.height(); }

// A picture file other than JPEG, measured before any of its pixels is
// decoded, from its header and the parts of its layout that say what
// decoding it holds; the file itself is not held meanwhile.
struct DecodePlan {
  QByteArray format;
  QSize size;  // as stored
  QSize target;
  bool shrink = false;
  bool libpng = false;
  bool libtiff = false;
  bool streamed = false;  // read from the file as it decodes, never held whole
  bool banded = false;    // shrunk as its rows are read, never held whole
  std::optional<imaging_detail::BmpLayout> bmp;
  QImageIOHandler::Transformations turn = QImageIOHandler::TransformationNone;
  imaging_detail::Footprint footprint;
  qint64 fileBytes = 0;
  imaging_detail::DecodeRequest request;
};

Result<DecodePlan> planDecode(const QString& path, int longSide, bool widen, UnmappedFile& file) {
  DecodePlan plan;
  QImageReader reader;
  if (auto problem = openReader(path, file, reader, plan.format, true)) return *problem;
  plan.fileBytes = file.size();
  bool bigDamaged = false;
  const auto big = bigTiff(plan.format, file, bigDamaged);
  if (bigDamaged) return damaged(path);
  imaging_detail::FileWindow window(file, plan.fileBytes);
  // Qt's PNG reader reads every chunk before the pixels to give the size
  // (the decode reads them again); the header says it at once.
  const auto png = plan.format == "png" ? imaging_detail::readPngHeader(window) : std::nullopt;
  if (plan.format == "bmp") {
    const auto bmp = bmpLayout(path, file);
    if (!bmp) return Error{bmp.error()};
    plan.bmp = *bmp;
    plan.size = bmp->size();
  } else {
    plan.size = png ? png->size : big ? big->size : storedSize(reader);
    plan.turn = png || plan.format == "webp" ? exifTransformation(window, plan.format)
                : big                            ? big->turn
                                                 : reader.transformation();
  }
  plan.footprint = imaging_detail::decodeFootprint(window, plan.format, plan.size);
  switch (plan.footprint.verdict) {
    case imaging_detail::Footprint::Verdict::Damaged: return damaged(path);
    case imaging_detail::Footprint::Verdict::Packed:
      return packedTight(path, plan.footprint.decoded, plan.fileBytes);
    case imaging_detail::Footprint::Verdict::TooLarge: return tooLarge(path, plan.footprint.decoded);
    case imaging_detail::Footprint::Verdict::Whole: break;
  }
  const auto tiff = plan.format == "tiff" ? imaging_detail::tiffReading(file) : std::nullopt;
  if (tiff) {  // libtiff's own piece: it cuts a strip of a whole uncompressed picture small
    plan.footprint.heldBytes += tiff->pieceBytes - plan.footprint.pieceBytes;
    plan.footprint.pieceBytes = tiff->pieceBytes;
  }
  plan.libpng = png && imaging_detail::readsWithLibpng(*png, window);
  plan.shrink = longSide > 0 && std::max(plan.size.width(), plan.size.height()) > longSide;
  plan.target = plan.shrink ? imaging_detail::fitLongSide(plan.size, longSide) : plan.size;
  plan.libtiff = big || (tiff && tiff->qtMisreads);
  // A bitmap without run lengths, and a TIFF of a kind libtiff's own decode
  // reads, are read a few rows at a time: a thumbnail of them holds a band
  // of rows and the small picture, never the whole.
  const bool plainBmp = plan.bmp && !plan.bmp->runLength();
  plan.banded = plan.shrink && (plainBmp || (tiff && tiff->readHere));
  // libpng reads a PNG file as it decodes it, through Qt's reader or not,
  // libtiff a TIFF file, and Lumaset's own decoder a bitmap without run
  // lengths; the other readers decode a copy of all of the file.
  plan.streamed = plan.format == "png" || plan.format == "tiff" || plainBmp;
  if (!plan.streamed && plan.fileBytes > imaging_detail::DecodeMemory::kTotalBytes) {
    return readError(path, QStringLiteral("the file is too large to be a picture Lumaset reads"));
  }
  const bool turned = plan.turn != QImageIOHandler::TransformationNone;
  const qint64 working = plan.shrink ? imaging_detail::shrinkBytes(plan.size, plan.target, plan.footprint.bits)
                         : turned    ? plan.footprint.heldBytes
                                     : 0;
  const qint64 fileHeld = plan.streamed ? 0 : plan.fileBytes;
  plan.request.decodeBytes =
      plan.banded ? plan.footprint.pieceBytes + working : fileHeld + plan.footprint.heldBytes + working;
  plan.request.size = plan.footprint.decoded;
  if (plan.request.decodeBytes > imaging_detail::DecodeMemory::kTotalBytes) {
    return memoryError(path, plan.footprint.decoded);
  }
  if (!plan.shrink) plan.request.fullSizeBytes = plan.request.decodeBytes + (widen ? heldFormBytes(plan.size) : 0);
  if (plan.request.fullSizeBytes > imaging_detail::kFullSizeBytes) return memoryError(path, plan.footprint.decoded);
  return plan;
}

// The whole file in memory, read after its memory was granted and never more
// of it than was counted: a file that grew meanwhile is cut there (and read
// as damaged), and one cut short gives fewer bytes, never a fault.
Result<QByteArray> readCounted(const QString& path, QIODevice& file, qint64 counted) {
  QByteArray bytes(static_cast<qsizetype>(counted), Qt::Uninitialized);
  qint64 done = 0;
  if (!file.seek(0)) return readError(path, file.errorString());
  while (done < counted) {
    const qint64 read = file.read(bytes.data() + done, counted - done);
    if (read < 0) return readError(path, file.errorString());
    if (read == 0) break;
    done += read;
  }
  bytes.truncate(static_cast<qsizetype>(done));
  return bytes;
}

// Decoded by Qt's reader for the format the content names (a bitmap by
// Lumaset's own decoder), from the file as it decodes where that reader
// streams, else from a copy of the file that must still be the file that
// was measured.
Result<QImage> decodeWithQt(const QString& path, QIODevice& file, const DecodePlan& plan) {
  QBuffer buffer;
  QImageReader reader;
  if (plan.streamed) {
    if (!file.seek(0)) return readError(path, file.errorString());
    bindReader(reader, &file, plan.format);
  } else {
    const Result<QByteArray> bytes = readCounted(path, file, plan.fileBytes);
    if (!bytes) return Error{bytes.error()};
    if (imaging_detail::pictureFormat(*bytes) != plan.format) return damaged(path);
    const imaging_detail::Footprint now = imaging_detail::decodeFootprint(*bytes, plan.format, plan.size);
    if (now.verdict != imaging_detail::Footprint::Verdict::Whole || now.heldBytes > plan.footprint.heldBytes) {
      return damaged(path);  // changed since it was measured
    }
    if (plan.format == "bmp") {
      Result<QImage> bitmap = imaging_detail::decodeBmp(*bytes);
      return bitmap || bitmap.cancelled() ? bitmap : readError(path, bitmap.error());
    }
    buffer.setData(*bytes);
    buffer.open(QIODevice::ReadOnly);
    bindReader(reader, &buffer, plan.format);
  }
  reader.setAutoTransform(false);  // turned once shrunk
  if (!reader.canRead()) return refusal(path, reader);
  if (storedSize(reader) != plan.size) return damaged(path);
  QImage image;
  if (!reader.read(&image)) return refusal(path, reader);
  return image;
}

// Whether a WebP file stores an alpha channel, from its start.
bool webpWithAlpha(const QByteArray& start) {
  WebPBitstreamFeatures features;
  const auto* data = reinterpret_cast<const uint8_t*>(start.constData());
  return WebPGetFeatures(data, static_cast<size_t>(start.size()), &features) == VP8_STATUS_OK && features.has_alpha;
}

// A bitmap's depth as it stores it; its palette as long as the file holds it.
Result<FileFacts> bmpFacts(const QString& path, QIODevice& file) {
  const auto layout = bmpLayout(path, file);
  if (!layout) return Error{layout.error()};
  return FileFacts{layout->width, layout->height, layout->bits, layout->bits <= 8 ? layout->paletteColors : 0};
}

// The picture as `plan` says to read it: shrunk as its rows are read, by
// libpng, libtiff or Lumaset's own bitmap decoder, or by Qt's reader.
Result<QImage> readPicture(const QString& path, QIODevice& file, const DecodePlan& plan) {
  const bool plainBmp = plan.bmp && !plan.bmp->runLength();
  Result<QImage> decoded = Error{QString()};
  if (plan.banded) {
    decoded = plainBmp ? imaging_detail::shrunkBmp(file, *plan.bmp, plan.target)
                       : imaging_detail::shrunkTiff(file, plan.target);
  } else if (plan.libpng) {
    decoded = imaging_detail::decodePng(file);
  } else if (plan.libtiff) {
    decoded = imaging_detail::decodeTiff(file);
  } else if (plainBmp) {
    decoded = imaging_detail::decodeBmp(file, *plan.bmp);
  } else {
    return decodeWithQt(path, file, plan);
  }
  return decoded || decoded.cancelled() ? decoded : readError(path, decoded.error());
}

}  // namespace

QSize Imaging::fitLongSide(QSize size, int longSide) { return imaging_detail::fitLongSide(size, longSide); }

Result<FileFacts> Imaging::FileInfo(const QString& path) {
  if (auto problem = fileProblem(path)) return *problem;
  if (isJpegFile(path)) {
    const auto header = imaging_detail::readJpegHeader(path);
    if (!header) return readError(path, header.error());
    const QSize size = header->upright();
    if (size.isEmpty()) return damaged(path);
    return FileFacts{size.width(), size.height(), header->components * 8, 0};  // grey, colour or CMYK
  }
  UnmappedFile file;
  QImageReader reader;
  QByteArray format;
  if (auto problem = openReader(path, file, reader, format)) return *problem;
  if (format == "bmp") return bmpFacts(path, file);
  const QByteArray start = fileStart(path);
  // Qt's PNG reader reads (and inflates) every chunk before the pixels to
  // give the size; the header says it at once.
  const auto png = format == "png" ? imaging_detail::readPngHeader(start) : std::nullopt;
  bool bigDamaged = false;
  const auto big = bigTiff(format, file, bigDamaged);
  if (bigDamaged) return damaged(path);
  QSize size = png ? png->size : big ? big->size : uprightSize(reader);
  if (big && (big->turn & QImageIOHandler::TransformationRotate90)) size.transpose();
  if (!size.isValid() || (png && size.isEmpty())) return damaged(path);
  const QImage::Format pixelFormat = png || big ? QImage::Format_Invalid : reader.imageFormat();
  imaging_detail::FileWindow window(file, file.size());
  if ((png || format == "webp") && (exifTransformation(window, format) & QImageIOHandler::TransformationRotate90))
    size.transpose();
  const bool mono = pixelFormat == QImage::Format_Mono || pixelFormat == QImage::Format_MonoLSB;
  FileFacts facts{size.width(), size.height(), bitsPerPixel(pixelFormat), mono ? 2 : 0};
  // The depth the file stores, not the one Qt widens it to (grey with alpha,
  // or colour with a transparent colour, comes as 32 bits a pixel).
  if (png) facts.bitsPerPixel = png->bitsPerPixel();
  if (const auto tiff = format == "tiff" ? imaging_detail::tiffDepth(file) : std::nullopt) {
    facts.bitsPerPixel = tiff->bitsPerPixel;
    if (tiff->paletteSize > 0) facts.paletteSize = tiff->paletteSize;
  }
  if (const auto palette = imaging_detail::paletteFacts(start, format)) {
    facts.bitsPerPixel = palette->bitsPerPixel;
    facts.paletteSize = palette->colors;
  } else if (format == "gif") {
    facts.bitsPerPixel = 8;
  } else if (format == "webp") {
    facts.bitsPerPixel = webpWithAlpha(start) ? 32 : 24;
  }
  return facts;
}

namespace imaging_detail {

// A full-size picture (for the preview, cropping, effects, or a file
// rewritten) is held whole, and at 32 bits a pixel once it is widened to the
// held form: while it is read it is counted against a memory of its own,
// apart from the decode memory that thumbnails share. A scan of 16000 x 16000
// black and white, the largest picture read at all, takes 1 GB widened and a
// bit a pixel decoded; 1.5 GB keeps it, and two such reads go one after the
// other. Never destroyed, so that a read still running when the program ends
// finds it intact.
DecodeMemory& FullSizeMemory() {
  static auto* memory = new DecodeMemory(kFullSizeBytes);
  return *memory;
}

Result<DecodeRequest> decodeRequest(const QString& path, int longSide, bool widen) {
  if (auto problem = fileProblem(path)) return *problem;
  if (isJpegFile(path)) {
    const auto header = readJpegHeader(path);
    if (!header) return readError(path, header.error());
    // The decoder counts its own memory, and a picture it shrinks; a
    // full-size picture comes in the held form, turned upright in a copy.
    const QSize size = header->upright();
    return DecodeRequest{0, longSide > 0 ? 0 : heldFormBytes(size) * (header->orientation == 1 ? 1 : 2), size};
  }
  UnmappedFile file;
  auto plan = planDecode(path, longSide, widen, file);
  if (!plan) return Error{plan.error()};
  return plan->request;
}

}  // namespace imaging_detail

// Other formats than JPEG are decoded only when the decode fits in the
// memory decodes may hold (the file, the picture as its reader holds it, and
// the working copies that shrink or turn it), asked for before the file is
// read; a full-size picture also fits in the full-size memory, widened.
Result<QImage> Imaging::decode(const QString& path, int longSide, bool widen) {
  if (auto problem = fileProblem(path)) return *problem;
  if (isJpegFile(path)) {
    // libjpeg shrinks while it decodes, within the decode memory it asks for
    // itself; a full-size read takes its share of the full-size memory first.
    std::optional<imaging_detail::DecodeMemory::Share> full;
    if (longSide == 0) {
      const auto request = imaging_detail::decodeRequest(path, longSide, widen);
      if (!request) return Error{request.error()};
      if (request->fullSizeBytes > imaging_detail::kFullSizeBytes) return memoryError(path, request->size);
      full.emplace(imaging_detail::FullSizeMemory(), request->fullSizeBytes);
      if (!full->granted()) return CancelledError();
    }
    auto image = imaging_detail::decodeJpeg(path, longSide, qint64{kReaderLimitMegabytes} << 20);
    if (!image && !image.cancelled()) return readError(path, image.error());
    return image && widen ? toHeldFormat(*image) : image;
  }
  UnmappedFile file;
  const auto plan = planDecode(path, longSide, widen, file);
  if (!plan) return Error{plan.error()};
  const imaging_detail::DecodeMemory::Share full(imaging_detail::FullSizeMemory(), plan->request.fullSizeBytes);
  if (!full.granted()) return CancelledError();  // stopped while it waited for memory
  const imaging_detail::DecodeMemory::Share share(imaging_detail::DecodeMemory::Shared(), plan->request.decodeBytes);
  if (!share.granted()) return CancelledError();
  Result<QImage> decoded = readPicture(path, file, *plan);
  if (!decoded) return decoded;
  QImage image = std::move(decoded).value();
  // The picture must be the one the header promised.
  if (image.size() != (plan->banded ? plan->target : plan->size)) return damaged(path);
  if (plan->shrink && !plan->banded) image = imaging_detail::shrunk(image, plan->target);
  image = upright(image, plan->turn);
  if (image.isNull()) return memoryError(path, plan->size);
  return widen ? toHeldFormat(image) : image;
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
  return decode(path, longSide, true);
}

Result<QImage> Imaging::ReadAsStored(const QString& path) { return decode(path, 0, false); }

Result<int> Imaging::FrameCount(const QString& path) {
  if (auto problem = fileProblem(path)) return *problem;
  if (isJpegFile(path)) return 1;
  UnmappedFile file;
  QImageReader reader;
  QByteArray format;
  if (auto problem = openReader(path, file, reader, format)) return *problem;
  if (format == "bmp") return 1;
  bool bigDamaged = false;
  if (const auto big = bigTiff(format, file, bigDamaged)) return big->pages;
  if (bigDamaged) return damaged(path);
  return std::max(1, reader.imageCount());
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
