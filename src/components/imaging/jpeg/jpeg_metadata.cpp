#include "components/imaging/jpeg/jpeg_metadata.h"

#include <QString>

#include <algorithm>
#include <optional>
#include <vector>

#include "components/imaging/exif_turn.h"
#include "components/imaging/imaging_file_headers.h"
#include "components/imaging/jpeg/jpeg_segments.h"

namespace lumaset {

namespace {

using namespace imaging_detail::jpeg_markers;

const QByteArrayView kIcc("ICC_PROFILE\0", 12);
// In the first chunk of a profile: the chunk's number, the count, then the
// profile, whose colour space stands 16 bytes into it.
constexpr qsizetype kIccChunkNumber = 12;
constexpr qsizetype kIccColourSpace = 14 + 16;
const QByteArrayView kJfif("JFIF\0", 5);
// The JFIF resolution across, then down, each of two bytes, after the
// version and the unit.
constexpr qsizetype kJfifAcross = 8;

using imaging_detail::isMetadataSegment;
using imaging_detail::kExifSegmentMark;
using imaging_detail::kMostSegmentContent;
using imaging_detail::kXmpSegmentMark;
using imaging_detail::segmentBytes;
using Segment = imaging_detail::JpegSegment;
using Header = imaging_detail::JpegLayout;

unsigned byteAt(QByteArrayView bytes, qsizetype i) { return static_cast<unsigned char>(bytes[i]); }

std::optional<Header> readHeader(QByteArrayView jpeg) { return imaging_detail::jpegLayout(jpeg); }

// A profile spread over several segments is kept or left out whole, by its first chunk.
bool rgbProfile(const std::vector<Segment>& segments) {
  for (const Segment& segment : segments) {
    const QByteArrayView content = segment.content;
    if (segment.marker != kApp2 || !content.startsWith(kIcc) || content.size() < kIccColourSpace + 4) continue;
    if (byteAt(content, kIccChunkNumber) == 1) return content.sliced(kIccColourSpace, 4) == "RGB ";
  }
  return false;
}

// Whether the stored pixels of the original lie sideways to its upright
// picture: its EXIF orientation is one of the four (5 to 8) that turn it.
bool storedSideways(const Header& header) { return imaging_detail::namedOrientation(header) >= 5; }

QByteArray jfifSidesSwapped(QByteArrayView content) {
  QByteArray jfif = content.toByteArray();
  if (jfif.size() >= kJfifAcross + 4) {
    const QByteArray across = jfif.mid(kJfifAcross, 2);
    jfif.replace(kJfifAcross, 2, jfif.mid(kJfifAcross + 2, 2));
    jfif.replace(kJfifAcross + 2, 2, across);
  }
  return jfif;
}

}  // namespace

Result<QByteArray> MetadataFor(QByteArrayView original, bool quarterTurned, SampleColours colours) {
  const std::optional<Header> old = readHeader(original);
  if (!old) return Error{QStringLiteral("the original's JPEG header is damaged, so its data cannot be kept")};
  const bool ownColours = colours == SampleColours::Original;
  const bool keepProfile = ownColours || rgbProfile(old->segments);
  const bool sidesSwapped = quarterTurned != storedSideways(*old);
  QByteArray out("\xFF\xD8");
  for (const Segment& segment : old->segments) {
    const QByteArrayView content = segment.content;
    if (!isMetadataSegment(segment.marker)) continue;
    if (segment.marker == kApp14 && content.startsWith("Adobe") && !ownColours) continue;
    if (segment.marker == kApp2 && content.startsWith(kIcc) && !keepProfile) continue;
    if (segment.marker == kApp1 && content.startsWith(kExifSegmentMark)) {
      const Result<QByteArray> exif = imaging_detail::exifTurned(content.sliced(kExifSegmentMark.size()), quarterTurned,
                                                                 kMostSegmentContent - kExifSegmentMark.size());
      if (!exif) return Error{exif.error(), exif.cancelled()};
      out += segmentBytes(segment.marker, kExifSegmentMark.toByteArray() + *exif);
    } else if (segment.marker == kApp0 && content.startsWith(kJfif) && sidesSwapped) {
      out += segmentBytes(segment.marker, jfifSidesSwapped(content));
    } else if (segment.marker == kApp1 && content.startsWith(kXmpSegmentMark)) {
      out += segmentBytes(segment.marker, imaging_detail::xmpUpright(content));
    } else {
      out += segment.whole.toByteArray();
    }
  }
  return out;
}

Result<QByteArray> WithMetadata(QByteArrayView encoded, const QByteArray& metadata) {
  const std::optional<Header> own = readHeader(encoded);
  if (!own) return Error{QStringLiteral("the JPEG library wrote an unexpected header")};
  QByteArray out = metadata;
  for (const Segment& segment : own->segments) {
    if (!isMetadataSegment(segment.marker)) out += segment.whole.toByteArray();
  }
  out += encoded.sliced(own->scan).toByteArray();
  return out;
}

Result<QByteArray> WithMetadataOf(QByteArrayView encoded, QByteArrayView original, bool quarterTurned,
                                  SampleColours colours) {
  if (!readHeader(encoded)) return Error{QStringLiteral("the JPEG library wrote an unexpected header")};
  const Result<QByteArray> metadata = MetadataFor(original, quarterTurned, colours);
  if (!metadata) return metadata;
  return WithMetadata(encoded, *metadata);
}

int JpegOrientation(QByteArrayView jpeg) {
  return std::max(imaging_detail::namedOrientation(jpeg), 1);
}

}  // namespace lumaset
