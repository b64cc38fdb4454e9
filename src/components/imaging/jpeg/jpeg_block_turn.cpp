// The blocks' coefficients turned, where every edge that moves is whole
// MCUs: nothing is lost, and four turns give the very coefficients back.

#include <algorithm>
#include <cstring>
#include <optional>
#include <vector>

#include "components/imaging/decode_memory.h"
#include "components/imaging/jpeg/jpeg_turn_parts.h"
#include "components/imaging/pixels/pixel_bands.h"
#include "components/imaging/quarter_turn_file.h"

namespace lumaset::imaging_detail {

namespace {

// Each component's rows of blocks, fetched from libjpeg once, so that other
// threads use them without asking it.
using BlockRows = std::vector<std::vector<JBLOCKROW>>;

// The side of the tiles blocks are turned in.
constexpr int kTile = 16;


void fetchRows(j_common_ptr info, jvirt_barray_ptr array, JDIMENSION rows, bool writable,
               std::vector<JBLOCKROW>& into) {
  into.reserve(rows);
  for (JDIMENSION y = 0; y < rows; ++y)
    into.push_back((*info->mem->access_virt_barray)(info, array, y, 1, writable ? TRUE : FALSE)[0]);
}

// The arrays the turned blocks go into: each component's sides, the
// original's turned, rounded up to whole MCUs as the encoder reads them;
// every row of them fetched, and the rows and blocks past the picture's
// own left empty.
void makeTurnedArrays(const jpeg_decompress_struct& in, Turn turn, jpeg_compress_struct& out,
                      std::vector<jvirt_barray_ptr>& arrays, BlockRows& rows) {
  auto* common = reinterpret_cast<j_common_ptr>(&out);
  const auto roundUp = [](JDIMENSION value, int step) { return (value + step - 1) / step * step; };
  for (int c = 0; c < out.num_components; ++c) {
    const jpeg_component_info& from = in.comp_info[c];
    const jpeg_component_info& to = out.comp_info[c];  // its sampling already turned
    const JDIMENSION across = turn.transpose ? from.height_in_blocks : from.width_in_blocks;
    const JDIMENSION down = turn.transpose ? from.width_in_blocks : from.height_in_blocks;
    arrays.push_back((*out.mem->request_virt_barray)(common, JPOOL_IMAGE, FALSE, roundUp(across, to.h_samp_factor),
                                                     roundUp(down, to.v_samp_factor),
                                                     static_cast<JDIMENSION>(to.v_samp_factor)));
  }
  jpeg_write_coefficients(&out, arrays.data());
  rows.resize(arrays.size());
  for (int c = 0; c < out.num_components; ++c) {
    const jpeg_component_info& to = out.comp_info[c];
    const JDIMENSION height = roundUp(to.height_in_blocks, to.v_samp_factor);
    const std::size_t width = roundUp(to.width_in_blocks, to.h_samp_factor);
    fetchRows(common, arrays[c], height, true, rows[c]);
    for (JDIMENSION y = 0; y < height; ++y) {
      const std::size_t from = y < to.height_in_blocks ? to.width_in_blocks : 0;
      std::memset(rows[c][y] + from, 0, (width - from) * sizeof(JBLOCK));
    }
  }
}

// Reads the original's coefficients and turns them into the encoder's
// arrays, on every core.
bool readAndTurn(TurnWork& work, JpegWriter& writer, TurnStream& stream, std::vector<jvirt_barray_ptr>& turned,
                 BlockRows& source, BlockRows& rows, std::optional<SymbolCounter>& symbols) {
  jpeg_decompress_struct& in = work.original.info;
  if (setjmp(work.original.errors.jump)) return false;
  WorkProgress::Stage(0, 0.3);
  jvirt_barray_ptr* read = jpeg_read_coefficients(&in);
  if (!readWhole(work.original)) return false;
  startWriter(writer, work.original, work.turn, stream, work.memoryLimit);
  // Tables made for the turned blocks are made here, before they are
  // written, rather than by a pass of the encoder's own.
  const bool tablesHere = writer.info.optimize_coding && !writer.info.arith_code && !in.progressive_mode &&
                          writer.info.num_components <= MAX_COMPS_IN_SCAN;
  if (tablesHere) writer.info.optimize_coding = FALSE;
  makeTurnedArrays(in, work.turn, writer.info, turned, rows);
  source.resize(static_cast<std::size_t>(in.num_components));
  for (int c = 0; c < in.num_components; ++c)
    fetchRows(reinterpret_cast<j_common_ptr>(&in), read[c], in.comp_info[c].height_in_blocks, false, source[c]);
  const BlockTurn turnBlock(work.turn);
  PixelJob job(0, KeepTurning);
  if (tablesHere) symbols.emplace(writer.info, job.threads());
  WorkProgress::Stage(0.3, 0.45);
  const int components = in.num_components;
  for (int c = 0; c < components; ++c) {
    const jpeg_component_info& to = writer.info.comp_info[c];
    const auto width = static_cast<int>(to.width_in_blocks), height = static_cast<int>(to.height_in_blocks);
    const bool done = job.Run(height, kTile, [&](int first, int end, const BandContext& band) {
      // In tiles, so that a turn that reads the original down its columns
      // reads a run of blocks of each row.
      for (int left = 0; left < width; left += kTile) {
        const int right = std::min(left + kTile, width);
        for (int y = first; y < end; ++y) {
          for (int x = left; x < right; ++x) {
            const auto [fromX, fromY] = sourceOf(work.turn, x, y, width, height);
            turnBlock(source[c][fromY][fromX], rows[c][y][x]);
            if (symbols) symbols->count(band.worker(), c, x, y, rows[c][y][x]);
          }
        }
      }
    }, 1 + 98 * c / components, 1 + 98 * (c + 1) / components);
    if (!done) {
      work.original.errors.stopped = true;
      return false;
    }
  }
  if (symbols && !symbols->makeTables(writer.info)) {
    work.original.errors.failure = JERR_BAD_DCT_COEF;
    return false;
  }
  return true;
}

bool finishWriting(TurnWork& work, JpegWriter& writer) {
  if (setjmp(work.original.errors.jump)) return false;
  WorkProgress::Stage(0.45, 1);
  jpeg_finish_compress(&writer.info);
  return true;
}

// Whether what `stream` brings holds every block turned, and nothing else.
bool holdsBlocks(TurnStream& stream, const BlockRows& turned, const TurnedFrame& frame, long memoryLimit) {
  JpegReader check;
  if (!startReader(check, stream, memoryLimit) || !sameFrame(check.info, frame)) return false;
  if (setjmp(check.errors.jump)) return false;
  jvirt_barray_ptr* read = jpeg_read_coefficients(&check.info);
  if (!readWhole(check)) return false;
  auto* common = reinterpret_cast<j_common_ptr>(&check.info);
  for (int c = 0; c < check.info.num_components; ++c) {
    const jpeg_component_info& component = check.info.comp_info[c];
    for (JDIMENSION y = 0; y < component.height_in_blocks; ++y) {
      const JBLOCKROW row = (*common->mem->access_virt_barray)(common, read[c], y, 1, FALSE)[0];
      if (std::memcmp(row, turned[c][y], component.width_in_blocks * sizeof(JBLOCK)) != 0) return false;
    }
  }
  return true;
}

}  // namespace

TurnOutcome turnBlocks(TurnWork& work) {
  JpegWriter writer;
  TurnStream written, standIn;
  std::vector<jvirt_barray_ptr> arrays;
  BlockRows source, turned;
  std::optional<SymbolCounter> symbols;
  if (!readAndTurn(work, writer, written, arrays, source, turned, symbols)) return {};
  const TurnedFrame frame = turnedFrameOf(work.original.info, work.turn);
  // The original's coefficients are needed no more.
  jpeg_abort_decompress(&work.original.info);
  TurnStream& checked = work.standIn != nullptr ? standIn : written;
  CheckBeside check(checked, [&] { return holdsBlocks(checked, turned, frame, work.memoryLimit); });
  // The encoder gives the turned blocks back as it finishes: it waits for
  // the check that compares with them first.
  written.beforeEnd([&check] { (void)check.verdict(); });
  if (work.standIn != nullptr) {
    standIn.put(*work.standIn);
    standIn.end();
  } else if (!finishWriting(work, writer)) {
    return {};
  }
  return checkedOutcome(check, checked);
}

}  // namespace lumaset::imaging_detail
