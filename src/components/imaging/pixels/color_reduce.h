#pragma once

// Fewer colours: median cut to choose them, the nearest of them for each
// pixel, and Floyd–Steinberg error diffusion (7/16 right, 3/16 below left,
// 5/16 below, 1/16 below right, rows left to right) to keep the shades.
//
// Diffusion runs by itself in each band of rows, so that bands can run side
// by side: a band starts its diffusion a few rows above its first row, and
// its bands are cut the same way whatever the number of threads, so the
// result is the same to the byte on any machine.

#include <QImage>
#include <QString>

#include <array>
#include <vector>

#include "components/imaging/pixels/pixel_bands.h"
#include "components/result.h"

namespace lumaset {

using Palette256 = std::array<QRgb, 256>;

// At most `colors` (taken as 2..256) colours by median cut over the picture's
// colours at 5 bits per channel: the box with the most pixels is halved at the
// median of its longest side until there are enough boxes; each box gives the
// rounded mean of its pixels' true colours. A picture with fewer colours gives fewer.
Result<std::vector<QRgb>> MedianCut(const QImage& source, int colors, PixelJob& job);

// Each pixel becomes the nearest colour of `palette` (squared distance; the
// first of equals), with the error diffused.
Result<QImage> DiffuseToPalette(const QImage& source, const std::vector<QRgb>& palette, PixelJob& job);

// MedianCut then DiffuseToPalette.
Result<QImage> Dither(const QImage& source, int colors, PixelJob& job);

// A palette file: exactly 768 bytes, 256 entries of red, green and blue,
// each 0..63, scaled by 4 (so the brightest level is 252).
Result<Palette256> ReadPaletteFile(const QString& path);

}  // namespace lumaset
