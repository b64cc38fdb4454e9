// Thumbnails of uncompressed TIFF and BMP pictures are shrunk as their rows
// are read: they hold a band of rows and the small picture, never the whole,
// so that big photos get one; a file cut short meanwhile is damaged. Tiles
// of any size and OS/2 bitmap headers of any length are read.

#include <gtest/gtest.h>

#include <tiffio.h>

#include <QDir>
#include <QFile>

#include <unistd.h>

#include <algorithm>
#include <tuple>
#include <cstring>
#include <vector>

#include "components/imaging/allocation_watch.h"
#include "components/imaging/decode_memory.h"
#include "components/imaging/imaging.h"
#include "components/imaging/tiff/tiff_memory.h"
#include "support/hostile_pictures.h"
#include "support/test_support.h"

namespace lumaset::test {
namespace {

using hostile::le;
using imaging_detail::DecodeMemory;

// Colours (or greys) that change smoothly, so that any fair shrink of the
// picture agrees with another to a level or two.
QImage Gradient(int width, int height, bool grey = false) {
  QImage picture(width, height, QImage::Format_RGB32);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      const int red = 255 * x / (width - 1);
      picture.setPixel(x, y, grey ? qRgb(red, red, red) : qRgb(red, 255 * y / (height - 1), 255 * (x + y) / (width + height - 2)));
    }
  return picture;
}

struct TiffSpec {
  const char* name;
  int bits = 8;  // 8 or 16
  bool grey = false;
  uint32_t rowsPerStrip = 8;
  uint32_t tileWidth = 0, tileLength = 0;  // tiled when not 0
  uint16_t planar = PLANARCONFIG_CONTIG;
  uint16_t compression = COMPRESSION_NONE;
};

// `picture` written by libtiff as `spec` says.
QByteArray TiffOf(const QImage& picture, const TiffSpec& spec) {
  imaging_detail::TiffMemoryFile file;
  QString message;
  {
    const imaging_detail::TiffHandle tiff = imaging_detail::openTiff(file, "wl", message);
    TIFF* t = tiff.get();
    const uint16_t samples = spec.grey ? 1 : 3;
    TIFFSetField(t, TIFFTAG_IMAGEWIDTH, uint32_t(picture.width()));
    TIFFSetField(t, TIFFTAG_IMAGELENGTH, uint32_t(picture.height()));
    TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, uint16_t(spec.bits));
    TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, samples);
    TIFFSetField(t, TIFFTAG_PHOTOMETRIC, spec.grey ? PHOTOMETRIC_MINISBLACK : PHOTOMETRIC_RGB);
    TIFFSetField(t, TIFFTAG_PLANARCONFIG, spec.planar);
    TIFFSetField(t, TIFFTAG_COMPRESSION, spec.compression);
    const bool tiled = spec.tileWidth > 0;
    if (tiled) TIFFSetField(t, TIFFTAG_TILEWIDTH, spec.tileWidth), TIFFSetField(t, TIFFTAG_TILELENGTH, spec.tileLength);
    else TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, spec.rowsPerStrip);
    const bool apart = spec.planar == PLANARCONFIG_SEPARATE;
    const int bytes = spec.bits / 8;
    // Sample `s` of pixel (x, y), 8 bits widened to 16 by repeating them.
    const auto sample = [&](int x, int y, int s, unsigned char* at) {
      const QRgb pixel = x < picture.width() && y < picture.height() ? picture.pixel(x, y) : 0;
      const int value = s == 0 ? qRed(pixel) : s == 1 ? qGreen(pixel) : qBlue(pixel);
      const uint16_t wide = uint16_t(value * 257);
      if (bytes == 2) std::memcpy(at, &wide, 2);
      else *at = uchar(value);
    };
    const uint32_t across = tiled ? spec.tileWidth : uint32_t(picture.width());
    const uint32_t down = tiled ? spec.tileLength : 1;
    const int perPixel = apart ? 1 : samples;
    std::vector<unsigned char> block(size_t{across} * down * perPixel * bytes);
    for (int plane = 0; plane < (apart ? samples : 1); ++plane)
      for (uint32_t y0 = 0; y0 < uint32_t(picture.height()); y0 += down)
        for (uint32_t x0 = 0; x0 < uint32_t(picture.width()); x0 += across) {
          for (uint32_t y = 0; y < down; ++y)
            for (uint32_t x = 0; x < across; ++x)
              for (int s = 0; s < perPixel; ++s)
                sample(int(x0 + x), int(y0 + y), apart ? plane : s, &block[((y * across + x) * perPixel + s) * bytes]);
          if (tiled) TIFFWriteTile(t, block.data(), x0, y0, 0, uint16_t(plane));
          else TIFFWriteScanline(t, block.data(), y0, uint16_t(plane));
        }
    TIFFWriteDirectory(t);
  }
  EXPECT_EQ(message, QString()) << spec.name;
  return std::move(file.out);
}

// `picture` as a 24-bit bitmap, stored from the bottom row up or from the top down.
QByteArray BmpOf(const QImage& picture, bool topDown) {
  const int width = picture.width(), height = picture.height();
  const qsizetype rowBytes = (qsizetype{width} * 3 + 3) / 4 * 4;
  QByteArray rows(rowBytes * height, '\0');
  for (int r = 0; r < height; ++r) {
    const int y = topDown ? r : height - 1 - r;
    for (int x = 0; x < width; ++x) {
      const QRgb pixel = picture.pixel(x, y);
      char* at = rows.data() + r * rowBytes + 3 * x;
      at[0] = char(qBlue(pixel)), at[1] = char(qGreen(pixel)), at[2] = char(qRed(pixel));
    }
  }
  const auto storedHeight = static_cast<quint32>(topDown ? -height : height);
  return "BM" + le(quint32(54 + rows.size()), 4) + le(0, 4) + le(54, 4) + le(40, 4) + le(quint32(width), 4) +
         le(storedHeight, 4) + le(1, 2) + le(24, 2) + le(0, 4) + le(quint32(rows.size()), 4) +
         le(2835, 4).repeated(2) + le(0, 4).repeated(2) + rows;
}

// The largest difference of any channel between two pictures of one size.
int LargestDifference(const QImage& a, const QImage& b) {
  int most = 0;
  for (int y = 0; y < a.height(); ++y)
    for (int x = 0; x < a.width(); ++x) {
      const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
      most = std::max({most, qAbs(qRed(p) - qRed(q)), qAbs(qGreen(p) - qGreen(q)), qAbs(qBlue(p) - qBlue(q))});
    }
  return most;
}

class BandReadingTest : public ::testing::Test {
 protected:
  QString write(const QString& name, const QByteArray& bytes) {
    const QString path = QDir(folder_).filePath(name);
    EXPECT_TRUE(WriteText(path, bytes));
    return path;
  }
  QString folder_ = freshFolder(QStringLiteral("band-reading"));
};

// Each layout libtiff hands out (strips of any height, tiles of any size,
// 48 wide or wider than the picture among them, which Qt's reader calls
// damaged, planes apart, compressed) and a bitmap either way up read as the
// picture they hold, and shrink as it does.
TEST_F(BandReadingTest, EveryLayoutReadsWholeAndShrunk) {
  const TiffSpec specs[] = {{"strips of 8"},
                            {"one strip", 8, false, 200},
                            {"16 bits", 16},
                            {"grey", 8, true},
                            {"16-bit grey", 16, true, 3},
                            {"planes apart", 8, false, 5, 0, 0, PLANARCONFIG_SEPARATE},
                            {"tiles of 48", 8, false, 0, 48, 48},
                            {"grey tiles of 16 x 32", 8, true, 0, 16, 32},
                            {"tiles wider than the picture", 16, false, 0, 512, 256},
                            {"tiles of planes apart", 8, false, 0, 16, 32, PLANARCONFIG_SEPARATE},
                            {"LZW", 8, false, 7, 0, 0, PLANARCONFIG_CONTIG, COMPRESSION_LZW}};
  struct File { const char* name; QImage picture; QByteArray bytes; };
  std::vector<File> files;
  for (const TiffSpec& spec : specs) {
    const QImage picture = Gradient(300, 200, spec.grey);
    files.push_back({spec.name, picture, TiffOf(picture, spec)});
  }
  for (const bool topDown : {false, true}) files.push_back({"bitmap", Gradient(300, 200), BmpOf(Gradient(300, 200), topDown)});
  for (const auto& [name, picture, bytes] : files) {
    SCOPED_TRACE(name);
    const QString file = write(QStringLiteral("layout"), bytes);
    Imaging read;
    const Status loaded = read.LoadFile(file);
    ASSERT_TRUE(loaded) << loaded.error().toStdString();
    EXPECT_EQ(read.GetPicture(), picture);
    const Result<QImage> small = Imaging::readScaled(file, 64);
    ASSERT_TRUE(small) << small.error().toStdString();
    ASSERT_EQ(small->size(), QSize(64, 43));
    EXPECT_LE(LargestDifference(*small, picture.scaled(64, 43, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)), 3);
  }
}

// Black and white steps down by counting bits, a band at a time: each
// 16-pixel block of the page below is black in a fifth more of its rows
// than the block before it, and its thumbnail pixel as grey as that share.
TEST_F(BandReadingTest, BlackAndWhiteShrinksByItsShareOfBlack) {
  QImage page(1600, 800, QImage::Format_Mono);
  page.setColorTable({qRgb(255, 255, 255), qRgb(0, 0, 0)});
  const auto blackRows = [](int block, int row) { return (block + row) % 5 * 4; };  // of 16
  for (int y = 0; y < 800; ++y)
    for (int x = 0; x < 1600; ++x) page.setPixel(x, y, y % 16 < blackRows(x / 16, y / 16) ? 1 : 0);
  for (const char* name : {"page.tif", "page.bmp"}) {
    const QString file = QDir(folder_).filePath(QLatin1String(name));
    ASSERT_TRUE(page.save(file));
    const Result<QImage> small = Imaging::readScaled(file, 100);
    ASSERT_TRUE(small) << small.error().toStdString();
    for (int y = 0; y < 50; ++y)
      for (int x = 0; x < 100; ++x) ASSERT_NEAR(qGray(small->pixel(x, y)), 255 - 255 * blackRows(x, y) / 16, 1) << x << "," << y;
  }
}

// A thumbnail holds a band of rows and the small picture, and asks the
// decode memory for that (not less): far less than the picture.
TEST_F(BandReadingTest, AThumbnailHoldsABandNotThePicture) {
  const QImage picture = Gradient(3000, 2000);
  const qint64 pictureBytes = qint64{3000} * 2000 * 4;
  const QString files[] = {write(QStringLiteral("photo.tif"), TiffOf(picture, {"photo"})),
                           write(QStringLiteral("photo.bmp"), BmpOf(picture, false))};
  for (const QString& file : files) {
    SCOPED_TRACE(file.toStdString());
    qint64 asked = 0;
    const DecodeStop::Scope watch([&asked] {
      asked = std::max(asked, DecodeMemory::Shared().held());
      return false;
    });
    Result<QImage> small = Error{QStringLiteral("not read")};
    const std::size_t largest = largestAllocationDuring([&] { small = Imaging::readScaled(file, 128); });
    ASSERT_TRUE(small) << small.error().toStdString();
    EXPECT_LE(LargestDifference(*small, picture.scaled(small->size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation)), 3);
    EXPECT_LT(asked, pictureBytes / 2);
    EXPECT_GT(asked, 0);
#if defined(__SANITIZE_ADDRESS__)
    EXPECT_GE(asked, mostHeldBytes) << "it held more than it asked for";
    EXPECT_LT(mostHeldBytes, pictureBytes / 3);
    EXPECT_LT(largest, std::size_t(pictureBytes / 4));
#else
    (void)largest;
#endif
  }
}

// A file cut short while its bands are read, in a thumbnail or the whole
// picture, is a damaged picture: refused, never a fault. A read no longer
// wanted stops between bands as a cancelled one, which no cache entry keeps.
TEST_F(BandReadingTest, AFileCutShortWhileItIsReadIsDamagedAndAStopIsNoDamage) {
  const QImage picture = Gradient(2000, 1000);  // a bitmap of more rows than are read at once
  const QByteArray tiled = TiffOf(picture, {"tiles", 8, false, 0, 64, 64});
  const QByteArray files[] = {TiffOf(picture, {"strips"}), tiled, BmpOf(picture, false), BmpOf(picture, true)};
  for (const QByteArray& bytes : files) {
    for (const int longSide : {100, 0}) {
      // Qt's reader reads a whole stripped TIFF: it is never asked between reads.
      if (!bytes.startsWith("BM") && bytes != tiled && longSide == 0) continue;
      for (const bool stop : {false, true}) {
        const QString file = write(QStringLiteral("cut"), bytes);
        int asked = 0;
        const DecodeStop::Scope cut([&] {
          if (++asked == 2 && !stop) {
            EXPECT_EQ(::truncate(QFile::encodeName(file).constData(), bytes.size() / 2), 0);
          }
          return stop && asked >= 2;
        });
        const Result<QImage> read = longSide > 0 ? Imaging::readScaled(file, longSide) : Imaging::ReadAsStored(file);
        ASSERT_GE(asked, 2) << "never asked between reads";
        ASSERT_FALSE(read) << longSide;
        EXPECT_EQ(read.cancelled(), stop);
        EXPECT_TRUE(stop || read.error().contains(QLatin1String("damaged or incomplete"))) << read.error().toStdString();
      }
    }
  }
}

// An OS/2 bitmap's header holds 16 to 64 bytes, the fields it leaves out
// taken as 0; its palette has four bytes a colour.
TEST_F(BandReadingTest, Os2BitmapHeadersOfAnyLengthRead) {
  const auto colour = [](int i) { return qRgb(i, 255 - i, (i * 5) % 256); };
  QByteArray palette, rows(64 * 128, '\0');  // 64 rows of 127 pixels, padded to 128 bytes
  for (int i = 0; i < 256; ++i) palette += le(colour(i) & 0xFFFFFF, 4);  // blue, green, red, 0
  for (int r = 0; r < 64; ++r)
    for (int x = 0; x < 127; ++x) rows[r * 128 + x] = char(x + 2 * r);  // from the bottom row up
  for (const quint32 size : {16u, 24u, 64u}) {
    const QByteArray header = le(size, 4) + le(127, 4) + le(64, 4) + le(1, 2) + le(8, 2) + QByteArray(int(size) - 16, '\0');
    const quint32 pixelsAt = 14 + size + 1024;
    const QString path =
        write(QStringLiteral("os2.bmp"), "BM" + le(pixelsAt + 8192, 4) + le(0, 4) + le(pixelsAt, 4) + header + palette + rows);
    const Result<FileFacts> facts = Imaging::FileInfo(path);
    ASSERT_TRUE(facts) << facts.error().toStdString();
    EXPECT_EQ(std::tuple(facts->width, facts->height, facts->bitsPerPixel, facts->paletteSize), std::tuple(127, 64, 8, 256));
    const Result<QImage> read = Imaging::ReadAsStored(path);
    ASSERT_TRUE(read) << size << ": " << read.error().toStdString();
    for (int y = 0; y < 64; ++y)
      for (int x = 0; x < 127; ++x) ASSERT_EQ(read->pixel(x, y), colour((x + 2 * (63 - y)) % 256)) << size;
    EXPECT_TRUE(Imaging::readScaled(path, 32)) << size;
  }
}

}  // namespace
}  // namespace lumaset::test
