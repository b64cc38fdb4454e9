#pragma once

// A PNG file turned a quarter turn clockwise without decoding it to colours:
// its samples move as they are stored (palette indexes, 1 to 16 bits, the
// transparent colour), and every chunk besides the picture stays as the file
// had it: gamma, chromaticities, profile, text, time. Only the size in the
// header and the resolution (across and down trading places) change.

#include <QByteArray>
#include <QByteArrayView>

#include "components/result.h"

namespace lumaset::imaging_detail {

// The turned file; an error names why the file cannot be turned (damaged,
// an animation, too large for the memory decodes may hold, or stopped while
// it waited for that memory).
Result<QByteArray> turnPngClockwise(QByteArrayView file);

}  // namespace lumaset::imaging_detail
