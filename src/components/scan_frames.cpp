#include "components/scan_frames.h"

#include <QColor>

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace lumaset {

namespace {

// The high byte of a 16-bit sample stored in the machine's byte order.
std::uint8_t HighByte(const char* sample) {
  std::uint16_t value = 0;
  std::memcpy(&value, sample, sizeof value);
  return static_cast<std::uint8_t>(value >> 8);
}

std::uint8_t Sample(const char* row, int index, int depth) {
  switch (depth) {
    case 16: return HighByte(row + static_cast<std::ptrdiff_t>(index) * 2);
    case 8: return static_cast<std::uint8_t>(row[index]);
    default: {  // 1 bit, most significant first; a set bit is full intensity for colour
      const auto byte = static_cast<std::uint8_t>(row[index / 8]);
      return (byte >> (7 - index % 8)) & 1U ? 255 : 0;
    }
  }
}

QImage GreyLines(const FrameLayout& layout, const QByteArray& bytes, int lines) {
  if (layout.depth == 1) {
    QImage image(layout.pixelsPerLine, lines, QImage::Format_Mono);
    if (image.isNull()) return image;
    // The scanner's set bit is black, as in every one-bit format.
    image.setColorTable({qRgb(255, 255, 255), qRgb(0, 0, 0)});
    const int rowBytes = (layout.pixelsPerLine + 7) / 8;
    for (int y = 0; y < lines; ++y) {
      std::memcpy(image.scanLine(y), bytes.constData() + static_cast<qsizetype>(y) * layout.bytesPerLine,
                  static_cast<std::size_t>(rowBytes));
    }
    return image;
  }
  QImage image(layout.pixelsPerLine, lines, QImage::Format_Grayscale8);
  if (image.isNull()) return image;
  for (int y = 0; y < lines; ++y) {
    const char* row = bytes.constData() + static_cast<qsizetype>(y) * layout.bytesPerLine;
    uchar* out = image.scanLine(y);
    for (int x = 0; x < layout.pixelsPerLine; ++x) out[x] = Sample(row, x, layout.depth);
  }
  return image;
}

QImage ColourLines(const FrameLayout& layout, const QByteArray& bytes, int lines) {
  QImage image(layout.pixelsPerLine, lines, QImage::Format_RGB888);
  if (image.isNull()) return image;
  const int samples = layout.pixelsPerLine * 3;
  for (int y = 0; y < lines; ++y) {
    const char* row = bytes.constData() + static_cast<qsizetype>(y) * layout.bytesPerLine;
    uchar* out = image.scanLine(y);
    for (int s = 0; s < samples; ++s) out[s] = Sample(row, s, layout.depth);
  }
  return image;
}

// The bytes one line needs at least.
qint64 LineBytes(const FrameLayout& layout) {
  const qint64 samples = qint64{layout.pixelsPerLine} * (layout.kind == FrameLayout::Kind::Colour ? 3 : 1);
  return (samples * layout.depth + 7) / 8;
}

int Level(int value, int top) { return (value * top + 127) / 255; }

}  // namespace

Result<QImage> FrameToPicture(const FrameLayout& layout, const QByteArray& bytes) {
  if (layout.depth != 1 && layout.depth != 8 && layout.depth != 16) {
    return Error{QStringLiteral("The scanner sent %1-bit samples, which Lumaset cannot read.").arg(layout.depth)};
  }
  if (layout.pixelsPerLine <= 0 || layout.bytesPerLine < LineBytes(layout)) {
    return Error{QStringLiteral("The scanner described its lines inconsistently (%1 pixels in %2 bytes).")
                     .arg(layout.pixelsPerLine)
                     .arg(layout.bytesPerLine)};
  }
  const qint64 whole = bytes.size() / layout.bytesPerLine;
  const qint64 lines = layout.lines >= 0 ? std::min<qint64>(layout.lines, whole) : whole;
  if (lines <= 0) return Error{QStringLiteral("The scanner sent no picture.")};
  const int count = static_cast<int>(std::min<qint64>(lines, INT32_MAX));
  QImage image = layout.kind == FrameLayout::Kind::Grey ? GreyLines(layout, bytes, count)
                                                        : ColourLines(layout, bytes, count);
  if (image.isNull()) {
    return Error{QStringLiteral("There is not enough memory for a scan of %1 x %2 pixels.")
                     .arg(layout.pixelsPerLine)
                     .arg(count)};
  }
  return image;
}

QImage ReduceTo256Colours(const QImage& picture) {
  const QImage source = picture.convertToFormat(QImage::Format_RGB32);
  QImage out(source.size(), QImage::Format_Indexed8);
  if (out.isNull()) return out;
  QList<QRgb> table;
  table.reserve(256);
  for (int i = 0; i < 256; ++i) {
    table.append(qRgb((i >> 5) * 255 / 7, ((i >> 2) & 7) * 255 / 7, (i & 3) * 255 / 3));
  }
  out.setColorTable(table);
  for (int y = 0; y < source.height(); ++y) {
    const auto* in = reinterpret_cast<const QRgb*>(source.constScanLine(y));
    uchar* row = out.scanLine(y);
    for (int x = 0; x < source.width(); ++x) {
      row[x] = static_cast<uchar>(Level(qRed(in[x]), 7) << 5 | Level(qGreen(in[x]), 7) << 2 |
                                  Level(qBlue(in[x]), 3));
    }
  }
  return out;
}

}  // namespace lumaset
