// The effects that change each pixel on its own, and the exact turns.

#include <algorithm>
#include <array>
#include <cstdlib>

#include "components/imaging/pixels/color_tools.h"
#include "components/imaging/pixels/pixel_effects.h"
#include "components/imaging/pixels/pixel_support.h"

namespace lumaset {

namespace {

using pixels::Row;

// Every pixel through `change`, on its own.
template <typename Change>
Result<QImage> eachPixel(const QImage& picture, PixelJob& job, Change change) {
  const int width = picture.width();
  return pixels::EachRow(picture, job, [&](const QRgb* in, QRgb* out, int) {
    for (int x = 0; x < width; ++x) out[x] = change(in[x]);
  });
}

}  // namespace

Result<QImage> Grayscale(const QImage& source, PixelJob& job) {
  return eachPixel(source, job, [](QRgb pixel) {
    const int luma = (299 * qRed(pixel) + 587 * qGreen(pixel) + 114 * qBlue(pixel) + 500) / 1000;
    return qRgb(luma, luma, luma);
  });
}

Result<QImage> MapChannels(const QImage& source, const ChannelTable& table, PixelJob& job) {
  return eachPixel(source, job, [&table](QRgb pixel) {
    return qRgb(table[static_cast<std::size_t>(qRed(pixel))], table[static_cast<std::size_t>(qGreen(pixel))],
                table[static_cast<std::size_t>(qBlue(pixel))]);
  });
}

Result<QImage> Colorize(const QImage& source, QRgb target, bool hue, bool saturation, bool luminance,
                        PixelJob& job) {
  const ByteTriple goal = RgbToHsl(static_cast<std::uint8_t>(qRed(target)), static_cast<std::uint8_t>(qGreen(target)),
                                   static_cast<std::uint8_t>(qBlue(target)));
  if (hue && saturation) {
    // Only the pixel's luminance is left of it: one colour per luminance.
    std::array<QRgb, 256> byLuminance{};
    for (int level = 0; level < 256; ++level) {
      const auto l = static_cast<std::uint8_t>(level);
      const ByteTriple rgb = HslToRgb(goal.c1, goal.c2, luminance ? goal.c3 : l);
      byLuminance[static_cast<std::size_t>(level)] = qRgb(rgb.c1, rgb.c2, rgb.c3);
    }
    return eachPixel(source, job, [&byLuminance](QRgb pixel) {
      const int sum = std::max({qRed(pixel), qGreen(pixel), qBlue(pixel)}) + std::min({qRed(pixel), qGreen(pixel), qBlue(pixel)});
      return byLuminance[static_cast<std::size_t>((sum + 1) / 2)];  // RgbToHsl's luminance
    });
  }
  return eachPixel(source, job, [=](QRgb pixel) {
    ByteTriple hsl = RgbToHsl(static_cast<std::uint8_t>(qRed(pixel)), static_cast<std::uint8_t>(qGreen(pixel)),
                              static_cast<std::uint8_t>(qBlue(pixel)));
    if (hue) hsl.c1 = goal.c1;
    if (saturation) hsl.c2 = goal.c2;
    if (luminance) hsl.c3 = goal.c3;
    const ByteTriple rgb = HslToRgb(hsl.c1, hsl.c2, hsl.c3);
    return qRgb(rgb.c1, rgb.c2, rgb.c3);
  });
}

Result<QImage> ReplaceColor(const QImage& source, QRgb oldColor, QRgb newColor, int tolerance, PixelJob& job) {
  const QRgb replacement = newColor | 0xFF000000U;
  return eachPixel(source, job, [=](QRgb pixel) {
    const int distance = std::abs(qRed(pixel) - qRed(oldColor)) + std::abs(qGreen(pixel) - qGreen(oldColor)) +
                         std::abs(qBlue(pixel) - qBlue(oldColor));
    return distance <= tolerance ? replacement : pixel;
  });
}

Result<QImage> Mirror(const QImage& picture, PixelJob& job) {
  const QImage source = pixels::Held(picture);
  const int width = source.width();
  return pixels::Produce(width, source.height(), 1, job,
                         [&](const pixels::Canvas& target, int firstRow, int endRow, const BandContext& context) {
                           for (int y = firstRow; y < endRow; ++y) {
                             if (context.stopped()) return;
                             std::reverse_copy(Row(source, y), Row(source, y) + width, target.row(y));
                           }
                         });
}

// Quarter turns work on the target's rows; each band reads a strip of the
// source's columns, so it walks down the source only once.
Result<QImage> QuarterTurn(const QImage& picture, int quarters, PixelJob& job) {
  const QImage source = pixels::Held(picture);
  const int width = source.width();
  const int height = source.height();
  const int turn = ((quarters % 4) + 4) % 4;
  if (turn == 0) return pixels::Produce(width, height, 1, job, [&](const pixels::Canvas& target, int firstRow, int endRow, const BandContext&) {
    for (int y = firstRow; y < endRow; ++y) std::copy_n(Row(source, y), width, target.row(y));
  });
  if (turn == 2) return pixels::Produce(width, height, 1, job, [&](const pixels::Canvas& target, int firstRow, int endRow, const BandContext& context) {
    for (int y = firstRow; y < endRow; ++y) {
      if (context.stopped()) return;
      std::reverse_copy(Row(source, height - 1 - y), Row(source, height - 1 - y) + width, target.row(y));
    }
  });
  const bool clockwise = turn == 1;
  // Source rows are taken a block at a time, so that each target row is
  // written in runs of a whole cache line instead of one pixel per line;
  // the pixels are reached through the rows' addresses, not Qt's calls.
  constexpr int kBlock = 16;
  const uchar* const bits = source.constBits();
  const qsizetype stride = source.bytesPerLine();
  return pixels::Produce(height, width, 1, job, [&](const pixels::Canvas& target, int firstRow, int endRow, const BandContext& context) {
    for (int y0 = 0; y0 < height; y0 += kBlock) {
      if (context.stopped()) return;
      const int count = std::min(height - y0, kBlock);
      for (int row = firstRow; row < endRow; ++row) {
        // clockwise: target (h − 1 − y, x) = source (x, y); the other way: target (y, w − 1 − x) = source (x, y)
        const int x = clockwise ? row : width - 1 - row;
        const uchar* in = bits + static_cast<qsizetype>(y0) * stride + static_cast<qsizetype>(x) * 4;
        QRgb* out = target.row(row) + (clockwise ? height - 1 - y0 : y0);
        const int step = clockwise ? -1 : 1;
        for (int i = 0; i < count; ++i, in += stride, out += step) *out = *reinterpret_cast<const QRgb*>(in);
      }
    }
  });
}

}  // namespace lumaset
