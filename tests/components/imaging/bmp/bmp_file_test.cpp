// Bitmaps of every header version, depth and layout are read with every
// pixel defined, and turned keeping every header field, palette and profile.

#include <gtest/gtest.h>

#include <QFile>
#include <QImage>
#include <QTemporaryDir>
#include <QtEndian>

#include <array>
#include <vector>

#include "components/imaging/bmp/bmp_file.h"
#include "components/imaging/decode_memory.h"
#include "components/imaging/imaging.h"
#include "components/imaging/imaging_file_headers.h"
#include "components/imaging/quarter_turn_file.h"
#include "support/hostile_pictures.h"

namespace lumaset::test {
namespace {

using hostile::le;
using imaging_detail::decodeBmp;

QByteArray Le16(quint32 v) { return le(v, 2); }
QByteArray Le32(quint32 v) { return le(v, 4); }

struct BmpSpec {
  const char* name;
  int headerSize;
  int bits;
  quint32 compression;
  std::array<quint32, 4> masks;
  bool topDown;
  int paletteEntries;
  quint32 listed;      // the colours the header lists
  QByteArray profile;  // after the pixels (124-byte headers)
  int width;
  int height;
  bool linked;  // the profile is a file's name, not the profile itself
};

BmpSpec Spec(const char* name, int headerSize, int bits, quint32 compression = 0, std::array<quint32, 4> masks = {},
             bool topDown = false, int entries = 0, quint32 listed = 0, const QByteArray& profile = {}, int width = 5,
             int height = 3, bool linked = false) {
  return {name, headerSize, bits, compression, masks, topDown, entries, listed, profile, width, height, linked};
}

QByteArray Bgr(QRgb c) {
  QByteArray out(3, '\0');
  out[0] = static_cast<char>(qBlue(c));
  out[1] = static_cast<char>(qGreen(c));
  out[2] = static_cast<char>(qRed(c));
  return out;
}

// The stored value of pixel (x, y): all the bits of the depth in use.
quint32 RawValue(int bits, int x, int y) {
  const quint32 v = static_cast<quint32>(x) * 0x9E3779B1U + static_cast<quint32>(y) * 0x85EBCA77U + 0x1234567U;
  return bits >= 32 ? v : (v >> 7) & ((1U << bits) - 1);
}

QRgb PaletteColour(int i) { return qRgb(200 - i * 3 % 200, i * 37 % 256, 255 - i); }

QByteArray MadeBmp(const BmpSpec& s) {
  const bool core = s.headerSize == 12;
  const int entry = core ? 3 : 4;
  const qsizetype fields = s.headerSize == 40 && s.compression == 3 ? 12 : 0;
  const qsizetype pixelsAt = 14 + s.headerSize + fields + qsizetype{s.paletteEntries} * entry;
  const qsizetype rowBytes = (qsizetype{s.width} * s.bits + 31) / 32 * 4;
  QByteArray rows(rowBytes * s.height, '\0');
  for (int r = 0; r < s.height; ++r) {
    const int y = s.topDown ? r : s.height - 1 - r;
    auto* row = reinterpret_cast<uchar*>(rows.data() + r * rowBytes);
    for (int x = 0; x < s.width; ++x) {
      const quint32 v = RawValue(s.bits, x, y);
      if (s.bits < 8) row[x * s.bits / 8] |= static_cast<uchar>(v << (8 - s.bits - x * s.bits % 8));
      for (int b = 0; b < s.bits / 8; ++b) row[x * s.bits / 8 + b] = static_cast<uchar>(v >> (8 * (b % 4)));
    }
  }
  QByteArray info;
  if (core) {
    info = Le32(12) + Le16(s.width) + Le16(s.height) + Le16(1) + Le16(s.bits);
  } else {
    const auto height = static_cast<quint32>(s.topDown ? -s.height : s.height);
    info = Le32(s.headerSize) + Le32(s.width) + Le32(height) + Le16(1) + Le16(s.bits) + Le32(s.compression) +
           Le32(static_cast<quint32>(rows.size())) + Le32(2835) + Le32(3780) + Le32(s.listed) + Le32(0);
    if (s.headerSize >= 52) info += Le32(s.masks[0]) + Le32(s.masks[1]) + Le32(s.masks[2]);
    if (s.headerSize >= 56) info += Le32(s.masks[3]);
    if (s.headerSize >= 108)
      info += (s.profile.isEmpty() ? QByteArray("BGRs") : s.linked ? QByteArray("KNIL") : QByteArray("DEBM")) +
              QByteArray(48, '\x11');
    if (s.headerSize >= 124) {
      const auto profileAt = static_cast<quint32>(pixelsAt + rows.size() - 14);
      info += Le32(4) + Le32(s.profile.isEmpty() ? 0 : profileAt) + Le32(static_cast<quint32>(s.profile.size())) + Le32(0);
    }
    info += QByteArray(std::max<qsizetype>(0, s.headerSize - info.size()), '\0');  // an OS/2 header's own fields
  }
  if (fields) info += Le32(s.masks[0]) + Le32(s.masks[1]) + Le32(s.masks[2]);
  for (int i = 0; i < s.paletteEntries; ++i) {
    const QRgb c = PaletteColour(i);
    info += Bgr(c);
    if (!core) info += '\0';
  }
  const QByteArray body = info + rows + s.profile;
  return "BM" + Le32(static_cast<quint32>(14 + body.size())) + Le32(0) + Le32(static_cast<quint32>(pixelsAt)) + body;
}

// The file's own layout, read here apart from the program's reader.
struct Stored {
  QByteArray file;
  bool core() const { return u32(14) == 12; }
  quint32 u32(qsizetype at) const { return qFromLittleEndian<quint32>(file.constData() + at); }
  quint32 u16(qsizetype at) const { return qFromLittleEndian<quint16>(file.constData() + at); }
  int width() const { return static_cast<int>(core() ? u16(18) : u32(18)); }
  int height() const { return std::abs(core() ? static_cast<int>(u16(20)) : static_cast<qint32>(u32(22))); }
  bool topDown() const { return !core() && static_cast<qint32>(u32(22)) < 0; }
  int bits() const { return static_cast<int>(u16(core() ? 24 : 28)); }
  quint32 raw(int x, int y) const {
    const qsizetype rowBytes = (qsizetype{width()} * bits() + 31) / 32 * 4;
    const int r = topDown() ? y : height() - 1 - y;
    const auto* row = reinterpret_cast<const uchar*>(file.constData() + u32(10) + r * rowBytes);
    if (bits() < 8) return row[x * bits() / 8] >> (8 - bits() - x * bits() % 8) & ((1U << bits()) - 1);
    quint32 v = 0;
    for (int b = bits() / 8 - 1; b >= 0; --b) v = v << 8 | row[x * bits() / 8 + b];
    return v;
  }
};

// Every byte of the headers and palette as it was, but for the sizes and the
// resolution, which trade places; the profile is where the header says.
void ExpectSameHeaders(const Stored& before, const Stored& after, const char* name) {
  const quint32 pixelsAt = before.u32(10);
  ASSERT_EQ(after.u32(10), pixelsAt) << name;
  EXPECT_EQ(after.u32(2), static_cast<quint32>(after.file.size())) << name;
  QByteArray expected = before.file.left(pixelsAt), got = after.file.left(pixelsAt);
  if (before.core()) {
    got.replace(18, 4, got.mid(20, 2) + got.mid(18, 2));
  } else {
    const auto height = static_cast<qint32>(after.u32(22));
    got.replace(18, 8, Le32(static_cast<quint32>(std::abs(height))) +
                           Le32(static_cast<quint32>(height < 0 ? -after.width() : after.width())));
    got.replace(38, 8, got.mid(42, 4) + got.mid(38, 4));
    EXPECT_EQ(after.u32(34), static_cast<quint32>((after.width() * after.bits() + 31) / 32 * 4 * after.height())) << name;
    got.replace(34, 4, expected.mid(34, 4));
  }
  got.replace(2, 4, expected.mid(2, 4));
  if (before.u32(14) >= 124) {
    const quint32 size = before.u32(14 + 116);
    EXPECT_EQ(after.file.mid(14 + after.u32(14 + 112), size), before.file.mid(14 + before.u32(14 + 112), size)) << name;
    got.replace(14 + 112, 4, expected.mid(14 + 112, 4));
  }
  EXPECT_EQ(got, expected) << name;
}

const std::array<quint32, 4> k565{0xF800, 0x07E0, 0x001F, 0};
const std::array<quint32, 4> kArgb{0x00FF0000, 0x0000FF00, 0x000000FF, 0xFF000000};

std::vector<BmpSpec> Table() {
  const QByteArray profile = QByteArray("profile of the scanner's colours ") + QByteArray(31, '\x7F');
  return {
      Spec("core 1-bit", 12, 1, 0, {}, false, 2),
      Spec("core 8-bit", 12, 8, 0, {}, false, 256),
      Spec("1-bit, palette of 256", 40, 1, 0, {}, false, 256, 256),
      Spec("2-bit", 40, 2, 0, {}, false, 4, 4),
      Spec("4-bit, short palette", 40, 4, 0, {}, false, 6, 6),
      Spec("8-bit, top-down", 40, 8, 0, {}, true, 256),
      Spec("16-bit 555", 40, 16),
      Spec("16-bit 565 fields", 40, 16, 3, k565),
      Spec("24-bit, top-down", 40, 24, 0, {}, true),
      Spec("32-bit", 40, 32),
      Spec("32-bit fields v3", 56, 32, 3, kArgb),
      Spec("32-bit alpha v4", 108, 32, 3, kArgb),
      Spec("16-bit v5 with profile", 124, 16, 3, k565, false, 0, 0, profile),
      Spec("8-bit v5 with profile, top-down", 124, 8, 0, {}, true, 16, 16, profile, 6, 7),
      Spec("24-bit v5 with profile", 124, 24, 0, {}, false, 0, 0, profile, 9, 2),
      Spec("24-bit v5 with a linked profile", 124, 24, 0, {}, false, 0, 0, QByteArray("C:\\Colour\\scanner.icc\0", 22), 9, 2,
           true),
  };
}

// The turn of a file holding `bytes`, as the rotate command asks for it.
Result<QByteArray> TurnedInFile(const QByteArray& bytes, const char* format) {
  return TurnedFileClockwise(QStringLiteral("turned.") + QLatin1String(format), bytes, format);
}

// Each kind turned once holds the turned samples under its own headers, and
// four times is the very file it was.
TEST(BmpQuarterTurn, KeepsEveryDepthHeaderPaletteAndProfile) {
  for (const BmpSpec& spec : Table()) {
    const QByteArray original = MadeBmp(spec);
    Result<QByteArray> turned = TurnedInFile(original, "bmp");
    ASSERT_TRUE(turned.ok()) << spec.name << ": " << turned.error().toStdString();
    const Stored before{original}, after{*turned};
    ASSERT_EQ(std::pair(after.width(), after.height()), std::pair(spec.height, spec.width)) << spec.name;
    EXPECT_EQ(after.bits(), spec.bits) << spec.name;
    EXPECT_EQ(after.topDown(), spec.topDown) << spec.name;
    for (int y = 0; y < after.height(); ++y)
      for (int x = 0; x < after.width(); ++x)
        ASSERT_EQ(after.raw(x, y), before.raw(y, spec.height - 1 - x)) << spec.name << " at " << x << "," << y;
    ExpectSameHeaders(before, after, spec.name);
    for (int i = 1; i < 4 && turned; ++i) turned = TurnedInFile(*turned, "bmp");
    ASSERT_TRUE(turned.ok()) << spec.name;
    EXPECT_EQ(*turned, original) << spec.name;
  }
}

// A turn or a decode no longer wanted stops, and says nothing.
TEST(BmpQuarterTurn, StopsWhenNoLongerWanted) {
  const QByteArray file = MadeBmp(Table()[8]);
  const DecodeStop::Scope stop([] { return true; });
  EXPECT_TRUE(decodeBmp(file).cancelled());
  EXPECT_TRUE(TurnedFileClockwise(QStringLiteral("stopped.bmp"), file, "bmp").cancelled());
}

// The program's reader gives each kind the colours its samples name.
TEST(BmpReading, ReadsEveryKindWithTheColoursItsSamplesName) {
  for (const BmpSpec& spec : Table()) {
    const QByteArray file = MadeBmp(spec);
    const Result<QImage> read = decodeBmp(file);
    ASSERT_TRUE(read.ok()) << spec.name << ": " << read.error().toStdString();
    const Stored stored{file};
    for (int y = 0; y < spec.height; ++y) {
      for (int x = 0; x < spec.width; ++x) {
        const quint32 v = stored.raw(x, y);
        const QRgb listed = spec.bits <= 8 && static_cast<int>(v) < spec.paletteEntries ? PaletteColour(static_cast<int>(v)) : qRgb(0, 0, 0);
        const auto [r, g, b, a] = spec.bits <= 8 ? std::array{qRed(listed), qGreen(listed), qBlue(listed), 255}
                                  : spec.bits == 24 ? std::array{int(v >> 16 & 255), int(v >> 8 & 255), int(v & 255), 255}
                                  : spec.bits == 32 ? std::array{int(v >> 16 & 255), int(v >> 8 & 255), int(v & 255),
                                                                 spec.masks[3] ? int(v >> 24) : 255}
                                  : spec.compression == 3
                                      ? std::array{int((v >> 11) * 255 + 15) / 31, int((v >> 5 & 63) * 255 + 31) / 63,
                                                   int((v & 31) * 255 + 15) / 31, 255}
                                      : std::array{int((v >> 10 & 31) * 255 + 15) / 31, int((v >> 5 & 31) * 255 + 15) / 31,
                                                   int((v & 31) * 255 + 15) / 31, 255};
        ASSERT_EQ(read->pixel(x, y), qRgba(r, g, b, a)) << spec.name << " at " << x << "," << y;
      }
    }
    // Where Qt's reader reads the same file, it agrees (it leaves colours a short palette lacks undefined).
    const QImage qt = QImage::fromData(file, "bmp");
    const bool fullPalette = spec.bits > 8 || spec.paletteEntries >= 1 << spec.bits;
    if (!qt.isNull() && fullPalette && spec.bits != 16) {
      EXPECT_EQ(qt.convertToFormat(QImage::Format_ARGB32), read->convertToFormat(QImage::Format_ARGB32)) << spec.name;
    }
  }
}

// A bitmap of run lengths: 40-byte header, a palette of `colours`.
QByteArray RunLengthBmp(int width, int height, int bits, quint32 compression, const QList<QRgb>& colours,
                        const QByteArray& data) {
  QByteArray info = Le32(40) + Le32(width) + Le32(height) + Le16(1) + Le16(bits) + Le32(compression) +
                    Le32(static_cast<quint32>(data.size())) + Le32(0) + Le32(0) + Le32(colours.size()) + Le32(0);
  for (const QRgb c : colours) info += Bgr(c) + '\0';
  return "BM" + Le32(static_cast<quint32>(14 + info.size() + data.size())) + Le32(0) +
         Le32(static_cast<quint32>(14 + info.size())) + info + data;
}

QByteArray Bytes(std::initializer_list<int> values) {
  QByteArray out;
  for (const int v : values) out += static_cast<char>(v);
  return out;
}

class PictureFile : public ::testing::Test {
 protected:
  QString write(const QString& name, const QByteArray& bytes) {
    const QString path = dir_.filePath(name);
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
    return path;
  }
  QTemporaryDir dir_;
};

struct RunLengthCase {
  const char* name;
  QByteArray file;
  QList<QRgb> rows;  // from the top
};

// Run-length bitmaps that skip pixels (a move, a row ended early, the
// picture ended early), with the colours they show.
std::vector<RunLengthCase> SkippingRunLengths() {
  const QRgb red = qRgb(255, 0, 0), green = qRgb(0, 200, 0), blue = qRgb(0, 0, 255), black = qRgb(0, 0, 0);
  const QRgb R = red, G = green, B = blue, K = black;
  return {
      // A run of 3, end of row; literal 2 1 2 1 then a move of 2 across and 1 down; a run of 2; the end.
      {"rle8.bmp",
       RunLengthBmp(8, 4, 8, 1, {red, green, blue},
                    Bytes({3, 1, 0, 0, 0, 4, 2, 1, 2, 1, 0, 2, 2, 1, 2, 2, 0, 0, 0, 1})),
       {R, R, R, R, R, R, R, R,  //
        R, R, R, R, R, R, B, B,  //
        B, G, B, G, R, R, R, R,  //
        G, G, G, R, R, R, R, R}},
      // Nibbles 1 2 1 2 1, end of row; literal 2 1 2 1 2 padded, the end.
      {"rle4.bmp",
       RunLengthBmp(8, 3, 4, 2, {red, green, blue}, Bytes({5, 0x12, 0, 0, 0, 5, 0x21, 0x21, 0x20, 0, 0, 1})),
       {R, R, R, R, R, R, R, R,  //
        B, G, B, G, B, R, R, R,  //
        G, B, G, B, G, R, R, R}},
      // Two blue pixels, end of row; a green one, the end.
      {"rle24.bmp", RunLengthBmp(4, 2, 24, 4, {}, Bytes({2, 255, 0, 0, 0, 0, 1, 0, 200, 0, 0, 1})),
       {G, K, K, K,  //
        B, B, K, K}},
  };
}

// What run-length data skips (a move, a row ended early, the picture ended
// early) is the palette's first colour, or black without a palette, in the
// full picture and in a thumbnail alike: never what memory held before.
TEST_F(PictureFile, RunLengthsLeaveNoPixelUndefined) {
  const std::vector<RunLengthCase> cases = SkippingRunLengths();
  // Memory freed just before holds another picture's pixels.
  for (int i = 0; i < 4; ++i) {
    QImage dirt(64, 64, QImage::Format_Indexed8);
    dirt.fill(0xA5);
  }
  for (const RunLengthCase& c : cases) {
    const QString path = write(c.name, c.file);
    const Result<QImage> read = Imaging::ReadAsStored(path);
    ASSERT_TRUE(read.ok()) << c.name << ": " << read.error().toStdString();
    const Result<QImage> thumbnail = Imaging::readScaled(path, 64);
    ASSERT_TRUE(thumbnail.ok()) << c.name;
    for (int y = 0; y < read->height(); ++y) {
      for (int x = 0; x < read->width(); ++x) {
        const QRgb want = c.rows[y * read->width() + x];
        EXPECT_EQ(read->pixel(x, y), want) << c.name << " at " << x << "," << y;
        EXPECT_EQ(thumbnail->pixel(x, y), want) << c.name << " at " << x << "," << y;
      }
    }
  }
  // Cut short before the picture ends: damaged, not a picture half made up.
  const QByteArray rle8 = cases[0].file;
  for (const qsizetype cut : {rle8.size() - 2, rle8.size() - 9}) {
    const Result<QImage> cutShort = decodeBmp(rle8.left(cut));
    ASSERT_FALSE(cutShort.ok()) << cut;
    EXPECT_EQ(cutShort.error(), "the picture is damaged or incomplete");
  }
}

// A tall run-length bitmap of three columns: one colour all the way down
// (a run longer than a count can hold once turned), colours that change
// every row (given as they are), and colours in pairs. Every row is given
// as it is, three pixels.
QByteArray TallRunLengths(int bits, quint32 compression, int height) {
  QList<QRgb> colours;
  for (int i = 0; i < (bits == 24 ? 0 : 1 << bits); ++i) colours.append(PaletteColour(i));
  QByteArray data;
  for (int row = 0; row < height; ++row) {
    const int y = height - 1 - row;
    const std::array<int, 3> pixel{1, y % (bits == 4 ? 16 : 200), y / 2 % 7};
    data += Bytes({0, 3});
    if (bits == 8) data += Bytes({pixel[0], pixel[1], pixel[2], 0});
    if (bits == 4) data += Bytes({pixel[0] << 4 | pixel[1], pixel[2] << 4});
    if (bits == 24) {
      for (const int p : pixel) data += Bgr(PaletteColour(p));
      data += '\0';
    }
    data += Bytes({0, row + 1 < height ? 0 : 1});
  }
  return RunLengthBmp(3, height, bits, compression, colours, data);
}

// A run-length bitmap turns: its pixels are written as run lengths again,
// every one of them (those the file skipped as the colour they showed in),
// and what followed the runs still follows them.
TEST(BmpQuarterTurn, RunLengthsAreWrittenAgainWithEveryPixel) {
  std::vector<RunLengthCase> cases = SkippingRunLengths();
  cases.push_back({"tall rle8", TallRunLengths(8, 1, 300), {}});
  cases.push_back({"tall rle4", TallRunLengths(4, 2, 300), {}});
  cases.push_back({"tall rle24", TallRunLengths(24, 4, 300), {}});
  const QByteArray after("\0a profile's name after the runs", 32);
  for (const RunLengthCase& c : cases) {
    const QByteArray original = c.file + after;
    const Result<QImage> shown = decodeBmp(original);
    ASSERT_TRUE(shown.ok()) << c.name;
    Result<QByteArray> turned = TurnedInFile(original, "bmp");
    ASSERT_TRUE(turned.ok()) << c.name << ": " << turned.error().toStdString();
    EXPECT_EQ(Stored{*turned}.u32(30), Stored{original}.u32(30)) << c.name << ": its compression";
    EXPECT_TRUE(turned->endsWith(after)) << c.name;
    EXPECT_EQ(Stored{*turned}.u32(34), static_cast<quint32>(turned->size() - after.size() - Stored{*turned}.u32(10)))
        << c.name << ": the size of its runs";
    const Result<QImage> once = decodeBmp(*turned);
    ASSERT_TRUE(once.ok()) << c.name;
    ASSERT_EQ(once->size(), shown->size().transposed()) << c.name;
    for (int y = 0; y < once->height(); ++y)
      for (int x = 0; x < once->width(); ++x)
        ASSERT_EQ(once->pixel(x, y), shown->pixel(y, shown->height() - 1 - x)) << c.name << " at " << x << "," << y;
    // Qt's reader, which leaves skipped pixels unset, reads every one.
    if (c.file[30] != 4) {
      EXPECT_EQ(QImage::fromData(*turned, "bmp").convertToFormat(QImage::Format_RGB32),
                once->convertToFormat(QImage::Format_RGB32))
          << c.name;
    }
    const QByteArray first = *turned;
    for (int i = 1; i < 5 && turned; ++i) turned = TurnedInFile(*turned, "bmp");
    ASSERT_TRUE(turned.ok()) << c.name;
    EXPECT_EQ(*turned, first) << c.name << ": turned five times";
  }
}

// A turn told to stop as it turns, reads the picture, writes its runs or
// reads the new file back, plain or run-length, stops there and tells
// nothing more.
TEST(BmpQuarterTurn, StopsWhereverItIsTold) {
  for (const QByteArray& file : {MadeBmp(Table()[8]), TallRunLengths(8, 1, 300)}) {
    for (const int from : {1, 30, 45, 60, 90}) {
      std::vector<int> heard;
      const WorkProgress::Scope listening([&heard, from](int percent) {
        if (percent >= from) heard.push_back(percent);
      });
      const DecodeStop::Scope stop([&heard] { return !heard.empty(); });
      EXPECT_TRUE(TurnedFileClockwise(QStringLiteral("stopped.bmp"), file, "bmp").cancelled()) << from;
      EXPECT_EQ(heard.size(), 1u) << "stopped at " << from << "%, the turn told "
                                  << (heard.empty() ? 0 : heard.back()) << "%";
    }
  }
}

// Valid kinds Qt's reader turns away are read; a kind no reader here takes
// is named, never called damaged. The depth shown is the one the file stores.
TEST_F(PictureFile, ReadsValidKindsAndNamesThoseItCannot) {
  const BmpSpec deep = Spec("64-bit", 40, 64, 0, {}, false, 0, 0, {}, 2, 1);
  const Result<QImage> read = Imaging::ReadAsStored(write("deep.bmp", MadeBmp(deep)));
  ASSERT_FALSE(read.ok());
  EXPECT_TRUE(read.error().endsWith("cannot be read: Lumaset cannot read this kind of picture (a BMP of 64 bits a pixel)."))
      << read.error().toStdString();
  // An OS/2 bitmap of 1 bit a pixel whose compression 3 means Huffman codes, not masks.
  const Result<QImage> huffman = decodeBmp(MadeBmp(Spec("OS/2 Huffman", 64, 1, 3, {}, false, 2)));
  ASSERT_FALSE(huffman.ok());
  EXPECT_EQ(huffman.error(), "Lumaset cannot read this kind of picture (a BMP compressed with Huffman codes)");
  const Result<FileFacts> deepFacts = Imaging::FileInfo(dir_.filePath("deep.bmp"));
  ASSERT_FALSE(deepFacts.ok());
  EXPECT_TRUE(deepFacts.error().contains("Lumaset cannot read this kind of picture")) << deepFacts.error().toStdString();
  for (const BmpSpec& spec : Table()) {
    const Result<FileFacts> facts = Imaging::FileInfo(write("kind.bmp", MadeBmp(spec)));
    ASSERT_TRUE(facts.ok()) << spec.name << ": " << facts.error().toStdString();
    EXPECT_EQ(facts->bitsPerPixel, spec.bits) << spec.name;
    EXPECT_EQ(facts->paletteSize, spec.bits <= 8 ? std::min(spec.paletteEntries, 1 << spec.bits) : 0) << spec.name;
    EXPECT_TRUE(Imaging::ReadAsStored(dir_.filePath("kind.bmp")).ok()) << spec.name;
  }
}

// A file cut short or damaged anywhere is refused or read within its
// bytes, never past them, and never takes the memory its header claims.
TEST(BmpQuarterTurn, CutOrDamagedFilesAreNeverReadPastTheirEnd) {
  const QByteArray runs = RunLengthBmp(8, 4, 8, 1, {qRgb(1, 2, 3), qRgb(4, 5, 6)},
                                       Bytes({3, 1, 0, 0, 0, 4, 1, 0, 1, 0, 0, 2, 2, 1, 2, 1, 0, 1}));
  const QByteArray files[] = {MadeBmp(Table()[13]), MadeBmp(Table()[8]), MadeBmp(Table()[2]), MadeBmp(Table()[0]), runs};
  for (const QByteArray& file : files) {
    const Stored whole{file};
    const qsizetype pixelsEnd = whole.u32(10) + (whole.width() * whole.bits() + 31) / 32 * 4 * whole.height();
    for (qsizetype length = 0; length < file.size(); ++length) {
      const QByteArray cut = file.left(length);
      const bool plain = file != runs;
      EXPECT_EQ(decodeBmp(cut).ok(), plain && length >= pixelsEnd) << length;
      (void)TurnedFileClockwise(QStringLiteral("cut.bmp"), cut, "bmp");
    }
    // No picture is 0 pixels wide.
    QByteArray narrow = file;
    narrow.replace(18, 4, whole.core() ? Le16(0) + narrow.mid(20, 2) : Le32(0));
    EXPECT_EQ(decodeBmp(narrow).error(), "the picture is damaged or incomplete");
    // Every byte but the inside of the palette, whose colours are all valid.
    const qsizetype paletteInside = 14 + whole.u32(14) + 8, pixels = whole.u32(10);
    for (qsizetype at = 0; at < file.size(); at = at + 1 == paletteInside ? std::max(at + 1, pixels - 8) : at + 1) {
      for (const char flip : {'\x01', '\x80', '\xFF'}) {
        QByteArray damaged = file;
        damaged[at] = static_cast<char>(damaged[at] ^ flip);
        (void)decodeBmp(damaged);
        (void)TurnedFileClockwise(QStringLiteral("damaged.bmp"), damaged, "bmp");
      }
    }
  }
}

// What a decode is counted against the decode memory before it starts: a
// GIF's screen and the frame it keeps to restore, a WebP animation's canvas
// and frame, and a run-length bitmap whose few bytes claim more pixels than
// its runs can hold.
TEST(DecodeBudget, CountsWhatEachDecodeHolds) {
  using imaging_detail::decodeFootprint;
  using Verdict = imaging_detail::Footprint::Verdict;
  // A screen of 100 x 50, its first frame 40 x 30 pixels.
  const QByteArray gif = "GIF89a" + Le16(100) + Le16(50) + Bytes({0, 0, 0, 0x2C}) + Le16(0) + Le16(0) + Le16(40) +
                         Le16(30) + Bytes({0, 2, 2, 0x4C, 1, 0, 0x3B});
  const auto screen = decodeFootprint(gif, "gif", QSize(40, 30));
  EXPECT_EQ(screen.verdict, Verdict::Whole);
  EXPECT_EQ(screen.decoded, QSize(100, 50));
  EXPECT_EQ(screen.heldBytes, 4 * (100 * 50 + 40 * 30));
  // A plain WebP holds its picture; an extended one (an animation) its canvas and a frame.
  const QByteArray simple = "RIFF" + Le32(20) + "WEBPVP8L" + Le32(8) + QByteArray(8, '\0');
  const QByteArray extended = "RIFF" + Le32(30) + "WEBPVP8X" + Le32(10) + QByteArray(10, '\0') + QByteArray(12, '\0');
  EXPECT_EQ(decodeFootprint(simple, "webp", QSize(30, 20)).heldBytes, 4 * 30 * 20);
  EXPECT_EQ(decodeFootprint(extended, "webp", QSize(30, 20)).heldBytes, 2 * 4 * 30 * 20);
  // Two bytes of runs stand for at most 255 pixels: a stream of 64 bytes for 4096 x 2 at most.
  const QByteArray runs = QByteArray(62, '\x10') + Bytes({0, 1});
  const auto fits = decodeFootprint(RunLengthBmp(4096, 2, 8, 1, {0}, runs), "bmp", QSize(4096, 2));
  EXPECT_EQ(fits.verdict, Verdict::Whole);
  EXPECT_EQ(fits.heldBytes, 4096 * 2);
  const auto bomb = decodeFootprint(RunLengthBmp(4097, 2, 8, 1, {0}, runs), "bmp", QSize(4097, 2));
  EXPECT_EQ(bomb.verdict, Verdict::Packed);
  const auto fourBits = decodeFootprint(RunLengthBmp(4000, 2, 4, 2, {0}, runs), "bmp", QSize(4000, 2));
  EXPECT_EQ(fourBits.heldBytes, 4000 * 2);
  const auto colour = decodeFootprint(RunLengthBmp(4000, 2, 24, 4, {}, runs), "bmp", QSize(4000, 2));
  EXPECT_EQ(colour.heldBytes, 4 * 4000 * 2);
  // A stream that ends at once holds no picture.
  EXPECT_EQ(decodeFootprint(RunLengthBmp(16, 2, 8, 1, {0}, Bytes({0, 1})), "bmp", QSize(16, 2)).verdict,
            Verdict::Damaged);
}

}  // namespace
}  // namespace lumaset::test
