#include "components/imaging/png_quarter_turn.h"

#include <png.h>

#include <QList>
#include <QString>
#include <QtEndian>

#include <algorithm>
#include <csetjmp>
#include <cstring>
#include <vector>

#include "components/imaging/decode_memory.h"
#include "components/imaging/png_chunks.h"
#include "components/imaging/pixel_bands.h"

namespace lumaset::imaging_detail {

namespace {

constexpr QByteArrayView kSignature("\x89PNG\r\n\x1A\n", 8);

// Deflate turns one byte into at most 1032.
constexpr double kMostDeflateRatio = 1032;

struct Chunk {
  QByteArrayView type;
  QByteArrayView data;
  QByteArrayView whole;  // length, type, data and checksum, as the file has them
};

// The chunks up to and with IEND; none when the file is no PNG or ends first.
std::vector<Chunk> chunksOf(QByteArrayView file) {
  if (!file.startsWith(kSignature)) return {};
  std::vector<Chunk> chunks;
  for (qsizetype at = kSignature.size(); at + 12 <= file.size();) {
    const std::uint32_t length = qFromBigEndian<quint32>(file.data() + at);
    if (length > static_cast<std::uint32_t>(file.size() - at - 12)) return {};
    chunks.push_back({file.sliced(at + 4, 4), file.sliced(at + 8, length), file.sliced(at, length + 12)});
    if (chunks.back().type == "IEND") return chunks;
    at += 12 + qsizetype{length};
  }
  return {};
}

// The samples of every row as the file stores them: packed below 8 bits,
// most significant byte first at 16.
struct Raster {
  png_uint_32 width = 0;
  png_uint_32 height = 0;
  int depth = 0;
  int colorType = 0;
  int interlace = 0;
  int bitsPerPixel = 0;
  size_t rowBytes = 0;
  std::vector<png_color> palette;
  std::vector<unsigned char> samples;
  std::vector<png_bytep> rows;

  void allocate() {
    rowBytes = (size_t{width} * bitsPerPixel + 7) / 8;
    samples.assign(rowBytes * height, 0);
    rows.resize(height);
    for (png_uint_32 y = 0; y < height; ++y) rows[y] = samples.data() + y * rowBytes;
  }
};

struct Failure {
  QString message;
};

[[noreturn]] void onError(png_structp png, png_const_charp text) {
  static_cast<Failure*>(png_get_error_ptr(png))->message = QString::fromLatin1(text);
  png_longjmp(png, 1);
}

void onWarning(png_structp, png_const_charp) {}

struct Source {
  QByteArrayView bytes;
  qsizetype at = 0;
};

void readFromMemory(png_structp png, png_bytep out, size_t count) {
  auto* source = static_cast<Source*>(png_get_io_ptr(png));
  if (count > static_cast<size_t>(source->bytes.size() - source->at)) png_error(png, "the file ends early");
  std::memcpy(out, source->bytes.data() + source->at, count);
  source->at += static_cast<qsizetype>(count);
}

void writeToMemory(png_structp png, png_bytep data, size_t count) {
  static_cast<QByteArray*>(png_get_io_ptr(png))->append(reinterpret_cast<const char*>(data), count);
}

void flushNothing(png_structp) {}

// libpng's structures for one file and the first error it reported.
class PngSession {
 public:
  const QString& failure() const { return failure_.message; }

 protected:
  Failure failure_;
  png_structp png_ = nullptr;
  png_infop info_ = nullptr;
};

class Reading : public PngSession {
 public:
  Reading() {
    png_ = png_create_read_struct(PNG_LIBPNG_VER_STRING, &failure_, onError, onWarning);
    if (png_) info_ = png_create_info_struct(png_);
  }
  ~Reading() { png_destroy_read_struct(&png_, &info_, nullptr); }
  Reading(const Reading&) = delete;
  Reading& operator=(const Reading&) = delete;

  // The header, then (with `rows`) the samples; false on a damaged file.
  // Only objects made before the jump point live here, so that libpng's
  // jump back over its own frames leaves nothing undone.
  bool header(Source& source, Raster& raster) {
    if (!info_) return false;
    if (setjmp(png_jmpbuf(png_))) return false;
    png_set_read_fn(png_, &source, readFromMemory);
    png_read_info(png_, info_);
    png_set_interlace_handling(png_);
    png_read_update_info(png_, info_);
    raster.width = png_get_image_width(png_, info_);
    raster.height = png_get_image_height(png_, info_);
    raster.depth = png_get_bit_depth(png_, info_);
    raster.colorType = png_get_color_type(png_, info_);
    raster.interlace = png_get_interlace_type(png_, info_);
    raster.bitsPerPixel = raster.depth * png_get_channels(png_, info_);
    png_colorp palette = nullptr;
    int colors = 0;
    if (png_get_PLTE(png_, info_, &palette, &colors) != 0) raster.palette.assign(palette, palette + colors);
    return true;
  }

  bool rows(Raster& raster) {
    if (setjmp(png_jmpbuf(png_))) return false;
    png_read_image(png_, raster.rows.data());
    png_read_end(png_, nullptr);
    return true;
  }
};

class Writing : public PngSession {
 public:
  Writing() {
    png_ = png_create_write_struct(PNG_LIBPNG_VER_STRING, &failure_, onError, onWarning);
    if (png_) info_ = png_create_info_struct(png_);
  }
  ~Writing() { png_destroy_write_struct(&png_, &info_); }
  Writing(const Writing&) = delete;
  Writing& operator=(const Writing&) = delete;

  // A whole PNG of the raster alone, in `out`.
  bool write(Raster& raster, QByteArray& out) {
    if (!info_) return false;
    if (setjmp(png_jmpbuf(png_))) return false;
    png_set_write_fn(png_, &out, writeToMemory, flushNothing);
    png_set_IHDR(png_, info_, raster.width, raster.height, raster.depth, raster.colorType, raster.interlace,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (!raster.palette.empty())
      png_set_PLTE(png_, info_, raster.palette.data(), static_cast<int>(raster.palette.size()));
    png_write_info(png_, info_);
    png_write_image(png_, raster.rows.data());
    png_write_end(png_, nullptr);
    return true;
  }
};

Error damaged(const QString& cause = {}) {
  return Error{QStringLiteral("the picture is damaged or incomplete%1.")
                   .arg(cause.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(cause))};
}

// A quarter turn clockwise: the left column becomes the top row.
Raster turned(const Raster& from) {
  Raster to;
  to.width = from.height;
  to.height = from.width;
  to.depth = from.depth;
  to.colorType = from.colorType;
  to.interlace = from.interlace;
  to.bitsPerPixel = from.bitsPerPixel;
  to.palette = from.palette;
  to.allocate();
  const int bits = from.bitsPerPixel;
  for (png_uint_32 y = 0; y < from.height; ++y) {
    const unsigned char* row = from.rows[y];
    const size_t column = from.height - 1 - y;
    if (bits >= 8) {
      const size_t bytes = static_cast<size_t>(bits) / 8;
      for (png_uint_32 x = 0; x < from.width; ++x) std::memcpy(to.rows[x] + column * bytes, row + x * bytes, bytes);
      continue;
    }
    const unsigned mask = (1U << bits) - 1;
    const size_t toBit = column * static_cast<size_t>(bits);
    const int toShift = 8 - bits - static_cast<int>(toBit % 8);
    for (png_uint_32 x = 0; x < from.width; ++x) {
      const size_t fromBit = size_t{x} * static_cast<size_t>(bits);
      const unsigned sample = row[fromBit / 8] >> (8 - bits - static_cast<int>(fromBit % 8)) & mask;
      to.rows[x][toBit / 8] |= static_cast<unsigned char>(sample << toShift);
    }
  }
  return to;
}

// The chunk as it reads once the picture is turned: the sizes and the
// resolution across and down trade places; everything else stays as it was.
QByteArray turnedChunk(const Chunk& c) {
  if ((c.type == "IHDR" && c.data.size() == 13) || (c.type == "pHYs" && c.data.size() == 9))
    return PngChunk(c.type, c.data.sliced(4, 4).toByteArray().append(c.data.sliced(0, 4)).append(c.data.sliced(8)));
  if (c.type == "sCAL" && c.data.size() > 1) {  // unit, then width and height as text
    const QList<QByteArray> sides = c.data.sliced(1).toByteArray().split('\0');
    if (sides.size() == 2) return PngChunk(c.type, c.data.first(1).toByteArray() + sides[1] + '\0' + sides[0]);
  }
  return c.whole.toByteArray();
}

// Chunks named safe to copy hold whatever becomes of the picture; of the
// others, those listed hold just as well for the turned picture. Any other
// belongs to the picture as it was, and PNG's rules leave it out.
bool keptThroughTurn(const Chunk& c) {
  static constexpr const char* kKnown[] = {"PLTE", "tRNS", "gAMA", "cHRM", "sRGB", "iCCP", "sBIT", "bKGD",
                                            "hIST", "sPLT", "cICP", "mDCv", "cLLi", "pCAL", "sCAL", "tIME",
                                            "IHDR", "IEND"};
  const bool safeToCopy = (static_cast<unsigned char>(c.type[3]) & 0x20) != 0;
  return safeToCopy || std::any_of(std::begin(kKnown), std::end(kKnown), [&](const char* t) { return c.type == t; });
}

Error tooLarge(const Raster& raster) {
  return Error{QStringLiteral("there is not enough memory for a picture of %1 x %2 pixels.")
                   .arg(raster.width)
                   .arg(raster.height)};
}

// The IDAT chunks of the turned picture, written whole.
Result<QByteArray> turnedPicture(const Raster& raster) {
  Raster turn = turned(raster);
  QByteArray plain;
  if (Writing writing; !writing.write(turn, plain))
    return Error{QStringLiteral("it cannot be written: %1.").arg(writing.failure())};
  QByteArray pictureChunks;
  for (const Chunk& c : chunksOf(plain))
    if (c.type == "IDAT") pictureChunks.append(c.whole);
  return pictureChunks;
}

}  // namespace

Result<QByteArray> turnPngClockwise(QByteArrayView file) {
  const std::vector<Chunk> chunks = chunksOf(file);
  if (chunks.empty() || chunks.front().type != "IHDR") return damaged();
  if (std::any_of(chunks.begin(), chunks.end(), [](const Chunk& c) { return c.type == "acTL"; }))
    return Error{QStringLiteral("it is an animation, and only its first frame would be kept.")};
  Reading reading;
  Source source{file};
  Raster raster;
  if (!reading.header(source, raster)) return damaged(reading.failure());
  const double samples = static_cast<double>(raster.width) * raster.height * raster.bitsPerPixel / 8;
  if (samples > static_cast<double>(file.size()) * kMostDeflateRatio) return damaged();
  // The file, its samples, the turned samples and the new file.
  const double cost = 2 * static_cast<double>(file.size()) + 2 * samples;
  if (cost > static_cast<double>(DecodeMemory::kTotalBytes)) return tooLarge(raster);
  const DecodeMemory::Share share(DecodeMemory::Shared(), static_cast<qint64>(cost));
  if (!share.granted()) return CancelledError();
  raster.allocate();
  if (!reading.rows(raster)) return damaged(reading.failure());
  const Result<QByteArray> picture = turnedPicture(raster);
  if (!picture) return picture;
  QByteArray out(kSignature.data(), kSignature.size());
  bool pictureDone = false;
  for (const Chunk& c : chunks) {
    if (c.type == "IDAT") {
      if (!pictureDone) out.append(*picture);
      pictureDone = true;
    } else if (keptThroughTurn(c)) {
      out.append(turnedChunk(c));
    }
  }
  return out;
}

}  // namespace lumaset::imaging_detail
