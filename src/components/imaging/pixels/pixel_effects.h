#pragma once

// The picture effects as pure functions: each makes a new picture from its
// source (opaque 32-bit RGB, the imaging layer's held format) in integer or
// fixed-point arithmetic, in row bands of `job`, so that the result is the
// same to the byte whatever the number of threads. A job stopped meanwhile
// gives CancelledError().
//
// Neighbourhoods reach past the picture's edges by repeating the edge pixels.
// Channel masks add 1 for red, 2 for green and 4 for blue.

#include <QImage>

#include <array>

#include "components/imaging/pixels/bright_contrast.h"
#include "components/imaging/pixels/pixel_bands.h"
#include "components/result.h"

namespace lumaset {

inline constexpr int kMaskRed = 1;
inline constexpr int kMaskGreen = 2;
inline constexpr int kMaskBlue = 4;
inline constexpr int kMaskAll = 7;

// A 3 x 3 kernel: kernel[row][column], row 0 above the pixel, column 0 left of it.
using FilterKernel = std::array<std::array<double, 3>, 3>;

// ---- neighbourhoods (pixel_kernels.cpp) ----

// p + a/100 · (B − p), B the 3x3 binomial mean (1 2 1 / 2 4 2 / 1 2 1, over 16);
// `amount` a is taken as 0..100.
Result<QImage> Blur(const QImage& source, int amount, PixelJob& job);

// p + a/100 · (8p − the sum of the eight neighbours), clamped; `amount` a is taken as 0..10000.
Result<QImage> Sharpen(const QImage& source, int amount, PixelJob& job);

// p − f · (K ∗ p) on every channel, clamped: with K = (1 1 1 / 1 −8 1 / 1 1 1) and
// f > 0 edges stand out, with K the identity and f < 0 the picture brightens by 1 − f.
Result<QImage> Filter(const QImage& source, const FilterKernel& kernel, double factor, PixelJob& job);

// f · (K ∗ p) + bias on the masked channels, clamped; the others stay.
Result<QImage> FilterMasked(const QImage& source, const FilterKernel& kernel, double factor, int channelMask,
                            int bias, PixelJob& job);

// base + p(x, y) − p(x + dx, y + dy) on the masked channels (dx, dy taken as −1..1), the base
// colour's own channel as base; the channels outside the mask become `otherValue` (0..255),
// or keep their bytes when `otherValue` is negative (kKeepOtherChannels).
inline constexpr int kKeepOtherChannels = -1;
Result<QImage> Emboss(const QImage& source, int dx, int dy, QRgb base, int channelMask, int otherValue,
                      PixelJob& job);

// Tiles of blockWidth x blockHeight from the top-left corner, each of the masked channels
// the rounded mean of its tile (edge tiles are smaller and take their own mean); the other
// channels stay. Blocks larger than the picture are taken as the picture.
Result<QImage> Mosaic(const QImage& source, int blockWidth, int blockHeight, int channelMask, PixelJob& job);

// ---- one pixel at a time (pixel_points.cpp) ----

// Rec. 601 luma in every channel: (299 R + 587 G + 114 B) / 1000, rounded.
Result<QImage> Grayscale(const QImage& source, PixelJob& job);

// Each channel value through `table`.
Result<QImage> MapChannels(const QImage& source, const ChannelTable& table, PixelJob& job);

// Each pixel takes over the hue, saturation and/or luminance (RgbToHsl) of `target`.
Result<QImage> Colorize(const QImage& source, QRgb target, bool hue, bool saturation, bool luminance,
                        PixelJob& job);

// Pixels whose channels differ from `oldColor` by at most `tolerance` in sum (0..765) become `newColor`.
Result<QImage> ReplaceColor(const QImage& source, QRgb oldColor, QRgb newColor, int tolerance, PixelJob& job);

// Left becomes right.
Result<QImage> Mirror(const QImage& source, PixelJob& job);

// Turned by `quarters` quarter turns clockwise (negative: the other way).
Result<QImage> QuarterTurn(const QImage& source, int quarters, PixelJob& job);

}  // namespace lumaset
