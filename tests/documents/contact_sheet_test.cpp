#include "documents/contact_sheet.h"

#include <gtest/gtest.h>

#include <QImage>

#include <functional>
#include <map>

#include "browser/thumb_table.h"
#include "frame/app_state.h"
#include "frame/settings.h"
#include "support/test_support.h"

namespace lumaset {
namespace {

// Letter paper with half-inch strips on a preview of 1000 twips per inch:
// the printable area runs from 500 to 8000 across and rows may reach 10400.
PageGeometry Letter() {
  PageGeometry geometry;
  geometry.previewWidth = 8500;
  geometry.previewHeight = 11000;
  return geometry;
}

const QSize kUpright(100, 200);  // boxes of 500 x 1000 twips: 70 to a page
const QSize kSquare(100, 100);   // 1000 x 1000: 42 to a page
const QSize kWide(200, 100);     // 1000 x 500: 78 to a page

struct FakeSheetHost : ContactSheetHost {
  PageModel* page = nullptr;
  QStringList errors;
  QString caption, status;
  std::map<QString, bool> enabled;
  bool nextShown = false;
  int busy = 0;
  std::vector<PageText> captions;
  std::vector<bool> pictures;  // whether each shown thumbnail had a picture
  std::optional<PageText> heading;
  std::function<void()> onEvents;

  void SetPageBusy(bool on) override { busy += on ? 1 : -1; }
  void ProcessEvents() override { if (onEvents) onEvents(); }
  void UnselectThumbnails() override {}
  void SetEnabled(QStringView name, bool on) override { enabled[name.toString()] = on; }
  void ClearPreview() override {
    page->Clear();
    captions.clear();
    pictures.clear();
    heading.reset();
  }
  void SetPageCaption(const QString& text) override { caption = text; }
  void SetStatusText(const QString& text) override { status = text; }
  QString CurrentFolder() override { return QStringLiteral("/photos/Holiday/"); }
  void ShowThumbnail(int slot, const QImage& picture, const PageText& text) override {
    EXPECT_EQ(slot, static_cast<int>(captions.size()));
    captions.push_back(text);
    pictures.push_back(!picture.isNull());
  }
  void ShowHeading(const PageText& text) override { heading = text; }
  void ShowNextPage(bool shown) override { nextShown = shown; }
  void ShowError(const QString& text) override { errors << text; }
};

struct ContactSheetTest : ::testing::Test {
  QString folder = test::freshFolder(QStringLiteral("Holiday"));
  PageModel page;
  ThumbTable table;
  Options options;
  LabelStyle label;
  bool abort = false;
  FakeSheetHost host;
  ContactSheet sheet{page, table, options, label, abort, host};

  void SetUp() override {
    page.geometry() = Letter();
    host.page = &page;
  }
  // `count` pictures of each size, in this order.
  void Fill(const std::vector<std::pair<QSize, int>>& groups) {
    QStringList paths;
    std::vector<QSize> sizes;
    for (const auto& [size, count] : groups) {
      const QString name = size == kUpright ? "a-very-long-upright-name"
                           : size == kWide  ? "wide-picture-with-long-name"
                                            : "square";
      const QString path = folder + QLatin1Char('/') + name + QStringLiteral(".png");
      ASSERT_TRUE(test::WritePicture(path, size.width(), size.height()));
      for (int i = 0; i < count; ++i) {
        paths << path;
        sizes.push_back(size);
      }
    }
    table.start(paths);
    for (int i = 0; i < table.ThumbCount(); ++i)
      table.setFacts(i, ThumbFacts{sizes[i].width(), sizes[i].height(), 24, 0, false});
  }
};

TEST(SheetLayoutTest, RowsFillThePrintableAreaAndPagesCountTheWholeFolder) {
  const PageGeometry letter = Letter();
  EXPECT_EQ(SheetBoxSize(kUpright, letter, 1), QSizeF(500, 1000));
  EXPECT_EQ(SheetBoxSize(kWide, letter, 2), QSizeF(2000, 1000));
  EXPECT_EQ(SheetBoxSize({0, 80}, letter, 1), QSizeF(1000, 1000)) << "a size not known gives a square";

  const std::vector<QSize> squares(50, kSquare);
  const std::vector<PicBox> boxes = SheetPageBoxes(squares, letter, 1);
  ASSERT_EQ(boxes.size(), 42u);
  EXPECT_EQ(boxes[0], (PicBox{600, 1100, 1000, 1000, true}));
  EXPECT_EQ(boxes[5], (PicBox{6600, 1100, 1000, 1000, true}));
  EXPECT_EQ(boxes[6], (PicBox{600, 2300, 1000, 1000, true})) << "the seventh would end within 100 of the edge";
  EXPECT_EQ(boxes[41].top, 8300);
  EXPECT_EQ(SheetPageBoxes(std::vector<QSize>(100, kWide), letter, 1).size(), 78u);

  PageGeometry poster = letter;  // 40 x 40 inches hold more than a page's slots
  poster.paperWidth = poster.paperHeight = 40;
  poster.previewWidth = poster.previewHeight = 40000;
  EXPECT_EQ(SheetPageBoxes(std::vector<QSize>(500, kSquare), poster, 1).size(), 201u);
  poster.paperWidth = 0;
  EXPECT_TRUE(SheetPageBoxes(squares, poster, 1).empty());

  std::vector<QSize> mixed(70, kUpright);
  mixed.insert(mixed.end(), 100, kSquare);
  EXPECT_EQ(SheetPageCount(mixed, letter, 1), 4) << "70, then 42, 42 and 16";
  EXPECT_EQ(SheetPageCount({}, letter, 1), 0);
}

TEST(SheetLayoutTest, APictureEndingRightAtTheInsetStaysInItsRowAndOneTwipMoreStartsANewOne) {
  // Paper 8 inches wide on 9600 twips: one-inch boxes of 1200, 200 apart.
  PageGeometry page;
  page.paperWidth = 8;
  page.previewWidth = 9600;
  page.previewHeight = 11000 * 1.2;
  const struct { float strip; std::size_t inFirstRow; float secondRowLeft; } cases[] = {
      {0.5f, 6, 700},  // the sixth ends at 8900: 100 inside the printable edge at 9000
      {601.f / 1200, 5, 701},  // the printable edge a twip further in
  };
  for (const auto& c : cases) {
    page.noPrintLeft = c.strip;
    const std::vector<PicBox> boxes = SheetPageBoxes(std::vector<QSize>(8, kSquare), page, 1);
    ASSERT_GT(boxes.size(), c.inFirstRow) << c.strip;
    EXPECT_EQ(boxes[c.inFirstRow - 1].top, boxes[0].top) << c.strip;
    EXPECT_GT(boxes[c.inFirstRow].top, boxes[0].top) << c.strip;
    EXPECT_FLOAT_EQ(boxes[c.inFirstRow].left, c.secondRowLeft) << c.strip;
  }
}

TEST(SheetLayoutTest, CaptionNamesAndTheCaptionOfAnUncountedSheet) {
  EXPECT_EQ(SheetPageCaption(0, 0), "Thumbnail Layout (Page 1 of ...)");
}

TEST_F(ContactSheetTest, NextPageLeadsThroughTheFolderAndTheLastPageEndsTheSheet) {
  Fill({{kUpright, 70}, {kSquare, 100}});
  const std::vector<std::tuple<QString, QString, int, bool>> pages{
      {"Thumbnail Layout (Page 1 of 4)", "Thumbnails (1 - 70) of folder:  Holiday", 70, true},
      {"Thumbnail Layout (Page 2 of 4)", "Thumbnails (71 - 112) of folder:  Holiday", 42, true},
      {"Thumbnail Layout (Page 3 of 4)", "Thumbnails (113 - 154) of folder:  Holiday", 42, true},
      {"Thumbnail Layout (Page 4 of 4)", "Thumbnails (155 - 170) of folder:  Holiday", 16, false}};
  sheet.mnuViewThumb_Click();
  for (const auto& [caption, heading, count, more] : pages) {
    EXPECT_EQ(host.caption, caption);
    ASSERT_TRUE(host.heading);
    EXPECT_EQ(host.heading->text, heading);
    EXPECT_EQ(page.edit().labelText, heading);
    EXPECT_EQ(std::pair(page.picCount(), page.picLast()), std::pair(count, count - 1));
    EXPECT_EQ(host.status, QStringLiteral("Layout contains %1 picture(s)").arg(count));
    EXPECT_EQ(host.nextShown, more);
    EXPECT_EQ(host.enabled["mnuViewThumb"], !more);
    if (more) sheet.cmdThumb_Click();
  }
  EXPECT_EQ(sheet.state(), (SheetState{true, 0, 170, 0, 4}));
  EXPECT_EQ(std::pair(label.size, host.busy), std::pair(12, 0));
  EXPECT_TRUE(host.enabled["mnuFileSaveAs"]);
  EXPECT_TRUE(host.enabled["Print"]);
  EXPECT_TRUE(!host.enabled["Preview"]);
  EXPECT_EQ(page.pic(15), (PagePic{folder + "/square.png", 15, 4200.f / 8500, 3500.f / 11000, 1000.f / 8500,
                                    1000.f / 11000}));
  EXPECT_EQ(host.errors, QStringList());

  sheet.Reset();
  EXPECT_EQ(sheet.state(), SheetState{});
}

TEST_F(ContactSheetTest, CaptionsAreCutByTheBoxWidth) {
  Fill({{kUpright, 1}, {kWide, 1}});
  sheet.ImageThumbs();
  ASSERT_EQ(host.captions.size(), 2u);
  EXPECT_TRUE(host.captions[0].text.startsWith("a-very") && host.captions[0].text.endsWith("..."));
  EXPECT_TRUE(host.captions[1].text.startsWith("wide-picture-wi") && host.captions[1].text.endsWith("..."));
  EXPECT_LT(host.captions[0].text.size(), host.captions[1].text.size()) << "an upright box is narrower";
  EXPECT_EQ(host.captions[0].at, QPointF(600, 2105));
  EXPECT_EQ(host.caption, "Thumbnail Layout (Page 1 of 1)");
}

TEST_F(ContactSheetTest, EscEndsTheSheetWithThePicturesPlacedSoFarButAnEarlierEscStopsNoPage) {
  Fill({{kSquare, 100}});
  abort = true;  // pressed before the sheet was asked for
  sheet.ImageThumbs();
  EXPECT_EQ(std::pair(page.picCount(), host.caption), std::pair(42, QString("Thumbnail Layout (Page 1 of 3)")));
  abort = true;  // pressed while the first page was shown
  sheet.cmdThumb_Click();
  EXPECT_EQ(std::pair(page.picCount(), host.caption), std::pair(42, QString("Thumbnail Layout (Page 2 of 3)")));
  EXPECT_TRUE(host.nextShown);
  sheet.Reset();

  bool pressed = false;
  host.onEvents = [&] {
    if (host.captions.size() == 5 && !pressed) abort = pressed = true;
  };
  sheet.ImageThumbs();
  EXPECT_EQ(page.picCount(), 5);
  EXPECT_EQ(host.heading->text, "Thumbnails (1 - 5) of folder:  Holiday");
  EXPECT_EQ(host.caption, "Thumbnail Layout (Page 1 of 20)") << "counted from the five";
  EXPECT_FALSE(host.nextShown);
  EXPECT_FALSE(abort);
  EXPECT_EQ(sheet.state().sheetFirst, 0);
}

TEST_F(ContactSheetTest, FailuresAreReportedAndTheBuildGoesOn) {
  Fill({{kSquare, 3}});
  table.setFile(1, folder + QStringLiteral("/gone.png"));
  sheet.ImageThumbs();
  ASSERT_EQ(host.errors.size(), 1);
  EXPECT_TRUE(host.errors[0].startsWith("Error creating thumbs: \"" + folder + "/gone.png\""));
  EXPECT_EQ(host.pictures, (std::vector<bool>{true, false, true})) << "no other picture stands in";
  EXPECT_EQ(page.picCount(), 3);
  // Its box prints its caption alone, until the page holds something else.
  EXPECT_EQ((std::vector{sheet.UnreadCell(0), sheet.UnreadCell(1), sheet.UnreadCell(2)}),
            (std::vector{false, true, false}));
  page.Clear();
  EXPECT_FALSE(sheet.UnreadCell(1)) << "a layout opened over the sheet";
  table.setFile(1, table.ThumbFiles(0));
  sheet.ImageThumbs();
  EXPECT_FALSE(sheet.UnreadCell(1)) << "the sheet built again";

  // A new page while the sheet is built ends the build where it is.
  host.onEvents = [this] { if (host.captions.size() == 2) sheet.Reset(); };
  sheet.ImageThumbs();
  EXPECT_EQ(std::pair(page.picCount(), host.busy), std::pair(1, 0));
  EXPECT_FALSE(host.heading);

  ThumbTable empty;
  ContactSheet none(page, empty, options, label, abort, host);
  host.onEvents = nullptr;
  none.ImageThumbs();
  EXPECT_EQ(host.errors.last(), "Error creating thumbs: There are no pictures to lay out.");
  EXPECT_EQ(host.caption, "Thumbnail Layout (Page 1 of 1)");
  EXPECT_FALSE(host.nextShown);
}

}  // namespace
}  // namespace lumaset
