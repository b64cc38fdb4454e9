// A TIFF file turned as libtiff stores it: every kind of sample, layout and
// compression comes back turned sample for sample, with every tag, and four
// turns give the very file's samples and tags again.

#include <gtest/gtest.h>

#include <QColorSpace>
#include <QBuffer>
#include <QImage>
#include <QImageReader>
#include <QTransform>

#include <cstdio>
#include <cstring>
#include <utility>
#include <vector>

#include "components/imaging/tiff_memory.h"
#include "components/imaging/tiff_quarter_turn.h"

namespace lumaset::test {
namespace {

using imaging_detail::openTiff;
using imaging_detail::TiffHandle;
using imaging_detail::TiffMemoryFile;
using imaging_detail::turnTiffClockwise;

constexpr uint32_t kWidth = 37, kLength = 21;

struct Kind {
  const char* name;
  uint16_t bits, samples, photometric, format = SAMPLEFORMAT_UINT, planar = PLANARCONFIG_CONTIG;
  uint16_t compression = COMPRESSION_NONE, predictor = PREDICTOR_NONE;
  std::vector<uint16_t> extra = {};
  bool tiled = false, bigEndian = false, words = false;
  uint16_t orientation = 0;  // none written
};

// The EXIF and GPS directories a camera writes, before the picture's own.
void writeCameraDirectories(TIFF* tiff, uint64_t& exif, uint64_t& gps) {
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

void setWords(TIFF* tiff, uint64_t exif, uint64_t gps) {
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
QByteArray made(const Kind& kind, uint32_t width = kWidth, uint32_t length = kLength) {
  TiffMemoryFile file;
  QString message;
  {
    const TiffHandle tiff = openTiff(file, kind.bigEndian ? "wb" : "wl", message);
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

uint64_t sampleAt(const unsigned char* row, uint64_t bit, int bits) {
  uint64_t value = 0;
  if (bits % 8 == 0) std::memcpy(&value, row + bit / 8, bits / 8);  // libtiff gives them in this machine's order
  else
    for (int b = 0; b < bits; ++b, ++bit) value = value << 1 | ((row[bit / 8] >> (7 - bit % 8)) & 1);
  return value;
}

Samples samplesOf(QByteArrayView bytes, const Kind& kind) {
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

// What libtiff says of each directory, but where its parts lie.
QString tagsOf(QByteArrayView bytes) {
  TiffMemoryFile file(bytes);
  QString message, text;
  const TiffHandle tiff = openTiff(file, "rm", message);
  uint64_t exif = 0, gps = 0;
  const auto print = [&] {
    char* out = nullptr;
    size_t size = 0;
    FILE* stream = open_memstream(&out, &size);
    TIFFPrintDirectory(tiff.get(), stream, TIFFPRINT_COLORMAP | TIFFPRINT_CURVES);
    std::fclose(stream);
    for (const QString& line : QString::fromLatin1(out, static_cast<qsizetype>(size)).split('\n'))
      if (!line.contains("Rows/Strip") && !line.contains("IFDOffset") && !line.contains("TIFF Directory at"))
        text += line + '\n';
    std::free(out);
  };
  if (!tiff) return "unreadable";
  print();
  const bool hasExif = TIFFGetField(tiff.get(), TIFFTAG_EXIFIFD, &exif), hasGps = TIFFGetField(tiff.get(), TIFFTAG_GPSIFD, &gps);
  if (hasExif && TIFFReadEXIFDirectory(tiff.get(), exif)) print();
  if (hasGps && TIFFReadGPSDirectory(tiff.get(), gps)) print();
  return text;
}

TEST(TiffQuarterTurn, EveryKindTurnsSampleBySampleWithEveryTag) {
  const std::vector<Kind> kinds = {
      {"1-bit black on white", 1, 1, PHOTOMETRIC_MINISWHITE},
      {"1-bit fax", 1, 1, PHOTOMETRIC_MINISWHITE, SAMPLEFORMAT_UINT, PLANARCONFIG_CONTIG, COMPRESSION_CCITTFAX4},
      {"2-bit palette", 2, 1, PHOTOMETRIC_PALETTE, SAMPLEFORMAT_UINT, PLANARCONFIG_CONTIG, COMPRESSION_LZW},
      {"4-bit grey", 4, 1, PHOTOMETRIC_MINISBLACK, SAMPLEFORMAT_UINT, PLANARCONFIG_CONTIG, COMPRESSION_PACKBITS},
      {"8-bit palette, tiled", 8, 1, PHOTOMETRIC_PALETTE, SAMPLEFORMAT_UINT, PLANARCONFIG_CONTIG, COMPRESSION_DEFLATE,
       PREDICTOR_NONE, {}, true},
      {"12-bit grey", 12, 1, PHOTOMETRIC_MINISBLACK, SAMPLEFORMAT_UINT, PLANARCONFIG_CONTIG, COMPRESSION_LZW},
      {"8-bit grey and alpha", 8, 2, PHOTOMETRIC_MINISBLACK, SAMPLEFORMAT_UINT, PLANARCONFIG_CONTIG,
       COMPRESSION_DEFLATE, PREDICTOR_HORIZONTAL, {EXTRASAMPLE_UNASSALPHA}, false, true},
      {"16-bit RGB with a camera's words", 16, 3, PHOTOMETRIC_RGB, SAMPLEFORMAT_UINT, PLANARCONFIG_CONTIG,
       COMPRESSION_LZW, PREDICTOR_HORIZONTAL, {}, false, true, true},
      {"8-bit RGBA unassociated, tiled", 8, 4, PHOTOMETRIC_RGB, SAMPLEFORMAT_UINT, PLANARCONFIG_CONTIG,
       COMPRESSION_ADOBE_DEFLATE, PREDICTOR_NONE, {EXTRASAMPLE_UNASSALPHA}, true, false, true},
      {"8-bit RGBA associated, planes", 8, 4, PHOTOMETRIC_RGB, SAMPLEFORMAT_UINT, PLANARCONFIG_SEPARATE,
       COMPRESSION_LZW, PREDICTOR_HORIZONTAL, {EXTRASAMPLE_ASSOCALPHA}},
      {"16-bit grey and alpha, tiled planes", 16, 2, PHOTOMETRIC_MINISBLACK, SAMPLEFORMAT_UINT,
       PLANARCONFIG_SEPARATE, COMPRESSION_PACKBITS, PREDICTOR_NONE, {EXTRASAMPLE_ASSOCALPHA}, true, true},
      {"8-bit CMYK", 8, 4, PHOTOMETRIC_SEPARATED, SAMPLEFORMAT_UINT, PLANARCONFIG_CONTIG, COMPRESSION_PACKBITS},
      {"16-bit CMYK", 16, 4, PHOTOMETRIC_SEPARATED, SAMPLEFORMAT_UINT, PLANARCONFIG_CONTIG, COMPRESSION_LZW,
       PREDICTOR_HORIZONTAL, {}, false, true},
      {"8-bit Lab", 8, 3, PHOTOMETRIC_CIELAB, SAMPLEFORMAT_UINT, PLANARCONFIG_CONTIG, COMPRESSION_DEFLATE},
      {"32-bit float grey, tiled", 32, 1, PHOTOMETRIC_MINISBLACK, SAMPLEFORMAT_IEEEFP, PLANARCONFIG_CONTIG,
       COMPRESSION_DEFLATE, PREDICTOR_FLOATINGPOINT, {}, true, false},
      {"64-bit float RGB", 64, 3, PHOTOMETRIC_RGB, SAMPLEFORMAT_IEEEFP, PLANARCONFIG_CONTIG, COMPRESSION_NONE},
  };
  for (const Kind& kind : kinds) {
    SCOPED_TRACE(kind.name);
    const QByteArray file = made(kind);
    const Samples original = samplesOf(file, kind);
    ASSERT_EQ(original.values.size(), size_t{kWidth} * kLength * kind.samples);
    Result<QByteArray> turned = turnTiffClockwise(file);
    ASSERT_TRUE(turned.ok()) << turned.error().toStdString();
    const Samples once = samplesOf(*turned, kind);
    ASSERT_EQ(std::pair(once.width, once.length), std::pair(kLength, kWidth));
    for (uint32_t y = 0; y < kWidth; ++y)
      for (uint32_t x = 0; x < kLength; ++x)
        for (int s = 0; s < kind.samples; ++s)
          ASSERT_EQ(once.at(x, y, s, kind.samples), original.at(y, kLength - 1 - x, s, kind.samples)) << x << "," << y;
    // Across and down trade places; nothing else of what the file says changes.
    QString expected = tagsOf(file);
    expected.replace("Image Width: 37 Image Length: 21", "Image Width: 21 Image Length: 37")
        .replace("Resolution: 300, 150", "Resolution: 150, 300");
    EXPECT_EQ(tagsOf(*turned), expected);
    for (int more = 0; more < 3 && turned.ok(); ++more) turned = turnTiffClockwise(*turned);
    ASSERT_TRUE(turned.ok()) << turned.error().toStdString();
    EXPECT_EQ(samplesOf(*turned, kind).values, original.values);
    EXPECT_EQ(tagsOf(*turned), tagsOf(file));
  }
}

QImage seen(const QByteArray& file) {
  QBuffer buffer;
  buffer.setData(file);
  QImageReader reader(&buffer, "tiff");
  reader.setAutoTransform(true);
  return reader.read();
}

// Each orientation: the file comes back as it was seen, turned, standing
// upright; its resolution follows the stored grid, which turns only where
// the picture was stored upright or mirrored.
TEST(TiffQuarterTurn, TurnsAsSeenAndStandsUpright) {
  for (uint16_t orientation = ORIENTATION_TOPLEFT; orientation <= ORIENTATION_LEFTBOT; ++orientation) {
    SCOPED_TRACE(orientation);
    Kind kind{"", 8, 3, PHOTOMETRIC_RGB};
    kind.orientation = orientation;
    const QByteArray file = made(kind, 5, 3);
    const Result<QByteArray> turned = turnTiffClockwise(file);
    ASSERT_TRUE(turned.ok()) << turned.error().toStdString();
    EXPECT_EQ(seen(*turned), seen(file).transformed(QTransform().rotate(90)));
    TiffMemoryFile memory(*turned);
    QString message;
    const TiffHandle tiff = openTiff(memory, "rm", message);
    uint16_t standing = 0;
    float across = 0, down = 0;
    ASSERT_TRUE(TIFFGetField(tiff.get(), TIFFTAG_ORIENTATION, &standing));
    EXPECT_EQ(standing, ORIENTATION_TOPLEFT);
    TIFFGetField(tiff.get(), TIFFTAG_XRESOLUTION, &across);
    TIFFGetField(tiff.get(), TIFFTAG_YRESOLUTION, &down);
    EXPECT_EQ(std::pair(across, down), orientation < ORIENTATION_LEFTTOP ? std::pair(150.f, 300.f) : std::pair(300.f, 150.f));
  }
}

// What cannot be turned whole is refused with the reason; a file cut short
// or claiming a huge picture in a few bytes costs nothing and breaks nothing.
TEST(TiffQuarterTurn, RefusesWhatItCannotKeep) {
  const Kind grey{"", 8, 1, PHOTOMETRIC_MINISBLACK, SAMPLEFORMAT_UINT, PLANARCONFIG_CONTIG, COMPRESSION_LZW};
  const QByteArray file = made(grey);
  for (qsizetype length = 0; length < file.size(); length += 7) EXPECT_FALSE(turnTiffClockwise(file.first(length)).ok());
  TiffMemoryFile pages, huge, withPreview;
  QString message;
  {
    const TiffHandle two = openTiff(pages, "wl", message), big = openTiff(huge, "wl", message),
                     preview = openTiff(withPreview, "wl", message);
    bool previewNext = true;
    for (TIFF* t : {two.get(), two.get(), big.get(), preview.get(), preview.get()}) {
      const bool giant = t == big.get();
      TIFFSetField(t, TIFFTAG_IMAGEWIDTH, giant ? 60000 : 4);
      TIFFSetField(t, TIFFTAG_IMAGELENGTH, giant ? 60000 : 4);
      TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, 8);
      TIFFSetField(t, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISBLACK);
      TIFFSetField(t, TIFFTAG_COMPRESSION, COMPRESSION_DEFLATE);
      if (t == preview.get() && std::exchange(previewNext, false)) {
        const uint64_t sub[] = {0};
        TIFFSetField(t, TIFFTAG_SUBIFD, 1, sub);
      }
      std::vector<unsigned char> row(giant ? 60000 : 4, 0x40);
      for (uint32_t y = 0; y < (giant ? 1u : 4u); ++y) TIFFWriteScanline(t, row.data(), y, 0);
      TIFFWriteDirectory(t);
    }
  }
  const std::pair<QByteArray, QString> cases[] = {
      {pages.out, "it holds 2 pages or frames, and only the first would be kept."},
      {withPreview.out, "it holds further pictures besides its own, which would be lost."},
      {huge.out, "there is not enough memory for a picture of 60000 x 60000 pixels."}};
  for (const auto& [bytes, why] : cases) {
    const Result<QByteArray> turned = turnTiffClockwise(bytes);
    ASSERT_FALSE(turned.ok());
    EXPECT_EQ(turned.error(), why);
  }
}

}  // namespace
}  // namespace lumaset::test
