#include "components/imaging/pixels/color_reduce.h"

#include <QFile>

#include <algorithm>
#include <cstdint>

#include "components/imaging/pixels/pixel_support.h"

namespace lumaset {

namespace {

using pixels::Row;

// ---- median cut ----------------------------------------------------------------

constexpr int kCellBits = 5;
constexpr int kSide = 1 << kCellBits;  // cells per channel
constexpr int kCells = kSide * kSide * kSide;

constexpr int cellOf(int red, int green, int blue) {
  return ((red >> 3) << (2 * kCellBits)) | ((green >> 3) << kCellBits) | (blue >> 3);
}
constexpr int cellAt(const std::array<int, 3>& at) { return (at[0] << (2 * kCellBits)) | (at[1] << kCellBits) | at[2]; }

struct Cell {
  std::uint64_t count = 0;
  std::uint64_t sum[3] = {0, 0, 0};
};
using Histogram = std::vector<Cell>;

struct Box {
  std::array<int, 3> low{};
  std::array<int, 3> high{};
  std::uint64_t population = 0;
};

// Counts per worker, added up after: sums of integers do not depend on the order.
Result<Histogram> histogram(const QImage& source, PixelJob& job) {
  std::vector<Histogram> parts(static_cast<std::size_t>(job.threads()));
  const int width = source.width();
  const bool done = job.Run(source.height(), 1, [&](int firstRow, int endRow, const BandContext& context) {
    Histogram& part = parts[static_cast<std::size_t>(context.worker())];
    if (part.empty()) part.resize(kCells);
    for (int y = firstRow; y < endRow; ++y) {
      if (context.stopped()) return;
      const QRgb* line = Row(source, y);
      for (int x = 0; x < width; ++x) {
        const int red = qRed(line[x]), green = qGreen(line[x]), blue = qBlue(line[x]);
        Cell& cell = part[static_cast<std::size_t>(cellOf(red, green, blue))];
        ++cell.count;
        cell.sum[0] += static_cast<std::uint64_t>(red);
        cell.sum[1] += static_cast<std::uint64_t>(green);
        cell.sum[2] += static_cast<std::uint64_t>(blue);
      }
    }
  }, 1, 30);
  if (!done) return CancelledError();
  Histogram total(kCells);
  for (const Histogram& part : parts) {
    if (part.empty()) continue;
    for (std::size_t i = 0; i < total.size(); ++i) {
      total[i].count += part[i].count;
      for (int c = 0; c < 3; ++c) total[i].sum[c] += part[i].sum[c];
    }
  }
  return total;
}

template <typename Visit>
void eachCell(const Box& box, Visit visit) {
  std::array<int, 3> at{};
  for (at[0] = box.low[0]; at[0] <= box.high[0]; ++at[0])
    for (at[1] = box.low[1]; at[1] <= box.high[1]; ++at[1])
      for (at[2] = box.low[2]; at[2] <= box.high[2]; ++at[2]) visit(at);
}

// The box shrunk to the cells it holds pixels in, with its population.
Box shrink(const Histogram& counts, const Box& box) {
  Box tight{{kSide, kSide, kSide}, {-1, -1, -1}, 0};
  eachCell(box, [&](const std::array<int, 3>& at) {
    const std::uint64_t count = counts[static_cast<std::size_t>(cellAt(at))].count;
    if (count == 0) return;
    tight.population += count;
    for (int c = 0; c < 3; ++c) {
      tight.low[c] = std::min(tight.low[c], at[c]);
      tight.high[c] = std::max(tight.high[c], at[c]);
    }
  });
  return tight;
}

// The box halved at the median of its longest side.
std::pair<Box, Box> split(const Histogram& counts, const Box& box) {
  int axis = 0;
  for (int c = 1; c < 3; ++c) {
    if (box.high[c] - box.low[c] > box.high[axis] - box.low[axis]) axis = c;
  }
  std::vector<std::uint64_t> slice(static_cast<std::size_t>(kSide), 0);
  eachCell(box, [&](const std::array<int, 3>& at) {
    slice[static_cast<std::size_t>(at[axis])] += counts[static_cast<std::size_t>(cellAt(at))].count;
  });
  int cut = box.low[axis];
  std::uint64_t below = slice[static_cast<std::size_t>(cut)];
  while (cut < box.high[axis] - 1 && 2 * below < box.population) below += slice[static_cast<std::size_t>(++cut)];
  Box lower = box;
  Box upper = box;
  lower.high[axis] = cut;
  upper.low[axis] = cut + 1;
  return {shrink(counts, lower), shrink(counts, upper)};
}

QRgb meanColor(const Histogram& counts, const Box& box) {
  std::uint64_t sum[3] = {0, 0, 0};
  std::uint64_t count = 0;
  eachCell(box, [&](const std::array<int, 3>& at) {
    const Cell& cell = counts[static_cast<std::size_t>(cellAt(at))];
    count += cell.count;
    for (int c = 0; c < 3; ++c) sum[c] += cell.sum[c];
  });
  const auto mean = [count](std::uint64_t total) { return static_cast<int>((total + count / 2) / count); };
  return qRgb(mean(sum[0]), mean(sum[1]), mean(sum[2]));
}

// ---- nearest colour ------------------------------------------------------------

// For each cell of the colour cube, the palette entries that can be nearest to
// some colour in it: those whose least distance to the cell is not above the
// smallest greatest distance of any entry. Searching them gives the same
// answer as searching the whole palette.
class NearestColor {
 public:
  NearestColor(const std::vector<QRgb>& palette, PixelJob& job) : offsets_(kCells + 1, 0) {
    for (const QRgb color : palette) channels_.push_back({qRed(color), qGreen(color), qBlue(color)});
    std::vector<std::vector<std::uint8_t>> lists(kCells);
    const bool done = job.Run(kSide * kSide, 1, [&](int first, int end, const BandContext& context) {
      std::vector<int> least(channels_.size());
      for (int redGreen = first; redGreen < end; ++redGreen) {
        if (context.stopped()) return;
        for (int blue = 0; blue < kSide; ++blue) {
          const int cell = redGreen * kSide + blue;
          fill(cell, least, lists[static_cast<std::size_t>(cell)]);
        }
      }
    }, 30, 40);
    complete_ = done;
    for (int cell = 0; cell < kCells; ++cell) {
      offsets_[static_cast<std::size_t>(cell) + 1] =
          offsets_[static_cast<std::size_t>(cell)] + static_cast<std::uint32_t>(lists[static_cast<std::size_t>(cell)].size());
    }
    candidates_.reserve(offsets_.back());
    for (const auto& list : lists) candidates_.insert(candidates_.end(), list.begin(), list.end());
  }

  bool complete() const { return complete_; }

  int Find(int red, int green, int blue) const {
    const std::size_t cell = static_cast<std::size_t>(cellOf(red, green, blue));
    int best = 0;
    int bestDistance = 1 << 30;
    for (std::uint32_t i = offsets_[cell]; i < offsets_[cell + 1]; ++i) {
      const int entry = candidates_[i];
      const auto& c = channels_[static_cast<std::size_t>(entry)];
      const int dr = red - c[0], dg = green - c[1], db = blue - c[2];
      const int distance = dr * dr + dg * dg + db * db;
      if (distance < bestDistance) {
        bestDistance = distance;
        best = entry;
      }
    }
    return best;
  }
  const std::array<int, 3>& Color(int entry) const { return channels_[static_cast<std::size_t>(entry)]; }

 private:
  void fill(int cell, std::vector<int>& least, std::vector<std::uint8_t>& list) const {
    const int low[3] = {(cell >> (2 * kCellBits)) << 3, ((cell >> kCellBits) & (kSide - 1)) << 3, (cell & (kSide - 1)) << 3};
    int bound = 1 << 30;
    for (std::size_t i = 0; i < channels_.size(); ++i) {
      int near = 0, far = 0;
      for (int c = 0; c < 3; ++c) {
        const int v = channels_[i][static_cast<std::size_t>(c)];
        const int lo = low[c], hi = low[c] + 7;
        const int gap = v < lo ? lo - v : v > hi ? v - hi : 0;
        const int reach = std::max(std::abs(v - lo), std::abs(v - hi));
        near += gap * gap;
        far += reach * reach;
      }
      least[i] = near;
      bound = std::min(bound, far);
    }
    for (std::size_t i = 0; i < channels_.size(); ++i) {
      if (least[i] <= bound) list.push_back(static_cast<std::uint8_t>(i));
    }
  }

  std::vector<std::array<int, 3>> channels_;
  std::vector<std::uint32_t> offsets_;
  std::vector<std::uint8_t> candidates_;
  bool complete_ = false;
};

// ---- diffusion -----------------------------------------------------------------

// Bands are cut at multiples of this many rows, and each starts its error
// diffusion this many rows above its first row, so that a band's top row
// meets errors much like those the rows above would hand it.
constexpr int kDiffusionRows = 64;
constexpr int kLeadRows = 8;

void diffuseBand(const QImage& source, const pixels::Canvas& target, const NearestColor& nearest, int firstRow, int endRow,
                 const BandContext& context) {
  const int width = source.width();
  const std::size_t stride = static_cast<std::size_t>(width) + 2;
  // Errors in sixteenths, per channel, for this row and the next; index x + 1 is pixel x.
  std::vector<int> here(3 * stride, 0);
  std::vector<int> next(3 * stride, 0);
  for (int y = std::max(0, firstRow - kLeadRows); y < endRow; ++y) {
    if (context.stopped()) return;
    const QRgb* in = Row(source, y);
    QRgb* out = y >= firstRow ? target.row(y) : nullptr;
    int* hereRed = here.data();
    int* hereGreen = hereRed + stride;
    int* hereBlue = hereGreen + stride;
    int* nextRed = next.data();
    int* nextGreen = nextRed + stride;
    int* nextBlue = nextGreen + stride;
    for (int x = 0; x < width; ++x) {
      const std::size_t at = static_cast<std::size_t>(x) + 1;
      const int red = std::clamp(qRed(in[x]) + ((hereRed[at] + 8) >> 4), 0, 255);
      const int green = std::clamp(qGreen(in[x]) + ((hereGreen[at] + 8) >> 4), 0, 255);
      const int blue = std::clamp(qBlue(in[x]) + ((hereBlue[at] + 8) >> 4), 0, 255);
      const auto& chosen = nearest.Color(nearest.Find(red, green, blue));
      if (out) out[x] = qRgb(chosen[0], chosen[1], chosen[2]);
      const int error[3] = {red - chosen[0], green - chosen[1], blue - chosen[2]};
      int* const heres[3] = {hereRed, hereGreen, hereBlue};
      int* const nexts[3] = {nextRed, nextGreen, nextBlue};
      for (int c = 0; c < 3; ++c) {
        heres[c][at + 1] += 7 * error[c];
        nexts[c][at - 1] += 3 * error[c];
        nexts[c][at] += 5 * error[c];
        nexts[c][at + 1] += error[c];
      }
    }
    here.swap(next);
    std::fill(next.begin(), next.end(), 0);
  }
}

}  // namespace

Result<std::vector<QRgb>> MedianCut(const QImage& picture, int colors, PixelJob& job) {
  const QImage source = pixels::Held(picture);
  if (source.isNull()) return Error{QStringLiteral("No picture is loaded.")};
  const auto counts = histogram(source, job);
  if (!counts) return Error{counts.error(), counts.cancelled()};
  const std::size_t wanted = static_cast<std::size_t>(std::clamp(colors, 2, 256));
  std::vector<Box> boxes{shrink(counts.value(), Box{{0, 0, 0}, {kSide - 1, kSide - 1, kSide - 1}, 0})};
  while (boxes.size() < wanted) {
    std::size_t pick = boxes.size();
    for (std::size_t i = 0; i < boxes.size(); ++i) {
      const Box& box = boxes[i];
      if (box.low == box.high) continue;  // one cell: cannot be halved
      if (pick == boxes.size() || box.population > boxes[pick].population) pick = i;
    }
    if (pick == boxes.size()) break;
    auto [lower, upper] = split(counts.value(), boxes[pick]);
    boxes[pick] = lower;
    boxes.push_back(upper);
  }
  std::vector<QRgb> palette;
  palette.reserve(boxes.size());
  for (const Box& box : boxes) palette.push_back(meanColor(counts.value(), box));
  return palette;
}

Result<QImage> DiffuseToPalette(const QImage& picture, const std::vector<QRgb>& palette, PixelJob& job) {
  if (palette.empty() || palette.size() > 256) return Error{QStringLiteral("A palette needs 1 to 256 colours.")};
  const QImage source = pixels::Held(picture);
  const NearestColor nearest(palette, job);
  if (!nearest.complete()) return CancelledError();
  const int width = source.width();
  const int height = source.height();
  if (width <= 0 || height <= 0) return Error{QStringLiteral("No picture is loaded.")};
  QImage target = pixels::NewPicture(width, height);
  if (target.isNull()) return pixels::MemoryError(width, height);
  const pixels::Canvas canvas(target);
  const bool done = job.Run(height, kDiffusionRows, [&](int firstRow, int endRow, const BandContext& context) {
    diffuseBand(source, canvas, nearest, firstRow, endRow, context);
  }, 40, 99);
  if (!done) return CancelledError();
  return target;
}

Result<QImage> Dither(const QImage& source, int colors, PixelJob& job) {
  const auto palette = MedianCut(source, colors, job);
  if (!palette) return Error{palette.error(), palette.cancelled()};
  return DiffuseToPalette(source, palette.value(), job);
}

Result<Palette256> ReadPaletteFile(const QString& path) {
  const Error invalid{path + QStringLiteral(" is not a valid palette file.")};
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) {
    return Error{QStringLiteral("Palette file open error: ") + file.errorString()};
  }
  const QByteArray bytes = file.read(769);
  if (bytes.size() != 768) return invalid;
  Palette256 palette{};
  for (std::size_t i = 0; i < palette.size(); ++i) {
    const auto level = [&](std::size_t offset) { return static_cast<unsigned char>(bytes[static_cast<qsizetype>(3 * i + offset)]); };
    if (level(0) > 63 || level(1) > 63 || level(2) > 63) return invalid;
    palette[i] = qRgb(4 * level(0), 4 * level(1), 4 * level(2));
  }
  return palette;
}

}  // namespace lumaset
