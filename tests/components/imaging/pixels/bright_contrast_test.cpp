#include "components/imaging/pixels/bright_contrast.h"

#include <gtest/gtest.h>

#include "components/imaging/imaging.h"

namespace lumaset {
namespace {

QImage Ramp() {
  QImage image(256, 2, QImage::Format_RGB32);
  for (int x = 0; x < 256; ++x) {
    image.setPixel(x, 0, qRgb(x, 255 - x, x / 2));
    image.setPixel(x, 1, qRgb(0, 128, 255));
  }
  return image;
}

TEST(BrightContrastTest, TableFollowsTheLevels) {
  struct Case { int brightness, contrast, in, out; };
  const Case cases[] = {
      {0, 0, 0, 0},       {0, 0, 200, 200},    {0, 0, 255, 255},    // levels 0 change nothing
      {-100, 0, 255, 0},  {-100, 30, 255, 0},  {100, 0, 0, 255},    // the ends reach black and white
      {-50, 0, 200, 73},  {40, 0, 10, 112},    {-80, 0, 100, 0},    // a share of full white, clipped
      {0, -100, 0, 128},  {0, -100, 255, 128}, {0, 30, 255, 255},   // contrast about the middle
      {0, 30, 100, 92},   {0, -30, 100, 108},  {0, 30, 170, 183},
      {-300, 0, 255, 0},  {0, 500, 127, 127},  {0, 500, 128, 129},  // beyond the limits: the ends
  };
  for (const Case& c : cases) {
    EXPECT_EQ(BrightContrastTable(c.brightness, c.contrast)[std::size_t(c.in)], c.out)
        << c.brightness << " " << c.contrast << " " << c.in;
  }
  // Any levels give a table that never falls as its input rises.
  for (const int brightness : {-100, -37, 0, 12, 100}) {
    for (const int contrast : {-100, -30, 0, 30, 100}) {
      const ChannelTable table = BrightContrastTable(brightness, contrast);
      EXPECT_TRUE(std::is_sorted(table.begin(), table.end())) << brightness << " " << contrast;
    }
  }
}

TEST(BrightContrastTest, PictureMapsEachChannelAlike) {
  const QImage ramp = Ramp();
  const QImage darker = BrightContrast(ramp, -40, 20);
  ASSERT_TRUE(darker.size() == ramp.size());
  ASSERT_TRUE(darker.format() == QImage::Format_RGB32);
  const ChannelTable table = BrightContrastTable(-40, 20);
  for (int y = 0; y < ramp.height(); ++y) {
    for (int x = 0; x < ramp.width(); ++x) {
      const QRgb in = ramp.pixel(x, y);
      EXPECT_EQ(darker.pixel(x, y), qRgb(table[qRed(in)], table[qGreen(in)], table[qBlue(in)]));
    }
  }
  EXPECT_EQ(BrightContrast(ramp, 0, 0), ramp);
  EXPECT_TRUE(BrightContrast(QImage(), 10, 10).isNull());
  // Other formats come out in the held format, transparency dropped.
  QImage indexed(2, 1, QImage::Format_Indexed8);
  indexed.setColorTable({qRgb(200, 100, 0), qRgb(0, 0, 0)});
  indexed.setPixel(0, 0, 0);
  indexed.setPixel(1, 0, 1);
  const QImage widened = BrightContrast(indexed, -100, 0);
  EXPECT_TRUE(widened.format() == QImage::Format_RGB32);
  EXPECT_TRUE(widened.pixel(0, 0) == qRgb(0, 0, 0));
}

TEST(BrightContrastTest, ImagingCallIsAChangeUndoCanTakeBack) {
  Imaging imaging;
  EXPECT_FALSE(ImgBrightContrast(imaging, 10, 0).ok());  // nothing loaded
  ASSERT_TRUE(imaging.LoadFromPicture(Ramp()).ok());
  imaging.UndoLevels(1);
  ASSERT_TRUE(ImgBrightContrast(imaging, -30, 10).ok());
  EXPECT_EQ(imaging.GetPicture(), BrightContrast(Ramp(), -30, 10));
  ASSERT_TRUE(imaging.UndoLast().ok());
  EXPECT_EQ(imaging.GetPicture(), Ramp());
  ASSERT_TRUE(ImgBrightContrast(imaging, -100, 0, Imaging::kNoUndo).ok());
  EXPECT_EQ(imaging.PixelColor(5, 1).value() & 0xFFFFFFU, 0U);
  EXPECT_FALSE(imaging.UndoLast().ok());
}

}  // namespace
}  // namespace lumaset
