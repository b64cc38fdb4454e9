// JPEG files as they come from outside: cut short, padded with segments,
// stored in many scans, or claiming pictures their bytes cannot hold.

#include "components/imaging/imaging.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

#include "components/imaging/allocation_watch.h"
#include "components/imaging/jpeg/jpeg_test_files.h"
#include "support/test_support.h"

namespace lumaset {
namespace {

using test::dotted;
using test::libjpegBytes;
using test::markerAt;
using test::rgbSamples;
using test::segment;

constexpr std::size_t kFewMegabytes = std::size_t{32} << 20;

// `jpeg` with its frame header claiming a picture of `width` x `height`.
QByteArray claiming(QByteArray jpeg, int width, int height) {
  for (qsizetype at = 2; at + 9 <= jpeg.size();) {
    const auto marker = static_cast<unsigned char>(jpeg[at + 1]);
    if (marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC) {
      jpeg[at + 5] = char(height >> 8), jpeg[at + 6] = char(height & 0xFF);
      jpeg[at + 7] = char(width >> 8), jpeg[at + 8] = char(width & 0xFF);
      return jpeg;
    }
    at += 2 + (static_cast<unsigned char>(jpeg[at + 2]) << 8 | static_cast<unsigned char>(jpeg[at + 3]));
  }
  ADD_FAILURE() << "no frame header";
  return jpeg;
}

// A colour picture stored one component a scan, each scan sequential.
QByteArray componentScans(const QImage& picture, bool arithmetic) {
  return libjpegBytes(picture.width(), picture.height(), JCS_RGB, rgbSamples(picture), [&](jpeg_compress_struct& info) {
    static const jpeg_scan_info script[] = {{1, {0}, 0, 63, 0, 0}, {1, {1}, 0, 63, 0, 0}, {1, {2}, 0, 63, 0, 0}};
    info.scan_info = script;
    info.num_scans = 3;
    info.arith_code = arithmetic ? TRUE : FALSE;
  });
}

// The picture as libjpeg decodes it at full size, with its defaults.
QImage libjpegDecoded(const QByteArray& jpeg) {
  jpeg_decompress_struct info{};
  jpeg_error_mgr errors{};
  info.err = jpeg_std_error(&errors);
  jpeg_create_decompress(&info);
  jpeg_mem_src(&info, reinterpret_cast<const unsigned char*>(jpeg.constData()), static_cast<unsigned long>(jpeg.size()));
  jpeg_read_header(&info, TRUE);
  info.out_color_space = JCS_EXT_BGRX;
  jpeg_start_decompress(&info);
  QImage image(static_cast<int>(info.output_width), static_cast<int>(info.output_height), QImage::Format_RGB32);
  while (info.output_scanline < info.output_height) {
    JSAMPROW row = image.scanLine(static_cast<int>(info.output_scanline));
    jpeg_read_scanlines(&info, &row, 1);
  }
  jpeg_finish_decompress(&info);
  jpeg_destroy_decompress(&info);
  return image;
}

class JpegReadingTest : public ::testing::Test {
 protected:
  QString write(const QString& name, const QByteArray& bytes) {
    const QString file = QDir(folder_).filePath(name);
    EXPECT_TRUE(test::WriteText(file, bytes));
    return file;
  }
  // Refused at full size and shrunk, with `cause`, holding little meanwhile.
  void expectRefused(const QString& file, const QString& cause) {
    const std::size_t largest = test::largestAllocationDuring([&] {
      for (const int longSide : {0, 128}) {
        const auto read = longSide > 0 ? Imaging::readScaled(file, longSide) : Imaging::ReadAsStored(file);
        ASSERT_FALSE(read) << longSide;
        EXPECT_TRUE(read.error().contains(cause)) << read.error().toStdString();
      }
    });
    EXPECT_LT(largest, kFewMegabytes);
  }
  QString folder_ = test::freshFolder(QStringLiteral("jpeg-reading"));
};

// A file of several scans keeps every block's coefficients while it is
// decoded, at full size whatever the scale: a few hundred bytes of
// arithmetic code can claim more than the whole decode memory, and are
// refused before it is asked for, naming the picture's size as it stands.
TEST_F(JpegReadingTest, APictureLargerThanTheWholeDecodeMemoryIsRefusedNamingItsSize) {
  const QByteArray progressive = test::greyScans(dotted(16, 16), 2, true);
  const QByteArray turned = test::WithSegment(claiming(progressive, 16000, 9000), test::ExifOrientationSegment(6));
  expectRefused(write(QStringLiteral("progressive.jpg"), turned), QStringLiteral("memory for a picture of 9000 x 16000 pixels"));
  const QByteArray scans = claiming(componentScans(dotted(16, 16), true), 12000, 12000);
  expectRefused(write(QStringLiteral("scans.jpg"), scans), QStringLiteral("memory for a picture of 12000 x 12000 pixels"));
  // The same at a size whose coefficients fit is read, and so are real
  // pictures of every shape and sampling, whose rows the decoder holds too.
  const auto fits = Imaging::readScaled(write(QStringLiteral("fits.jpg"), claiming(progressive, 4000, 3000)), 128);
  ASSERT_TRUE(fits) << fits.error().toStdString();
  EXPECT_EQ(fits->size(), QSize(128, 96));
  for (const QSize size : {QSize(12000, 16), QSize(16, 6000), QSize(1600, 1200)}) {
    for (const int sampling : {1, 2}) {
      const QByteArray real = libjpegBytes(size.width(), size.height(), JCS_RGB, rgbSamples(dotted(size.width(), size.height())),
                                           [sampling](jpeg_compress_struct& info) {
                                             jpeg_simple_progression(&info);
                                             info.comp_info[0].h_samp_factor = info.comp_info[0].v_samp_factor = sampling;
                                           });
      const auto read = Imaging::ReadAsStored(write(QStringLiteral("real.jpg"), real));
      ASSERT_TRUE(read) << size.width() << " " << sampling << read.error().toStdString();
      EXPECT_EQ(read->size(), size);
    }
  }
}

// Every scan goes over the blocks of its components, and arithmetic code
// may spend no bits on any coefficient of them: a file whose scans would
// take more work than any photo's is refused, however few its bytes or its
// scans; one of less work is read.
TEST_F(JpegReadingTest, TheWorkOfAFilesScansIsBounded) {
  const auto scans = [](int count, int side) { return claiming(test::greyScans(dotted(16, 16), count, true), side, side); };
  const auto read = Imaging::readScaled(write(QStringLiteral("fewer.jpg"), scans(10, 2000)), 100);
  ASSERT_TRUE(read) << read.error().toStdString();
  QByteArray page = libjpegBytes(16, 16, JCS_RGB, rgbSamples(dotted(16, 16)), [](jpeg_compress_struct& info) {
    jpeg_set_colorspace(&info, JCS_GRAYSCALE);
    info.arith_code = TRUE;
  });
  const struct { QString file; const char* size; } refused[] = {
      {write(QStringLiteral("more.jpg"), scans(6, 4000)), "4000 x 4000"},
      {write(QStringLiteral("page.jpg"), claiming(page, 16384, 16384)), "16384 x 16384"}};
  for (const auto& [file, size] : refused) {
    const auto bounded = Imaging::readScaled(file, 100);
    ASSERT_FALSE(bounded) << size;
    EXPECT_TRUE(bounded.error().contains(QStringLiteral("%1 pixels asks for more decoding work").arg(QLatin1String(size))))
        << bounded.error().toStdString();
  }
}

// Segments the reader does not use (XMP, a profile, Photoshop's data, later
// EXIF blocks) are passed over wherever the file's reads fall, without
// being held; the first EXIF block, padded to cross several reads, gives
// the orientation.
TEST_F(JpegReadingTest, SegmentsPassedOverAreNeverHeldWhereverTheReadsFall) {
  ASSERT_TRUE(test::Quarters(64, 48).save(QDir(folder_).filePath(QStringLiteral("plain.jpg")), nullptr, 95));
  const QByteArray jpeg = test::ReadBytes(QDir(folder_).filePath(QStringLiteral("plain.jpg")));
  const QByteArray exif = segment(0xE1, test::ExifOrientationSegment(6).mid(4) + QByteArray(20000, 'x'));
  const QByteArray skipped = segment(0xE2, QByteArray("ICC_PROFILE\0\x01\x01", 14) + QByteArray(65000, 'p')) +
                             segment(0xED, QByteArray(30000, 'n')) +
                             segment(0xE1, QByteArray("http://ns.adobe.com/xap/1.0/\0", 29) + QByteArray(50000, 'm'));
  // Between the scans of a progressive file, they cross the reads of its data.
  const QByteArray progressive = libjpegBytes(64, 48, JCS_RGB, rgbSamples(dotted(64, 48)),
                                              [](jpeg_compress_struct& info) { jpeg_simple_progression(&info); });
  const qsizetype secondScan = markerAt(progressive, '\xDA', markerAt(progressive, '\xDA') + 2);
  const auto scans = Imaging::ReadAsStored(write(QStringLiteral("scans.jpg"), progressive));
  ASSERT_TRUE(scans);
  for (const int padding : {0, 1, 2, 3, 255, 509, 510, 511, 512, 513, 525, 4095, 4096, 4097}) {
    SCOPED_TRACE(padding);
    const QByteArray comment = segment(0xFE, QByteArray(padding, 'c'));
    const QByteArray bytes =
        jpeg.left(2) + comment + skipped + exif + skipped + test::ExifOrientationSegment(3) + jpeg.mid(2);
    const QString file = write(QStringLiteral("padded.jpg"), bytes);
    const auto facts = Imaging::FileInfo(file);
    ASSERT_TRUE(facts) << facts.error().toStdString();
    EXPECT_EQ(QSize(facts->width, facts->height), QSize(48, 64));
    const auto shrunk = Imaging::readScaled(file, 32);
    ASSERT_TRUE(shrunk) << shrunk.error().toStdString();
    EXPECT_EQ(test::CornerColours(*shrunk), "BRWG");
    const QByteArray between = progressive.left(secondScan) + comment + skipped + progressive.mid(secondScan);
    const auto read = Imaging::ReadAsStored(write(QStringLiteral("between.jpg"), between));
    ASSERT_TRUE(read) << read.error().toStdString();
    EXPECT_EQ(*read, *scans);
  }
  // Behind 2,000 segments of 64 KB (a sparse file of 128 MB) little is held.
  QFile sparse(QDir(folder_).filePath(QStringLiteral("sparse.jpg")));
  ASSERT_TRUE(sparse.open(QIODevice::WriteOnly));
  sparse.write(jpeg.left(2));
  for (int i = 0; i < 2000; ++i) {
    sparse.write(QByteArray("\xFF\xE1\xFF\xFF"));
    sparse.seek(sparse.pos() + 0xFFFD);
  }
  sparse.write(exif + jpeg.mid(2));
  sparse.close();
  test::largestAllocationDuring([&] {
    const auto facts = Imaging::FileInfo(sparse.fileName());
    ASSERT_TRUE(facts) << facts.error().toStdString();
    EXPECT_EQ(facts->width, 48);
    EXPECT_TRUE(Imaging::readScaled(sparse.fileName(), 32));
  });
  EXPECT_LT(test::mostHeldBytes.load(), 1 << 20);
  EXPECT_TRUE(QFile::remove(sparse.fileName()));
}

// Stray bytes between markers are passed over one at a time: a file padded
// with 100 MB of them, before its picture or between its scans, is refused
// once it has gone past what any photo holds there, not read to its end.
TEST_F(JpegReadingTest, PaddingIsReadOnlyAsFarAsAPictureCouldNeed) {
  const QByteArray progressive = libjpegBytes(64, 48, JCS_RGB, rgbSamples(dotted(64, 48)),
                                              [](jpeg_compress_struct& info) { jpeg_simple_progression(&info); });
  const qsizetype lastScan = progressive.lastIndexOf("\xFF\xDA");
  const struct { qsizetype at; const char* cause; } paddings[] = {
      {2, "more than 16 MB before its picture"}, {lastScan, "far more data than a picture of 64 x 48 pixels needs"}};
  for (const auto& [at, cause] : paddings) {
    QFile sparse(QDir(folder_).filePath(QStringLiteral("padded.jpg")));
    ASSERT_TRUE(sparse.open(QIODevice::WriteOnly));
    sparse.write(progressive.left(at));
    sparse.seek(at + (qint64{100} << 20));  // a hole of zeros
    sparse.write(progressive.mid(at));
    sparse.close();
    const auto read = Imaging::readScaled(sparse.fileName(), 32);
    ASSERT_FALSE(read) << cause;
    EXPECT_TRUE(read.error().contains(QLatin1String(cause))) << read.error().toStdString();
    EXPECT_TRUE(QFile::remove(sparse.fileName()));
  }
}

// A file that ends inside its last row of data, or before a scan of each of
// its components, is damaged; one that lacks only its end marker is whole.
TEST_F(JpegReadingTest, AFileCutInsideItsLastRowOrScanIsRefused) {
  const QImage picture = dotted(200, 150);
  const QByteArray sequential = libjpegBytes(200, 150, JCS_RGB, rgbSamples(picture), [](jpeg_compress_struct& info) {
    jpeg_set_quality(&info, 95, TRUE);
  });
  const QByteArray progressive = libjpegBytes(200, 150, JCS_RGB, rgbSamples(picture), [](jpeg_compress_struct& info) {
    jpeg_set_quality(&info, 95, TRUE);
    jpeg_simple_progression(&info);
  });
  for (const QByteArray& whole : {sequential, progressive}) {
    for (const int cut : {5, 8, 20}) {
      const QString file = write(QStringLiteral("cut.jpg"), whole.chopped(cut));
      EXPECT_FALSE(Imaging::ReadAsStored(file)) << cut;
      EXPECT_FALSE(Imaging::readScaled(file, 64)) << cut;
    }
  }
  const QByteArray scans = componentScans(picture, false);
  const auto whole = Imaging::ReadAsStored(write(QStringLiteral("scans.jpg"), scans));
  ASSERT_TRUE(whole) << whole.error().toStdString();
  const auto unended = Imaging::ReadAsStored(write(QStringLiteral("unended.jpg"), scans.chopped(2)));
  ASSERT_TRUE(unended) << unended.error().toStdString();
  EXPECT_EQ(*unended, *whole);
  const qsizetype second = markerAt(scans, '\xDA', markerAt(scans, '\xDA') + 2);
  const qsizetype third = markerAt(scans, '\xDA', second + 2);
  for (const qsizetype end : {second, third}) {
    const QString file = write(QStringLiteral("first.jpg"), scans.left(end));
    EXPECT_FALSE(Imaging::ReadAsStored(file)) << end;
    EXPECT_FALSE(Imaging::readScaled(file, 64)) << end;
  }
}

// A header claiming 10000 x 10000 pixels in a file of a few hundred bytes is
// measured, but its picture is never decoded nor its memory asked for.
TEST_F(JpegReadingTest, AHugePictureClaimedInAFewBytesIsRefusedBeforeItsMemory) {
  const QByteArray sequential = libjpegBytes(16, 16, JCS_RGB, rgbSamples(dotted(16, 16)), [](jpeg_compress_struct&) {});
  const QByteArray progressive = libjpegBytes(16, 16, JCS_RGB, rgbSamples(dotted(16, 16)),
                                              [](jpeg_compress_struct& info) { jpeg_simple_progression(&info); });
  for (const QByteArray& small : {sequential, progressive}) {
    const QString file = write(QStringLiteral("claims.jpg"), claiming(small, 10000, 10000));
    ASSERT_LT(QFile(file).size(), 1024);
    const auto facts = Imaging::FileInfo(file);
    ASSERT_TRUE(facts) << facts.error().toStdString();
    EXPECT_EQ(facts->width, 10000);
    expectRefused(file, QStringLiteral("damaged or incomplete"));
  }
}

// A picture of a few pixels is not shrunk by the codec's scaling, which
// would change every pixel while keeping the size.
TEST_F(JpegReadingTest, TinyPicturesAreDecodedAtFullSize) {
  for (const QSize size : {QSize(7, 7), QSize(7, 5), QSize(3, 6)}) {
    SCOPED_TRACE(testing::Message() << size.width() << "x" << size.height());
    const QByteArray jpeg = libjpegBytes(size.width(), size.height(), JCS_RGB, rgbSamples(dotted(size.width(), size.height())),
                                         [](jpeg_compress_struct& info) { jpeg_set_quality(&info, 90, TRUE); });
    const QString file = write(QStringLiteral("tiny.jpg"), jpeg);
    const QImage expected = libjpegDecoded(jpeg);
    EXPECT_EQ(*Imaging::ReadAsStored(file), expected);
    EXPECT_EQ(*Imaging::readScaled(file, 7), expected);
  }
}

// libjpeg here reads 8 bits a sample; a picture of 12 is refused as such,
// not as damaged.
TEST_F(JpegReadingTest, ATwelveBitPictureIsRefusedForItsPrecision) {
  QByteArray jpeg = libjpegBytes(16, 16, JCS_RGB, rgbSamples(dotted(16, 16)), [](jpeg_compress_struct&) {});
  const qsizetype frame = markerAt(jpeg, '\xC0');
  ASSERT_GT(frame, 0);
  jpeg[frame + 1] = '\xC1';  // extended sequential, 12 bits
  jpeg[frame + 4] = 12;
  const QString file = write(QStringLiteral("deep.jpg"), jpeg);
  const auto facts = Imaging::FileInfo(file);
  ASSERT_FALSE(facts);
  EXPECT_TRUE(facts.error().contains(QStringLiteral("uses 12 bits a sample"))) << facts.error().toStdString();
  const auto read = Imaging::ReadAsStored(file);
  ASSERT_FALSE(read);
  EXPECT_TRUE(read.error().contains(QStringLiteral("uses 12 bits a sample"))) << read.error().toStdString();
}

// The colour depth shown is eight bits for each component the file stores:
// grey 8, colour 24 and four inks 32, as a CMYK TIFF of them shows.
TEST_F(JpegReadingTest, TheDepthCountsEveryComponent) {
  const QByteArray rgb = rgbSamples(dotted(16, 8));
  QByteArray inks;
  for (qsizetype i = 0; i < rgb.size(); i += 3) inks += rgb.mid(i, 3) + '\x40';
  const struct { const char* name; QByteArray jpeg; int bits; } cases[] = {
      {"grey.jpg", libjpegBytes(16, 8, JCS_RGB, rgb, [](jpeg_compress_struct& info) { jpeg_set_colorspace(&info, JCS_GRAYSCALE); }), 8},
      {"colour.jpg", libjpegBytes(16, 8, JCS_RGB, rgb, [](jpeg_compress_struct&) {}), 24},
      {"inks.jpg", libjpegBytes(16, 8, JCS_CMYK, inks, [](jpeg_compress_struct&) {}), 32},
      {"ycck.jpg", libjpegBytes(16, 8, JCS_CMYK, inks, [](jpeg_compress_struct& info) { jpeg_set_colorspace(&info, JCS_YCCK); }), 32}};
  for (const auto& c : cases) {
    const auto facts = Imaging::FileInfo(write(QLatin1String(c.name), c.jpeg));
    ASSERT_TRUE(facts) << facts.error().toStdString();
    EXPECT_EQ(facts->bitsPerPixel, c.bits) << c.name;
  }
}

}  // namespace
}  // namespace lumaset
