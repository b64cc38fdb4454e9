#pragma once

// The tags of a turned TIFF file. libtiff writes the turned samples and the
// tags that say how they lie and are compressed; every other tag of the
// original directory is carried over as the file stores it (tag, type,
// count and value bytes), whatever the tag, with its EXIF, GPS and
// Interoperability directories, so that no value is rounded, retyped or
// lost on the way.

#include <QByteArray>
#include <QByteArrayView>

#include "components/imaging/tiff/tiff_entries.h"
#include "components/result.h"

namespace lumaset::imaging_detail {

// The first directory of the TIFF file `file` as stored, with the
// directories it points to; the error names what cannot be carried over.
struct TiffTags {
  TiffForm form;
  TiffDirectory directory;
};
Result<TiffTags> tiffTagsOf(QByteArrayView file);

// What the turn changes in the tags it carries over.
struct TiffTagTurn {
  bool gridTurns = false;      // across and down trade places in the stored grid
  bool decodedColour = false;  // colours compressed as JPEG are written as RGB
};

// `written`, a file libtiff wrote with the turned samples, with every tag of
// `original` that libtiff did not write added to its directory as stored,
// but that the picture stands upright (the Orientation tag and the XMP
// packet's), and that where the grid turned the resolution and the EXIF
// pixel sizes across and down trade places.
Result<QByteArray> withTiffTags(QByteArray written, TiffTags original, const TiffTagTurn& turn);

}  // namespace lumaset::imaging_detail
