#pragma once

// A TIFF file turned a quarter turn clockwise as it is seen, sample by
// sample as libtiff decodes it: its depth (1 to 64 bits), colour model,
// sample format, byte order, compression and predictor, strips or tiles,
// planes, and every tag stay; its EXIF and GPS directories come along. Only
// its sizes change, its resolution where the stored grid turns, and its
// orientation, which becomes upright. A picture compressed as JPEG is
// written with LZW rather than compressed with loss again.

#include <QByteArray>
#include <QByteArrayView>

#include "components/result.h"

namespace lumaset::imaging_detail {

// The turned file, read back and found to hold the turned samples; an
// error names why the file cannot be turned (damaged, more than one page,
// a kind of data that would not survive, too large for the memory decodes
// may hold, or stopped while it waited for that memory).
Result<QByteArray> turnTiffClockwise(QByteArrayView file);

}  // namespace lumaset::imaging_detail
