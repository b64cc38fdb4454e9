// Huffman tables made before the turned picture is written, so that it is
// coded in one pass instead of libjpeg's two (one to count the symbols,
// one to code them): for turned blocks, as libjpeg's counting pass makes
// them, but counted as the blocks are turned, on every core; for samples
// compressed again, like the original's own.

#include <QtGlobal>

#include <array>
#include <bit>
#include <cstdlib>
#include <utility>

#include "components/imaging/jpeg/jpeg_turn_parts.h"

extern "C" {
// libjpeg's own table maker, which its optimising pass uses (jchuff.c):
// exported by every libjpeg since 6b, though no public header declares it.
void jpeg_gen_optimal_table(j_compress_ptr cinfo, JHUFF_TBL* htbl, long freq[]);
}

namespace lumaset::imaging_detail {

namespace {

// The coefficients of a block in the order they are coded.
constexpr std::array<int, DCTSIZE2> kZigzag = {
    0,  1,  8,  16, 9,  2,  3,  10, 17, 24, 32, 25, 18, 11, 4,  5,  12, 19, 26, 33, 40, 48,
    41, 34, 27, 20, 13, 6,  7,  14, 21, 28, 35, 42, 49, 56, 57, 50, 43, 36, 29, 22, 15, 23,
    30, 37, 44, 51, 58, 59, 52, 45, 38, 31, 39, 46, 53, 60, 61, 54, 47, 55, 62, 63};

// The largest sizes 8-bit samples give: a DC difference of 11 bits, an AC
// coefficient of 10.
constexpr int kMostDcBits = 11, kMostAcBits = 10;

using Frequencies = SymbolCounter::Frequencies;

int bitsOf(int value) { return static_cast<int>(std::bit_width(static_cast<unsigned>(std::abs(value)))); }

// The AC symbols of one block: runs of zeros in the order they are coded,
// each ending in the size of a coefficient, and the end of the block.
void countAc(const JCOEF* block, Frequencies& ac, bool& outOfRange) {
  int run = 0;
  for (int k = 1; k < DCTSIZE2; ++k) {
    const int value = block[kZigzag[k]];
    if (value == 0) {
      ++run;
      continue;
    }
    for (; run > 15; run -= 16) ++ac[0xF0];
    const int bits = bitsOf(value);
    if (bits > kMostAcBits) outOfRange = true;
    else ++ac[run << 4 | bits];
    run = 0;
  }
  if (run > 0) ++ac[0];
}

void makeTable(j_compress_ptr out, JHUFF_TBL*& table, Frequencies& frequencies) {
  if (table == nullptr) table = jpeg_alloc_huff_table(reinterpret_cast<j_common_ptr>(out));
  jpeg_gen_optimal_table(out, table, frequencies.data());
}

// How often the symbols of `table` come, as its code lengths tell: a
// code of n bits stands for a symbol that comes once in 2^n. Every symbol
// that 8-bit samples can ask for and the table lacks comes least often.
Frequencies frequenciesOf(const JHUFF_TBL& table, bool ac) {
  Frequencies frequencies{};
  for (int size = ac ? 1 : 0; size <= (ac ? kMostAcBits : kMostDcBits); ++size) {
    if (!ac) {
      frequencies[size] = 1;
      continue;
    }
    for (int run = 0; run < 16; ++run) frequencies[run << 4 | size] = 1;
  }
  if (ac) frequencies[0x00] = frequencies[0xF0] = 1;
  int symbol = 0;
  for (int length = 1; length <= 16; ++length) {
    for (int i = 0; i < table.bits[length] && symbol < 256; ++i, ++symbol)
      frequencies[table.huffval[symbol]] = long{1} << (16 - length);
  }
  return frequencies;
}

}  // namespace

void SymbolCounter::Counts::add(const Counts& other) {
  for (int t = 0; t < NUM_HUFF_TBLS; ++t) {
    for (std::size_t s = 0; s < dc[t].size(); ++s) {
      dc[t][s] += other.dc[t][s];
      ac[t][s] += other.ac[t][s];
    }
  }
  outOfRange = outOfRange || other.outOfRange;
}

SymbolCounter::SymbolCounter(const jpeg_compress_struct& out, int workers)
    : counts_(static_cast<std::size_t>(workers)), restart_(out.restart_interval) {
  const bool interleaved = out.num_components > 1;
  for (int c = 0; c < out.num_components; ++c) {
    const jpeg_component_info& info = out.comp_info[c];
    Component component{interleaved ? info.h_samp_factor : 1, interleaved ? info.v_samp_factor : 1,
                        static_cast<int>(info.width_in_blocks), static_cast<int>(info.height_in_blocks),
                        info.dc_tbl_no, info.ac_tbl_no, {}};
    component.dc.resize(std::size_t(component.width) * static_cast<std::size_t>(component.height));
    components_.push_back(std::move(component));
  }
  const auto upTo = [](qint64 side, int step) { return static_cast<int>((side + step - 1) / step); };
  mcusPerRow_ = interleaved ? upTo(out.image_width, out.max_h_samp_factor * DCTSIZE) : components_[0].width;
  mcuRows_ = interleaved ? upTo(out.image_height, out.max_v_samp_factor * DCTSIZE) : components_[0].height;
}

void SymbolCounter::count(int worker, int c, int x, int y, const JCOEF* block) {
  Component& component = components_[c];
  component.dc[std::size_t(y) * component.width + x] = block[0];
  Counts& counts = counts_[worker];
  countAc(block, counts.ac[component.acTable], counts.outOfRange);
}

// The DC of each block is coded as its difference from the DC of the block
// before it in the scan: MCU by MCU, in each MCU every component's blocks
// row by row. Blocks past a component's own are libjpeg's dummy blocks:
// the DC of the block before, no AC. A restart sets every prediction to 0.
bool SymbolCounter::makeTables(jpeg_compress_struct& out) {
  Counts all;
  for (const Counts& counts : counts_) all.add(counts);
  std::vector<int> previous(components_.size(), 0);
  for (int mcuRow = 0; mcuRow < mcuRows_; ++mcuRow) {
    for (int mcuColumn = 0; mcuColumn < mcusPerRow_; ++mcuColumn) {
      const qint64 mcu = qint64{mcuRow} * mcusPerRow_ + mcuColumn;
      if (restart_ != 0 && mcu % restart_ == 0) std::fill(previous.begin(), previous.end(), 0);
      for (std::size_t c = 0; c < components_.size(); ++c) {
        const Component& component = components_[c];
        for (int y = mcuRow * component.down; y < (mcuRow + 1) * component.down; ++y) {
          for (int x = mcuColumn * component.across; x < (mcuColumn + 1) * component.across; ++x) {
            if (x >= component.width || y >= component.height) {
              ++all.dc[component.dcTable][0];
              ++all.ac[component.acTable][0];
              continue;
            }
            const int dc = component.dc[std::size_t(y) * component.width + x];
            const int bits = bitsOf(dc - previous[c]);
            if (bits > kMostDcBits) return false;
            ++all.dc[component.dcTable][bits];
            previous[c] = dc;
          }
        }
      }
    }
  }
  if (all.outOfRange) return false;
  std::array<bool, NUM_HUFF_TBLS> dcMade{}, acMade{};
  for (const Component& component : components_) {
    if (!std::exchange(dcMade[component.dcTable], true))
      makeTable(&out, out.dc_huff_tbl_ptrs[component.dcTable], all.dc[component.dcTable]);
    if (!std::exchange(acMade[component.acTable], true))
      makeTable(&out, out.ac_huff_tbl_ptrs[component.acTable], all.ac[component.acTable]);
  }
  return true;
}

bool makeTablesLike(const jpeg_decompress_struct& in, jpeg_compress_struct& out) {
  for (int c = 0; c < in.num_components; ++c) {
    const int dc = in.comp_info[c].dc_tbl_no, ac = in.comp_info[c].ac_tbl_no;
    if (dc < 0 || dc >= NUM_HUFF_TBLS || ac < 0 || ac >= NUM_HUFF_TBLS || in.dc_huff_tbl_ptrs[dc] == nullptr ||
        in.ac_huff_tbl_ptrs[ac] == nullptr)
      return false;
  }
  std::array<bool, NUM_HUFF_TBLS> dcMade{}, acMade{};
  for (int c = 0; c < in.num_components; ++c) {
    const int dc = in.comp_info[c].dc_tbl_no, ac = in.comp_info[c].ac_tbl_no;
    out.comp_info[c].dc_tbl_no = dc;
    out.comp_info[c].ac_tbl_no = ac;
    if (!std::exchange(dcMade[dc], true)) {
      Frequencies frequencies = frequenciesOf(*in.dc_huff_tbl_ptrs[dc], false);
      makeTable(&out, out.dc_huff_tbl_ptrs[dc], frequencies);
    }
    if (!std::exchange(acMade[ac], true)) {
      Frequencies frequencies = frequenciesOf(*in.ac_huff_tbl_ptrs[ac], true);
      makeTable(&out, out.ac_huff_tbl_ptrs[ac], frequencies);
    }
  }
  return true;
}

}  // namespace lumaset::imaging_detail
