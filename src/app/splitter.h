#pragma once

// The splitter bar between the folder tree and the column beside it. The user
// drags it with the left button to set the tree's width within fixed bounds;
// the class below keeps the drag and answers each mouse event with what the
// window has to do, so that the window only applies the answer.

#include <Qt>

#include <optional>

namespace lumaset {

// The splitter's fixed measures, in twips.
inline constexpr int kSplitterMin = 1500;       // SplitterMin: the bar's left edge stays above this
inline constexpr int kSplitterMax = 4000;       // SplitterMax: ... and below this
inline constexpr int kSplitterMargin = 60;      // SplitterMargin
inline constexpr int kSplitterTop = kSplitterMargin + 400;
inline constexpr int kSplitterWidth = 40;
inline constexpr int kSplitterNoDrag = 2147483647;  // SplitterDragX at rest
inline constexpr int kDefaultTreeWidth = 2160;

// The bar sits one twip inside the margin right of the tree.
inline constexpr int SplitterLeftForTree(int treeWidth) { return treeWidth + kSplitterMargin - 1; }

// The inverse of SplitterLeftForTree, so that a click on the bar without a
// drag gives the tree back the width it had.
inline constexpr int TreeWidthForSplitter(int splitterLeft) {
  return splitterLeft - (kSplitterMargin - 1);
}

// SplitterLeft: where the column right of the tree starts.
inline constexpr int ColumnLeftForTree(int treeWidth) { return treeWidth + 160; }

// The tree widths that a drag can give: the bar strictly between its bounds.
inline constexpr int kMinTreeWidth = TreeWidthForSplitter(kSplitterMin + 1);
inline constexpr int kMaxTreeWidth = TreeWidthForSplitter(kSplitterMax - 1);

// The tree width stored at the last shut-down, made safe to use: a missing,
// corrupt or non-positive value gives the default width, any other value is
// kept within the widths a drag can give.
int ClampTreeWidth(double stored);

// The bar's back colour: the system's button face at rest, red (&HFF,
// SplitterDragColor) while it is dragged.
enum class SplitterColor { ButtonFace, Drag };

// The pointer over the bar: the default, or the west-east sizing arrow.
enum class SplitterCursor { Default, SizeWestEast };

// What the window does after a mouse event on the bar; an empty field leaves
// that thing as it is.
struct SplitterResponse {
  std::optional<int> moveTo = {};  // the bar's new left edge (top, width, height unchanged)
  std::optional<SplitterColor> color = {};
  std::optional<SplitterCursor> cursor = {};
  // Set when a drag ends: the tree's new width and the column's new left
  // (SplitterLeft). The window then lays itself out again.
  std::optional<int> treeWidth = {};
  std::optional<int> columnLeft = {};

  bool layOutAgain() const { return treeWidth.has_value(); }
  friend bool operator==(const SplitterResponse&, const SplitterResponse&) = default;
};

class Splitter {
 public:
  // At rest, placed for a tree of the given width.
  explicit Splitter(int treeWidth = kDefaultTreeWidth);

  // Where the layout put the bar (its left edge, twips).
  void place(int left) { left_ = left; }
  int left() const { return left_; }

  // While the tree is hidden the bar ignores the mouse.
  void setTreeShown(bool shown) { treeShown_ = shown; }
  bool dragging() const { return dragX_ != kSplitterNoDrag; }

  // The bar's mouse events; x is in twips relative to the bar's left edge.
  SplitterResponse press(Qt::MouseButton button, double x);
  SplitterResponse move(Qt::MouseButtons buttons, double x);
  SplitterResponse release(double x);

 private:
  // The bar's left edge for a pointer at x, when the drag may take it there.
  std::optional<int> acceptedLeft(std::optional<int> x) const;
  SplitterResponse endDrag(double x);

  int left_;
  int dragX_ = kSplitterNoDrag;  // SplitterDragX: x where the current drag step began
  bool treeShown_ = true;
};

}  // namespace lumaset
