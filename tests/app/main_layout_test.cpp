#include "app/main_layout.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <tuple>
#include <utility>

#include "frame/units.h"

namespace lumaset {
namespace {

constexpr int kFrame = 1000;  // outer minus inner height: caption, menu, borders

MainLayoutInput Ready(int width, int height, int treeWidth = 2160) {
  return {.width = width, .height = height, .innerHeight = height - kFrame, .formReady = true,
          .treeWidth = treeWidth, .splitterLeft = treeWidth + 160, .adjustTop = 500,
          .scrollTop = 60, .noticeHeight = 300};
}

// The same window after it has taken the size that the layout asked for.
MainLayoutInput Settled(MainLayoutInput in, const MainLayout& out) {
  in.innerHeight += out.windowHeight - in.height;
  in.width = out.windowWidth;
  in.height = out.windowHeight;
  return in;
}

TEST(MainLayout, NothingHappensBeforeLoadAndOnlyTheScreenSaverWhenMinimised) {
  MainLayoutInput in = Ready(12000, 9000);
  in.disableScreenSaver = true;
  in.formReady = false;
  EXPECT_EQ(LayOutMainWindow(in), MainLayout{});

  in.formReady = true;
  in.state = WindowState::Minimized;
  MainLayout expected;
  expected.switchScreenSaverOff = true;
  EXPECT_EQ(LayOutMainWindow(in), expected);
}

TEST(MainLayout, NormalWindowKeepsWidthMinusHeightAndItsPreviewFillsTheHeight) {
  struct ShapeCase {
    const char* name;
    int width, height, treeWidth;
    bool tree, meter;
    TwipsRect screen;
    int wantWidth, wantHeight;
  };
  const TwipsRect low{0, 0, 19200, 10800};
  const TwipsRect narrow{0, 0, 12000, 20000};
  const ShapeCase cases[] = {
      {"bottom edge snaps back", 12000, 9000, 2160, true, false, {}, 12000, 8040},
      {"already shaped", 12000, 8040, 2160, true, false, {}, 12000, 8040},
      {"taller than wide: width follows", 9000, 10000, 2160, true, false, {}, 13960, 10000},
      {"narrow widened to 9600", 8000, 7000, 2160, true, false, {}, 9600, 5640},
      {"small and tall raised to 9600", 3000, 4000, 2160, true, false, {}, 9600, 5640},
      {"meter on: 300 lower", 12000, 8040, 2160, true, true, {}, 12000, 7740},
      {"tree hidden", 12000, 9000, 2160, false, false, {}, 12000, 10300},
      {"wide tree keeps the minimum height", 9600, 5000, 3940, true, true, {}, 11050, 5010},
      {"not higher than the screen", 18000, 9000, 2160, true, false, low, 14760, 10800},
      {"taller than wide, on the screen", 9000, 12000, 2160, true, false, low, 14760, 10800},
      {"not wider than the screen", 14000, 9000, 2160, true, false, narrow, 12000, 8040},
  };
  for (const ShapeCase& c : cases) {
    SCOPED_TRACE(c.name);
    MainLayoutInput in = Ready(c.width, c.height, c.treeWidth);
    in.treeShown = c.tree;
    in.memDisplay = c.meter;
    in.screen = c.screen;
    in.disableScreenSaver = true;
    const MainLayout out = LayOutMainWindow(in);
    EXPECT_TRUE(out.switchScreenSaverOff);
    EXPECT_EQ(std::pair(out.windowWidth, out.windowHeight), std::pair(c.wantWidth, c.wantHeight));
    EXPECT_EQ(out.reshape, c.wantWidth != c.width || c.wantHeight != c.height);
    EXPECT_EQ(out.windowWidth - out.windowHeight, out.r1 + out.r0);
    EXPECT_EQ(out.preview.width, out.windowHeight - 1600);
    EXPECT_EQ(out.preview.top, in.adjustTop - 10);
  }
}

// While the window manager holds the window at a size that breaks the shape,
// the panes fit the size the window has, and the shape is still asked for.
TEST(MainLayout, ShapeLaterLaysOutForThePresentSize) {
  MainLayoutInput in = Ready(12000, 9000);
  in.shapeLater = true;
  const MainLayout out = LayOutMainWindow(in);
  EXPECT_TRUE(out.reshape);
  EXPECT_EQ(std::pair(out.windowWidth, out.windowHeight), std::pair(12000, 9000));
  EXPECT_EQ(out.treeHeight, 9000 - 1620);
  EXPECT_EQ(out.preview.width, 12000 - out.r2);
  ASSERT_TRUE(out.splitter);
  EXPECT_EQ(out.splitter->height, in.innerHeight - 2 * 60 - 660);

  const MainLayout shaped = LayOutMainWindow(Ready(12000, 8040));
  in = Ready(12000, 8040);
  in.shapeLater = true;
  EXPECT_EQ(LayOutMainWindow(in), shaped) << "a shaped window lays out as ever";
}

TEST(MainLayout, PanesFollowTheTreeAndTheWindowState) {
  MainLayoutInput in = Ready(12000, 9000);
  MainLayout out = LayOutMainWindow(in);
  EXPECT_EQ(out.panelHeight, 8040 - 1620 - 2130);
  EXPECT_EQ(out.preview.left, 2320 + 3060);
  EXPECT_EQ(out.splitter, (TwipsRect{2219, 460, 40, 8040 - kFrame - 780}));

  in.treeShown = false;
  in.memDisplay = true;
  out = LayOutMainWindow(in);
  EXPECT_EQ(out.columnLeft, 60);
  EXPECT_EQ(out.preview.left, 3120);
  EXPECT_EQ(out.preview.width, 12000 - 3300 - 300);
  EXPECT_EQ(out.meterLeft, 12000 - 460);
  EXPECT_FALSE(out.splitter.has_value());  // hidden with the tree

  // Maximised: the preview fills the height, the right strip takes the rest.
  in = Ready(28800, 16200);
  in.state = WindowState::Maximized;
  out = LayOutMainWindow(in);
  EXPECT_FALSE(out.reshape);
  EXPECT_EQ(std::pair(out.r0, out.preview.width), std::pair(28800 - 5560 - 14600, 14600));
  std::swap(in.width, in.height);  // upright: narrower, centred on the tree
  out = LayOutMainWindow(in);
  EXPECT_EQ(out.r0, 0);
  EXPECT_EQ(out.preview.top, 500 + (28800 - 1620 - 10640) / 2);
  std::tie(in.width, in.height) = std::pair(2000, 1000);  // tiny: no negative sizes
  out = LayOutMainWindow(in);
  EXPECT_EQ(std::min({out.panelHeight, out.preview.width, out.splitter->height}), 0);
}

TEST(MainLayout, ScrollBarShowsOnlyForRowsBeyondThePanel) {
  const MainLayoutInput base = Ready(12000, 8040);
  const int panel = LayOutMainWindow(base).panelHeight;
  struct Case { int beyond, cell; bool visible; int max, largeChange; };
  const Case cases[] = {
      {0, 860, false, 0, 0},  {-500, 860, false, 0, 0}, {1, 860, true, 1, 1},
      {2579, 860, true, 3, 2}, {2580, 860, true, 4, 2},  {2580, 1260, true, 3, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.beyond);
    MainLayoutInput in = base;
    in.browseHeight = panel + c.beyond;
    in.thumbCell = c.cell;
    const MainLayout out = LayOutMainWindow(in);
    EXPECT_EQ(std::tuple(out.scrollVisible, out.scrollMax, out.scrollLargeChange),
              std::tuple(c.visible, c.max, c.largeChange));
    EXPECT_EQ(out.scrollHeight, c.visible ? panel - 60 - 120 : 0);
    EXPECT_EQ(out.noticeTop, (panel - 300) / 2);
  }
}

TEST(MainLayout, FeedingTheResultBackChangesNothing) {
  for (int width : {3000, 8000, 9600, 12000, 30000}) {
    for (int height : {2000, 5000, 9000, 20000}) {
      MainLayoutInput in = Ready(width, height, (width / 1000) % 2 == 1 ? 3940 : 2160);
      in.memDisplay = height > 5000;
      in.treeShown = width != 8000;
      in.screen = height == 20000 ? TwipsRect{0, 0, 19200, 10800} : TwipsRect{};
      in.state = width == 30000 ? WindowState::Maximized : WindowState::Normal;
      MainLayout first = LayOutMainWindow(in);
      first.reshape = false;
      EXPECT_EQ(LayOutMainWindow(Settled(in, first)), first) << width << " x " << height;
    }
  }
}

TEST(WindowPlacement, StoredPlacementIsKeptOnTheScreen) {
  const TwipsRect screen{0, 0, 19200, 14400};
  const TwipsRect standard{2400, 1800, 14400, 10800};
  EXPECT_EQ(DefaultPlacement(screen), standard);
  constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
  struct Case { StoredPlacement stored; TwipsRect want; };
  const Case cases[] = {
      {{2400, 1800, 14400, 10800}, standard},
      {{-100, 20000, 9600, 7200}, {0, 0, 9600, 7200}},           // the edges reset
      {{2400, 1800, 30000, 20000}, {2400, 1800, 19200, 14400}},  // larger than the screen
      {{kNaN, kNaN, kNaN, kNaN}, standard},                      // unreadable
      {{1e30, -1e30, -5, 0}, {0, 0, 14400, 10800}},              // corrupt
      {{15000, 12000, 9600, 7200}, {15000, 12000, 9600, 7200}},  // on the screen, if not wholly
  };
  for (const Case& c : cases) EXPECT_EQ(ClampPlacement(c.stored, screen), c.want);

  // A screen smaller than the minimum first window: the window is no larger.
  const TwipsRect small{0, 360, 9600, 6840};
  EXPECT_EQ(ClampPlacement({1200, 1000, 9600, 7200}, small), (TwipsRect{1200, 1000, 9600, 6840}));
}

TEST(WindowPlacement, FrameIsMovedOntoTheScreenTitleBarFirst) {
  const TwipsRect area{0, 30, 1366, 738};  // a panel above the screen's area
  EXPECT_EQ(FrameOnScreen({200, 100, 800, 600}, area), (ScreenPoint{200, 100}));
  EXPECT_EQ(FrameOnScreen({-1, -20, 800, 600}, area), (ScreenPoint{0, 30}));
  EXPECT_EQ(FrameOnScreen({900, 500, 800, 600}, area), (ScreenPoint{566, 168}));
  // Larger than the area: its top-left corner, and so its title bar, stays on it.
  EXPECT_EQ(FrameOnScreen({300, 200, 1400, 800}, area), (ScreenPoint{0, 30}));
}

TEST(WindowUnits, TwipsAndPixels) {
  for (double unusable : {0.0, -1.0, std::nan("")}) EXPECT_EQ(TwipsPerPixel(unusable), 15);
  EXPECT_EQ(TwipsPerPixel(144), 10);
  EXPECT_EQ(TwipsToPixels(2160, TwipsPerPixel(96)), 144);
  EXPECT_EQ(PixelsToTwips(144, 0), 2160);
}

}  // namespace
}  // namespace lumaset
