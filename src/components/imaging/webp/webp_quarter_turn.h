#pragma once

// A WebP file turned a quarter turn clockwise through libwebp itself. A
// lossless picture stays lossless, with every sample as it was, the colour
// under fully transparent pixels too; a lossy one is compressed again (that
// cannot be helped) to about the size it had, so at about its quality. The
// file's colour profile, EXIF and XMP data and any chunk Lumaset does not
// know stay as they were.

#include <QByteArray>
#include <QByteArrayView>

#include <functional>

#include "components/result.h"

namespace lumaset::imaging_detail {

// Compresses `rgba` (a byte each of red, green, blue and alpha, `width` x
// `height` pixels) as a simple WebP file: without loss, or with loss to
// about `targetBytes`.
using WebpEncoder =
    std::function<Result<QByteArray>(const QByteArray& rgba, int width, int height, bool lossless, qint64 targetBytes)>;

// libwebp's encoder: a lossless picture keeps the colour under its fully
// transparent pixels too. It tells WorkProgress how far it has come, and
// fails once it says that the work is to stop.
Result<QByteArray> encodedWebp(const QByteArray& rgba, int width, int height, bool lossless, qint64 targetBytes);

// The turned file, its picture compressed by `encode`; an error names why
// the file cannot be turned (damaged, an animation, a lossless picture whose
// samples would change, too large for the memory decodes may hold, or
// stopped while it waited for that memory).
Result<QByteArray> turnWebpClockwise(QByteArrayView file, const WebpEncoder& encode = encodedWebp);

}  // namespace lumaset::imaging_detail
