#include "browser/thumb_geometry.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace lumaset {

namespace {

constexpr int kMargin = 40;        // the first row and column start this far in
constexpr int kPictureInset = 120;  // the frame's longer side less the picture's
constexpr int kPictureMargin = 60;

int clampToInt(qint64 value) {
  return static_cast<int>(std::clamp<qint64>(value, 0, std::numeric_limits<int>::max()));
}

}  // namespace

ThumbGeometry ThumbGeometry::ForLarge(bool large) {
  return large ? ThumbGeometry{1260, 2, 100} : ThumbGeometry{860, 3, 50};
}

TwipsRect ThumbGeometry::frame(int index) const {
  const qint64 row = index / cols;
  const qint64 column = index % cols;
  return {clampToInt(kMargin + column * cell), clampToInt(kMargin + row * cell), frameSize(), frameSize()};
}

qint64 ThumbGeometry::canvasHeightThrough(int index) const {
  return kMargin + qint64{index / cols} * cell + frameSize();
}

qint64 ThumbGeometry::rowOf(qint64 y) const {
  return std::max<qint64>(0, (y - kMargin) / cell);
}

PictureFit FitPicture(int width, int height, const ThumbGeometry& geometry) {
  const auto frame = static_cast<float>(geometry.frameSize());
  PictureFit fit;
  if (width > height) {
    fit.caption = CaptionPlace::BottomCentre;
    fit.width = frame - kPictureInset;
    fit.height = static_cast<float>(static_cast<double>(height) / width * fit.width);
    fit.left = kPictureMargin;
    fit.top = (frame - fit.height) / 2;
  } else {
    fit.caption = CaptionPlace::BottomRight;
    fit.height = frame - kPictureInset;
    fit.width = static_cast<float>(static_cast<double>(width) / height * fit.height);
    fit.top = kPictureMargin;
    fit.left = (frame - fit.width) / 2;
  }
  if (geometry.smallCells()) {
    fit.left = kPictureMargin;
    fit.top = kPictureMargin;
  }
  return fit;
}

PictureFit SquareFit(const ThumbGeometry& geometry) { return FitPicture(1, 1, geometry); }

ScrollRange ScrollRangeFor(qint64 canvasHeight, int viewportHeight, int cell) {
  ScrollRange range;
  if (canvasHeight <= viewportHeight) return range;
  range.visible = true;
  const qint64 steps = (canvasHeight - viewportHeight) / std::max(1, cell) + 1;
  range.maximum = clampToInt(steps);
  range.largeChange = range.maximum / 3 + 1;
  return range;
}

}  // namespace lumaset
