// TIFF files that Qt's reader gets wrong or refuses read as libtiff reads
// them, and their facts give the depth the file stores.

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <tuple>

#include "components/imaging/decode_memory.h"
#include "components/imaging/imaging.h"
#include "made_tiffs.h"

namespace lumaset::test {
namespace {

class TiffReadingTest : public ::testing::Test {
 protected:
  QString saved(const Kind& kind, const QByteArray& bytes = {}) {
    const QString path = folder_.filePath(QString::fromLatin1(kind.name) + ".tif");
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes.isEmpty() ? made(kind) : bytes);
    return path;
  }
  QTemporaryDir folder_;
};

const Kind kGreyAlpha{"grey and alpha", 8, 2, PHOTOMETRIC_MINISBLACK, SAMPLEFORMAT_UINT, PLANARCONFIG_CONTIG,
                      COMPRESSION_LZW, PREDICTOR_NONE, {EXTRASAMPLE_UNASSALPHA}};
const Kind kDeepCmyk{"deep cmyk", 16, 4, PHOTOMETRIC_SEPARATED, SAMPLEFORMAT_UINT, PLANARCONFIG_SEPARATE,
                     COMPRESSION_DEFLATE, PREDICTOR_NONE, {}, true};
const Kind kFloatGrey{"float grey", 32, 1, PHOTOMETRIC_MINISBLACK, SAMPLEFORMAT_IEEEFP};

// Transparency, inks of 16 bits and floating point come as the file holds
// them, each sample where libtiff reads it.
TEST_F(TiffReadingTest, KindsQtMisreadsComeAsLibtiffReadsThem) {
  const QString greyAlpha = saved(kGreyAlpha), deepCmyk = saved(kDeepCmyk), floatGrey = saved(kFloatGrey);
  const Samples alphas = samplesOf(made(kGreyAlpha), kGreyAlpha), inks = samplesOf(made(kDeepCmyk), kDeepCmyk),
                floats = samplesOf(made(kFloatGrey), kFloatGrey);
  const Result<QImage> clear = Imaging::ReadAsStored(greyAlpha), cmyk = Imaging::ReadAsStored(deepCmyk),
                       deep = Imaging::ReadAsStored(floatGrey);
  ASSERT_TRUE(clear.ok()) << clear.error().toStdString();
  ASSERT_TRUE(cmyk.ok()) << cmyk.error().toStdString();
  ASSERT_TRUE(deep.ok()) << deep.error().toStdString();
  for (uint32_t y = 0; y < kLength; ++y)
    for (uint32_t x = 0; x < kWidth; ++x) {
      const QColor shade = clear->pixelColor(int(x), int(y));
      ASSERT_EQ(std::pair(shade.red(), shade.alpha()), std::pair(int(alphas.at(x, y, 0, 2)), int(alphas.at(x, y, 1, 2))));
      const auto ink = [&](int s) { return 1.0 - double(inks.at(x, y, s, 4)) / 65535; };
      ASSERT_NEAR(cmyk->pixelColor(int(x), int(y)).redF(), ink(0) * ink(3), 1.0 / 65535);
      float value = 0;
      const uint64_t stored = floats.at(x, y, 0, 1);
      std::memcpy(&value, &stored, sizeof value);
      ASSERT_NEAR(deep->pixelColor(int(x), int(y)).redF(), value, value * 1e-3 + 1.0 / 65535);  // beyond 1 as stored
    }
  // Tiled colour with transparency, as libtiff reads it, at 8 and 16 bits.
  for (const Kind& kind : {Kind{"tiled rgba", 8, 4, PHOTOMETRIC_RGB, SAMPLEFORMAT_UINT, PLANARCONFIG_CONTIG,
                                COMPRESSION_NONE, PREDICTOR_NONE, {EXTRASAMPLE_UNASSALPHA}, true},
                           Kind{"tiled deep rgba", 16, 4, PHOTOMETRIC_RGB, SAMPLEFORMAT_UINT, PLANARCONFIG_CONTIG,
                                COMPRESSION_NONE, PREDICTOR_NONE, {EXTRASAMPLE_UNASSALPHA}, true}}) {
    const Samples stored = samplesOf(made(kind), kind);
    const Result<QImage> read = Imaging::ReadAsStored(saved(kind));
    ASSERT_TRUE(read.ok()) << kind.name << ": " << read.error().toStdString();
    for (uint32_t y = 0; y < kLength; ++y)
      for (uint32_t x = 0; x < kWidth; ++x) {
        const QRgba64 pixel = read->pixelColor(int(x), int(y)).rgba64();
        const auto at = [&](int s) { return int(stored.at(x, y, s, 4)) * (kind.bits == 8 ? 257 : 1); };
        ASSERT_EQ(std::tuple(pixel.red(), pixel.green(), pixel.alpha()), std::tuple(at(0), at(1), at(3))) << kind.name;
      }
  }
  // A kind no reader here knows is named, not called damaged.
  Kind odd{"odd", 24, 1, PHOTOMETRIC_MINISBLACK, SAMPLEFORMAT_IEEEFP};
  const Result<QImage> refused = Imaging::ReadAsStored(saved(odd));
  ASSERT_FALSE(refused.ok());
  EXPECT_TRUE(refused.error().endsWith(
      "Lumaset cannot read this kind of picture (a TIFF of 24-bit floating-point grey samples).")) << refused.error().toStdString();
}

// Signed samples of 8 and 16 bits, grey and RGB, show the lowest value
// black and the highest white: every value shifted up by half the range
// (not a negative of its two halves).
TEST_F(TiffReadingTest, SignedSamplesRunFromBlackToWhite) {
  const Kind kinds[] = {{"signed grey", 8, 1, PHOTOMETRIC_MINISBLACK, SAMPLEFORMAT_INT},
                        {"signed rgb", 8, 3, PHOTOMETRIC_RGB, SAMPLEFORMAT_INT},
                        {"signed deep grey", 16, 1, PHOTOMETRIC_MINISBLACK, SAMPLEFORMAT_INT},
                        {"signed deep rgb", 16, 3, PHOTOMETRIC_RGB, SAMPLEFORMAT_INT},
                        {"signed deep rgb planes", 16, 3, PHOTOMETRIC_RGB, SAMPLEFORMAT_INT, PLANARCONFIG_SEPARATE}};
  for (const Kind& kind : kinds) {
    SCOPED_TRACE(kind.name);
    // Rows of whole 32-bit words: a row written past its end leaves the picture.
    const QByteArray bytes = made(kind, 40);
    const Samples stored = samplesOf(bytes, kind);
    const Result<QImage> read = Imaging::ReadAsStored(saved(kind, bytes));
    ASSERT_TRUE(read.ok()) << read.error().toStdString();
    for (uint32_t y = 0; y < kLength; ++y)
      for (uint32_t x = 0; x < 40; ++x) {
        const uint64_t raw = stored.at(x, y, kind.samples - 1, kind.samples);  // blue, or the grey
        const int shown = kind.bits == 8 ? int8_t(raw) + 128 : int16_t(raw) + 32768;
        const QColor colour = read->pixelColor(int(x), int(y));
        ASSERT_EQ(kind.bits == 8 ? colour.blue() : colour.rgba64().blue(), shown) << x << "," << y;
      }
  }
}

// The depth shown is the one the file stores; a picture of 16-bit colour is
// counted at 64 bits a pixel before it is decoded, with the samples of a
// row of tiles.
TEST_F(TiffReadingTest, FactsGiveTheStoredDepthAndMemoryCountsIt) {
  struct Case { Kind kind; int bits, colours; } const cases[] = {
      {{"palette 2", 2, 1, PHOTOMETRIC_PALETTE}, 2, 4},          {{"palette 4", 4, 1, PHOTOMETRIC_PALETTE}, 4, 16},
      {{"black", 1, 1, PHOTOMETRIC_MINISWHITE}, 1, 2},           {kGreyAlpha, 16, 0},
      {{"rgb 16", 16, 3, PHOTOMETRIC_RGB}, 48, 0},               {{"cmyk", 8, 4, PHOTOMETRIC_SEPARATED}, 32, 0},
      {kDeepCmyk, 64, 0},                                        {kFloatGrey, 32, 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.kind.name);
    const Result<FileFacts> facts = Imaging::FileInfo(saved(c.kind));
    ASSERT_TRUE(facts.ok()) << facts.error().toStdString();
    EXPECT_EQ(std::pair(facts->bitsPerPixel, facts->paletteSize), std::pair(c.bits, c.colours));
  }
  for (const Kind& deep : {Kind{"rgb 16", 16, 3, PHOTOMETRIC_RGB}, kDeepCmyk}) {
    const auto request = imaging_detail::decodeRequest(saved(deep, made(deep, 600, 400)), 0, false);
    ASSERT_TRUE(request.ok()) << request.error().toStdString();
    // The picture, and for tiles a row of them as they are decoded.
    EXPECT_GE(request->decodeBytes, qint64{600} * 400 * 8 + (deep.tiled ? 600 * 16 * 8 : 0)) << deep.name;
  }
}

// A BigTIFF file reads as the same picture stored as a classic TIFF does,
// stood upright, with its facts.
TEST_F(TiffReadingTest, BigTiffReadsAsItsClassicTwin) {
  const Kind kinds[] = {{"rgb", 8, 3, PHOTOMETRIC_RGB},      {"black", 1, 1, PHOTOMETRIC_MINISWHITE},
                        {"palette", 4, 1, PHOTOMETRIC_PALETTE}, {"deep grey", 16, 1, PHOTOMETRIC_MINISBLACK}};
  for (Kind kind : kinds) {
    SCOPED_TRACE(kind.name);
    kind.orientation = ORIENTATION_RIGHTTOP;
    const QString classic = saved(kind);
    kind.bigTiff = true;
    const QByteArray bigName = QByteArray("big ") + kind.name;
    kind.name = bigName.constData();
    const QString big = saved(kind);
    const Result<FileFacts> facts = Imaging::FileInfo(big), twinFacts = Imaging::FileInfo(classic);
    ASSERT_TRUE(facts.ok()) << facts.error().toStdString();
    EXPECT_EQ(std::tuple(facts->width, facts->height, facts->bitsPerPixel, facts->paletteSize),
              std::tuple(twinFacts->width, twinFacts->height, twinFacts->bitsPerPixel, twinFacts->paletteSize));
    EXPECT_EQ(Imaging::FrameCount(big).value(), 1);
    Imaging read, twin;
    ASSERT_TRUE(read.LoadFile(big));
    ASSERT_TRUE(twin.LoadFile(classic));
    const QImage picture = read.GetPicture(), expected = twin.GetPicture();
    ASSERT_EQ(picture.size(), expected.size());
    for (int y = 0; y < picture.height(); ++y)
      for (int x = 0; x < picture.width(); ++x) {
        const QRgb a = picture.pixel(x, y), b = expected.pixel(x, y);  // palettes may round apart by 1
        ASSERT_LE(std::max({qAbs(qRed(a) - qRed(b)), qAbs(qGreen(a) - qGreen(b)), qAbs(qBlue(a) - qBlue(b))}), 1)
            << x << "," << y;
      }
  }
}

}  // namespace
}  // namespace lumaset::test
