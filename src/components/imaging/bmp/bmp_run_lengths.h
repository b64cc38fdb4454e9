#pragma once

// Bitmap rows written as run lengths, as a file compressed with 8-bit,
// 4-bit or 24-bit run lengths stores them: repeated pixels as a count and
// the pixel, other pixels as they are, row by row from the bottom up, each
// row closed by its end code and the last by the picture's end code. Every
// pixel is written; none is left for a reader to skip.

#include <QByteArray>
#include <QImage>

#include <optional>

#include "components/imaging/bmp/bmp_file.h"

namespace lumaset::imaging_detail {

// The run-length data of `picture` (Format_Indexed8 for 8 and 4 bits, whose
// indexes are below 16 for 4 bits; Format_RGB32 for 24 bits) in `coding`.
// It tells WorkProgress how far it has come; nothing once that says to stop.
std::optional<QByteArray> runLengthRows(const QImage& picture, BmpLayout::Coding coding);

// The most bytes runLengthRows can make of a picture of that size.
double mostRunLengthBytes(qint64 width, qint64 height, BmpLayout::Coding coding);

}  // namespace lumaset::imaging_detail
