#pragma once

// PNG files that Qt's own reader gets wrong, read with libpng directly: a
// 16-bit colour picture with a transparent colour (Qt 6.4 gives it with every
// pixel's channels shifted), interlaced pictures (Qt widens every pass of a
// black-and-white page bit by bit, which takes seconds) and pictures with
// compressed texts (Qt inflates every one, twice, up to megabytes each): their
// texts are read to a bound, the rest left out. The picture comes in
// the very form Qt gives the files it reads right: its pixel format, colour
// table, colour profile, resolution and texts, so that a file reads the same
// whichever road it takes.

#include <QByteArrayView>
#include <QIODevice>
#include <QImage>
#include <QSize>

#include "components/imaging/imaging_file_headers.h"
#include "components/result.h"

namespace lumaset::imaging_detail {

// Whether a PNG file has compressed texts (zTXt or iTXt chunks), which Qt's
// reader would inflate whole, each of them, however many there are.
bool hasCompressedTexts(FileWindow& file);

// Whether a PNG file with this header goes to decodePng rather than to Qt's reader.
bool readsWithLibpng(const PngHeader& header, FileWindow& file);

// The picture of the PNG file open in `file`, read from its start without
// holding the file, in the form Qt's reader gives it. Refused when the file
// is damaged or cut short, or when there is no memory for the picture; a
// decode that DecodeStop says is no longer wanted ends with a cancelled error.
Result<QImage> decodePng(QIODevice& file);

}  // namespace lumaset::imaging_detail
