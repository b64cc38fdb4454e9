#include "components/imaging/picture_shrink.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <vector>

namespace lumaset::imaging_detail {

namespace {

constexpr int kMostBoxFactor = 16;
constexpr qint64 kBandPixels = qint64{1} << 20;

bool scalesInPlace(QImage::Format format) {
  return format == QImage::Format_RGB32 || format == QImage::Format_ARGB32_Premultiplied;
}

int boxFactor(QSize size, QSize target) {
  return std::clamp(std::min(size.width() / target.width(), size.height() / target.height()), 1, kMostBoxFactor);
}

int bandRows(QSize size, int factor) {
  const qint64 steps = std::max<qint64>(1, kBandPixels / (qint64{size.width()} * factor));
  return static_cast<int>(std::min<qint64>(steps * factor, size.height()));
}

QSize boxStep(QSize size, int factor) {
  return {(size.width() + factor - 1) / factor, (size.height() + factor - 1) / factor};
}

Error outOfMemory(QSize size) {
  return Error{QStringLiteral("there is not enough memory for a picture of %1 x %2 pixels")
                   .arg(size.width())
                   .arg(size.height())};
}

// A black-and-white picture steps down by whole bytes: each pixel of the
// step mixes the two colours as its block of 8 or 16 pixels a side has them,
// counted bit by bit, so that no row is ever widened.
QImage bilevelStep(const QImage& image, int factor) {
  const QSize step = boxStep(image.size(), factor);
  QImage reduced(step, QImage::Format_RGB32);
  if (reduced.isNull()) return {};
  const int blockBytes = factor / 8;
  const int wholeBlocks = image.width() / factor;
  const QRgb colours[2] = {image.color(0), image.color(1)};
  const bool lsb = image.format() == QImage::Format_MonoLSB;
  std::vector<int> ones(static_cast<std::size_t>(step.width()));
  for (int y = 0; y < step.height(); ++y) {
    std::fill(ones.begin(), ones.end(), 0);
    const int rows = std::min(factor, image.height() - y * factor);
    for (int row = 0; row < rows; ++row) {
      const uchar* line = image.constScanLine(y * factor + row);
      for (int block = 0; block < wholeBlocks; ++block) {
        for (int i = 0; i < blockBytes; ++i) ones[block] += std::popcount(line[block * blockBytes + i]);
      }
      for (int x = wholeBlocks * factor; x < image.width(); ++x) {  // the last block, cut by the edge
        ones[wholeBlocks] += (line[x / 8] >> (lsb ? x % 8 : 7 - x % 8)) & 1;
      }
    }
    auto* out = reinterpret_cast<QRgb*>(reduced.scanLine(y));
    for (int block = 0; block < step.width(); ++block) {
      const int pixels = rows * std::min(factor, image.width() - block * factor);
      const auto mix = [&](int (*channel)(QRgb)) {
        return (channel(colours[0]) * (pixels - ones[block]) + channel(colours[1]) * ones[block]) / pixels;
      };
      out[block] = qRgb(mix(qRed), mix(qGreen), mix(qBlue));
    }
  }
  return reduced;
}

bool stepsByBytes(const QImage& image, int factor) {
  const bool bilevel = image.format() == QImage::Format_Mono || image.format() == QImage::Format_MonoLSB;
  return bilevel && image.colorCount() == 2 && factor % 8 == 0;
}

// One band's rows of the step: black and white counted bit by bit, any
// other picture widened to 32 bits and box-averaged by Qt's smooth scaling.
QImage bandStep(const QImage& band, int factor, int stepWidth, QImage::Format wide) {
  if (stepsByBytes(band, factor)) return bilevelStep(band, factor).convertToFormat(wide);
  const int stepRows = (band.height() + factor - 1) / factor;
  return band.convertToFormat(wide).scaled(stepWidth, stepRows, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

}  // namespace

qint64 shrinkBytes(QSize size, QSize target, int bits) {
  const int factor = boxFactor(size, target);
  const QSize step = boxStep(size, factor);
  const qint64 rows = bandRows(size, factor);
  const qint64 band = (qint64{size.width()} * bits + 31) / 32 * 4 * rows;
  const qint64 widened = qint64{size.width()} * rows * 4;
  const qint64 stepped = qint64{step.width()} * ((rows + factor - 1) / factor) * 4;
  return band + widened + stepped + 4 * (qint64{step.width()} * step.height() + qint64{target.width()} * target.height());
}

QImage shrunk(const QImage& image, QSize target) {
  if (scalesInPlace(image.format())) return image.scaled(target, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
  const Result<QImage> reduced = shrunkInBands(image.size(), target, [&image](int top, int rows) -> Result<QImage> {
    QImage band = image.copy(0, top, image.width(), rows);
    if (band.isNull()) return outOfMemory(image.size());
    return band;
  });
  return reduced ? *reduced : QImage();
}

Result<QImage> shrunkInBands(QSize size, QSize target, const RowBand& band) {
  const int factor = boxFactor(size, target);
  const QSize step = boxStep(size, factor);
  const int rows = bandRows(size, factor);
  QImage reduced;  // made once the first band says whether the picture is transparent
  for (int top = 0; top < size.height(); top += rows) {
    const int height = std::min(rows, size.height() - top);
    const Result<QImage> rowsRead = band(top, height);
    if (!rowsRead) return rowsRead;
    if (rowsRead->size() != QSize(size.width(), height)) {
      return Error{QStringLiteral("the picture is damaged or incomplete")};
    }
    if (reduced.isNull()) {
      reduced = QImage(step, rowsRead->hasAlphaChannel() ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32);
      if (reduced.isNull()) return outOfMemory(size);
    }
    const QImage stepped = bandStep(*rowsRead, factor, step.width(), reduced.format());
    if (stepped.isNull()) return outOfMemory(size);
    const auto rowBytes = static_cast<std::size_t>(step.width()) * 4;
    for (int y = 0; y < stepped.height(); ++y) {
      std::memcpy(reduced.scanLine(top / factor + y), stepped.constScanLine(y), rowBytes);
    }
  }
  QImage small = reduced.scaled(target, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
  if (small.isNull()) return outOfMemory(size);
  return small;
}

}  // namespace lumaset::imaging_detail
