#include "components/imaging/quarter_turn_pixels.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace lumaset::imaging_detail {

PixelMap PixelMap::clockwise(uint32_t /*width*/, uint32_t height) {
  return {{0, int64_t{height} - 1}, {0, -1}, {1, 0}};
}

PixelMap PixelMap::mirrored(bool mirrorAcross, bool mirrorDown, uint32_t width, uint32_t height) const {
  const int64_t x = mirrorAcross ? int64_t{width} - 1 : 0, y = mirrorDown ? int64_t{height} - 1 : 0;
  const int64_t sx = mirrorAcross ? -1 : 1, sy = mirrorDown ? -1 : 1;
  return {at(x, y), {across.x * sx, across.y * sx}, {down.x * sy, down.y * sy}};
}

namespace {

// Rows of new pixels handled together where they are stored columns, so
// that the stored rows they cross stay in the cache.
constexpr uint32_t kRowsTogether = 16;

const unsigned char* storedRow(const PackedPixels& from, int64_t y) {
  return from.data + static_cast<uint64_t>(y - from.top) * from.rowBytes;
}

// Pixels of `Bytes` bytes each (Bytes 0: `bytes` given at run time).
template <unsigned Bytes>
void mapBytes(const PackedPixels& from, const PixelMap& map, uint32_t width, uint32_t firstRow, uint32_t endRow,
              unsigned char* out, uint64_t outRowBytes, unsigned bytes) {
  const unsigned size = Bytes != 0 ? Bytes : bytes;
  const auto copy = [&](unsigned char* to, const unsigned char* pixel) { std::memcpy(to, pixel, size); };
  const auto pixelAt = [&](int64_t x, int64_t y) {
    return storedRow(from, y) + static_cast<uint64_t>(x - from.left) * size;
  };
  if (!map.transposes()) {
    for (uint32_t y = firstRow; y < endRow; ++y) {
      unsigned char* row = out + (y - firstRow) * outRowBytes;
      const PixelPoint start = map.at(0, y);
      if (map.across.x == 1) {
        std::memcpy(row, pixelAt(start.x, start.y), uint64_t{width} * size);
        continue;
      }
      const unsigned char* pixel = pixelAt(start.x, start.y);
      for (uint32_t x = 0; x < width; ++x, pixel -= size) copy(row + uint64_t{x} * size, pixel);
    }
    return;
  }
  // Each stored row gives a pixel to each of a few new rows in turn.
  for (uint32_t y0 = firstRow; y0 < endRow; y0 += kRowsTogether) {
    const uint32_t y1 = std::min(endRow, y0 + kRowsTogether);
    for (uint32_t x = 0; x < width; ++x) {
      const PixelPoint start = map.at(x, y0);
      const unsigned char* pixel = pixelAt(start.x, start.y);
      const int64_t step = map.down.x * static_cast<int64_t>(size);
      unsigned char* to = out + (y0 - firstRow) * outRowBytes + uint64_t{x} * size;
      for (uint32_t y = y0; y < y1; ++y, pixel += step, to += outRowBytes) copy(to, pixel);
    }
  }
}

// Eight stored pixels of a black-and-white row from stored column `x` on,
// most significant bit first; those outside the row's bytes are 0.
unsigned eightBits(const unsigned char* row, const PackedPixels& from, int64_t x) {
  const int64_t bit = x - from.left;
  const int64_t byte = bit >> 3;  // rounds down below zero too
  const auto at = [&](int64_t i) {
    return i >= 0 && static_cast<uint64_t>(i) < from.rowBytes ? unsigned{row[i]} : 0U;
  };
  const unsigned pair = at(byte) << 8 | at(byte + 1);
  return pair >> (8 - (bit & 7)) & 0xFFU;
}

constexpr std::array<unsigned char, 256> kReversed = [] {
  std::array<unsigned char, 256> table{};
  for (unsigned i = 0; i < 256; ++i) {
    unsigned r = 0;
    for (unsigned b = 0; b < 8; ++b) r |= (i >> b & 1U) << (7 - b);
    table[i] = static_cast<unsigned char>(r);
  }
  return table;
}();

// An 8 x 8 block of bits, its first row in the top byte and each row's
// first bit its most significant, mirrored about its diagonal.
uint64_t transposed(uint64_t x) {
  uint64_t t = (x ^ (x >> 7)) & 0x00AA00AA00AA00AAULL;
  x ^= t ^ (t << 7);
  t = (x ^ (x >> 14)) & 0x0000CCCC0000CCCCULL;
  x ^= t ^ (t << 14);
  t = (x ^ (x >> 28)) & 0x00000000F0F0F0F0ULL;
  return x ^ t ^ (t << 28);
}

// A black-and-white picture, a byte (eight pixels) at a time.
void mapBits(const PackedPixels& from, const PixelMap& map, uint32_t width, uint32_t firstRow, uint32_t endRow,
             unsigned char* out, uint64_t outRowBytes) {
  const uint32_t bytes = (width + 7) / 8;
  if (!map.transposes()) {
    for (uint32_t y = firstRow; y < endRow; ++y) {
      unsigned char* row = out + (y - firstRow) * outRowBytes;
      const PixelPoint start = map.at(0, y);
      const unsigned char* stored = storedRow(from, start.y);
      for (uint32_t b = 0; b < bytes; ++b) {
        const int64_t x = start.x + int64_t{8} * b * map.across.x;
        row[b] = static_cast<unsigned char>(map.across.x == 1 ? eightBits(stored, from, x)
                                                              : kReversed[eightBits(stored, from, x - 7)]);
      }
      if (width % 8 != 0) row[bytes - 1] &= static_cast<unsigned char>(0xFF00U >> (width % 8));
    }
    return;
  }
  // Eight new rows are eight neighbouring stored columns: each stored row
  // gives a byte of them, and eight stored rows a block that, mirrored,
  // holds a byte of each of the eight new rows.
  for (uint32_t y0 = firstRow; y0 < endRow; y0 += 8) {
    const uint32_t rows = std::min<uint32_t>(8, endRow - y0);
    const int64_t column = map.at(0, y0).x;
    const int64_t first = map.down.x == 1 ? column : column - 7;
    for (uint32_t b = 0; b < bytes; ++b) {
      uint64_t block = 0;
      for (uint32_t k = 0; k < 8; ++k) {
        const uint32_t x = b * 8 + k;
        unsigned eight = 0;
        if (x < width) {
          eight = eightBits(storedRow(from, map.at(x, y0).y), from, first);
          if (map.down.x != 1) eight = kReversed[eight];
        }
        block = block << 8 | eight;
      }
      block = transposed(block);
      for (uint32_t i = 0; i < rows; ++i) out[(y0 - firstRow + i) * outRowBytes + b] = static_cast<unsigned char>(block >> (56 - 8 * i));
    }
  }
}

// Any other packing, a bit at a time.
void mapAnyBits(const PackedPixels& from, const PixelMap& map, uint32_t width, uint32_t firstRow, uint32_t endRow,
                unsigned char* out, uint64_t outRowBytes) {
  const uint64_t bits = from.bits;
  for (uint32_t y = firstRow; y < endRow; ++y) {
    unsigned char* row = out + (y - firstRow) * outRowBytes;
    std::memset(row, 0, (width * bits + 7) / 8);
    for (uint32_t x = 0; x < width; ++x) {
      const PixelPoint at = map.at(x, y);
      const unsigned char* stored = storedRow(from, at.y);
      const uint64_t inBit = static_cast<uint64_t>(at.x - from.left) * bits, outBit = x * bits;
      for (uint64_t b = 0; b < bits; ++b) {
        if (stored[(inBit + b) / 8] & (0x80U >> ((inBit + b) % 8)))
          row[(outBit + b) / 8] |= static_cast<unsigned char>(0x80U >> ((outBit + b) % 8));
      }
    }
  }
}

}  // namespace

void mapPackedRows(const PackedPixels& from, const PixelMap& map, uint32_t width, uint32_t firstRow, uint32_t endRow,
                   unsigned char* out, uint64_t outRowBytes) {
  if (firstRow >= endRow || width == 0) return;
  switch (from.bits) {
    case 1: return mapBits(from, map, width, firstRow, endRow, out, outRowBytes);
    case 8: return mapBytes<1>(from, map, width, firstRow, endRow, out, outRowBytes, 1);
    case 16: return mapBytes<2>(from, map, width, firstRow, endRow, out, outRowBytes, 2);
    case 24: return mapBytes<3>(from, map, width, firstRow, endRow, out, outRowBytes, 3);
    case 32: return mapBytes<4>(from, map, width, firstRow, endRow, out, outRowBytes, 4);
    case 48: return mapBytes<6>(from, map, width, firstRow, endRow, out, outRowBytes, 6);
    case 64: return mapBytes<8>(from, map, width, firstRow, endRow, out, outRowBytes, 8);
    default:
      if (from.bits % 8 == 0) return mapBytes<0>(from, map, width, firstRow, endRow, out, outRowBytes, from.bits / 8);
      return mapAnyBits(from, map, width, firstRow, endRow, out, outRowBytes);
  }
}

StoredPieces::StoredPieces(const PixelMap& map, uint32_t width, uint32_t height, unsigned bits, uint32_t newRows,
                           uint32_t bandRows, bool rowBefore)
    : bits_(bits) {
  // A piece of columns starts on a byte: on a pixel whose bits start one.
  int64_t step = 1;
  while (step * bits % 8 != 0) step *= 2;
  for (uint32_t first = 0; first < newRows; first += bandRows) {
    const uint32_t from = first > 0 && rowBefore ? first - 1 : first;
    const uint32_t last = std::min(newRows, first + bandRows) - 1;
    const PixelPoint a = map.at(0, from), b = map.at(0, last);
    Piece piece;
    if (map.transposes()) {
      const int64_t low = std::min(a.x, b.x), high = std::max(a.x, b.x);
      piece.left = low - low % step;
      piece.firstByte = static_cast<uint64_t>(piece.left) * bits / 8;
      piece.rowBytes = (static_cast<uint64_t>(high + 1) * bits + 7) / 8 - piece.firstByte;
      piece.rows = height;
    } else {
      piece.top = std::min(a.y, b.y);
      piece.rowBytes = (uint64_t{width} * bits + 7) / 8;
      piece.rows = static_cast<uint32_t>(std::max(a.y, b.y) - piece.top + 1);
    }
    pieces_.push_back(std::move(piece));
  }
}

double StoredPieces::bytes() const {
  double all = 0;
  for (const Piece& piece : pieces_) all += static_cast<double>(piece.rowBytes) * piece.rows;
  return all;
}

void StoredPieces::allocate() {
  for (Piece& piece : pieces_) piece.bytes.resize(piece.rowBytes * piece.rows);
}

void StoredPieces::putRow(uint32_t y, const unsigned char* row) {
  for (Piece& piece : pieces_) {
    if (y < piece.top || y - piece.top >= piece.rows || piece.bytes.empty()) continue;
    std::memcpy(piece.bytes.data() + (y - piece.top) * piece.rowBytes, row + piece.firstByte, piece.rowBytes);
  }
}

PackedPixels StoredPieces::piece(uint32_t band) const {
  const Piece& piece = pieces_[band];
  return {piece.bytes.data(), piece.rowBytes, bits_, piece.left, piece.top};
}

void StoredPieces::release(uint32_t band) { std::vector<unsigned char>().swap(pieces_[band].bytes); }

}  // namespace lumaset::imaging_detail
