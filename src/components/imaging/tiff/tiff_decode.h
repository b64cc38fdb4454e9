#pragma once

// TIFF pictures that Qt's own reader gets wrong or refuses, read with
// libtiff directly: grey with transparency (Qt 6.4 gives it opaque), CMYK of
// other than 8 bits a sample, floating-point samples and integer samples of
// more than 16 bits (Qt refuses them as damaged), and every BigTIFF file
// (Qt's reader does not open them). The picture comes as
// stored (its orientation is the caller's), with its transparency, at a
// depth that keeps what the file holds: 8 bits a channel for samples of up
// to 8 bits, 16 for up to 16, floating point beyond; with its colour profile
// and resolution.

#include <QByteArrayView>
#include <QIODevice>
#include <QImageIOHandler>
#include <QImage>
#include <QString>

#include <optional>

#include "components/result.h"

namespace lumaset::imaging_detail {

// What the file stores, for the facts shown of it.
struct TiffDepth {
  int bitsPerPixel = 0;  // bits a sample times samples a pixel
  int paletteSize = 0;   // colours of a palette, 0 without one
};
std::optional<TiffDepth> tiffDepth(QIODevice& file);

// Whether a file that begins with `fileStart` is a BigTIFF file.
bool isBigTiff(QByteArrayView fileStart);

// A BigTIFF file's first picture as stored, how its orientation tag says
// to stand it upright, and its pages.
struct TiffMeasure {
  QSize size;
  QImageIOHandler::Transformations turn = QImageIOHandler::TransformationNone;
  int pages = 1;
};
std::optional<TiffMeasure> measureTiff(QIODevice& file);

// Whether the TIFF file open in `file` goes to decodeTiff rather than to
// Qt's reader.
bool readsWithLibtiff(QIODevice& file);

// The first picture of the TIFF file open in `file`, read from its start a
// strip or a row of tiles at a time. Refused when the file is damaged or cut
// short, or holds a kind of picture read here neither (named in the error);
// a decode that DecodeStop says is no longer wanted ends with a cancelled error.
Result<QImage> decodeTiff(QIODevice& file);

}  // namespace lumaset::imaging_detail
