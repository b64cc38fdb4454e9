#include "components/imaging/oriented_samples.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace lumaset::imaging_detail {

ShownTurn shownTurn(int orientation) {
  // Standing upright and then turning clockwise is, for each orientation, a
  // clockwise turn followed by mirroring, or mirroring alone where the two
  // turns' exchange of across and down cancels out.
  switch (orientation) {
    case 2: return {true, false, true};
    case 3: return {true, true, true};
    case 4: return {true, true, false};
    case 5: return {false, true, false};
    case 6: return {false, true, true};
    case 7: return {false, false, true};
    case 8: return {false, false, false};
    default: return {};
  }
}

void mirrorSamples(unsigned char* rows, std::size_t rowBytes, std::uint32_t width, std::uint32_t height, int bitsPerPixel,
                   bool across, bool down) {
  if (down)
    for (std::uint32_t y = 0; y < height / 2; ++y)
      std::swap_ranges(rows + y * rowBytes, rows + (y + 1) * rowBytes, rows + (height - 1 - y) * rowBytes);
  if (!across) return;
  const auto bits = static_cast<std::size_t>(bitsPerPixel);
  std::vector<unsigned char> mirrored(rowBytes);
  for (std::uint32_t y = 0; y < height; ++y) {
    unsigned char* row = rows + y * rowBytes;
    if (bits % 8 == 0) {
      const std::size_t bytes = bits / 8;
      for (std::size_t x = 0; x < width / 2; ++x)
        std::swap_ranges(row + x * bytes, row + (x + 1) * bytes, row + (width - 1 - x) * bytes);
      continue;
    }
    std::fill(mirrored.begin(), mirrored.end(), 0);
    for (std::size_t x = 0; x < width; ++x)
      for (std::size_t b = 0; b < bits; ++b) {
        const std::size_t from = x * bits + b, to = (width - 1 - x) * bits + b;
        if (row[from / 8] & (0x80 >> (from % 8))) mirrored[to / 8] |= static_cast<unsigned char>(0x80 >> (to % 8));
      }
    std::memcpy(row, mirrored.data(), rowBytes);
  }
}

}  // namespace lumaset::imaging_detail
