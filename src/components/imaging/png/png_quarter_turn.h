#pragma once

// A PNG file turned a quarter turn clockwise without decoding it to colours:
// its samples move as they are stored (palette indexes, 1 to 16 bits, the
// transparent colour), and every chunk besides the picture stays as the file
// had it: gamma, chromaticities, profile, text, time. Only the size in the
// header and the resolution (across and down trading places) change.

#include <QByteArray>
#include <QByteArrayView>

#include <cstdint>

#include "components/result.h"

namespace lumaset::imaging_detail {

// The turned file, whatever followed its end kept after it; it is read back
// and must hold the turned samples. An error names why the file cannot be
// turned (damaged, an animation, too large for the memory full-size pictures
// may hold, or stopped while it waited for that memory). The turned file is
// never interlaced.
Result<QByteArray> turnPngClockwise(QByteArrayView file);

// The memory a turn of a file of `fileBytes` holding a picture of that
// size and depth (bits a pixel as stored), interlaced or not, asks for.
double pngTurnBytes(qint64 fileBytes, std::uint32_t width, std::uint32_t height, int bitsPerPixel,
                    bool interlaced = false);

}  // namespace lumaset::imaging_detail
