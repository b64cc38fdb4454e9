#pragma once

// The picture data of a PNG file (the content of its IDAT chunks) made from
// its samples: each row filtered as PNG's filters allow, the whole one zlib
// stream. Bands of rows are filtered and compressed on every core, each band
// a run of deflate blocks that ends on a byte boundary, joined into the one
// stream a PNG holds; the result does not depend on how many cores ran.

#include <QByteArray>

#include <optional>

#include "components/imaging/png/png_samples.h"

namespace lumaset::imaging_detail {

// The zlib stream of the filtered rows of `samples` (not interlaced);
// nothing when there was no memory for it.
std::optional<QByteArray> pngPictureStream(const PngSamples& samples);

// The most memory pngPictureStream holds at once for `samples`, besides them.
double pngPictureStreamBytes(const PngSamples& samples);

}  // namespace lumaset::imaging_detail
