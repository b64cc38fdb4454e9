// The effects that look at a pixel's neighbourhood: 3 x 3 kernels in Q12
// fixed point, and the mosaic.

#include <array>
#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

#include "components/imaging/pixels/pixel_effects.h"
#include "components/imaging/pixels/pixel_support.h"

namespace lumaset {

namespace {

using pixels::Clamp255;
using pixels::Row;

constexpr int kFractionBits = 12;
constexpr std::int64_t kOne = std::int64_t{1} << kFractionBits;

// A kernel in fixed point, with what happens to each channel.
struct FixedKernel {
  std::array<std::int64_t, 9> weight{};  // row by row, Q12
  std::array<std::int64_t, 3> bias{};    // whole levels, per channel red, green, blue
  int mask = kMaskAll;
  int otherValue = -1;  // for channels outside the mask: -1 keeps them
};

Error outOfRange() { return Error{QStringLiteral("The filter's values are out of range.")}; }

// The weights of a real kernel, rounded to Q12; refused when not finite or absurdly large.
Result<FixedKernel> toFixed(const std::array<double, 9>& weights) {
  FixedKernel fixed;
  for (std::size_t i = 0; i < weights.size(); ++i) {
    const double scaled = weights[i] * static_cast<double>(kOne);
    if (!std::isfinite(scaled) || std::abs(scaled) > 1e15) return outOfRange();
    fixed.weight[i] = std::llround(scaled);
  }
  return fixed;
}

// Three padded rows of planar channels; index x + 1 holds pixel x, and the
// pads repeat the edge pixels.
class RowPlanes {
 public:
  explicit RowPlanes(int width) : stride_(width + 2), data_(static_cast<std::size_t>(9 * (width + 2))) {}

  void Load(int slot, const QRgb* row, int width) {
    std::int32_t* red = plane(slot, 0);
    std::int32_t* green = plane(slot, 1);
    std::int32_t* blue = plane(slot, 2);
    for (int x = 0; x < width; ++x) {
      red[x + 1] = qRed(row[x]);
      green[x + 1] = qGreen(row[x]);
      blue[x + 1] = qBlue(row[x]);
    }
    for (std::int32_t* channel : {red, green, blue}) {
      channel[0] = channel[1];
      channel[width + 1] = channel[width];
    }
  }
  std::int32_t* plane(int slot, int channel) {
    return data_.data() + static_cast<std::ptrdiff_t>((slot * 3 + channel) * stride_);
  }

 private:
  int stride_;
  std::vector<std::int32_t> data_;
};

// One channel of one row: the weighted sum over three padded rows, rounded
// and clamped. Built for plain x86-64 and for AVX2 (picked at run time);
// integer sums give the same bytes either way.
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__) && !defined(__SANITIZE_ADDRESS__)
#define LUMASET_VECTOR_CLONES __attribute__((target_clones("avx2", "default")))
#else
#define LUMASET_VECTOR_CLONES
#endif

template <typename Sum>
inline void convolveRow(const std::int64_t* weight, const std::int32_t* above, const std::int32_t* middle,
                        const std::int32_t* below, Sum bias, int width, std::uint8_t* out) {
  const Sum w0 = static_cast<Sum>(weight[0]), w1 = static_cast<Sum>(weight[1]), w2 = static_cast<Sum>(weight[2]),
            w3 = static_cast<Sum>(weight[3]), w4 = static_cast<Sum>(weight[4]), w5 = static_cast<Sum>(weight[5]),
            w6 = static_cast<Sum>(weight[6]), w7 = static_cast<Sum>(weight[7]), w8 = static_cast<Sum>(weight[8]);
  const Sum start = bias * static_cast<Sum>(kOne) + (Sum{1} << (kFractionBits - 1));
  for (int x = 0; x < width; ++x) {
    const Sum sum = start + w0 * above[x] + w1 * above[x + 1] + w2 * above[x + 2] + w3 * middle[x] +
                    w4 * middle[x + 1] + w5 * middle[x + 2] + w6 * below[x] + w7 * below[x + 1] +
                    w8 * below[x + 2];
    const Sum level = sum >> kFractionBits;
    out[x] = static_cast<std::uint8_t>(level < 0 ? 0 : level > 255 ? 255 : level);
  }
}

LUMASET_VECTOR_CLONES void convolve32(const std::int64_t* weight, const std::int32_t* above,
                                      const std::int32_t* middle, const std::int32_t* below, std::int32_t bias,
                                      int width, std::uint8_t* out) {
  convolveRow<std::int32_t>(weight, above, middle, below, bias, width, out);
}

LUMASET_VECTOR_CLONES void convolve64(const std::int64_t* weight, const std::int32_t* above,
                                      const std::int32_t* middle, const std::int32_t* below, std::int64_t bias,
                                      int width, std::uint8_t* out) {
  convolveRow<std::int64_t>(weight, above, middle, below, bias, width, out);
}

// Whether every sum of this kernel fits 32 bits.
bool fits32(const FixedKernel& kernel) {
  std::int64_t reach = kOne;
  for (const std::int64_t weight : kernel.weight) reach += std::abs(weight) * 255;
  for (const std::int64_t bias : kernel.bias) reach = std::max(reach, reach + std::abs(bias) * kOne);
  return reach < std::numeric_limits<std::int32_t>::max() / 2;
}

Result<QImage> convolve(const QImage& picture, const FixedKernel& kernel, PixelJob& job) {
  const QImage source = pixels::Held(picture);
  const int width = source.width();
  const int height = source.height();
  const bool narrow = fits32(kernel);
  return pixels::Produce(width, height, 1, job, [&](const pixels::Canvas& target, int firstRow, int endRow, const BandContext& context) {
    RowPlanes planes(width);
    std::vector<std::uint8_t> out(static_cast<std::size_t>(3 * width));
    const auto sourceRow = [&](int y) { return Row(source, std::clamp(y, 0, height - 1)); };
    int slot[3] = {0, 1, 2};  // above, middle, below
    planes.Load(slot[0], sourceRow(firstRow - 1), width);
    planes.Load(slot[1], sourceRow(firstRow), width);
    for (int y = firstRow; y < endRow; ++y) {
      if (context.stopped()) return;
      planes.Load(slot[2], sourceRow(y + 1), width);
      for (int channel = 0; channel < 3; ++channel) {
        if ((kernel.mask & (1 << channel)) == 0) continue;
        std::uint8_t* channelOut = out.data() + static_cast<std::ptrdiff_t>(channel * width);
        const std::int32_t* above = planes.plane(slot[0], channel);
        const std::int32_t* middle = planes.plane(slot[1], channel);
        const std::int32_t* below = planes.plane(slot[2], channel);
        const std::int64_t bias = kernel.bias[static_cast<std::size_t>(channel)];
        if (narrow) {
          convolve32(kernel.weight.data(), above, middle, below, static_cast<std::int32_t>(bias), width, channelOut);
        } else {
          convolve64(kernel.weight.data(), above, middle, below, bias, width, channelOut);
        }
      }
      const QRgb* in = Row(source, y);
      QRgb* line = target.row(y);
      if (kernel.mask == kMaskAll) {
        const std::uint8_t* red = out.data();
        const std::uint8_t* green = red + width;
        const std::uint8_t* blue = green + width;
        for (int x = 0; x < width; ++x) line[x] = 0xFF000000U | (QRgb{red[x]} << 16) | (QRgb{green[x]} << 8) | blue[x];
      } else for (int x = 0; x < width; ++x) {
        int levels[3] = {qRed(in[x]), qGreen(in[x]), qBlue(in[x])};
        for (int channel = 0; channel < 3; ++channel) {
          if ((kernel.mask & (1 << channel)) != 0) {
            levels[channel] = out[static_cast<std::size_t>(channel * width + x)];
          } else if (kernel.otherValue >= 0) {
            levels[channel] = kernel.otherValue;
          }
        }
        line[x] = qRgb(levels[0], levels[1], levels[2]);
      }
      const int first = slot[0];
      slot[0] = slot[1];
      slot[1] = slot[2];
      slot[2] = first;
    }
  });
}

std::array<double, 9> flat(const FilterKernel& kernel) {
  return {kernel[0][0], kernel[0][1], kernel[0][2], kernel[1][0], kernel[1][1],
          kernel[1][2], kernel[2][0], kernel[2][1], kernel[2][2]};
}

}  // namespace

Result<QImage> Blur(const QImage& source, int amount, PixelJob& job) {
  const std::int64_t a = std::clamp(amount, 0, 100);
  FixedKernel kernel;
  const std::int64_t corner = (256 * a + 50) / 100;  // a/100 · 1/16 in Q12
  const std::int64_t side = (512 * a + 50) / 100;    // a/100 · 2/16
  kernel.weight = {corner, side, corner, side, 0, side, corner, side, corner};
  kernel.weight[4] = kOne - 4 * corner - 4 * side;  // the weights sum to one exactly: flat stays flat
  return convolve(source, kernel, job);
}

Result<QImage> Sharpen(const QImage& source, int amount, PixelJob& job) {
  const std::int64_t a = std::clamp(amount, 0, 10000);
  const std::int64_t neighbour = (a * kOne + 50) / 100;
  FixedKernel kernel;
  kernel.weight.fill(-neighbour);
  kernel.weight[4] = kOne + 8 * neighbour;
  return convolve(source, kernel, job);
}

Result<QImage> Filter(const QImage& source, const FilterKernel& kernel, double factor, PixelJob& job) {
  std::array<double, 9> weights = flat(kernel);
  for (double& weight : weights) weight *= -factor;
  weights[4] += 1.0;
  auto fixed = toFixed(weights);
  if (!fixed) return Error{fixed.error()};
  return convolve(source, fixed.value(), job);
}

Result<QImage> FilterMasked(const QImage& source, const FilterKernel& kernel, double factor, int channelMask,
                            int bias, PixelJob& job) {
  std::array<double, 9> weights = flat(kernel);
  for (double& weight : weights) weight *= factor;
  auto fixed = toFixed(weights);
  if (!fixed) return Error{fixed.error()};
  const std::int64_t level = std::clamp(bias, -1024, 1024);
  fixed.value().bias = {level, level, level};
  fixed.value().mask = channelMask & kMaskAll;
  return convolve(source, fixed.value(), job);
}

Result<QImage> Emboss(const QImage& source, int dx, int dy, QRgb base, int channelMask, int otherValue,
                      PixelJob& job) {
  FixedKernel kernel;
  const int column = 1 + std::clamp(dx, -1, 1);
  const int row = 1 + std::clamp(dy, -1, 1);
  kernel.weight[4] += kOne;
  kernel.weight[static_cast<std::size_t>(row * 3 + column)] -= kOne;
  kernel.bias = {qRed(base), qGreen(base), qBlue(base)};
  kernel.mask = channelMask & kMaskAll;
  kernel.otherValue = otherValue < 0 ? -1 : std::min(otherValue, 255);
  return convolve(source, kernel, job);
}

Result<QImage> Mosaic(const QImage& picture, int blockWidth, int blockHeight, int channelMask, PixelJob& job) {
  if (blockWidth < 1 || blockHeight < 1) {
    return Error{QStringLiteral("%1 x %2 pixels is not a block size.").arg(blockWidth).arg(blockHeight)};
  }
  const QImage source = pixels::Held(picture);
  const int width = source.width();
  const int height = source.height();
  const int tileWidth = std::min(blockWidth, std::max(width, 1));
  const int tileHeight = std::min(blockHeight, std::max(height, 1));
  const int mask = channelMask & kMaskAll;
  const auto keep = [mask](int channel, int level, int mean) { return (mask & (1 << channel)) != 0 ? mean : level; };
  return pixels::Produce(width, height, tileHeight, job, [&](const pixels::Canvas& target, int firstRow, int endRow, const BandContext& context) {
    for (int top = firstRow; top < endRow; top += tileHeight) {
      if (context.stopped()) return;
      const int bottom = std::min(top + tileHeight, height);
      for (int left = 0; left < width; left += tileWidth) {
        const int right = std::min(left + tileWidth, width);
        std::int64_t sum[3] = {0, 0, 0};
        for (int y = top; y < bottom; ++y) {
          const QRgb* line = Row(source, y);
          for (int x = left; x < right; ++x) {
            sum[0] += qRed(line[x]);
            sum[1] += qGreen(line[x]);
            sum[2] += qBlue(line[x]);
          }
        }
        const std::int64_t count = static_cast<std::int64_t>(bottom - top) * (right - left);
        const int mean[3] = {static_cast<int>((sum[0] + count / 2) / count), static_cast<int>((sum[1] + count / 2) / count),
                             static_cast<int>((sum[2] + count / 2) / count)};
        for (int y = top; y < bottom; ++y) {
          const QRgb* in = Row(source, y);
          QRgb* out = target.row(y);
          for (int x = left; x < right; ++x) {
            out[x] = qRgb(keep(0, qRed(in[x]), mean[0]), keep(1, qGreen(in[x]), mean[1]), keep(2, qBlue(in[x]), mean[2]));
          }
        }
      }
    }
  });
}

}  // namespace lumaset
