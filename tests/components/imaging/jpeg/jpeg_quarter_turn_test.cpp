// A JPEG turned a quarter clockwise, read back with libjpeg's own
// coefficient reader: without loss where its moving edges are whole,
// compressed again as the file was elsewhere, every header segment kept.

#include "components/imaging/jpeg/jpeg_quarter_turn.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QTransform>

#include <array>
#include <vector>

#include "components/imaging/allocation_watch.h"
#include "components/imaging/decode_memory.h"
#include "components/imaging/imaging.h"
#include "components/imaging/jpeg/jpeg_test_files.h"
#include "support/test_support.h"

namespace lumaset {
namespace {

using test::Coefficients;
using test::dotted;
using test::kKinds;
using test::Kind;
using test::libjpegBytes;
using test::madeJpeg;
using test::readCoefficients;
using test::rgbSamples;
using test::segment;
using test::turned;

// The coefficients turned clockwise by hand: the block at x, y comes from
// the block at y across and x up from the bottom, transposed, its odd
// frequencies across negated.
Coefficients clockwise(const Coefficients& c) {
  Coefficients turned = c;
  std::swap(turned.width, turned.height);
  for (std::size_t i = 0; i < c.values.size(); ++i) {
    const auto [across, down] = c.blocks[i];
    turned.blocks[i] = {down, across};
    turned.sampling[i] = {c.sampling[i].second, c.sampling[i].first};
    for (int k = 0; k < DCTSIZE2; ++k) turned.tables[i][k] = c.tables[i][k % 8 * 8 + k / 8];
    for (int y = 0; y < across; ++y) {
      for (int x = 0; x < down; ++x) {
        const JCOEF* from = &c.values[i][(std::size_t(down - 1 - x) * across + y) * DCTSIZE2];
        JCOEF* to = &turned.values[i][(std::size_t(y) * down + x) * DCTSIZE2];
        for (int v = 0; v < 8; ++v)
          for (int u = 0; u < 8; ++u) to[v * 8 + u] = static_cast<JCOEF>((u % 2 ? -1 : 1) * from[u * 8 + v]);
      }
    }
  }
  return turned;
}

// Where every moving edge is whole MCUs, each block is the original's
// turned, and four turns give the very file's coefficients back, whatever
// the file's sampling, colours and coding.
TEST(JpegQuarterTurnTest, WholeEdgesTurnWithoutLoss) {
  for (const Kind& kind : kKinds) {
    const QByteArray original = madeJpeg(kind, 64, 48);
    const Coefficients before = readCoefficients(original);
    EXPECT_EQ(readCoefficients(turned(original)), clockwise(before)) << kind.name;
    EXPECT_EQ(readCoefficients(turned(original, 4)), before) << kind.name;
  }
  // Only the edge that moves must be whole: 4:2:0 of 40 x 32 loses nothing
  // once, its width of 40 becoming the height that moves no more.
  const QByteArray narrow = madeJpeg(kKinds[2], 40, 32);
  EXPECT_EQ(readCoefficients(turned(narrow)), clockwise(readCoefficients(narrow)));
  // A file that lacks only its end marker, as some cameras cut them, is whole.
  EXPECT_EQ(readCoefficients(turned(narrow.chopped(2))), clockwise(readCoefficients(narrow)));
}

// Elsewhere the picture is compressed again in the file's own way: its
// size whole, its components, colour model, sampling (turned), tables
// (turned) and coding as they were, its pixels close to the original's.
TEST(JpegQuarterTurnTest, OtherSizesAreCompressedAgainAsTheFileWas) {
  for (const Kind& kind : kKinds) {
    const QByteArray original = madeJpeg(kind, 45, 31);
    const Coefficients before = readCoefficients(original);
    for (const int times : {1, 4}) {
      const QByteArray bytes = turned(original, times);
      const Coefficients after = readCoefficients(bytes);
      const Coefficients expected = times == 1 ? clockwise(before) : before;
      EXPECT_EQ(std::pair(after.width, after.height), std::pair(expected.width, expected.height)) << kind.name;
      EXPECT_EQ(after.space, before.space) << kind.name;
      EXPECT_EQ(after.sampling, expected.sampling) << kind.name;
      EXPECT_EQ(after.tables, expected.tables) << kind.name;
      EXPECT_EQ(std::tuple(after.progressive, after.arithmetic, after.restart != 0),
                std::tuple(before.progressive, before.arithmetic, before.restart != 0))
          << kind.name;
      if (kind.input == JCS_CMYK) continue;  // Qt shows inks its own way
      const QImage shown = QImage::fromData(bytes).convertToFormat(QImage::Format_RGB32);
      const QImage wanted = QImage::fromData(original).convertToFormat(QImage::Format_RGB32).transformed(
          QTransform().rotate(90 * times));
      ASSERT_EQ(shown.size(), wanted.size()) << kind.name;
      double difference = 0;
      for (int y = 0; y < shown.height(); ++y)
        for (int x = 0; x < shown.width(); ++x)
          difference += std::abs(qGray(shown.pixel(x, y)) - qGray(wanted.pixel(x, y)));
      EXPECT_LT(difference / (shown.width() * shown.height()), times == 1 ? 4 : 8) << kind.name;
    }
  }
}

// The file is turned as it is shown: its stored pixels take the turn its
// orientation gave them and one more, and its orientation becomes upright.
TEST(JpegQuarterTurnTest, TurnsThePictureAsItIsShown) {
  const QString folder = test::freshFolder(QStringLiteral("jpeg-quarter-shown"));
  for (const int orientation : {1, 2, 3, 4, 5, 6, 7, 8}) {
    for (const QSize size : {QSize(64, 48), QSize(50, 30)}) {
      const QString path = QDir(folder).filePath(QStringLiteral("photo.jpg"));
      ASSERT_TRUE(test::WriteOrientedJpeg(path, test::Quarters(size.width(), size.height()), orientation));
      const QImage before = *Imaging::ReadAsStored(path);
      ASSERT_TRUE(test::WriteText(path, turned(test::ReadBytes(path))));
      const Result<QImage> after = Imaging::ReadAsStored(path);
      ASSERT_TRUE(after) << after.error().toStdString();
      EXPECT_EQ(test::CornerColours(*after), test::CornerColours(before.transformed(QTransform().rotate(90))))
          << orientation << " " << size.width();
      EXPECT_TRUE(test::MetadataSegments(test::ReadBytes(path)).contains(test::ExifOrientationSegment(1))) << orientation;
    }
  }
}

// Every segment of the header stays, in its order: a profile in several
// chunks, XMP, comments, the Adobe segment of inks; only the orientation
// becomes upright.
TEST(JpegQuarterTurnTest, KeepsEveryHeaderSegmentInItsOrder) {
  const QByteArray icc("ICC_PROFILE\0", 12);
  const QList<QByteArray> kept = {segment(0xE2, icc + "\x01\x02" + QByteArray(300, 'a')),
                                  segment(0xE1, QByteArray("http://ns.adobe.com/xap/1.0/\0<x:xmpmeta/>", 41)),
                                  segment(0xE2, icc + "\x02\x02" + QByteArray(200, 'b')), segment(0xFE, "Harbour"),
                                  segment(0xEB, "HDR gain map"), segment(0xEF, "last of its kind")};
  for (const int kind : {2, 4}) {  // 4:2:0 and inks
    for (const QSize size : {QSize(64, 48), QSize(45, 31)}) {
      const QByteArray plain = madeJpeg(kKinds[kind], size.width(), size.height());
      QByteArray original = plain;
      for (auto it = kept.rbegin(); it != kept.rend(); ++it) original = test::WithSegment(original, *it);
      original = test::WithSegment(original, test::ExifOrientationSegment(3));
      const QList<QByteArray> own = test::MetadataSegments(plain);  // JFIF, or Adobe's for inks
      EXPECT_EQ(test::MetadataSegments(turned(original)), QList{test::ExifOrientationSegment(1)} + kept + own)
          << kKinds[kind].name << size.width();
    }
  }
}

// What cannot be turned is refused with its cause: a damaged file, and a
// picture whose turn could never fit in the memory full-size pictures
// share, before that memory is taken.
TEST(JpegQuarterTurnTest, RefusesDamagedFilesAndPicturesTooLargeForItsMemory) {
  // Cut inside a scan, or before the last scan of a progressive file.
  for (const QSize size : {QSize(64, 48), QSize(45, 31)}) {  // turned whole, compressed again
    const QByteArray whole = madeJpeg(kKinds[2], size.width(), size.height());
    const QByteArray progressive = madeJpeg(kKinds[6], size.width(), size.height());
    const qsizetype lastScan = progressive.lastIndexOf("\xFF\xDA");
    for (const QByteArray& cut : {whole.left(whole.size() * 3 / 4), progressive.left(lastScan)}) {
      const Result<QByteArray> turn = TurnJpegClockwise(cut);
      ASSERT_FALSE(turn);
      EXPECT_EQ(turn.error(), QStringLiteral("the picture is damaged or incomplete.")) << size.width();
    }
  }
  // A quantisation step of 0 is read, but nothing can be compressed with it.
  QByteArray zeroStep = madeJpeg(kKinds[2], 45, 31);
  zeroStep[test::markerAt(zeroStep, '\xDB') + 5 + 63] = 0;
  const Result<QByteArray> unquantised = TurnJpegClockwise(zeroStep);
  ASSERT_FALSE(unquantised);
  EXPECT_EQ(unquantised.error(), QStringLiteral("the picture is damaged or incomplete."));
  QByteArray huge = test::greyScans(dotted(16, 16), 2, true);  // arithmetic code, a few bytes for any size
  const qsizetype frame = test::markerAt(huge, '\xCA');  // progressive, arithmetic
  ASSERT_GT(frame, 0);
  huge.replace(frame + 5, 4, QByteArray("\x75\x30\x75\x30", 4));  // 30000 x 30000
  Result<QByteArray> refused = Error{};
  const std::size_t largest = test::largestAllocationDuring([&] { refused = TurnJpegClockwise(huge); });
  ASSERT_FALSE(refused);
  EXPECT_EQ(refused.error(), QStringLiteral("there is not enough memory for a picture of 30000 x 30000 pixels."));
  EXPECT_LT(largest, std::size_t{32} << 20);
}

// The largest amount `work` holds of `memory` while a decode on this thread runs.
qint64 mostHeldDuring(imaging_detail::DecodeMemory& memory, const std::function<void()>& work) {
  qint64 most = 0;
  const DecodeStop::Scope watch([&] {
    most = std::max(most, memory.held());
    return false;
  });
  work();
  return most;
}

// Each path asks, before it begins, for what it holds: the turn for no
// less than it allocates (the coefficients turned beside the original's
// and beside those read back; or the samples, with the coefficients an
// encoder and a decoder keep), a full-size read of a turned photo for its
// turned copy too, and a decoder of several scans, sequential ones as well,
// for every block's coefficients.
TEST(JpegQuarterTurnTest, EachPathCountsTheMemoryItHolds) {
  auto& full = imaging_detail::FullSizeMemory();
  const auto blockBytes = [](const QByteArray& jpeg) {
    qint64 blocks = 0;
    for (const auto& [across, down] : readCoefficients(jpeg).blocks) blocks += qint64{across} * down;
    return blocks * DCTSIZE2 * 2;
  };
  // Large enough that a set of coefficients (19 MB) outweighs what a turn
  // asks for besides.
  for (const QSize size : {QSize(2048, 1536), QSize(2047, 1535)}) {  // turned whole, compressed again
    const QByteArray jpeg = madeJpeg(kKinds[0], size.width(), size.height());
    qint64 asked = 0;
    test::largestAllocationDuring([&] { asked = mostHeldDuring(full, [&] { EXPECT_TRUE(TurnJpegClockwise(jpeg)); }); });
    EXPECT_LE(test::mostHeldBytes.load(), asked) << size.width();
  }

  const QString folder = test::freshFolder(QStringLiteral("jpeg-quarter-memory"));
  const QString path = QDir(folder).filePath(QStringLiteral("photo.jpg"));
  const qint64 picture = qint64{256} * 192 * 4;
  for (const int orientation : {1, 6}) {
    ASSERT_TRUE(test::WriteOrientedJpeg(path, dotted(256, 192), orientation));
    const qint64 held = mostHeldDuring(full, [&] { ASSERT_TRUE(Imaging::ReadAsStored(path)); });
    EXPECT_GE(held, orientation == 1 ? picture : 2 * picture) << orientation;
    EXPECT_LT(held, orientation == 1 ? 2 * picture : 3 * picture) << orientation;
  }
  auto& shared = imaging_detail::DecodeMemory::Shared();
  const auto sharedDuring = [&](const QByteArray& jpeg) {
    EXPECT_TRUE(test::WriteText(path, jpeg));
    return mostHeldDuring(shared, [&] { EXPECT_TRUE(Imaging::ReadAsStored(path)); });
  };
  const QImage picture444 = dotted(256, 192);
  const QByteArray oneScan = libjpegBytes(256, 192, JCS_RGB, rgbSamples(picture444), [](jpeg_compress_struct&) {});
  const QByteArray threeScans = libjpegBytes(256, 192, JCS_RGB, rgbSamples(picture444), [](jpeg_compress_struct& info) {
    static const jpeg_scan_info script[] = {{1, {0}, 0, 63, 0, 0}, {1, {1}, 0, 63, 0, 0}, {1, {2}, 0, 63, 0, 0}};
    info.scan_info = script;
    info.num_scans = 3;
  });
  EXPECT_GE(sharedDuring(threeScans) - sharedDuring(oneScan), blockBytes(threeScans));
}

}  // namespace
}  // namespace lumaset
