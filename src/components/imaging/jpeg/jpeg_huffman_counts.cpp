// Huffman tables made for the turned blocks before they are written, as
// libjpeg's optimising pass makes them, but with the symbols counted on
// every core: the blocks are then coded in one pass instead of two.

#include <QtGlobal>

#include <array>
#include <bit>
#include <cstdlib>
#include <mutex>

#include "components/imaging/jpeg/jpeg_turn_parts.h"
#include "components/imaging/pixels/pixel_bands.h"

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

using Frequencies = std::array<long, 257>;

struct Counts {
  std::array<Frequencies, NUM_HUFF_TBLS> dc{}, ac{};
  bool outOfRange = false;

  void add(const Counts& other) {
    for (int t = 0; t < NUM_HUFF_TBLS; ++t) {
      for (int s = 0; s < 257; ++s) {
        dc[t][s] += other.dc[t][s];
        ac[t][s] += other.ac[t][s];
      }
    }
    outOfRange = outOfRange || other.outOfRange;
  }
};

int bitsOf(int value) { return static_cast<int>(std::bit_width(static_cast<unsigned>(std::abs(value)))); }

// The symbols of one block, its DC coded as the difference from `previous`.
void countBlock(const JCOEF* block, int previous, Frequencies& dc, Frequencies& ac, bool& outOfRange) {
  const int dcBits = bitsOf(block[0] - previous);
  if (dcBits > kMostDcBits) outOfRange = true;
  else ++dc[dcBits];
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

// How the one scan goes over the blocks: MCU by MCU, in each MCU every
// component's blocks row by row. Blocks past a component's own are
// libjpeg's dummy blocks: the DC of the block before, no AC.
struct ScanLayout {
  struct Component {
    int across = 1, down = 1;  // blocks in an MCU
    int width = 0, height = 0;  // the component's own blocks
    int dcTable = 0, acTable = 0;
  };
  std::vector<Component> components;
  int mcusPerRow = 0, mcuRows = 0;
  unsigned restart = 0;  // MCUs between restarts, which set every DC prediction to 0

  explicit ScanLayout(const jpeg_compress_struct& out) : restart(out.restart_interval) {
    const bool interleaved = out.num_components > 1;
    for (int c = 0; c < out.num_components; ++c) {
      const jpeg_component_info& info = out.comp_info[c];
      components.push_back({interleaved ? info.h_samp_factor : 1, interleaved ? info.v_samp_factor : 1,
                            static_cast<int>(info.width_in_blocks), static_cast<int>(info.height_in_blocks),
                            info.dc_tbl_no, info.ac_tbl_no});
    }
    const auto upTo = [](qint64 side, int step) { return static_cast<int>((side + step - 1) / step); };
    mcusPerRow = interleaved ? upTo(out.image_width, out.max_h_samp_factor * DCTSIZE) : components[0].width;
    mcuRows = interleaved ? upTo(out.image_height, out.max_v_samp_factor * DCTSIZE) : components[0].height;
  }

  bool restartsAt(qint64 mcu) const { return restart != 0 && mcu % restart == 0; }

  // The DC that the last of the component's own blocks in an MCU leaves as the prediction.
  int lastDc(const std::vector<JBLOCKROW>& rows, const Component& c, int mcuRow, int mcuColumn) const {
    const int y = std::min((mcuRow + 1) * c.down, c.height) - 1;
    const int x = std::min((mcuColumn + 1) * c.across, c.width) - 1;
    return rows[y][x][0];
  }

  // The symbols of MCU rows `first` .. `end` - 1.
  Counts count(const std::vector<std::vector<JBLOCKROW>>& rows, int first, int end) const {
    Counts counts;
    std::vector<int> previous(components.size(), 0);
    if (first > 0 && !restartsAt(qint64{first} * mcusPerRow)) {
      for (std::size_t c = 0; c < components.size(); ++c)
        previous[c] = lastDc(rows[c], components[c], first - 1, mcusPerRow - 1);
    }
    for (int mcuRow = first; mcuRow < end; ++mcuRow) {
      for (int mcuColumn = 0; mcuColumn < mcusPerRow; ++mcuColumn) {
        if (restartsAt(qint64{mcuRow} * mcusPerRow + mcuColumn)) std::fill(previous.begin(), previous.end(), 0);
        for (std::size_t c = 0; c < components.size(); ++c) {
          const Component& component = components[c];
          for (int y = mcuRow * component.down; y < (mcuRow + 1) * component.down; ++y) {
            for (int x = mcuColumn * component.across; x < (mcuColumn + 1) * component.across; ++x) {
              if (x >= component.width || y >= component.height) {
                ++counts.dc[component.dcTable][0];
                ++counts.ac[component.acTable][0];
                continue;
              }
              const JCOEF* block = rows[c][y][x];
              countBlock(block, previous[c], counts.dc[component.dcTable], counts.ac[component.acTable],
                         counts.outOfRange);
              previous[c] = block[0];
            }
          }
        }
      }
    }
    return counts;
  }
};

void makeTable(j_compress_ptr out, JHUFF_TBL*& table, Frequencies& frequencies) {
  if (table == nullptr) table = jpeg_alloc_huff_table(reinterpret_cast<j_common_ptr>(out));
  jpeg_gen_optimal_table(out, table, frequencies.data());
}

}  // namespace

bool makeHuffmanTables(jpeg_compress_struct& out, const std::vector<std::vector<JBLOCKROW>>& rows) {
  const ScanLayout layout(out);
  Counts all;
  std::mutex adding;
  PixelJob job;
  job.Run(layout.mcuRows, 1, [&](int first, int end, const BandContext&) {
    const Counts counts = layout.count(rows, first, end);
    const std::lock_guard lock(adding);
    all.add(counts);
  });
  if (all.outOfRange) return false;
  std::array<bool, NUM_HUFF_TBLS> dcMade{}, acMade{};
  for (const ScanLayout::Component& component : layout.components) {
    if (!std::exchange(dcMade[component.dcTable], true))
      makeTable(&out, out.dc_huff_tbl_ptrs[component.dcTable], all.dc[component.dcTable]);
    if (!std::exchange(acMade[component.acTable], true))
      makeTable(&out, out.ac_huff_tbl_ptrs[component.acTable], all.ac[component.acTable]);
  }
  return true;
}

}  // namespace lumaset::imaging_detail
