#pragma once

// Shrinking a picture to a thumbnail without a full-size copy. Pictures held
// other than as 32-bit colour, and pictures read from their files a band of
// rows at a time, are shrunk through an integer step, box-averaged a band of
// rows at a time (black and white by counting bits); Qt's own scaling would
// first widen the whole picture to 32 bits.

#include <QImage>
#include <QSize>

#include <functional>

#include "components/result.h"

namespace lumaset::imaging_detail {

// Rows `top` to `top + rows` of a picture, as a picture of any format (all
// bands of one picture alike), or why they cannot be had.
using RowBand = std::function<Result<QImage>(int top, int rows)>;

// The memory shrinking a picture of `size` to `target` takes beside the
// picture or the file it comes from: a band as it comes, at `bits` a pixel,
// and widened, the step and the result.
qint64 shrinkBytes(QSize size, QSize target, int bits);

// `image` shrunk to exactly `target`; null when memory runs out.
QImage shrunk(const QImage& image, QSize target);

// The picture of `size` whose rows `band` hands over, from the top, in bands
// of a few rows (the last one shorter), shrunk to exactly `target`.
// The first band that fails ends it with its error.
Result<QImage> shrunkInBands(QSize size, QSize target, const RowBand& band);

}  // namespace lumaset::imaging_detail
