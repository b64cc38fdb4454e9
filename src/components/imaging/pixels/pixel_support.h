#pragma once

// What the pixel effects share inside the component.

#include <QImage>

#include <algorithm>
#include <cstdint>

#include "components/imaging/picture_memory.h"
#include "components/imaging/pixels/pixel_bands.h"
#include "components/result.h"

namespace lumaset::pixels {

inline std::uint8_t Clamp255(long long value) { return static_cast<std::uint8_t>(std::clamp(value, 0LL, 255LL)); }

inline Error MemoryError(int width, int height) {
  return Error{QStringLiteral("There is not enough memory for a picture of %1 x %2 pixels.").arg(width).arg(height)};
}

// The source in the held format (a copy only when it is not).
inline QImage Held(const QImage& source) {
  return source.format() == QImage::Format_RGB32 ? source : source.convertToFormat(QImage::Format_RGB32);
}

inline const QRgb* Row(const QImage& image, int y) { return reinterpret_cast<const QRgb*>(image.constScanLine(y)); }

// The rows of a picture being made, reached without Qt's per-call checks.
class Canvas {
 public:
  explicit Canvas(QImage& image) : bits_(image.bits()), stride_(image.bytesPerLine()) {}
  QRgb* row(int y) const { return reinterpret_cast<QRgb*>(bits_ + static_cast<qsizetype>(y) * stride_); }

 private:
  uchar* bits_;
  qsizetype stride_;
};

// Runs `work` over the rows of a new picture of the given size; `work` fills rows
// firstRow .. endRow − 1 of the target.
template <typename Work>
Result<QImage> Produce(int width, int height, int granularity, PixelJob& job, Work work) {
  if (width <= 0 || height <= 0) return Error{QStringLiteral("No picture is loaded.")};
  QImage target = NewPicture(width, height);
  if (target.isNull()) return MemoryError(width, height);
  const Canvas canvas(target);
  const bool done = job.Run(height, granularity, [&](int firstRow, int endRow, const BandContext& context) {
    work(canvas, firstRow, endRow, context);
  });
  if (!done) return CancelledError();
  return target;
}

// A new picture made row by row: `change(in, out, y)` writes row y of the
// target from row y of the source.
template <typename Change>
Result<QImage> EachRow(const QImage& picture, PixelJob& job, Change change) {
  const QImage source = Held(picture);
  return Produce(source.width(), source.height(), 1, job,
                 [&](const Canvas& target, int firstRow, int endRow, const BandContext& context) {
                   for (int y = firstRow; y < endRow; ++y) {
                     if (context.stopped()) return;
                     change(Row(source, y), target.row(y), y);
                   }
                 });
}

}  // namespace lumaset::pixels
