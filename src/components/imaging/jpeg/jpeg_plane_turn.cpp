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

#include "components/imaging/jpeg/jpeg_turn_parts.h"

namespace lumaset::imaging_detail {

namespace {

// One component's samples as decoded: rows padded to whole blocks, in
// whole rows of MCUs.
struct Plane {
  std::unique_ptr<JSAMPLE[]> samples;
  std::size_t stride = 0;
  int width = 0, height = 0;  // the samples that belong to the picture
  const JSAMPLE* row(int y) const { return samples.get() + stride * static_cast<std::size_t>(y); }
  JSAMPLE* row(int y) { return samples.get() + stride * static_cast<std::size_t>(y); }
};

// How one component of the turned picture takes its samples from the
// original's plane. A sample covers a cell of pixels (2 x 2 in 4:2:0); the
// turned sample at x, y is the original's sample at its place where the
// turn keeps the cells whole, which it does unless an edge that moves cuts
// a cell (a side of 45 pixels ends in half a cell of 2). There it is the
// mean of the original's samples over the pixels it covers.
class PlaneTurn {
 public:
  PlaneTurn(const Plane& plane, Turn turn, const jpeg_decompress_struct& in, int c) : plane_(plane), turn_(turn) {
    const jpeg_component_info& component = in.comp_info[c];
    const int mostAcross = in.max_h_samp_factor, mostDown = in.max_v_samp_factor;
    // Sampling that is no whole fraction of the picture's is taken sample by sample.
    const bool whole = mostAcross % component.h_samp_factor == 0 && mostDown % component.v_samp_factor == 0;
    fromAcross_ = whole ? mostAcross / component.h_samp_factor : 1;
    fromDown_ = whole ? mostDown / component.v_samp_factor : 1;
    pixelsWide_ = static_cast<int>(turn.transpose ? in.image_height : in.image_width);
    pixelsHigh_ = static_cast<int>(turn.transpose ? in.image_width : in.image_height);
    across_ = turn.transpose ? fromDown_ : fromAcross_;
    down_ = turn.transpose ? fromAcross_ : fromDown_;
    width_ = turn.transpose ? plane.height : plane.width;
    height_ = turn.transpose ? plane.width : plane.height;
    keepsCells_ = !whole || ((!turn.mirrorAcross || pixelsWide_ % across_ == 0) &&
                             (!turn.mirrorDown || pixelsHigh_ % down_ == 0));
  }

  int width() const { return width_; }
  int height() const { return height_; }
  bool keepsCells() const { return keepsCells_; }
  const Plane& plane() const { return plane_; }
  Turn turn() const { return turn_; }

  int sampleAt(int x, int y) const {
    if (keepsCells_) {
      const auto [fromX, fromY] = sourceOf(turn_, x, y, width_, height_);
      return plane_.row(fromY)[fromX];
    }
    int sum = 0, count = 0;
    for (int py = y * down_; py < std::min((y + 1) * down_, pixelsHigh_); ++py) {
      for (int px = x * across_; px < std::min((x + 1) * across_, pixelsWide_); ++px) {
        const auto [fromX, fromY] = sourceOf(turn_, px, py, pixelsWide_, pixelsHigh_);
        sum += plane_.row(fromY / fromDown_)[fromX / fromAcross_];
        ++count;
      }
    }
    return (sum + count / 2) / count;
  }

 private:
  const Plane& plane_;
  Turn turn_;
  int fromAcross_ = 1, fromDown_ = 1;  // the pixels an original sample covers
  int across_ = 1, down_ = 1;          // the pixels a turned sample covers
  int pixelsWide_ = 0, pixelsHigh_ = 0;  // the turned picture's
  int width_ = 0, height_ = 0;          // the turned plane's own samples
  bool keepsCells_ = true;
};

// Room for one row of MCUs of every component, as libjpeg reads and writes
// raw samples.
struct McuRows {
  std::vector<std::vector<JSAMPLE>> samples;
  std::vector<std::vector<JSAMPROW>> rows;
  std::vector<JSAMPARRAY> components;

  void makeFor(const jpeg_component_info* info, int count) {
    samples.resize(static_cast<std::size_t>(count));
    rows.resize(samples.size());
    for (int c = 0; c < count; ++c) {
      const std::size_t stride = std::size_t{info[c].width_in_blocks} * DCTSIZE;
      const auto height = static_cast<std::size_t>(info[c].v_samp_factor) * DCTSIZE;
      samples[c].assign(stride * height, 0);
      for (std::size_t y = 0; y < height; ++y) rows[c].push_back(samples[c].data() + stride * y);
      components.push_back(rows[c].data());
    }
  }
};

bool readPlanes(TurnWork& work, std::vector<Plane>& planes, McuRows& mcuRows) {
  jpeg_decompress_struct& in = work.original.info;
  if (setjmp(work.original.errors.jump)) return false;
  in.raw_data_out = TRUE;
  in.do_block_smoothing = FALSE;
  in.dct_method = JDCT_ISLOW;
  jpeg_start_decompress(&in);
  planes.resize(static_cast<std::size_t>(in.num_components));
  for (int c = 0; c < in.num_components; ++c) {
    const jpeg_component_info& component = in.comp_info[c];
    Plane& plane = planes[c];
    plane.stride = std::size_t{component.width_in_blocks} * DCTSIZE;
    plane.width = static_cast<int>(component.downsampled_width);
    plane.height = static_cast<int>(component.downsampled_height);
    const std::size_t rows = std::size_t{in.total_iMCU_rows} * component.v_samp_factor * DCTSIZE;
    plane.samples.reset(new (std::nothrow) JSAMPLE[plane.stride * rows]);
    if (!plane.samples) ERREXIT(&in, JERR_OUT_OF_MEMORY);
    mcuRows.rows.emplace_back(static_cast<std::size_t>(component.v_samp_factor) * DCTSIZE);
    mcuRows.components.push_back(mcuRows.rows[c].data());
  }
  const auto mcuHeight = static_cast<JDIMENSION>(in.max_v_samp_factor * DCTSIZE);
  while (in.output_scanline < in.output_height) {
    const JDIMENSION mcuRow = in.output_scanline / mcuHeight;
    for (int c = 0; c < in.num_components; ++c) {
      const auto height = static_cast<int>(mcuRows.rows[c].size());
      for (int y = 0; y < height; ++y) mcuRows.rows[c][y] = planes[c].row(static_cast<int>(mcuRow) * height + y);
    }
    jpeg_read_raw_data(&in, mcuRows.components.data(), mcuHeight);
  }
  return readWhole(work.original);
}

// Rows `top` .. `top` + `rows` - 1 of the turned plane (those of them it
// has) into `out`.
void turnRows(const PlaneTurn& turned, int top, int rows, JSAMPARRAY out) {
  const int width = turned.width(), height = turned.height();
  rows = std::min(rows, height - top);
  if (!turned.keepsCells()) {
    for (int r = 0; r < rows; ++r)
      for (int x = 0; x < width; ++x) out[r][x] = static_cast<JSAMPLE>(turned.sampleAt(x, top + r));
    return;
  }
  const Plane& plane = turned.plane();
  const Turn turn = turned.turn();
  if (turn.transpose) {
    // Each column of the turned rows lies along one row of the original.
    for (int x = 0; x < width; ++x) {
      const JSAMPLE* from = plane.row(turn.mirrorAcross ? width - 1 - x : x);
      for (int r = 0; r < rows; ++r) out[r][x] = from[turn.mirrorDown ? height - 1 - top - r : top + r];
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

bool startWriting(TurnWork& work, JpegWriter& writer, TurnStream& stream) {
  if (setjmp(work.original.errors.jump)) return false;
  startWriter(writer, work.original, work.turn, stream, work.memoryLimit);
  return true;
}

bool writePlanes(TurnWork& work, JpegWriter& writer, const std::vector<PlaneTurn>& planes, McuRows& mcuRows) {
  if (setjmp(work.original.errors.jump)) return false;
  jpeg_compress_struct& out = writer.info;
  out.raw_data_in = TRUE;
  jpeg_start_compress(&out, TRUE);
  mcuRows.makeFor(out.comp_info, out.num_components);
  const auto mcuHeight = static_cast<JDIMENSION>(out.max_v_samp_factor * DCTSIZE);
  while (out.next_scanline < out.image_height) {
    const JDIMENSION mcuRow = out.next_scanline / mcuHeight;
    for (int c = 0; c < out.num_components; ++c) {
      const jpeg_component_info& component = out.comp_info[c];
      const int rows = component.v_samp_factor * DCTSIZE, top = static_cast<int>(mcuRow) * rows;
      const PlaneTurn& plane = planes[c];
      if (plane.width() != static_cast<int>(component.downsampled_width) ||
          plane.height() != static_cast<int>(component.downsampled_height))
        ERREXIT(&out, JERR_BAD_SAMPLING);
      turnRows(plane, top, rows, mcuRows.components[c]);
      padRows(top, rows, plane.width(), plane.height(), std::size_t{component.width_in_blocks} * DCTSIZE,
              mcuRows.components[c]);
    }
    jpeg_write_raw_data(&out, mcuRows.components.data(), mcuHeight);
  }
  jpeg_finish_compress(&out);
  return true;
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
  McuRows mcuRows;
  std::vector<double> squares(planes.size());
  if (!startReader(check, stream, memoryLimit) || !sameFrame(check.info, frame)) return false;
  jpeg_decompress_struct& info = check.info;
  mcuRows.makeFor(info.comp_info, info.num_components);
  if (setjmp(check.errors.jump)) return false;
  info.raw_data_out = TRUE;
  info.do_block_smoothing = FALSE;
  info.dct_method = JDCT_ISLOW;
  jpeg_start_decompress(&info);
  const auto mcuHeight = static_cast<JDIMENSION>(info.max_v_samp_factor * DCTSIZE);
  while (info.output_scanline < info.output_height) {
    const JDIMENSION mcuRow = info.output_scanline / mcuHeight;
    jpeg_read_raw_data(&info, mcuRows.components.data(), mcuHeight);
    for (int c = 0; c < info.num_components; ++c) {
      const PlaneTurn& plane = planes[c];
      const int rows = info.comp_info[c].v_samp_factor * DCTSIZE, top = static_cast<int>(mcuRow) * rows;
      const int own = std::min(rows, plane.height() - top);
      const JSAMPARRAY read = mcuRows.components[c];
      // Across the rows first: a turned row runs down the original.
      for (int x = 0; x < plane.width(); ++x) {
        for (int r = 0; r < own; ++r) {
          const double difference = read[r][x] - plane.sampleAt(x, top + r);
          squares[c] += difference * difference;
        }
      }
    }
  }
  if (!readWhole(check)) return false;
  for (int c = 0; c < info.num_components; ++c) {
    double quantisation = 0;
    for (const UINT16 step : frame.quantisation[c]) quantisation += double(step) * step;
    const double bound = 2 * std::sqrt(quantisation / DCTSIZE2 / 12) + 2;
    const double samples = double(planes[c].width()) * planes[c].height();
    if (std::sqrt(squares[c] / samples) > bound) return false;
  }
  return true;
}

}  // namespace

TurnOutcome turnPlanes(TurnWork& work) {
  std::vector<Plane> planes;
  std::vector<PlaneTurn> turned;
  McuRows readRows, writeRows;
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
