#include "components/imaging_file_headers.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace lumaset::imaging_detail {

namespace {

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
  // The next 0xFF at or after `from`, or -1.
  qsizetype nextFF(qsizetype from) const {
    if (from < 0 || from >= data_.size()) return -1;
    const void* hit = std::memchr(data_.data() + from, 0xFF, static_cast<std::size_t>(data_.size() - from));
    return hit ? static_cast<const char*>(hit) - data_.data() : -1;
  }

 private:
  QByteArrayView data_;
};

// Where the entropy-coded data after a scan header ends: the next marker
// that is neither a stuffed 0xFF00 nor a restart marker; -1 when the file ends first.
qsizetype endOfScanData(const Bytes& b, qsizetype pos) {
  for (;;) {
    pos = b.nextFF(pos);
    if (pos < 0 || pos + 1 >= b.size()) return -1;
    const unsigned next = b.at(pos + 1);
    if (next == 0x00 || (next >= 0xD0 && next <= 0xD7)) {
      pos += 2;
    } else if (next == 0xFF) {
      pos += 1;
    } else {
      return pos;
    }
  }
}

// A JPEG is whole when its segments lead to the end-of-image marker; what
// follows it (some cameras append data) does not matter.
bool wholeJpeg(const Bytes& b) {
  if (b.at(0) != 0xFF || b.at(1) != 0xD8) return false;
  qsizetype pos = 2;
  for (;;) {
    pos = b.nextFF(pos);
    while (pos >= 0 && b.at(pos + 1) == 0xFF) ++pos;  // fill bytes
    if (pos < 0 || pos + 1 >= b.size()) return false;
    const unsigned marker = b.at(pos + 1);
    pos += 2;
    if (marker == 0xD9) return true;
    if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) continue;  // markers without a length
    const unsigned length = b.at(pos) << 8 | b.at(pos + 1);
    if (length < 2) return false;
    pos += length;
    if (marker == 0xDA) {
      pos = endOfScanData(b, pos);
      if (pos < 0) return false;
    }
  }
}

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
  if (!plain) return true;
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

bool needsWholenessCheck(QByteArrayView format) {
  return format == "jpeg" || format == "bmp" || format == "gif";
}

bool holdsWholePicture(QByteArrayView file, QByteArrayView format) {
  const Bytes bytes(file);
  if (format == "jpeg") return wholeJpeg(bytes);
  if (format == "bmp") return wholeBmp(bytes);
  if (format == "gif") return wholeGif(bytes);
  return true;
}

std::optional<PaletteFacts> paletteFacts(QByteArrayView fileStart, QByteArrayView format) {
  const Bytes bytes(fileStart);
  if (format == "gif") return gifPalette(bytes);
  if (format == "png" && bytes.startsWith("\x89PNG")) return pngPalette(bytes);
  if (format == "bmp" && bytes.startsWith("BM")) return bmpPalette(bytes);
  return std::nullopt;
}

}  // namespace lumaset::imaging_detail
