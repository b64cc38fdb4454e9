// PNG files of every kind libpng writes, turned once and four times: the
// samples must be those libpng reads from the original, turned, and every
// chunk besides the picture must stay as it was.

#include <gtest/gtest.h>
#include <png.h>

#include <QBuffer>
#include <QColorSpace>
#include <QImage>
#include <QString>
#include <QtEndian>

#include <algorithm>
#include <csetjmp>
#include <cstdint>
#include <cstring>
#include <vector>

#include "components/imaging/png/png_quarter_turn.h"
#include "components/imaging/allocation_watch.h"
#include "support/hostile_pictures.h"

namespace lumaset::test {
namespace {

using imaging_detail::turnPngClockwise;

struct Kind {
  int colorType;
  int depth;
};

struct Shape {
  int width;
  int height;
  bool interlaced;
  int bufferBytes;  // libpng's compression buffer: small ones make many IDAT chunks
};

int channelsOf(int colorType) {
  switch (colorType) {
    case PNG_COLOR_TYPE_GRAY_ALPHA: return 2;
    case PNG_COLOR_TYPE_RGB: return 3;
    case PNG_COLOR_TYPE_RGBA: return 4;
    default: return 1;
  }
}

// A sample that differs from pixel to pixel and channel to channel.
unsigned sampleValue(int x, int y, int channel, int depth) {
  const std::uint32_t mixed =
      (std::uint32_t(x) * 73856093U ^ std::uint32_t(y) * 19349663U ^ std::uint32_t(channel) * 83492791U) * 2654435761U;
  return (mixed >> 7) & ((1U << depth) - 1);
}

void onWriteError(png_structp png, png_const_charp) { png_longjmp(png, 1); }

void appendTo(png_structp png, png_bytep data, size_t count) {
  static_cast<QByteArray*>(png_get_io_ptr(png))->append(reinterpret_cast<const char*>(data), count);
}

// Rows of packed samples as PNG stores them.
std::vector<std::vector<png_byte>> madeRows(const Kind& kind, const Shape& shape) {
  const int channels = channelsOf(kind.colorType);
  const std::size_t rowBytes = (std::size_t(shape.width) * channels * kind.depth + 7) / 8;
  std::vector<std::vector<png_byte>> rows(shape.height, std::vector<png_byte>(rowBytes, 0));
  const int colours = kind.colorType == PNG_COLOR_TYPE_PALETTE ? 1 << kind.depth : 0;
  for (int y = 0; y < shape.height; ++y)
    for (int x = 0; x < shape.width; ++x)
      for (int c = 0; c < channels; ++c) {
        unsigned value = sampleValue(x, y, c, kind.depth);
        if (colours > 0) value %= colours;
        const std::size_t bit = (std::size_t(x) * channels + c) * kind.depth;
        if (kind.depth == 16) {
          rows[y][bit / 8] = static_cast<png_byte>(value >> 8);
          rows[y][bit / 8 + 1] = static_cast<png_byte>(value);
        } else {
          rows[y][bit / 8] |= static_cast<png_byte>(value << (8 - kind.depth - bit % 8));
        }
      }
  return rows;
}

// A PNG made by libpng: header, palette and transparency, the picture.
QByteArray writtenPng(const Kind& kind, const Shape& shape) {
  auto rows = madeRows(kind, shape);
  std::vector<png_bytep> starts;
  for (auto& row : rows) starts.push_back(row.data());
  QByteArray out;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, onWriteError, nullptr);
  png_infop info = png_create_info_struct(png);
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    return {};
  }
  png_set_write_fn(png, &out, appendTo, nullptr);
  png_set_compression_buffer_size(png, static_cast<size_t>(shape.bufferBytes));
  png_set_IHDR(png, info, shape.width, shape.height, kind.depth, kind.colorType,
               shape.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  std::vector<png_color> palette(1 << std::min(kind.depth, 8));
  std::vector<png_byte> alphas(palette.size());
  if (kind.colorType == PNG_COLOR_TYPE_PALETTE) {
    for (std::size_t i = 0; i < palette.size(); ++i) {
      palette[i] = {png_byte(i * 37), png_byte(255 - i * 11), png_byte(i * 5)};
      alphas[i] = png_byte(255 - i * 3);
    }
    png_set_PLTE(png, info, palette.data(), static_cast<int>(palette.size()));
    png_set_tRNS(png, info, alphas.data(), static_cast<int>(alphas.size()), nullptr);
  }
  png_set_pHYs(png, info, 3780, 2835, PNG_RESOLUTION_METER);
  png_write_info(png, info);
  png_write_image(png, starts.data());
  png_write_end(png, info);
  png_destroy_write_struct(&png, &info);
  return out;
}

struct Chunk {
  QByteArray type;
  QByteArray data;
};

// The chunks up to IEND, and what follows it.
std::vector<Chunk> chunksOf(const QByteArray& png, QByteArray* after = nullptr) {
  std::vector<Chunk> chunks;
  for (qsizetype at = 8; at + 12 <= png.size();) {
    const auto length = static_cast<qsizetype>(qFromBigEndian<quint32>(png.constData() + at));
    chunks.push_back({png.mid(at + 4, 4), png.mid(at + 8, length)});
    at += 12 + length;
    if (chunks.back().type == "IEND") {
      if (after) *after = png.mid(at);
      break;
    }
  }
  return chunks;
}

// `png` with `extra` chunks after its header and `trailing` bytes after its end.
QByteArray withChunks(const QByteArray& png, const QByteArray& extra, const QByteArray& trailing) {
  const qsizetype afterHeader = 8 + 12 + 13;
  return png.left(afterHeader) + extra + png.mid(afterHeader) + trailing;
}

// The chunks a user's PNG carries: a colour profile, the colour facts of an
// HDR picture (which a copier that does not know them must drop), EXIF data,
// texts plain and compressed, and a private chunk others may copy.
QByteArray userChunks() {
  const QByteArray profile = QColorSpace(QColorSpace::SRgb).iccProfile();
  return hostile::pngChunk("iCCP", QByteArray("sRGB", 5) + '\0' + hostile::deflated(profile)) +
         hostile::pngChunk("cICP", QByteArray("\x09\x10\x00\x01", 4)) +
         hostile::pngChunk("mDCv", QByteArray(24, '\x21')) + hostile::pngChunk("cLLi", QByteArray(8, '\x03')) +
         hostile::pngChunk("eXIf", QByteArray("MM\0*\0\0\0\x08\0\0\0\0\0\0", 14)) +
         hostile::pngChunk("tEXt", QByteArray("Title\0Harbour", 13)) +
         hostile::pngChunk("zTXt", QByteArray("Comment\0\0", 9) + hostile::deflated("a long evening")) +
         hostile::pngChunk("iTXt", QByteArray("Author\0\0\0en\0\0", 14) + "Ann") +
         hostile::pngChunk("prVt", "kept by whoever copies");
}

// The samples as libpng reads them from the file, packed as stored.
struct Stored {
  int width = 0;
  int height = 0;
  int bitsPerPixel = 0;
  std::vector<std::vector<png_byte>> rows;

  std::uint64_t pixel(int x, int y) const {
    const std::size_t bit = std::size_t(x) * bitsPerPixel;
    if (bitsPerPixel < 8) return rows[y][bit / 8] >> (8 - bitsPerPixel - bit % 8) & ((1U << bitsPerPixel) - 1);
    std::uint64_t value = 0;
    for (int i = 0; i < bitsPerPixel / 8; ++i) value = value << 8 | rows[y][bit / 8 + i];
    return value;
  }
};

void onReadError(png_structp png, png_const_charp) { png_longjmp(png, 1); }
void ignore(png_structp, png_const_charp) {}

struct Reading {
  QByteArray bytes;
  qsizetype at = 0;
};

void readFrom(png_structp png, png_bytep out, size_t count) {
  auto* reading = static_cast<Reading*>(png_get_io_ptr(png));
  if (reading->at + qsizetype(count) > reading->bytes.size()) png_error(png, "short");
  std::memcpy(out, reading->bytes.constData() + reading->at, count);
  reading->at += qsizetype(count);
}

bool readStored(const QByteArray& png, Stored& stored) {
  Reading reading{png};
  png_structp read = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, onReadError, ignore);
  png_infop info = png_create_info_struct(read);
  std::vector<png_bytep> starts;
  if (setjmp(png_jmpbuf(read))) {
    png_destroy_read_struct(&read, &info, nullptr);
    return false;
  }
  png_set_read_fn(read, &reading, readFrom);
  png_read_info(read, info);
  png_set_interlace_handling(read);
  png_read_update_info(read, info);
  stored.width = static_cast<int>(png_get_image_width(read, info));
  stored.height = static_cast<int>(png_get_image_height(read, info));
  stored.bitsPerPixel = png_get_bit_depth(read, info) * png_get_channels(read, info);
  stored.rows.assign(stored.height, std::vector<png_byte>(png_get_rowbytes(read, info)));
  for (auto& row : stored.rows) starts.push_back(row.data());
  png_read_image(read, starts.data());
  png_read_end(read, nullptr);
  png_destroy_read_struct(&read, &info, nullptr);
  return true;
}

// Whether `turned` holds the pixels of `original` a quarter turn clockwise.
bool turnedClockwise(const Stored& original, const Stored& turned) {
  if (turned.width != original.height || turned.height != original.width ||
      turned.bitsPerPixel != original.bitsPerPixel)
    return false;
  for (int y = 0; y < original.height; ++y)
    for (int x = 0; x < original.width; ++x)
      if (turned.pixel(original.height - 1 - y, x) != original.pixel(x, y)) return false;
  return true;
}

// The chunk as the turn should leave it: sizes and resolution traded, not interlaced.
Chunk expectedAfterTurn(Chunk chunk) {
  if (chunk.type == "IHDR" || chunk.type == "pHYs")
    chunk.data = chunk.data.mid(4, 4) + chunk.data.left(4) + chunk.data.mid(8);
  if (chunk.type == "IHDR") chunk.data[12] = '\0';
  return chunk;
}

std::vector<Chunk> withoutPicture(const std::vector<Chunk>& chunks, bool turned) {
  std::vector<Chunk> kept;
  for (const Chunk& c : chunks)
    if (c.type != "IDAT") kept.push_back(turned ? expectedAfterTurn(c) : c);
  return kept;
}

void expectSameChunks(const std::vector<Chunk>& got, const std::vector<Chunk>& wanted, const std::string& name) {
  ASSERT_EQ(got.size(), wanted.size()) << name;
  for (std::size_t i = 0; i < got.size(); ++i) {
    EXPECT_EQ(got[i].type, wanted[i].type) << name << " chunk " << i;
    EXPECT_EQ(got[i].data, wanted[i].data) << name << " " << got[i].type.toStdString();
  }
}

TEST(PngTurnTable, EveryKindKeepsItsSamplesAndChunksOnceAndFourTimes) {
  const Kind kinds[] = {{PNG_COLOR_TYPE_GRAY, 1},       {PNG_COLOR_TYPE_GRAY, 2},       {PNG_COLOR_TYPE_GRAY, 4},
                        {PNG_COLOR_TYPE_GRAY, 8},       {PNG_COLOR_TYPE_GRAY, 16},      {PNG_COLOR_TYPE_GRAY_ALPHA, 8},
                        {PNG_COLOR_TYPE_GRAY_ALPHA, 16}, {PNG_COLOR_TYPE_PALETTE, 1},   {PNG_COLOR_TYPE_PALETTE, 2},
                        {PNG_COLOR_TYPE_PALETTE, 4},    {PNG_COLOR_TYPE_PALETTE, 8},    {PNG_COLOR_TYPE_RGB, 8},
                        {PNG_COLOR_TYPE_RGB, 16},       {PNG_COLOR_TYPE_RGBA, 8},       {PNG_COLOR_TYPE_RGBA, 16}};
  // Odd sizes (rows ending inside a byte), interlaced, picture data in many chunks.
  const Shape shapes[] = {{37, 21, false, 8192}, {21, 37, true, 64}, {1, 70, false, 32}};
  const QByteArray trailing("\0\0 the user's own bytes after the end", 38);
  for (const Kind& kind : kinds) {
    for (const Shape& shape : shapes) {
      const std::string name = "type " + std::to_string(kind.colorType) + ", depth " + std::to_string(kind.depth) +
                               ", " + std::to_string(shape.width) + " x " + std::to_string(shape.height) +
                               (shape.interlaced ? ", interlaced" : "");
      const QByteArray original = withChunks(writtenPng(kind, shape), userChunks(), trailing);
      ASSERT_GT(original.size(), 0) << name;
      Stored read;
      ASSERT_TRUE(readStored(original, read)) << name;
      QByteArray after;
      const std::vector<Chunk> originalChunks = chunksOf(original, &after);
      ASSERT_EQ(after, trailing);

      const Result<QByteArray> once = turnPngClockwise(original);
      ASSERT_TRUE(once.ok()) << name << ": " << once.error().toStdString();
      Stored turned;
      ASSERT_TRUE(readStored(*once, turned)) << name;
      EXPECT_TRUE(turnedClockwise(read, turned)) << name;
      expectSameChunks(withoutPicture(chunksOf(*once, &after), false), withoutPicture(originalChunks, true), name);
      EXPECT_EQ(after, trailing) << name;

      QByteArray round = *once;
      for (int turn = 1; turn < 4; ++turn) {
        const Result<QByteArray> next = turnPngClockwise(round);
        ASSERT_TRUE(next.ok()) << name << ": " << next.error().toStdString();
        round = *next;
      }
      Stored back;
      ASSERT_TRUE(readStored(round, back)) << name;
      EXPECT_EQ(back.rows, read.rows) << name;
      std::vector<Chunk> wanted = withoutPicture(originalChunks, false);
      wanted.front().data[12] = '\0';  // no longer interlaced
      expectSameChunks(withoutPicture(chunksOf(round, &after), false), wanted, name);
      EXPECT_EQ(after, trailing) << name;
    }
  }
}

// Some writers put the JPEG segment's mark before the EXIF data of a PNG;
// the picture is shown by its orientation all the same, and is turned as
// it is shown: here mirrored, then turned clockwise. Data larger than EXIF
// data ever is is not read for the orientation, by the turn either.
TEST(PngTurnTable, ExifAfterTheSegmentMarkTurnsAsShown) {
  const QByteArray orientation2("MM\0*\0\0\0\x08\0\x01\x01\x12\0\x03\0\0\0\x01\0\x02\0\0\0\0\0\0", 26);
  for (const bool huge : {false, true}) {
    const QByteArray exif = QByteArray("Exif\0\0", 6) + orientation2 + QByteArray(huge ? 1 << 20 : 0, '\0');
    const QByteArray original =
        withChunks(writtenPng({PNG_COLOR_TYPE_GRAY, 8}, {7, 4, false, 8192}), hostile::pngChunk("eXIf", exif), {});
    Stored read;
    ASSERT_TRUE(readStored(original, read));
    Stored shown = read;
    if (!huge) {
      for (auto& row : shown.rows) std::reverse(row.begin(), row.end());
    }
    const Result<QByteArray> turned = turnPngClockwise(original);
    ASSERT_TRUE(turned.ok()) << turned.error().toStdString();
    Stored after;
    ASSERT_TRUE(readStored(*turned, after));
    EXPECT_TRUE(turnedClockwise(shown, after)) << huge;
    const std::vector<Chunk> chunks = chunksOf(*turned);
    const auto kept = std::find_if(chunks.begin(), chunks.end(), [](const Chunk& c) { return c.type == "eXIf"; });
    ASSERT_NE(kept, chunks.end());
    EXPECT_EQ(kept->data.mid(6 + 18, 2), QByteArray("\0\x01", 2)) << "stands upright, its mark kept";
  }
}

// The filter byte of each row of a PNG that is not interlaced.
std::vector<int> rowFilters(const QByteArray& png) {
  QByteArray stream;
  const std::vector<Chunk> chunks = chunksOf(png);
  for (const Chunk& c : chunks)
    if (c.type == "IDAT") stream += c.data;
  const QByteArray& header = chunks.front().data;
  const quint32 width = qFromBigEndian<quint32>(header.constData());
  const quint32 height = qFromBigEndian<quint32>(header.constData() + 4);
  const int bits = header[8] * channelsOf(header[9]);
  const qsizetype line = 1 + (qsizetype{width} * bits + 7) / 8;
  const QByteArray rows = qUncompress(hostile::be32(static_cast<quint32>(line * height)) + stream);
  std::vector<int> filters;
  for (qsizetype at = 0; at < rows.size(); at += line) filters.push_back(rows[at]);
  return filters;
}

// Palette indexes and samples packed below a byte are stored unfiltered;
// the rows of a photo take the filters that suit them.
TEST(PngTurnTable, RowsAreFilteredAsTheirSamplesSuit) {
  for (const Kind kind : {Kind{PNG_COLOR_TYPE_PALETTE, 8}, Kind{PNG_COLOR_TYPE_GRAY, 4}}) {
    const Result<QByteArray> turned = turnPngClockwise(writtenPng(kind, {40, 30, false, 8192}));
    ASSERT_TRUE(turned.ok()) << turned.error().toStdString();
    EXPECT_EQ(rowFilters(*turned), std::vector<int>(40, 0)) << kind.colorType;
  }
  QImage photo(40, 30, QImage::Format_RGB888);
  for (int y = 0; y < 30; ++y)
    for (int x = 0; x < 40; ++x) photo.setPixel(x, y, qRgb(x * 6, y * 8, (x + y) * 3));
  QByteArray png;
  QBuffer buffer(&png);
  buffer.open(QIODevice::WriteOnly);
  ASSERT_TRUE(photo.save(&buffer, "png"));
  const Result<QByteArray> turned = turnPngClockwise(png);
  ASSERT_TRUE(turned.ok()) << turned.error().toStdString();
  const std::vector<int> filters = rowFilters(*turned);
  ASSERT_EQ(filters.size(), 40U);
  EXPECT_TRUE(std::all_of(filters.begin(), filters.end(), [](int f) { return f > 0 && f <= 4; }))
      << "a gradient's rows are better predicted than stored as they are";
}

// The bytes of a PNG's picture data.
qsizetype pictureBytes(const QByteArray& png) {
  qsizetype bytes = 0;
  for (const Chunk& c : chunksOf(png))
    if (c.type == "IDAT") bytes += c.data.size();
  return bytes;
}

// A turned photo is packed about as tightly as libpng packs the same turned
// picture at zlib's usual level: neither larger (a faster level) nor much
// smaller (a level that costs many times the time).
TEST(PngTurnTable, APhotoIsPackedAsTightlyAsLibpngPacksIt) {
  QImage photo(320, 240, QImage::Format_RGB888);
  quint32 grain = 12345;
  for (int y = 0; y < photo.height(); ++y) {
    for (int x = 0; x < photo.width(); ++x) {
      grain = grain * 1664525U + 1013904223U;
      const int g = static_cast<int>(grain >> 30);
      photo.setPixel(x, y, qRgb(qBound(0, (x / 7 * 13 + y / 5 * 29) % 256 + g, 255), qBound(0, 40 + y / 2 + g, 255),
                                qBound(0, (x / 3 * y / 4) % 97 + 80 + g, 255)));
    }
  }
  const auto saved = [](const QImage& image) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    EXPECT_TRUE(image.save(&buffer, "png"));
    return bytes;
  };
  const Result<QByteArray> turned = turnPngClockwise(saved(photo));
  ASSERT_TRUE(turned.ok()) << turned.error().toStdString();
  const double ratio = static_cast<double>(pictureBytes(*turned)) /
                       static_cast<double>(pictureBytes(saved(photo.transformed(QTransform().rotate(90)))));
  EXPECT_GT(ratio, 0.99);
  EXPECT_LT(ratio, 1.03);
}

// What a turn holds at most stays within what it asks for before it starts,
// and is not far below it: the count is the memory the turn needs, not a
// bound far above it that would refuse pictures that fit.
TEST(PngTurnTable, TheTurnHoldsWhatItAsksFor) {
  const struct {
    Kind kind;
    Shape shape;
  } cases[] = {{{PNG_COLOR_TYPE_RGBA, 8}, {1600, 1200, false, 1 << 20}},
               {{PNG_COLOR_TYPE_RGBA, 8}, {1600, 1200, true, 1 << 20}},
               {{PNG_COLOR_TYPE_RGB, 16}, {1200, 900, false, 1 << 20}},
               {{PNG_COLOR_TYPE_GRAY, 1}, {4000, 3000, true, 1 << 20}}};
  for (const auto& [kind, shape] : cases) {
    const QByteArray original = writtenPng(kind, shape);
    Result<QByteArray> turned = Error{};
    test::largestAllocationDuring([&] { turned = turnPngClockwise(original); });
    ASSERT_TRUE(turned.ok()) << turned.error().toStdString();
    const double held = static_cast<double>(test::mostHeldBytes.load());
    if (held == 0) {
      GTEST_SKIP() << "allocations are watched only under the address sanitizer";
    }
    const double asked = imaging_detail::pngTurnBytes(original.size(), static_cast<std::uint32_t>(shape.width),
                                                      static_cast<std::uint32_t>(shape.height),
                                                      kind.depth * channelsOf(kind.colorType), shape.interlaced) -
                         static_cast<double>(original.size());  // the file is held before the turn starts
    EXPECT_LE(held, asked) << kind.depth << (shape.interlaced ? ", interlaced" : "");
    // A black-and-white page's bands are counted as if every core made one at once.
    if (kind.depth > 1) {
      EXPECT_GE(held, 0.75 * asked) << kind.depth << (shape.interlaced ? ", interlaced" : "");
    }
  }
}

// Rows long enough that each band of them is compressed in several deflate
// blocks, all of which must join into one stream.
TEST(PngTurnTable, LongRowsOfNoiseJoinAcrossBands) {
  const QByteArray original = writtenPng({PNG_COLOR_TYPE_RGBA, 16}, {40, 6000, false, 1 << 20});
  Stored read;
  ASSERT_TRUE(readStored(original, read));
  QByteArray round = original;
  for (int turn = 0; turn < 4; ++turn) {
    const Result<QByteArray> next = turnPngClockwise(round);
    ASSERT_TRUE(next.ok()) << next.error().toStdString();
    round = *next;
    if (turn == 0) {
      Stored turned;
      ASSERT_TRUE(readStored(round, turned));
      EXPECT_TRUE(turnedClockwise(read, turned));
    }
  }
  Stored back;
  ASSERT_TRUE(readStored(round, back));
  EXPECT_EQ(back.rows, read.rows);
}

}  // namespace
}  // namespace lumaset::test
