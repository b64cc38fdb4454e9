#pragma once

// Small valid picture files whose pictures cost far more memory than their
// bytes, made by code for the imaging tests and the hostile-folder bench.

#include <QByteArray>
#include <QtGlobal>

namespace lumaset::test::hostile {

inline QByteArray le(quint32 value, int bytes) {
  QByteArray out;
  for (int i = 0; i < bytes; ++i) out.append(char((value >> (8 * i)) & 0xFF));
  return out;
}

inline QByteArray be32(quint32 value) {
  QByteArray out;
  for (int i = 3; i >= 0; --i) out.append(char((value >> (8 * i)) & 0xFF));
  return out;
}

// A zlib stream of `raw`, as PNG and TIFF's deflate keep it.
inline QByteArray deflated(const QByteArray& raw) { return qCompress(raw, 9).mid(4); }

inline QByteArray pngChunk(const char* type, const QByteArray& data) {
  const QByteArray body = QByteArray(type) + data;
  quint32 crc = 0xFFFFFFFF;
  for (const char c : body) {
    crc ^= static_cast<quint8>(c);
    for (int k = 0; k < 8; ++k) crc = (crc & 1) != 0 ? 0xEDB88320 ^ (crc >> 1) : crc >> 1;
  }
  return be32(static_cast<quint32>(data.size())) + body + be32(crc ^ 0xFFFFFFFF);
}

// A grey PNG of `depth` bits a pixel, all black.
inline QByteArray greyPng(int side, int depth) {
  const QByteArray header = be32(side) + be32(side) + char(depth) + QByteArray(4, '\0');
  const QByteArray raw(qsizetype{side} * (1 + (qsizetype{side} * depth + 7) / 8), '\0');
  return "\x89PNG\r\n\x1A\n" + pngChunk("IHDR", header) + pngChunk("IDAT", deflated(raw)) + pngChunk("IEND", {});
}

// A grey PNG of `depth` bits a pixel, all black, stored interlaced: seven
// passes, each a smaller picture of its own.
inline QByteArray interlacedGreyPng(int side, int depth) {
  const QByteArray header = be32(side) + be32(side) + char(depth) + QByteArray(2, '\0') + QByteArray(1, '\0') + '\1';
  static constexpr int kStart[] = {0, 4, 0, 2, 0, 1, 0}, kStep[] = {8, 8, 4, 4, 2, 2, 1};  // across
  static constexpr int kTop[] = {0, 0, 4, 0, 2, 0, 1}, kDown[] = {8, 8, 8, 4, 4, 2, 2};
  QByteArray raw;
  for (int pass = 0; pass < 7; ++pass) {
    const qsizetype cols = (side - kStart[pass] + kStep[pass] - 1) / kStep[pass];
    const qsizetype rows = (side - kTop[pass] + kDown[pass] - 1) / kDown[pass];
    if (cols > 0 && rows > 0) raw += QByteArray(rows * (1 + (cols * depth + 7) / 8), '\0');
  }
  return "\x89PNG\r\n\x1A\n" + pngChunk("IHDR", header) + pngChunk("IDAT", deflated(raw)) + pngChunk("IEND", {});
}

// A small grey PNG whose picture follows a private chunk of `chunkBytes`
// bytes; its checksum is left 0, so a reader passes it over.
inline QByteArray privateChunkPng(int side, qsizetype chunkBytes) {
  const QByteArray plain = greyPng(side, 8);
  const QByteArray chunk = be32(static_cast<quint32>(chunkBytes)) + "prIv" + QByteArray(chunkBytes + 4, '\0');
  return plain.left(33) + chunk + plain.mid(33);
}

// A lossless WebP of one colour: every code has a single symbol, so the
// pixels take no bits at all, whatever the size; `padding` bytes follow.
inline QByteArray flatWebp(int side, int padding) {
  QByteArray data;
  quint64 pending = 0;
  int count = 0;
  const auto put = [&](quint32 value, int bits) {
    pending |= quint64{value} << count;
    for (count += bits; count >= 8; count -= 8, pending >>= 8) data.append(char(pending & 0xFF));
  };
  put(0x2F, 8), put(side - 1, 14), put(side - 1, 14), put(0, 4);
  put(0, 3);  // no transform, no colour cache, one group of codes
  for (const int value : {160, 30, 90, 255}) put(1, 1), put(0, 1), put(1, 1), put(value, 8);  // green, red, blue, alpha
  put(1, 1), put(0, 3), put(0, 7);  // distance
  data.append(QByteArray(padding, '\0'));
  return "RIFF" + le(12 + data.size(), 4) + "WEBPVP8L" + le(data.size(), 4) + data;
}

// A float RGBA TIFF whose deflate strips all point at one chunk of 16 rows.
inline QByteArray sharedStripTiff(int side) {
  const int strips = side / 16;
  const QByteArray chunk = deflated(QByteArray(qsizetype{side} * 16 * 16, '\0'));
  const quint32 arrays = 8 + 2 + 12 * 12 + 4;
  const quint32 offsets = arrays + 16, counts = offsets + 4 * strips, data = counts + 4 * strips;
  const auto entry = [](quint32 tag, quint32 type, quint32 count, quint32 value) {
    return le(tag, 2) + le(type, 2) + le(count, 4) + le(value, 4);
  };
  QByteArray out = "II" + le(42, 2) + le(8, 4) + le(12, 2);
  out += entry(256, 4, 1, side) + entry(257, 4, 1, side) + entry(258, 3, 4, arrays) + entry(259, 3, 1, 8);
  out += entry(262, 3, 1, 2) + entry(273, 4, strips, offsets) + entry(277, 3, 1, 4) + entry(278, 4, 1, 16);
  out += entry(279, 4, strips, counts) + entry(284, 3, 1, 1) + entry(338, 3, 1, 2) + entry(339, 3, 4, arrays + 8);
  out += le(0, 4) + le(32, 2).repeated(4) + le(3, 2).repeated(4);
  for (int i = 0; i < strips; ++i) out += le(data, 4);
  for (int i = 0; i < strips; ++i) out += le(chunk.size(), 4);
  return out + chunk;
}

// An 8-bit run-length bitmap whose stream ends at once.
inline QByteArray emptyRunLengthBmp(int side) {
  const QByteArray palette = QByteArray(1024, '\0');
  QByteArray out = "BM" + le(14 + 40 + 1024 + 2, 4) + le(0, 4) + le(14 + 40 + 1024, 4);
  out += le(40, 4) + le(side, 4) + le(side, 4) + le(1, 2) + le(8, 2) + le(1, 4) + le(2, 4) + le(2835, 4).repeated(2);
  return out + le(256, 4) + le(0, 4) + palette + QByteArray("\0\x01", 2);
}

// A GIF of one pixel on a screen of `side` x `side`, after a comment of
// `comment` bytes.
inline QByteArray smallFrameGif(int side, int comment = 0) {
  QByteArray out = "GIF89a" + le(side, 2) + le(side, 2) + QByteArray::fromHex("800000000000ffffff");
  for (; comment > 0; comment -= 255) out += QByteArray::fromHex("21fe") + char(255) + QByteArray(255, 'c') + '\0';
  return out + QByteArray::fromHex("2c00000000010001000002024401003b");
}

}  // namespace lumaset::test::hostile
