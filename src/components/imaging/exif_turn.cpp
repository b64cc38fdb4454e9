#include "components/imaging/exif_turn.h"

#include <QString>

#include <utility>

#include "components/imaging/imaging_file_headers.h"
#include "components/imaging/jpeg/jpeg_quarter_turn.h"
#include "components/imaging/jpeg/jpeg_turn_geometry.h"

namespace lumaset::imaging_detail {

namespace {

constexpr uint16_t kImageWidthTag = 256;
constexpr uint16_t kImageLengthTag = 257;
constexpr uint16_t kThumbnailAtTag = 513;  // JPEGInterchangeFormat
constexpr uint16_t kThumbnailBytesTag = 514;

// The orientation whose picture, stood upright and turned a quarter
// clockwise, takes the stored picture's `turn`.
int orientationTurnedBy(Turn turn) {
  for (int o = 1; o <= 8; ++o)
    if (shownClockwise(o) == turn) return o;
  return 1;
}

// Set while a thumbnail is turned, so that a thumbnail's own EXIF data
// (which a JPEG thumbnail should not hold) is not followed further down.
thread_local bool turningThumbnail = false;

// The thumbnail turned by the program's own JPEG turn, which stands a
// picture upright as its EXIF orientation says and turns it clockwise: a
// segment naming `orientation` goes in first and comes out again.
Result<QByteArray> turnedThumbnail(QByteArrayView thumbnail, int orientation) {
  const TiffForm form{true, false};
  const QByteArray exif = QByteArray("Exif\0\0MM\0\x2A", 10) + tiffNumberBytes(8, 4, form) + tiffNumberBytes(1, 2, form) +
                          tiffNumberBytes(kOrientationTag, 2, form) + tiffNumberBytes(kTiffShort, 2, form) +
                          tiffNumberBytes(1, 4, form) + tiffNumberBytes(static_cast<uint64_t>(orientation), 2, form) +
                          QByteArray(2, '\0') + tiffNumberBytes(0, 4, form);
  const QByteArray segment = QByteArray("\xFF\xE1", 2) + tiffNumberBytes(static_cast<uint64_t>(exif.size() + 2), 2, form) + exif;
  if (!thumbnail.startsWith("\xFF\xD8")) return Error{QStringLiteral("no JPEG")};
  const QByteArray marked = thumbnail.first(2).toByteArray() + segment + thumbnail.sliced(2).toByteArray();
  const bool outer = std::exchange(turningThumbnail, true);
  Result<QByteArray> turned = TurnJpegClockwise(marked);
  turningThumbnail = outer;
  if (!turned) return turned;
  if (turned->sliced(2, 4) != segment.first(4)) return Error{QStringLiteral("the mark is gone")};
  return std::move(turned).value().remove(2, segment.size());
}

// The values of two entries in `data` trade places where they lie.
void swapInPlace(QByteArray& data, const TiffForm& form, const TiffDirectory& directory, uint16_t across, uint16_t down) {
  const TiffEntry* a = directory.find(across);
  const TiffEntry* b = directory.find(down);
  if (a && b) {
    const qsizetype field = form.entryBytes() - 2;
    const QByteArray first = data.mid(a->entryAt + 2, field);
    data.replace(a->entryAt + 2, field, data.mid(b->entryAt + 2, field));
    data.replace(b->entryAt + 2, field, first);
  } else if (a || b) {
    data.replace((a ? a : b)->entryAt, 2, tiffNumberBytes(a ? down : across, 2, form));
  }
}

// Writes `value` over the value of `entry` in place, if it fits its type.
bool setInPlace(QByteArray& data, const TiffForm& form, const TiffEntry& entry, uint64_t value) {
  const qsizetype size = tiffTypeBytes(entry.type);
  if (entry.type != kTiffShort && entry.type != kTiffLong && entry.type != kTiffLong8) return false;
  if (size < 8 && value >> (8 * size) != 0) return false;
  data.replace(entry.valueAt, size, tiffNumberBytes(value, size, form));
  return true;
}

// The JPEG thumbnail of IFD1 turned as its picture was, in `out`.
Status turnThumbnail(QByteArray& out, QByteArrayView exif, const TiffForm& form, uint64_t at, Turn turn) {
  const Result<TiffDirectory> ifd1 = readTiffDirectory(exif, form, at);
  if (!ifd1) return {};
  const TiffEntry* start = ifd1->find(kThumbnailAtTag);
  const TiffEntry* length = ifd1->find(kThumbnailBytesTag);
  const uint64_t from = start ? start->number(form).value_or(0) : 0, bytes = length ? length->number(form).value_or(0) : 0;
  const auto size = static_cast<uint64_t>(exif.size());
  if (!start || !length || from == 0 || bytes == 0 || from > size || bytes > size - from) return {};
  Result<QByteArray> turned = turnedThumbnail(exif.sliced(static_cast<qsizetype>(from), static_cast<qsizetype>(bytes)),
                                              orientationTurnedBy(turn));
  if (turned.cancelled()) return Error{turned.error(), true};
  if (!turned) return {};  // a damaged thumbnail stays as it was
  // In its place when it ends the data or still fits there, else at the end.
  uint64_t place = from;
  if (from + bytes == size || static_cast<uint64_t>(turned->size()) > bytes) {
    if (from + bytes == size) out.truncate(static_cast<qsizetype>(from));
    else if (out.size() % 2) out.append('\0');
    place = static_cast<uint64_t>(out.size());
    out.append(*turned);
  } else {
    out.replace(static_cast<qsizetype>(place), turned->size(), *turned);
  }
  if (!setInPlace(out, form, *start, place) || !setInPlace(out, form, *length, static_cast<uint64_t>(turned->size())))
    return Error{QStringLiteral("the turned EXIF thumbnail does not fit its place.")};
  if (turn.transpose) {
    swapInPlace(out, form, *ifd1, kImageWidthTag, kImageLengthTag);
    swapInPlace(out, form, *ifd1, kXResolutionTag, kYResolutionTag);
  }
  return {};
}

}  // namespace

qsizetype xmpValueAt(QByteArrayView xml, qsizetype afterName, qsizetype to) {
  const auto blank = [&](qsizetype i) { return i < to && QByteArrayView(" \t\r\n").contains(xml[i]); };
  qsizetype i = afterName;
  while (blank(i)) ++i;
  if (i < to && xml[i] == '=') {
    ++i;
    while (blank(i)) ++i;
    if (i >= to || (xml[i] != '"' && xml[i] != '\'')) return -1;
    return i + 1;
  }
  return i < to && xml[i] == '>' ? i + 1 : -1;
}

QByteArray xmpUpright(QByteArrayView content) {
  static const QByteArray name("tiff:Orientation");
  QByteArray xmp = content.toByteArray();
  for (qsizetype at = xmp.indexOf(name); at >= 0; at = xmp.indexOf(name, at + 1)) {
    const qsizetype i = xmpValueAt(xmp, at + name.size(), xmp.size());
    if (i >= 0 && i < xmp.size() && xmp[i] >= '1' && xmp[i] <= '8') xmp[i] = '1';
  }
  return xmp;
}

void swapAcrossAndDown(TiffDirectory& directory, uint16_t across, uint16_t down) {
  TiffEntry* a = directory.find(across);
  TiffEntry* b = directory.find(down);
  if (a && b) {
    std::swap(a->type, b->type);
    std::swap(a->count, b->count);
    std::swap(a->value, b->value);
  } else if (a || b) {
    (a ? a : b)->tag = a ? down : across;
  }
}

Result<QByteArray> exifTurned(QByteArrayView exif, bool quarterTurned, qsizetype mostBytes) {
  const int orientation = std::max(tiffOrientation(exif), 1);
  QByteArray out = tiffUpright(exif);
  uint64_t first = 0;
  const std::optional<TiffForm> form = readTiffHeader(exif, first);
  const Result<TiffDirectory> ifd0 = form ? readTiffDirectory(exif, *form, first) : Error{};
  if (!ifd0) return out;
  // The turn of the stored grid: the picture stood upright, and perhaps turned a quarter more.
  const Turn turn = quarterTurned ? shownClockwise(orientation) : followedBy(shownClockwise(orientation), kAnticlockwise);
  if (turn.transpose) {
    swapInPlace(out, *form, *ifd0, kXResolutionTag, kYResolutionTag);
    if (const TiffDirectory* sub = ifd0->sub(kExifPointerTag)) swapInPlace(out, *form, *sub, kPixelXTag, kPixelYTag);
  }
  if (ifd0->next != 0 && !turningThumbnail && turn != Turn{}) {
    const Status thumbnail = turnThumbnail(out, exif, *form, ifd0->next, turn);
    if (!thumbnail) return Error{thumbnail.error(), thumbnail.cancelled()};
  }
  if (out.size() > mostBytes) return Error{QStringLiteral("the turned EXIF thumbnail does not fit its place.")};
  return out;
}

}  // namespace lumaset::imaging_detail
