// Picture files as they come from outside: named for another format, changed
// while they are read, or small files that decode to huge pictures.

#include "components/imaging/imaging.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QImageWriter>

#include <cstring>
#include <memory>
#include <thread>

#include "components/imaging/allocation_watch.h"
#include "components/imaging/decode_memory.h"
#include "support/test_support.h"

namespace lumaset {
namespace {

QByteArray le(quint32 value, int bytes) {
  QByteArray out;
  for (int i = 0; i < bytes; ++i) out.append(char((value >> (8 * i)) & 0xFF));
  return out;
}

QByteArray be32(quint32 value) {
  QByteArray out;
  for (int i = 3; i >= 0; --i) out.append(char((value >> (8 * i)) & 0xFF));
  return out;
}

// A zlib stream of `raw`, as PNG and TIFF's deflate keep it.
QByteArray deflated(const QByteArray& raw) { return qCompress(raw, 9).mid(4); }

QByteArray pngChunk(const char* type, const QByteArray& data) {
  const QByteArray body = QByteArray(type) + data;
  quint32 crc = 0xFFFFFFFF;
  for (const char c : body) {
    crc ^= static_cast<quint8>(c);
    for (int k = 0; k < 8; ++k) crc = (crc & 1) != 0 ? 0xEDB88320 ^ (crc >> 1) : crc >> 1;
  }
  return be32(static_cast<quint32>(data.size())) + body + be32(crc ^ 0xFFFFFFFF);
}

// A grey PNG of `depth` bits a pixel, all black.
QByteArray greyPng(int side, int depth) {
  const QByteArray header = be32(side) + be32(side) + char(depth) + QByteArray(4, '\0');
  const QByteArray raw(qsizetype{side} * (1 + (qsizetype{side} * depth + 7) / 8), '\0');
  return "\x89PNG\r\n\x1A\n" + pngChunk("IHDR", header) + pngChunk("IDAT", deflated(raw)) + pngChunk("IEND", {});
}

// A lossless WebP of one colour: every code has a single symbol, so the
// pixels take no bits at all, whatever the size; `padding` bytes follow.
QByteArray flatWebp(int side, int padding) {
  QByteArray data;
  quint64 pending = 0;
  int count = 0;
  const auto put = [&](quint32 value, int bits) {
    pending |= quint64{value} << count;
    for (count += bits; count >= 8; count -= 8, pending >>= 8) data.append(char(pending & 0xFF));
  };
  put(0x2F, 8), put(side - 1, 14), put(side - 1, 14), put(0, 4);
  put(0, 3);  // no transform, no colour cache, one group of codes
  for (const int value : {160, 30, 90, 255}) put(1, 1), put(0, 1), put(1, 1), put(value, 8);  // green, red, blue, alpha
  put(1, 1), put(0, 3), put(0, 7);  // distance
  data.append(QByteArray(padding, '\0'));
  return "RIFF" + le(12 + data.size(), 4) + "WEBPVP8L" + le(data.size(), 4) + data;
}

// A float RGBA TIFF whose deflate strips all point at one chunk of 16 rows.
QByteArray sharedStripTiff(int side) {
  const int strips = side / 16;
  const QByteArray chunk = deflated(QByteArray(qsizetype{side} * 16 * 16, '\0'));
  const quint32 arrays = 8 + 2 + 12 * 12 + 4;
  const quint32 offsets = arrays + 16, counts = offsets + 4 * strips, data = counts + 4 * strips;
  const auto entry = [](quint32 tag, quint32 type, quint32 count, quint32 value) {
    return le(tag, 2) + le(type, 2) + le(count, 4) + le(value, 4);
  };
  QByteArray out = "II" + le(42, 2) + le(8, 4) + le(12, 2);
  out += entry(256, 4, 1, side) + entry(257, 4, 1, side) + entry(258, 3, 4, arrays) + entry(259, 3, 1, 8);
  out += entry(262, 3, 1, 2) + entry(273, 4, strips, offsets) + entry(277, 3, 1, 4) + entry(278, 4, 1, 16);
  out += entry(279, 4, strips, counts) + entry(284, 3, 1, 1) + entry(338, 3, 1, 2) + entry(339, 3, 4, arrays + 8);
  out += le(0, 4) + le(32, 2).repeated(4) + le(3, 2).repeated(4);
  for (int i = 0; i < strips; ++i) out += le(data, 4);
  for (int i = 0; i < strips; ++i) out += le(chunk.size(), 4);
  return out + chunk;
}

// An 8-bit run-length bitmap whose stream ends at once.
QByteArray emptyRunLengthBmp(int side) {
  const QByteArray palette = QByteArray(1024, '\0');
  QByteArray out = "BM" + le(14 + 40 + 1024 + 2, 4) + le(0, 4) + le(14 + 40 + 1024, 4);
  out += le(40, 4) + le(side, 4) + le(side, 4) + le(1, 2) + le(8, 2) + le(1, 4) + le(2, 4) + le(2835, 4).repeated(2);
  return out + le(256, 4) + le(0, 4) + palette + QByteArray("\0\x01", 2);
}

// A GIF of one pixel on a screen of `side` x `side`, after a comment of
// `comment` bytes.
QByteArray smallFrameGif(int side, int comment = 0) {
  QByteArray out = "GIF89a" + le(side, 2) + le(side, 2) + QByteArray::fromHex("800000000000ffffff");
  for (; comment > 0; comment -= 255) out += QByteArray::fromHex("21fe") + char(255) + QByteArray(255, 'c') + '\0';
  return out + QByteArray::fromHex("2c00000000010001000002024401003b");
}

class PictureFilesTest : public ::testing::Test {
 protected:
  QString write(const QString& name, const QByteArray& bytes) {
    const QString file = QDir(folder_).filePath(name);
    EXPECT_TRUE(test::WriteText(file, bytes));
    return file;
  }
  QString folder_ = test::freshFolder(QStringLiteral("picture-files"));
};

// An SVG picture names other files, which its reader opens: a FIFO blocks
// it for good. Whatever its name, such a file is no picture here.
TEST_F(PictureFilesTest, OnlyRasterReadersSeeAFileWhateverItsName) {
  const QString fifo = QDir(folder_).filePath(QStringLiteral("pipe"));
  ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
  const QString photo = QDir(folder_).filePath(QStringLiteral("photo.png"));
  ASSERT_TRUE(test::Quarters(64, 48).save(photo));
  const auto svg = [](const QString& target) {
    return QStringLiteral("<svg xmlns=\"http://www.w3.org/2000/svg\" xmlns:xlink=\"http://www.w3.org/1999/xlink\" "
                          "width=\"64\" height=\"48\"><image width=\"64\" height=\"48\" xlink:href=\"%1\"/></svg>")
        .arg(target)
        .toUtf8();
  };
  const QString files[] = {write(QStringLiteral("holiday.jpg"), svg(fifo)), write(QStringLiteral("beach.png"), svg(photo)),
                           write(QStringLiteral("notes.tif"), svg(photo))};
  const int wrong = test::RunInChild([&] {
    int count = 0;
    for (const QString& file : files) {
      count += AcceptedAsPicture(file) ? 1 : 0;
      count += Imaging::FileInfo(file).ok() ? 1 : 0;
      count += Imaging::readScaled(file, 32).ok() ? 1 : 0;
      count += Imaging().LoadFile(file).ok() ? 1 : 0;
    }
    return count;
  }, 30);
  EXPECT_EQ(wrong, 0) << "-1: the child hung on the FIFO";
}

// While a decode waits for memory, another program cuts the file short: the
// decode works from its own copy, so the file is never mapped and the
// picture comes whole.
TEST_F(PictureFilesTest, AFileCutShortWhileItIsDecodedGivesThePictureItWas) {
  QByteArray webp;
  QBuffer buffer(&webp);
  buffer.open(QIODevice::WriteOnly);
  ASSERT_TRUE(QImageWriter(&buffer, "webp").write(test::Quarters(64, 48)));
  const QString files[] = {write(QStringLiteral("a.webp"), webp), write(QStringLiteral("a.gif"), smallFrameGif(1)),
                           QDir(folder_).filePath(QStringLiteral("a.png")), QDir(folder_).filePath(QStringLiteral("a.tif")),
                           QDir(folder_).filePath(QStringLiteral("a.bmp"))};
  for (int i = 2; i < 5; ++i) ASSERT_TRUE(test::Quarters(64, 48).save(files[i]));
  auto& memory = imaging_detail::DecodeMemory::Shared();
  for (const QString& file : files) {
    SCOPED_TRACE(file.toStdString());
    const QSize size = QImage(file).size();
    auto all = std::make_unique<imaging_detail::DecodeMemory::Share>(memory, imaging_detail::DecodeMemory::kTotalBytes);
    Result<QImage> decoded = Error{QStringLiteral("not decoded")};
    std::thread decode([&] { decoded = Imaging::readScaled(file, 1000); });
    ASSERT_TRUE(test::RunUntil([&] { return memory.waiting() == 1; })) << "the decode never asked for memory";
    EXPECT_FALSE(test::ReadBytes(QStringLiteral("/proc/self/maps")).contains(QFile::encodeName(file)));
    ASSERT_EQ(::truncate(QFile::encodeName(file).constData(), 10), 0);
    all.reset();
    decode.join();
    ASSERT_TRUE(decoded) << decoded.error().toStdString();
    EXPECT_EQ(decoded->size(), size);
  }
}

// Small valid files whose pictures cost far more than their bytes: each is
// refused before its memory is asked for, naming its size where it is too
// large. A black-and-white page the size of a real scan still reads small.
TEST_F(PictureFilesTest, SmallFilesOfHugePicturesAreRefusedAndScansReadSmall) {
  struct Case { QString file; const char* refusal; } const refused[] = {
      {write(QStringLiteral("flat.webp"), flatWebp(16383, 4200)), "16383 x 16383"},
      {write(QStringLiteral("float.tif"), sharedStripTiff(8000)), "damaged"},
      {write(QStringLiteral("two-bit.png"), greyPng(12000, 2)), "12000 x 12000"},
      {write(QStringLiteral("screen.gif"), smallFrameGif(8190, 1024)), "damaged"},
      {write(QStringLiteral("ends.bmp"), emptyRunLengthBmp(8192)), "damaged"}};
  for (const Case& c : refused) {
    SCOPED_TRACE(c.file.toStdString());
    const std::size_t largest = test::largestAllocationDuring([&] {
      const auto small = Imaging::readScaled(c.file, 128);
      ASSERT_FALSE(small);
      EXPECT_TRUE(small.error().contains(QLatin1String(c.refusal))) << small.error().toStdString();
      EXPECT_FALSE(Imaging().LoadFile(c.file));
    });
    EXPECT_LT(largest, std::size_t{32} << 20);
  }

  QImage page(8000, 8000, QImage::Format_Mono);  // black on the left, white on the right
  page.setColorTable({qRgb(255, 255, 255), qRgb(0, 0, 0)});
  page.fill(0);
  for (int y = 0; y < page.height(); ++y) std::memset(page.scanLine(y), 0xFF, 500);
  for (const char* name : {"page.png", "page.tif"}) {
    const QString file = QDir(folder_).filePath(QLatin1String(name));
    ASSERT_TRUE(page.save(file));
    EXPECT_EQ(Imaging::FileInfo(file)->bitsPerPixel, 1);
    const std::size_t largest = test::largestAllocationDuring([&] {
      const auto small = Imaging::readScaled(file, 100);
      ASSERT_TRUE(small) << small.error().toStdString();
      EXPECT_EQ(small->size(), QSize(100, 100));
      EXPECT_EQ(test::CornerColours(*small), "?W?W") << name;
    });
    EXPECT_LT(largest, std::size_t{32} << 20) << name;
  }
}

}  // namespace
}  // namespace lumaset
