#pragma once

// Where the thumbnail cells lie, in twips: the cell pitch and columns that a
// build takes from the large-thumbnails setting, each cell's frame on the
// canvas, the picture's fit inside its frame, and the scroll bar's range.
// Plain arithmetic, so that a test checks it without a window.

#include <QtGlobal>

#include "frame/units.h"

namespace lumaset {

struct ThumbGeometry {
  int cell = 860;          // ThumbCell: the pitch across and down
  int cols = 3;            // ThumbCols: cells in a row
  float scale = 50;        // ThumbScale: the picture's longer side, pixels

  static ThumbGeometry ForLarge(bool large);

  int frameSize() const { return cell - 60; }
  bool smallCells() const { return cell == 860; }
  // Frame of cell `index` on the unscrolled canvas.
  TwipsRect frame(int index) const;
  // The canvas ends at the bottom edge of the row that holds cell `index`.
  qint64 canvasHeightThrough(int index) const;
  // The first cell of the row that holds canvas height `y` (unscrolled).
  qint64 rowOf(qint64 y) const;
};

// Where a cell's number sits in its frame.
enum class CaptionPlace { BottomRight, BottomCentre };

// The picture's rectangle inside its frame, twips from the frame's corner.
struct PictureFit {
  float left = 60;
  float top = 60;
  float width = 0;
  float height = 0;
  CaptionPlace caption = CaptionPlace::BottomRight;
};

// Fits a picture of `width` x `height` pixels (both above 0) into a frame:
// the longer side takes the frame less 120 twips. Small cells keep the
// picture in the top left corner, leaving the free strip to the number;
// large ones centre it along its shorter side.
PictureFit FitPicture(int width, int height, const ThumbGeometry& geometry);

// The fit of a picture whose size is not known: a square.
PictureFit SquareFit(const ThumbGeometry& geometry);

// The scroll bar for a canvas of `canvasHeight` in a viewport of
// `viewportHeight`: shown only when the canvas is taller; one step is one row.
struct ScrollRange {
  bool visible = false;
  int maximum = 1;
  int largeChange = 1;
};
ScrollRange ScrollRangeFor(qint64 canvasHeight, int viewportHeight, int cell);

}  // namespace lumaset
