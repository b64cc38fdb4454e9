#include "components/imaging/jpeg/jpeg_metadata.h"

#include <QString>

#include <optional>
#include <vector>

#include "components/imaging/exif_turn.h"
#include "components/imaging/imaging_file_headers.h"
#include "components/imaging/jpeg/jpeg_segments.h"

namespace lumaset {

namespace {

using namespace imaging_detail::jpeg_markers;

const QByteArrayView kXmp("http://ns.adobe.com/xap/1.0/\0", 29);
const QByteArrayView kIcc("ICC_PROFILE\0", 12);
// In the first chunk of a profile: the chunk's number, the count, then the
// profile, whose colour space stands 16 bytes into it.
constexpr qsizetype kIccChunkNumber = 12;
constexpr qsizetype kIccColourSpace = 14 + 16;
const QByteArrayView kJfif("JFIF\0", 5);
const QByteArrayView kExif("Exif\0\0", 6);
// A segment's content after its two bytes of length.
constexpr qsizetype kMostSegmentBytes = 65533;
// The JFIF resolution across, then down, each of two bytes, after the
// version and the unit.
constexpr qsizetype kJfifAcross = 8;

using Segment = imaging_detail::JpegSegment;
using Header = imaging_detail::JpegLayout;

unsigned byteAt(QByteArrayView bytes, qsizetype i) { return static_cast<unsigned char>(bytes[i]); }

std::optional<Header> readHeader(QByteArrayView jpeg) { return imaging_detail::jpegLayout(jpeg); }

bool isMetadata(unsigned char marker) { return (marker >= kApp0 && marker <= kApp15) || marker == kComment; }

// A profile spread over several segments is kept or left out whole, by its first chunk.
bool rgbProfile(const std::vector<Segment>& segments) {
  for (const Segment& segment : segments) {
    const QByteArrayView content = segment.content;
    if (segment.marker != kApp2 || !content.startsWith(kIcc) || content.size() < kIccColourSpace + 4) continue;
    if (byteAt(content, kIccChunkNumber) == 1) return content.sliced(kIccColourSpace, 4) == "RGB ";
  }
  return false;
}

int orientationOf(const std::vector<Segment>& segments) {
  for (const Segment& segment : segments) {
    if (segment.marker == kApp1 && segment.content.startsWith(kExif)) {
      const int orientation = imaging_detail::exifOrientation(segment.content);
      return orientation >= 1 && orientation <= 8 ? orientation : 1;
    }
  }
  return 1;
}

// Whether the stored pixels of the original lie sideways to its upright
// picture: its EXIF orientation is one of the four (5 to 8) that turn it.
bool storedSideways(const std::vector<Segment>& segments) { return orientationOf(segments) >= 5; }

QByteArray jfifSidesSwapped(QByteArrayView content) {
  QByteArray jfif = content.toByteArray();
  if (jfif.size() >= kJfifAcross + 4) {
    const QByteArray across = jfif.mid(kJfifAcross, 2);
    jfif.replace(kJfifAcross, 2, jfif.mid(kJfifAcross + 2, 2));
    jfif.replace(kJfifAcross + 2, 2, across);
  }
  return jfif;
}

QByteArray segmentBytes(unsigned char marker, const QByteArray& content) {
  const qsizetype length = content.size() + 2;
  QByteArray bytes;
  bytes.append(char(0xFF)).append(static_cast<char>(marker));
  bytes.append(static_cast<char>(length >> 8)).append(static_cast<char>(length & 0xFF));
  return bytes + content;
}

}  // namespace

Result<QByteArray> MetadataFor(QByteArrayView original, bool quarterTurned, SampleColours colours) {
  const std::optional<Header> old = readHeader(original);
  if (!old) return Error{QStringLiteral("the original's JPEG header is damaged, so its data cannot be kept")};
  const bool ownColours = colours == SampleColours::Original;
  const bool keepProfile = ownColours || rgbProfile(old->segments);
  const bool sidesSwapped = quarterTurned != storedSideways(old->segments);
  QByteArray out("\xFF\xD8");
  for (const Segment& segment : old->segments) {
    const QByteArrayView content = segment.content;
    if (!isMetadata(segment.marker)) continue;
    if (segment.marker == kApp14 && content.startsWith("Adobe") && !ownColours) continue;
    if (segment.marker == kApp2 && content.startsWith(kIcc) && !keepProfile) continue;
    if (segment.marker == kApp1 && content.startsWith(kExif)) {
      const Result<QByteArray> exif =
          imaging_detail::exifTurned(content.sliced(kExif.size()), quarterTurned, kMostSegmentBytes - kExif.size());
      if (!exif) return Error{exif.error(), exif.cancelled()};
      out += segmentBytes(segment.marker, kExif.toByteArray() + *exif);
    } else if (segment.marker == kApp0 && content.startsWith(kJfif) && sidesSwapped) {
      out += segmentBytes(segment.marker, jfifSidesSwapped(content));
    } else if (segment.marker == kApp1 && content.startsWith(kXmp)) {
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
    if (!isMetadata(segment.marker)) out += segment.whole.toByteArray();
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
  const std::optional<Header> header = readHeader(jpeg);
  return header ? orientationOf(header->segments) : 1;
}

}  // namespace lumaset
