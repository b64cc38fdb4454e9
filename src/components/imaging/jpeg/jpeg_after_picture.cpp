#include "components/imaging/jpeg/jpeg_after_picture.h"

#include <QString>

#include <algorithm>
#include <optional>
#include <vector>

#include "components/imaging/exif_turn.h"
#include "components/imaging/jpeg/jpeg_segments.h"

namespace lumaset::imaging_detail {

namespace {

using namespace jpeg_markers;
const QByteArrayView kMpfMark("MPF\0", 4);
constexpr quint16 kMpEntryTag = 0xB002;
constexpr qsizetype kEntryBytes = 16;

unsigned byteAt(QByteArrayView bytes, qsizetype i) { return static_cast<unsigned char>(bytes[i]); }

quint32 number(QByteArrayView bytes, qsizetype at, int size, bool little) {
  quint32 value = 0;
  for (int i = 0; i < size; ++i) value |= quint32{byteAt(bytes, at + i)} << (8 * (little ? i : size - 1 - i));
  return value;
}

void putNumber(QByteArray& bytes, qsizetype at, quint32 value, bool little) {
  for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<char>(value >> (8 * (little ? i : 3 - i)));
}

// The picture list of a file's MPF segment, as it stands in the file.
struct MpfList {
  qsizetype base = 0;  // where its byte-order mark stands: offsets count from there
  bool little = false;
  qsizetype entries = 0;  // where its first entry stands
  qsizetype count = 0;

  quint32 attribute(QByteArrayView file, qsizetype i) const { return number(file, entries + i * kEntryBytes, 4, little); }
  quint32 size(QByteArrayView file, qsizetype i) const { return number(file, entries + i * kEntryBytes + 4, 4, little); }
  quint32 offset(QByteArrayView file, qsizetype i) const { return number(file, entries + i * kEntryBytes + 8, 4, little); }
};

// The list that the first MPF segment of `jpeg`'s header gives; nothing
// when there is none, or it cannot be read.
std::optional<MpfList> mpfListOf(QByteArrayView jpeg) {
  const std::optional<JpegLayout> layout = jpegLayout(jpeg);
  if (!layout) return std::nullopt;
  for (const JpegSegment& segment : layout->segments) {
    if (segment.marker != kApp2 || !segment.content.startsWith(kMpfMark)) continue;
    const QByteArrayView tiff = segment.content.sliced(kMpfMark.size());
    if (tiff.size() < 8 || !(tiff.startsWith("II*\0") || tiff.startsWith(QByteArrayView("MM\0*", 4))))
      return std::nullopt;
    const bool little = tiff.startsWith("II");
    const qint64 directory = number(tiff, 4, 4, little);
    if (directory + 2 > tiff.size()) return std::nullopt;
    const quint32 fields = number(tiff, directory, 2, little);
    for (quint32 i = 0; i < fields && directory + 2 + 12 * (i + 1) <= tiff.size(); ++i) {
      const qint64 field = directory + 2 + 12 * qint64{i};
      if (number(tiff, field, 2, little) != kMpEntryTag) continue;
      const qint64 bytes = number(tiff, field + 4, 4, little), at = number(tiff, field + 8, 4, little);
      if (bytes % kEntryBytes != 0 || bytes <= 4 || at + bytes > tiff.size()) return std::nullopt;
      const qsizetype base = segment.content.data() - jpeg.data() + kMpfMark.size();
      return MpfList{base, little, base + static_cast<qsizetype>(at), static_cast<qsizetype>(bytes / kEntryBytes)};
    }
    return std::nullopt;
  }
  return std::nullopt;
}

// A further picture, where it stood in the original and where it stands
// in the turned file's bytes after the first picture.
struct Further {
  qsizetype entry = 0;
  qsizetype start = 0, size = 0;
  qsizetype newStart = 0, newSize = 0;
};

Error unlikeList() {
  return Error{QStringLiteral("the list of further pictures in its MPF segment does not match what follows its picture.")};
}

// The pictures that the MPF list names in what follows the first picture,
// in the order they stand there. Those it names elsewhere (inside the
// first picture, or past the end of the file, as a program that dropped
// them leaves the list) are left as they are.
Result<std::vector<Further>> furtherPictures(const QByteArray& stored, qsizetype end, const MpfList& list) {
  std::vector<Further> pictures;
  for (qsizetype i = 1; i < list.count; ++i) {
    const qint64 start = list.base + qint64{list.offset(stored, i)}, size = list.size(stored, i);
    if (size == 0 || start < end || start + size > stored.size()) continue;
    if ((list.attribute(stored, i) >> 24 & 7) != 0) {
      return Error{QStringLiteral(
          "after its picture it holds a further picture of another kind than JPEG, which Lumaset cannot turn with it.")};
    }
    if (!QByteArrayView(stored).sliced(start).startsWith("\xFF\xD8")) return unlikeList();
    pictures.push_back({i, static_cast<qsizetype>(start), static_cast<qsizetype>(size)});
  }
  std::sort(pictures.begin(), pictures.end(), [](const Further& a, const Further& b) { return a.start < b.start; });
  for (std::size_t i = 1; i < pictures.size(); ++i) {
    if (pictures[i - 1].start + pictures[i - 1].size > pictures[i].start) return unlikeList();
  }
  return pictures;
}

// The digits of a number that `name` gives, as an attribute (name="12")
// or an element (<name>12</name>), at or after `from` and before `to`.
struct Digits {
  qsizetype at = -1, length = 0;
  qint64 value = 0;
};

Digits numberOf(QByteArrayView xml, QByteArrayView name, qsizetype from, qsizetype to) {
  for (qsizetype at = xml.indexOf(name, from); at >= 0 && at < to; at = xml.indexOf(name, at + 1)) {
    qsizetype i = xmpValueAt(xml, at + name.size(), to);
    if (i < 0) continue;
    Digits digits{i, 0, 0};
    while (i < to && xml[i] >= '0' && xml[i] <= '9' && digits.length < 12) {
      digits.value = digits.value * 10 + (xml[i++] - '0');
      ++digits.length;
    }
    if (digits.length > 0) return digits;
  }
  return {};
}

// The file `first` (the turned first picture) with the lengths that its XMP
// container gives the further pictures that moved made new. The container
// lists its items in the order they stand, the first picture first; each
// after it is found by counting its length, and the padding after the one
// before it, back from the end of the original file of `fileSize` bytes.
QByteArray withContainerLengths(const QByteArray& first, const std::vector<Further>& moved, qsizetype fileSize) {
  const std::optional<JpegLayout> layout = jpegLayout(first);
  if (!layout) return first;
  for (const JpegSegment& segment : layout->segments) {
    if (segment.marker != kApp1 || !segment.content.startsWith(kXmpSegmentMark)) continue;
    QByteArray xml = segment.content.toByteArray();
    std::vector<qsizetype> items;
    for (qsizetype at = xml.indexOf("<Container:Item"); at >= 0; at = xml.indexOf("<Container:Item", at + 1))
      items.push_back(at);
    std::vector<Digits> lengths, paddings;
    for (std::size_t k = 0; k < items.size(); ++k) {
      const qsizetype to = k + 1 < items.size() ? items[k + 1] : xml.size();
      lengths.push_back(numberOf(xml, "Item:Length", items[k], to));
      paddings.push_back(numberOf(xml, "Item:Padding", items[k], to));
    }
    qint64 itemEnd = fileSize;
    std::vector<std::pair<Digits, qsizetype>> changes;
    for (std::size_t k = items.size(); k-- > 1;) {
      const qint64 start = itemEnd - lengths[k].value;
      for (const Further& picture : moved) {
        if (lengths[k].at >= 0 && picture.start == start && picture.size == lengths[k].value)
          changes.emplace_back(lengths[k], picture.newSize);
      }
      itemEnd = start - paddings[k - 1].value;
    }
    if (changes.empty()) return first;
    for (const auto& [digits, size] : changes)  // from the last, so that earlier places stay
      xml.replace(digits.at, digits.length, QByteArray::number(size));
    if (xml.size() > kMostSegmentContent) return first;
    return first.first(segment.at) + segmentBytes(kApp1, xml) + first.sliced(segment.at + segment.whole.size());
  }
  return first;
}

}  // namespace

Result<QByteArray> withPicturesAfter(const QByteArray& turned, const QByteArray& stored, qsizetype end, Turn turn,
                                     const PictureTurn& turnPicture) {
  const std::optional<MpfList> old = mpfListOf(QByteArrayView(stored).first(end));
  std::vector<Further> pictures;
  if (old) {
    Result<std::vector<Further>> found = furtherPictures(stored, end, *old);
    if (!found) return Error{found.error()};
    pictures = std::move(found).value();
  }
  QByteArray after;
  qsizetype cursor = end;
  for (Further& picture : pictures) {
    after += QByteArrayView(stored).sliced(cursor, picture.start - cursor);
    const QByteArrayView whole = QByteArrayView(stored).sliced(picture.start, picture.size);
    const qsizetype ownEnd = jpegPictureEnd(whole);
    const int orientation = namedOrientation(whole.first(ownEnd));
    const Turn itsTurn = orientation != 0 ? shownClockwise(orientation) : turn;
    const Result<QByteArray> itsTurned = turnPicture(whole.first(ownEnd), itsTurn);
    if (!itsTurned) {
      if (itsTurned.cancelled()) return Error{itsTurned.error(), true};
      return Error{QStringLiteral("its further picture %1 cannot be turned: %2").arg(picture.entry + 1).arg(itsTurned.error())};
    }
    picture.newStart = after.size();
    after += *itsTurned;
    after += whole.sliced(ownEnd);  // anything the picture's own entry holds after it
    picture.newSize = after.size() - picture.newStart;
    cursor = picture.start + picture.size;
  }
  QByteArray first = withContainerLengths(turned, pictures, stored.size());
  const std::optional<MpfList> list = old ? mpfListOf(first) : std::nullopt;
  if (old && !list) return Error{QStringLiteral("the turned picture lost its list of further pictures.")};
  if (list) {
    // The first entry is the first picture itself, where its size was right.
    if (list->count > 0 && old->size(stored, 0) == quint32(end))
      putNumber(first, list->entries + 4, static_cast<quint32>(first.size()), list->little);
    for (const Further& picture : pictures) {
      if (picture.entry >= list->count) return unlikeList();
      const qint64 offset = first.size() + picture.newStart - list->base;
      putNumber(first, list->entries + picture.entry * kEntryBytes + 4, static_cast<quint32>(picture.newSize),
                list->little);
      putNumber(first, list->entries + picture.entry * kEntryBytes + 8, static_cast<quint32>(offset), list->little);
    }
  }
  // What follows the last further picture, often a video many times the
  // picture's size, is copied once.
  first.reserve(first.size() + after.size() + (stored.size() - cursor));
  first += after;
  first += QByteArrayView(stored).sliced(cursor);
  return first;
}

}  // namespace lumaset::imaging_detail
