#include "acquire/scan_control.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QImageReader>

#include "components/settings_store.h"
#include "fake_scan.h"
#include "support/file_size_limit.h"
#include "support/test_support.h"

namespace lumaset {
namespace {

// Every pixel of the pattern tells where it lies.
QImage Pattern(int width, int height) {
  QImage image(width, height, QImage::Format_RGB32);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) image.setPixel(x, y, qRgb(x % 256, y % 256, x / 256 * 16 + y / 256));
  }
  return image;
}

class ScanControlTest : public ::testing::Test {
 protected:
  ScanControlTest() : settings_("Lumaset", test::freshFolder("scan") + "/settings.ini") {
    folder_ = test::freshFolder("scans") + "/";
    control_.FormLoad();
  }

  void Open(double resolution = 300, ScanPixelType type = ScanPixelType::Rgb) {
    service_.ReplyOptions(ScanReadBack{"test:0", resolution, type});
  }
  void Scan(const QImage& picture) {
    control_.cmdScan_Click();
    service_.ReplyScan(picture);
  }
  void Drag(int button, QPoint from, QPoint to) {
    control_.picScan_MouseDown(button, from);
    control_.picScan_MouseMove(button, (from + to) / 2);
    control_.picScan_MouseMove(button, to);
    control_.picScan_MouseUp(button, to);
  }

  SettingsStore settings_;
  QString folder_;
  int saveCount_ = 0;
  test::FakeScanService service_;
  test::FakeScanHost host_;
  ScanControl control_{ScanShared{service_, settings_, folder_, saveCount_}, host_};
};

TEST(ScanFit, FitsTheLongerSideAndKeepsExactRatios) {
  struct Case {
    QSize work;
    int top;
    QSize view;
    QRectF box;
  } cases[] = {
      {{700, 900}, 20, {272, 350}, {(354 - 272 * 354.0 / 350) / 2 + 4, 20, 272 * 354.0 / 350, 354}},
      {{900, 700}, 4, {350, 272}, {4, (354 - 272 * 354.0 / 350) / 2 + 4, 354, 272 * 354.0 / 350}},
      {{50, 50}, 20, {350, 350}, {4, 20, 354, 354}},
      {{5000, 1}, 4, {350, 1}, {4, (354 - 354.0 / 350) / 2 + 4, 354, 354.0 / 350}},
  };
  for (const Case& c : cases) {
    const ScanFit fit = FitScanView(c.work, c.top);
    EXPECT_EQ(fit.view, c.view) << c.work.width();
    EXPECT_EQ(fit.box, c.box) << c.work.width();
    EXPECT_DOUBLE_EQ(fit.scaleX, double(c.work.width()) / c.view.width());
    EXPECT_DOUBLE_EQ(fit.scaleY, double(c.work.height()) / c.view.height());
  }
}

TEST_F(ScanControlTest, ACropKeepsExactlyWhatWasDrawnAndUndoBringsBackTheScan) {
  Open();
  const QImage pattern = Pattern(700, 900);
  Scan(pattern);
  EXPECT_EQ(host_.picture.size(), QSize(272, 350));
  EXPECT_TRUE(host_.saveEnabled);

  Drag(kScanLeftButton, {100, 50}, {40, 80});
  EXPECT_EQ(control_.selector(), QRect(40, 50, 61, 31));
  // 700 / 272 and 900 / 350 exactly: columns 103 to 259, rows 129 to 207.
  const QImage work = control_.working().GetPicture();
  ASSERT_EQ(work.size(), QSize(157, 79));
  for (const QPoint p : {QPoint(0, 0), QPoint(156, 78), QPoint(80, 40)}) {
    EXPECT_EQ(work.pixel(p), pattern.pixel(p + QPoint(103, 129))) << p.x();
  }
  EXPECT_TRUE(host_.caption.startsWith("Scan: 157 W x 79 H, "));
  EXPECT_FALSE(host_.selectorVisible);
  EXPECT_TRUE(host_.undoEnabled);
  // The display copy is the working copy refitted, with the new exact ratios.
  Imaging refitted;
  ASSERT_TRUE(refitted.LoadFromPicture(work).ok());
  ASSERT_TRUE(refitted.ImgResize(350, 176).ok());
  EXPECT_EQ(control_.display().GetPicture(), refitted.GetPicture());
  EXPECT_DOUBLE_EQ(control_.scaleX(), 157.0 / 350);
  EXPECT_EQ(host_.box.top(), (354 - 176 * 354.0 / 350) / 2 + 4);

  Drag(kScanLeftButton, {0, 0}, {349, 175});  // all of it: crops accumulate without loss
  EXPECT_EQ(control_.working().GetPicture(), work);

  control_.cmdUndo_Click();
  EXPECT_EQ(control_.working().GetPicture(), control_.scanned().GetPicture());
  EXPECT_EQ(host_.picture.size(), QSize(272, 350));
  EXPECT_EQ(host_.box.top(), 4);

  Scan(Pattern(30, 20));  // a new scan keeps Undo
  EXPECT_TRUE(host_.undoEnabled);
  EXPECT_EQ(host_.caption, "Scan: 30 W x 20 H, 600 Colors");
}

TEST_F(ScanControlTest, OnlyALeftButtonDragCrops) {
  Open();
  Drag(kScanLeftButton, {10, 10}, {50, 60});  // no scan shown: drawn, kept, nothing cropped
  EXPECT_TRUE(host_.selectorVisible);
  EXPECT_EQ(host_.selector, QRect(10, 10, 41, 51));

  Scan(Pattern(400, 300));
  Drag(2, {10, 10}, {100, 100});
  control_.picScan_MouseDown(kScanLeftButton, {20, 20});  // a click
  control_.picScan_MouseUp(kScanLeftButton, {20, 20});
  control_.picScan_MouseDown(kScanLeftButton, {20, 20});  // released with another button
  control_.picScan_MouseMove(kScanLeftButton, {90, 90});
  control_.picScan_MouseUp(2, {90, 90});
  EXPECT_EQ(control_.working().PixelWidth(), 400);
  EXPECT_FALSE(host_.undoEnabled);

  control_.picScan_MouseUp(kScanLeftButton, {90, 90});  // the left button's own release
  EXPECT_EQ(control_.working().GetPicture().size(), QSize(81, 81));
}

TEST_F(ScanControlTest, SavingAsksBeforeReplacingAndNeverLosesTheScan) {
  Open();
  Scan(Pattern(64, 48));

  host_.folderPicked = false;  // picker cancelled: nothing asked
  control_.cmdSave_Click();
  EXPECT_TRUE(host_.prompts.isEmpty());

  host_.folderPicked = true;
  host_.answers = {std::nullopt, QString("a/b"), QString("shot"), QString("shot")};
  control_.cmdSave_Click();  // name cancelled: silent, the scan stays
  control_.cmdSave_Click();
  EXPECT_EQ(host_.prompts, QStringList({"Enter file name for scan (no extension) [Scan1]",
                                        "Enter file name for scan (no extension) [Scan2]"}));
  ASSERT_EQ(host_.messages.size(), 1);
  EXPECT_TRUE(host_.messages[0].startsWith("error: Error: File <" + folder_ + "a/b.jpg> not saved!\n"));

  const QString path = folder_ + "shot.jpg";
  ASSERT_TRUE(test::WriteText(path, "older picture"));
  host_.replaceAnswer = false;
  control_.cmdSave_Click();
  EXPECT_EQ(host_.questions, QStringList("File already exists in target folder.\nDo you wish to replace it?"));
  EXPECT_EQ(test::ReadBytes(path), "older picture");
  EXPECT_EQ(host_.closed, -1);

  host_.replaceAnswer = true;
  control_.cmdSave_Click();
  EXPECT_EQ(QImageReader(path).size(), QSize(64, 48));
  EXPECT_EQ(host_.messages.last(), "notice: File <" + path + ">\nsaved");
  EXPECT_EQ(host_.closed, 1);
  EXPECT_EQ(control_.savedPath(), path);
  EXPECT_EQ(saveCount_, 4);
}

TEST_F(ScanControlTest, AFailedWriteKeepsTheWindowAndTheScan) {
  Open();
  Scan(Pattern(64, 48));
  folder_ = folder_ + "gone/";
  host_.answers = {QString("shot")};
  control_.cmdSave_Click();
  ASSERT_EQ(host_.messages.size(), 1);
  EXPECT_TRUE(host_.messages[0].startsWith("error: Error: File <" + folder_ + "shot.jpg> not saved!\n"));
  EXPECT_EQ(host_.closed, -1);
  EXPECT_TRUE(control_.working().hasPicture());

  // A full disk: the older scan of that name stays.
  folder_.chop(5);
  ASSERT_TRUE(test::WriteText(folder_ + "shot.jpg", "older scan"));
  host_.answers = {QString("shot")};
  host_.replaceAnswer = true;
  {
    test::FileSizeLimit full(16);
    control_.cmdSave_Click();
  }
  ASSERT_EQ(host_.messages.size(), 2);
  EXPECT_TRUE(host_.messages[1].endsWith(": File too large")) << host_.messages[1].toStdString();
  EXPECT_EQ(test::ReadBytes(folder_ + "shot.jpg"), "older scan");
  EXPECT_EQ(QDir(folder_).entryList(QDir::Files | QDir::Hidden), QStringList{"shot.jpg"});
}

TEST_F(ScanControlTest, TheResolutionShownIsTheOneTheDeviceSettledOn) {
  Open(50, ScanPixelType::Grayscale);
  EXPECT_EQ(host_.optionsText, "Resolution = 50 DPI, Color = Grayscale");
  EXPECT_EQ(host_.pixTypeChecked, 1);
  const std::pair<const char*, qint32> answers[] = {
      {"99999999999", 2147483647}, {"-5e12", -2147483647 - 1}, {"300.5", 300}, {"301.5 dpi", 302}, {"abc", 0}};
  for (const auto& [answer, asked] : answers) {
    host_.answers = {QString(answer)};
    control_.mnuOptionsResolution_Click();
    ASSERT_EQ(service_.resolutions.back(), asked) << answer;
    service_.ReplyOptions(ScanReadBack{"test:0", 1200, ScanPixelType::Rgb});
  }
  EXPECT_EQ(host_.resolutionItem, "1200 DPI...");
  EXPECT_EQ(host_.optionsText, "Resolution = 1200 DPI, Color = RGB");
  host_.answers = {QString(), std::nullopt};
  control_.mnuOptionsResolution_Click();
  control_.mnuOptionsResolution_Click();
  EXPECT_EQ(service_.resolutions.size(), std::size(answers));

  control_.mnuOptionsPixTypes_Click(3);
  EXPECT_EQ(service_.pixelTypes.back(), ScanPixelType::Palette);
  service_.ReplyOptions(ScanReadBack{"test:0", 1200, ScanPixelType::Palette});
  EXPECT_EQ(host_.optionsText, "Resolution = 1200 DPI, Color = Palette");
}

TEST_F(ScanControlTest, AScannerFailingMidScanIsReportedAndTheWindowStaysUsable) {
  Open();
  Scan(Pattern(80, 60));
  const QString caption = host_.caption;
  control_.cmdScan_Click();
  EXPECT_EQ(host_.caption, "Lumaset: Scanning...");
  EXPECT_TRUE(host_.busy);
  service_.progress(40);
  EXPECT_EQ(host_.progress, 40);
  service_.ReplyScan(Error{"The scanner stopped during the scan: Error during device I/O"});
  EXPECT_EQ(host_.messages,
            QStringList("error: Scan failed.\nThe scanner stopped during the scan: Error during device I/O"));
  EXPECT_FALSE(host_.busy);
  EXPECT_EQ(host_.progress, -1);
  EXPECT_EQ(host_.caption, caption);
  EXPECT_EQ(control_.working().PixelWidth(), 80);  // the earlier scan stays, and can be saved

  control_.cmdScan_Click();  // Close while scanning stops the scan, silently
  control_.cmdCancel_Click();
  EXPECT_EQ(service_.cancels, 1);
  service_.ReplyScan(Error{"The scan was cancelled."});
  EXPECT_EQ(host_.messages.size(), 1);
  EXPECT_EQ(host_.closed, -1);

  Scan(Pattern(20, 10));
  EXPECT_EQ(control_.working().PixelWidth(), 20);
  control_.cmdScan_Click();  // the window goes while scanning: the reply is dropped
  control_.FormUnload();
  EXPECT_EQ(service_.cancels, 2);
  service_.ReplyScan(Pattern(5, 5));
  EXPECT_EQ(host_.caption, "Lumaset: Scanning...");
}

TEST_F(ScanControlTest, TheChosenSourceIsOpenedAndRemembered) {
  EXPECT_EQ(service_.openedWith, QStringList(""));
  Open();
  control_.mnuOptionsSource_Click();
  EXPECT_EQ(host_.optionsText, "Looking for scanners...");
  service_.sources(QList<ScanSource>{});
  EXPECT_EQ(host_.messages, QStringList("notice: No scanner was found."));
  EXPECT_EQ(host_.optionsText, "Resolution = 300 DPI, Color = RGB");

  control_.mnuOptionsSource_Click();
  host_.chosenSource = "test:1";
  service_.sources(QList<ScanSource>{{"test:0", "Noname", "tester", "virtual"}, {"test:1", "", "", ""}});
  EXPECT_EQ(service_.selected, QStringList("test:1"));
  EXPECT_EQ(settings_.readSetting(ScanControl::kSourceKey, ""), "test:1");
  service_.ReplyOptions(ScanReadBack{"test:1", 75, ScanPixelType::BlackWhite});
  EXPECT_EQ(host_.optionsText, "Resolution = 75 DPI, Color = Black and White");

  ScanControl again(ScanShared{service_, settings_, folder_, saveCount_}, host_);
  again.FormLoad();
  EXPECT_EQ(service_.openedWith.last(), "test:1");
}

}  // namespace
}  // namespace lumaset
