#pragma once

// A WebP file turned a quarter turn clockwise through libwebp itself. A
// lossless picture stays lossless, with every sample as it was, the colour
// under fully transparent pixels too; a lossy one is compressed again (that
// cannot be helped) to about the size it had, so at about its quality. The
// file's colour profile, EXIF and XMP data and any chunk Lumaset does not
// know stay as they were.

#include <QByteArray>
#include <QByteArrayView>

#include "components/result.h"

namespace lumaset::imaging_detail {

// The turned file; an error names why the file cannot be turned (damaged, an
// animation, its samples would change, too large for the memory decodes may
// hold, or stopped while it waited for that memory).
Result<QByteArray> turnWebpClockwise(QByteArrayView file);

}  // namespace lumaset::imaging_detail
