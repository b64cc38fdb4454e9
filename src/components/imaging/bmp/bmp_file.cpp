#include "components/imaging/bmp/bmp_file.h"

#include <QtEndian>

#include <algorithm>
#include <bit>
#include <cstring>

#include "components/imaging/decode_memory.h"
#include "components/imaging/picture_shrink.h"
#include "components/imaging/pixels/pixel_bands.h"

namespace lumaset::imaging_detail {

namespace {

constexpr qint64 kFileHeader = 14;
constexpr std::uint32_t kEmbeddedProfile = 0x4D424544;  // 'MBED'
constexpr std::uint32_t kLinkedProfile = 0x4C494E4B;    // 'LINK': the profile's file name
// Rows decoded between two questions whether the decode is still wanted.
constexpr int kRowsBetweenStops = 64;
// A plain bitmap read from its file is read this much at a time (or a row).
constexpr qint64 kRowBytesAtOnce = qint64{1} << 20;

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

// A stored row of a plain bitmap, decoded into a row of the picture that
// newPicture makes for it.
class RowDecoder {
 public:
  explicit RowDecoder(const BmpLayout& layout)
      : layout_(layout), red_(layout.masks[0]), green_(layout.masks[1]), blue_(layout.masks[2]), alpha_(layout.masks[3]) {}

  void decode(const uchar* in, uchar* out) const {
    const int bits = layout_.bits;
    if (bits == 1) {
      std::memcpy(out, in, static_cast<size_t>((layout_.width + 7) / 8));
      return;
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
        rgb[x] = qRgba(static_cast<int>(red_.of(p, 0)), static_cast<int>(green_.of(p, 0)),
                       static_cast<int>(blue_.of(p, 0)), static_cast<int>(alpha_.of(p, 255)));
      }
    }
  }

 private:
  const BmpLayout& layout_;
  const Channel red_, green_, blue_, alpha_;
};

// A picture of `rows` rows in the form a bitmap of `layout` is held in: 1
// bit a pixel as Format_Mono, up to 8 as Format_Indexed8 with the palette
// `head` (the file from its start) holds, more as Format_RGB32, or
// Format_ARGB32 where the masks give an alpha channel. Null without memory.
QImage newPicture(const BmpLayout& layout, const Reader& head, int rows) {
  const int bits = layout.bits;
  const bool alpha = layout.masks[3] != 0;
  const QImage::Format format = bits == 1  ? QImage::Format_Mono
                                : bits <= 8 ? QImage::Format_Indexed8
                                : alpha     ? QImage::Format_ARGB32
                                            : QImage::Format_RGB32;
  QImage image(layout.width, rows, format);
  if (image.isNull() || bits > 8) return image;
  QList<QRgb> colours(qsizetype{1} << bits, qRgb(0, 0, 0));
  for (int i = 0; i < layout.paletteColors; ++i) {
    const qint64 at = layout.paletteAt + qint64{i} * layout.paletteEntrySize;
    colours[i] = qRgb(static_cast<int>(head.at(at + 2)), static_cast<int>(head.at(at + 1)), static_cast<int>(head.at(at)));
  }
  image.setColorTable(colours);
  return image;
}

Error noMemory(const BmpLayout& layout) {
  return Error{QStringLiteral("there is not enough memory for a picture of %1 x %2 pixels")
                   .arg(layout.width)
                   .arg(layout.height)};
}

// The display row of a stored row.
qint64 shownRow(const BmpLayout& layout, qint64 storedRow) {
  return layout.topDown ? storedRow : layout.height - 1 - storedRow;
}

class Decoder {
 public:
  Decoder(QByteArrayView file, const BmpLayout& layout) : r_{file}, layout_(layout) {}

  // Where the pixel data ended, once decoded.
  qint64 pixelsEnd() const { return end_; }

  Result<QImage> decode() {
    const qint64 plainEnd = layout_.pixelsAt + layout_.rowBytes() * layout_.height;
    end_ = plainEnd;
    if (!layout_.runLength() && plainEnd > r_.file.size()) return damaged();  // before any memory is taken
    image_ = newPicture(layout_, r_, layout_.height);
    if (image_.isNull()) return noMemory(layout_);
    // What run-length data skips: the palette's first colour, or black.
    if (layout_.runLength()) image_.fill(layout_.bits <= 8 ? 0U : qRgb(0, 0, 0));
    const bool whole = layout_.runLength() ? runs() : rows();
    if (stopped_) return CancelledError();
    if (!whole) return damaged();
    return image_;
  }

 private:
  uchar* line(qint64 storedRow) { return image_.scanLine(static_cast<int>(shownRow(layout_, storedRow))); }

  bool wanted(qint64 row) {
    if (row % kRowsBetweenStops == 0 && WorkProgress::Step(static_cast<double>(row), layout_.height)) stopped_ = true;
    return !stopped_;
  }

  bool rows() {
    const RowDecoder rowDecoder(layout_);
    for (qint64 row = 0; row < layout_.height; ++row) {
      if (!wanted(row)) return false;
      rowDecoder.decode(reinterpret_cast<const uchar*>(r_.file.data() + layout_.pixelsAt + row * layout_.rowBytes()),
                        line(row));
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

// The rows of a plain bitmap read from its file a few at a time, never all
// of it: a file cut short meanwhile gives a short read, which is damage.
class StoredRows {
 public:
  StoredRows(QIODevice& file, const BmpLayout& layout) : file_(file), layout_(layout), rowDecoder_(layout) {}

  // The palette, from the file's start.
  bool readHead() {
    const qint64 end = layout_.bits <= 8 ? layout_.paletteAt + qint64{layout_.paletteColors} * layout_.paletteEntrySize : 0;
    head_.resize(static_cast<qsizetype>(end));
    return read(0, head_.data(), end);
  }
  QImage newPicture(int rows) const { return imaging_detail::newPicture(layout_, Reader{head_}, rows); }

  // Decodes the stored rows [first, first + count) into `image`, whose row
  // 0 is display row `top`. False when the file ends first (or the decode
  // was stopped: stopped()).
  bool decode(qint64 first, qint64 count, QImage& image, qint64 top) {
    const qint64 rowBytes = layout_.rowBytes();
    const qint64 chunk = BmpRowsHeld(layout_) / rowBytes;
    for (qint64 at = first; at < first + count; at += chunk) {
      if (DecodeStop::requested()) {
        stopped_ = true;
        return false;
      }
      const qint64 rows = std::min(chunk, first + count - at);
      buffer_.resize(static_cast<qsizetype>(rows * rowBytes));
      if (!read(layout_.pixelsAt + at * rowBytes, buffer_.data(), rows * rowBytes)) return false;
      for (qint64 i = 0; i < rows; ++i) {
        const auto* in = reinterpret_cast<const uchar*>(buffer_.constData() + i * rowBytes);
        rowDecoder_.decode(in, image.scanLine(static_cast<int>(shownRow(layout_, at + i) - top)));
      }
    }
    return true;
  }
  Error failure() const { return stopped_ ? CancelledError() : damaged(); }

 private:
  bool read(qint64 at, char* into, qint64 bytes) {
    if (!file_.seek(at)) return false;
    for (qint64 done = 0; done < bytes;) {
      const qint64 got = file_.read(into + done, bytes - done);
      if (got <= 0) return false;
      done += got;
    }
    return true;
  }

  QIODevice& file_;
  const BmpLayout& layout_;
  const RowDecoder rowDecoder_;
  QByteArray head_;
  QByteArray buffer_;
  bool stopped_ = false;
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

qint64 BmpRowsHeld(const BmpLayout& layout) {
  const qint64 rowBytes = layout.rowBytes();
  return std::clamp<qint64>(kRowBytesAtOnce / rowBytes, 1, layout.height) * rowBytes;
}

Result<QImage> decodeBmp(QIODevice& file, const BmpLayout& layout) {
  StoredRows rows(file, layout);
  if (layout.runLength() || !rows.readHead()) return damaged();
  QImage image = rows.newPicture(layout.height);
  if (image.isNull()) return noMemory(layout);
  if (!rows.decode(0, layout.height, image, 0)) return rows.failure();
  return image;
}

Result<QImage> shrunkBmp(QIODevice& file, const BmpLayout& layout, QSize target) {
  StoredRows rows(file, layout);
  if (layout.runLength() || !rows.readHead()) return damaged();
  return shrunkInBands(layout.size(), target, [&](int top, int count) -> Result<QImage> {
    QImage band = rows.newPicture(count);
    if (band.isNull()) return noMemory(layout);
    // The stored rows that show as [top, top + count), from the file's order.
    const qint64 first = layout.topDown ? top : layout.height - top - count;
    if (!rows.decode(first, count, band, top)) return rows.failure();
    return band;
  });
}

}  // namespace lumaset::imaging_detail
