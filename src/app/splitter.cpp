#include "app/splitter.h"

#include <algorithm>
#include <cmath>

namespace lumaset {

namespace {

// Mouse positions are taken in whole twips, halves to even. Far-off values
// are held well inside the 32-bit range so that no sum overflows and no
// position can be mistaken for the no-drag mark. A position that is no number
// is no position.
std::optional<int> RoundTwips(double x) {
  if (std::isnan(x)) return std::nullopt;
  constexpr double kFar = 1e9;
  return static_cast<int>(std::nearbyint(std::clamp(x, -kFar, kFar)));
}

}  // namespace

int ClampTreeWidth(double stored) {
  if (std::isnan(stored) || stored <= 0) return kDefaultTreeWidth;
  const double width = std::clamp(stored, double{kMinTreeWidth}, double{kMaxTreeWidth});
  return static_cast<int>(std::lround(width));
}

Splitter::Splitter(int treeWidth) : left_(SplitterLeftForTree(treeWidth)) {}

std::optional<int> Splitter::acceptedLeft(std::optional<int> x) const {
  if (!x) return std::nullopt;
  const int proposed = left_ + *x;
  if (*x == dragX_ || proposed <= kSplitterMin || proposed >= kSplitterMax) return std::nullopt;
  return proposed;
}

SplitterResponse Splitter::press(Qt::MouseButton button, double x) {
  if (!treeShown_) return {};
  if (button == Qt::LeftButton) {
    dragX_ = RoundTwips(x).value_or(0);
    return {.color = SplitterColor::Drag};
  }
  // Another button ends a drag as its release would.
  if (dragging()) return endDrag(x);
  return {};
}

SplitterResponse Splitter::move(Qt::MouseButtons buttons, double x) {
  if (!treeShown_) return {};
  SplitterResponse response{.cursor = SplitterCursor::SizeWestEast};
  if (!buttons.testFlag(Qt::LeftButton) || !dragging()) return response;
  const std::optional<int> rounded = RoundTwips(x);
  if (const auto left = acceptedLeft(rounded)) {
    left_ = *left;
    dragX_ = *rounded;
    response.moveTo = *left;
  }
  return response;
}

SplitterResponse Splitter::release(double x) {
  if (!treeShown_ || !dragging()) return {};
  return endDrag(x);
}

SplitterResponse Splitter::endDrag(double x) {
  SplitterResponse response;
  if (const auto left = acceptedLeft(RoundTwips(x))) {
    left_ = *left;
    response.moveTo = *left;
  }
  dragX_ = kSplitterNoDrag;
  response.color = SplitterColor::ButtonFace;
  response.cursor = SplitterCursor::Default;
  // The tree takes the width of the bar's last accepted place; the width is
  // saved only at shut-down.
  response.treeWidth = TreeWidthForSplitter(left_);
  response.columnLeft = ColumnLeftForTree(*response.treeWidth);
  return response;
}

}  // namespace lumaset
