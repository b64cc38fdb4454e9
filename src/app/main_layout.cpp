#include "app/main_layout.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "app/splitter.h"

namespace lumaset {

namespace {

// The fixed allowances of the layout, in twips.
constexpr int kMeterStrip = 300;                // R0 with the meter shown
constexpr int kShapeWithTree = 1800;            // R1 = tree width + this
constexpr int kShapeWithoutTree = 1700;         // R1 with the tree hidden
constexpr int kAroundWithTree = 3400;           // R2 = tree width + this
constexpr int kAroundWithoutTree = 3300;        // R2 with the tree hidden
constexpr int kColumnWithoutTree = 60;          // the column's left with the tree hidden
constexpr int kMaximizedPreviewAllowance = 1600;  // a maximised preview's side is H minus this
constexpr int kTreeAllowance = 1620;            // the tree is H minus this high
constexpr int kPanelBelowTree = 2130;           // the thumbnail panel is this much below the tree
constexpr int kPreviewOffset = 3060;            // the preview's left, right of the column's
constexpr int kScrollBarGap = 120;              // free below the scroll bar
constexpr int kMeterInset = 460;                // the meter's left, in from the window's right
constexpr int kSplitterAllowance = 2 * kSplitterMargin + 660;  // inner height minus the bar's
constexpr int kScrollRangeLimit = 32767;        // a scroll bar's range is 16-bit
constexpr int kDefaultMinHeight = 7200;         // a first start's window is at least this high

// Half of v, rounded down; a half twip is far below a pixel.
int Half(int v) { return static_cast<int>(std::floor(v / 2.0)); }

// Shapes a normal window so that width - height = rule (R1 + R0); the larger
// measure leads. A window that would not fit on the screen is shrunk, still
// keeping the rule, so that a wide tree or a tall drag cannot push it off.
void ShapeNormalWindow(int& width, int& height, int rule, const TwipsRect& screen) {
  if (width >= height) {
    width = std::max({width, kMinWindowWidth, kMinWindowHeight + rule});
  } else {
    height = std::max({height, kMinWindowWidth - rule, kMinWindowHeight});
    width = height + rule;
  }
  if (!screen.isEmpty()) width = std::min({width, screen.width, screen.height + rule});
  height = std::max(0, width - rule);
}

void PlaceScrollBar(const MainLayoutInput& in, MainLayout& out) {
  out.scrollVisible = in.browseHeight > out.panelHeight;
  if (!out.scrollVisible) return;
  out.scrollHeight = std::max(0, out.panelHeight - in.scrollTop - kScrollBarGap);
  const std::int64_t beyond = std::int64_t{in.browseHeight} - out.panelHeight;
  const std::int64_t steps = beyond / std::max(1, in.thumbCell) + 1;
  out.scrollMax = static_cast<int>(std::min<std::int64_t>(steps, kScrollRangeLimit));
  out.scrollLargeChange = out.scrollMax / 3 + 1;
}

// Everything that follows from the window's final size and the allowances.
void PlacePanes(const MainLayoutInput& in, MainLayout& out) {
  const int width = out.windowWidth;
  const int height = out.windowHeight;
  out.treeHeight = std::max(0, height - kTreeAllowance);
  out.panelHeight = std::max(0, out.treeHeight - kPanelBelowTree);

  const int side = std::max(0, width - (out.r2 + out.r0));
  out.preview = {.left = out.columnLeft + kPreviewOffset + in.columnExtra,
                 .top = in.adjustTop + Half(out.treeHeight - side),
                 .width = side,
                 .height = side};

  PlaceScrollBar(in, out);
  out.noticeTop = Half(out.panelHeight - in.noticeHeight);

  out.meterVisible = in.memDisplay;
  if (out.meterVisible) {
    out.meterLeft = width - kMeterInset;
    out.meterHeight = side;
  }

  if (in.treeShown) {
    // The inside of the window grows and shrinks with its outer height.
    const int innerHeight = in.innerHeight + (height - in.height);
    out.splitter = TwipsRect{.left = SplitterLeftForTree(in.treeWidth),
                             .top = kSplitterTop,
                             .width = kSplitterWidth,
                             .height = std::max(0, innerHeight - kSplitterAllowance)};
  }
}

// One stored edge: beyond the screen's far edge or before its near edge, the
// window starts at the near edge. Whether the whole frame fits is known only
// once the window has its frame (FrameOnScreen).
int ClampEdge(double stored, int fallback, int screenStart, int screenExtent) {
  const double edge = std::isnan(stored) ? fallback : stored;
  if (edge > screenStart + screenExtent || edge < screenStart) return screenStart;
  return static_cast<int>(std::lround(edge));
}

// One stored extent: no larger than the screen's; a missing or non-positive
// one gets the default.
int ClampExtent(double stored, int fallback, int screenExtent) {
  const double extent = stored > 0 ? stored : fallback;  // NaN compares false
  return static_cast<int>(std::lround(std::min(extent, static_cast<double>(screenExtent))));
}

}  // namespace

MainLayout LayOutMainWindow(const MainLayoutInput& in) {
  MainLayout out;
  if (!in.formReady) return out;
  if (in.state == WindowState::Minimized) {
    out.switchScreenSaverOff = in.disableScreenSaver;
    return out;
  }

  out.layOut = true;
  out.r0 = in.memDisplay ? kMeterStrip : 0;
  out.treeVisible = in.treeShown;
  out.columnLeft = in.treeShown ? in.splitterLeft : kColumnWithoutTree;
  out.r1 = (in.treeShown ? in.treeWidth + kShapeWithTree : kShapeWithoutTree) + in.columnExtra;
  out.r2 = (in.treeShown ? in.treeWidth + kAroundWithTree : kAroundWithoutTree) + in.columnExtra;

  int width = in.width;
  int height = in.height;
  if (in.state == WindowState::Maximized) {
    // The preview takes the full height; the width left over goes to the right strip.
    const int side = height - kMaximizedPreviewAllowance;
    if (side < width - (out.r2 + out.r0)) out.r0 = width - out.r2 - side;
  } else {
    ShapeNormalWindow(width, height, out.r1 + out.r0, in.screen);
    out.reshape = width != in.width || height != in.height;
    out.switchScreenSaverOff = in.disableScreenSaver;
    if (in.shapeLater) {
      width = in.width;
      height = in.height;
    }
  }
  out.windowWidth = width;
  out.windowHeight = height;

  PlacePanes(in, out);
  return out;
}

TwipsRect DefaultPlacement(const TwipsRect& screen) {
  const auto part = [](int measure, double share) {
    return static_cast<int>(std::lround(measure * share));
  };
  return {.left = screen.left + part(screen.width, 0.125),
          .top = screen.top + part(screen.height, 0.125),
          .width = std::max(part(screen.width, 0.75), kMinWindowWidth),
          .height = std::max(part(screen.height, 0.75), kDefaultMinHeight)};
}

TwipsRect ClampPlacement(const StoredPlacement& stored, const TwipsRect& screen) {
  const TwipsRect fallback = DefaultPlacement(screen);
  TwipsRect placement;
  placement.width = ClampExtent(stored.width, fallback.width, screen.width);
  placement.height = ClampExtent(stored.height, fallback.height, screen.height);
  placement.left = ClampEdge(stored.left, fallback.left, screen.left, screen.width);
  placement.top = ClampEdge(stored.top, fallback.top, screen.top, screen.height);
  return placement;
}

ScreenPoint FrameOnScreen(const TwipsRect& frame, const TwipsRect& area) {
  const auto onArea = [](int start, int extent, int areaStart, int areaExtent) {
    return std::max(areaStart, std::min(start, areaStart + areaExtent - extent));
  };
  return {onArea(frame.left, frame.width, area.left, area.width),
          onArea(frame.top, frame.height, area.top, area.height)};
}

}  // namespace lumaset
