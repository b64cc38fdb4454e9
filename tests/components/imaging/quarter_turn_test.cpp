// A PNG file turned as it is stored: a damaged or cut-short file is refused
// with its reason, never read past its end, and one that claims a huge
// picture in a few bytes costs nothing.

#include <gtest/gtest.h>

#include <QBuffer>
#include <QImage>

#include "components/imaging/png_quarter_turn.h"
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

}  // namespace
}  // namespace lumaset::test
