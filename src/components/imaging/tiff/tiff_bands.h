#pragma once

// The strips (or rows of tiles) of a TIFF picture decoded and encoded on
// every core. libtiff's handle is not shared between threads: each worker
// reads through a handle of its own on the same bytes, and encodes its band
// through a private file set up as the real one is, whose compressed
// strips then go into the real file as they are, in order. A band's checksums
// let its rows be known again when the file is read back.

#include <tiffio.h>

#include <QByteArrayView>

#include <cstdint>
#include <functional>
#include <vector>

#include "components/imaging/pixels/pixel_bands.h"
#include "components/imaging/quarter_turn_pixels.h"
#include "components/imaging/tiff/tiff_samples.h"

namespace lumaset::imaging_detail {

// Sets up a TIFF handle opened to write as the new file is: its layout,
// codec and fill order. False when libtiff refuses a field.
using TiffPrepare = std::function<bool(TIFF* from, TIFF* to)>;

// Opens `file` for reading on a thread; false when it cannot be read.
using TiffOpened = std::function<bool(TIFF* tiff)>;

// Reads every band of `stored` (each plane's) from `file` on the job's
// workers into `planes`, a StoredPieces for each plane; `opened` is asked
// of each worker's handle first. False when the file is damaged or the job
// was stopped.
bool readTiffPieces(PixelJob& job, QByteArrayView file, const TiffSamples& stored, const TiffOpened& opened,
                    std::vector<StoredPieces>& planes);

// The checksum of each row of samples of the new picture, plane by plane.
using TiffChecksums = std::vector<std::vector<uint32_t>>;

// Makes the rows of `turned` in bands on the job's workers, each from its
// pieces by `map` (which are then let go of), encodes them through private
// files set up by `prepare` (from a handle each worker reads `file` with)
// and writes the compressed strips or tiles into `to`, band after band.
// False when libtiff fails or the job was stopped.
bool writeTiffBands(PixelJob& job, QByteArrayView file, TIFF* to, const TiffSamples& turned, const PixelMap& map,
                    std::vector<StoredPieces>& planes, const TiffPrepare& prepare, TiffChecksums& checksums);

// Whether `file`, whose picture is laid out as `turned` (in strips or tiles
// of its own), holds rows with the checksums `checksums`, read on the job's
// workers.
bool tiffHoldsBands(PixelJob& job, QByteArrayView file, const TiffSamples& turned, const TiffChecksums& checksums);

// The most memory a worker holds at once for a band of `rows` rows of `layout`.
double tiffBandWorkBytes(const TiffSamples& layout, uint32_t rows);

}  // namespace lumaset::imaging_detail
