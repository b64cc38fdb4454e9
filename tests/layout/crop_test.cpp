#include "layout/crop.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QStringList>

#include <functional>

#include "components/imaging/imaging.h"
#include "layout/page_model.h"
#include "support/page_builder.h"
#include "support/test_support.h"

namespace lumaset {
namespace {

// A window that remembers what a crop asked of it.
class FakeCropHost : public CropHost {
 public:
  void ToolEnable(bool on, int slot) override { calls << QStringLiteral("ToolEnable(%1,%2)").arg(on).arg(slot); }
  Status UndoAdd(const QString& kind, const QString& tip) override {
    calls << QStringLiteral("UndoAdd(%1,%2)").arg(kind, tip);
    return Status::success();
  }
  void UndoAbandon() override { calls << QStringLiteral("UndoAbandon"); }
  void SetPicture(int slot, const QImage& picture) override {
    calls << QStringLiteral("SetPicture(%1)").arg(slot);
    shown = picture;
  }
  void ShowError(const QString& text) override { errors << text; }
  Imaging& imaging() override { return imgx; }
  QString TempImagesFolder() const override { return folder; }
  float ImageRes() const override { return 350; }

  Imaging imgx;
  QString folder;
  QStringList calls, errors;
  QImage shown;
};

TEST(CropGeometryTest, OneEdgeFollowsThePointerAndStaysOnThePicture) {
  const FrameRect box{1000, 1000, 2000, 1500};
  struct Case { const char* what; QPointF down, pointer; FrameRect expected; };
  const Case cases[] = {
      {"left edge dragged in", {900, 1500}, {2440, 1500}, {2440, 1000, 560, 1500}},
      {"left edge dragged out stays on the picture", {900, 1500}, {500, 1500}, box},
      {"right edge near the left edge keeps the minimum", {3100, 1500}, {1050, 1500}, {1000, 1000, 100, 1500}},
      {"left edge near the right edge reaches it", {900, 1500}, {2950, 1500}, {2950, 1000, 50, 1500}},
      {"left edge past the right edge leaves a sliver", {900, 1500}, {4000, 1500}, {2985, 1000, 15, 1500}},
      {"a corner press moves the top edge only", {900, 900}, {1500, 1300}, {1000, 1300, 2000, 1200}},
      {"bottom edge dragged up", {1500, 2600}, {9999, 1800}, {1000, 1000, 2000, 800}},
      {"a press on the picture moves no edge", {1500, 1500}, {2000, 2000}, box},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(FollowCropPointer(box, box, c.down, c.pointer), c.expected) << c.what;
  }
}

TEST(CropGeometryTest, PixelsRoundHalfToEvenAndStayInThePicture) {
  struct Case { FrameRect kept, box; QSize file; PixelRect expected; };
  const FrameRect box{0, 0, 1000, 1000};
  const Case cases[] = {
      {{64, 192, 320, 448}, {0, 0, 1024, 1024}, {8, 8}, {0, 2, 2, 4}},  // 0.5, 1.5, 2.5, 3.5
      {{1064, 1192, 320, 448}, {1000, 1000, 1024, 1024}, {8, 8}, {0, 2, 2, 4}},
      {box, box, {400, 300}, {0, 0, 400, 300}},
      {{500, 0, 600, 1000}, box, {400, 300}, {200, 0, 200, 300}},  // held to the right edge
      {{999, 999, 1, 1}, box, {400, 300}, {399, 299, 1, 1}},       // never less than a pixel
  };
  for (const Case& c : cases) {
    const auto pixels = CropPixels(c.kept, c.box, c.file);
    ASSERT_TRUE(pixels.ok()) << c.kept.left << "," << c.kept.top;
    EXPECT_TRUE(*pixels == c.expected) << c.kept.left << "," << c.kept.top;
  }
  EXPECT_FALSE(CropPixels(box, FrameRect{0, 0, 0, 100}, QSize(10, 10)).ok());
  EXPECT_FALSE(KeptPart(FrameRect{3000, 0, 10, 10}, box).has_value());
}

class ImageCropTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const QString root = test::freshFolder("crop");
    host.folder = root + "/Temp Images/";
    ASSERT_TRUE(QDir().mkpath(host.folder));
    source = root + "/photo.png";
    ASSERT_TRUE(test::WriteHalves(source, {400, 300}, Qt::red, Qt::blue));  // red left, blue right
    model.geometry().previewWidth = 12240;
    model.geometry().previewHeight = 15840;
    test::ShowPicture(model, 0, PicBox{1440, 1440, 2880, 2160, true}, source);
    model.setPicCur(0);
  }

  FakeCropHost host;
  PageModel model;
  QString source;
};

TEST_F(ImageCropTest, KeptPartBecomesTheNextTemporaryPicture) {
  ASSERT_TRUE(ImageCrop(model, host, FrameRect{2880, 1440, 1440, 2160}));

  const QString first = host.folder + QStringLiteral("0-01.jpg");
  EXPECT_EQ(model.pic(0).file, first);
  EXPECT_EQ(model.box(0), (PicBox{2880, 1440, 1440, 2160, true}));
  EXPECT_FLOAT_EQ(model.pic(0).leftFrac, 2880.0f / 12240);
  EXPECT_FLOAT_EQ(model.pic(0).widthFrac, 1440.0f / 12240);
  const QImage written(first);
  EXPECT_EQ(written.size(), QSize(200, 300));
  EXPECT_GT(qBlue(written.pixel(100, 150)), 200) << "the right, blue half is kept";
  EXPECT_EQ(host.shown.size(), QSize(233, 350)) << "the page shows a reduced copy";
  EXPECT_EQ(QImage(source).size(), QSize(400, 300)) << "the user's file is untouched";
  EXPECT_EQ(host.calls, (QStringList{"ToolEnable(0,0)", "UndoAdd(Crop,Undo last picture crop)", "SetPicture(0)",
                                     "ToolEnable(1,0)"}));

  // The next crop starts from the first one's picture.
  ASSERT_TRUE(ImageCrop(model, host, FrameRect{2880, 1440, 1440, 1080}));
  EXPECT_EQ(model.pic(0).file, host.folder + QStringLiteral("0-02.jpg"));
  EXPECT_EQ(QImage(model.pic(0).file).size(), QSize(200, 150));
}

// The crop works on the upright picture and writes it upright, without
// EXIF data that would turn it a second time.
TEST_F(ImageCropTest, ATurnedPhotoIsCroppedAsItStands) {
  model.pic(0).file = source + ".jpg";
  ASSERT_TRUE(test::WriteOrientedJpeg(model.pic(0).file, test::Quarters(300, 400), 6));
  ASSERT_TRUE(ImageCrop(model, host, FrameRect{2880, 1440, 1440, 2160}));
  const QByteArray written = test::ReadBytes(model.pic(0).file);
  EXPECT_FALSE(written.contains("Exif"));
  QImage kept;
  ASSERT_TRUE(kept.loadFromData(written));
  EXPECT_EQ(kept.size(), QSize(200, 300));
  EXPECT_EQ(test::CornerColours(kept), "RRGG") << "the right half of the upright picture";
}

TEST_F(ImageCropTest, RectangleOffThePictureIsClampedToIt) {
  ASSERT_TRUE(ImageCrop(model, host, FrameRect{0, 0, 2880, 20000}));
  EXPECT_EQ(model.box(0), (PicBox{1440, 1440, 1440, 2160, true}));
  EXPECT_EQ(QImage(model.pic(0).file).size(), QSize(200, 300));
}

TEST_F(ImageCropTest, FailedCropTakesItsStepBackAndKeepsTheRecord) {
  const PagePic before = model.pic(0);
  const PicBox boxBefore = model.box(0);
  struct Case { const char* what; std::function<void()> arrange; FrameRect crop; };
  const Case cases[] = {
      {"unreadable file", [&] { model.pic(0).file = host.folder + "gone.jpg"; }, {1440, 1440, 1440, 2160}},
      {"target already there", [&] { test::WriteText(host.folder + "0-01.jpg", ""); }, {1440, 1440, 1440, 2160}},
      {"rectangle beside the picture", [] {}, {9000, 9000, 500, 500}},
  };
  for (const Case& c : cases) {
    model.pic(0) = before;
    host.calls.clear();
    host.errors.clear();
    c.arrange();
    const PagePic record = model.pic(0);
    SCOPED_TRACE(c.what);
    EXPECT_FALSE(ImageCrop(model, host, c.crop));
    EXPECT_TRUE(model.pic(0) == record);
    EXPECT_TRUE(model.box(0) == boxBefore);
    EXPECT_TRUE(model.edit().tempCount == 0);
    ASSERT_EQ(host.errors.size(), 1);
    EXPECT_TRUE(host.errors[0].startsWith("Error editing image: "));
    EXPECT_EQ(host.calls.mid(1),
              (QStringList{"UndoAdd(Crop,Undo last picture crop)", "UndoAbandon", "ToolEnable(1,0)"}));
  }
  EXPECT_EQ(QFileInfo(host.folder + "0-01.jpg").size(), 0) << "an existing file is never replaced";
}

}  // namespace
}  // namespace lumaset
