#include "components/imaging/bmp/bmp_run_lengths.h"

#include <algorithm>

#include "components/imaging/decode_memory.h"

namespace lumaset::imaging_detail {

namespace {

constexpr int kMostCount = 255;
constexpr int kRowsBetweenStops = 64;
// Pixels given as they are come three or more at a time (a count of 0, 1
// or 2 is an escape code); a run shorter than this is worth no count of its own.
constexpr int kShortest = 3;

class RowWriter {
 public:
  RowWriter(QByteArray& out, BmpLayout::Coding coding) : out_(out), coding_(coding) {}

  void row(const uchar* line, int width) {
    line_ = line;
    for (int x = 0; x < width;) {
      const int run = runAt(x, width);
      if (run >= kShortest || width - x < kShortest) {
        repeated(x, std::max(run, 1));
        x += std::max(run, 1);
        continue;
      }
      // Pixels as they are, up to where a run worth a count starts.
      int end = x + 1;
      while (end < width && end - x < kMostCount && runAt(end, width) < kShortest) ++end;
      if (end - x < kShortest) {
        for (; x < end; ++x) repeated(x, 1);
      } else {
        literal(x, end - x);
        x = end;
      }
    }
  }

 private:
  std::uint32_t pixel(int x) const {
    if (coding_ != BmpLayout::Coding::Rle24) return line_[x];
    return reinterpret_cast<const QRgb*>(line_)[x];
  }
  int runAt(int x, int width) const {
    int n = 1;
    while (x + n < width && n < kMostCount && pixel(x + n) == pixel(x)) ++n;
    return n;
  }
  void put(std::uint32_t byte) { out_.append(static_cast<char>(byte)); }
  void putPixel(std::uint32_t value) {  // 24 bits: blue, green, red
    put(qBlue(value));
    put(qGreen(value));
    put(qRed(value));
  }
  void repeated(int x, int count) {
    put(static_cast<std::uint32_t>(count));
    const std::uint32_t value = pixel(x);
    if (coding_ == BmpLayout::Coding::Rle24) {
      putPixel(value);
    } else {
      put(coding_ == BmpLayout::Coding::Rle4 ? (value << 4 | value) : value);
    }
  }
  void literal(int x, int count) {
    put(0);
    put(static_cast<std::uint32_t>(count));
    qsizetype bytes = 0;
    for (int i = 0; i < count; ++i) {
      if (coding_ == BmpLayout::Coding::Rle24) {
        putPixel(pixel(x + i));
        bytes += 3;
      } else if (coding_ == BmpLayout::Coding::Rle4) {
        if (i % 2 == 0) {
          put(pixel(x + i) << 4 | (i + 1 < count ? pixel(x + i + 1) : 0));
          ++bytes;
        }
      } else {
        put(pixel(x + i));
        ++bytes;
      }
    }
    if (bytes % 2 != 0) put(0);  // groups end on a 16-bit word
  }

  QByteArray& out_;
  BmpLayout::Coding coding_;
  const uchar* line_ = nullptr;
};

}  // namespace

double mostRunLengthBytes(qint64 width, qint64 height, BmpLayout::Coding coding) {
  // At worst every pixel is a run of one: a count and the pixel; and two
  // bytes of end code a row.
  const double pixelBytes = coding == BmpLayout::Coding::Rle24 ? 4 : 2;
  return (static_cast<double>(width) * pixelBytes + 2) * static_cast<double>(height);
}

std::optional<QByteArray> runLengthRows(const QImage& picture, BmpLayout::Coding coding) {
  QByteArray out;
  RowWriter writer(out, coding);
  for (int y = picture.height() - 1; y >= 0; --y) {
    const int done = picture.height() - 1 - y;
    if (done % kRowsBetweenStops == 0 && WorkProgress::Step(done, picture.height())) return std::nullopt;
    writer.row(picture.constScanLine(y), picture.width());
    out.append('\0').append(y > 0 ? '\0' : '\1');
  }
  return out;
}

}  // namespace lumaset::imaging_detail
