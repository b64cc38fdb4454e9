#include "components/imaging/tiff/tiff_samples.h"

#include <algorithm>
#include <cstring>

namespace lumaset::imaging_detail {

std::optional<TiffSamples> tiffSamplesOf(TIFF* tiff) {
  TiffSamples layout;
  if (!TIFFGetField(tiff, TIFFTAG_IMAGEWIDTH, &layout.width) || !TIFFGetField(tiff, TIFFTAG_IMAGELENGTH, &layout.length))
    return std::nullopt;
  TIFFGetFieldDefaulted(tiff, TIFFTAG_BITSPERSAMPLE, &layout.bits);
  TIFFGetFieldDefaulted(tiff, TIFFTAG_SAMPLESPERPIXEL, &layout.samples);
  TIFFGetFieldDefaulted(tiff, TIFFTAG_SAMPLEFORMAT, &layout.format);
  TIFFGetFieldDefaulted(tiff, TIFFTAG_PLANARCONFIG, &layout.planar);
  TIFFGetField(tiff, TIFFTAG_PHOTOMETRIC, &layout.photometric);
  TIFFGetFieldDefaulted(tiff, TIFFTAG_COMPRESSION, &layout.compression);
  TIFFGetFieldDefaulted(tiff, TIFFTAG_ORIENTATION, &layout.orientation);
  layout.tiled = TIFFIsTiled(tiff) != 0;
  if (layout.tiled) {
    TIFFGetField(tiff, TIFFTAG_TILEWIDTH, &layout.tileWidth);
    TIFFGetField(tiff, TIFFTAG_TILELENGTH, &layout.tileLength);
  } else {
    TIFFGetFieldDefaulted(tiff, TIFFTAG_ROWSPERSTRIP, &layout.rowsPerStrip);
    layout.rowsPerStrip = std::clamp<uint32_t>(layout.rowsPerStrip, 1, std::max<uint32_t>(layout.length, 1));
  }
  const bool sound = layout.width > 0 && layout.length > 0 && layout.bits >= 1 && layout.bits <= 64 &&
                     layout.samples >= 1 && (!layout.tiled || (layout.tileWidth > 0 && layout.tileLength > 0));
  if (!sound) return std::nullopt;
  // Every size worked out from the header must be a number: a row of a
  // tile starts on a byte, and all the planes' samples together fit 64 bits
  // with room to spare (a hostile header's would otherwise wrap round to a
  // few bytes, and the reading overrun them).
  uint64_t plane = 0, all = 0;
  if (__builtin_mul_overflow(layout.rowBytes(layout.width), uint64_t{layout.length}, &plane) ||
      __builtin_mul_overflow(plane, static_cast<uint64_t>(layout.planes()), &all) || all > (uint64_t{1} << 48))
    return std::nullopt;
  if (layout.tiled && (uint64_t{layout.tileWidth} * layout.pixelBits()) % 8 != 0) return std::nullopt;
  return layout;
}

bool readTiffBand(TIFF* tiff, const TiffSamples& samples, int plane, uint32_t y, unsigned char* rows,
                  std::vector<unsigned char>& tile) {
  const uint64_t rowBytes = samples.rowBytes(samples.width);
  const uint32_t count = samples.rowsAt(y);
  const auto sample = static_cast<uint16_t>(plane);
  if (!samples.tiled) {
    const auto wanted = static_cast<tmsize_t>(count * rowBytes);
    return TIFFReadEncodedStrip(tiff, TIFFComputeStrip(tiff, y, sample), rows, wanted) == wanted;
  }
  tile.resize(static_cast<size_t>(TIFFTileSize64(tiff)));
  const uint64_t tileRowBytes = samples.rowBytes(samples.tileWidth);
  for (uint32_t x = 0; x < samples.width; x += samples.tileWidth) {
    const auto whole = static_cast<tmsize_t>(tile.size());
    if (whole == 0 || TIFFReadEncodedTile(tiff, TIFFComputeTile(tiff, x, y, 0, sample), tile.data(), whole) != whole)
      return false;
    const uint64_t from = x * samples.pixelBits() / 8;  // tiles are 16 pixels wide or a multiple
    const uint64_t bytes = std::min(tileRowBytes, rowBytes - from);
    for (uint32_t r = 0; r < count; ++r) std::memcpy(rows + r * rowBytes + from, tile.data() + r * tileRowBytes, bytes);
  }
  return true;
}

}  // namespace lumaset::imaging_detail
