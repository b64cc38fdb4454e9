#pragma once

// The picture data of a PNG file (the content of its IDAT chunks) made from
// its samples: each row filtered as PNG's filters allow, the whole one zlib
// stream. Bands of rows are filtered and compressed apart (on every core),
// each band a run of deflate blocks that ends on a byte boundary, joined into
// the one stream a PNG holds; the result does not depend on how many cores
// ran.

#include <QByteArray>

#include <cstddef>
#include <vector>

#include <zlib.h>

#include "components/imaging/png/png_samples.h"

namespace lumaset::imaging_detail {

// One band of rows, filtered and compressed.
struct PngBand {
  std::vector<unsigned char> stream;  // raw deflate blocks
  uLong adler = 1;                    // of the filtered rows
  std::size_t plainBytes = 0;         // the filtered rows' bytes
};

// Whether the rows of the picture `form` are filtered, each by the row
// before it: not palette indexes or samples below a byte, where
// differences mean nothing and which are stored unfiltered.
bool pngFiltersLookUp(const PngSamples& form);

// Filters and compresses `count` rows of the picture `form` (its rows
// `form.rowBytes` each, one after the other at `rows`); `above` is the row
// before them (null for the picture's first row). The stream of a band
// other than the `last` is left open for the next band's blocks. False
// when the compressor could not be made.
bool compressPngBand(const PngSamples& form, const unsigned char* rows, std::size_t count, const unsigned char* above,
                     bool last, PngBand& band);

// The most memory compressPngBand holds while it compresses `count` rows,
// besides the rows and the band it makes.
double pngBandWorkBytes(const PngSamples& form, std::size_t count);

// The most bytes a band of `count` rows compresses to.
double mostPngBandBytes(const PngSamples& form, std::size_t count);

// The zlib stream's two bytes before the first band, and its four after the
// last: the Adler-32 of all the bands' filtered rows.
QByteArray pngStreamStart();
QByteArray pngStreamEnd(const std::vector<PngBand>& bands);

}  // namespace lumaset::imaging_detail
