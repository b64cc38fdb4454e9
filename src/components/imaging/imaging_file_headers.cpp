#include "components/imaging/imaging_file_headers.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <optional>

namespace lumaset::imaging_detail {

namespace {

// The most pixels one byte of a file can stand for in a codec whose bound is
// not worked out below: run lengths, LZW and the fax codes of a blank page
// stay near or under 20,000 (a blank A4 fax page at 300 dpi); a photo under
// 10. A file that claims more pixels than this for each of its bytes is no
// picture.
constexpr double kMostPixelsPerByte = 65536;

// Deflate, as PNG uses it, turns one byte into at most 1032 (258-byte runs
// coded in a quarter of a byte each).
constexpr double kMostDeflateRatio = 1032;

bool withinCodecBound(qsizetype bytes, double pixels) {
  return pixels <= static_cast<double>(bytes) * kMostPixelsPerByte;
}

double pixelsOf(QSize size) { return static_cast<double>(size.width()) * size.height(); }

// Reads past the end give 0, so a cut-off header can never be read out of bounds.
class Bytes {
 public:
  explicit Bytes(QByteArrayView data) : data_(data) {}

  qsizetype size() const { return data_.size(); }
  unsigned at(qsizetype i) const {
    return i >= 0 && i < data_.size() ? static_cast<unsigned char>(data_[i]) : 0U;
  }
  unsigned le16(qsizetype i) const { return at(i) | at(i + 1) << 8; }
  std::uint32_t le32(qsizetype i) const { return le16(i) | std::uint32_t{le16(i + 2)} << 16; }
  std::uint32_t be32(qsizetype i) const {
    return std::uint32_t{at(i)} << 24 | at(i + 1) << 16 | at(i + 2) << 8 | at(i + 3);
  }
  bool startsWith(QByteArrayView prefix) const { return data_.startsWith(prefix); }
  QByteArrayView slice(qsizetype i, qsizetype n) const {
    return i >= 0 && i + n <= data_.size() ? data_.sliced(i, n) : QByteArrayView();
  }

 private:
  QByteArrayView data_;
};

// Uncompressed bitmaps have a known size; run-length ones are left to the codec.
bool wholeBmp(const Bytes& b) {
  const std::uint32_t headerSize = b.le32(14);
  double width = 0;
  double height = 0;
  unsigned bits = 0;
  std::uint32_t compression = 0;
  if (headerSize == 12) {
    width = b.le16(18);
    height = b.le16(20);
    bits = b.le16(24);
  } else if (headerSize >= 40) {
    width = std::abs(static_cast<double>(static_cast<std::int32_t>(b.le32(18))));
    height = std::abs(static_cast<double>(static_cast<std::int32_t>(b.le32(22))));
    bits = b.le16(28);
    compression = b.le32(30);
  } else {
    return b.size() >= 18;
  }
  const bool plain = compression == 0 || compression == 3 || compression == 6;
  if (!plain) return withinCodecBound(b.size(), width * height);
  const double rowBytes = std::floor((width * bits + 31) / 32) * 4;
  return static_cast<double>(b.size()) >= static_cast<double>(b.le32(10)) + rowBytes * height;
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

// The unpacked rows of a PNG take depth x channels bits a pixel; deflate
// packs them at best 1032 to 1.
bool wholePng(const Bytes& b, QSize size) {
  static constexpr int kChannels[] = {1, 0, 3, 1, 2, 0, 4};  // by colour type
  const unsigned colorType = b.at(25);
  const int channels = colorType < 7 ? kChannels[colorType] : 0;
  const double bits = pixelsOf(size) * b.at(24) * std::max(channels, 1);
  return static_cast<double>(b.size()) * kMostDeflateRatio >= bits / 8;
}

bool wholeGif(const Bytes& b) {
  qsizetype pos = firstGifImage(b);
  if (pos < 0) return false;
  const unsigned flags = b.at(pos + 9);
  pos += 10;
  if (flags & 0x80) pos += 3 * (qsizetype{2} << (flags & 7));
  return skipGifSubBlocks(b, pos + 1) >= 0;  // + 1: the LZW code size
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
  for (qsizetype pos = 8; pos + 8 <= b.size();) {
    const std::uint32_t length = b.be32(pos);
    const QByteArrayView type = b.slice(pos + 4, 4);
    if (type == "PLTE") return PaletteFacts{depth, static_cast<int>(length / 3)};
    if (type == "IDAT") break;
    pos += 12 + static_cast<qsizetype>(length);
  }
  return PaletteFacts{depth, 1 << depth};
}

std::optional<PaletteFacts> bmpPalette(const Bytes& b) {
  const bool core = b.le32(14) == 12;
  const int bits = static_cast<int>(b.le16(core ? 24 : 28));
  if (bits < 1 || bits > 8) return std::nullopt;
  const std::uint32_t listed = core ? 0 : b.le32(46);
  const int colors = listed > 0 && listed < (1U << bits) ? static_cast<int>(listed) : 1 << bits;
  return PaletteFacts{bits, colors};
}

}  // namespace

bool holdsWholePicture(QByteArrayView file, QByteArrayView format, QSize size) {
  const Bytes bytes(file);
  if (format == "bmp" && bytes.startsWith("BM")) return wholeBmp(bytes);
  if (format == "png" && bytes.startsWith("\x89PNG")) return wholePng(bytes, size);
  if (format == "gif") {
    // Qt measures a GIF by its first frame when the screen looks too large
    // for it, but decodes onto the whole screen.
    const double screen = static_cast<double>(bytes.le16(6)) * bytes.le16(8);
    return wholeGif(bytes) && withinCodecBound(bytes.size(), std::max(screen, pixelsOf(size)));
  }
  return withinCodecBound(bytes.size(), pixelsOf(size));
}

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
  if (format == "bmp" && bytes.startsWith("BM")) return bmpPalette(bytes);
  return std::nullopt;
}

// EXIF data is a small TIFF file: a byte-order mark, the first directory's
// offset, and 12-byte entries of tag, type, count and value. Every read is
// bounded, so a broken block gives 0, never a read past its end.
namespace {

constexpr qsizetype kTiffStart = 6;

// The orientation entry of the first directory: where its value lies in the
// APP1 content, its type (3 short, 4 long) and byte order.
struct OrientationEntry {
  qsizetype value = 0;
  unsigned type = 0;
  bool motorola = false;
};

std::optional<OrientationEntry> orientationEntry(QByteArrayView app1) {
  if (!app1.startsWith(QByteArrayView("Exif\0\0", 6))) return std::nullopt;
  const Bytes b(app1.sliced(kTiffStart));
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
    if (u16(entry) == 0x0112) return OrientationEntry{kTiffStart + entry + 8, u16(entry + 2), motorola};
  }
  return std::nullopt;
}

}  // namespace

int exifOrientation(QByteArrayView app1) {
  const auto entry = orientationEntry(app1);
  if (!entry) return 0;
  const Bytes b(app1);
  const qsizetype at = entry->value;
  const unsigned value = entry->type == 3   ? (entry->motorola ? b.at(at) << 8 | b.at(at + 1) : b.le16(at))
                         : entry->type == 4 ? (entry->motorola ? b.be32(at) : b.le32(at))
                                            : 0;
  return value >= 1 && value <= 8 ? static_cast<int>(value) : 0;
}

QByteArray exifUpright(QByteArrayView app1) {
  QByteArray upright = app1.toByteArray();
  const auto entry = orientationEntry(app1);
  if (!entry || (entry->type != 3 && entry->type != 4)) return upright;
  const qsizetype size = entry->type == 3 ? 2 : 4;
  if (entry->value + size > upright.size()) return upright;
  for (qsizetype i = 0; i < size; ++i) upright[entry->value + i] = 0;
  upright[entry->motorola ? entry->value + size - 1 : entry->value] = 1;
  return upright;
}

}  // namespace lumaset::imaging_detail
