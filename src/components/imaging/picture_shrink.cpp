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

// Any other picture steps down a band of rows at a time, each band widened
// to 32 bits and box-averaged by Qt's smooth scaling.
QImage bandStep(const QImage& image, int factor) {
  const QImage::Format wide = image.hasAlphaChannel() ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32;
  const QSize step = boxStep(image.size(), factor);
  QImage reduced(step, wide);
  if (reduced.isNull()) return {};
  const int rows = bandRows(image.size(), factor);
  const auto rowBytes = static_cast<std::size_t>(step.width()) * 4;
  for (int top = 0; top < image.height(); top += rows) {
    const int height = std::min(rows, image.height() - top);
    const int stepRows = (height + factor - 1) / factor;
    const QImage band = image.copy(0, top, image.width(), height)
                            .convertToFormat(wide)
                            .scaled(step.width(), stepRows, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    if (band.isNull()) return {};
    for (int y = 0; y < stepRows; ++y) std::memcpy(reduced.scanLine(top / factor + y), band.constScanLine(y), rowBytes);
  }
  return reduced;
}

}  // namespace

qint64 shrinkBytes(QSize size, QSize target) {
  const int factor = boxFactor(size, target);
  const QSize step = boxStep(size, factor);
  const qint64 band = qint64{size.width()} * bandRows(size, factor) * 4;
  return 2 * band + 4 * (qint64{step.width()} * step.height() + qint64{target.width()} * target.height());
}

QImage shrunk(const QImage& image, QSize target) {
  if (scalesInPlace(image.format())) return image.scaled(target, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
  const int factor = boxFactor(image.size(), target);
  const QImage step = stepsByBytes(image, factor) ? bilevelStep(image, factor) : bandStep(image, factor);
  return step.isNull() ? QImage() : step.scaled(target, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

}  // namespace lumaset::imaging_detail
