#pragma once

// The samples of a TIFF picture as libtiff decodes them, a band of rows at a
// time: a band is a strip, or a row of tiles, of one plane (all the samples
// when they lie together), its rows packed as the file packs them.

#include <tiffio.h>

#include <algorithm>
#include <cstdint>
#include <optional>
#include <vector>

namespace lumaset::imaging_detail {

// How the samples of a picture lie in its file.
struct TiffSamples {
  uint32_t width = 0;
  uint32_t length = 0;
  uint16_t bits = 1;
  uint16_t samples = 1;
  uint16_t format = SAMPLEFORMAT_UINT;
  uint16_t planar = PLANARCONFIG_CONTIG;
  uint16_t photometric = PHOTOMETRIC_MINISWHITE;
  uint16_t compression = COMPRESSION_NONE;
  uint16_t orientation = ORIENTATION_TOPLEFT;
  bool tiled = false;
  uint32_t tileWidth = 0;
  uint32_t tileLength = 0;
  uint32_t rowsPerStrip = 0;

  int planes() const { return planar == PLANARCONFIG_SEPARATE ? samples : 1; }
  uint64_t pixelBits() const { return planar == PLANARCONFIG_SEPARATE ? bits : uint64_t{bits} * samples; }
  uint64_t rowBytes(uint32_t across) const { return (uint64_t{across} * pixelBits() + 7) / 8; }
  uint64_t planeBytes() const { return rowBytes(width) * length; }
  // The rows of a band: a strip's, or a tile's.
  uint32_t bandRows() const { return tiled ? tileLength : rowsPerStrip; }
  // The rows of the band that starts at row `y`.
  uint32_t rowsAt(uint32_t y) const { return std::min(bandRows(), length - y); }
};

// The layout of `tiff`'s current directory; nothing when it names no
// picture libtiff can hand out in bands.
std::optional<TiffSamples> tiffSamplesOf(TIFF* tiff);

// Reads the band of plane `plane` that starts at row `y` into `rows`, each
// of samples.rowBytes(samples.width) bytes; `tile` is room for a tile, kept
// between calls. False when the file is damaged there.
bool readTiffBand(TIFF* tiff, const TiffSamples& samples, int plane, uint32_t y, unsigned char* rows,
                  std::vector<unsigned char>& tile);

}  // namespace lumaset::imaging_detail
