// Pixels mapped as files pack them: every depth, every one of the eight
// ways a picture can be turned or mirrored, any band of rows, pictures whose
// rows end inside a byte, and stored pixels held only in part.

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "components/imaging/quarter_turn_pixels.h"

namespace lumaset::test {
namespace {

using imaging_detail::mapPackedRows;
using imaging_detail::PackedPixels;
using imaging_detail::PixelMap;

uint64_t rowBytesOf(uint64_t width, unsigned bits) { return (width * bits + 7) / 8; }

uint64_t pixelOf(const std::vector<unsigned char>& bytes, uint64_t rowBytes, unsigned bits, uint64_t x, uint64_t y) {
  uint64_t value = 0;
  for (uint64_t b = 0; b < bits; ++b) {
    const uint64_t bit = y * rowBytes * 8 + x * bits + b;
    value = value << 1 | (bytes[bit / 8] >> (7 - bit % 8) & 1U);
  }
  return value;
}

// The eight maps of a stored picture of `width` x `height`: the new rows
// are stored rows or stored columns, each read either way.
std::vector<PixelMap> everyMap(int64_t width, int64_t height) {
  std::vector<PixelMap> maps;
  for (const bool columns : {false, true}) {
    for (const int across : {1, -1}) {
      for (const int down : {1, -1}) {
        PixelMap map;
        map.across = columns ? imaging_detail::PixelPoint{0, across} : imaging_detail::PixelPoint{across, 0};
        map.down = columns ? imaging_detail::PixelPoint{down, 0} : imaging_detail::PixelPoint{0, down};
        map.origin = {(map.across.x < 0 || map.down.x < 0) ? width - 1 : 0,
                      (map.across.y < 0 || map.down.y < 0) ? height - 1 : 0};
        maps.push_back(map);
      }
    }
  }
  return maps;
}

TEST(QuarterTurnPixels, EveryDepthAndWayMatchesThePixelsItNames) {
  for (const unsigned bits : {1U, 2U, 4U, 8U, 12U, 16U, 24U, 32U, 40U, 48U, 64U}) {
    for (const auto& [width, height] : {std::pair<uint32_t, uint32_t>{37, 21}, {8, 16}, {1, 9}, {70, 3}}) {
      // Stored rows with bytes of noise past their last pixel.
      const uint64_t rowBytes = rowBytesOf(width, bits) + 3;
      std::vector<unsigned char> stored(rowBytes * height);
      for (std::size_t i = 0; i < stored.size(); ++i) stored[i] = static_cast<unsigned char>((i * 2654435761U) >> 13);
      const PackedPixels from{stored.data(), rowBytes, bits};
      for (const PixelMap& map : everyMap(width, height)) {
        const uint32_t newWidth = map.transposes() ? height : width, newHeight = map.transposes() ? width : height;
        const uint64_t newRowBytes = rowBytesOf(newWidth, bits);
        std::vector<unsigned char> made(newRowBytes * newHeight, 0xA5);
        // In bands of rows that do not fall on eight.
        for (uint32_t first = 0; first < newHeight; first += 5)
          mapPackedRows(from, map, newWidth, first, std::min(first + 5, newHeight), made.data() + first * newRowBytes,
                        newRowBytes);
        for (uint32_t y = 0; y < newHeight; ++y) {
          for (uint32_t x = 0; x < newWidth; ++x) {
            const auto at = map.at(x, y);
            ASSERT_EQ(pixelOf(made, newRowBytes, bits, x, y),
                      pixelOf(stored, rowBytes, bits, static_cast<uint64_t>(at.x), static_cast<uint64_t>(at.y)))
                << bits << " bits, " << width << " x " << height << ", across " << map.across.x << "," << map.across.y
                << " down " << map.down.x << "," << map.down.y << " at " << x << "," << y;
          }
          const uint64_t used = uint64_t{newWidth} * bits;
          if (used % 8 != 0) {
            EXPECT_EQ(made[y * newRowBytes + used / 8] & (0xFFU >> used % 8), 0U) << bits << " bits: past the row's end";
          }
        }
      }
    }
  }
}

// A piece of the stored picture (some columns from a byte on, some rows)
// gives the new rows that lie in it.
TEST(QuarterTurnPixels, APieceOfTheStoredPictureGivesItsRows) {
  const uint32_t width = 45, height = 13;
  for (const unsigned bits : {1U, 24U}) {
    const uint64_t rowBytes = rowBytesOf(width, bits);
    std::vector<unsigned char> stored(rowBytes * height);
    for (std::size_t i = 0; i < stored.size(); ++i) stored[i] = static_cast<unsigned char>(i * 37 + 11);
    const PixelMap map = PixelMap::clockwise(width, height);
    // The new rows 16 .. 31 are stored columns 16 .. 31, a piece of 2 bytes a row at 1 bit.
    const uint64_t left = 16, pieceBytes = rowBytesOf(16, bits);
    std::vector<unsigned char> piece;
    for (uint32_t y = 0; y < height; ++y)
      piece.insert(piece.end(), stored.begin() + y * rowBytes + left * bits / 8,
                   stored.begin() + y * rowBytes + left * bits / 8 + pieceBytes);
    const uint64_t newRowBytes = rowBytesOf(height, bits);
    std::vector<unsigned char> whole(newRowBytes * width), part(newRowBytes * 16);
    mapPackedRows({stored.data(), rowBytes, bits}, map, height, 0, width, whole.data(), newRowBytes);
    mapPackedRows({piece.data(), pieceBytes, bits, static_cast<int64_t>(left), 0}, map, height, 16, 32, part.data(),
                  newRowBytes);
    EXPECT_EQ(part, std::vector<unsigned char>(whole.begin() + 16 * newRowBytes, whole.begin() + 32 * newRowBytes))
        << bits;
  }
}

}  // namespace
}  // namespace lumaset::test
