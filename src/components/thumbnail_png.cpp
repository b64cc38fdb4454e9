#include "components/thumbnail_png.h"

#include <QBuffer>
#include <QByteArrayView>
#include <QImageReader>
#include <QtEndian>

#include <libdeflate.h>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "components/imaging/png/png_chunks.h"

namespace lumaset {

namespace {

constexpr char kSignature[] = "\x89PNG\r\n\x1a\n";
constexpr qsizetype kSignatureBytes = 8;
constexpr uchar kNone = 0, kSub = 1, kUp = 2, kAverage = 3, kPaeth = 4;
constexpr int kLevel = 6;

quint32 chunkCrc(const uchar* typeAndData, qsizetype bytes) {
  return libdeflate_crc32(0, typeAndData, static_cast<std::size_t>(bytes));
}

#if !defined(__SSE2__)
// Of the left, upper and upper-left neighbours, the one closest to left + up - upper left.
int paethPredictor(int left, int up, int corner) {
  const int guess = left + up - corner;
  const int toLeft = std::abs(guess - left);
  const int toUp = std::abs(guess - up);
  const int toCorner = std::abs(guess - corner);
  return toLeft <= toUp && toLeft <= toCorner ? left : toUp <= toCorner ? up : corner;
}
#endif

// The rows of `rgb` (`channels` bytes a pixel), each with whichever of
// PNG's Sub and Up filters leaves the smaller differences (each byte less
// the same channel to its left, or less the byte above); every row starts
// with its filter's number. Both are about the cheapest filters to undo.
QByteArray filteredRows(const QImage& rgb, int channels) {
  const qsizetype rowBytes = qsizetype{rgb.width()} * channels;
  QByteArray rows(rgb.height() * (rowBytes + 1), Qt::Uninitialized);
  auto* out = reinterpret_cast<uchar*>(rows.data());
  std::vector<uchar> sub(static_cast<std::size_t>(rowBytes));
  std::vector<uchar> up(static_cast<std::size_t>(rowBytes));
  const auto size = [](const std::vector<uchar>& bytes) {
    qint64 sum = 0;
    for (const uchar byte : bytes) sum += std::abs(static_cast<int>(static_cast<signed char>(byte)));
    return sum;
  };
  for (int y = 0; y < rgb.height(); ++y) {
    const uchar* row = rgb.constScanLine(y);
    const uchar* above = y > 0 ? rgb.constScanLine(y - 1) : nullptr;
    for (qsizetype x = 0; x < rowBytes; ++x) {
      sub[static_cast<std::size_t>(x)] = static_cast<uchar>(row[x] - (x < channels ? 0 : row[x - channels]));
      up[static_cast<std::size_t>(x)] = static_cast<uchar>(row[x] - (above ? above[x] : 0));
    }
    const bool bySub = size(sub) <= size(up);
    *out++ = bySub ? kSub : kUp;
    out = std::copy((bySub ? sub : up).begin(), (bySub ? sub : up).end(), out);
  }
  return rows;
}

// `rows` as a zlib stream at libdeflate's level 6: written once on a
// writer thread, read back at every opening, at the same speed whatever the level.
QByteArray deflated(const QByteArray& rows) {
  const std::unique_ptr<libdeflate_compressor, decltype(&libdeflate_free_compressor)> compressor(
      libdeflate_alloc_compressor(kLevel), &libdeflate_free_compressor);
  if (!compressor) return {};
  const auto input = static_cast<std::size_t>(rows.size());
  QByteArray out(static_cast<qsizetype>(libdeflate_zlib_compress_bound(compressor.get(), input)), Qt::Uninitialized);
  const std::size_t made = libdeflate_zlib_compress(compressor.get(), rows.constData(), input, out.data(),
                                                    static_cast<std::size_t>(out.size()));
  out.truncate(static_cast<qsizetype>(made));
  return out;
}

// `compressed` inflated into exactly `rows`; false when it does not fill them.
bool inflated(const QByteArray& compressed, QByteArray& rows) {
  // One decompressor a thread: the cache reads on many threads at once.
  thread_local const std::unique_ptr<libdeflate_decompressor, decltype(&libdeflate_free_decompressor)> decompressor(
      libdeflate_alloc_decompressor(), &libdeflate_free_decompressor);
  return decompressor &&
         libdeflate_zlib_decompress(decompressor.get(), compressed.constData(),
                                    static_cast<std::size_t>(compressed.size()), rows.data(),
                                    static_cast<std::size_t>(rows.size()), nullptr) == LIBDEFLATE_SUCCESS;
}

#if defined(__SSE2__)
// Paeth's prediction for a whole pixel at once, as 16-bit lanes.
inline __attribute__((always_inline)) __m128i paethPixel(__m128i left, __m128i up, __m128i corner) {
  const __m128i zero = _mm_setzero_si128();
  const auto absolute = [zero](__m128i value) { return _mm_max_epi16(value, _mm_sub_epi16(zero, value)); };
  const __m128i towardUp = _mm_sub_epi16(up, corner);      // guess - left
  const __m128i towardLeft = _mm_sub_epi16(left, corner);  // guess - up
  const __m128i toLeft = absolute(towardUp);
  const __m128i toUp = absolute(towardLeft);
  const __m128i toCorner = absolute(_mm_add_epi16(towardUp, towardLeft));
  const __m128i smallest = _mm_min_epi16(toCorner, _mm_min_epi16(toLeft, toUp));
  const auto pick = [](__m128i when, __m128i yes, __m128i no) {
    return _mm_or_si128(_mm_and_si128(when, yes), _mm_andnot_si128(when, no));
  };
  // Ties go to left, then up, then the corner.
  return pick(_mm_cmpeq_epi16(smallest, toLeft), left, pick(_mm_cmpeq_epi16(smallest, toUp), up, corner));
}

template <int Channels>
__m128i loadPixel(const uchar* at) {
  quint32 bits = 0;
  std::memcpy(&bits, at, Channels);
  return _mm_unpacklo_epi8(_mm_cvtsi32_si128(static_cast<int>(bits)), _mm_setzero_si128());
}

// Undoes the Paeth filter a pixel at a time, all its channels together.
template <int Channels>
void unpaethPixels(uchar* row, const uchar* above, qsizetype bytes) {
  __m128i left = _mm_setzero_si128();
  __m128i corner = _mm_setzero_si128();
  const __m128i low = _mm_set1_epi16(0xFF);
  for (qsizetype x = 0; x + Channels <= bytes; x += Channels) {
    const __m128i up = loadPixel<Channels>(above + x);
    // Sums wrap at 256, as the filter's bytes do.
    const __m128i value = _mm_and_si128(_mm_add_epi16(loadPixel<Channels>(row + x), paethPixel(left, up, corner)), low);
    const auto bits = static_cast<quint32>(_mm_cvtsi128_si32(_mm_packus_epi16(value, value)));
    std::memcpy(row + x, &bits, Channels);
    left = value;
    corner = up;
  }
}

void unpaeth(uchar* row, const uchar* above, qsizetype bytes, int channels) {
  if (channels == 4) {
    unpaethPixels<4>(row, above, bytes);
  } else {
    unpaethPixels<3>(row, above, bytes);
  }
}
#else
void unpaeth(uchar* row, const uchar* above, qsizetype bytes, int channels) {
  for (qsizetype x = 0; x < bytes; ++x) {
    const bool first = x < channels;
    row[x] = static_cast<uchar>(
        row[x] + paethPredictor(first ? 0 : row[x - channels], above[x], first ? 0 : above[x - channels]));
  }
}
#endif

// Undoes a row's filter in place; false for a filter PNG does not have.
bool unfilter(uchar filter, uchar* row, const uchar* above, qsizetype bytes, int channels) {
  switch (filter) {
    case kNone:
      return true;
    case kSub:
      for (qsizetype x = channels; x < bytes; ++x) row[x] = static_cast<uchar>(row[x] + row[x - channels]);
      return true;
    case kUp:
      for (qsizetype x = 0; x < bytes; ++x) row[x] = static_cast<uchar>(row[x] + above[x]);
      return true;
    case kAverage:
      for (qsizetype x = 0; x < bytes; ++x) {
        const int left = x < channels ? 0 : row[x - channels];
        row[x] = static_cast<uchar>(row[x] + ((left + above[x]) >> 1));
      }
      return true;
    case kPaeth:
      unpaeth(row, above, bytes, channels);
      return true;
    default:
      return false;
  }
}

struct Layout {
  int width = 0;
  int height = 0;
  int channels = 0;
};

// The header of an 8-bit RGB or RGBA picture without interlacing, no larger than `largestSide`.
std::optional<Layout> plainHeader(const uchar* data, quint32 length, int largestSide) {
  if (length != 13) return std::nullopt;
  const quint32 width = qFromBigEndian<quint32>(data);
  const quint32 height = qFromBigEndian<quint32>(data + 4);
  const auto side = static_cast<quint32>(largestSide);
  const bool plain = data[8] == 8 && (data[9] == 2 || data[9] == 6) && data[10] == 0 && data[11] == 0 && data[12] == 0;
  if (!plain || width == 0 || height == 0 || width > side || height > side) return std::nullopt;
  return Layout{static_cast<int>(width), static_cast<int>(height), data[9] == 6 ? 4 : 3};
}

// The pixels of the inflated, filtered rows.
std::optional<QImage> pixels(QByteArray& rows, const Layout& layout) {
  const qsizetype stride = qsizetype{layout.width} * layout.channels;
  QImage image(layout.width, layout.height, layout.channels == 4 ? QImage::Format_ARGB32 : QImage::Format_RGB32);
  if (image.isNull()) return std::nullopt;
  const std::vector<uchar> none(static_cast<std::size_t>(stride), 0);
  const uchar* above = none.data();
  for (int y = 0; y < layout.height; ++y) {
    auto* row = reinterpret_cast<uchar*>(rows.data()) + y * (stride + 1);
    uchar* samples = row + 1;
    if (!unfilter(row[0], samples, above, stride, layout.channels)) return std::nullopt;
    auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
    for (int x = 0; x < layout.width; ++x) {
      const uchar* pixel = samples + qsizetype{x} * layout.channels;
      line[x] = qRgba(pixel[0], pixel[1], pixel[2], layout.channels == 4 ? pixel[3] : 255);
    }
    above = samples;
  }
  return image;
}

// Lumaset's own form in one pass: nothing when the bytes hold another form
// (another depth, a palette, interlacing, compressed text) or are damaged.
std::optional<PngPicture> readPlain(const QByteArray& bytes, int largestSide) {
  if (bytes.size() < kSignatureBytes || std::memcmp(bytes.constData(), kSignature, kSignatureBytes) != 0) {
    return std::nullopt;
  }
  const auto* data = reinterpret_cast<const uchar*>(bytes.constData());
  std::optional<Layout> layout;
  QByteArray compressed;
  PngPicture out;
  for (qsizetype at = kSignatureBytes;;) {
    if (bytes.size() - at < 12) return std::nullopt;  // no end chunk
    const quint32 length = qFromBigEndian<quint32>(data + at);
    if (length > static_cast<quint64>(bytes.size() - at - 12)) return std::nullopt;
    const uchar* type = data + at + 4;
    const uchar* body = type + 4;
    if (chunkCrc(type, length + 4) != qFromBigEndian<quint32>(body + length)) return std::nullopt;
    const QByteArrayView name(type, 4);
    if (!layout) {
      if (name != "IHDR" || !(layout = plainHeader(body, length, largestSide))) return std::nullopt;
    } else if (name == "IDAT") {
      compressed.append(reinterpret_cast<const char*>(body), length);
    } else if (name == "tEXt") {
      const QByteArrayView text(body, length);
      const qsizetype split = text.indexOf('\0');
      if (split <= 0) return std::nullopt;
      out.keys.insert(text.first(split).toByteArray(), QString::fromLatin1(text.sliced(split + 1)).toUtf8());
    } else if (name == "IEND") {
      break;
    } else if ((type[0] & 0x20) == 0 || name == "zTXt" || name == "iTXt") {
      return std::nullopt;  // a critical chunk of another form, or text for Qt to unpack
    }
    at += 12 + qsizetype{length};
  }
  const qsizetype stride = qsizetype{layout->width} * layout->channels;
  QByteArray rows(layout->height * (stride + 1), Qt::Uninitialized);
  if (!inflated(compressed, rows)) return std::nullopt;
  std::optional<QImage> image = pixels(rows, *layout);
  if (!image) return std::nullopt;
  out.image = std::move(*image);
  return out;
}

// Whether every chunk up to the end chunk lies whole inside `bytes`. Qt's
// reader believes a chunk's stated length and asks for that much memory
// (gigabytes for a few hundred bytes of file), so it sees none that lies.
bool chunksWithinBytes(const QByteArray& bytes) {
  if (bytes.size() < kSignatureBytes || std::memcmp(bytes.constData(), kSignature, kSignatureBytes) != 0) {
    return false;
  }
  const auto* data = reinterpret_cast<const uchar*>(bytes.constData());
  for (qsizetype at = kSignatureBytes; bytes.size() - at >= 12;) {
    const quint32 length = qFromBigEndian<quint32>(data + at);
    if (length > static_cast<quint64>(bytes.size() - at - 12)) return false;
    if (QByteArrayView(data + at + 4, 4) == "IEND") return true;
    at += 12 + qsizetype{length};
  }
  return false;
}

// Any other PNG, through Qt's reader.
std::optional<PngPicture> readAny(const QByteArray& bytes, int largestSide) {
  if (!chunksWithinBytes(bytes)) return std::nullopt;
  QByteArray held = bytes;
  QBuffer buffer(&held);
  buffer.open(QIODevice::ReadOnly);
  QImageReader reader(&buffer, "png");
  const QSize size = reader.size();
  if (!size.isValid() || std::max(size.width(), size.height()) > largestSide) return std::nullopt;
  PngPicture out;
  if (!reader.read(&out.image) || out.image.isNull()) return std::nullopt;
  for (const QString& key : out.image.textKeys()) out.keys.insert(key.toUtf8(), out.image.text(key).toUtf8());
  return out;
}

}  // namespace

// Measured on the 128-pixel thumbnails of 288 photos of 4000 x 3000 (and of
// 60 of 1024 x 768): their pixels take 37 KB as they are; with the Up
// filter at zlib's fastest level 19.2 KB on average (21.1, at most 23.4);
// as here 17.0 KB (19.2), at most 18.9 (21.6), keys included. Read back
// here they open as fast as the plain pixels did through Qt's reader.
QByteArray ThumbnailPngBytes(const QImage& picture, const PngKeys& keys) {
  const bool alpha = picture.hasAlphaChannel();
  const QImage rgb = picture.convertToFormat(alpha ? QImage::Format_RGBA8888 : QImage::Format_RGB888);
  if (rgb.isNull()) return {};
  const QByteArray compressed = deflated(filteredRows(rgb, alpha ? 4 : 3));
  if (compressed.isEmpty()) return {};
  QByteArray header(8, Qt::Uninitialized);
  qToBigEndian(static_cast<quint32>(rgb.width()), header.data());
  qToBigEndian(static_cast<quint32>(rgb.height()), header.data() + 4);
  header.append("\x08", 1).append(alpha ? '\x06' : '\x02').append(QByteArray(3, '\0'));  // depth, colour type

  QByteArray png(kSignature, kSignatureBytes);
  png += PngChunk("IHDR", header);
  for (const auto& [key, value] : keys) png += PngChunk("tEXt", key + '\0' + value);
  png += PngChunk("IDAT", compressed);
  png += PngChunk("IEND", {});
  return png;
}

std::optional<PngPicture> ReadThumbnailPng(const QByteArray& bytes, int largestSide) {
  if (std::optional<PngPicture> plain = readPlain(bytes, largestSide)) return plain;
  return readAny(bytes, largestSide);
}

}  // namespace lumaset
