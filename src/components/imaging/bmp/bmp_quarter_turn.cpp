#include "components/imaging/bmp/bmp_quarter_turn.h"

#include <QString>
#include <QtEndian>

#include <cstring>

#include "components/imaging/bmp/bmp_file.h"
#include "components/imaging/bmp/bmp_run_lengths.h"
#include "components/imaging/decode_memory.h"
#include "components/imaging/imaging_file_headers.h"
#include "components/imaging/pixels/pixel_bands.h"
#include "components/imaging/quarter_turn_file.h"
#include "components/imaging/quarter_turn_pixels.h"

namespace lumaset::imaging_detail {

namespace {

constexpr qint64 kFileHeader = 14;
constexpr qint64 kProfileOffset = kFileHeader + 112;
constexpr int kRowsBetweenStops = 64;

Error damaged() { return Error{QStringLiteral("the picture is damaged or incomplete.")}; }

Error changesPixels() {
  return Error{QStringLiteral("Lumaset cannot write this BMP file back without changing its pixels.")};
}

void putLe32(QByteArray& bytes, qint64 at, std::uint32_t value) {
  qToLittleEndian<quint32>(value, bytes.data() + at);
}

std::uint32_t le32(QByteArrayView bytes, qint64 at) { return qFromLittleEndian<quint32>(bytes.data() + at); }

// Rows first .. end - 1 of the turned picture (`width` pixels across, in
// the stored order of `into`) made on every core; false when stopped.
bool turnInBands(const PackedPixels& from, const PixelMap& map, qint64 width, qint64 rows, uchar* into,
                 qint64 intoRowBytes) {
  PixelJob job(0, KeepTurning);
  return job.Run(static_cast<int>(rows), 8, [&](int first, int end, const BandContext&) {
    mapPackedRows(from, map, static_cast<uint32_t>(width), static_cast<uint32_t>(first), static_cast<uint32_t>(end),
                  into + first * intoRowBytes, static_cast<uint64_t>(intoRowBytes));
  });
}

// `picture` turned clockwise, in its own format and colours.
std::optional<QImage> turnedPicture(const QImage& picture) {
  QImage turned(picture.height(), picture.width(), picture.format());
  if (turned.isNull()) return std::nullopt;
  turned.setColorTable(picture.colorTable());
  const PackedPixels from{picture.constBits(), static_cast<uint64_t>(picture.bytesPerLine()),
                          static_cast<unsigned>(picture.depth())};
  const PixelMap map = PixelMap::clockwise(static_cast<uint32_t>(picture.width()), static_cast<uint32_t>(picture.height()));
  if (!turnInBands(from, map, turned.width(), turned.height(), turned.bits(), turned.bytesPerLine()))
    return std::nullopt;
  return turned;
}

// Whether two pictures of one format hold the same pixels and colours
// (the bits past each row's last pixel aside); false when stopped.
bool samePixels(const QImage& a, const QImage& b) {
  if (a.size() != b.size() || a.format() != b.format() || a.colorTable() != b.colorTable()) return false;
  const qint64 bits = qint64{a.width()} * a.depth();
  const auto whole = static_cast<size_t>(bits / 8);
  const unsigned lastMask = 0xFF00U >> (bits % 8);
  for (int y = 0; y < a.height(); ++y) {
    if (y % kRowsBetweenStops == 0 && WorkProgress::Step(y, a.height())) return false;
    const uchar* ra = a.constScanLine(y);
    const uchar* rb = b.constScanLine(y);
    if (std::memcmp(ra, rb, whole) != 0 || (bits % 8 != 0 && ((ra[whole] ^ rb[whole]) & lastMask) != 0)) return false;
  }
  return true;
}

// Read back (the turn's last part), the new file must show `expected`.
Result<QByteArray> showing(QByteArray turned, const QImage& expected) {
  WorkProgress::Stage(0.6, 0.9);
  const Result<QImage> after = decodeBmp(turned);
  if (after.cancelled()) return CancelledError();
  WorkProgress::Stage(0.9, 1);
  if (!after || !samePixels(*after, expected)) return DecodeStop::requested() ? CancelledError() : changesPixels();
  return turned;
}

// Read back, the new file must show the pixels of the original turned.
Result<QByteArray> checked(QByteArrayView original, QByteArray turned) {
  std::optional<QImage> expected;
  {
    WorkProgress::Stage(0.3, 0.45);
    const Result<QImage> before = decodeBmp(original);
    if (!before) return before.cancelled() ? CancelledError() : changesPixels();
    WorkProgress::Stage(0.45, 0.6);
    expected = turnedPicture(*before);
    if (!expected) return DecodeStop::requested() ? CancelledError() : changesPixels();
  }
  return showing(std::move(turned), *expected);
}

// The headers with the turned sizes: across and down trade places, and so
// do the resolutions, where the header holds them. `pixelBytes` is the
// size of the new pixel data, and `moved` how far what follows it moved.
QByteArray turnedHeaders(QByteArrayView file, const BmpLayout& layout, qint64 pixelBytes, qint64 moved) {
  QByteArray head = file.first(static_cast<qsizetype>(layout.pixelsAt)).toByteArray();
  if (layout.headerSize == 12) {
    qToLittleEndian<quint16>(static_cast<quint16>(layout.height), head.data() + 18);
    qToLittleEndian<quint16>(static_cast<quint16>(layout.width), head.data() + 20);
    return head;
  }
  putLe32(head, 18, static_cast<std::uint32_t>(layout.height));
  putLe32(head, 22, static_cast<std::uint32_t>(layout.topDown ? -layout.width : layout.width));
  const qint64 headerEnd = kFileHeader + layout.headerSize;
  // Run-length data always states its size; plain rows may leave it 0.
  if (headerEnd >= 38 && (le32(file, 34) != 0 || layout.runLength()))
    putLe32(head, 34, static_cast<std::uint32_t>(pixelBytes));
  if (headerEnd >= 46) {
    putLe32(head, 38, le32(file, 42));
    putLe32(head, 42, le32(file, 38));
  }
  // A profile (or its name) after the pixels moves with what follows them.
  if (layout.profileSize > 0 && layout.profileAt >= layout.pixelsAt)
    putLe32(head, kProfileOffset, static_cast<std::uint32_t>(layout.profileAt - kFileHeader + moved));
  return head;
}

// Whether a profile the header names lies in the file, outside the pixels.
bool profileFits(QByteArrayView file, const BmpLayout& layout, qint64 pixelsEnd) {
  if (layout.profileSize <= 0) return true;
  const qint64 end = layout.profileAt + layout.profileSize;
  return end <= file.size() && (layout.profileAt >= pixelsEnd || end <= layout.pixelsAt);
}

// Plain rows move pixel by pixel at their own depth, from the top down or
// from the bottom up as the file stores them.
Result<QByteArray> turnedPlain(QByteArrayView file, const BmpLayout& layout) {
  // Counted in double first: a header may claim sizes whose product wraps.
  if (static_cast<double>(layout.rowBytes()) * layout.height + layout.pixelsAt > static_cast<double>(file.size()))
    return damaged();
  const qint64 pixelsEnd = layout.pixelsAt + layout.rowBytes() * layout.height;
  if (!profileFits(file, layout, pixelsEnd)) return damaged();
  const qint64 across = layout.height, down = layout.width;
  const qint64 rowBytes = (across * layout.bits + 31) / 32 * 4;
  const qint64 pixelBytes = rowBytes * down;
  // The file and the new one, and two pictures decoded at once to compare
  // them (a bit, a byte or four a pixel).
  const double decoded =
      static_cast<double>(layout.width) * layout.height * (layout.bits <= 1 ? 0.125 : layout.bits <= 8 ? 1 : 4);
  const double newFile = static_cast<double>(file.size() - (pixelsEnd - layout.pixelsAt) + pixelBytes);
  std::optional<DecodeMemory::Share> share;
  if (auto refused = TakeTurnMemory(share, static_cast<double>(file.size()) + newFile + 2 * decoded, layout.width,
                                    layout.height))
    return *refused;
  QByteArray out = turnedHeaders(file, layout, pixelBytes, pixelBytes - (pixelsEnd - layout.pixelsAt));
  out.reserve(static_cast<qsizetype>(layout.pixelsAt + pixelBytes + file.size() - pixelsEnd));
  out.append(QByteArray(static_cast<qsizetype>(pixelBytes), '\0'));
  // In stored rows: a file stored from the bottom up has its rows mirrored.
  PixelMap map = PixelMap::clockwise(static_cast<uint32_t>(layout.width), static_cast<uint32_t>(layout.height));
  if (!layout.topDown) map = {{layout.width - 1, 0}, {0, 1}, {-1, 0}};
  const PackedPixels from{reinterpret_cast<const uchar*>(file.data() + layout.pixelsAt),
                          static_cast<uint64_t>(layout.rowBytes()), static_cast<unsigned>(layout.bits)};
  WorkProgress::Stage(0, 0.3);
  if (!turnInBands(from, map, across, down, reinterpret_cast<uchar*>(out.data() + layout.pixelsAt), rowBytes))
    return CancelledError();
  // Whatever followed the pixels (a profile, mostly) follows them still.
  out.append(file.sliced(pixelsEnd));
  putLe32(out, 2, static_cast<std::uint32_t>(out.size()));
  return checked(file, std::move(out));
}

// Run-length data is decoded, turned and written as run lengths again,
// every pixel of it: those the file skipped take the palette's first
// colour (black without a palette), as they were shown.
Result<QByteArray> turnedRunLengths(QByteArrayView file, const BmpLayout& layout) {
  // A few bytes of runs may claim a picture no reader here would decode.
  switch (decodeFootprint(file, "bmp", layout.size()).verdict) {
    case Footprint::Verdict::Whole: break;
    case Footprint::Verdict::Damaged: return damaged();
    case Footprint::Verdict::Packed:
      return Error{QStringLiteral("a picture of %1 x %2 pixels in %3 bytes is packed tighter than any photo or scan.")
                       .arg(layout.width)
                       .arg(layout.height)
                       .arg(file.size())};
    case Footprint::Verdict::TooLarge:
      return Error{QStringLiteral("a picture of %1 x %2 pixels is larger than any photo or scan.")
                       .arg(layout.width)
                       .arg(layout.height)};
  }
  const double pixels = static_cast<double>(layout.width) * layout.height;
  const double decoded = pixels * (layout.coding == BmpLayout::Coding::Rle24 ? 4 : 1);
  // The file, the picture decoded and turned (or turned and read back), its
  // run lengths and the new file.
  const double cost =
      static_cast<double>(file.size()) + 2 * decoded + 2 * mostRunLengthBytes(layout.height, layout.width, layout.coding);
  std::optional<DecodeMemory::Share> share;
  if (auto refused = TakeTurnMemory(share, cost, layout.width, layout.height)) return *refused;
  qint64 pixelsEnd = 0;
  std::optional<QImage> turned;
  {
    WorkProgress::Stage(0, 0.3);
    const Result<QImage> picture = decodeBmp(file, &pixelsEnd);
    if (!picture) return picture.cancelled() ? CancelledError() : Error{picture.error() + QLatin1Char('.')};
    if (!profileFits(file, layout, pixelsEnd)) return damaged();
    WorkProgress::Stage(0.3, 0.45);
    turned = turnedPicture(*picture);
    if (!turned) return DecodeStop::requested() ? CancelledError() : changesPixels();
  }
  WorkProgress::Stage(0.45, 0.6);
  const std::optional<QByteArray> rows = runLengthRows(*turned, layout.coding);
  if (!rows) return CancelledError();
  const qint64 moved = rows->size() - (pixelsEnd - layout.pixelsAt);
  QByteArray out = turnedHeaders(file, layout, rows->size(), moved);
  out.reserve(out.size() + rows->size() + file.size() - pixelsEnd);
  out.append(*rows).append(file.sliced(pixelsEnd));
  putLe32(out, 2, static_cast<std::uint32_t>(out.size()));
  return showing(std::move(out), *turned);
}

}  // namespace

Result<QByteArray> turnBmpClockwise(QByteArrayView file) {
  const Result<BmpLayout> read = readBmpLayout(file);
  if (!read) return Error{read.error() + QLatin1Char('.')};
  return read->runLength() ? turnedRunLengths(file, *read) : turnedPlain(file, *read);
}

}  // namespace lumaset::imaging_detail
