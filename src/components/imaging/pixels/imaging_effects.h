#pragma once

// The effects on the picture that an imaging object holds. Each runs as one
// operation of the object (progress from 0 to 100, a Cancel from the progress
// handler leaves the picture as it was and gives an error whose cancelled()
// is true) and keeps its result as one change that UndoLast can take back,
// unless `undoLabel` is Imaging::kNoUndo. The pixel rules are those of
// pixel_effects.h and color_reduce.h.

#include <QRgb>
#include <QString>

#include "components/imaging/pixels/color_reduce.h"
#include "components/imaging/imaging.h"
#include "components/imaging/pixels/pixel_effects.h"
#include "components/result.h"

namespace lumaset {

Status ImgBlur(Imaging& imaging, int amount, const QString& undoLabel = {});
Status ImgSharpen(Imaging& imaging, int amount, const QString& undoLabel = {});
Status ImgGrayscale(Imaging& imaging, const QString& undoLabel = {});
// `colors` is taken as 2..256.
Status ImgDither(Imaging& imaging, int colors, const QString& undoLabel = {});
Status ImgMosaic(Imaging& imaging, int blockWidth, int blockHeight, int channelMask, const QString& undoLabel = {});
Status ImgFilter(Imaging& imaging, const FilterKernel& kernel, double factor, const QString& undoLabel = {});
Status ImgFilterMasked(Imaging& imaging, const FilterKernel& kernel, double factor, int channelMask, int bias = 0,
                       const QString& undoLabel = {});
Status ImgPalette(Imaging& imaging, const Palette256& palette, const QString& undoLabel = {});
Status ImgColorize(Imaging& imaging, QRgb color, bool hue, bool saturation, bool luminance,
                   const QString& undoLabel = {});
Status ImgEmboss(Imaging& imaging, int dx, int dy, QRgb color, int channelMask, int otherValue,
                 const QString& undoLabel = {});
Status ImgReplaceColor(Imaging& imaging, QRgb oldColor, QRgb newColor, int tolerance, const QString& undoLabel = {});

}  // namespace lumaset
