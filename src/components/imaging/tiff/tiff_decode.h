#pragma once

// TIFF pictures read with libtiff directly: the kinds Qt's own reader gets
// wrong or refuses (see qtMisreadsTiffKind), and every thumbnail of a kind
// read here, shrunk as its bands are read. The picture comes as stored (its
// orientation is the caller's), with its transparency, in a form that keeps
// what the file holds (see newTiffPicture), with its colour profile and
// resolution.

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

// How the first picture of the TIFF file open in `file` is read: whether
// decodeTiff reads its kind, and whether Qt's reader gets it wrong or
// refuses it, so that decodeTiff reads (or names) it instead.
struct TiffReading {
  bool readHere = false;
  bool qtMisreads = false;
  // What libtiff decodes at once, a strip or a row of tiles of every plane
  // with a tile, as libtiff sees the file (it cuts one uncompressed strip
  // of a whole picture into strips of a few kilobytes).
  qint64 pieceBytes = 0;
};
std::optional<TiffReading> tiffReading(QIODevice& file);

// The first picture of the TIFF file open in `file`, read from its start a
// strip or a row of tiles at a time. Refused when the file is damaged or cut
// short, or holds a kind of picture read here neither (named in the error);
// a decode that DecodeStop says is no longer wanted ends with a cancelled error.
Result<QImage> decodeTiff(QIODevice& file);

// The same picture shrunk to exactly `target` as its bands are read: it
// holds a band and the small picture, never the whole.
Result<QImage> shrunkTiff(QIODevice& file, QSize target);

}  // namespace lumaset::imaging_detail
