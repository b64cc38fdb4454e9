#pragma once

// The layout of a JPEG file's bytes: the segments of its header, where its
// picture ends (what follows may be a phone's video, a gain map or further
// pictures), and whether two files code their pictures alike.

#include <QByteArray>
#include <QByteArrayView>

#include <optional>
#include <vector>

namespace lumaset::imaging_detail {

// The markers of the segments that the turn and the metadata look for.
namespace jpeg_markers {
inline constexpr unsigned char kScanStart = 0xDA;
inline constexpr unsigned char kImageEnd = 0xD9;
inline constexpr unsigned char kApp0 = 0xE0;   // JFIF
inline constexpr unsigned char kApp1 = 0xE1;   // EXIF, XMP
inline constexpr unsigned char kApp2 = 0xE2;   // colour profile, MPF
inline constexpr unsigned char kApp14 = 0xEE;  // Adobe's colour transform
inline constexpr unsigned char kApp15 = 0xEF;
inline constexpr unsigned char kComment = 0xFE;
}  // namespace jpeg_markers

// What the content of an EXIF segment and of an XMP segment begins with.
inline constexpr QByteArrayView kExifSegmentMark("Exif\0\0", 6);
inline constexpr QByteArrayView kXmpSegmentMark("http://ns.adobe.com/xap/1.0/\0", 29);
// The most content a segment holds: its length counts its own two bytes.
inline constexpr qsizetype kMostSegmentContent = 0xFFFF - 2;

// Whether a segment of `marker` holds data about the picture (an APP
// segment or a comment) rather than its coding.
bool isMetadataSegment(unsigned char marker);

// A segment of `marker` holding `content`: marker, length and content.
QByteArray segmentBytes(unsigned char marker, QByteArrayView content);

struct JpegSegment {
  unsigned char marker = 0;
  qsizetype at = 0;        // where its marker stands
  QByteArrayView whole;    // marker, length and content
  QByteArrayView content;  // after the length
};

struct JpegLayout {
  std::vector<JpegSegment> segments;  // those before the first scan
  qsizetype scan = 0;                 // where the first scan (or the end marker) begins
};

// The segments before the first scan. Stray bytes between segments are
// passed over, as JPEG decoders do; a length that runs past the end is not.
std::optional<JpegLayout> jpegLayout(QByteArrayView jpeg);

// Just past the end marker of the picture `jpeg` starts with: its scans
// and the segments between them gone over as a decoder goes over them.
// The end of `jpeg` when the picture has no end marker.
qsizetype jpegPictureEnd(QByteArrayView jpeg);

// Whether `a` and `b` code the same picture the same way: the segments of
// their headers other than APP segments and comments, and all from their
// first scan on, are the same.
bool sameCoding(QByteArrayView a, QByteArrayView b);

// The orientation (1 to 8) that the first EXIF segment of `jpeg` names; 0
// when it names none.
int namedOrientation(QByteArrayView jpeg);
int namedOrientation(const JpegLayout& layout);

}  // namespace lumaset::imaging_detail
