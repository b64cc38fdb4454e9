#include "components/imaging/imaging_file_headers.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <optional>

#include "components/imaging/bmp/bmp_file.h"

namespace lumaset::imaging_detail {

namespace {

// Pictures larger than any camera or scanner makes: 134 million pixels, and
// twice that for a page of black and white, which takes a bit a pixel (a
// 16000 x 16000 scan).
constexpr double kMostPixels = double(1 << 27);
constexpr double kMostBilevelPixels = double(1 << 28);

// The most pixels one byte of a file can stand for where the codec can pack
// a flat picture tightly (LZW, WebP, deflate or ZSTD strips): a flat picture
// of one colour stays under 3,000; a photo under 10.
constexpr double kMostPixelsPerByte = 4096;

// A run of a run-length bitmap takes two bytes for at most 255 pixels.
constexpr double kMostRunLengthPixelsPerByte = 128;

// Deflate, as PNG uses it, turns one byte into at most 1032 (258-byte runs
// coded in a quarter of a byte each).
constexpr double kMostDeflateRatio = 1032;

// A file that is not held is read this much at a time.
constexpr qsizetype kWindowBytes = 64 * 1024;

// A bitmap's headers and palette lie within this much of its start.
constexpr qsizetype kBmpHeaderBytes = 64 * 1024;

double pixelsOf(QSize size) { return static_cast<double>(size.width()) * size.height(); }

// The bytes of a picture of `size` held by QImage at `bits` a pixel, with its
// rows padded to whole 32-bit words; whatever a header claims, it stays far
// from overflowing.
constexpr double kMostCountedBytes = 1e15;

qint64 imageBytes(QSize size, int bits) {
  const double bytes = std::ceil(size.width() * static_cast<double>(bits) / 32) * 4 * size.height();
  return static_cast<qint64>(std::min(bytes, kMostCountedBytes));
}

using Verdict = Footprint::Verdict;

// `whole`: the file holds what its layout needs; `packed`: no more pixels for
// its bytes than the codec packs a flat picture.
Verdict verdictFor(double pixels, bool bilevel, bool whole, bool packed = true) {
  if (pixels > (bilevel ? kMostBilevelPixels : kMostPixels)) return Verdict::TooLarge;
  if (!whole) return Verdict::Damaged;
  return packed ? Verdict::Whole : Verdict::Packed;
}

// Reads past the end give 0, so a cut-off header can never be read out of
// bounds. The bytes are all in memory or in a file read a window at a time.
class Bytes {
 public:
  explicit Bytes(QByteArrayView data) : data_(data), size_(data.size()) {}
  explicit Bytes(FileWindow& file) : file_(&file), size_(file.size()) {}

  qsizetype size() const { return size_; }
  unsigned at(qsizetype i) const {
    const QByteArrayView byte = slice(i, 1);
    return byte.isEmpty() ? 0U : static_cast<unsigned char>(byte[0]);
  }
  unsigned le16(qsizetype i) const { return at(i) | at(i + 1) << 8; }
  unsigned be16(qsizetype i) const { return at(i) << 8 | at(i + 1); }
  std::uint32_t le32(qsizetype i) const { return le16(i) | std::uint32_t{le16(i + 2)} << 16; }
  std::uint32_t be32(qsizetype i) const {
    return std::uint32_t{at(i)} << 24 | at(i + 1) << 16 | at(i + 2) << 8 | at(i + 3);
  }
  bool startsWith(QByteArrayView prefix) const { return slice(0, prefix.size()) == prefix; }
  // Valid until the next read of a file.
  QByteArrayView slice(qsizetype i, qsizetype n) const {
    if (i < 0 || n < 0 || i + n > size_) return {};
    if (!file_) return data_.sliced(i, n);
    const QByteArrayView read = file_->bytes(i, n);
    return read.size() == n ? read : QByteArrayView();
  }

 private:
  QByteArrayView data_;
  FileWindow* file_ = nullptr;
  qsizetype size_ = 0;
};

// Uncompressed bitmaps have a known size, and are read from the file a few
// rows at a time; a run-length stream packs at most 255 pixels in two
// bytes, and one that ends at once is damaged. The picture is held at one
// bit a pixel, a byte for up to 256 colours, and 32 bits for the rest.
Footprint bmpFootprint(const Bytes& b) {
  const auto layout = readBmpLayout(b.slice(0, std::min<qsizetype>(b.size(), kBmpHeaderBytes)));
  if (!layout) return {};
  const QSize size = layout->size();
  const double pixels = pixelsOf(size);
  const double stream = static_cast<double>(b.size()) - layout->pixelsAt;
  const bool plain = !layout->runLength();
  const bool ends = b.at(layout->pixelsAt) == 0 && b.at(layout->pixelsAt + 1) == 1;
  const bool whole = plain ? stream >= static_cast<double>(layout->rowBytes()) * size.height() : stream >= 2 && !ends;
  const bool packed = plain || pixels <= stream * kMostRunLengthPixelsPerByte;
  const int heldBits = layout->bits == 1 ? 1 : layout->bits <= 8 ? 8 : 32;
  const qint64 piece = plain ? BmpRowsHeld(*layout) : 0;
  return {verdictFor(pixels, layout->bits == 1, whole, packed), imageBytes(size, heldBits) + piece, size, heldBits, piece};
}

// The position after a chain of GIF data sub-blocks, or -1 when the file ends first.
qsizetype skipGifSubBlocks(const Bytes& b, qsizetype pos) {
  while (pos < b.size()) {
    const unsigned length = b.at(pos);
    pos += 1 + length;
    if (length == 0) return pos;
  }
  return -1;
}

// The position of the first image descriptor (0x2C), or -1.
qsizetype firstGifImage(const Bytes& b) {
  if (!b.startsWith("GIF8")) return -1;
  qsizetype pos = 13;
  if (b.at(10) & 0x80) pos += 3 * (qsizetype{2} << (b.at(10) & 7));
  while (pos >= 0 && pos < b.size()) {
    const unsigned block = b.at(pos);
    if (block == 0x2C) return pos;
    if (block != 0x21) return -1;  // the trailer, or damage, before any picture
    pos = skipGifSubBlocks(b, pos + 2);
  }
  return -1;
}

constexpr int kPngChannels[] = {1, 0, 3, 1, 2, 0, 4};  // by colour type

// Where the first chunk of `type` before the pixels starts, or -1.
qsizetype pngChunkBeforeImage(const Bytes& b, QByteArrayView type) {
  for (qsizetype pos = 8; pos + 8 <= b.size();) {
    const std::uint32_t length = b.be32(pos);
    const QByteArrayView found = b.slice(pos + 4, 4);
    if (found == type) return pos;
    if (found == "IDAT" || found.isEmpty()) break;
    pos += 12 + static_cast<qsizetype>(length);
  }
  return -1;
}

std::optional<PngHeader> pngHeader(const Bytes& b) {
  if (!b.startsWith("\x89PNG\r\n\x1A\n") || b.slice(12, 4) != "IHDR") return std::nullopt;
  PngHeader header;
  header.size = QSize(static_cast<int>(std::min<std::uint32_t>(b.be32(16), INT32_MAX)),
                      static_cast<int>(std::min<std::uint32_t>(b.be32(20), INT32_MAX)));
  header.bitDepth = static_cast<int>(b.at(24));
  header.colorType = static_cast<int>(b.at(25));
  header.interlaced = b.at(28) == 1;
  header.transparentColour = pngChunkBeforeImage(b, "tRNS") >= 0;
  return header;
}

// The unpacked rows of a PNG take depth x channels bits a pixel; deflate
// packs them at best 1032 to 1. The picture is held as Qt's reader holds it:
// 1-bit grey and palette pictures at a bit a pixel, other grey and palette
// pictures at a byte (16-bit grey at two), 16-bit colour or grey with a
// transparent colour at 64 bits, and the rest at 32.
Footprint pngFootprint(const Bytes& b, QSize size) {
  const auto header = pngHeader(b);
  if (!header) return {};
  const int depth = header->bitDepth;
  const int colorType = header->colorType;
  const double bits = pixelsOf(size) * header->bitsPerPixel();
  const bool whole = static_cast<double>(b.size()) * kMostDeflateRatio >= bits / 8;
  const bool indexed = colorType == 0 || colorType == 3;
  const bool deepGrey = colorType == 0 && depth == 16 && !header->transparentColour;
  const int heldBits = indexed && depth == 1  ? 1
                       : deepGrey             ? 16
                       : indexed && depth <= 8 ? 8
                       : depth == 16           ? 64
                                               : 32;
  return {verdictFor(pixelsOf(size), heldBits == 1, whole), imageBytes(size, heldBits), size, heldBits};
}

// Qt decodes a GIF onto its whole screen at 32 bits a pixel, and keeps the
// part under a frame that asks for it to be restored.
Footprint gifFootprint(const Bytes& b, QSize size) {
  const qsizetype image = firstGifImage(b);
  if (image < 0) return {};
  const QSize screen(static_cast<int>(b.le16(6)), static_cast<int>(b.le16(8)));
  const QSize frame(static_cast<int>(b.le16(image + 5)), static_cast<int>(b.le16(image + 7)));
  const QSize decoded = pixelsOf(screen) > pixelsOf(size) ? screen : size;
  const double pixels = pixelsOf(decoded);
  qsizetype pos = image + 10;
  if (b.at(image + 9) & 0x80) pos += 3 * (qsizetype{2} << (b.at(image + 9) & 7));
  const bool whole = skipGifSubBlocks(b, pos + 1) >= 0;  // + 1: the LZW code size
  const bool packed = pixels <= static_cast<double>(b.size()) * kMostPixelsPerByte;
  const qint64 held = 4 * (static_cast<qint64>(pixels) + qint64{frame.width()} * frame.height());
  return {verdictFor(pixels, false, whole, packed), held, decoded};
}

// The first directory of a TIFF file: the facts that say how Qt holds the
// picture and how large a piece libtiff decodes at once.
struct TiffLayout {
  unsigned bitsPerSample = 1;
  unsigned samplesPerPixel = 1;
  unsigned sampleFormat = 1;
  unsigned photometric = 2;
  std::uint32_t rowsPerStrip = UINT32_MAX;
  std::uint32_t tileWidth = 0;
  std::uint32_t tileLength = 0;
};

// A classic TIFF file's directory has 12-byte entries with values of up to
// 4 bytes in place; a BigTIFF file's has 20-byte entries with up to 8.
std::optional<TiffLayout> tiffLayout(const Bytes& b) {
  const bool motorola = b.startsWith("MM");
  const auto u16 = [&](qsizetype i) { return motorola ? b.be16(i) : b.le16(i); };
  const auto u32 = [&](qsizetype i) { return motorola ? b.be32(i) : b.le32(i); };
  const bool big = u16(2) == 43;
  const auto u64 = [&](qsizetype i) {
    return motorola ? std::uint64_t{u32(i)} << 32 | u32(i + 4) : std::uint64_t{u32(i + 4)} << 32 | u32(i);
  };
  const std::uint64_t directory = big ? u64(8) : u32(4);
  if (directory < (big ? 16U : 8U) || directory >= static_cast<std::uint64_t>(b.size())) return std::nullopt;
  TiffLayout layout;
  const std::uint64_t entries = big ? u64(static_cast<qsizetype>(directory)) : u16(static_cast<qsizetype>(directory));
  const qsizetype entrySize = big ? 20 : 12, inPlace = big ? 8 : 4;
  const auto first = static_cast<qsizetype>(directory) + (big ? 8 : 2);
  for (std::uint64_t i = 0; i < entries; ++i) {
    const qsizetype entry = first + entrySize * static_cast<qsizetype>(i);
    if (entry + entrySize > b.size()) return std::nullopt;
    const unsigned type = u16(entry + 2);
    const std::uint64_t count = big ? u64(entry + 4) : u32(entry + 4);
    const qsizetype valueAt = entry + (big ? 12 : 8);
    const std::uint64_t bytes = count * (type == 3 ? 2 : type == 16 ? 8 : 4);
    // The first value: in the entry itself when it fits, else where it points.
    const qsizetype at = bytes > std::uint64_t(inPlace)
                             ? static_cast<qsizetype>(std::min<std::uint64_t>(big ? u64(valueAt) : u32(valueAt), INT64_MAX / 2))
                             : valueAt;
    const auto value = static_cast<std::uint32_t>(type == 3 ? u16(at) : type == 16 ? std::min<std::uint64_t>(u64(at), UINT32_MAX) : u32(at));
    switch (u16(entry)) {
      case 258: layout.bitsPerSample = value; break;
      case 262: layout.photometric = value; break;
      case 277: layout.samplesPerPixel = value; break;
      case 278: layout.rowsPerStrip = value; break;
      case 322: layout.tileWidth = value; break;
      case 323: layout.tileLength = value; break;
      case 339: layout.sampleFormat = value; break;
      default: break;
    }
  }
  return layout;
}

// Black and white (as grey) is held at a bit a pixel, 8-bit grey or palette
// at a byte, 16-bit grey at two, other pictures of up to 8 bits a sample at
// 32 bits a pixel, of 16 at 64 and of more (floats) at 128, by Qt's reader
// and libtiff's own decode alike (which holds less for some: 4-bit grey at
// a byte); libtiff decodes a strip or a row of tiles at a time beside it. Fax codes pack a blank
// page far tighter than other codecs, so only black and white may claim more
// pixels for its bytes than a flat picture packs.
Footprint tiffFootprint(const Bytes& b, QSize size) {
  const auto layout = tiffLayout(b);
  if (!layout) return {};
  const double bits = layout->bitsPerSample;
  const bool grey = layout->samplesPerPixel == 1 && layout->photometric <= 1;
  const bool bilevel = grey && bits == 1;
  const bool indexed = grey || (layout->samplesPerPixel == 1 && layout->photometric == 3);
  const bool byte = indexed && bits == 8 && layout->sampleFormat != 3;
  const bool deepGrey = grey && bits == 16 && layout->sampleFormat != 3;
  const bool floating = layout->sampleFormat == 3;
  const int colourBits = bits <= 8 ? 32 : bits <= 16 && !floating ? 64 : 128;
  const int heldBits = bilevel ? 1 : byte ? 8 : deepGrey ? 16 : colourBits;
  const bool tiled = layout->tileWidth > 0 && layout->tileLength > 0;
  // libtiff's own decode holds a row of tiles and one tile more.
  const double tilesAcross = tiled ? std::ceil(size.width() / double(layout->tileWidth)) + 1 : 1;
  const double pieceWidth = tiled ? tilesAcross * layout->tileWidth : size.width();
  const double pieceRows = tiled ? layout->tileLength : std::min<double>(layout->rowsPerStrip, size.height());
  const double piece = pieceWidth * pieceRows * layout->samplesPerPixel * bits / 8;
  const double pixels = pixelsOf(size);
  const bool packed = bilevel || pixels <= static_cast<double>(b.size()) * kMostPixelsPerByte;
  const double held = static_cast<double>(imageBytes(size, heldBits)) + piece;
  return {verdictFor(pixels, bilevel, true, packed), static_cast<qint64>(std::min(held, kMostCountedBytes)), size,
          heldBits, static_cast<qint64>(std::min(piece, kMostCountedBytes))};
}

// Qt decodes WebP at 32 bits a pixel, and an animation's frame apart from
// its canvas.
Footprint webpFootprint(const Bytes& b, QSize size) {
  const bool extended = b.slice(12, 4) == "VP8X";
  const double pixels = pixelsOf(size);
  const bool packed = pixels <= static_cast<double>(b.size()) * kMostPixelsPerByte;
  return {verdictFor(pixels, false, true, packed), imageBytes(size, 32) * (extended ? 2 : 1), size};
}

std::optional<PaletteFacts> gifPalette(const Bytes& b) {
  unsigned flags = b.at(10);
  if (!(flags & 0x80)) {
    const qsizetype image = firstGifImage(b);
    if (image < 0) return std::nullopt;
    flags = b.at(image + 9);
    if (!(flags & 0x80)) return std::nullopt;
  }
  const int bits = static_cast<int>(flags & 7) + 1;
  return PaletteFacts{bits, 1 << bits};
}

std::optional<PaletteFacts> pngPalette(const Bytes& b) {
  const int depth = static_cast<int>(b.at(24));
  const unsigned colorType = b.at(25);
  if (depth < 1 || depth > 8) return std::nullopt;
  if (colorType == 0 && depth < 8) return PaletteFacts{depth, 1 << depth};
  if (colorType != 3) return std::nullopt;
  if (const qsizetype palette = pngChunkBeforeImage(b, "PLTE"); palette >= 0) {
    return PaletteFacts{depth, static_cast<int>(b.be32(palette) / 3)};
  }
  return PaletteFacts{depth, 1 << depth};
}

}  // namespace

QByteArray pictureFormat(QByteArrayView fileStart) {
  const Bytes b(fileStart);
  if (b.startsWith("\xFF\xD8\xFF")) return "jpeg";
  if (b.startsWith("\x89PNG\r\n\x1A\n")) return "png";
  if (b.startsWith("GIF87a") || b.startsWith("GIF89a")) return "gif";
  if (b.startsWith("BM")) return "bmp";
  if (b.startsWith(QByteArrayView("II*\0", 4)) || b.startsWith(QByteArrayView("MM\0*", 4))) return "tiff";
  if (b.startsWith(QByteArrayView("II+\0\x08\0", 6)) || b.startsWith(QByteArrayView("MM\0+\0\x08", 6))) return "tiff";
  if (b.startsWith("RIFF") && b.slice(8, 4) == "WEBP") return "webp";
  return {};
}

namespace {

Footprint footprintOf(const Bytes& bytes, QByteArrayView format, QSize size) {
  if (!size.isValid() || size.isEmpty() || pictureFormat(bytes.slice(0, std::min<qsizetype>(bytes.size(), 16))) != format)
    return {};
  if (format == "bmp") return bmpFootprint(bytes);
  if (format == "png") return pngFootprint(bytes, size);
  if (format == "gif") return gifFootprint(bytes, size);
  if (format == "tiff") return tiffFootprint(bytes, size);
  if (format == "webp") return webpFootprint(bytes, size);
  return {};
}

}  // namespace

Footprint decodeFootprint(QByteArrayView file, QByteArrayView format, QSize size) {
  return footprintOf(Bytes(file), format, size);
}

Footprint decodeFootprint(FileWindow& file, QByteArrayView format, QSize size) {
  return footprintOf(Bytes(file), format, size);
}

QByteArrayView FileWindow::bytes(qint64 at, qsizetype count) {
  if (at < 0 || count <= 0 || at >= size_) return {};
  count = static_cast<qsizetype>(std::min<qint64>(count, size_ - at));
  if (start_ < 0 || at < start_ || at + count > start_ + window_.size()) {
    window_.resize(std::max<qsizetype>(count, kWindowBytes));
    start_ = at;
    const qint64 read = file_.seek(at) ? file_.read(window_.data(), std::min<qint64>(window_.size(), size_ - at)) : -1;
    window_.truncate(static_cast<qsizetype>(std::max<qint64>(read, 0)));
  }
  const qint64 offset = at - start_;
  return QByteArrayView(window_).sliced(offset, std::min<qint64>(count, window_.size() - offset));
}

bool pngChunksWithinFile(FileWindow& file, bool pastPixels) {
  const Bytes b(file);
  for (qint64 at = 8; at + 8 <= file.size();) {
    const qint64 end = at + 12 + qint64{b.be32(at)};
    const QByteArrayView type = b.slice(at + 4, 4);
    if (type == "IDAT" && !pastPixels) break;
    if (end > file.size()) return type == "IDAT";
    if (type == "IEND") break;
    at = end;
  }
  return true;
}

int PngHeader::bitsPerPixel() const {
  const int channels = colorType >= 0 && colorType < 7 ? kPngChannels[colorType] : 0;
  return bitDepth * std::max(channels, 1);
}

std::optional<PngHeader> readPngHeader(QByteArrayView fileStart) { return pngHeader(Bytes(fileStart)); }

std::optional<PngHeader> readPngHeader(FileWindow& file) { return pngHeader(Bytes(file)); }

bool openRegularFile(QFile& file, const QString& path) {
  const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat info {};
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    const int cause = S_ISDIR(info.st_mode) ? EISDIR : EINVAL;
    ::close(fd);
    errno = cause;
    return false;
  }
  if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
    ::close(fd);
    return false;
  }
  return true;
}

std::optional<PaletteFacts> paletteFacts(QByteArrayView fileStart, QByteArrayView format) {
  const Bytes bytes(fileStart);
  if (format == "gif") return gifPalette(bytes);
  if (format == "png" && bytes.startsWith("\x89PNG")) return pngPalette(bytes);
  return std::nullopt;
}

// EXIF data is a small TIFF file: a byte-order mark, the first directory's
// offset, and 12-byte entries of tag, type, count and value. Every read is
// bounded, so a broken block gives 0, never a read past its end; a directory
// cut short still gives the entries it holds.
namespace {

const QByteArrayView kExifMark("Exif\0\0", 6);

// The orientation entry of the first directory: where its value lies in the
// TIFF structure, its type (3 short, 4 long) and byte order.
struct OrientationEntry {
  qsizetype value = 0;
  unsigned type = 0;
  bool motorola = false;
};

std::optional<OrientationEntry> orientationEntry(QByteArrayView tiff) {
  const Bytes b(tiff);
  const bool motorola = b.at(0) == 'M' && b.at(1) == 'M';
  if (!motorola && !(b.at(0) == 'I' && b.at(1) == 'I')) return std::nullopt;
  const auto u16 = [&](qsizetype i) { return motorola ? b.at(i) << 8 | b.at(i + 1) : b.le16(i); };
  const auto u32 = [&](qsizetype i) { return motorola ? b.be32(i) : b.le32(i); };
  if (u16(2) != 42) return std::nullopt;
  const std::uint32_t directory = u32(4);
  if (directory < 8 || directory > static_cast<std::uint32_t>(b.size())) return std::nullopt;
  const auto first = static_cast<qsizetype>(directory) + 2;
  const unsigned entries = u16(directory);
  for (unsigned i = 0; i < entries && first + 12 * qsizetype{i} + 12 <= b.size(); ++i) {
    const qsizetype entry = first + 12 * qsizetype{i};
    if (u16(entry) == 0x0112) return OrientationEntry{entry + 8, u16(entry + 2), motorola};
  }
  return std::nullopt;
}

QByteArrayView tiffOf(QByteArrayView app1) { return app1.startsWith(kExifMark) ? app1.sliced(kExifMark.size()) : QByteArrayView(); }

}  // namespace

int tiffOrientation(QByteArrayView tiff) {
  const auto entry = orientationEntry(tiff);
  if (!entry) return 0;
  const Bytes b(tiff);
  const qsizetype at = entry->value;
  const unsigned value = entry->type == 3   ? (entry->motorola ? b.at(at) << 8 | b.at(at + 1) : b.le16(at))
                         : entry->type == 4 ? (entry->motorola ? b.be32(at) : b.le32(at))
                                            : 0;
  return value >= 1 && value <= 8 ? static_cast<int>(value) : 0;
}

QByteArray tiffUpright(QByteArrayView tiff) {
  QByteArray upright = tiff.toByteArray();
  const auto entry = orientationEntry(tiff);
  if (!entry || (entry->type != 3 && entry->type != 4)) return upright;
  const qsizetype size = entry->type == 3 ? 2 : 4;
  if (entry->value + size > upright.size()) return upright;
  for (qsizetype i = 0; i < size; ++i) upright[entry->value + i] = 0;
  upright[entry->motorola ? entry->value + size - 1 : entry->value] = 1;
  return upright;
}

int exifOrientation(QByteArrayView app1) { return tiffOrientation(tiffOf(app1)); }

namespace {

// EXIF data takes a few kilobytes; more than this is not read for the
// orientation.
constexpr std::uint32_t kMostExifBytes = 1 << 20;

}  // namespace

QByteArrayView exifTiff(QByteArrayView exif) { return exif.startsWith(kExifMark) ? tiffOf(exif) : exif; }

int exifDataOrientation(QByteArrayView exif) {
  return exif.size() > kMostExifBytes ? 1 : std::max(tiffOrientation(exifTiff(exif)), 1);
}

int pngOrientation(FileWindow& file) {
  const Bytes b(file);
  const qsizetype at = pngChunkBeforeImage(b, "eXIf");
  if (at < 0 || b.be32(at) > kMostExifBytes) return 1;
  return exifDataOrientation(b.slice(at + 8, static_cast<qsizetype>(b.be32(at))).toByteArray());
}

int webpOrientation(FileWindow& file) {
  const Bytes b(file);
  for (qsizetype at = 12; at + 8 <= b.size();) {
    const std::uint32_t size = b.le32(at + 4);
    if (b.slice(at, 4) == "EXIF") return size > kMostExifBytes ? 1 : exifDataOrientation(b.slice(at + 8, static_cast<qsizetype>(size)).toByteArray());
    at += 8 + static_cast<qsizetype>(size) + (size & 1);
  }
  return 1;
}

}  // namespace lumaset::imaging_detail
