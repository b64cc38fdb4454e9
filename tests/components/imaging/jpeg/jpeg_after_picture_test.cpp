// What a JPEG file holds after its picture (a phone's motion photo video,
// an HDR gain map, a camera's larger preview) through a quarter turn: kept
// byte for byte, and the further pictures its MPF segment lists turned with
// the first and found again where the MPF segment and an XMP container say.

#include "components/imaging/jpeg/jpeg_quarter_turn.h"

#include <gtest/gtest.h>

#include <QRandomGenerator>

#include <array>
#include <vector>

#include "components/imaging/jpeg/jpeg_segments.h"
#include "components/imaging/jpeg/jpeg_test_files.h"
#include "support/test_support.h"

namespace lumaset {
namespace {

using test::kKinds;
using test::madeJpeg;
using test::readCoefficients;
using test::segment;
using test::turned;

QByteArray randomBytes(qsizetype count, quint32 seed) {
  QRandomGenerator random(seed);
  QByteArray bytes(count, '\0');
  for (char& byte : bytes) byte = static_cast<char>(random.bounded(256U));
  return bytes;
}

quint32 littleEndian(const QByteArray& bytes, qsizetype at) {
  quint32 value = 0;
  for (int i = 3; i >= 0; --i) value = value << 8 | static_cast<unsigned char>(bytes[at + i]);
  return value;
}

QByteArray littleEndian32(quint32 value) {
  QByteArray bytes;
  for (int i = 0; i < 4; ++i) bytes.append(static_cast<char>(value >> (8 * i)));
  return bytes;
}

// An MPF segment as phones write it (little-endian): its version, its
// count, and an entry of 16 bytes (attribute, size, offset from its
// byte-order mark, two dependent pictures) for each of `entries`.
QByteArray mpfSegment(const std::vector<std::array<quint32, 3>>& entries) {
  const auto u16 = [](int v) { return QByteArray(1, char(v & 0xFF)).append(char(v >> 8)); };
  const auto count = static_cast<quint32>(entries.size());
  QByteArray tiff = QByteArray("II*\0", 4) + littleEndian32(8) + u16(3);
  tiff += u16(0xB000) + u16(7) + littleEndian32(4) + QByteArray("0100");
  tiff += u16(0xB001) + u16(4) + littleEndian32(1) + littleEndian32(count);
  tiff += u16(0xB002) + u16(7) + littleEndian32(16 * count) + littleEndian32(8 + 2 + 3 * 12 + 4);
  tiff += littleEndian32(0);
  for (const auto& [attribute, size, offset] : entries)
    tiff += littleEndian32(attribute) + littleEndian32(size) + littleEndian32(offset) + QByteArray(4, '\0');
  return segment(0xE2, QByteArray("MPF\0", 4) + tiff);
}

// Where the MPF segment of `file` stands (its byte-order mark), and its
// entries: attribute, size, offset.
struct Mpf {
  qsizetype base = -1;
  std::vector<std::array<quint32, 3>> entries;
};

Mpf mpfOf(const QByteArray& file) {
  Mpf mpf;
  mpf.base = file.indexOf(QByteArray("MPF\0II*\0", 8)) + 4;
  const qsizetype first = mpf.base + 8 + 2 + 3 * 12 + 4;
  const quint32 count = littleEndian(file, mpf.base + 8 + 2 + 12 + 8);
  for (quint32 i = 0; i < count; ++i) {
    const qsizetype at = first + 16 * qsizetype{i};
    mpf.entries.push_back({littleEndian(file, at), littleEndian(file, at + 4), littleEndian(file, at + 8)});
  }
  return mpf;
}

// The XMP container a phone writes: the first picture, then each of
// `lengths` (further pictures, and last a video) with the padding after
// it, in the order they stand.
QByteArray containerXmp(const std::vector<std::pair<qsizetype, qsizetype>>& lengths) {
  QByteArray items = R"(<rdf:li rdf:parseType="Resource"><Container:Item Item:Semantic="Primary" Item:Mime="image/jpeg"/></rdf:li>)";
  for (const auto& [length, padding] : lengths) {
    items += R"(<rdf:li rdf:parseType="Resource"><Container:Item Item:Semantic="GainMap" Item:Mime="image/jpeg" Item:Length=")" +
             QByteArray::number(length) + R"(" Item:Padding=")" + QByteArray::number(padding) + R"("/></rdf:li>)";
  }
  const QByteArray xml = R"(<x:xmpmeta xmlns:x="adobe:ns:meta/"><rdf:RDF xmlns:rdf="http://www.w3.org/1999/02/22-rdf-syntax-ns#">)"
                         R"(<rdf:Description xmlns:Container="http://ns.google.com/photos/1.0/container/" )"
                         R"(xmlns:Item="http://ns.google.com/photos/1.0/container/item/"><Container:Directory><rdf:Seq>)" +
                         items + "</rdf:Seq></Container:Directory></rdf:Description></rdf:RDF></x:xmpmeta>";
  return segment(0xE1, QByteArray("http://ns.adobe.com/xap/1.0/\0", 29) + xml);
}

// A photo as a phone writes one: `first` with an MPF segment listing it and
// `further`, and an XMP container listing those and `video`, which follow
// it in that order, the first further picture padded by a byte.
// `attribute` is that of the further pictures.
QByteArray phonePhoto(const QByteArray& first, const QList<QByteArray>& further, const QByteArray& video,
                      quint32 attribute = 0) {
  std::vector<std::pair<qsizetype, qsizetype>> lengths;  // and padding
  for (const QByteArray& picture : further) lengths.emplace_back(picture.size(), 0);
  lengths.emplace_back(video.size(), 0);
  if (!further.isEmpty()) lengths[0].second = 1;
  std::vector<std::array<quint32, 3>> entries(further.size() + 1);
  QByteArray photo = test::WithSegment(test::WithSegment(first, containerXmp(lengths)), mpfSegment(entries));
  const qsizetype base = photo.indexOf("MPF") + 4;
  entries[0] = {0x20030000, quint32(photo.size()), 0};
  qsizetype at = photo.size();
  for (qsizetype i = 0; i < further.size(); ++i) {
    entries[i + 1] = {attribute, quint32(further[i].size()), quint32(at - base)};
    at += further[i].size() + lengths[i].second;
  }
  photo.replace(base - 8, mpfSegment(entries).size(), mpfSegment(entries));
  for (qsizetype i = 0; i < further.size(); ++i) photo += further[i] + QByteArray(lengths[i].second, '\0');
  return photo + video;
}

// Bytes after the end marker that no MPF segment explains stay as they
// were, at the end of the file, whichever way the picture is turned; four
// turns give the very coefficients back.
TEST(JpegAfterPictureTest, BytesAfterThePictureStayByteForByte) {
  const QByteArray tail = randomBytes(5000, 3);
  for (const QSize size : {QSize(64, 48), QSize(45, 31)}) {  // turned whole, compressed again
    for (const int orientation : {1, 6}) {
      const int kind = orientation == 1 ? 2 : 6;  // one scan, or scans with tables between them
      const QByteArray plain = test::WithSegment(madeJpeg(kKinds[kind], size.width(), size.height()),
                                                 test::ExifOrientationSegment(orientation));
      const QByteArray once = turned(plain + tail);
      EXPECT_EQ(once, turned(plain) + tail) << size.width() << " " << orientation;
      if (size.width() == 64) {
        EXPECT_EQ(turned(plain + tail, 4), turned(plain, 4) + tail) << orientation;
      }
    }
  }
}

// An HDR photo with a larger preview, a gain map and a motion photo's video
// after it: the preview (whole MCUs) and the gain map (not) take the first
// picture's turn, the MPF segment's first entry is the turned first picture
// and the others find the turned pictures, the XMP container gives their
// new lengths, and the video stays last, byte for byte. A further picture
// that names an orientation of its own is stood upright by it. Four turns
// give the coefficients back.
TEST(JpegAfterPictureTest, FurtherPicturesTurnWithTheFirstAndAreFoundAgain) {
  const QByteArray video = randomBytes(3000, 5);
  for (const int orientation : {1, 6}) {
    for (const int ownOrientation : {0, 3}) {
      const QByteArray first =
          test::WithSegment(madeJpeg(kKinds[2], 96, 64), test::ExifOrientationSegment(orientation));
      QByteArray preview = madeJpeg(kKinds[0], 64, 48);
      if (ownOrientation != 0) preview = test::WithSegment(preview, test::ExifOrientationSegment(ownOrientation));
      const QByteArray gainMap = madeJpeg(kKinds[3], 30, 22);
      const QByteArray photo = phonePhoto(first, {preview, gainMap}, video);
      const QByteArray once = turned(photo);
      ASSERT_FALSE(once.isEmpty());
      const Mpf mpf = mpfOf(once);
      ASSERT_EQ(mpf.entries.size(), 3U);
      const auto picture = [&](int i) { return once.mid(mpf.base + mpf.entries[i][2], mpf.entries[i][1]); };
      const QByteArray firstTurned = once.left(mpf.entries[0][1]);
      EXPECT_EQ(readCoefficients(firstTurned), readCoefficients(turned(first))) << orientation;
      const QStringList rotate = orientation == 6 ? QStringList{"-rotate", "180"} : QStringList{"-rotate", "90"};
      const QStringList ownRotate = ownOrientation == 3 ? QStringList{"-rotate", "270"} : rotate;
      const std::optional<QByteArray> reference = test::jpegtran(preview, ownRotate + QStringList{"-perfect"});
      ASSERT_TRUE(reference);
      EXPECT_EQ(readCoefficients(picture(1)).picture(), readCoefficients(*reference).picture()) << orientation;
      // Turned as the first picture is, as if it were shown as that is.
      const std::vector<test::Apart> apart =
          test::differences(test::decoded(picture(2)), test::decoded(gainMap), orientation);
      ASSERT_FALSE(apart.empty()) << orientation;
      EXPECT_LT(apart[0].rootMeanSquare, 10.0) << orientation;
      EXPECT_TRUE(once.endsWith(video));
      EXPECT_EQ(mpf.base + mpf.entries[2][2] + mpf.entries[2][1], once.size() - video.size());
      for (const qsizetype length : {picture(1).size(), picture(2).size(), video.size()})
        EXPECT_TRUE(once.contains("Item:Length=\"" + QByteArray::number(length) + "\"")) << length;
      if (orientation != 1 || ownOrientation != 0) continue;
      // Four turns give the preview's coefficients back.
      const QByteArray four = turned(photo, 4);
      const Mpf back = mpfOf(four);
      ASSERT_EQ(back.entries.size(), 3U);
      EXPECT_EQ(readCoefficients(four.mid(back.base + back.entries[1][2], back.entries[1][1])),
                readCoefficients(preview));
    }
  }
}

// A further picture the file cannot be written back with refuses the turn,
// naming why: one stored in another kind than JPEG, one not found where
// the MPF segment says. Entries past the end of the file, left by a
// program that dropped the pictures, are left as they are.
TEST(JpegAfterPictureTest, FurtherPicturesThatCannotBeKeptRefuseTheTurn) {
  const QByteArray first = madeJpeg(kKinds[2], 64, 48), further = madeJpeg(kKinds[2], 32, 32);
  const Result<QByteArray> otherKind = TurnJpegClockwise(phonePhoto(first, {further}, "", 0x01000000));
  ASSERT_FALSE(otherKind);
  EXPECT_EQ(otherKind.error(), QStringLiteral("after its picture it holds a further picture of another kind than "
                                              "JPEG, which Lumaset cannot turn with it."));
  const Result<QByteArray> notThere = TurnJpegClockwise(phonePhoto(first, {"junk" + further}, ""));
  ASSERT_FALSE(notThere);
  EXPECT_EQ(notThere.error(),
            QStringLiteral("the list of further pictures in its MPF segment does not match what follows its picture."));
  QByteArray dropped = phonePhoto(first, {further}, "");
  dropped.truncate(mpfOf(dropped).entries[0][1]);
  const QByteArray kept = turned(dropped);
  EXPECT_EQ(mpfOf(kept).entries[1], mpfOf(dropped).entries[1]);
  EXPECT_EQ(mpfOf(kept).entries[0][1], quint32(kept.size()));
}

// The turned picture's header segments are checked against what its
// encoder wrote: files code alike whatever their APP segments and comments,
// and not when a byte of their tables or data differs.
TEST(JpegAfterPictureTest, FilesCodeAlikeOnlyWithTheSameTablesAndData) {
  const QByteArray jpeg = madeJpeg(kKinds[2], 32, 32);
  EXPECT_TRUE(imaging_detail::sameCoding(test::WithSegment(jpeg, segment(0xFE, "a comment")), jpeg));
  for (const qsizetype at : {test::markerAt(jpeg, '\xDB') + 10, jpeg.size() - 10}) {  // a table, the data
    QByteArray changed = jpeg;
    changed[at] = static_cast<char>(changed[at] ^ 1);
    EXPECT_FALSE(imaging_detail::sameCoding(changed, jpeg)) << at;
  }
}

}  // namespace
}  // namespace lumaset
