// A PNG file turned as it is stored: a damaged or cut-short file is refused
// with its reason, never read past its end, and one that claims a huge
// picture in a few bytes costs nothing.

#include <gtest/gtest.h>

#include <QBuffer>
#include <QImage>
#include <QImageWriter>

#include <vector>

#include "components/imaging/decode_memory.h"
#include "components/imaging/imaging.h"
#include "components/imaging/jpeg/jpeg_quarter_turn.h"
#include "components/imaging/png/png_quarter_turn.h"
#include "components/imaging/png/png_samples.h"
#include "components/imaging/quarter_turn_file.h"
#include "support/hostile_pictures.h"

namespace lumaset::test {
namespace {

using imaging_detail::turnPngClockwise;

QByteArray SmallPng() {
  QImage picture(9, 7, QImage::Format_RGBA64);
  for (int y = 0; y < picture.height(); ++y)
    for (int x = 0; x < picture.width(); ++x)
      picture.setPixelColor(x, y, QColor::fromRgba64(x * 7000, y * 9000, 300, 65535 - x));
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  picture.save(&buffer, "png");
  return bytes;
}

QByteArray GreyPng(quint32 side, const QByteArray& pictureData) {
  const QByteArray header = hostile::be32(side) + hostile::be32(side) + char(8) + QByteArray(4, '\0');
  return "\x89PNG\r\n\x1A\n" + hostile::pngChunk("IHDR", header) + hostile::pngChunk("IDAT", pictureData) +
         hostile::pngChunk("IEND", {});
}

TEST(PngQuarterTurn, DamagedFilesAreRefused) {
  const QByteArray png = SmallPng();
  ASSERT_TRUE(turnPngClockwise(png).ok());
  for (qsizetype length = 0; length < png.size(); ++length)
    EXPECT_FALSE(turnPngClockwise(png.first(length)).ok()) << length;
  for (qsizetype at = 8; at < png.size(); at += 5) {
    QByteArray damaged = png;
    damaged[at] = static_cast<char>(damaged[at] ^ 0x5A);
    (void)turnPngClockwise(damaged);  // whatever it says, it reads nothing outside the file
  }
  // A whole file whose picture data stops half way.
  const QByteArray rows = hostile::deflated(QByteArray(64 * 65, '\x01'));
  EXPECT_TRUE(turnPngClockwise(GreyPng(64, rows)).ok());
  const Result<QByteArray> half = turnPngClockwise(GreyPng(64, rows.first(rows.size() / 2)));
  ASSERT_FALSE(half.ok());
  EXPECT_TRUE(half.error().startsWith("the picture is damaged or incomplete")) << half.error().toStdString();
  // 30000 x 30000 pixels claimed in a few bytes: no picture of 900 MB is made.
  const Result<QByteArray> huge = turnPngClockwise(GreyPng(30000, rows));
  ASSERT_FALSE(huge.ok());
  EXPECT_TRUE(huge.error().startsWith("the picture is damaged or incomplete")) << huge.error().toStdString();
}

// A photo of 24 million pixels turns whatever its depth, a black-and-white
// page of 16000 x 16000 too; pictures far beyond them are refused, and the
// refusal names the size before any pixel is read.
TEST(PngQuarterTurn, TheFullSizeMemoryHoldsPhotosOfEveryDepth) {
  const double most = static_cast<double>(imaging_detail::kFullSizeBytes);
  EXPECT_LE(imaging_detail::pngTurnBytes(150 << 20, 6000, 4000, 64), most) << "16-bit RGBA";
  EXPECT_LE(imaging_detail::pngTurnBytes(60 << 20, 6000, 4000, 24), most) << "8-bit RGB";
  EXPECT_LE(imaging_detail::pngTurnBytes(51 << 10, 16000, 16000, 1), most) << "a scanned page";
  EXPECT_GT(imaging_detail::pngTurnBytes(150 << 20, 12000, 9000, 64), most) << "108 MP of 16-bit RGBA";
  EXPECT_GT(imaging_detail::pngTurnBytes(1 << 20, 30000, 30000, 8), most) << "900 MP of grey";

  // 900 million grey samples in a file large enough to hold them packed.
  const QByteArray huge = hostile::privateChunkPng(64, 1 << 20);
  QByteArray claimed = huge;
  claimed.replace(16, 8, hostile::be32(30000) + hostile::be32(30000));
  claimed.replace(29, 4, hostile::pngChunk("IHDR", claimed.mid(16, 13)).right(4));
  const Result<QByteArray> refused = turnPngClockwise(claimed);
  ASSERT_FALSE(refused.ok());
  EXPECT_EQ(refused.error(), "there is not enough memory for a picture of 30000 x 30000 pixels.");
}

// What follows IEND is kept; a chunk that states more than the file holds
// makes the file damaged, wherever it lies.
TEST(PngQuarterTurn, BytesAfterTheEndStayAndChunksMustFitTheFile) {
  const QByteArray png = SmallPng();
  static constexpr char kAfter[] = "\0\1 appended by a camera's tool";
  const QByteArray after(kAfter, sizeof kAfter - 1);
  const Result<QByteArray> turned = turnPngClockwise(png + after);
  ASSERT_TRUE(turned.ok()) << turned.error().toStdString();
  EXPECT_TRUE(turned->endsWith(QByteArray("IEND\xAE\x42\x60\x82", 8) + after));
  const QByteArray text = hostile::be32(0x7FFFFFF0) + "tEXt" + "Title\0Harbour";
  const QByteArray claims = png.left(33) + text + png.mid(33);
  const Result<QByteArray> damaged = turnPngClockwise(claims);
  ASSERT_FALSE(damaged.ok());
  EXPECT_TRUE(damaged.error().startsWith("the picture is damaged or incomplete")) << damaged.error().toStdString();
}

// The new file is read back before it is given: one sample changed in it
// is found, as is another form of the same samples.
TEST(PngQuarterTurn, TheReadBackFindsAChangedSample) {
  const QByteArray grey = GreyPng(64, hostile::deflated(QByteArray(64 * 65, '\0')));
  imaging_detail::PngSampleReader reader(grey);
  imaging_detail::PngSamples samples;
  ASSERT_TRUE(reader.header(samples));
  samples.allocate();
  ASSERT_TRUE(reader.rows(samples));
  std::vector<std::uint32_t> rows;
  for (std::uint32_t y = 0; y < samples.height; ++y)
    rows.push_back(imaging_detail::pngRowChecksum(samples.row(y), samples.rowBytes));
  EXPECT_TRUE(imaging_detail::pngHoldsRows(grey, samples, rows));
  QByteArray changed(64 * 65, '\0');
  changed[65 * 40 + 9] = 1;
  EXPECT_FALSE(imaging_detail::pngHoldsRows(GreyPng(64, hostile::deflated(changed)), samples, rows));
  samples.depth = 16;
  EXPECT_FALSE(imaging_detail::pngHoldsRows(grey, samples, rows));
}

// A file whose name says a format without a turn of its own (its content is
// a picture of another format) is refused, not rewritten in that format.
TEST(QuarterTurnFile, ANameOfAnotherFormatIsRefused) {
  const QByteArray png = SmallPng();
  const Result<QByteArray> turned = TurnedFileClockwise(QStringLiteral("scan.ppm"), png, "ppm");
  ASSERT_FALSE(turned.ok());
  EXPECT_EQ(turned.error(), "\"scan.ppm\" cannot be turned: Lumaset cannot write a PPM file back as it holds it.");
}

// Every format's turn tells how far it has come, from its reading to its
// read-back, and stops at its next look once it is no longer wanted, with
// nothing more to tell, wherever it is.
TEST(QuarterTurnFile, EveryTurnReportsItsProgressAndStopsWhenAsked) {
  struct Case { const char* format; QSize size; };
  // JPEG of whole blocks turned as stored, and of others compressed again.
  // A TIFF large enough to be written in several strips.
  const Case cases[] = {{"jpeg", {320, 240}}, {"jpeg", {330, 250}}, {"png", {330, 250}},
                        {"tiff", {600, 500}}, {"bmp", {330, 250}},  {"webp", {130, 90}}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.format);
    QImage picture(c.size, QImage::Format_RGB32);
    for (int y = 0; y < picture.height(); ++y)
      for (int x = 0; x < picture.width(); ++x) picture.setPixel(x, y, qRgb(x * 7 % 256, y * 5 % 256, x * y % 256));
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, c.format);
    writer.setQuality(c.format == QByteArray("webp") ? 100 : 90);  // a lossless WebP
    ASSERT_TRUE(writer.write(picture));
    const QString name = QStringLiteral("turned.") + QLatin1String(c.format);

    std::vector<int> heard;
    {
      const WorkProgress::Scope listening([&heard](int percent) { heard.push_back(percent); });
      const Result<QByteArray> turned = TurnedFileClockwise(name, bytes, c.format);
      ASSERT_TRUE(turned.ok()) << turned.error().toStdString();
    }
    ASSERT_FALSE(heard.empty()) << "no progress";
    EXPECT_GE(heard.front(), 1);
    EXPECT_GE(heard.back(), 75) << "the turn's last part told nothing";
    EXPECT_LE(heard.back(), 99);

    // Stopped as it reads, as it turns and as it writes.
    for (const int from : {1, 34, 60}) {
      std::vector<int> after;
      const WorkProgress::Scope listening([&after, from](int percent) {
        if (percent >= from) after.push_back(percent);
      });
      const DecodeStop::Scope stop([&after] { return !after.empty(); });
      EXPECT_TRUE(TurnedFileClockwise(name, bytes, c.format).cancelled()) << from;
      EXPECT_EQ(after.size(), 1u) << "stopped at " << from << "%, the turn went on to " << after.back() << "%";
    }
  }
}

// A file is turned as what it holds: a JPEG photo named .png stays the JPEG
// it is, turned without loss; a GIF named .png is refused, naming both.
TEST(QuarterTurnFile, AFileIsTurnedAsWhatItHolds) {
  QByteArray jpeg;
  QBuffer buffer(&jpeg);
  buffer.open(QIODevice::WriteOnly);
  ASSERT_TRUE(QImage::fromData(SmallPng()).scaled(64, 48).save(&buffer, "jpeg"));
  const Result<QByteArray> turned = TurnedFileClockwise(QStringLiteral("photo.png"), jpeg, "png");
  ASSERT_TRUE(turned.ok()) << turned.error().toStdString();
  EXPECT_EQ(*turned, *TurnJpegClockwise(jpeg));
  const Result<QByteArray> gif = TurnedFileClockwise(QStringLiteral("anim.png"), "GIF89a" + QByteArray(20, '\0'), "png");
  ASSERT_FALSE(gif.ok());
  EXPECT_EQ(gif.error(), "\"anim.png\" cannot be turned: its name says PNG, but it holds a GIF picture, which Lumaset "
                         "cannot write back as it holds it.");
}

}  // namespace
}  // namespace lumaset::test
