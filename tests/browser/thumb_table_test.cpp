#include <gtest/gtest.h>

#include <QRectF>

#include <algorithm>
#include <tuple>
#include <vector>

#include "browser/thumb_geometry.h"
#include "browser/thumb_keeper.h"
#include "browser/thumb_table.h"

namespace lumaset {
namespace {

QStringList Paths(int count) {
  QStringList paths;
  for (int i = 0; i < count; ++i) paths.append(QStringLiteral("/p/%1.jpg").arg(i));
  return paths;
}

// Entry i gets facts that name it, so a shifted entry shows where it came from.
ThumbTable TableOf(int count) {
  ThumbTable table;
  table.start(Paths(count));
  for (int i = 0; i < count; ++i) table.setFacts(i, {100 + i, 200 + i, 24, 1000 + i, false});
  return table;
}

// Ten pictures kept at most: the ones used longest ago go first, never the
// spared stretch; a removed cell's neighbours keep their own state, and
// indexes outside the cells are ignored.
TEST(ThumbKeeper, LetsTheOldestPicturesAwayFromTheSparedCellsGo) {
  ThumbKeeper keeper(10);
  keeper.reset(100);
  keeper.touch(100);
  EXPECT_FALSE(keeper.holds(100));
  EXPECT_EQ(keeper.held(), 0);
  for (int i = 0; i < 10; ++i) keeper.touch(i);
  EXPECT_TRUE(keeper.overflow(0, 0).empty());
  keeper.touch(3);  // used again: now newer than 4 to 9
  keeper.touch(50);
  keeper.touch(99);
  std::vector<int> gone = keeper.overflow(0, 1);  // cells 0 and 1 are on the screen
  std::sort(gone.begin(), gone.end());
  EXPECT_EQ(gone, (std::vector<int>{2, 4, 5, 6})) << "down to three quarters of the ten";
  EXPECT_EQ(keeper.held(), 8);
  EXPECT_TRUE(keeper.holds(3));

  keeper.removeAt(3);  // 50 moves down to 49, 99 to 98
  EXPECT_EQ(std::tuple(keeper.holds(49), keeper.holds(50), keeper.holds(98), keeper.held()),
            std::tuple(true, false, true, 7));
  keeper.resize(49);  // the cells beyond go with their pictures
  EXPECT_EQ(keeper.held(), 5);
}

TEST(ThumbTable, StopAndClearKeepSelectionAndHoverInsideTheTable) {
  ThumbTable table = TableOf(50);
  table.setThumbSel(40);
  table.setThumbHover(45);
  table.stopAt(10);  // Esc after ten cells
  EXPECT_EQ(std::tuple(table.ThumbCount(), table.ThumbSel(), table.ThumbHover()), std::tuple(10, -1, -1));
  EXPECT_FALSE(table.isValid(10));
  table.setThumbSel(10);  // outside the table
  EXPECT_EQ(table.ThumbSel(), -1);
  table.clear();
  EXPECT_TRUE(table.ThumbCount() == 0);
  EXPECT_TRUE(!table.isValid(0));
}

TEST(ThumbTable, RemovedEntryTakesEveryLaterFieldAlong) {
  ThumbTable table = TableOf(4);
  table.markUnsupported(3);
  table.setThumbSel(3);
  table.removeAt(1);
  ASSERT_EQ(table.ThumbCount(), 3);
  const int sources[] = {0, 2, 3};
  for (int i = 0; i < 3; ++i) {
    const int from = sources[i];
    EXPECT_EQ(table.ThumbFiles(i), QStringLiteral("/p/%1.jpg").arg(from));
    EXPECT_EQ(std::tuple(table.ThumbWidths(i), table.ThumbHeights(i), table.ThumbColors(i), table.ThumbUnsupported(i)),
              std::tuple(100 + from, 200 + from, 1000 + from, from == 3));
  }
  EXPECT_EQ(table.ThumbSel(), -1) << "a selection past the new end is dropped";

  ThumbTable single = TableOf(1);
  single.removeAt(0);
  EXPECT_EQ(single.ThumbCount(), 0);
}

TEST(ThumbTable, FailedReadKeepsTheSizesOfTheEarlierOne) {
  ThumbTable table = TableOf(2);
  table.setFacts(1, {0, 0, 0, 0, true});
  EXPECT_TRUE(table.ThumbUnsupported(1));
  EXPECT_TRUE(table.ThumbWidths(1) == 101);
  table.setFacts(1, {640, 480, 8, 256, false});  // read again after an edit
  EXPECT_TRUE(!table.ThumbUnsupported(1));
  EXPECT_TRUE(table.ThumbBits(1) == 8);
}

TEST(ThumbTable, AppendAfterAStoppedBuildTakesTheNextIndex) {
  ThumbTable table = TableOf(5);
  table.stopAt(2);
  EXPECT_EQ(table.append(QStringLiteral("/p/scan.jpg")), 2);
  EXPECT_EQ(table.ThumbCount(), 3);
  EXPECT_TRUE(table.ThumbFiles(2) == QStringLiteral("/p/scan.jpg"));
  EXPECT_TRUE(table.ThumbWidths(2) == 0);
}

TEST(ThumbTable, HoldsMoreThan32767Pictures) {
  ThumbTable table = TableOf(40000);
  EXPECT_EQ(table.ThumbCount(), 40000);
  table.setThumbSel(39999);
  table.setThumbHover(33000);
  EXPECT_EQ(std::pair(table.ThumbSel(), table.ThumbHover()), std::pair(39999, 33000));
  table.removeAt(0);
  EXPECT_EQ(table.ThumbFiles(32767), QStringLiteral("/p/32768.jpg"));
  EXPECT_EQ(table.ThumbWidths(39998), 100 + 39999);
  EXPECT_EQ(table.ThumbSel(), -1);
}

TEST(SortPicturePaths, IgnoresLetterCaseAndKeepsCaseTwinsTogether) {
  const QStringList sorted = SortPicturePaths({"/f/b.jpg", "/f/C.jpg", "/f/A.jpg", "/f/a.jpg", "/f/B2.jpg"});
  ASSERT_EQ(sorted.size(), 5);
  EXPECT_EQ(sorted.mid(0, 2).join(',').toLower(), "/f/a.jpg,/f/a.jpg");
  EXPECT_EQ(sorted.mid(2), (QStringList{"/f/b.jpg", "/f/B2.jpg", "/f/C.jpg"}));
}

TEST(ThumbGeometry, SmallCellsStepBy860InThreeColumns) {
  const ThumbGeometry small = ThumbGeometry::ForLarge(false);
  const int expected[][2] = {{40, 40}, {900, 40}, {1760, 40}, {40, 900}};
  for (int i = 0; i < 4; ++i) EXPECT_EQ(small.frame(i), (TwipsRect{expected[i][0], expected[i][1], 800, 800})) << i;
  EXPECT_EQ(small.canvasHeightThrough(3), 1700);
  const ThumbGeometry large = ThumbGeometry::ForLarge(true);
  EXPECT_EQ(large.frame(1), (TwipsRect{1300, 40, 1200, 1200}));
  EXPECT_EQ(large.frame(2).top, 1300);
}

TEST(ThumbGeometry, PicturesFitByTheirLongerSide) {
  const ThumbGeometry small = ThumbGeometry::ForLarge(false);
  const ThumbGeometry large = ThumbGeometry::ForLarge(true);
  const auto place = [](const PictureFit& fit) { return QRectF(fit.left, fit.top, fit.width, fit.height); };
  const PictureFit square = FitPicture(500, 500, small);
  EXPECT_EQ(square.caption, CaptionPlace::BottomRight);
  EXPECT_EQ(place(square).size(), QSizeF(680, 680));
  const PictureFit wide = FitPicture(1600, 1200, small);
  EXPECT_EQ(wide.caption, CaptionPlace::BottomCentre);
  EXPECT_EQ(place(wide), QRectF(60, 60, 680, 510));  // small cells: top left corner
  EXPECT_EQ(place(FitPicture(1200, 1600, large)), QRectF(195, 60, 810, 1080)) << "large cells: centred across";
}

TEST(ThumbGeometry, ScrollBarShowsOnlyForATallerCanvas) {
  struct Case { qint64 canvas; int viewport; ScrollRange expected; };
  const Case cases[] = {
      {5000, 2000, {true, 4, 2}},
      {2000, 2000, {false, 1, 1}},
      {1700, 5000, {false, 1, 1}},
      {qint64{40000} * 860, 2000, {true, 39998, 13333}},  // beyond a 16-bit range
  };
  for (const Case& c : cases) {
    const ScrollRange range = ScrollRangeFor(c.canvas, c.viewport, 860);
    EXPECT_EQ(std::tuple(range.visible, range.maximum, range.largeChange),
              std::tuple(c.expected.visible, c.expected.maximum, c.expected.largeChange)) << c.canvas;
  }
}

}  // namespace
}  // namespace lumaset
