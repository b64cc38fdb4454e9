#pragma once

// Bitmap files read by Lumaset itself: every header version (the 12-byte
// core header, the 40-byte header and its 52, 56, 108 and 124-byte
// successors, the OS/2 header of up to 64 bytes), every depth a photo or
// scan uses (1, 2, 4, 8, 16, 24 and 32 bits, with masks or without), a
// palette of any length, and run-length data of 4, 8 and 24 bits. Every
// pixel of the picture is defined: those that run-length data skips take
// the palette's first colour (black where there is no palette).

#include <QByteArrayView>
#include <QIODevice>
#include <QImage>
#include <QSize>

#include <array>
#include <cstdint>

#include "components/result.h"

namespace lumaset::imaging_detail {

struct BmpLayout {
  enum class Coding { Plain, Rle8, Rle4, Rle24 };
  std::uint32_t headerSize = 0;  // the info header, after the 14-byte file header
  qint64 pixelsAt = 0;
  int width = 0;
  int height = 0;  // as stored, above zero
  bool topDown = false;
  int bits = 0;
  std::uint32_t compression = 0;
  Coding coding = Coding::Plain;
  std::array<std::uint32_t, 4> masks{};  // red, green, blue, alpha; for 16 and 32 bits
  qint64 paletteAt = 0;
  int paletteEntrySize = 4;  // 3 in a core header
  int paletteColors = 0;     // those the file holds, at most as many as the depth can name
  // A colour profile the file embeds, or the name of one it links to:
  // where it lies (from the file's start) and its length.
  qint64 profileAt = 0;
  qint64 profileSize = 0;

  QSize size() const { return {width, height}; }
  // The bytes of a stored row, padded to whole 32-bit words.
  qint64 rowBytes() const;
  bool runLength() const { return coding != Coding::Plain; }
};

// The layout of a bitmap from its start (the headers and palette; where
// the pixels and the profile lie is read, not whether the file holds them). The error is the reason
// for a message: "the picture is damaged or incomplete", or "Lumaset cannot
// read this kind of picture" with the kind named.
Result<BmpLayout> readBmpLayout(QByteArrayView file);

// The picture of a whole bitmap file: 1 bit a pixel as Format_Mono, up to 8
// as Format_Indexed8, more as Format_RGB32, or Format_ARGB32 where its masks
// give an alpha channel. Tells WorkProgress how far it has come and stops
// between rows when the decode is no longer wanted. `pixelsEnd`, where
// given, is told where the pixel data ends: after the last row, or after
// the run-length data's last code.
Result<QImage> decodeBmp(QByteArrayView file, qint64* pixelsEnd = nullptr);

// A bitmap without run lengths read from `file` (its layout `layout`) a few
// rows at a time, BmpRowsHeld bytes of them, never held whole: the whole
// picture as above, or shrunk to exactly `target` as its rows are read,
// holding a band of rows and the small picture. A file cut short meanwhile
// is damaged; a decode no longer wanted stops between reads.
qint64 BmpRowsHeld(const BmpLayout& layout);
Result<QImage> decodeBmp(QIODevice& file, const BmpLayout& layout);
Result<QImage> shrunkBmp(QIODevice& file, const BmpLayout& layout, QSize target);

}  // namespace lumaset::imaging_detail
