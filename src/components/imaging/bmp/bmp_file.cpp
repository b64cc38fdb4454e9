#include "components/imaging/bmp/bmp_file.h"

#include <QtEndian>

#include <algorithm>
#include <bit>
#include <cstring>

#include "components/imaging/decode_memory.h"
#include "components/imaging/pixels/pixel_bands.h"

namespace lumaset::imaging_detail {

namespace {

constexpr qint64 kFileHeader = 14;
constexpr std::uint32_t kEmbeddedProfile = 0x4D424544;  // 'MBED'
constexpr std::uint32_t kLinkedProfile = 0x4C494E4B;    // 'LINK': the profile's file name
// Rows decoded between two questions whether the decode is still wanted.
constexpr int kRowsBetweenStops = 64;

// Reads past the end give 0.
struct Reader {
  QByteArrayView file;
  unsigned at(qint64 i) const { return i >= 0 && i < file.size() ? static_cast<unsigned char>(file[i]) : 0U; }
  unsigned le16(qint64 i) const { return at(i) | at(i + 1) << 8; }
  std::uint32_t le32(qint64 i) const { return le16(i) | std::uint32_t{le16(i + 2)} << 16; }
};

Error damaged() { return Error{QStringLiteral("the picture is damaged or incomplete")}; }

Error unreadableKind(const QString& kind) {
  return Error{QStringLiteral("Lumaset cannot read this kind of picture (%1)").arg(kind)};
}

bool windowsHeader(std::uint32_t size) { return size == 40 || size == 52 || size == 56 || size >= 108; }

// The masks of 16 and 32-bit pixels: those the file gives with bit fields,
// else five bits a channel, or a byte.
void readMasks(const Reader& r, BmpLayout& layout, bool fields) {
  if (!fields) {
    layout.masks = layout.bits == 16 ? std::array<std::uint32_t, 4>{0x7C00, 0x03E0, 0x001F, 0}
                                     : std::array<std::uint32_t, 4>{0xFF0000, 0xFF00, 0xFF, 0};
    return;
  }
  const bool alpha = layout.compression == 6 || layout.headerSize >= 56;
  for (int i = 0; i < (alpha ? 4 : 3); ++i) layout.masks[static_cast<size_t>(i)] = r.le32(kFileHeader + 40 + 4 * i);
}

// Why a layout that parsed cannot be decoded, if it cannot.
std::optional<Error> codingProblem(BmpLayout& layout, bool os2) {
  const int bits = layout.bits;
  switch (layout.compression) {
    case 0:
      if (bits == 64) return unreadableKind(QStringLiteral("a BMP of 64 bits a pixel"));
      if (bits != 1 && bits != 2 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32) return damaged();
      return std::nullopt;
    case 1: layout.coding = BmpLayout::Coding::Rle8; return bits == 8 ? std::nullopt : std::optional(damaged());
    case 2: layout.coding = BmpLayout::Coding::Rle4; return bits == 4 ? std::nullopt : std::optional(damaged());
    case 3:
      if (os2) return unreadableKind(QStringLiteral("a BMP compressed with Huffman codes"));
      [[fallthrough]];
    case 6: return bits == 16 || bits == 32 ? std::nullopt : std::optional(damaged());
    case 4:
      if (bits == 24) {
        layout.coding = BmpLayout::Coding::Rle24;
        return std::nullopt;
      }
      return unreadableKind(QStringLiteral("a BMP holding a JPEG picture"));
    case 5: return unreadableKind(QStringLiteral("a BMP holding a PNG picture"));
    case 11:
    case 12:
    case 13: return unreadableKind(QStringLiteral("a CMYK BMP"));
    default: return damaged();
  }
}

// Pixels with bit masks: each channel scaled from its own bits to eight.
struct Channel {
  std::uint32_t mask = 0;
  int shift = 0;
  std::uint32_t most = 0;
  explicit Channel(std::uint32_t m) : mask(m), shift(m ? std::countr_zero(m) : 0), most(m >> shift) {}
  unsigned of(std::uint32_t pixel, unsigned none) const {
    if (most == 0) return none;
    const std::uint64_t v = (pixel & mask) >> shift;
    return static_cast<unsigned>((v * 255 + most / 2) / most);
  }
};

class Decoder {
 public:
  Decoder(QByteArrayView file, const BmpLayout& layout) : r_{file}, layout_(layout) {}

  // Where the pixel data ended, once decoded.
  qint64 pixelsEnd() const { return end_; }

  Result<QImage> decode() {
    const qint64 plainEnd = layout_.pixelsAt + layout_.rowBytes() * layout_.height;
    end_ = plainEnd;
    if (!layout_.runLength() && plainEnd > r_.file.size()) return damaged();  // before any memory is taken
    if (!allocate()) return Error{QStringLiteral("there is not enough memory for a picture of %1 x %2 pixels")
                                      .arg(layout_.width)
                                      .arg(layout_.height)};
    const bool whole = layout_.runLength() ? runs() : rows();
    if (stopped_) return CancelledError();
    if (!whole) return damaged();
    return image_;
  }

 private:
  bool allocate() {
    const int bits = layout_.bits;
    const bool alpha = layout_.masks[3] != 0;
    const QImage::Format format = bits == 1  ? QImage::Format_Mono
                                  : bits <= 8 ? QImage::Format_Indexed8
                                  : alpha     ? QImage::Format_ARGB32
                                              : QImage::Format_RGB32;
    image_ = QImage(layout_.size(), format);
    if (image_.isNull()) return false;
    if (bits <= 8) {
      QList<QRgb> colours(qsizetype{1} << bits, qRgb(0, 0, 0));
      for (int i = 0; i < layout_.paletteColors; ++i) {
        const qint64 at = layout_.paletteAt + qint64{i} * layout_.paletteEntrySize;
        colours[i] = qRgb(static_cast<int>(r_.at(at + 2)), static_cast<int>(r_.at(at + 1)), static_cast<int>(r_.at(at)));
      }
      image_.setColorTable(colours);
    }
    // What run-length data skips: the palette's first colour, or black.
    image_.fill(bits <= 8 ? 0U : qRgb(0, 0, 0));
    return true;
  }

  uchar* line(qint64 storedRow) {
    return image_.scanLine(static_cast<int>(layout_.topDown ? storedRow : layout_.height - 1 - storedRow));
  }

  bool wanted(qint64 row) {
    if (row % kRowsBetweenStops == 0 && WorkProgress::Step(static_cast<double>(row), layout_.height)) stopped_ = true;
    return !stopped_;
  }

  bool rows() {
    const qint64 rowBytes = layout_.rowBytes();
    const Channel red(layout_.masks[0]), green(layout_.masks[1]), blue(layout_.masks[2]), alpha(layout_.masks[3]);
    const int bits = layout_.bits;
    for (qint64 row = 0; row < layout_.height; ++row) {
      if (!wanted(row)) return false;
      const auto* in = reinterpret_cast<const uchar*>(r_.file.data() + layout_.pixelsAt + row * rowBytes);
      uchar* out = line(row);
      if (bits == 1) {
        std::memcpy(out, in, static_cast<size_t>((layout_.width + 7) / 8));
        continue;
      }
      auto* rgb = reinterpret_cast<QRgb*>(out);
      for (int x = 0; x < layout_.width; ++x) {
        if (bits < 8) {
          const int bit = x * bits;
          out[x] = static_cast<uchar>(in[bit / 8] >> (8 - bits - bit % 8) & ((1 << bits) - 1));
        } else if (bits == 8) {
          out[x] = in[x];
        } else if (bits == 24) {
          rgb[x] = qRgb(in[3 * x + 2], in[3 * x + 1], in[3 * x]);
        } else {
          const std::uint32_t p = bits == 16 ? qFromLittleEndian<quint16>(in + 2 * x) : qFromLittleEndian<quint32>(in + 4 * x);
          rgb[x] = qRgba(static_cast<int>(red.of(p, 0)), static_cast<int>(green.of(p, 0)),
                         static_cast<int>(blue.of(p, 0)), static_cast<int>(alpha.of(p, 255)));
        }
      }
    }
    return true;
  }

  // One pixel of run-length data; those past the right edge are dropped.
  void put(qint64 x, qint64 row, QRgb value) {
    if (x >= layout_.width || row >= layout_.height) return;
    uchar* out = line(row);
    if (layout_.coding == BmpLayout::Coding::Rle24) {
      reinterpret_cast<QRgb*>(out)[x] = value;
    } else {
      out[x] = static_cast<uchar>(value);
    }
  }

  // The value of the `i`th pixel of a literal or repeated group starting at `at`.
  QRgb value(qint64 at, qint64 i) const {
    switch (layout_.coding) {
      case BmpLayout::Coding::Rle4: return r_.at(at + i / 2) >> (i % 2 ? 0 : 4) & 0xF;
      case BmpLayout::Coding::Rle24:
        return qRgb(static_cast<int>(r_.at(at + 3 * i + 2)), static_cast<int>(r_.at(at + 3 * i + 1)),
                    static_cast<int>(r_.at(at + 3 * i)));
      default: return r_.at(at + i);
    }
  }

  // The bytes a literal group of `n` pixels takes, padded to a 16-bit word.
  qint64 literalBytes(qint64 n) const {
    const qint64 bytes = layout_.coding == BmpLayout::Coding::Rle4    ? (n + 1) / 2
                         : layout_.coding == BmpLayout::Coding::Rle24 ? 3 * n
                                                                      : n;
    return bytes + (bytes & 1);
  }

  bool runs() {
    const qint64 end = r_.file.size();
    const qint64 repeatBytes = layout_.coding == BmpLayout::Coding::Rle24 ? 3 : 1;
    qint64 at = layout_.pixelsAt, x = 0, row = 0;
    while (row < layout_.height) {
      if (at + 2 > end) return false;
      const unsigned count = r_.at(at), code = r_.at(at + 1);
      if (count > 0) {
        if (at + 1 + repeatBytes > end) return false;
        const bool nibbles = layout_.coding == BmpLayout::Coding::Rle4;
        for (qint64 i = 0; i < count; ++i) put(x + i, row, value(at + 1, nibbles ? i % 2 : 0));
        x += count;
        at += 1 + repeatBytes;
        continue;
      }
      at += 2;
      if (code == 0 || code == 2) {
        const qint64 down = code == 0 ? 1 : r_.at(at + 1);
        if (code == 2 && at + 2 > end) return false;
        x = code == 0 ? 0 : x + r_.at(at);
        at += code == 0 ? 0 : 2;
        for (qint64 i = 0; i < down; ++i)
          if (!wanted(++row)) return false;
      } else if (code == 1) {
        end_ = at;
        return true;
      } else {
        if (at + literalBytes(code) > end) return false;
        for (qint64 i = 0; i < code; ++i) put(x + i, row, value(at, i));
        x += code;
        at += literalBytes(code);
      }
    }
    // The end mark that usually follows the last row's end belongs to the rows.
    end_ = at + 2 <= end && r_.at(at) == 0 && r_.at(at + 1) == 1 ? at + 2 : at;
    return true;
  }

  Reader r_;
  const BmpLayout& layout_;
  QImage image_;
  bool stopped_ = false;
  qint64 end_ = 0;
};

}  // namespace

qint64 BmpLayout::rowBytes() const { return (qint64{width} * bits + 31) / 32 * 4; }

Result<BmpLayout> readBmpLayout(QByteArrayView file) {
  const Reader r{file};
  if (file.size() < kFileHeader + 12 || r.at(0) != 'B' || r.at(1) != 'M') return damaged();
  BmpLayout layout;
  layout.headerSize = r.le32(kFileHeader);
  layout.pixelsAt = r.le32(10);
  const std::uint32_t size = layout.headerSize;
  if (size < 12 || (size > 12 && size < 16) || kFileHeader + size > file.size()) return damaged();
  const bool core = size == 12;
  const bool os2 = !core && !windowsHeader(size);
  std::uint32_t listed = 0;
  if (core) {
    layout.width = static_cast<int>(r.le16(18));
    layout.height = static_cast<int>(r.le16(20));
    layout.bits = static_cast<int>(r.le16(24));
    layout.paletteEntrySize = 3;
  } else {
    const auto width = static_cast<std::int32_t>(r.le32(18));
    const auto height = static_cast<std::int32_t>(r.le32(22));
    if (width <= 0 || height == 0 || height == INT32_MIN) return damaged();
    layout.width = width;
    layout.topDown = height < 0;
    layout.height = layout.topDown ? -height : height;
    layout.bits = static_cast<int>(r.le16(28));
    // Fields the header is too short to hold are 0.
    const auto field = [&](qint64 at) { return at + 4 <= kFileHeader + size ? r.le32(at) : 0U; };
    layout.compression = field(30);
    listed = field(46);
    const std::uint32_t colourSpace = r.le32(kFileHeader + 56);
    if (size >= 124 && (colourSpace == kEmbeddedProfile || colourSpace == kLinkedProfile)) {
      layout.profileAt = kFileHeader + qint64{r.le32(kFileHeader + 112)};
      layout.profileSize = r.le32(kFileHeader + 116);
    }
  }
  if (layout.width <= 0 || layout.height <= 0) return damaged();
  if (auto problem = codingProblem(layout, os2)) return *problem;
  if (layout.topDown && layout.runLength()) return damaged();
  const bool fields = !core && !os2 && (layout.compression == 3 || layout.compression == 6);
  if (layout.bits == 16 || layout.bits == 32) readMasks(r, layout, fields);
  // Masks that follow a 40-byte header lie before the palette.
  const qint64 fieldBytes = fields && size == 40 ? (layout.compression == 6 ? 16 : 12) : 0;
  layout.paletteAt = kFileHeader + size + fieldBytes;
  if (layout.pixelsAt < layout.paletteAt) return damaged();
  if (layout.bits <= 8) {
    const std::uint32_t most = 1U << layout.bits;
    const std::uint32_t wanted = listed > 0 && listed < most ? listed : most;
    const qint64 room = (layout.pixelsAt - layout.paletteAt) / layout.paletteEntrySize;
    layout.paletteColors = static_cast<int>(std::min<qint64>(wanted, room));
  }
  return layout;
}

Result<QImage> decodeBmp(QByteArrayView file, qint64* pixelsEnd) {
  const Result<BmpLayout> layout = readBmpLayout(file);
  if (!layout) return Error{layout.error()};
  Decoder decoder(file, *layout);
  Result<QImage> image = decoder.decode();
  if (pixelsEnd) *pixelsEnd = decoder.pixelsEnd();
  return image;
}

}  // namespace lumaset::imaging_detail
