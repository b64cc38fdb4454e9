#include "components/imaging/jpeg/jpeg_segments.h"

#include "components/imaging/imaging_file_headers.h"

namespace lumaset::imaging_detail {

namespace {

using namespace jpeg_markers;

unsigned byteAt(QByteArrayView bytes, qsizetype i) { return static_cast<unsigned char>(bytes[i]); }

// Markers that stand alone, without a length: TEM and the restart markers
// (and a start marker where none belongs).
bool standsAlone(unsigned marker) { return marker == 0x01 || (marker >= 0xD0 && marker <= 0xD8); }

// The next marker at or after `at`, stray bytes and fill bytes passed over:
// where its 0xFF stands and the marker's own index; -1 when none is left.
std::pair<qsizetype, qsizetype> nextMarker(QByteArrayView jpeg, qsizetype at) {
  while (at < jpeg.size() && byteAt(jpeg, at) != 0xFF) ++at;
  qsizetype m = at + 1;
  while (m < jpeg.size() && byteAt(jpeg, m) == 0xFF) ++m;  // fill bytes
  if (m >= jpeg.size()) return {-1, -1};
  return {at, m};
}

// The length of the segment whose marker stands at `m`, its two length
// bytes counted; 0 when it is no length or runs past the end.
qsizetype segmentLength(QByteArrayView jpeg, qsizetype m) {
  if (m + 3 > jpeg.size()) return 0;
  const qsizetype length = byteAt(jpeg, m + 1) << 8 | byteAt(jpeg, m + 2);
  return length >= 2 && m + 1 + length <= jpeg.size() ? length : 0;
}

// Past the entropy-coded data that starts at `at`: the next 0xFF that is
// neither a stuffed zero nor a restart marker.
qsizetype pastScanData(QByteArrayView jpeg, qsizetype at) {
  for (;;) {
    at = jpeg.indexOf('\xFF', at);
    if (at < 0) return jpeg.size();
    qsizetype next = at + 1;
    while (next < jpeg.size() && byteAt(jpeg, next) == 0xFF) ++next;
    if (next >= jpeg.size()) return jpeg.size();
    const unsigned marker = byteAt(jpeg, next);
    if (marker != 0x00 && !(marker >= 0xD0 && marker <= 0xD7)) return at;
    at = next + 1;
  }
}

}  // namespace

bool isMetadataSegment(unsigned char marker) {
  return (marker >= kApp0 && marker <= kApp15) || marker == kComment;
}

QByteArray segmentBytes(unsigned char marker, QByteArrayView content) {
  const qsizetype length = content.size() + 2;
  QByteArray bytes;
  bytes.reserve(length + 2);
  bytes.append(char(0xFF)).append(static_cast<char>(marker));
  bytes.append(static_cast<char>(length >> 8)).append(static_cast<char>(length & 0xFF));
  return bytes.append(content);
}

std::optional<JpegLayout> jpegLayout(QByteArrayView jpeg) {
  if (!jpeg.startsWith("\xFF\xD8")) return std::nullopt;
  JpegLayout layout;
  qsizetype at = 2;
  for (;;) {
    const auto [ff, m] = nextMarker(jpeg, at);
    if (ff < 0) return std::nullopt;
    const auto marker = static_cast<unsigned char>(byteAt(jpeg, m));
    if (marker == kScanStart || marker == kImageEnd) {
      layout.scan = ff;
      return layout;
    }
    if (standsAlone(marker)) {
      at = m + 1;
      continue;
    }
    const qsizetype length = segmentLength(jpeg, m);
    if (length == 0) return std::nullopt;
    layout.segments.push_back({marker, ff, jpeg.sliced(ff, m + 1 + length - ff), jpeg.sliced(m + 3, length - 2)});
    at = m + 1 + length;
  }
}

qsizetype jpegPictureEnd(QByteArrayView jpeg) {
  if (!jpeg.startsWith("\xFF\xD8")) return jpeg.size();
  qsizetype at = 2;
  for (;;) {
    const auto [ff, m] = nextMarker(jpeg, at);
    if (ff < 0) return jpeg.size();
    const unsigned marker = byteAt(jpeg, m);
    if (marker == kImageEnd) return m + 1;
    if (standsAlone(marker)) {
      at = m + 1;
      continue;
    }
    const qsizetype length = segmentLength(jpeg, m);
    if (length == 0) return jpeg.size();
    at = m + 1 + length;
    if (marker == kScanStart) at = pastScanData(jpeg, at);
  }
}

bool sameCoding(QByteArrayView a, QByteArrayView b) {
  const std::optional<JpegLayout> first = jpegLayout(a), second = jpegLayout(b);
  if (!first || !second) return false;
  const auto coding = [](const JpegLayout& layout) {
    std::vector<QByteArrayView> segments;
    for (const JpegSegment& segment : layout.segments)
      if (!isMetadataSegment(segment.marker)) segments.push_back(segment.whole);
    return segments;
  };
  return coding(*first) == coding(*second) && a.sliced(first->scan) == b.sliced(second->scan);
}

int namedOrientation(QByteArrayView jpeg) {
  const std::optional<JpegLayout> layout = jpegLayout(jpeg);
  return layout ? namedOrientation(*layout) : 0;
}

int namedOrientation(const JpegLayout& layout) {
  for (const JpegSegment& segment : layout.segments) {
    if (segment.marker == kApp1 && segment.content.startsWith(kExifSegmentMark)) return exifOrientation(segment.content);
  }
  return 0;
}

}  // namespace lumaset::imaging_detail
