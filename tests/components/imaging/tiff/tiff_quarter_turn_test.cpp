// A TIFF file turned as libtiff stores it: every kind of sample, layout and
// compression comes back turned sample for sample, with every tag, and four
// turns give the very file's samples and tags again.

#include <gtest/gtest.h>

#include <QBuffer>
#include <QImage>
#include <QImageReader>
#include <QTransform>

#include <cstdio>
#include <cstring>
#include <utility>
#include <vector>

#include "components/imaging/decode_memory.h"
#include "components/imaging/tiff/tiff_quarter_turn.h"
#include "made_tiffs.h"

namespace lumaset::test {
namespace {

using imaging_detail::turnTiffClockwise;

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
      {"1-bit fax, 2-D", 1, 1, PHOTOMETRIC_MINISWHITE, SAMPLEFORMAT_UINT, PLANARCONFIG_CONTIG, COMPRESSION_CCITTFAX3},
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
      {"BigTIFF", 8, 3, PHOTOMETRIC_RGB, SAMPLEFORMAT_UINT, PLANARCONFIG_CONTIG, COMPRESSION_LZW, PREDICTOR_HORIZONTAL,
       {}, false, true, true, 0, true},
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

// A picture compressed as JPEG (colours as YCbCr) is not compressed with
// loss again: it comes back as the RGB samples it decodes to, with LZW.
TEST(TiffQuarterTurn, JpegCompressedPicturesAreWrittenWithLzw) {
  TiffMemoryFile file;
  QString message;
  {
    const TiffHandle tiff = openTiff(file, "wl", message);
    TIFF* t = tiff.get();
    for (const auto& [tag, value] : {std::pair{TIFFTAG_IMAGEWIDTH, 32}, {TIFFTAG_IMAGELENGTH, 16}, {TIFFTAG_BITSPERSAMPLE, 8},
                                     {TIFFTAG_SAMPLESPERPIXEL, 3}, {TIFFTAG_COMPRESSION, COMPRESSION_JPEG},
                                     {TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_YCBCR}, {TIFFTAG_ROWSPERSTRIP, 16}})
      TIFFSetField(t, tag, value);
    TIFFSetField(t, TIFFTAG_JPEGCOLORMODE, JPEGCOLORMODE_RGB);
    std::vector<unsigned char> row(32 * 3);
    for (uint32_t y = 0; y < 16; ++y) {
      for (size_t i = 0; i < row.size(); ++i) row[i] = static_cast<unsigned char>(i * 2 + y * 8);
      TIFFWriteScanline(t, row.data(), y, 0);
    }
  }
  const Result<QByteArray> turned = turnTiffClockwise(file.out);
  ASSERT_TRUE(turned.ok()) << turned.error().toStdString();
  TiffMemoryFile read(*turned);
  const TiffHandle tiff = openTiff(read, "rm", message);
  uint16_t compression = 0, photometric = 0;
  TIFFGetField(tiff.get(), TIFFTAG_COMPRESSION, &compression);
  TIFFGetField(tiff.get(), TIFFTAG_PHOTOMETRIC, &photometric);
  EXPECT_EQ(std::pair(compression, photometric), std::pair(uint16_t{COMPRESSION_LZW}, uint16_t{PHOTOMETRIC_RGB}));
  EXPECT_EQ(seen(*turned), seen(file.out).transformed(QTransform().rotate(90)));
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
// A header whose sizes multiply past 64 bits: 1824726041 pixels across, of
// 37171 samples of 64 bits, in three strips of deflated zeros.
QByteArray WrappingTiff() {
  const auto le16 = [](quint16 v) { return QByteArray(reinterpret_cast<const char*>(&v), 2); };
  const auto le32 = [](quint32 v) { return QByteArray(reinterpret_cast<const char*>(&v), 4); };
  constexpr quint16 kSamples = 37171;
  const QByteArray strip = qCompress(QByteArray(1 << 16, '\0')).mid(4);  // the zlib stream alone
  QByteArray file = "II*" + QByteArray(1, '\0') + le32(0);
  const auto bitsAt = static_cast<quint32>(file.size());
  for (int i = 0; i < kSamples; ++i) file += le16(64);
  QByteArray offsets, counts;
  for (int i = 0; i < 3; ++i) {
    offsets += le32(static_cast<quint32>(file.size()));
    counts += le32(static_cast<quint32>(strip.size()));
    file += strip;
  }
  const auto offsetsAt = static_cast<quint32>(file.size());
  file += offsets;
  const auto countsAt = static_cast<quint32>(file.size());
  file += counts;
  const auto ifdAt = static_cast<quint32>(file.size());
  const auto entry = [&](quint16 tag, quint16 type, quint32 count, quint32 value) {
    return le16(tag) + le16(type) + le32(count) + le32(value);
  };
  file += le16(10) + entry(256, 4, 1, 1824726041) + entry(257, 4, 1, 33996) + entry(258, 3, kSamples, bitsAt) +
          entry(259, 3, 1, 8) + entry(262, 3, 1, 1) + entry(273, 4, 3, offsetsAt) + entry(277, 3, 1, kSamples) +
          entry(278, 4, 1, 11332) + entry(279, 4, 3, countsAt) + entry(284, 3, 1, 1) + le32(0);
  file.replace(4, 4, le32(ifdAt));
  return file;
}

// Pictures large enough to turn in many bands on every core, their strips
// and tiles compressed apart and written in order: each stored layout, a
// page of black and white, and a picture stored on its side (whose turned
// rows are stored rows).
TEST(TiffQuarterTurn, LargePicturesTurnInBands) {
  struct Case {
    Kind kind;
    uint32_t width, length;
  };
  Kind sideways{"8-bit RGB stored on its side", 8, 3, PHOTOMETRIC_RGB, SAMPLEFORMAT_UINT, PLANARCONFIG_CONTIG,
                COMPRESSION_DEFLATE};
  sideways.orientation = ORIENTATION_RIGHTTOP;
  const Case cases[] = {
      {{"8-bit RGB", 8, 3, PHOTOMETRIC_RGB, SAMPLEFORMAT_UINT, PLANARCONFIG_CONTIG, COMPRESSION_LZW,
        PREDICTOR_HORIZONTAL},
       1500, 400},
      {{"16-bit grey and alpha, tiled planes", 16, 2, PHOTOMETRIC_MINISBLACK, SAMPLEFORMAT_UINT, PLANARCONFIG_SEPARATE,
        COMPRESSION_PACKBITS, PREDICTOR_NONE, {EXTRASAMPLE_ASSOCALPHA}, true, true},
       700, 300},
      {{"1-bit fax", 1, 1, PHOTOMETRIC_MINISWHITE, SAMPLEFORMAT_UINT, PLANARCONFIG_CONTIG, COMPRESSION_CCITTFAX4},
       8000, 600},
      {sideways, 400, 1500},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.kind.name);
    const QByteArray file = made(c.kind, c.width, c.length);
    const Samples original = samplesOf(file, c.kind);
    Result<QByteArray> turned = turnTiffClockwise(file);
    ASSERT_TRUE(turned.ok()) << turned.error().toStdString();
    const bool grid = c.kind.orientation < ORIENTATION_LEFTTOP;
    const Samples once = samplesOf(*turned, c.kind);
    ASSERT_EQ(std::pair(once.width, once.length), grid ? std::pair(c.length, c.width) : std::pair(c.width, c.length));
    if (grid) {
      for (uint32_t y = 0; y < once.length; ++y)
        for (uint32_t x = 0; x < once.width; ++x)
          for (int s = 0; s < c.kind.samples; ++s)
            ASSERT_EQ(once.at(x, y, s, c.kind.samples), original.at(y, c.length - 1 - x, s, c.kind.samples)) << x << "," << y;
    } else {  // stood up, then turned: the stored picture half a turn round
      for (uint32_t y = 0; y < once.length; ++y)
        for (uint32_t x = 0; x < once.width; ++x)
          ASSERT_EQ(once.at(x, y, 0, 3), original.at(c.width - 1 - x, c.length - 1 - y, 0, 3)) << x << "," << y;
    }
    for (int more = 0; more < 3 && turned.ok() && grid; ++more) turned = turnTiffClockwise(*turned);
    ASSERT_TRUE(turned.ok()) << turned.error().toStdString();
    if (grid) {
      EXPECT_EQ(samplesOf(*turned, c.kind).values, original.values);
    }
  }
}

// A turn no longer wanted stops, and says nothing.
TEST(TiffQuarterTurn, StopsWhenNoLongerWanted) {
  const QByteArray file = made({"", 8, 3, PHOTOMETRIC_RGB, SAMPLEFORMAT_UINT, PLANARCONFIG_CONTIG, COMPRESSION_LZW});
  const DecodeStop::Scope stop([] { return true; });
  EXPECT_TRUE(turnTiffClockwise(file).cancelled());
}

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
  // Four pixels in tiles said to be 32768 pixels square, a gigabyte each.
  Kind tiled = grey;
  tiled.tiled = true;
  QByteArray hugeTiles = made(tiled, 4, 4);
  for (const char* tag : {"\x42\x01\x03\x00\x01\x00\x00\x00\x10\x00", "\x43\x01\x03\x00\x01\x00\x00\x00\x10\x00"}) {
    const qsizetype at = hugeTiles.indexOf(QByteArray(tag, 10));
    ASSERT_GT(at, 0);
    hugeTiles[at + 9] = '\x80';
  }
  const std::pair<QByteArray, QString> cases[] = {
      {hugeTiles, "there is not enough memory for a picture of 4 x 4 pixels."},
      {pages.out, "it holds 2 pages or frames, and only the first would be kept."},
      {withPreview.out, "it holds further pictures besides its own, which would be lost."},
      {huge.out, "there is not enough memory for a picture of 60000 x 60000 pixels."}};
  for (const auto& [bytes, why] : cases) {
    const Result<QByteArray> turned = turnTiffClockwise(bytes);
    ASSERT_FALSE(turned.ok());
    EXPECT_EQ(turned.error(), why);
  }  // Sizes that would wrap round to a few bytes are no picture, never a
  // buffer too small for what libtiff is asked to read into it.
  EXPECT_FALSE(turnTiffClockwise(WrappingTiff()).ok());
}

}  // namespace
}  // namespace lumaset::test
