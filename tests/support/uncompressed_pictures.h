#pragma once

// Uncompressed TIFF and BMP files the size of big photos, written as their
// headers and a hole: the file system keeps the zeros of their black pixels
// without writing them, so a 144 MB picture costs no time or disk.

#include <QFile>
#include <QString>

#include "support/hostile_pictures.h"

namespace lumaset::test {

// Writes `header` at the start of `path` and makes the file `size` bytes long.
inline bool WriteWithHole(const QString& path, const QByteArray& header, qint64 size) {
  QFile file(path);
  return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(header) == header.size() &&
         file.resize(size);
}

// An uncompressed RGB (or grey, `samples` 1) TIFF of `bits` a sample, its
// picture in one strip after the header.
inline bool WriteBlackTiff(const QString& path, quint32 width, quint32 height, quint32 bits, quint32 samples) {
  using hostile::le;
  const auto entry = [](quint32 tag, quint32 type, quint32 count, quint32 value) {
    return le(tag, 2) + le(type, 2) + le(count, 4) + le(value, 4);
  };
  const quint32 depths = 8 + 2 + 12 * 10 + 4, pixels = depths + 8, bytes = width * height * samples * bits / 8;
  return WriteWithHole(path,
                       "II" + le(42, 2) + le(8, 4) + le(10, 2) + entry(256, 4, 1, width) + entry(257, 4, 1, height) +
                           (samples == 1 ? entry(258, 3, 1, bits) : entry(258, 3, 3, depths)) + entry(259, 3, 1, 1) +
                           entry(262, 3, 1, samples == 1 ? 1 : 2) + entry(273, 4, 1, pixels) +
                           entry(277, 3, 1, samples) + entry(278, 4, 1, height) + entry(279, 4, 1, bytes) +
                           entry(284, 3, 1, 1) + le(0, 4) + le(bits, 2).repeated(4),
                       qint64{pixels} + bytes);
}

// A 24-bit bitmap stored from the bottom row up.
inline bool WriteBlackBmp(const QString& path, quint32 width, quint32 height) {
  using hostile::le;
  const quint32 rows = (width * 3 + 3) / 4 * 4 * height;
  return WriteWithHole(path,
                       "BM" + le(54 + rows, 4) + le(0, 4) + le(54, 4) + le(40, 4) + le(width, 4) + le(height, 4) +
                           le(1, 2) + le(24, 2) + le(0, 4) + le(rows, 4) + le(2835, 4).repeated(2) + le(0, 4).repeated(2),
                       qint64{54} + rows);
}

}  // namespace lumaset::test
