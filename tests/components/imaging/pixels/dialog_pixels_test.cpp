#include "components/imaging/pixels/dialog_pixels.h"

#include <gtest/gtest.h>

#include <QImage>

#include <vector>

#include "components/imaging/pixels/pixel_effects.h"

namespace lumaset {
namespace {

QImage Solid(int width, int height, QRgb color) {
  QImage image(width, height, QImage::Format_RGB32);
  image.fill(color);
  return image;
}

// A picture with many different colours, so that band edges would show.
QImage Busy(int width, int height) {
  QImage image(width, height, QImage::Format_RGB32);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) image.setPixel(x, y, qRgb((x * 7 + y) % 256, (y * 5) % 256, (x ^ y) % 256));
  }
  return image;
}

TEST(AdjustRgb, EachChannelMovesOnlyWhenItsSumStaysInRange) {
  struct Case {
    QRgb pixel;
    int red, green, blue;
    QRgb expected;
  };
  const Case cases[] = {
      {qRgb(250, 100, 100), 10, 0, 0, qRgb(250, 100, 100)},
      {qRgb(245, 100, 100), 10, 0, 0, qRgb(255, 100, 100)},
      {qRgb(30, 60, 49), -50, -50, -50, qRgb(30, 10, 49)},
      {qRgb(0, 255, 128), -1, 1, 0, qRgb(0, 255, 128)},
  };
  for (const Case& c : cases) {
    PixelJob job(1);
    const Result<QImage> out = AdjustRgb(Solid(3, 2, c.pixel), c.red, c.green, c.blue, job);
    ASSERT_TRUE(out.ok());
    EXPECT_EQ(out->pixel(2, 1) & 0xFFFFFFU, c.expected & 0xFFFFFFU) << std::hex << c.pixel;
  }
}

TEST(ReplaceInArea, AcceptsAThirdOfTheToleranceEachSideAndStaysInsideTheArea) {
  const ReplaceRange wide = MakeReplaceRange(qRgb(100, 0, 255), 38);
  EXPECT_EQ(wide.low, (std::array<int, 3>{87, -13, 242}));
  EXPECT_EQ(wide.high, (std::array<int, 3>{112, 12, 267}));
  EXPECT_TRUE(wide.Matches(qRgb(87, 12, 255)));
  EXPECT_FALSE(wide.Matches(qRgb(86, 0, 255)));
  EXPECT_FALSE(wide.Matches(qRgb(100, 13, 255)));
  const ReplaceRange exact = MakeReplaceRange(qRgb(5, 6, 7), 0);
  EXPECT_TRUE(exact.Matches(qRgb(5, 6, 7)));
  EXPECT_FALSE(exact.Matches(qRgb(5, 6, 8)));

  // Only the area changes, and an area reaching beyond the picture is cut to it.
  PixelJob job(2);
  const Result<QImage> out =
      ReplaceInArea(Solid(10, 10, qRgb(100, 100, 100)), QRect(6, 7, 50, 50), qRgb(100, 100, 100), qRgb(1, 2, 3), 0, job);
  ASSERT_TRUE(out.ok());
  EXPECT_EQ(out->pixel(5, 9), qRgb(100, 100, 100));
  EXPECT_EQ(out->pixel(6, 6), qRgb(100, 100, 100));
  EXPECT_EQ(out->pixel(6, 7), qRgb(1, 2, 3));
  EXPECT_EQ(out->pixel(9, 9), qRgb(1, 2, 3));
}

TEST(DialogPixels, SameBytesForAnyThreadCountAndProgressPerBand) {
  const QImage picture = Busy(97, 301);
  std::vector<QImage> results;
  for (int threads : {1, 3, 8}) {
    for (int rule = 0; rule < 2; ++rule) {
      Imaging imaging;
      imaging.setWorkerThreads(threads);
      ASSERT_TRUE(imaging.LoadFromPicture(picture).ok());
      std::vector<int> reports;
      imaging.setProgressHandler([&reports](int percent, bool&) { reports.push_back(percent); });
      imaging.setProgressEnabled(true);
      const Status done = rule == 0 ? ImgAdjustRgb(imaging, 20, -30, 5)
                                    : ImgReplaceInArea(imaging, QRect(10, 20, 60, 200), qRgb(100, 100, 100),
                                                       qRgb(0, 0, 0), 200);
      ASSERT_TRUE(done.ok());
      EXPECT_EQ(imaging.InfoText(), kAdjustingColorText);
      ASSERT_GE(reports.size(), 3U);
      EXPECT_EQ(reports.front(), 0);
      EXPECT_EQ(reports.back(), 100);
      results.push_back(imaging.GetPicture());
    }
  }
  for (std::size_t i = 2; i < results.size(); ++i) EXPECT_EQ(results[i], results[i % 2]) << i;
  EXPECT_NE(results[0], picture);
  EXPECT_NE(results[1], picture);
}

TEST(DialogPixels, EmbossCanKeepTheChannelsOutsideItsMask) {
  const QImage picture = Busy(8, 8);
  PixelJob job(1);
  const Result<QImage> kept = Emboss(picture, -1, -1, qRgb(128, 128, 128), 1, kKeepOtherChannels, job);
  const Result<QImage> set = Emboss(picture, -1, -1, qRgb(128, 128, 128), 1, 9, job);
  ASSERT_TRUE(kept.ok());
  ASSERT_TRUE(set.ok());
  EXPECT_EQ(qGreen(kept->pixel(4, 4)), qGreen(picture.pixel(4, 4)));
  EXPECT_EQ(qBlue(kept->pixel(4, 4)), qBlue(picture.pixel(4, 4)));
  EXPECT_EQ(qRed(kept->pixel(4, 4)), qRed(set->pixel(4, 4)));
}

}  // namespace
}  // namespace lumaset
