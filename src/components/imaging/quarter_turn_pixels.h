#pragma once

// Pixels moved as a file packs them, for the turns of every format that
// stores its samples: whole bytes a pixel, or 1, 2 or 4 bits (or any other
// count) packed from the most significant bit. A turned picture is a map of
// the stored one: each of its rows is a stored column (or row) read one way
// or the other. A black-and-white page moves eight rows by eight pixels at a
// time, so that it takes about the time its bytes take.

#include <cstdint>
#include <vector>

namespace lumaset::imaging_detail {

// A pixel position, or a step of one pixel along one axis.
struct PixelPoint {
  int64_t x = 0;
  int64_t y = 0;
};

// Where the pixels of a new picture come from: its pixel (x, y) is the
// stored pixel origin + x * across + y * down.
struct PixelMap {
  PixelPoint origin;
  PixelPoint across;
  PixelPoint down;

  // A picture of `width` x `height` pixels, stored top row first, turned a
  // quarter turn clockwise: its first row is the stored left column, read
  // from the bottom up.
  static PixelMap clockwise(uint32_t width, uint32_t height);
  // The stored picture as it is.
  static PixelMap same() { return {{0, 0}, {1, 0}, {0, 1}}; }
  // This map's picture of `width` x `height` mirrored across (each row
  // reversed) and down (the rows reversed).
  PixelMap mirrored(bool across, bool down, uint32_t width, uint32_t height) const;
  // Whether the new rows are stored columns (the grid turns).
  bool transposes() const { return across.x == 0; }
  PixelPoint at(int64_t x, int64_t y) const {
    return {origin.x + x * across.x + y * down.x, origin.y + x * across.y + y * down.y};
  }
};

// Stored pixels, or some of them: rows `rowBytes` apart; the first byte is
// stored pixel (left, top), and left falls on a byte.
struct PackedPixels {
  const unsigned char* data = nullptr;
  uint64_t rowBytes = 0;
  unsigned bits = 8;  // a pixel
  int64_t left = 0;
  int64_t top = 0;
};

// Rows firstRow .. endRow - 1 of the picture `map` makes of `from`, each of
// `width` pixels and written whole (the bits past its last pixel 0), the
// first at `out` and the others `outRowBytes` apart. Every stored pixel
// the map names must lie in `from`.
void mapPackedRows(const PackedPixels& from, const PixelMap& map, uint32_t width, uint32_t firstRow, uint32_t endRow,
                   unsigned char* out, uint64_t outRowBytes);

// A stored picture held in pieces, one for each band of new rows: the
// stored columns (or rows) that the band's rows come from, and, where
// asked, those of the row before the band too. A piece is let go of once
// its band is made, so that the new rows take the place of the stored
// ones rather than joining them.
class StoredPieces {
 public:
  // For bands of `bandRows` of the `newRows` rows that `map` makes of a
  // stored picture of `width` x `height` pixels of `bits` each.
  StoredPieces(const PixelMap& map, uint32_t width, uint32_t height, unsigned bits, uint32_t newRows, uint32_t bandRows,
               bool rowBefore);
  // The bytes all the pieces take.
  double bytes() const;
  // Takes memory for every piece; throws std::bad_alloc without it.
  void allocate();
  // Stored row `y`, whole, into each piece that holds any of it.
  void putRow(uint32_t y, const unsigned char* row);
  // The stored pixels that band `band` of new rows needs (rows band *
  // bandRows .. on, and the row before them where asked).
  PackedPixels piece(uint32_t band) const;
  void release(uint32_t band);

 private:
  struct Piece {
    int64_t left = 0, top = 0;  // in stored pixels
    uint64_t firstByte = 0;     // of a stored row
    uint64_t rowBytes = 0;
    uint32_t rows = 0;
    std::vector<unsigned char> bytes;
  };
  std::vector<Piece> pieces_;
  unsigned bits_;
};

}  // namespace lumaset::imaging_detail
