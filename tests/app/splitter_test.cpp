#include "app/splitter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace lumaset {
namespace {

constexpr int kStartLeft = 2219;  // the bar beside a tree of 2160

SplitterResponse Released(int left) {
  return {.color = SplitterColor::ButtonFace,
          .cursor = SplitterCursor::Default,
          .treeWidth = left - 59,
          .columnLeft = left - 59 + 160};
}

TEST(Splitter, LeftDragMovesTheBarOnlyStrictlyWithinItsBounds) {
  struct Case { int x; bool moves; };
  const Case cases[] = {{-719, false}, {-718, true}, {1780, true}, {1781, false}, {5000, false}, {7, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.x);
    Splitter splitter;
    EXPECT_EQ(splitter.press(Qt::LeftButton, 7), SplitterResponse{.color = SplitterColor::Drag});
    const SplitterResponse moved = splitter.move(Qt::LeftButton, c.x);
    EXPECT_EQ(moved.cursor, SplitterCursor::SizeWestEast);
    EXPECT_EQ(moved.moveTo, c.moves ? std::optional<int>(kStartLeft + c.x) : std::nullopt);
    EXPECT_EQ(splitter.left(), c.moves ? kStartLeft + c.x : kStartLeft);
  }
}

TEST(Splitter, EachDragStepNeedsAnotherWholeTwipPosition) {
  Splitter splitter;
  (void)splitter.press(Qt::LeftButton, 10.4);
  EXPECT_FALSE(splitter.move(Qt::LeftButton, 10.5).moveTo);  // halves to even: where it began
  EXPECT_EQ(splitter.move(Qt::LeftButton, 11.5).moveTo, kStartLeft + 12);
  EXPECT_FALSE(splitter.move(Qt::LeftButton, 12).moveTo);
  EXPECT_FALSE(splitter.move(Qt::LeftButton, std::nan("")).moveTo);
}

TEST(Splitter, ReleaseEndsTheDragAndSetsTheTreeWidth) {
  Splitter splitter;
  (void)splitter.press(Qt::LeftButton, 5);
  EXPECT_EQ(splitter.move(Qt::LeftButton, 781).moveTo, 3000);
  // Released beyond the bound: the last accepted place counts.
  const SplitterResponse released = splitter.release(1000);
  EXPECT_EQ(released, Released(3000));
  EXPECT_TRUE(released.layOutAgain());
  EXPECT_TRUE(!splitter.dragging());
  EXPECT_EQ(splitter.release(1000), SplitterResponse{});

  // A release at a new place moves the bar there first.
  (void)splitter.press(Qt::LeftButton, 5);
  SplitterResponse expected = Released(2900);
  expected.moveTo = 2900;
  EXPECT_EQ(splitter.release(-100), expected);
}

TEST(Splitter, ClickWithoutDragKeepsTheTreeWidthAndOtherButtonsEndADragAsAReleaseWould) {
  Splitter clicked(2160);
  for (int click = 0; click < 3; ++click) {
    (void)clicked.press(Qt::LeftButton, 20);
    EXPECT_EQ(clicked.release(20), Released(kStartLeft));
    clicked.place(kStartLeft);
  }

  Splitter splitter;
  EXPECT_EQ(splitter.press(Qt::RightButton, 50), SplitterResponse{});
  (void)splitter.press(Qt::LeftButton, 5);
  SplitterResponse expected = Released(kStartLeft + 50);
  expected.moveTo = kStartLeft + 50;
  EXPECT_EQ(splitter.press(Qt::RightButton, 50), expected);
  EXPECT_FALSE(splitter.dragging());

  // Moving without the left button held only shows the sizing pointer.
  const SplitterResponse pointerOnly{.cursor = SplitterCursor::SizeWestEast};
  EXPECT_EQ(splitter.move(Qt::LeftButton, 100), pointerOnly);
  (void)splitter.press(Qt::LeftButton, 5);
  EXPECT_EQ(splitter.move(Qt::NoButton, 100), pointerOnly);
}

TEST(Splitter, DoesNothingWhileTheTreeIsHidden) {
  Splitter splitter;
  splitter.setTreeShown(false);
  const SplitterResponse none;
  EXPECT_EQ(splitter.press(Qt::LeftButton, 5), none);
  EXPECT_EQ(splitter.move(Qt::LeftButton, 100), none);
  EXPECT_EQ(splitter.release(100), none);
  EXPECT_EQ(splitter.left(), kStartLeft);
}

TEST(Splitter, StoredTreeWidthIsKeptWithinTheDragBounds) {
  constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
  const std::pair<double, int> cases[] = {
      {2160, 2160}, {2500.4, 2500}, {kNaN, 2160}, {0, 2160}, {-50, 2160},
      {100, 1442},  {1e9, 3940},    {std::numeric_limits<double>::infinity(), 3940},
  };
  for (const auto& [stored, want] : cases) EXPECT_EQ(ClampTreeWidth(stored), want) << stored;
  EXPECT_EQ(SplitterLeftForTree(kMinTreeWidth), kSplitterMin + 1);
  EXPECT_EQ(SplitterLeftForTree(kMaxTreeWidth), kSplitterMax - 1);
}

}  // namespace
}  // namespace lumaset
