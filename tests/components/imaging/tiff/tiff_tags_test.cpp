// The tags of a turned TIFF file, checked with libexif, a reader of its own
// that gives each entry's type, count and bytes as stored: every tag of
// libtiff's TIFF, EXIF and GPS tables, in its own type and in another, an
// Interoperability directory inside the EXIF one, and the tags the turn
// changes.

#include <gtest/gtest.h>

#include <libexif/exif-data.h>
#include <tiffio.h>

#include <QByteArray>

#include <map>
#include <tuple>
#include <vector>

#include "components/imaging/tiff/tiff_memory.h"
#include "components/imaging/tiff/tiff_quarter_turn.h"
#include "made_tiffs.h"

namespace lumaset::test {
namespace {

using imaging_detail::turnTiffClockwise;

// A classic TIFF file written entry by entry, so that any tag may take any
// type: a 4 x 3 grey picture, and the entries given in each directory.
struct Entry {
  uint16_t tag, type;
  uint32_t count;
  QByteArray value;  // in the file's byte order
};
struct Tiny {
  bool motorola = false;
  std::vector<Entry> ifd0, exif, gps, interop;
};

QByteArray number(uint64_t value, int size, bool motorola) {
  QByteArray bytes(size, '\0');
  for (int i = 0; i < size; ++i, value >>= 8) bytes[motorola ? size - 1 - i : i] = static_cast<char>(value & 0xFF);
  return bytes;
}

int typeBytes(uint16_t type) {
  return type == 3 || type == 8 ? 2 : type == 4 || type == 9 || type == 11 ? 4 : type == 5 || type == 10 || type == 12 ? 8 : type ? 1 : 0;
}

// Appends a directory (an even offset, its values after it) and gives where.
uint32_t append(QByteArray& file, std::vector<Entry> entries, bool motorola) {
  std::sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) { return a.tag < b.tag; });
  if (file.size() % 2) file += '\0';
  const auto at = static_cast<uint32_t>(file.size());
  QByteArray head = number(entries.size(), 2, motorola), values;
  const auto valuesAt = static_cast<uint32_t>(at + 2 + 12 * entries.size() + 4);
  for (const Entry& e : entries) {
    head += number(e.tag, 2, motorola) + number(e.type, 2, motorola) + number(e.count, 4, motorola);
    if (e.value.size() <= 4) {
      head += e.value + QByteArray(4 - e.value.size(), '\0');
    } else {
      head += number(valuesAt + values.size(), 4, motorola);
      values += e.value + QByteArray(e.value.size() % 2, '\0');
    }
  }
  file += head + number(0, 4, motorola) + values;
  return at;
}

QByteArray tinyTiff(const Tiny& t) {
  const bool m = t.motorola;
  QByteArray file = QByteArray(m ? "MM\0*" : "II*\0", 4) + number(0, 4, m) + QByteArray("\x10\x20\x30\x40\x50\x60\x70\x80\x90\xA0\xB0\xC0");
  const auto u16 = [m](uint16_t tag, uint16_t v) { return Entry{tag, 3, 1, number(v, 2, m)}; };
  std::vector<Entry> ifd0 = {u16(256, 4), u16(257, 3), u16(258, 8), u16(259, 1), u16(262, 1), Entry{273, 4, 1, number(8, 4, m)},
                             u16(277, 1), u16(278, 3), Entry{279, 4, 1, number(12, 4, m)}};
  ifd0.insert(ifd0.end(), t.ifd0.begin(), t.ifd0.end());
  std::vector<Entry> exif = t.exif;
  if (!t.interop.empty()) exif.push_back({40965, 4, 1, number(append(file, t.interop, m), 4, m)});
  if (!exif.empty()) ifd0.push_back({34665, 4, 1, number(append(file, exif, m), 4, m)});
  if (!t.gps.empty()) ifd0.push_back({34853, 4, 1, number(append(file, t.gps, m), 4, m)});
  file.replace(4, 4, number(append(file, ifd0, m), 4, m));
  return file;
}

// Every entry libexif finds, by directory and tag: type, count and bytes.
using Tags = std::map<std::pair<int, int>, std::tuple<int, unsigned long, QByteArray>>;

Tags tagsOf(const QByteArray& file) {
  ExifData* data = exif_data_new();
  // exif_data_new turns on the two options below the maker-note one: one
  // drops tags libexif does not know, the other mends entries to what it
  // expects. With both off, every entry reads as the file stores it.
  exif_data_unset_option(data, static_cast<ExifDataOption>(EXIF_DATA_OPTION_DONT_CHANGE_MAKER_NOTE - 1));
  const QByteArray block = QByteArray("Exif\0\0", 6) + file;
  exif_data_load_data(data, reinterpret_cast<const unsigned char*>(block.constData()), static_cast<unsigned>(block.size()));
  Tags tags;
  for (int ifd = 0; ifd < EXIF_IFD_COUNT; ++ifd)
    for (unsigned i = 0; i < data->ifd[ifd]->count; ++i) {
      const ExifEntry* e = data->ifd[ifd]->entries[i];
      tags[{ifd, e->tag}] = {e->format, e->components, QByteArray(reinterpret_cast<const char*>(e->data), e->size)};
    }
  exif_data_unref(data);
  return tags;
}

// What the turn must give: the same entries, but those that say where the
// samples lie, and across and down trading places.
Tags expectedOf(Tags tags) {
  for (int tag : {273, 278, 279, 284}) tags.erase({EXIF_IFD_0, tag});
  for (auto [across, down] : {std::pair{256, 257}, {282, 283}, {40962, 40963}}) {
    const int ifd = across == 40962 ? EXIF_IFD_EXIF : EXIF_IFD_0;
    auto a = tags.extract({ifd, across}), d = tags.extract({ifd, down});
    if (a) a.key().second = down, tags.insert(std::move(a));
    if (d) d.key().second = across, tags.insert(std::move(d));
  }
  return tags;
}

Tags turnedTags(const QByteArray& file) {
  const Result<QByteArray> turned = turnTiffClockwise(file);
  if (!turned.ok()) {
    ADD_FAILURE() << turned.error().toStdString();
    return {};
  }
  Tags tags = tagsOf(*turned);
  for (int tag : {273, 278, 279, 284}) tags.erase({EXIF_IFD_0, tag});
  // libtiff writes the sizes in its own type.
  for (int tag : {256, 257}) {
    auto& [type, count, bytes] = tags[{EXIF_IFD_0, tag}];
    const bool m = turned->startsWith("MM");
    if (type == EXIF_FORMAT_LONG) type = EXIF_FORMAT_SHORT, bytes = m ? bytes.right(2) : bytes.left(2);
  }
  return tags;
}

// A value of `count` values of `type` with high bits set (so signed ones
// are negative); text is several names, each ended by a zero byte.
QByteArray valueOf(uint16_t type, uint32_t count, uint16_t tag) {
  QByteArray value(static_cast<qsizetype>(count) * typeBytes(type), '\0');
  for (qsizetype i = 0; i < value.size(); ++i) value[i] = static_cast<char>(0x81 + (tag * 7 + i * 29) % 120);
  if (type == TIFF_ASCII)
    for (qsizetype i = 0; i < value.size(); ++i) value[i] = i % 4 == 3 || i == value.size() - 1 ? '\0' : char('A' + i % 26);
  return value;
}

// Every tag libtiff's table for a kind of directory knows, with its type and
// the count it reads (TIFF_VARIABLE and the like below 1).
std::vector<std::tuple<uint16_t, uint16_t, int>> knownTags(int kind) {
  imaging_detail::TiffMemoryFile file;
  QString message;
  const imaging_detail::TiffHandle tiff = imaging_detail::openTiff(file, "wl", message);
  if (kind == EXIF_IFD_EXIF) TIFFCreateEXIFDirectory(tiff.get());
  if (kind == EXIF_IFD_GPS) TIFFCreateGPSDirectory(tiff.get());
  std::vector<std::tuple<uint16_t, uint16_t, int>> tags;
  for (uint32_t tag = 0; tag < 65536; ++tag)
    if (const TIFFField* field = TIFFFindField(tiff.get(), tag, TIFF_ANY))
      tags.emplace_back(tag, TIFFFieldDataType(field), TIFFFieldReadCount(field));
  return tags;
}

// Another type than libtiff's, of the kind files hold: SHORT for LONG and
// the other way, a RATIONAL as SHORT, text as bytes.
uint16_t otherType(uint16_t type) {
  switch (type) {
    case TIFF_SHORT: return TIFF_LONG;
    case TIFF_ASCII: return TIFF_UNDEFINED;
    case TIFF_BYTE: case TIFF_UNDEFINED: return TIFF_ASCII;
    case TIFF_SRATIONAL: return TIFF_RATIONAL;
    case TIFF_SSHORT: case TIFF_SLONG: return TIFF_SHORT;
    default: return TIFF_SHORT;
  }
}

// Tags that say how the samples lie, which libtiff writes for the turned
// picture (DataType is the old name of SampleFormat, and comes with it);
// further pictures, refused; the directory pointers; and the orientation,
// which becomes 1.
bool carriedAsStored(uint16_t tag) {
  static const std::vector<uint16_t> kNot = {256, 257, 258, 259, 262, 266, 273, 274, 277, 278, 279, 284, 288, 289, 292,
                                             293, 317, 322, 323, 324, 325, 330, 338, 339, 347, 513, 514, 530, 32996,
                                             32997, 32998, 34665, 34853, 40965};
  return std::find(kNot.begin(), kNot.end(), tag) == kNot.end();
}

TEST(TiffTags, EveryKnownTagInEveryTypeComesBackAsStored) {
  int files = 0;
  for (const int kind : {EXIF_IFD_0, EXIF_IFD_EXIF, EXIF_IFD_GPS}) {
    for (auto [tag, ownType, readCount] : knownTags(kind)) {
      if (typeBytes(ownType) == 0 || ownType > TIFF_DOUBLE) ownType = TIFF_SHORT;  // any type at all
      if (kind == EXIF_IFD_0 && !carriedAsStored(tag)) continue;
      for (const bool other : {false, true}) {
        SCOPED_TRACE(testing::Message() << "directory " << kind << ", tag " << tag << (other ? ", other type" : ""));
        const uint16_t type = other ? otherType(ownType) : ownType;
        // A count of its own, or a few; and one more in the other type.
        const auto count = static_cast<uint32_t>((readCount > 0 ? readCount : type == TIFF_ASCII ? 10 : 3) + (other ? 1 : 0));
        Tiny tiny;
        tiny.motorola = other;
        std::vector<Entry>& into = kind == EXIF_IFD_0 ? tiny.ifd0 : kind == EXIF_IFD_EXIF ? tiny.exif : tiny.gps;
        into.push_back({tag, type, count, valueOf(type, count, tag)});
        // Tags libtiff checks as it reads the picture take values it takes.
        static const std::map<uint16_t, uint64_t> kSound = {{280, 0}, {281, 255}, {340, 0}, {341, 255}, {32995, 0}};
        if (kind == EXIF_IFD_0 && kSound.count(tag))
          into.back() = {tag, type, 1, number(kSound.at(tag), typeBytes(type), other)};
        const QByteArray file = tinyTiff(tiny);
        const Tags before = tagsOf(file);
        ASSERT_TRUE(before.count({kind, tag}));
        EXPECT_EQ(turnedTags(file), expectedOf(before));
        ++files;
      }
    }
  }
  EXPECT_GT(files, 300);
}

// An Interoperability directory inside the EXIF one, as cameras write it
// (DCF "R98"), the sizes and resolution of a photo, rationals that a float
// would round, and an orientation that becomes 1.
TEST(TiffTags, CameraDirectoriesKeepTheirValuesAndTradeAcrossForDown) {
  for (const bool m : {false, true}) {
    Tiny tiny;
    tiny.motorola = m;
    const auto rational = [m](uint32_t a, uint32_t b) { return number(a, 4, m) + number(b, 4, m); };
    const QByteArray xmp = "<x:xmpmeta><rdf:Description tiff:Orientation=\"6\"/></x:xmpmeta>";
    tiny.ifd0 = {{274, 3, 1, number(1, 2, m)}, {282, 5, 1, rational(300, 1)}, {283, 5, 1, rational(7, 3)},
                 {296, 3, 1, number(2, 2, m)}, {336, 3, 2, number(0, 2, m) + number(255, 2, m)},
                 {700, 1, static_cast<uint32_t>(xmp.size()), xmp}, {65000, 8, 2, number(0xFFFB, 2, m) + number(7, 2, m)}};
    tiny.exif = {{33434, 5, 1, rational(1, 100)}, {33437, 5, 1, rational(14, 5)},
                 {36867, 2, 20, "2020:01:02 03:04:05" + QByteArray(1, '\0')},
                 {40962, 3, 1, number(4, 2, m)}, {40963, 4, 1, number(3, 4, m)}, {41991, 3, 1, number(2, 2, m)}};
    tiny.interop = {{1, 2, 4, QByteArray("R98", 4)}, {2, 7, 4, "0100"}};
    tiny.gps = {{1, 2, 2, QByteArray("N", 2)}, {2, 5, 3, rational(48, 1) + rational(6, 1) + rational(1234567, 100000)}};
    const QByteArray file = tinyTiff(tiny);
    const Tags before = tagsOf(file);
    ASSERT_TRUE(before.count({EXIF_IFD_INTEROPERABILITY, 1}));
    const Tags after = turnedTags(file);
    Tags expected = expectedOf(before);
    std::get<2>(expected[{EXIF_IFD_0, 700}]).replace("\"6\"", "\"1\"");
    EXPECT_EQ(after, expected);
    // A picture stored sideways stands upright; its grid does not turn.
    tiny.ifd0[0].value = number(6, 2, m);
    const Tags sideways = turnedTags(tinyTiff(tiny));
    EXPECT_EQ(std::get<2>(sideways.at({EXIF_IFD_0, 274})), number(1, 2, m));
    EXPECT_EQ(sideways.at({EXIF_IFD_EXIF, 40962}), before.at({EXIF_IFD_EXIF, 40962}));
    EXPECT_EQ(sideways.at({EXIF_IFD_0, 282}), before.at({EXIF_IFD_0, 282}));
  }
}

// Directories that lead round, outside the file or to absurd numbers are
// refused with the reason, and cost nothing.
TEST(TiffTags, HostileDirectoriesAreRefusedWithTheReason) {
  Tiny tiny;
  tiny.exif = {{33434, 5, 1, QByteArray(8, '\1')}};
  tiny.interop = {{1, 2, 4, QByteArray("R98", 4)}};
  const QByteArray file = tinyTiff(tiny);
  const auto pointerAt = [&file](uint16_t tag) {
    return file.indexOf(QByteArray(reinterpret_cast<const char*>(&tag), 2) + QByteArray("\x04\0\x01\0\0\0", 6)) + 8;
  };
  const auto patched = [&file](qsizetype at, const QByteArray& bytes) { return QByteArray(file).replace(at, bytes.size(), bytes); };
  const qsizetype exifAt = pointerAt(34665), interopAt = pointerAt(40965);
  const QByteArray ifd0 = file.mid(4, 4), exif = file.mid(exifAt, 4);
  const std::pair<QByteArray, const char*> cases[] = {
      {patched(interopAt, exif), "its directories lead round in a loop"},
      {patched(interopAt, ifd0), "its directories lead round in a loop"},
      {patched(exifAt, number(file.size() - 2, 4, false)), "a directory runs past the end of the file"},
      {patched(exifAt, number(0x7FFFFFF0, 4, false)), "a directory lies outside the file"},
      {patched(file.indexOf(QByteArray("\x9A\x82\x05\0", 4)) + 4, number(0xFFFFFFFF, 4, false)),
       "a tag claims more values than the file holds"}};
  for (const auto& [bytes, why] : cases) {
    const Result<QByteArray> turned = turnTiffClockwise(bytes);
    ASSERT_FALSE(turned.ok()) << why;
    EXPECT_EQ(turned.error(), QStringLiteral("the picture is damaged or incomplete (%1).").arg(why));
  }
  // A directory not followed would be left behind, its pointer pointing
  // nowhere: one of a private tag, an EXIF pointer of two values or of a
  // SHORT, and an EXIF pointer beside another of the same tag.
  const QByteArray exifPointer("\x69\x87\x04\0\x01\0\0\0", 8);
  Tiny twice = tiny;
  twice.ifd0.push_back({34665, 4, 1, number(0, 4, false)});
  tiny.exif.push_back({65001, 13, 1, number(8, 4, false)});
  const QByteArray unfollowed[] = {tinyTiff(tiny), patched(file.indexOf(exifPointer) + 4, number(2, 4, false)),
                                   patched(file.indexOf(exifPointer) + 2, number(3, 2, false)), tinyTiff(twice)};
  for (const QByteArray& bytes : unfollowed) {
    const Result<QByteArray> turned = turnTiffClockwise(bytes);
    EXPECT_EQ(turned.ok() ? std::string("turned") : turned.error().toStdString(),
              "it holds a directory Lumaset does not know, which would be lost.")
        << &bytes - unfollowed;
  }
}

// Layouts that cannot be written back as they are stored are refused: rows of
// tiles that start inside a byte, and colours stored subsampled without JPEG.
TEST(TiffTags, LayoutsItCannotWriteBackAreRefused) {
  Kind bilevel{"", 1, 1, PHOTOMETRIC_MINISBLACK};
  bilevel.tiled = true;
  QByteArray tiles = made(bilevel, 40, 20);
  const qsizetype width = tiles.indexOf(QByteArray("\x42\x01\x03\x00\x01\x00\x00\x00\x10\x00", 10));
  ASSERT_GT(width, 0);
  tiles[width + 8] = 20;  // 20 one-bit pixels a tile row
  EXPECT_EQ(turnTiffClockwise(tiles).error(), "the picture is damaged or incomplete.");
  const Kind ycbcr{"", 8, 3, PHOTOMETRIC_YCBCR};
  EXPECT_EQ(turnTiffClockwise(made(ycbcr, 8, 4)).error(),
            "its colours are stored at a lower resolution than its brightness.");
}

}  // namespace
}  // namespace lumaset::test
