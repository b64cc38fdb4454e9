#include "components/imaging/bmp/bmp_quarter_turn.h"

#include <QString>
#include <QtEndian>

#include <cstring>

#include "components/imaging/bmp/bmp_file.h"
#include "components/imaging/decode_memory.h"
#include "components/imaging/pixels/pixel_bands.h"
#include "components/imaging/quarter_turn_file.h"

namespace lumaset::imaging_detail {

namespace {

constexpr qint64 kFileHeader = 14;
constexpr qint64 kProfileOffset = kFileHeader + 112;
constexpr int kRowsBetweenStops = 64;

Error damaged() { return Error{QStringLiteral("the picture is damaged or incomplete.")}; }

void putLe32(QByteArray& bytes, qint64 at, std::uint32_t value) {
  qToLittleEndian<quint32>(value, bytes.data() + at);
}

std::uint32_t le32(QByteArrayView bytes, qint64 at) { return qFromLittleEndian<quint32>(bytes.data() + at); }

// The pixel `index` of a row of `bits`-bit pixels copied to `into` of a
// row whose pixels are still 0.
void copyPixel(const uchar* row, qint64 index, uchar* into, qint64 intoIndex, int bits) {
  if (bits >= 8) {
    const auto bytes = static_cast<size_t>(bits / 8);
    std::memcpy(into + intoIndex * bits / 8, row + index * bits / 8, bytes);
    return;
  }
  const qint64 bit = index * bits, intoBit = intoIndex * bits;
  const unsigned value = row[bit / 8] >> (8 - bits - bit % 8) & ((1U << bits) - 1);
  into[intoBit / 8] = static_cast<uchar>(into[intoBit / 8] | value << (8 - bits - intoBit % 8));
}

// The stored rows of the picture turned clockwise, in the same order (from
// the top down or from the bottom up) and padding as the file's.
Result<QByteArray> turnedRows(QByteArrayView file, const BmpLayout& layout) {
  const qint64 across = layout.height, down = layout.width;
  const qint64 rowBytes = (across * layout.bits + 31) / 32 * 4;
  QByteArray rows(static_cast<qsizetype>(rowBytes * down), '\0');
  const auto* pixels = reinterpret_cast<const uchar*>(file.data() + layout.pixelsAt);
  const qint64 oldRowBytes = layout.rowBytes();
  const auto storedRow = [&layout](qint64 y, qint64 height) { return layout.topDown ? y : height - 1 - y; };
  for (qint64 y = 0; y < down; ++y) {
    if (y % kRowsBetweenStops == 0 && WorkProgress::Step(y, down)) return CancelledError();
    auto* into = reinterpret_cast<uchar*>(rows.data() + storedRow(y, down) * rowBytes);
    // The turned row y is the old column y, read from the bottom up.
    for (qint64 x = 0; x < across; ++x) {
      const uchar* from = pixels + storedRow(layout.height - 1 - x, layout.height) * oldRowBytes;
      copyPixel(from, y, into, x, layout.bits);
    }
  }
  return rows;
}

// The headers with the turned sizes: across and down trade places, and so
// do the resolutions, where the header holds them.
QByteArray turnedHeaders(QByteArrayView file, const BmpLayout& layout, qint64 pixelBytes) {
  QByteArray head = file.first(static_cast<qsizetype>(layout.pixelsAt)).toByteArray();
  if (layout.headerSize == 12) {
    qToLittleEndian<quint16>(static_cast<quint16>(layout.height), head.data() + 18);
    qToLittleEndian<quint16>(static_cast<quint16>(layout.width), head.data() + 20);
    return head;
  }
  putLe32(head, 18, static_cast<std::uint32_t>(layout.height));
  putLe32(head, 22, static_cast<std::uint32_t>(layout.topDown ? -layout.width : layout.width));
  const qint64 headerEnd = kFileHeader + layout.headerSize;
  if (headerEnd >= 38 && le32(file, 34) != 0) putLe32(head, 34, static_cast<std::uint32_t>(pixelBytes));
  if (headerEnd >= 46) {
    putLe32(head, 38, le32(file, 42));
    putLe32(head, 42, le32(file, 38));
  }
  return head;
}

// Read back, the new file must show the pixels of the original turned.
bool showsTurned(QByteArrayView original, QByteArrayView turned) {
  const Result<QImage> before = decodeBmp(original);
  if (!before) return false;
  const Result<QImage> after = decodeBmp(turned);
  if (!after || after->width() != before->height() || after->height() != before->width()) return false;
  const int height = before->height();
  for (int y = 0; y < after->height(); ++y) {
    if (y % kRowsBetweenStops == 0 && WorkProgress::Step(y, after->height())) return false;
    for (int x = 0; x < after->width(); ++x) {
      if (after->pixel(x, y) != before->pixel(y, height - 1 - x)) return false;
    }
  }
  return true;
}

}  // namespace

Result<QByteArray> turnBmpClockwise(QByteArrayView file) {
  const Result<BmpLayout> read = readBmpLayout(file);
  if (!read) return Error{read.error() + QLatin1Char('.')};
  const BmpLayout& layout = *read;
  if (layout.runLength()) return Error{QStringLiteral("its pixels are compressed with run lengths, which Lumaset cannot write back.")};
  // Counted in double first: a header may claim sizes whose product wraps.
  if (static_cast<double>(layout.rowBytes()) * layout.height + layout.pixelsAt > static_cast<double>(file.size()))
    return damaged();
  const qint64 pixelsEnd = layout.pixelsAt + layout.rowBytes() * layout.height;
  const bool profile = layout.profileSize > 0;
  if (profile && (layout.profileAt + layout.profileSize > file.size() ||
                  (layout.profileAt < pixelsEnd && layout.profileAt + layout.profileSize > layout.pixelsAt))) {
    return damaged();
  }
  const qint64 pixelBytes = (qint64{layout.height} * layout.bits + 31) / 32 * 4 * layout.width;
  // The file, the turned pixels and the new file, and both decoded to be
  // compared (a bit, a byte or four a pixel).
  const double decodedBytes =
      static_cast<double>(layout.width) * layout.height * (layout.bits <= 1 ? 0.125 : layout.bits <= 8 ? 1 : 4);
  std::optional<DecodeMemory::Share> share;
  if (auto refused =
          TakeTurnMemory(share, 2.0 * file.size() + 2.0 * pixelBytes + 2 * decodedBytes, layout.width, layout.height))
    return *refused;
  WorkProgress::Stage(0, 0.5);
  Result<QByteArray> rows = turnedRows(file, layout);
  if (!rows) return rows;
  WorkProgress::Stage(0.5, 1);
  // Whatever followed the pixels (a profile, mostly) follows them still.
  QByteArray out = turnedHeaders(file, layout, pixelBytes) + *rows;
  out.append(file.sliced(pixelsEnd));
  if (profile && layout.profileAt >= pixelsEnd) {
    putLe32(out, kProfileOffset, static_cast<std::uint32_t>(layout.profileAt - kFileHeader + pixelBytes -
                                                             (pixelsEnd - layout.pixelsAt)));
  }
  putLe32(out, 2, static_cast<std::uint32_t>(out.size()));
  if (!showsTurned(file, out)) {
    if (DecodeStop::requested()) return CancelledError();
    return Error{QStringLiteral("Lumaset cannot write this BMP file back without changing its pixels.")};
  }
  return out;
}

}  // namespace lumaset::imaging_detail
