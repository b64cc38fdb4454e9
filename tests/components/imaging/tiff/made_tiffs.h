#pragma once

// TIFF files of every kind made with libtiff for the tests, and their
// samples as libtiff reads them.

#include <gtest/gtest.h>

#include <QColorSpace>

#include <cstring>
#include <vector>

#include "components/imaging/tiff/tiff_memory.h"

namespace lumaset::test {

using imaging_detail::openTiff;
using imaging_detail::TiffHandle;
using imaging_detail::TiffMemoryFile;

constexpr uint32_t kWidth = 37, kLength = 21;

struct Kind {
  const char* name;
  uint16_t bits, samples, photometric, format = SAMPLEFORMAT_UINT, planar = PLANARCONFIG_CONTIG;
  uint16_t compression = COMPRESSION_NONE, predictor = PREDICTOR_NONE;
  std::vector<uint16_t> extra = {};
  bool tiled = false, bigEndian = false, words = false;
  uint16_t orientation = 0;  // none written
  bool bigTiff = false;
};

// The EXIF and GPS directories a camera writes, before the picture's own.
inline void writeCameraDirectories(TIFF* tiff, uint64_t& exif, uint64_t& gps) {
  TIFFCreateEXIFDirectory(tiff);
  TIFFSetField(tiff, EXIFTAG_DATETIMEORIGINAL, "2019:07:14 10:22:05");
  TIFFSetField(tiff, EXIFTAG_EXPOSURETIME, 1.0 / 250);
  const uint16_t iso[] = {200};
  TIFFSetField(tiff, EXIFTAG_ISOSPEEDRATINGS, 1, iso);
  TIFFWriteCustomDirectory(tiff, &exif);
  TIFFFreeDirectory(tiff);
  TIFFCreateGPSDirectory(tiff);
  TIFFSetField(tiff, GPSTAG_LATITUDEREF, "N");
  const double latitude[] = {48, 51, 24.5};
  TIFFSetField(tiff, GPSTAG_LATITUDE, latitude);
  TIFFWriteCustomDirectory(tiff, &gps);
  TIFFFreeDirectory(tiff);
  TIFFCreateDirectory(tiff);
}

inline void setWords(TIFF* tiff, uint64_t exif, uint64_t gps) {
  const QByteArray icc = QColorSpace(QColorSpace::AdobeRgb).iccProfile();
  const char xmp[] = "<x:xmpmeta><rdf:Description dc:creator=\"Ann\"/></x:xmpmeta>";
  const char iptc[] = "\x1c\x02\x05\x00\x02Hi";
  const float white[] = {0.3127f, 0.329f}, primaries[] = {0.64f, 0.33f, 0.3f, 0.6f, 0.15f, 0.06f};
  TIFFSetField(tiff, TIFFTAG_ICCPROFILE, static_cast<uint32_t>(icc.size()), icc.constData());
  TIFFSetField(tiff, TIFFTAG_XMLPACKET, static_cast<uint32_t>(sizeof xmp), xmp);
  TIFFSetField(tiff, TIFFTAG_RICHTIFFIPTC, 8u, iptc);
  TIFFSetField(tiff, TIFFTAG_COPYRIGHT, "Ann 2019");
  TIFFSetField(tiff, TIFFTAG_WHITEPOINT, white);
  TIFFSetField(tiff, TIFFTAG_PRIMARYCHROMATICITIES, primaries);
  TIFFSetField(tiff, TIFFTAG_XPOSITION, 1.5);
  TIFFSetField(tiff, TIFFTAG_YPOSITION, 0.25);
  TIFFSetField(tiff, TIFFTAG_EXIFIFD, exif);
  TIFFSetField(tiff, TIFFTAG_GPSIFD, gps);
}

// A picture of `kind`, its samples counted up from a different start in
// each plane, at 300 dpi across and 150 down.
inline QByteArray made(const Kind& kind, uint32_t width = kWidth, uint32_t length = kLength) {
  TiffMemoryFile file;
  QString message;
  {
    const TiffHandle tiff = openTiff(file, kind.bigTiff ? (kind.bigEndian ? "wb8" : "wl8") : kind.bigEndian ? "wb" : "wl", message);
    uint64_t exif = 0, gps = 0;
    if (kind.words) writeCameraDirectories(tiff.get(), exif, gps);
    TIFF* t = tiff.get();
    TIFFSetField(t, TIFFTAG_IMAGEWIDTH, width);
    TIFFSetField(t, TIFFTAG_IMAGELENGTH, length);
    TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, kind.bits);
    TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, kind.samples);
    TIFFSetField(t, TIFFTAG_PHOTOMETRIC, kind.photometric);
    TIFFSetField(t, TIFFTAG_SAMPLEFORMAT, kind.format);
    TIFFSetField(t, TIFFTAG_PLANARCONFIG, kind.planar);
    TIFFSetField(t, TIFFTAG_COMPRESSION, kind.compression);
    if (kind.predictor != PREDICTOR_NONE) TIFFSetField(t, TIFFTAG_PREDICTOR, kind.predictor);
    if (kind.compression == COMPRESSION_CCITTFAX3) TIFFSetField(t, TIFFTAG_GROUP3OPTIONS, GROUP3OPT_2DENCODING);
    if (!kind.extra.empty()) TIFFSetField(t, TIFFTAG_EXTRASAMPLES, uint16_t(kind.extra.size()), kind.extra.data());
    if (kind.orientation) TIFFSetField(t, TIFFTAG_ORIENTATION, kind.orientation);
    TIFFSetField(t, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
    TIFFSetField(t, TIFFTAG_XRESOLUTION, 300.0);
    TIFFSetField(t, TIFFTAG_YRESOLUTION, 150.0);
    std::vector<uint16_t> map(kind.photometric == PHOTOMETRIC_PALETTE ? size_t{1} << kind.bits : 0);
    for (size_t i = 0; i < map.size(); ++i) map[i] = static_cast<uint16_t>(i * 4099);
    if (kind.photometric == PHOTOMETRIC_PALETTE) TIFFSetField(t, TIFFTAG_COLORMAP, map.data(), map.data(), map.data());
    if (kind.words) setWords(t, exif, gps);
    if (kind.tiled) TIFFSetField(t, TIFFTAG_TILEWIDTH, 16), TIFFSetField(t, TIFFTAG_TILELENGTH, 16);
    else TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, 5);
    const int planes = kind.planar == PLANARCONFIG_SEPARATE ? kind.samples : 1;
    const tmsize_t chunk = kind.tiled ? TIFFTileSize(t) : TIFFStripSize(t);
    const uint32_t chunks = (kind.tiled ? TIFFNumberOfTiles(t) : TIFFNumberOfStrips(t)) / planes;
    for (int p = 0; p < planes; ++p)
      for (uint32_t c = 0; c < chunks; ++c) {
        std::vector<unsigned char> bytes(static_cast<size_t>(chunk));
        for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<unsigned char>((i * 7 + c * 13 + p * 61) % 251);
        if (kind.format == SAMPLEFORMAT_IEEEFP)  // numbers, not NaNs
          for (size_t i = kind.bits / 8 - 1; i < bytes.size(); i += kind.bits / 8) bytes[i] &= 0x3F;
        const uint32_t index = p * chunks + c;
        kind.tiled ? TIFFWriteEncodedTile(t, index, bytes.data(), chunk) : TIFFWriteEncodedStrip(t, index, bytes.data(), chunk);
      }
    TIFFWriteDirectory(t);
  }
  EXPECT_EQ(message, QString()) << kind.name;
  return std::move(file.out);
}

// Every sample as libtiff reads it, pixel by pixel, with the picture's size.
struct Samples {
  uint32_t width = 0, length = 0;
  std::vector<uint64_t> values;
  uint64_t at(uint32_t x, uint32_t y, int s, int samples) const { return values[(size_t{y} * width + x) * samples + s]; }
};

inline uint64_t sampleAt(const unsigned char* row, uint64_t bit, int bits) {
  uint64_t value = 0;
  if (bits % 8 == 0) std::memcpy(&value, row + bit / 8, bits / 8);  // libtiff gives them in this machine's order
  else
    for (int b = 0; b < bits; ++b, ++bit) value = value << 1 | ((row[bit / 8] >> (7 - bit % 8)) & 1);
  return value;
}

inline Samples samplesOf(QByteArrayView bytes, const Kind& kind) {
  TiffMemoryFile file(bytes);
  QString message;
  const TiffHandle tiff = openTiff(file, "rm", message);
  Samples read;
  if (!tiff) return read;
  TIFF* t = tiff.get();
  TIFFGetField(t, TIFFTAG_IMAGEWIDTH, &read.width);
  TIFFGetField(t, TIFFTAG_IMAGELENGTH, &read.length);
  const bool separate = kind.planar == PLANARCONFIG_SEPARATE;
  uint32_t tileWidth = read.width, tileLength = 1;
  TIFFGetField(t, TIFFTAG_TILEWIDTH, &tileWidth);
  TIFFGetField(t, TIFFTAG_TILELENGTH, &tileLength);
  std::vector<unsigned char> block(static_cast<size_t>(TIFFIsTiled(t) ? TIFFTileSize(t) : TIFFScanlineSize(t)));
  const uint64_t rowBits = (uint64_t{tileWidth} * kind.bits * (separate ? 1 : kind.samples) + 7) / 8 * 8;
  read.values.resize(size_t{read.width} * read.length * kind.samples);
  for (int s = 0; s < kind.samples; ++s)
    for (uint32_t y0 = 0; y0 < read.length; y0 += tileLength)
      for (uint32_t x0 = 0; x0 < read.width; x0 += tileWidth) {
        const uint16_t plane = separate ? s : 0;
        if ((TIFFIsTiled(t) ? TIFFReadTile(t, block.data(), x0, y0, 0, plane)
                            : TIFFReadScanline(t, block.data(), y0, plane)) < 0)
          return {};
        for (uint32_t y = y0; y < std::min(y0 + tileLength, read.length); ++y)
          for (uint32_t x = x0; x < std::min(x0 + tileWidth, read.width); ++x) {
            const uint64_t bit = (y - y0) * rowBits + (x - x0) * kind.bits * (separate ? 1 : kind.samples) +
                                 (separate ? 0 : s * kind.bits);
            read.values[(size_t{y} * read.width + x) * kind.samples + s] = sampleAt(block.data(), bit, kind.bits);
          }
      }
  return read;
}

}  // namespace lumaset::test
