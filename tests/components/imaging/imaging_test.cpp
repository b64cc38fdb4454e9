#include "components/imaging/imaging.h"
#include "components/imaging/jpeg/jpeg_metadata.h"

#include <gtest/gtest.h>

#include <cstdio>
// jpeglib.h needs FILE declared before it.
#include <jpeglib.h>

#include <QDeadlineTimer>
#include <csignal>
#include <unistd.h>
#include <QDir>
#include <QtEndian>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QImageWriter>
#include <QPainter>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <chrono>
#include <climits>
#include <cmath>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

#include "components/imaging/allocation_watch.h"
#include "components/imaging/jpeg/jpeg_test_files.h"
#include "components/imaging/decode_memory.h"
#include "components/imaging/jpeg/jpeg_decode.h"
#include "support/file_size_limit.h"
#include "support/test_support.h"

namespace lumaset {
namespace {

QImage quarters(int width, int height) { return test::Quarters(width, height); }

using test::dotted;
using test::libjpegBytes;
using test::markerAt;
using test::rgbSamples;

// A restart marker after every row of blocks.
QByteArray jpegWithRestarts(const QImage& picture) {
  return libjpegBytes(picture.width(), picture.height(), JCS_RGB, rgbSamples(picture),
                      [](jpeg_compress_struct& info) { info.restart_in_rows = 1; });
}

QString writeBytes(const QString& path, const QByteArray& bytes) {
  EXPECT_TRUE(test::WriteText(path, bytes));
  return path;
}

// Qt cannot write GIF, so the test builds one: a 4-colour table (red, blue,
// green, white) and one frame per entry of `frames`, each of one colour.
QByteArray gifBytes(int width, int height, const std::vector<int>& frames) {
  QByteArray out("GIF89a");
  const auto le16 = [&](int v) { out.append(char(v & 0xFF)).append(char(v >> 8)); };
  le16(width);
  le16(height);
  out.append("\x81\0\0", 3).append("\xFF\0\0\0\0\xFF\0\xFF\0\xFF\xFF\xFF", 12);
  for (const int index : frames) {
    out.append(char(0x2C));
    le16(0), le16(0), le16(width), le16(height);
    out.append("\0\x02", 2);
    QByteArray data;
    unsigned bits = 0;
    int count = 0;
    const auto code = [&](unsigned c) {  // 3-bit codes; a clear code before each pixel keeps them 3 bits
      bits |= c << count;
      for (count += 3; count >= 8; count -= 8, bits >>= 8) data.append(char(bits & 0xFF));
    };
    for (int i = 0; i < width * height; ++i) code(4), code(unsigned(index));
    code(5);
    if (count > 0) data.append(char(bits & 0xFF));
    for (qsizetype at = 0; at < data.size(); at += 255) {
      const QByteArray block = data.mid(at, 255);
      out.append(char(block.size())).append(block);
    }
    out.append('\0');
  }
  return out.append(char(0x3B));
}

using test::largestAllocationDuring;

bool near(QRgb a, QRgb b) {
  const auto close = [](int x, int y) { return std::abs(x - y) < 24; };
  return close(qRed(a), qRed(b)) && close(qGreen(a), qGreen(b)) && close(qBlue(a), qBlue(b));
}

class ImagingTest : public ::testing::Test {
 protected:
  QString path(const QString& name) const { return QDir(folder_).filePath(name); }
  QString save(const QString& name, const QImage& image, int quality = -1) {
    EXPECT_TRUE(image.save(path(name), nullptr, quality)) << name.toStdString();
    return path(name);
  }
  QString folder_ = test::freshFolder(QStringLiteral("imaging"));
};

// A bitmap stored from its top row down, as its negative height says.
QByteArray topDown(const QByteArray& bmp) {
  const auto le32 = [&bmp](int at) { return qFromLittleEndian<qint32>(bmp.constData() + at); };
  const qint32 pixels = le32(10), width = le32(18), height = le32(22);
  const qint32 stride = (width * 24 + 31) / 32 * 4;
  QByteArray out = bmp.left(pixels);
  qToLittleEndian<qint32>(-height, out.data() + 22);
  for (qint32 row = height - 1; row >= 0; --row) out += bmp.mid(pixels + row * stride, stride);
  return out;
}

// An 8-bit run-length bitmap of one red run a row: 4 bytes for 40 pixels.
QByteArray runLengthBmp(int width, int height) {
  QByteArray out("BM");
  const auto le = [&out](quint32 value, int bytes) {
    for (int i = 0; i < bytes; ++i) out.append(char((value >> (8 * i)) & 0xFF));
  };
  const auto data = static_cast<quint32>(height * 4 + 2);
  le(70 + data, 4), le(0, 4), le(70, 4), le(40, 4), le(width, 4), le(height, 4), le(1, 2), le(8, 2), le(1, 4);
  le(data, 4), le(2835, 4), le(2835, 4), le(4, 4), le(0, 4);
  out.append(QByteArray::fromHex("0000ff0000ff000000000000ffffff00"));  // red, green, black, white
  for (int row = 0; row < height; ++row) out.append(char(width)).append('\0').append('\0').append('\0');
  return out.append('\0').append('\x01');
}

TEST_F(ImagingTest, EachFormatGivesItsFactsAndPicture) {
  QImage indexed(40, 30, QImage::Format_Indexed8);
  indexed.setColorTable({qRgb(255, 0, 0), qRgb(0, 255, 0), qRgb(0, 0, 255), qRgb(0, 0, 0)});
  indexed.fill(0);
  struct Case { QString file; int bits; int colors; } const cases[] = {
      {save("a.jpg", quarters(40, 30), 95), 24, 0}, {save("a.png", quarters(40, 30)), 24, 0},
      {save("a.bmp", quarters(40, 30)), 24, 0},     {save("a.tif", quarters(40, 30)), 24, 0},
      {save("a.webp", quarters(40, 30), 100), 24, 0}, {save("i.png", indexed), 8, 4},
      {save("i.bmp", indexed), 4, 4}, {writeBytes(path("down.bmp"), topDown(test::ReadBytes(path("a.bmp")))), 24, 0},
      {writeBytes(path("runs.bmp"), runLengthBmp(40, 30)), 8, 4},
      // two frames, red then blue: the first one counts
      {writeBytes(path("a.gif"), gifBytes(40, 30, {0, 1})), 2, 4}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file.toStdString());
    const auto facts = Imaging::FileInfo(c.file);
    ASSERT_TRUE(facts) << facts.error().toStdString();
    EXPECT_EQ(facts->width, 40);
    EXPECT_EQ(facts->height, 30);
    EXPECT_EQ(facts->bitsPerPixel, c.bits);
    EXPECT_EQ(facts->paletteSize, c.colors);
    Imaging imaging;
    ASSERT_TRUE(imaging.LoadFile(c.file));
    EXPECT_EQ(imaging.GetPicture().format(), QImage::Format_RGB32);
    EXPECT_EQ(imaging.PixelWidth(), 40);
    EXPECT_EQ(imaging.PixelHeight(), 30);
    EXPECT_TRUE(near(*imaging.PixelColor(5, 5), qRgb(255, 0, 0)));
  }
}

TEST_F(ImagingTest, DamagedMissingAndForeignFilesAreErrors) {
  const QByteArray jpeg = test::ReadBytes(save("whole.jpg", quarters(200, 150)));
  const QByteArray png = test::ReadBytes(save("whole.png", quarters(200, 150)));
  const QByteArray bmp = test::ReadBytes(save("whole.bmp", quarters(200, 150)));
  const QByteArray gif = gifBytes(200, 150, {0});
  const QString unreadable[] = {
      path("missing.jpg"), folder_,
      writeBytes(path("empty.jpg"), {}), writeBytes(path("text.jpg"), "just some words"),
      writeBytes(path("cut.jpg"), jpeg.left(jpeg.size() * 2 / 3)),
      writeBytes(path("cut.png"), png.left(png.size() / 2)),
      writeBytes(path("cut.bmp"), bmp.left(bmp.size() / 2)),
      writeBytes(path("cut.gif"), gif.left(gif.size() / 2))};
  for (const QString& file : unreadable) {
    SCOPED_TRACE(file.toStdString());
    Imaging imaging;
    ASSERT_TRUE(imaging.LoadFromPicture(quarters(8, 6)));
    const Status loaded = imaging.LoadFile(file);
    ASSERT_FALSE(loaded);
    EXPECT_TRUE(loaded.error().contains(file));
    EXPECT_FALSE(Imaging::readScaled(file, 50));
    EXPECT_EQ(imaging.PixelWidth(), 8);  // the held picture stays
  }
  EXPECT_FALSE(Imaging::FileInfo(path("missing.jpg")));
  EXPECT_FALSE(Imaging::FileInfo(path("text.jpg")));
}

TEST_F(ImagingTest, ScaledLoadingDecodesSmall) {
  const QString big = save("big.jpg", quarters(4000, 3000));
  const auto small = Imaging::readScaled(big, 400);
  ASSERT_TRUE(small) << small.error().toStdString();
  EXPECT_EQ(small->size(), QSize(400, 300));
  EXPECT_TRUE(near(small->pixel(50, 50), qRgb(255, 0, 0)));
  Imaging imaging;
  ASSERT_TRUE(imaging.loadFileScaled(save("tall.png", quarters(300, 400)), 200));
  EXPECT_EQ(imaging.GetPicture().size(), QSize(150, 200));
  ASSERT_TRUE(imaging.loadFileScaled(path("tall.png"), 1000));  // never enlarged
  EXPECT_EQ(imaging.GetPicture().size(), QSize(300, 400));
  EXPECT_FALSE(imaging.loadFileScaled(path("tall.png"), 0));
}

// The corners each orientation shows when the file's pixels are the four
// quarters red, green, blue, white from the top left.
TEST_F(ImagingTest, EveryExifOrientationStandsUpright) {
  const char* const corners[] = {"RGBW", "GRWB", "WBGR", "BWRG", "RBGW", "BRWG", "WGBR", "GWRB"};
  for (int tag = 1; tag <= 8; ++tag) {
    SCOPED_TRACE(tag);
    const QString file = path(QStringLiteral("o%1.jpg").arg(tag));
    ASSERT_TRUE(test::WriteOrientedJpeg(file, quarters(256, 128), tag, tag % 2 == 0));
    const QSize upright = tag >= 5 ? QSize(128, 256) : QSize(256, 128);
    const auto facts = Imaging::FileInfo(file);
    ASSERT_TRUE(facts) << facts.error().toStdString();
    EXPECT_EQ(QSize(facts->width, facts->height), upright);
    Imaging imaging;
    ASSERT_TRUE(imaging.LoadFile(file));
    EXPECT_EQ(imaging.GetPicture().size(), upright);
    EXPECT_EQ(test::CornerColours(imaging.GetPicture()), corners[tag - 1]);
    for (const int longSide : {32, 100}) {  // an eighth by the codec; a size it must finish by scaling
      const auto small = Imaging::readScaled(file, longSide);
      ASSERT_TRUE(small) << small.error().toStdString();
      EXPECT_EQ(small->size(), upright.scaled(longSide, longSide, Qt::KeepAspectRatio));
      EXPECT_EQ(test::CornerColours(*small), corners[tag - 1]);
    }
  }
  // A TIFF's own orientation tag counts the same way.
  QImageWriter tiff(path("turned.tif"));
  tiff.setTransformation(QImageIOHandler::TransformationRotate90);
  ASSERT_TRUE(tiff.write(quarters(64, 32)));
  EXPECT_EQ(Imaging::FileInfo(path("turned.tif"))->height, 64);
  EXPECT_EQ(test::CornerColours(*Imaging::readScaled(path("turned.tif"), 64)), "BRWG");
}

// Broken or odd EXIF blocks leave the picture as stored, and never stop it loading.
TEST_F(ImagingTest, BrokenExifBlocksAreHarmless) {
  const QByteArray six = test::ExifOrientationSegment(6);
  const auto segment = [](const QByteArray& body) {
    const auto length = static_cast<int>(body.size()) + 2;
    return QByteArray("\xFF\xE1") + QByteArray(1, char(length >> 8)).append(char(length & 0xFF)) + body;
  };
  const QByteArray exif("Exif\0\0", 6);
  QByteArray manyEntries = six.mid(4);  // a directory that claims 65535 entries and holds one, not the orientation
  manyEntries[14] = '\xFF', manyEntries[15] = '\xFF', manyEntries[17] = '\x10';
  QByteArray description = exif + "MM" + QByteArray("\0\x2A\0\0\0\x08\0\x02", 8);  // a huge description, then GPS
  description += QByteArray("\x01\x0E\0\x02\0\0\xEA\x60\0\0\0\x26", 12) + QByteArray("\x88\x25\0\x04\0\0\0\x01\xFF\xFF\xFF\x00", 12);
  description += QByteArray(4, '\0') + QByteArray(60000, 'd');
  const QByteArray blocks[] = {
      segment({}), segment(exif), segment(exif + "MM\0\x2A"), segment(six.mid(4, 20)), segment(manyEntries),
      segment(exif + QByteArray("II\x2A\0\xF0\xFF\xFF\x7F", 8)), test::ExifOrientationSegment(0),
      test::ExifOrientationSegment(9), test::ExifOrientationSegment(0xFFFF), segment(description),
      segment(QByteArray("http://ns.adobe.com/xap/1.0/\0<x:xmpmeta/>", 41))};
  const QByteArray jpeg = test::ReadBytes(save("plain.jpg", quarters(64, 32), 95));
  for (const QByteArray& block : blocks) {
    SCOPED_TRACE(block.left(24).toHex().toStdString());
    const QString file = writeBytes(path("odd.jpg"), test::WithSegment(jpeg, block));
    EXPECT_EQ(Imaging::FileInfo(file)->width, 64);
    const auto small = Imaging::readScaled(file, 32);
    ASSERT_TRUE(small) << small.error().toStdString();
    EXPECT_EQ(test::CornerColours(*small), "RGBW");
  }
  // Kept for a turned copy, a broken block is carried over as it is.
  for (const QByteArray& block : blocks) {
    const auto kept = WithMetadataOf(jpeg, test::WithSegment(jpeg, block));
    ASSERT_TRUE(kept) << block.left(24).toHex().toStdString();
    EXPECT_EQ(QImage::fromData(*kept).size(), QSize(64, 32));
  }
  // The first EXIF block counts, after an XMP block and before a second one.
  const QString file = writeBytes(path("two.jpg"), test::WithSegment(jpeg, blocks[10] + six + test::ExifOrientationSegment(3)));
  EXPECT_EQ(Imaging::FileInfo(file)->width, 32);
}

// A header cut short is refused rather than read past its end; stray bytes
// between segments are passed over as decoders pass them over.
TEST_F(ImagingTest, KeptJpegDataNeedsAWholeHeader) {
  const QByteArray jpeg = test::ReadBytes(save("plain.jpg", quarters(64, 32), 95));
  const QByteArray six = test::ExifOrientationSegment(6);
  const QByteArray original = test::WithSegment(jpeg, QByteArray(3, '\0') + six);
  const qsizetype scan = original.indexOf("\xFF\xDA");
  for (qsizetype size = 0; size <= scan + 2; ++size)
    EXPECT_EQ(WithMetadataOf(jpeg, original.left(size)).ok(), size > scan + 1) << size;
  const auto kept = WithMetadataOf(jpeg, original);
  ASSERT_TRUE(kept);
  EXPECT_TRUE(kept->startsWith("\xFF\xD8" + test::ExifOrientationSegment(1)));
  EXPECT_FALSE(WithMetadataOf(original.mid(2), original).ok());
}

// A JPEG is refused only when the decoder fails or the picture ends while
// picture data is still wanted; the decoder's other complaints give the picture.
TEST_F(ImagingTest, JpegAcceptanceFollowsTheDecoder) {
  const QByteArray baseline = jpegWithRestarts(quarters(200, 160));
  QImageWriter progressiveWriter(path("progressive.jpg"));
  progressiveWriter.setProgressiveScanWrite(true);
  ASSERT_TRUE(progressiveWriter.write(quarters(200, 160)));
  const QByteArray progressive = test::ReadBytes(path("progressive.jpg"));
  const qsizetype scan = markerAt(baseline, '\xDA');
  const qsizetype restart = markerAt(baseline, '\xD2', scan);
  ASSERT_GT(restart, 0);
  QByteArray wrongRestart = baseline;
  wrongRestart[restart + 1] = '\xD6';
  const qsizetype secondScan = markerAt(progressive, '\xDA', markerAt(progressive, '\xDA') + 2);
  const qsizetype tables = markerAt(progressive, '\xC4', secondScan), thirdScan = markerAt(progressive, '\xDA', secondScan + 2);
  const qsizetype afterSecond = tables > 0 ? std::min(tables, thirdScan) : thirdScan;
  ASSERT_GT(afterSecond, secondScan + 40);
  // the second scan's data stops halfway, and the scans after it follow
  const QByteArray shortSegment = progressive.left((secondScan + afterSecond) / 2) + progressive.mid(afterSecond);
  const QByteArray given[] = {
      baseline.left(scan) + "\x12\x34\x56" + baseline.mid(scan),  // extraneous bytes before a marker
      wrongRestart, shortSegment,
      baseline.left(scan) + QByteArray(7, '\xFF') + baseline.mid(scan),  // fill bytes
      baseline + QByteArray(5000, '\xFF') + "trailer", progressive};
  for (const QByteArray& bytes : given) {
    const QString file = writeBytes(path("given.jpg"), bytes);
    Imaging imaging;
    const Status loaded = imaging.LoadFile(file);
    EXPECT_TRUE(loaded) << loaded.error().toStdString();
    EXPECT_EQ(test::CornerColours(imaging.GetPicture()), "RGBW");
    EXPECT_TRUE(Imaging::readScaled(file, 40));
  }
  const QByteArray refused[] = {baseline.left(baseline.size() * 2 / 3), progressive.left(secondScan + 40),
                                // the end marker before the last row
                                baseline.left((scan + baseline.size()) / 2) + "\xFF\xD9",
                                progressive.left(markerAt(progressive, '\xDA') + 20) + "\xFF\xD9",
                                progressive.left(progressive.size() - 30), baseline.left(scan + 6),
                                baseline.left(2) + QByteArray("\xFF\xC0\x00\x02", 4) + baseline.mid(2)};
  for (const QByteArray& bytes : refused) {
    const QString file = writeBytes(path("cut.jpg"), bytes);
    EXPECT_FALSE(Imaging().LoadFile(file)) << bytes.size();
    EXPECT_FALSE(Imaging::readScaled(file, 40)) << bytes.size();
  }
}

// Whole pictures open. A file that lacks only its end marker holds every row
// and opens with the whole file's pixels, however it is coded (one cut in
// half, or a progressive one that lacks a scan, stays refused). A page of one
// colour coded arithmetically takes a few hundred bytes, far less than a bit
// a block, and is a picture all the same.
TEST_F(ImagingTest, WholeJpegsOpenThoughTheyLackTheirEndMarkerOrABitABlock) {
  for (const int side : {8, 16, 40, 123, 200}) {
    for (const bool progressive : {false, true}) {
      for (const int quality : {30, 75, 100}) {
        SCOPED_TRACE(testing::Message() << side << (progressive ? " progressive q" : " sequential q") << quality);
        const QImage picture = dotted(side, side * 3 / 4 + 1);
        const QByteArray whole = libjpegBytes(picture.width(), picture.height(), JCS_RGB, rgbSamples(picture),
                                              [&](jpeg_compress_struct& info) {
                                                jpeg_set_quality(&info, quality, TRUE);
                                                if (progressive) jpeg_simple_progression(&info);
                                                info.arith_code = quality == 75 ? TRUE : FALSE;
                                              });
        Imaging expected, cut;
        ASSERT_TRUE(expected.LoadFile(writeBytes(path("whole.jpg"), whole)));
        const Status loaded = cut.LoadFile(writeBytes(path("unended.jpg"), whole.chopped(2)));
        ASSERT_TRUE(loaded) << loaded.error().toStdString();
        EXPECT_EQ(cut.GetPicture(), expected.GetPicture());
        EXPECT_FALSE(Imaging().LoadFile(writeBytes(path("half.jpg"), whole.left(whole.size() / 2))));
        if (progressive) {
          const qsizetype lastScan = whole.lastIndexOf("\xFF\xDA");
          EXPECT_FALSE(Imaging().LoadFile(writeBytes(path("unfinished.jpg"), whole.left(lastScan))));
        }
      }
    }
  }
  QImage page(2480, 3508, QImage::Format_RGB32);  // A4 at 300 dpi
  page.fill(Qt::white);
  for (const bool colour : {false, true}) {
    const QByteArray bytes = libjpegBytes(page.width(), page.height(), JCS_RGB, rgbSamples(page), [&](jpeg_compress_struct& info) {
      info.arith_code = TRUE;
      if (!colour) jpeg_set_colorspace(&info, JCS_GRAYSCALE);
    });
    ASSERT_LT(bytes.size(), 400) << colour;
    Imaging imaging;
    const Status loaded = imaging.LoadFile(writeBytes(path("page.jpg"), bytes));
    ASSERT_TRUE(loaded) << loaded.error().toStdString();
    EXPECT_EQ(*imaging.PixelColor(1240, 3507), qRgb(255, 255, 255));
  }
}

// Each repeat of a scan walks every block again: a file of more scans than
// any encoder writes is refused, however few its bytes; one at the limit opens.
TEST_F(ImagingTest, AJpegOfEndlessScansIsRefused) {
  for (const bool arithmetic : {false, true}) {
    const auto withScans = [&](int scans) { return test::greyScans(dotted(64, 48), scans, arithmetic); };
    SCOPED_TRACE(arithmetic ? "arithmetic" : "huffman");
    EXPECT_TRUE(Imaging().LoadFile(writeBytes(path("many.jpg"), withScans(200))));
    const QString endless = writeBytes(path("endless.jpg"), withScans(201));
    const Status loaded = Imaging().LoadFile(endless);
    ASSERT_FALSE(loaded);
    EXPECT_TRUE(loaded.error().contains(QStringLiteral("more than 200 scans"))) << loaded.error().toStdString();
    EXPECT_FALSE(Imaging::readScaled(endless, 16));
  }
}

// A photo that another program cuts short while it is decoded is a damaged
// picture, never a fault; a decode that is no longer wanted ends at once.
TEST_F(ImagingTest, AJpegCutShortOrStoppedWhileDecodedEndsCleanly) {
  const QString file = save("busy.jpg", dotted(1600, 1200), 95);
  ASSERT_GT(QFileInfo(file).size(), 512 * 1024);
  int asked = 0;
  {
    const DecodeStop::Scope cutter([&] {
      if (asked++ == 0) {
        EXPECT_TRUE(QFile::resize(file, 4096));
      }
      return false;
    });
    const Status loaded = Imaging().LoadFile(file);
    ASSERT_FALSE(loaded);
    EXPECT_TRUE(loaded.error().contains(QStringLiteral("damaged or incomplete"))) << loaded.error().toStdString();
  }
  ASSERT_GT(asked, 0);
  save("busy.jpg", dotted(1600, 1200), 95);
  asked = 0;
  const DecodeStop::Scope stopper([&] { return ++asked >= 2; });
  EXPECT_FALSE(Imaging().LoadFile(file));
  EXPECT_EQ(asked, 2) << "the decode went on after it was stopped";
}

// A few hundred bytes whose header claims a huge picture are refused before
// the picture's memory is ever asked for, in every format.
TEST_F(ImagingTest, HeadersClaimingMoreThanTheFileHoldsAreRefusedBeforeDecoding) {
  const auto le = [](QByteArray& out, quint32 value, int bytes) {
    for (int i = 0; i < bytes; ++i) out.append(char((value >> (8 * i)) & 0xFF));
  };
  QByteArray bmp("BM");  // 20 x 10,289,164 pixels, 24 bits, uncompressed, in 234 bytes
  le(bmp, 234, 4), le(bmp, 0, 4), le(bmp, 54, 4), le(bmp, 40, 4), le(bmp, 20, 4), le(bmp, 10289164, 4);
  le(bmp, 1, 2), le(bmp, 24, 2), le(bmp, 0, 4), le(bmp, 0, 4), le(bmp, 2835, 4), le(bmp, 2835, 4), le(bmp, 0, 4), le(bmp, 0, 4);
  bmp.append(QByteArray(180, '\x55'));
  QByteArray rle = bmp;  // the same as 8-bit run lengths
  rle[28] = 8, rle[30] = 1;

  QByteArray jpeg = test::ReadBytes(save("tiny.jpg", quarters(16, 16)));  // its frame says 65500 x 65500
  const qsizetype frame = markerAt(jpeg, '\xC0');
  ASSERT_GT(frame, 0);
  jpeg[frame + 5] = jpeg[frame + 7] = '\xFF', jpeg[frame + 6] = jpeg[frame + 8] = '\xDC';

  QByteArray png = test::ReadBytes(save("tiny.png", quarters(16, 16)));  // its header says 16000 x 16000
  png[18] = png[22] = '\x3E', png[19] = png[23] = '\x80';
  quint32 crc = 0xFFFFFFFF;  // the header's CRC again, so that only its size is wrong
  for (qsizetype i = 12; i < 29; ++i) {
    crc ^= static_cast<quint8>(png[i]);
    for (int k = 0; k < 8; ++k) crc = (crc & 1) != 0 ? 0xEDB88320 ^ (crc >> 1) : crc >> 1;
  }
  crc ^= 0xFFFFFFFF;
  for (int i = 0; i < 4; ++i) png[29 + i] = char((crc >> (24 - 8 * i)) & 0xFF);

  QByteArray gif = gifBytes(1, 1, {0});  // a 16000 x 16000 screen for a picture of one pixel
  gif[6] = gif[8] = '\x80', gif[7] = gif[9] = '\x3E';

  const QByteArray bombs[] = {bmp, rle, jpeg, png, gif};
  for (const QByteArray& bytes : bombs) {
    SCOPED_TRACE(bytes.left(4).toHex().toStdString());
    const QString file = writeBytes(path("bomb"), bytes);
    EXPECT_TRUE(Imaging::FileInfo(file)) << "measured, so that it shows as an unreadable cell";
    const std::size_t largest = largestAllocationDuring([&] {
      EXPECT_FALSE(Imaging::readScaled(file, 128));
      EXPECT_FALSE(Imaging().LoadFile(file));
    });
    EXPECT_LT(largest, std::size_t{32} << 20);
  }
}

// A GIF whose screen is far taller than its picture is measured by its
// picture; it must then load at that size, or not at all.
TEST_F(ImagingTest, AGifLoadsAtTheSizeItIsMeasuredAtOrNotAtAll) {
  QByteArray gif = gifBytes(20, 12, {0});
  gif[8] = '\xFF', gif[9] = '\x0B';  // a screen of 20 x 3071
  const QString file = writeBytes(path("tall.gif"), gif);
  const auto facts = Imaging::FileInfo(file);
  ASSERT_TRUE(facts);
  for (const int longSide : {0, 128}) {
    Imaging imaging;
    if (!imaging.loadFileScaled(file, longSide > 0 ? longSide : 100000)) continue;
    EXPECT_EQ(QSize(imaging.PixelWidth(), imaging.PixelHeight()), QSize(facts->width, facts->height));
  }
}

// The files the fuzzer kept: each is measured and loads at the size it is
// measured at, or is refused; none crashes or hangs.
TEST_F(ImagingTest, FuzzedFilesLoadAtTheirMeasuredSizeOrAreRefused) {
  const QDir data(QStringLiteral(LUMASET_IMAGING_FUZZ_DATA));
  const QStringList names = data.entryList(QDir::Files);
  ASSERT_GE(names.size(), 40);
  for (const QString& name : names) {
    SCOPED_TRACE(name.toStdString());
    const auto facts = Imaging::FileInfo(data.filePath(name));
    Imaging imaging;
    if (!imaging.LoadFile(data.filePath(name))) continue;
    ASSERT_TRUE(facts);
    EXPECT_EQ(QSize(imaging.PixelWidth(), imaging.PixelHeight()), QSize(facts->width, facts->height));
  }
}

// Decodes hold at most the whole share at once: one that does not fit waits
// until memory comes back; one stopped while it waits gets nothing; one
// larger than the whole is refused at once, without waiting. Every wait
// ends within seconds: the shares give up when the test's patience runs out.
TEST(DecodeMemoryTest, ADecodeThatDoesNotFitWaitsForMemoryToComeBack) {
  imaging_detail::DecodeMemory memory(100);
  const QDeadlineTimer patience(std::chrono::seconds(3));
  std::atomic<bool> stopWaiting{false};
  const auto soon = [&patience](const std::function<bool()>& done) {
    while (!done() && !patience.hasExpired()) std::this_thread::sleep_for(std::chrono::milliseconds(2));
    return done();
  };
  const DecodeStop::Scope ownStop([&patience] { return patience.hasExpired(); });
  for (const bool stopped : {false, true}) {
    SCOPED_TRACE(stopped ? "stopped" : "served");
    std::atomic<int> granted{-1};
    std::atomic<qint64> heldWhenServed{0};
    auto first = std::make_unique<imaging_detail::DecodeMemory::Share>(memory, 70);
    std::thread second([&] {
      const DecodeStop::Scope stop([&] { return stopWaiting.load() || patience.hasExpired(); });
      const imaging_detail::DecodeMemory::Share share(memory, 50);
      heldWhenServed = memory.held();
      granted = share.granted() ? 1 : 0;
    });
    EXPECT_TRUE(soon([&] { return memory.waiting() == 1; })) << "the second decode waiting";
    EXPECT_EQ(granted, -1);
    if (stopped) {
      stopWaiting = true;
    } else {
      first.reset();
    }
    EXPECT_TRUE(soon([&] { return granted != -1; })) << "the second decode served or let go";
    first.reset();  // whatever went wrong, the second decode can end
    second.join();
    EXPECT_EQ(granted, stopped ? 0 : 1);
    EXPECT_EQ(heldWhenServed, stopped ? 70 : 50);
    EXPECT_EQ(memory.held(), 0);
  }
  const imaging_detail::DecodeMemory::Share some(memory, 70);
  int asked = 0;  // a share that waits asks, between looks, whether it is still wanted
  const DecodeStop::Scope counted([&asked] { return ++asked > 0; });
  const imaging_detail::DecodeMemory::Share more(memory, 101);
  EXPECT_TRUE(more.tooLarge());
  EXPECT_FALSE(more.granted());
  EXPECT_EQ(asked, 0) << "a request larger than the whole waited";
  EXPECT_EQ(memory.held(), 70);
}

// The program ends at once whatever its decodes are doing: one waiting for
// memory holds up neither the process's end nor, once every decode is
// ended, itself; a decode asked for after that ends before it begins. Each
// case runs in a child process that an alarm ends should it hang.
TEST(DecodeMemoryDeathTest, TheProgramEndsWhileDecodesWait) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  const QString file = QDir(test::freshFolder(QStringLiteral("ending"))).filePath(QStringLiteral("a.jpg"));
  ASSERT_TRUE(quarters(64, 48).save(file));
  const QString png = QFileInfo(file).dir().filePath(QStringLiteral("a.png"));
  ASSERT_TRUE(quarters(64, 48).save(png));
  const auto waitingDecode = [] {
    ::alarm(5);
    auto& memory = imaging_detail::DecodeMemory::Shared();
    static auto* held = new imaging_detail::DecodeMemory::Share(memory, imaging_detail::DecodeMemory::kTotalBytes);
    (void)held;  // never given back
    std::thread([&memory] { const imaging_detail::DecodeMemory::Share share(memory, 1); }).detach();
    while (memory.waiting() != 1) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  };
  EXPECT_EXIT(
      {
        waitingDecode();
        std::exit(3);
      },
      testing::ExitedWithCode(3), "")
      << "the process ended with a decode waiting";
  EXPECT_EXIT(
      {
        waitingDecode();
        DecodeStop::endAll();
        while (imaging_detail::DecodeMemory::Shared().waiting() != 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        std::exit(Imaging().LoadFile(file) || Imaging().LoadFile(png) ? 1 : 4);
      },
      testing::ExitedWithCode(4), "")
      << "the waiting decode let go, and a new one refused";
}

// Four-ink JPEGs: plain, and with every ink inverted as Adobe's programs write
// them (libjpeg marks those with its Adobe marker).
TEST_F(ImagingTest, CmykJpegsShowTheirColours) {
  // Three blocks of 16 x 16: red (magenta and yellow), blue (cyan and magenta), grey (half black).
  const char inks[3][4] = {{0, '\xFF', '\xFF', 0}, {'\xFF', '\xFF', 0, 0}, {0, 0, 0, '\x80'}};
  const QRgb shown[3] = {qRgb(255, 0, 0), qRgb(0, 0, 255), qRgb(127, 127, 127)};
  for (const bool adobe : {false, true}) {
    QByteArray samples;
    for (int y = 0; y < 16; ++y)
      for (int x = 0; x < 48; ++x)
        for (const char ink : inks[x / 16]) samples.append(adobe ? char(~ink) : ink);
    const QString file = writeBytes(path("inks.jpg"), libjpegBytes(48, 16, JCS_CMYK, samples, [adobe](jpeg_compress_struct& info) {
      jpeg_set_quality(&info, 95, TRUE);
      info.write_Adobe_marker = adobe ? TRUE : FALSE;
    }));
    Imaging imaging;
    ASSERT_TRUE(imaging.LoadFile(file)) << adobe;
    for (int block = 0; block < 3; ++block)
      EXPECT_TRUE(near(*imaging.PixelColor(block * 16 + 8, 8), shown[block])) << adobe << " " << block;
  }
}

// Pictures whose pixels need more than a gigabyte are refused from the header,
// before anything is decoded; one at exactly a gigabyte is tried (and here fails
// only because its data ends early).
TEST_F(ImagingTest, JpegsAreRefusedOverAGigabyte) {
  const QByteArray small = jpegWithRestarts(quarters(16, 16));
  const qsizetype frame = markerAt(small, '\xC0');
  const qsizetype scan = markerAt(small, '\xDA');
  ASSERT_GT(frame, 0);
  for (const auto& [height, cause] : {std::pair(16385, "there is not enough memory for a picture of 16384 x 16385 pixels"),
                                      std::pair(16384, "the picture is damaged or incomplete")}) {
    QByteArray huge = small.left(scan + 20);
    huge[frame + 5] = char(height >> 8), huge[frame + 6] = char(height & 0xFF);
    huge[frame + 7] = char(0x40), huge[frame + 8] = 0;  // 16384 wide
    const QString file = writeBytes(path("huge.jpg"), huge);
    const Status loaded = Imaging().LoadFile(file);
    ASSERT_FALSE(loaded) << height;
    EXPECT_EQ(loaded.error(), QStringLiteral("\"%1\" cannot be read: %2.").arg(file, QLatin1String(cause)));
  }
}

TEST_F(ImagingTest, PhotosBeyondQtsDefaultLimitLoad) {
  QImage photo(6000, 6000, QImage::Format_RGB32);  // 144 MB decoded, over Qt's 128 MB
  photo.fill(Qt::darkCyan);
  const QString file = save("36mp.jpg", photo, 30);
  photo = QImage();
  Imaging imaging;
  const Status loaded = imaging.LoadFile(file);
  ASSERT_TRUE(loaded) << loaded.error().toStdString();
  EXPECT_EQ(imaging.PixelWidth(), 6000);
}

TEST_F(ImagingTest, JpegSavingKeepsQualityAndDpiAndWritesAtomically) {
  QImage noisy = quarters(300, 200);
  for (int i = 0; i < 300 * 200; i += 7) noisy.setPixel(i % 300, i / 300, qRgb(i % 251, i % 241, i % 239));
  Imaging imaging;
  ASSERT_TRUE(imaging.LoadFromPicture(noisy));
  imaging.setJpegDpi(300);
  imaging.setJpegQuality(95);
  ASSERT_TRUE(imaging.SaveFile(path("fine.jpg")));
  imaging.setJpegQuality(20);
  ASSERT_TRUE(imaging.SaveFile(path("coarse.jpg")));
  EXPECT_LT(QFileInfo(path("coarse.jpg")).size(), QFileInfo(path("fine.jpg")).size() / 2);
  QImageReader reader(path("coarse.jpg"));
  EXPECT_EQ(reader.format(), "jpeg");
  const QImage back = reader.read();
  EXPECT_EQ(qRound(back.dotsPerMeterX() * 0.0254), 300);
  EXPECT_EQ(qRound(back.dotsPerMeterY() * 0.0254), 300);

  const QByteArray before = test::ReadBytes(path("fine.jpg"));
  EXPECT_FALSE(imaging.saveAs(path("fine.jpg"), "pcx"));
  EXPECT_FALSE(imaging.SaveFile(path("no/such/folder/x.jpg")));
  {
    test::FileSizeLimit full(16);
    EXPECT_TRUE(imaging.SaveFile(path("fine.jpg")).error().endsWith(": File too large"));
  }
  EXPECT_EQ(test::ReadBytes(path("fine.jpg")), before);
  EXPECT_EQ(QDir(folder_).entryList(QDir::Files).size(), 2);  // no temporary files left
  for (const char* format : {"png", "bmp", "tiff", "webp", "wbmp"}) {
    ASSERT_TRUE(imaging.saveAs(path("out"), format)) << format;
    EXPECT_EQ(QImageReader(path("out")).format(), format);
  }
}

TEST_F(ImagingTest, CropKeepsThePartInsideThePicture) {
  struct Case { int left, top, width, height; QSize kept; } const cases[] = {
      {-10, -10, 30, 30, {20, 20}}, {30, 20, 100, 100, {10, 10}}, {0, 0, 40, 30, {40, 30}},
      {INT_MAX, 0, 10, 10, {}},     {-50, 0, 10, 10, {}},         {5, 5, 0, 10, {}},
      {5, 5, INT_MAX, -3, {}}};
  for (const Case& c : cases) {
    Imaging imaging;
    ASSERT_TRUE(imaging.LoadFromPicture(quarters(40, 30)));
    const Status cropped = imaging.ImgCrop(c.left, c.top, c.width, c.height);
    EXPECT_EQ(bool(cropped), c.kept.isValid()) << c.left << "," << c.top;
    EXPECT_EQ(imaging.GetPicture().size(), c.kept.isValid() ? c.kept : QSize(40, 30));
  }
}

TEST_F(ImagingTest, TurnsMirrorsAndResizes) {
  Imaging imaging;
  EXPECT_FALSE(imaging.ImgRotate(90));  // nothing loaded
  ASSERT_TRUE(imaging.LoadFromPicture(quarters(40, 30)));
  ASSERT_TRUE(imaging.ImgRotate(90));  // clockwise: red goes to the top right
  EXPECT_EQ(imaging.GetPicture().size(), QSize(30, 40));
  EXPECT_EQ(*imaging.PixelColor(29, 0), qRgb(255, 0, 0));
  ASSERT_TRUE(imaging.ImgRotate(-450));
  EXPECT_EQ(imaging.GetPicture(), quarters(40, 30));
  ASSERT_TRUE(imaging.ImgMirror());
  EXPECT_EQ(*imaging.PixelColor(39, 0), qRgb(255, 0, 0));
  ASSERT_TRUE(imaging.ImgRotate(45));
  EXPECT_GT(imaging.PixelWidth(), 40);
  EXPECT_EQ(*imaging.PixelColor(0, 0), qRgb(255, 255, 255));  // bare corners are white
  EXPECT_FALSE(imaging.ImgRotate(std::nan("")));
  ASSERT_TRUE(imaging.LoadFromPicture(quarters(40, 30)));
  ASSERT_TRUE(imaging.ImgResize(20));
  EXPECT_EQ(imaging.GetPicture().size(), QSize(20, 15));
  ASSERT_TRUE(imaging.ImgResize(10, 50));
  EXPECT_EQ(imaging.GetPicture().size(), QSize(10, 50));
  EXPECT_FALSE(imaging.ImgResize(0));
  EXPECT_FALSE(imaging.ImgResize(100000, 100000));
  EXPECT_EQ(imaging.GetPicture().size(), QSize(10, 50));
}

TEST_F(ImagingTest, ProgressRunsFromZeroToHundredOnlyWhenSwitchedOn) {
  Imaging imaging;
  std::vector<int> seen;
  QStringList texts;
  imaging.setProgressHandler([&](int percent, bool&) {
    seen.push_back(percent);
    texts << imaging.InfoText();
  });
  ASSERT_TRUE(imaging.LoadFromPicture(quarters(40, 30)));
  ASSERT_TRUE(imaging.ImgRotate(90));
  EXPECT_TRUE(seen.empty());  // off from the start

  imaging.setProgressEnabled(true);
  for (const auto& operation : std::vector<std::function<Status()>>{
           [&] { return imaging.ImgResize(20); }, [&] { return imaging.ImgMirror(); },
           [&] { return imaging.LoadFile(save("p.png", quarters(40, 30))); },
           [&] { return imaging.SaveFile(path("p.jpg")); },
           [&] { return imaging.LoadFile(path("missing.png")); }}) {
    seen.clear();
    texts.clear();
    const Status done = operation();
    ASSERT_GE(seen.size(), done ? 3U : 2U);
    EXPECT_EQ(seen.front(), 0);
    EXPECT_EQ(seen.back(), 100);  // also when the operation failed
    EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));
    EXPECT_FALSE(texts.front().isEmpty());
  }
  EXPECT_EQ(texts.front(), "Loading");
}

TEST_F(ImagingTest, UndoRingKeepsTheLastStates) {
  Imaging imaging;
  imaging.UndoLevels(2);
  ASSERT_TRUE(imaging.LoadFromPicture(quarters(40, 30)));
  ASSERT_TRUE(imaging.ImgResize(20));
  ASSERT_TRUE(imaging.ImgResize(10));
  ASSERT_TRUE(imaging.ImgMirror(Imaging::kNoUndo));
  ASSERT_TRUE(imaging.ImgResize(8));
  ASSERT_TRUE(imaging.UndoLast());
  EXPECT_EQ(imaging.PixelWidth(), 10);
  ASSERT_TRUE(imaging.UndoLast());
  EXPECT_EQ(imaging.PixelWidth(), 20);  // the 40 went out of the ring
  EXPECT_FALSE(imaging.UndoLast());

  // The preview pattern: keep a state, change the pixels by hand, go back.
  ASSERT_TRUE(imaging.UndoSave(QStringLiteral("Replace Color")));
  auto bits = imaging.GetBits();
  ASSERT_TRUE(bits);
  std::fill(bits.value().rgb.begin(), bits.value().rgb.end(), std::uint8_t{7});
  ASSERT_TRUE(imaging.LoadBits(*bits));
  EXPECT_EQ(*imaging.PixelColor(3, 3), qRgb(7, 7, 7));
  EXPECT_EQ(imaging.ColorsUsed(), 1);
  ASSERT_TRUE(imaging.UndoLast());
  EXPECT_GT(imaging.ColorsUsed(), 1);
  EXPECT_EQ(*imaging.PixelColor(0, 0), qRgb(255, 0, 0));

  ASSERT_TRUE(imaging.ImgMirror());
  ASSERT_TRUE(imaging.LoadFromPicture(quarters(4, 4)));
  EXPECT_FALSE(imaging.UndoLast());  // a new picture starts without history
  imaging.UndoLevels(0);
  ASSERT_TRUE(imaging.ImgMirror());
  EXPECT_FALSE(imaging.UndoLast());
}

TEST_F(ImagingTest, PicturesAndPixelsChangeHands) {
  QImage glass(10, 10, QImage::Format_ARGB32);
  glass.fill(Qt::transparent);
  Imaging source;
  ASSERT_TRUE(source.LoadFromPicture(glass));
  EXPECT_EQ(*source.PixelColor(5, 5), qRgb(255, 255, 255));  // transparency lies on white paper
  EXPECT_FALSE(source.PixelColor(10, 0));
  EXPECT_FALSE(source.LoadFromPicture(QImage()));
  EXPECT_FALSE(source.LoadBits(PixelBits{4, 4, std::vector<std::uint8_t>(47)}));
  EXPECT_FALSE(source.LoadBits(PixelBits{-4, -4, {}}));

  Imaging copy;
  EXPECT_FALSE(copy.LoadFromImgX(Imaging()));
  ASSERT_TRUE(source.LoadFromPicture(quarters(10, 10)));
  ASSERT_TRUE(copy.LoadFromImgX(source));
  EXPECT_EQ(copy.ColorsUsed(), 4);
  ASSERT_TRUE(source.ImgResize(5));
  EXPECT_EQ(copy.PixelWidth(), 10);  // a copy, not a view
}

}  // namespace
}  // namespace lumaset
