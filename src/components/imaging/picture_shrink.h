#pragma once

// Shrinking a decoded picture to a thumbnail without a full-size copy.
// Pictures held other than as 32-bit colour are shrunk through an integer
// step, box-averaged a band of rows at a time (black and white by counting
// bits); Qt's own scaling would first widen the whole picture to 32 bits.

#include <QImage>
#include <QSize>

namespace lumaset::imaging_detail {

// The memory shrinking a picture of `size` to `target` takes beside the
// decoded picture: a band in its own form and widened, the step and the result.
qint64 shrinkBytes(QSize size, QSize target);

// `image` shrunk to exactly `target`; null when memory runs out.
QImage shrunk(const QImage& image, QSize target);

}  // namespace lumaset::imaging_detail
