#pragma once

// The main window lays out its panes itself at every resize: the folder tree
// on the left, the splitter, the column with the folder caption, the
// page-adjustment panel and the thumbnail panel, the square page preview and
// the free-memory meter at the right edge. In the normal window state it also
// keeps width minus height fixed, so that the square preview fills the height.
//
// The rules live here as plain functions of the window's measures, in twips;
// the window feeds in what it has, applies what comes back, and then redraws
// the page at the new preview size.

#include <optional>

#include "frame/units.h"

namespace lumaset {

enum class WindowState { Normal, Minimized, Maximized };

// The normal window is never narrower than this, ...
inline constexpr int kMinWindowWidth = 9600;
// ... nor lower than this: room for the panel's fixed parts and one row of
// large thumbnails, so that no pane ends up with a negative size.
inline constexpr int kMinWindowHeight = 1620 + 2130 + 1260;

// What the layout reads. Measures are twips.
struct MainLayoutInput {
  WindowState state = WindowState::Normal;
  int width = 0;                    // the window's outer width
  int height = 0;                   // the window's outer height
  int innerHeight = 0;              // the height inside the window's frame, at this outer height
  TwipsRect screen = {};            // the screen's available area; an empty one sets no limit
  bool formReady = false;           // FormReady: false until the window has loaded
  bool treeShown = true;            // OptGenTree
  bool memDisplay = false;          // OptMemDisplay
  bool disableScreenSaver = false;  // OptDisableScreenSaver
  int treeWidth = 2160;             // DirTree.Width
  int columnExtra = 0;              // twips the column needs beyond its design for its texts
  int splitterLeft = 2320;          // SplitterLeft: the column's left while the tree shows
  int adjustTop = 0;                // panAdjust.Top
  int browseHeight = 0;             // picBrowse.Height: the height of all thumbnail rows
  int scrollTop = 0;                // VScroll1.Top
  int noticeHeight = 0;             // labPicPan.Height
  int thumbCell = 860;              // ThumbCell
  // The normal window keeps its present size for now: the panes are laid out
  // for it, and `reshape` says whether its shape asks for another.
  bool shapeLater = false;
};

// What the window applies, in this order: hide the placed pictures, take the
// window size, set the panes, move the splitter, redraw the page.
struct MainLayout {
  // False: leave every pane (and the window's size) as it is.
  bool layOut = false;
  // Keep the screen saver off again (the setting is on and the window was
  // minimised or reshaped).
  bool switchScreenSaverOff = false;

  // The window's outer size after shaping; differs from the input only in the
  // normal state, and then `reshape` says the window must be resized.
  int windowWidth = 0;
  int windowHeight = 0;
  bool reshape = false;

  int r0 = 0;  // width kept free right of the preview (the meter's strip)
  int r1 = 0;  // width minus height of the normal window
  int r2 = 0;  // width of everything left of and around the preview

  bool treeVisible = false;  // DirTree.Visible
  int treeHeight = 0;        // DirTree.Height
  int columnLeft = 0;        // panAdjust.Left, picPan.Left and labFolder.Left
  int panelHeight = 0;       // picPan.Height
  TwipsRect preview = {};    // panPrev: a square

  // VScroll1; its height, maximum and large change are set only when it shows.
  bool scrollVisible = false;
  int scrollHeight = 0;
  int scrollMax = 0;
  int scrollLargeChange = 0;

  int noticeTop = 0;  // labPicPan.Top

  bool meterVisible = false;  // pbarMem; its left and height are set only when it shows
  int meterLeft = 0;
  int meterHeight = 0;

  // picSplit, whose height is SplitterHeight. Empty while the tree is hidden:
  // the bar is then hidden too.
  std::optional<TwipsRect> splitter = {};

  friend bool operator==(const MainLayout&, const MainLayout&) = default;
};

// The whole layout for one resize, as it stands once the window has taken the
// size given here (the resize that a reshape causes changes nothing more).
MainLayout LayOutMainWindow(const MainLayoutInput& in);

// The window's placement as stored at shut-down, as read (NaN where a value
// could not be read).
struct StoredPlacement {
  double left = 0;
  double top = 0;
  double width = 0;
  double height = 0;
};

// A first start's placement: 3/4 of the screen, 1/8 of it in from its
// top-left corner, at least kMinWindowWidth x 7200.
TwipsRect DefaultPlacement(const TwipsRect& screen);

// A stored placement made safe for the given screen: a left or top beyond the
// screen starts at its edge, a width or height larger than the screen gets the
// screen's, a missing or non-positive width or height gets the default. The
// layout then shapes the window, and FrameOnScreen keeps its frame on the
// screen.
TwipsRect ClampPlacement(const StoredPlacement& stored, const TwipsRect& screen);

struct ScreenPoint {
  int x = 0;
  int y = 0;
  friend bool operator==(const ScreenPoint&, const ScreenPoint&) = default;
};

// Where a window's frame goes so that it lies on the screen's area: moved back
// from the far edges first, then from the near ones, so that a frame larger
// than the area keeps its title bar and its left edge on it. The arithmetic
// holds in any one unit: the window gives it pixels.
ScreenPoint FrameOnScreen(const TwipsRect& frame, const TwipsRect& area);

}  // namespace lumaset
