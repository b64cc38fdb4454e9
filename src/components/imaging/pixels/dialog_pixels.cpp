#include "components/imaging/pixels/dialog_pixels.h"

#include <algorithm>
#include <cmath>

#include "components/imaging/pixels/pixel_support.h"

namespace lumaset {

Result<QImage> AdjustRgb(const QImage& source, int red, int green, int blue, PixelJob& job) {
  const int width = source.width();
  return pixels::EachRow(source, job, [=](const QRgb* in, QRgb* out, int) {
    for (int x = 0; x < width; ++x) {
      out[x] = qRgb(AdjustByte(qRed(in[x]), red), AdjustByte(qGreen(in[x]), green), AdjustByte(qBlue(in[x]), blue));
    }
  });
}

Status ImgAdjustRgb(Imaging& imaging, int red, int green, int blue, const QString& undoLabel) {
  return imaging.ApplyPixelWork(kAdjustingColorText, undoLabel, [=](const QImage& source, PixelJob& job) {
    return AdjustRgb(source, red, green, blue, job);
  });
}

bool ReplaceRange::Matches(QRgb pixel) const {
  const int channel[3] = {qRed(pixel), qGreen(pixel), qBlue(pixel)};
  for (std::size_t k = 0; k < 3; ++k) {
    if (channel[k] < low[k] || channel[k] > high[k]) return false;
  }
  return true;
}

ReplaceRange MakeReplaceRange(QRgb oldColor, int tolerance) {
  const double third = tolerance / 3.0;
  const int old[3] = {qRed(oldColor), qGreen(oldColor), qBlue(oldColor)};
  ReplaceRange range;
  for (std::size_t k = 0; k < 3; ++k) {
    range.low[k] = static_cast<int>(std::floor(old[k] - third));
    range.high[k] = static_cast<int>(std::floor(old[k] + third));
  }
  return range;
}

Result<QImage> ReplaceInArea(const QImage& source, const QRect& area, QRgb oldColor, QRgb newColor, int tolerance,
                             PixelJob& job) {
  const QRect inside = area.intersected(source.rect());
  const ReplaceRange range = MakeReplaceRange(oldColor, tolerance);
  const QRgb replacement = newColor | 0xFF000000U;
  const int width = source.width();
  return pixels::EachRow(source, job, [&](const QRgb* in, QRgb* out, int y) {
    std::copy_n(in, width, out);
    if (y < inside.top() || y > inside.bottom()) return;
    for (int x = inside.left(); x <= inside.right(); ++x) {
      if (range.Matches(in[x])) out[x] = replacement;
    }
  });
}

Status ImgReplaceInArea(Imaging& imaging, const QRect& area, QRgb oldColor, QRgb newColor, int tolerance,
                        const QString& undoLabel) {
  return imaging.ApplyPixelWork(kAdjustingColorText, undoLabel, [=](const QImage& source, PixelJob& job) {
    return ReplaceInArea(source, area, oldColor, newColor, tolerance, job);
  });
}

}  // namespace lumaset
