#pragma once

// JPEG writing in strips side by side. Each strip of whole MCU rows is
// compressed on its own (baseline, standard Huffman tables, 4:2:0), and the
// strips' entropy-coded data are joined with restart markers behind one
// header: the file any single-pass encoder with that restart interval would
// write. The strips are cut by the picture's size alone, so the bytes never
// depend on the number of threads.

#include <QByteArray>
#include <QImage>

#include "components/imaging/pixels/pixel_bands.h"
#include "components/result.h"

namespace lumaset {

// `picture` in the held format (opaque 32-bit RGB); quality 1..100; the
// resolution goes into the JFIF header.
Result<QByteArray> EncodeJpeg(const QImage& picture, int quality, int dotsPerInch, PixelJob& job);

}  // namespace lumaset
