#include <gtest/gtest.h>

#include "browser/thumb_geometry.h"
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

TEST(ThumbTable, StopAndClearKeepSelectionAndHoverInsideTheTable) {
  ThumbTable table = TableOf(50);
  table.setThumbSel(40);
  table.setThumbHover(45);
  table.stopAt(10);  // Esc after ten cells
  EXPECT_EQ(table.ThumbCount(), 10);
  EXPECT_EQ(table.ThumbSel(), -1);
  EXPECT_EQ(table.ThumbHover(), -1);
  EXPECT_FALSE(table.isValid(10));

  table.setThumbSel(10);  // outside the table
  EXPECT_EQ(table.ThumbSel(), -1);
  table.clear();
  EXPECT_EQ(table.ThumbCount(), 0);
  EXPECT_FALSE(table.isValid(0));
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
    EXPECT_EQ(table.ThumbWidths(i), 100 + from);
    EXPECT_EQ(table.ThumbHeights(i), 200 + from);
    EXPECT_EQ(table.ThumbColors(i), 1000 + from);
    EXPECT_EQ(table.ThumbUnsupported(i), from == 3);
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
  EXPECT_EQ(table.ThumbWidths(1), 101);
  table.setFacts(1, {640, 480, 8, 256, false});  // read again after an edit
  EXPECT_FALSE(table.ThumbUnsupported(1));
  EXPECT_EQ(table.ThumbBits(1), 8);
}

TEST(ThumbTable, AppendAfterAStoppedBuildTakesTheNextIndex) {
  ThumbTable table = TableOf(5);
  table.stopAt(2);
  EXPECT_EQ(table.append(QStringLiteral("/p/scan.jpg")), 2);
  EXPECT_EQ(table.ThumbCount(), 3);
  EXPECT_EQ(table.ThumbFiles(2), QStringLiteral("/p/scan.jpg"));
  EXPECT_EQ(table.ThumbWidths(2), 0);
}

TEST(ThumbTable, HoldsMoreThan32767Pictures) {
  ThumbTable table = TableOf(40000);
  EXPECT_EQ(table.ThumbCount(), 40000);
  table.setThumbSel(39999);
  table.setThumbHover(33000);
  EXPECT_EQ(table.ThumbSel(), 39999);
  EXPECT_EQ(table.ThumbHover(), 33000);
  table.removeAt(0);
  EXPECT_EQ(table.ThumbFiles(32767), QStringLiteral("/p/32768.jpg"));
  EXPECT_EQ(table.ThumbWidths(39998), 100 + 39999);
  EXPECT_EQ(table.ThumbSel(), -1);
}

TEST(SortPicturePaths, IgnoresLetterCaseAndKeepsCaseTwinsTogether) {
  const QStringList sorted = SortPicturePaths({QStringLiteral("/f/b.jpg"), QStringLiteral("/f/C.jpg"),
                                               QStringLiteral("/f/A.jpg"), QStringLiteral("/f/a.jpg"),
                                               QStringLiteral("/f/B2.jpg")});
  ASSERT_EQ(sorted.size(), 5);
  EXPECT_EQ(sorted.at(0).toLower(), QStringLiteral("/f/a.jpg"));
  EXPECT_EQ(sorted.at(1).toLower(), QStringLiteral("/f/a.jpg"));
  EXPECT_EQ(sorted.at(2), QStringLiteral("/f/b.jpg"));
  EXPECT_EQ(sorted.at(3), QStringLiteral("/f/B2.jpg"));
  EXPECT_EQ(sorted.at(4), QStringLiteral("/f/C.jpg"));
}

TEST(ThumbGeometry, SmallCellsStepBy860InThreeColumns) {
  const ThumbGeometry small = ThumbGeometry::ForLarge(false);
  const int expected[][2] = {{40, 40}, {900, 40}, {1760, 40}, {40, 900}};
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(small.frame(i), (TwipsRect{expected[i][0], expected[i][1], 800, 800})) << i;
  }
  EXPECT_EQ(small.canvasHeightThrough(3), 1700);
  const ThumbGeometry large = ThumbGeometry::ForLarge(true);
  EXPECT_EQ(large.frame(1), (TwipsRect{1300, 40, 1200, 1200}));
  EXPECT_EQ(large.frame(2).top, 1300);
  EXPECT_EQ(large.scale, 100);
}

TEST(ThumbGeometry, PicturesFitByTheirLongerSide) {
  const ThumbGeometry small = ThumbGeometry::ForLarge(false);
  const ThumbGeometry large = ThumbGeometry::ForLarge(true);
  const PictureFit square = FitPicture(500, 500, small);
  EXPECT_EQ(square.caption, CaptionPlace::BottomRight);
  EXPECT_FLOAT_EQ(square.height, 680);
  EXPECT_FLOAT_EQ(square.width, 680);

  const PictureFit wide = FitPicture(1600, 1200, small);
  EXPECT_EQ(wide.caption, CaptionPlace::BottomCentre);
  EXPECT_FLOAT_EQ(wide.width, 680);
  EXPECT_FLOAT_EQ(wide.height, 510);
  EXPECT_FLOAT_EQ(wide.left, 60);  // small cells: top left corner
  EXPECT_FLOAT_EQ(wide.top, 60);

  const PictureFit tall = FitPicture(1200, 1600, large);
  EXPECT_FLOAT_EQ(tall.height, 1080);
  EXPECT_FLOAT_EQ(tall.width, 810);
  EXPECT_FLOAT_EQ(tall.top, 60);  // large cells: centred along the shorter side
  EXPECT_FLOAT_EQ(tall.left, (1200 - 810) / 2.0F);
}

TEST(ThumbGeometry, ScrollBarShowsOnlyForATallerCanvas) {
  struct Case {
    qint64 canvas;
    int viewport;
    ScrollRange expected;
  };
  const Case cases[] = {
      {5000, 2000, {true, 4, 2}},
      {2000, 2000, {false, 1, 1}},
      {1700, 5000, {false, 1, 1}},
      {qint64{40000} * 860, 2000, {true, 39998, 13333}},  // beyond a 16-bit range
  };
  for (const Case& c : cases) {
    const ScrollRange range = ScrollRangeFor(c.canvas, c.viewport, 860);
    EXPECT_EQ(range.visible, c.expected.visible) << c.canvas;
    EXPECT_EQ(range.maximum, c.expected.maximum) << c.canvas;
    EXPECT_EQ(range.largeChange, c.expected.largeChange) << c.canvas;
  }
}

}  // namespace
}  // namespace lumaset
