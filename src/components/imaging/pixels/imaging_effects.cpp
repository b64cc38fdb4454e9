#include "components/imaging/pixels/imaging_effects.h"

#include <vector>

namespace lumaset {

namespace {

// Runs one pixel function on the held picture.
template <typename Effect>
Status apply(Imaging& imaging, const char* workText, const QString& undoLabel, Effect effect) {
  return imaging.ApplyPixelWork(QString::fromLatin1(workText), undoLabel, effect);
}

}  // namespace

Status ImgBlur(Imaging& imaging, int amount, const QString& undoLabel) {
  return apply(imaging, "Blurring", undoLabel, [=](const QImage& source, PixelJob& job) { return Blur(source, amount, job); });
}

Status ImgSharpen(Imaging& imaging, int amount, const QString& undoLabel) {
  return apply(imaging, "Sharpening", undoLabel,
               [=](const QImage& source, PixelJob& job) { return Sharpen(source, amount, job); });
}

Status ImgGrayscale(Imaging& imaging, const QString& undoLabel) {
  return apply(imaging, "Converting to grayscale", undoLabel,
               [](const QImage& source, PixelJob& job) { return Grayscale(source, job); });
}

Status ImgDither(Imaging& imaging, int colors, const QString& undoLabel) {
  return apply(imaging, "Dithering", undoLabel,
               [=](const QImage& source, PixelJob& job) { return Dither(source, colors, job); });
}

Status ImgMosaic(Imaging& imaging, int blockWidth, int blockHeight, int channelMask, const QString& undoLabel) {
  return apply(imaging, "Making mosaic", undoLabel, [=](const QImage& source, PixelJob& job) {
    return Mosaic(source, blockWidth, blockHeight, channelMask, job);
  });
}

Status ImgFilter(Imaging& imaging, const FilterKernel& kernel, double factor, const QString& undoLabel) {
  return apply(imaging, "Filtering", undoLabel,
               [=](const QImage& source, PixelJob& job) { return Filter(source, kernel, factor, job); });
}

Status ImgFilterMasked(Imaging& imaging, const FilterKernel& kernel, double factor, int channelMask, int bias,
                       const QString& undoLabel) {
  return apply(imaging, "Filtering", undoLabel, [=](const QImage& source, PixelJob& job) {
    return FilterMasked(source, kernel, factor, channelMask, bias, job);
  });
}

Status ImgPalette(Imaging& imaging, const Palette256& palette, const QString& undoLabel) {
  const std::vector<QRgb> colors(palette.begin(), palette.end());
  return apply(imaging, "Applying palette", undoLabel,
               [&colors](const QImage& source, PixelJob& job) { return DiffuseToPalette(source, colors, job); });
}

Status ImgColorize(Imaging& imaging, QRgb color, bool hue, bool saturation, bool luminance, const QString& undoLabel) {
  return apply(imaging, "Colorizing", undoLabel, [=](const QImage& source, PixelJob& job) {
    return Colorize(source, color, hue, saturation, luminance, job);
  });
}

Status ImgEmboss(Imaging& imaging, int dx, int dy, QRgb color, int channelMask, int otherValue,
                 const QString& undoLabel) {
  return apply(imaging, "Embossing", undoLabel, [=](const QImage& source, PixelJob& job) {
    return Emboss(source, dx, dy, color, channelMask, otherValue, job);
  });
}

Status ImgReplaceColor(Imaging& imaging, QRgb oldColor, QRgb newColor, int tolerance, const QString& undoLabel) {
  return apply(imaging, "Replacing color", undoLabel, [=](const QImage& source, PixelJob& job) {
    return ReplaceColor(source, oldColor, newColor, tolerance, job);
  });
}

}  // namespace lumaset
