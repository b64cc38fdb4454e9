#include "layout/page_refresh.h"

#include <gtest/gtest.h>

#include <QImage>

#include "fake_drawing_host.h"
#include "layout/page_area.h"
#include "support/test_support.h"

namespace lumaset {
namespace {

using test::DrawingRig;
using test::LetterPrinter;

TEST(PageRefreshTest, PageIsFittedByThePaperAndTheOrientation) {
  DrawingRig rig;
  rig.refresh.Run();
  const Paper letter = DefaultPaper(true, true);
  const double height = 12000 - 700;
  const double width = height * letter.width / letter.height;
  EXPECT_EQ(rig.host.scene.preview, QRectF((9000 - width) / 2, 450, width, height));
  EXPECT_EQ(rig.model.geometry().previewWidth, static_cast<float>(width));

  // Without a printer the landscape page is turned paper, fitted to the width.
  rig.model.geometry().portrait = false;
  rig.refresh.Run();
  const QRectF landscape = rig.host.scene.preview;
  EXPECT_EQ(landscape.width(), 9000 - 700);
  EXPECT_EQ(landscape.left(), 300);
  EXPECT_DOUBLE_EQ(landscape.height(), 8300 * 8.5 / 11.0);
  EXPECT_EQ(landscape.top(), (12000 - landscape.height()) / 2);
}

TEST(PageRefreshTest, PrintableFrameAndItsMarkNeedATopStrip) {
  DrawingRig rig;
  rig.host.printer = LetterPrinter(kPortrait, 720);
  rig.refresh.Run();
  const PageScene& scene = rig.host.scene;
  const double width = scene.preview.width();
  ASSERT_TRUE(scene.printableShown);
  EXPECT_NEAR(scene.printable.left(), 0.5 / 8.5 * width, 1e-3);
  EXPECT_NEAR(scene.printable.width(), width - 2 * (0.5 / 8.5 * width), 1e-3);
  ASSERT_TRUE(scene.noPrint.has_value());
  EXPECT_EQ(scene.noPrint->text, QStringLiteral("--- NO PRINT ---"));
  EXPECT_EQ(scene.noPrint->color, QColor(Qt::red));
  const double size = 6 * rig.model.geometry().fontScale;
  EXPECT_DOUBLE_EQ(scene.noPrint->pointSize, size);
  EXPECT_DOUBLE_EQ(scene.noPrint->at.x(), width / 2 - size * 16 * 15 / 3);

  rig.host.printer.noPrintTopTwips = 0;
  rig.refresh.Run();
  EXPECT_FALSE(rig.host.scene.printableShown);
  EXPECT_FALSE(rig.host.scene.noPrint.has_value());
}

TEST(PageRefreshTest, GridShowsEveryLineOrEverySecondFromThePaperCorner) {
  DrawingRig rig;
  const auto inchesOf = [&](const std::vector<double>& lines) {
    std::vector<double> inches;
    for (const double x : lines) inches.push_back(x / rig.model.geometry().previewWidth * 8.5);
    return inches;
  };
  rig.options.gridType = 1;
  rig.refresh.Run();
  std::vector<double> coarse = inchesOf(rig.host.scene.gridX);
  ASSERT_EQ(coarse.size(), 8u);
  for (std::size_t i = 0; i < coarse.size(); ++i) EXPECT_NEAR(coarse[i], i + 1.0, 1e-9);
  EXPECT_EQ(rig.host.scene.gridY.size(), 10u);  // 1 to 10 inches down an 11 inch page

  rig.options.gridType = 2;
  rig.refresh.Run();
  std::vector<double> fine = inchesOf(rig.host.scene.gridX);
  ASSERT_EQ(fine.size(), 16u);
  EXPECT_NEAR(fine.front(), 0.5, 1e-9);
  EXPECT_NEAR(fine.back(), 8.0, 1e-9);

  rig.options.scaleType = QStringLiteral("Centimeters");
  rig.refresh.Run();
  EXPECT_EQ(rig.host.scene.gridX.size(), 21u);  // every centimetre across 21.6

  rig.options.genGrid = false;
  rig.refresh.Run();
  EXPECT_TRUE(rig.host.scene.gridX.empty());
  EXPECT_TRUE(rig.host.scene.gridY.empty());
}

TEST(PageRefreshTest, PicturesArePlacedFromTheirFractionsInRankOrder) {
  DrawingRig rig;
  rig.refresh.Run();
  for (int slot = 0; slot < 4; ++slot) rig.Place(slot, 100.0f * slot, 200, 1000, 800);
  for (const auto& [slot, rank] : {std::pair{0, 3}, {1, 0}, {2, 2}, {3, -1}})  // slot 3 deleted
    rig.model.pic(slot).zRank = static_cast<std::int16_t>(rank);
  rig.model.box(3).visible = false;

  rig.host.panel = QSizeF(12000, 15000);  // a larger window: every box follows its fractions
  rig.refresh.Run();
  EXPECT_EQ(rig.host.scene.drawOrder, (std::vector<int>{1, 2, 0}));
  const PageGeometry& page = rig.model.geometry();
  const PagePic& pic = rig.model.pic(2);
  EXPECT_EQ(rig.model.box(2), (PicBox{page.previewWidth * pic.leftFrac, page.previewHeight * pic.topFrac,
                                      page.previewWidth * pic.widthFrac,
                                      page.previewHeight * pic.heightFrac, true}));
  EXPECT_FALSE(rig.model.box(3).visible);

  // Twice the same refresh: the same page, and no picture left selected.
  const PageScene first = rig.host.scene;
  rig.refresh.Run();
  EXPECT_EQ(rig.host.scene.drawOrder, first.drawOrder);
  EXPECT_EQ(rig.host.scene.preview, first.preview);
  EXPECT_EQ(rig.host.toolCalls.back(), std::make_pair(false, -1));
}

TEST(PageRefreshTest, ContactSheetNamesAreCutToTheirPicturesWidthOnPaperInEitherUnit) {
  const QString longName = QStringLiteral("holiday-at-the-lake-with-the-whole-family");
  EXPECT_EQ(CaptionText(QStringLiteral("IMG_1"), 72), "IMG_1");
  EXPECT_EQ(CaptionText(longName, 1), "...");
  const QString inch = CaptionText(longName, 72);
  EXPECT_TRUE(inch.endsWith("...") && longName.startsWith(inch.chopped(3))) << inch.toStdString();
  EXPECT_GT(inch.size(), 10);
  EXPECT_LT(inch.size(), 30);

  // A picture 2 cm wide, on a page measured in centimetres and in inches.
  PageGeometry centimetres;
  centimetres.inches = false;
  centimetres.paperWidth = 20;
  PageGeometry inches;
  inches.paperWidth = 20 / 2.54f;
  const PagePic twoCentimetres{QStringLiteral("/p/") + longName + QStringLiteral(".jpg"), 0, 0, 0, 0.1f, 0.1f};
  const QString shown = SheetCaption(twoCentimetres.file, twoCentimetres, centimetres);
  EXPECT_EQ(shown, SheetCaption(twoCentimetres.file, twoCentimetres, inches));
  EXPECT_TRUE(shown.endsWith("...")) << shown.toStdString();
  EXPECT_LT(shown.size(), 24) << "2 cm hold far fewer than 36 characters";
  EXPECT_EQ(SheetCaption(QStringLiteral("/p/scan.tiff"), twoCentimetres, centimetres), "scan");

  DrawingRig rig;
  rig.refresh.Run();
  rig.Place(0, 300, 400, 720, 1440);
  rig.host.thumbSheet = true;
  rig.refresh.Run();
  ASSERT_EQ(rig.host.scene.captions.size(), 1u);
  const PicBox& box = rig.model.box(0);
  EXPECT_EQ(rig.host.scene.captions[0].text, QStringLiteral("0")) << "no extension, as on paper";
  EXPECT_EQ(rig.host.scene.captions[0].at, QPointF(box.left, box.top + box.height + 5));
}

// The page draws each name at the size it was cut for, so that it ends
// within its picture's width as on paper and does not run into the next.
TEST(PageRefreshTest, ContactSheetNamesOnThePageEndWithinTheirPicturesWidth) {
  DrawingRig rig;
  rig.host.panel = {27000, 36000};  // large enough for text that hinting hardly moves
  rig.refresh.Run();
  rig.Place(0, 3000, 3000, 4500, 4500);
  rig.model.pic(0).file = QStringLiteral("/p/holiday-at-the-lake-with-the-whole-family.jpg");
  rig.host.thumbSheet = true;
  rig.refresh.Run();
  ASSERT_TRUE(rig.host.scene.captions.at(0).text.endsWith("..."));

  PagePanel panel;
  panel.resize(1800, 2400);
  panel.ShowPage(rig.host.scene, 15);
  const QImage shot = panel.page()->grab().toImage();
  const QRect box = QRectF(200, 200, 300, 300).toRect();  // the picture's box in pixels
  int right = -1;  // of the dark pixels in the name's rows, from the box's left to twice its width
  for (int y = box.bottom() + 2; y < box.bottom() + 60; ++y)
    for (int x = box.left(); x < box.left() + 2 * box.width(); ++x)
      if (QColor(shot.pixel(x, y)).value() < 128) right = std::max(right, x);
  EXPECT_LE(right, box.right() + 4) << "the name runs past its picture";
  EXPECT_GE(right, box.left() + 0.8 * box.width()) << "the name takes the room it was cut for";
}

TEST(PageRefreshTest, LabelIsWrittenInsideThePrintableCorner) {
  DrawingRig rig;
  rig.label = LabelStyle{QStringLiteral("Serif"), 20, false, true, 0x0000FFu};
  rig.model.edit().labelText = QStringLiteral("Summer 2024");
  rig.refresh.Run();
  const PageGeometry& page = rig.model.geometry();
  ASSERT_TRUE(rig.host.scene.label.has_value());
  const PageText& label = *rig.host.scene.label;
  EXPECT_EQ(label.text, QStringLiteral("Summer 2024"));
  EXPECT_NEAR(label.at.x(), 0.5 / 8.5 * page.previewWidth + 100, 1e-3);
  EXPECT_NEAR(label.at.y(), 0.5 / 11.0 * page.previewHeight + 100, 1e-3);
  EXPECT_DOUBLE_EQ(label.pointSize, 20 * page.fontScale);
  EXPECT_EQ(label.color, QColor(255, 0, 0)) << "red is the low byte";
  EXPECT_TRUE(label.italic);
  EXPECT_TRUE(!label.bold);

  rig.model.edit().labelText.clear();
  rig.refresh.Run();
  EXPECT_FALSE(rig.host.scene.label.has_value());
}

TEST(PageRefreshTest, PageDrawsThePlacedPicturesAtTheirBoxes) {
  PageModel model;
  PagePanel panel;
  panel.resize(600, 800);
  panel.page()->SetModel(&model);
  model.setPicLast(1);
  model.box(0) = PicBox{1500, 1500, 3000, 3000, true};   // 100,100 200x200 pixels
  model.box(1) = PicBox{3000, 3000, 1500, 1500, true};   // in front, over part of slot 0
  model.pic(1).zRank = 1;
  for (const auto& [slot, colour] : {std::pair{0, Qt::blue}, {1, Qt::green}}) {
    QImage picture(8, 8, QImage::Format_RGB32);
    picture.fill(colour);
    panel.page()->setPicture(slot, picture);
  }

  PageScene scene;
  scene.preview = QRectF(300, 450, 7500, 9000);
  scene.printable = QRectF(750, 750, 6000, 7500);
  scene.printableShown = true;
  panel.ShowPage(scene, 15);
  EXPECT_EQ(panel.page()->geometry(), QRect(20, 30, 500, 600));

  const QImage shot = panel.page()->grab().toImage();
  EXPECT_EQ(shot.pixelColor(120, 120), QColor(Qt::blue));
  EXPECT_EQ(shot.pixelColor(295, 150), QColor(Qt::blue)) << "just inside slot 0's box";
  EXPECT_EQ(shot.pixelColor(250, 250), QColor(Qt::green)) << "the front picture covers the back one";
  EXPECT_EQ(shot.pixelColor(95, 95), QColor(Qt::white));
  EXPECT_EQ(shot.pixelColor(50, 300), QColor(Qt::red)) << "the printable frame";

  model.pic(0).zRank = 1;
  model.pic(1).zRank = 0;
  panel.ShowPage(scene, 15);
  EXPECT_EQ(panel.page()->grab().toImage().pixelColor(250, 250), QColor(Qt::blue));
}

}  // namespace
}  // namespace lumaset
