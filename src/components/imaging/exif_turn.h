#pragma once

// EXIF and XMP data as they read once their picture has been stood upright
// as its orientation says, and perhaps turned a quarter turn clockwise: the
// orientation becomes 1; where the stored grid turned, the sizes and the
// resolution across and down trade places; the EXIF thumbnail turns with the
// picture. JPEG, PNG, WebP and TIFF files all keep their EXIF data so.

#include <QByteArray>
#include <QByteArrayView>

#include "components/imaging/tiff/tiff_entries.h"
#include "components/result.h"

namespace lumaset::imaging_detail {

constexpr uint16_t kOrientationTag = 274;
constexpr uint16_t kXResolutionTag = 282;
constexpr uint16_t kYResolutionTag = 283;
constexpr uint16_t kXmpTag = 700;
constexpr uint16_t kPixelXTag = 40962;  // PixelXDimension
constexpr uint16_t kPixelYTag = 40963;

// XMP writes a value as an attribute (tiff:Orientation="6") or an element
// (<tiff:Orientation>6</tiff:Orientation>). For a name that ends just before
// `afterName`: where its value begins, or -1 where it is neither. Nothing
// at or past `to` is read.
qsizetype xmpValueAt(QByteArrayView xml, qsizetype afterName, qsizetype to);

// The orientation's digit, written either way, becomes 1.
QByteArray xmpUpright(QByteArrayView xmp);

// The values of `across` and `down` trade places (type, count and value);
// where only one of them is there, it takes the other's tag.
void swapAcrossAndDown(TiffDirectory& directory, uint16_t across, uint16_t down);

// The same EXIF data for its picture stood upright and then, with
// `quarterTurned`, turned a quarter turn clockwise. Every byte stays where it
// was (a maker note's own offsets still hold) but for the values that change
// in place and the JPEG thumbnail, which is turned with the picture by the
// JPEG turn and, when it no longer fits its place, moved to the end. Data
// that is no TIFF structure or whose directories are damaged only has its
// orientation set upright, where it can be found. `mostBytes`: what the
// data may grow to (a JPEG segment holds 64 KB); over it, an error says so.
// A thumbnail that cannot be turned (damaged) stays as it was.
Result<QByteArray> exifTurned(QByteArrayView exif, bool quarterTurned, qsizetype mostBytes);

}  // namespace lumaset::imaging_detail
