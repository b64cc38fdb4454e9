// The picture decoded as the file stores it, a plane of samples for each
// component at its own sampling (no colour conversion, nothing
// upsampled), each plane turned and compressed again with the file's own
// tables and sampling (turned with it): so compressing again meets the very
// samples the original held, but where a component sampled coarser than
// the picture has a cell cut at an edge that moves.

#include <algorithm>
#include <cmath>
#include <memory>
#include <new>
#include <vector>

#include "components/imaging/decode_memory.h"
#include "components/imaging/jpeg/jpeg_turn_parts.h"

namespace lumaset::imaging_detail {

namespace {

using Samples = std::unique_ptr<JSAMPLE[]>;

Samples sampleMemory(std::size_t bytes) { return Samples(new (std::nothrow) JSAMPLE[std::max<std::size_t>(bytes, 1)]); }

// One component's samples as decoded: rows padded to whole blocks, in
// whole rows of MCUs.
struct Plane {
  Samples samples;
  std::size_t stride = 0;
  int width = 0, height = 0;  // the samples that belong to the picture
  const JSAMPLE* row(int y) const { return samples.get() + stride * static_cast<std::size_t>(y); }
  JSAMPLE* row(int y) { return samples.get() + stride * static_cast<std::size_t>(y); }
};

// Where an edge that moves cuts a cell of the pixels a sample covers (2 x 2
// in 4:2:0; a side of 45 pixels ends in half a cell), the turned picture's
// cells straddle two of the original's each: along that side every sample
// becomes the mean of the original's samples over the pixels its turned
// cell will cover, counted from the far end. Sample `k` of `count`, along a
// side of `pixels` pixels and `cell` to a sample, takes the samples that
// `take` is told of (each as often as it covers a pixel of the cell), and
// how many; in place, from the last, which reads only samples before it.
template <typename Take>
void recentre(int count, int pixels, int cell, const Take& take) {
  const int shift = pixels - count * cell;  // where the first cell counted from the far end begins
  for (int k = count - 1; k >= 0; --k) {
    const int first = std::max(shift + k * cell, 0), end = shift + (k + 1) * cell;
    take(k, first / cell, (end - 1) / cell, end - first, first / cell == (end - 1) / cell ? end - first : cell - first % cell);
  }
}

void recentreAcross(Plane& plane, int pixels, int cell) {
  for (int y = 0; y < plane.height; ++y) {
    JSAMPLE* row = plane.row(y);
    recentre(plane.width, pixels, cell, [row](int k, int from, int to, int covered, int fromCovers) {
      const int sum = row[from] * fromCovers + row[to] * (covered - fromCovers);
      row[k] = static_cast<JSAMPLE>((sum + covered / 2) / covered);
    });
  }
}

void recentreDown(Plane& plane, int pixels, int cell) {
  recentre(plane.height, pixels, cell, [&plane](int k, int from, int to, int covered, int fromCovers) {
    const JSAMPLE *first = plane.row(from), *second = plane.row(to);
    JSAMPLE* row = plane.row(k);
    for (int x = 0; x < plane.width; ++x) {
      const int sum = first[x] * fromCovers + second[x] * (covered - fromCovers);
      row[x] = static_cast<JSAMPLE>((sum + covered / 2) / covered);
    }
  });
}

// How one component of the turned picture takes its samples from the
// original's plane: the turned sample at x, y is the original's sample at
// its place, once the plane is recentred along each side whose cells an
// edge that moves cuts.
class PlaneTurn {
 public:
  PlaneTurn(Plane& plane, Turn turn, const jpeg_decompress_struct& in, int c) : plane_(plane), turn_(turn) {
    const jpeg_component_info& component = in.comp_info[c];
    const int mostAcross = in.max_h_samp_factor, mostDown = in.max_v_samp_factor;
    width_ = turn.transpose ? plane.height : plane.width;
    height_ = turn.transpose ? plane.width : plane.height;
    // Sampling that is no whole fraction of the picture's is taken as it is.
    if (mostAcross % component.h_samp_factor != 0 || mostDown % component.v_samp_factor != 0) return;
    const int across = mostAcross / component.h_samp_factor, down = mostDown / component.v_samp_factor;
    const auto width = static_cast<int>(in.image_width), height = static_cast<int>(in.image_height);
    // The original's rows move across the turned picture, or down it.
    const bool acrossMoves = turn.transpose ? turn.mirrorDown : turn.mirrorAcross;
    const bool downMoves = turn.transpose ? turn.mirrorAcross : turn.mirrorDown;
    if (acrossMoves && width % across != 0) recentreAcross(plane, width, across);
    if (downMoves && height % down != 0) recentreDown(plane, height, down);
  }

  int width() const { return width_; }
  int height() const { return height_; }
  const Plane& plane() const { return plane_; }
  Turn turn() const { return turn_; }

  // Where the original's sample for x, y of the turned plane lies.
  const JSAMPLE* placeOf(int x, int y) const {
    const auto [fromX, fromY] = sourceOf(turn_, x, y, width_, height_);
    return plane_.row(fromY) + fromX;
  }

 private:
  const Plane& plane_;
  Turn turn_;
  int width_ = 0, height_ = 0;  // the turned plane's own samples
};

// A turn that transposes goes over the turned rows in tiles of this many
// rows and columns, a row of the original giving each tile's column: so
// it keeps to a few dozen pages at a time on either side.
constexpr int kTile = 32;

// A turn reads down the columns of the original: it reads the rows of this
// many pixels together, so that each row of the original gives a cache
// line's run, not a sample.
constexpr int kBandRows = 64;

// Room for a band of rows of MCUs of every component; libjpeg reads and
// writes raw samples a row of MCUs at a time.
struct McuBand {
  int mcuRows = 1;
  Samples samples;  // every component's
  std::vector<std::vector<JSAMPROW>> rows;     // each component's rows, all of the band
  std::vector<std::vector<JSAMPARRAY>> images;  // for each row of MCUs, each component's rows

  // False when there is no memory for it.
  bool makeFor(const jpeg_component_info* info, int count, int mostDown) {
    mcuRows = std::max(1, kBandRows / (mostDown * DCTSIZE));
    std::size_t bytes = 0;
    for (int c = 0; c < count; ++c)
      bytes += std::size_t{info[c].width_in_blocks} * DCTSIZE * info[c].v_samp_factor * DCTSIZE * mcuRows;
    samples = sampleMemory(bytes);
    if (!samples) return false;
    rows.resize(static_cast<std::size_t>(count));
    images.resize(static_cast<std::size_t>(mcuRows));
    JSAMPLE* next = samples.get();
    for (int c = 0; c < count; ++c) {
      const std::size_t stride = std::size_t{info[c].width_in_blocks} * DCTSIZE;
      const int mcuRowRows = info[c].v_samp_factor * DCTSIZE;
      for (int y = 0; y < mcuRowRows * mcuRows; ++y, next += stride) rows[c].push_back(next);
      for (int i = 0; i < mcuRows; ++i) images[i].push_back(rows[c].data() + i * mcuRowRows);
    }
    return true;
  }
};

// Each component's rows of one row of MCUs, where libjpeg reads them to.
struct RowPointers {
  std::vector<std::vector<JSAMPROW>> rows;
  std::vector<JSAMPARRAY> image;
};

bool readPlanes(TurnWork& work, std::vector<Plane>& planes, RowPointers& mcuRows) {
  jpeg_decompress_struct& in = work.original.info;
  if (setjmp(work.original.errors.jump)) return false;
  in.raw_data_out = TRUE;
  in.do_block_smoothing = FALSE;
  in.dct_method = JDCT_ISLOW;
  WorkProgress::Stage(0, 0.35);
  jpeg_start_decompress(&in);
  planes.resize(static_cast<std::size_t>(in.num_components));
  for (int c = 0; c < in.num_components; ++c) {
    const jpeg_component_info& component = in.comp_info[c];
    Plane& plane = planes[c];
    plane.stride = std::size_t{component.width_in_blocks} * DCTSIZE;
    plane.width = static_cast<int>(component.downsampled_width);
    plane.height = static_cast<int>(component.downsampled_height);
    const std::size_t rows = std::size_t{in.total_iMCU_rows} * component.v_samp_factor * DCTSIZE;
    plane.samples = sampleMemory(plane.stride * rows);
    if (!plane.samples) ERREXIT(&in, JERR_OUT_OF_MEMORY);
    mcuRows.rows.emplace_back(static_cast<std::size_t>(component.v_samp_factor) * DCTSIZE);
    mcuRows.image.push_back(mcuRows.rows[c].data());
  }
  const auto mcuHeight = static_cast<JDIMENSION>(in.max_v_samp_factor * DCTSIZE);
  while (in.output_scanline < in.output_height) {
    const JDIMENSION mcuRow = in.output_scanline / mcuHeight;
    for (int c = 0; c < in.num_components; ++c) {
      const auto height = static_cast<int>(mcuRows.rows[c].size());
      for (int y = 0; y < height; ++y) mcuRows.rows[c][y] = planes[c].row(static_cast<int>(mcuRow) * height + y);
    }
    jpeg_read_raw_data(&in, mcuRows.image.data(), mcuHeight);
  }
  return readWhole(work.original);
}

// Rows `top` .. `top` + `rows` - 1 of the turned plane (those of them it
// has) into `out`.
void turnRows(const PlaneTurn& turned, int top, int rows, JSAMPARRAY out) {
  const int width = turned.width(), height = turned.height();
  rows = std::min(rows, height - top);
  const Plane& plane = turned.plane();
  const Turn turn = turned.turn();
  if (turn.transpose) {
    // Each column of the turned rows lies along one row of the original.
    JSAMPLE tile[kTile][kTile];
    for (int left = 0; left < width; left += kTile) {
      const int columns = std::min(kTile, width - left);
      for (int first = 0; first < rows; first += kTile) {
        const int count = std::min(kTile, rows - first);
        for (int x = 0; x < columns; ++x) {
          const JSAMPLE* from = plane.row(turn.mirrorAcross ? width - 1 - left - x : left + x);
          for (int r = 0; r < count; ++r) tile[r][x] = from[turn.mirrorDown ? height - 1 - top - first - r : top + first + r];
        }
        for (int r = 0; r < count; ++r) std::copy_n(tile[r], columns, out[first + r] + left);
      }
    }
    return;
  }
  for (int r = 0; r < rows; ++r) {
    const JSAMPLE* from = plane.row(turn.mirrorDown ? height - 1 - top - r : top + r);
    if (turn.mirrorAcross) {
      std::reverse_copy(from, from + width, out[r]);
    } else {
      std::copy_n(from, width, out[r]);
    }
  }
}

// The samples past the turned plane's edge, as far as its blocks reach,
// repeat its last column and row, as an encoder pads a picture.
void padRows(int top, int rows, int width, int height, std::size_t stride, JSAMPARRAY out) {
  const int own = std::min(rows, height - top);
  for (int r = 0; r < own; ++r) std::fill(out[r] + width, out[r] + stride, out[r][width - 1]);
  for (int r = std::max(own, 0); r < rows; ++r) {
    if (own > 0) std::copy_n(out[own - 1], stride, out[r]);
  }
}

// The encoder set up. Samples compressed again come close to the
// original's, and so do their symbols: tables like the original's code them
// in one pass, where tables made for them would take a pass to count them
// first, with every block held meanwhile.
bool startWriting(TurnWork& work, JpegWriter& writer, TurnStream& stream) {
  if (setjmp(work.original.errors.jump)) return false;
  startWriter(writer, work.original, work.turn, stream, work.memoryLimit);
  jpeg_compress_struct& out = writer.info;
  if (out.optimize_coding && !out.arith_code && !work.original.info.progressive_mode &&
      makeTablesLike(work.original.info, out))
    out.optimize_coding = FALSE;
  return true;
}

bool writePlanes(TurnWork& work, JpegWriter& writer, const std::vector<PlaneTurn>& planes, McuBand& band) {
  if (setjmp(work.original.errors.jump)) return false;
  jpeg_compress_struct& out = writer.info;
  out.raw_data_in = TRUE;
  WorkProgress::Stage(0.35, 1);
  jpeg_start_compress(&out, TRUE);
  if (!band.makeFor(out.comp_info, out.num_components, out.max_v_samp_factor)) ERREXIT(&out, JERR_OUT_OF_MEMORY);
  const auto mcuHeight = static_cast<JDIMENSION>(out.max_v_samp_factor * DCTSIZE);
  while (out.next_scanline < out.image_height) {
    const auto first = static_cast<int>(out.next_scanline / mcuHeight);
    const int count = std::min(band.mcuRows, static_cast<int>(out.total_iMCU_rows) - first);
    for (int c = 0; c < out.num_components; ++c) {
      const jpeg_component_info& component = out.comp_info[c];
      const int rows = component.v_samp_factor * DCTSIZE * count, top = first * component.v_samp_factor * DCTSIZE;
      const PlaneTurn& plane = planes[c];
      if (plane.width() != static_cast<int>(component.downsampled_width) ||
          plane.height() != static_cast<int>(component.downsampled_height))
        ERREXIT(&out, JERR_BAD_SAMPLING);
      turnRows(plane, top, rows, band.rows[c].data());
      padRows(top, rows, plane.width(), plane.height(), std::size_t{component.width_in_blocks} * DCTSIZE,
              band.rows[c].data());
    }
    for (int i = 0; i < count; ++i) jpeg_write_raw_data(&out, band.images[i].data(), mcuHeight);
  }
  jpeg_finish_compress(&out);
  return true;
}

// The sum of the squared differences of `count` samples.
int rowDifferences(const JSAMPLE* read, const JSAMPLE* expected, int count) {
  int sum = 0;
  for (int i = 0; i < count; ++i) {
    const int difference = read[i] - expected[i];
    sum += difference * difference;
  }
  return sum;
}

// The sum of squared differences between turned rows `top` .. `top` +
// `own` - 1 as read and the original's samples, in tiles: where each
// tile's corner lies in the original, and the steps it takes there across
// and down the tile, come from the turn's plain mapping; the samples so
// found are laid out as the tile's rows and compared row by row.
qint64 squaredDifferences(const PlaneTurn& plane, JSAMPARRAY read, int top, int own) {
  qint64 sum = 0;
  JSAMPLE expected[kTile][kTile];
  for (int left = 0; left < plane.width(); left += kTile) {
    const int columns = std::min(kTile, plane.width() - left);
    for (int up = 0; up < own; up += kTile) {
      const int rows = std::min(kTile, own - up);
      const JSAMPLE* corner = plane.placeOf(left, top + up);
      const std::ptrdiff_t across = columns > 1 ? plane.placeOf(left + 1, top + up) - corner : 0;
      const std::ptrdiff_t down = rows > 1 ? plane.placeOf(left, top + up + 1) - corner : 0;
      for (int x = 0; x < columns; ++x) {
        const JSAMPLE* column = corner + across * x;
        for (int r = 0; r < rows; ++r) expected[r][x] = column[down * r];
      }
      for (int r = 0; r < rows; ++r) sum += rowDifferences(read[up + r] + left, expected[r], columns);
    }
  }
  return sum;
}

// Whether the planes that `stream` brings differ from the original's planes
// turned by no more than compressing them again can: per component, a root
// mean square difference within twice what quantising every coefficient
// afresh with its table gives, and a little for rounding. Each sample is
// found in the original by the turn's plain mapping, not by the loop that
// turned the rows.
bool closeToTurnedPlanes(TurnStream& stream, const std::vector<PlaneTurn>& planes, const TurnedFrame& frame,
                         long memoryLimit) {
  JpegReader check;
  McuBand band;
  std::vector<qint64> squares(planes.size());
  if (!startReader(check, stream, memoryLimit) || !sameFrame(check.info, frame)) return false;
  jpeg_decompress_struct& info = check.info;
  if (!band.makeFor(info.comp_info, info.num_components, info.max_v_samp_factor)) return false;
  if (setjmp(check.errors.jump)) return false;
  info.raw_data_out = TRUE;
  info.do_block_smoothing = FALSE;
  info.dct_method = JDCT_ISLOW;
  jpeg_start_decompress(&info);
  const auto mcuHeight = static_cast<JDIMENSION>(info.max_v_samp_factor * DCTSIZE);
  while (info.output_scanline < info.output_height) {
    const auto first = static_cast<int>(info.output_scanline / mcuHeight);
    const int count = std::min(band.mcuRows, static_cast<int>(info.total_iMCU_rows) - first);
    for (int i = 0; i < count; ++i) jpeg_read_raw_data(&info, band.images[i].data(), mcuHeight);
    for (int c = 0; c < info.num_components; ++c) {
      const PlaneTurn& plane = planes[c];
      const int rows = info.comp_info[c].v_samp_factor * DCTSIZE, top = first * rows;
      const int own = std::min(rows * count, plane.height() - top);
      const JSAMPARRAY read = band.rows[c].data();
      squares[c] += squaredDifferences(plane, read, top, own);
    }
  }
  if (!readWhole(check)) return false;
  for (int c = 0; c < info.num_components; ++c) {
    double quantisation = 0;
    for (const UINT16 step : frame.quantisation[c]) quantisation += double(step) * step;
    const double bound = 2 * std::sqrt(quantisation / DCTSIZE2 / 12) + 2;
    const double samples = double(planes[c].width()) * planes[c].height();
    if (std::sqrt(double(squares[c]) / samples) > bound) return false;
  }
  return true;
}

}  // namespace

TurnOutcome turnPlanes(TurnWork& work) {
  std::vector<Plane> planes;
  std::vector<PlaneTurn> turned;
  RowPointers readRows;
  McuBand writeRows;
  JpegWriter writer;
  TurnStream written, standIn;
  if (!readPlanes(work, planes, readRows) || !startWriting(work, writer, written)) return {};
  const TurnedFrame frame = turnedFrameOf(work.original.info, work.turn);
  for (int c = 0; c < work.original.info.num_components; ++c)
    turned.emplace_back(planes[c], work.turn, work.original.info, c);
  // The encoder has taken what it needs of the original's decoder.
  jpeg_abort_decompress(&work.original.info);
  TurnStream& checked = work.standIn != nullptr ? standIn : written;
  CheckBeside check(checked, [&] { return closeToTurnedPlanes(checked, turned, frame, work.memoryLimit); });
  if (work.standIn != nullptr) {
    standIn.put(*work.standIn);
    standIn.end();
  } else if (!writePlanes(work, writer, turned, writeRows)) {
    return {};
  }
  return checkedOutcome(check, checked);
}

}  // namespace lumaset::imaging_detail
