#pragma once

// PNG, TIFF and bitmap files made byte by byte, with exactly the chunks and
// tags a test names, and readers of what such files hold, so that a test
// sees what a rewrite kept without trusting the reader under test.

#include <QByteArray>
#include <QList>
#include <QMap>

#include <algorithm>
#include <utility>

#include "support/hostile_pictures.h"

namespace lumaset::test {

inline QByteArray Le16(int value) { return hostile::le(static_cast<quint32>(value), 2); }
inline QByteArray Le32(quint32 value) { return hostile::le(value, 4); }
inline QByteArray Be16(int value) { return QByteArray(1, char(value >> 8)) + char(value & 0xFF); }
inline quint32 Be32At(const QByteArray& bytes, qsizetype at) {
  return quint32(quint8(bytes[at])) << 24 | quint8(bytes[at + 1]) << 16 | quint8(bytes[at + 2]) << 8 |
         quint8(bytes[at + 3]);
}

// A PNG that is not interlaced, of the given rows of samples (each row
// unfiltered), with `extra` chunks between its header and its picture.
inline QByteArray MadePng(int width, int depth, int colorType, const QList<QByteArray>& rows,
                          const QByteArray& extra = {}) {
  QByteArray raw;
  for (const QByteArray& row : rows) raw += '\0' + row;
  const QByteArray header = hostile::be32(width) + hostile::be32(static_cast<quint32>(rows.size())) + char(depth) +
                            char(colorType) + QByteArray(3, '\0');
  return "\x89PNG\r\n\x1A\n" + hostile::pngChunk("IHDR", header) + extra +
         hostile::pngChunk("IDAT", hostile::deflated(raw)) + hostile::pngChunk("IEND", {});
}

// Each chunk's type and data, in the file's order.
inline QList<std::pair<QByteArray, QByteArray>> PngChunks(const QByteArray& png) {
  QList<std::pair<QByteArray, QByteArray>> chunks;
  for (qsizetype at = 8; at + 12 <= png.size();) {
    const qsizetype length = Be32At(png, at);
    chunks.append({png.mid(at + 4, 4), png.mid(at + 8, length)});
    at += 12 + length;
  }
  return chunks;
}

// The rows of samples of a PNG that is not interlaced, its filters undone.
inline QList<QByteArray> PngRows(const QByteArray& png) {
  QByteArray pictureData, header;
  for (const auto& [type, data] : PngChunks(png)) {
    if (type == "IHDR") header = data;
    if (type == "IDAT") pictureData += data;
  }
  if (header.size() != 13) return {};
  const auto u32 = [&header](int at) { return Be32At(header, at); };
  static constexpr int kChannels[] = {1, 0, 3, 1, 2, 0, 4};
  const int bits = header[8] * kChannels[std::min<int>(header[9], 6)];
  const int step = std::max(1, bits / 8);
  const qsizetype rowBytes = (qsizetype{u32(0)} * bits + 7) / 8;
  const QByteArray raw = qUncompress(hostile::be32(static_cast<quint32>((rowBytes + 1) * u32(4))) + pictureData);
  QList<QByteArray> rows;
  QByteArray prior(rowBytes, '\0');
  for (qsizetype at = 0; at + 1 + rowBytes <= raw.size(); at += 1 + rowBytes) {
    QByteArray row = raw.mid(at + 1, rowBytes);
    for (qsizetype i = 0; i < rowBytes; ++i) {
      const int a = i >= step ? quint8(row[i - step]) : 0, b = quint8(prior[i]);
      const int c = i >= step ? quint8(prior[i - step]) : 0;
      const int p = a + b - c, pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
      const int paeth = pa <= pb && pa <= pc ? a : pb <= pc ? b : c;
      const int add[] = {0, a, b, (a + b) / 2, paeth};
      row[i] = char(quint8(row[i]) + add[std::min<int>(raw[at], 4)]);
    }
    rows.append(row);
    prior = row;
  }
  return rows;
}

// One entry of a TIFF directory: its tag, its type (2 text, 3 short, 4 long,
// 5 rational) and its values as little-endian bytes.
struct TiffEntry {
  int tag;
  int type;
  QByteArray values;
};

inline int TiffTypeSize(int type) { return type == 3 ? 2 : type == 4 ? 4 : type == 5 ? 8 : 1; }

// A little-endian TIFF of one strip: the directory holds `entries` and the
// strip's place and size, the values that do not fit an entry follow it, and
// then the strip.
inline QByteArray MadeTiff(QList<TiffEntry> entries, const QByteArray& strip) {
  entries.append({273, 4, Le32(0)});
  entries.append({279, 4, Le32(static_cast<quint32>(strip.size()))});
  std::sort(entries.begin(), entries.end(), [](const TiffEntry& a, const TiffEntry& b) { return a.tag < b.tag; });
  const auto directoryEnd = static_cast<quint32>(8 + 2 + 12 * entries.size() + 4);
  QByteArray directory = Le16(static_cast<int>(entries.size())), values;
  quint32 stripAt = directoryEnd;
  for (const TiffEntry& e : entries) stripAt += e.values.size() > 4 ? (e.values.size() + 1) / 2 * 2 : 0;
  for (const TiffEntry& e : entries) {
    const auto count = static_cast<quint32>(e.values.size() / TiffTypeSize(e.type));
    directory += Le16(e.tag) + Le16(e.type) + Le32(count);
    if (e.tag == 273) {
      directory += Le32(stripAt);
    } else if (e.values.size() > 4) {
      directory += Le32(directoryEnd + static_cast<quint32>(values.size()));
      values += e.values + QByteArray(e.values.size() % 2, '\0');
    } else {
      directory += e.values + QByteArray(4 - e.values.size(), '\0');
    }
  }
  return QByteArray("II*\0\x08\0\0\0", 8) + directory + Le32(0) + values + strip;
}

// The values of each tag of a little-endian TIFF's first directory, as bytes.
inline QMap<int, QByteArray> TiffTags(const QByteArray& tiff) {
  const auto u16 = [&tiff](qsizetype at) { return int(quint8(tiff[at])) | int(quint8(tiff[at + 1])) << 8; };
  const auto u32 = [&](qsizetype at) { return quint32(u16(at)) | quint32(u16(at + 2)) << 16; };
  QMap<int, QByteArray> tags;
  if (!tiff.startsWith("II")) return tags;
  const qsizetype directory = u32(4);
  for (int i = 0; i < u16(directory); ++i) {
    const qsizetype entry = directory + 2 + 12 * i;
    const qsizetype bytes = qsizetype{u32(entry + 4)} * TiffTypeSize(u16(entry + 2));
    tags[u16(entry)] = tiff.mid(bytes <= 4 ? entry + 8 : qsizetype{u32(entry + 8)}, bytes);
  }
  return tags;
}

// A TIFF rational value; -1 when the bytes are no rational.
inline double TiffRational(const QByteArray& value) {
  const auto u32 = [&value](int at) {
    return static_cast<double>(quint32(quint8(value[at])) | quint32(quint8(value[at + 1])) << 8 |
                               quint32(quint8(value[at + 2])) << 16 | quint32(quint8(value[at + 3])) << 24);
  };
  return value.size() == 8 && u32(4) != 0 ? u32(0) / u32(4) : -1;
}

}  // namespace lumaset::test
