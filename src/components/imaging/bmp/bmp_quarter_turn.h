#pragma once

// A bitmap file turned a quarter turn clockwise as it is stored: its rows
// move pixel by pixel at their own depth (palette indexes, 16 and 32-bit
// pixels under their masks, the alpha among them), and everything else stays
// as the file had it: its header of whatever version, masks, palette, colour
// profile, and rows from the top down or from the bottom up. Only the sizes
// and the resolution (across and down trading places) change. Run-length
// data is written as run lengths again, every pixel of it: those the file
// skipped take the colour they were shown in, the palette's first.

#include <QByteArray>
#include <QByteArrayView>

#include "components/result.h"

namespace lumaset::imaging_detail {

// The turned file; an error names why the file cannot be turned (damaged, a
// kind Lumaset cannot read, too large for the memory decodes may hold, or
// stopped while it waited for that memory).
Result<QByteArray> turnBmpClockwise(QByteArrayView file);

}  // namespace lumaset::imaging_detail
