// Picture files as they come from outside: named for another format, changed
// while they are read, or small files that decode to huge pictures.

#include "components/imaging/imaging.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImageWriter>

#include <algorithm>
#include <cstring>
#include <memory>
#include <thread>

#include "components/imaging/allocation_watch.h"
#include "components/imaging/decode_memory.h"
#include "support/hostile_pictures.h"
#include "support/test_support.h"

namespace lumaset {
namespace {

using namespace test::hostile;

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
  const QString files[] = {write(QStringLiteral("holiday.jpg"), svg(fifo)),
                           write(QStringLiteral("beach.png"), svg(photo)), write(QStringLiteral("notes.tif"), svg(photo))};
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

// A file's bytes are part of the memory its decode asks for where it is
// held whole, and it is read only once that is granted: another program
// cutting it short while the decode waits leaves a damaged picture,
// refused, never a fault (the file is never mapped), and the decode held no
// more than it asked for.
TEST_F(PictureFilesTest, AFileIsReadOnlyOnceItsMemoryIsGranted) {
  QStringList files{write(QStringLiteral("a.gif"), smallFrameGif(1))};
  for (const char* name : {"a.webp", "a.png", "a.tif", "a.bmp"}) {
    files << QDir(folder_).filePath(QLatin1String(name));
    ASSERT_TRUE(test::Quarters(64, 48).save(files.last()));
  }
  auto& memory = imaging_detail::DecodeMemory::Shared();
  for (const QString& file : files) {
    SCOPED_TRACE(file.toStdString());
    const qint64 fileBytes = QFileInfo(file).size();
    const auto asks = imaging_detail::decodeRequest(file, 1000, true);
    ASSERT_TRUE(asks) << asks.error().toStdString();
    // A PNG, a TIFF and a bitmap without run lengths are read as they decode.
    const bool streamed = !file.endsWith(QLatin1String(".gif")) && !file.endsWith(QLatin1String(".webp"));
    EXPECT_GE(asks->decodeBytes, streamed ? 0 : fileBytes);
    auto all = std::make_unique<imaging_detail::DecodeMemory::Share>(memory, imaging_detail::DecodeMemory::kTotalBytes);
    Result<QImage> decoded = Error{QStringLiteral("not decoded")};
    std::thread decode([&] { decoded = Imaging::readScaled(file, 1000); });
    const bool asked = test::RunUntil([&] { return memory.waiting() == 1; });
    const bool mapped = test::ReadBytes(QStringLiteral("/proc/self/maps")).contains(QFile::encodeName(file));
    const int cut = ::truncate(QFile::encodeName(file).constData(), 10);
    all.reset();
    decode.join();  // before any assertion may end the test
    ASSERT_TRUE(asked) << "the decode never asked for memory";
    EXPECT_FALSE(mapped);
    ASSERT_EQ(cut, 0);
    ASSERT_FALSE(decoded) << "the file was read before its memory was granted";
    EXPECT_FALSE(decoded.cancelled());
  }
}

// A file that grows while its decode waits is read no further than was
// counted: the picture it was, nothing of what was added held.
TEST_F(PictureFilesTest, AFileThatGrowsWhileItWaitsIsReadOnlyAsFarAsCounted) {
  auto& memory = imaging_detail::DecodeMemory::Shared();
  for (const char* name : {"b.bmp", "b.png", "b.tif", "b.webp"}) {
    SCOPED_TRACE(name);
    const QString file = QDir(folder_).filePath(QLatin1String(name));
    ASSERT_TRUE(test::Quarters(64, 48).save(file));
    auto all = std::make_unique<imaging_detail::DecodeMemory::Share>(memory, imaging_detail::DecodeMemory::kTotalBytes);
    Result<QImage> decoded = Error{QStringLiteral("not decoded")};
    bool asked = false;
    int grown = -1;
    const std::size_t largest = test::largestAllocationDuring([&] {
      std::thread decode([&] { decoded = Imaging::readScaled(file, 1000); });
      asked = test::RunUntil([&] { return memory.waiting() == 1; });
      grown = ::truncate(QFile::encodeName(file).constData(), qint64{64} << 20);  // sparse, costs no disk
      all.reset();
      decode.join();
    });
    ASSERT_TRUE(asked) << "the decode never asked for memory";
    ASSERT_EQ(grown, 0);
    ASSERT_TRUE(decoded) << decoded.error().toStdString();
    EXPECT_EQ(decoded->size(), QSize(64, 48));
    EXPECT_LT(largest, std::size_t{16} << 20);
  }
}

// Small valid files whose pictures cost far more than their bytes: each is
// refused before its memory is asked for, naming its size where it is too
// large. A black-and-white page the size of a real scan still reads small.
TEST_F(PictureFilesTest, SmallFilesOfHugePicturesAreRefusedAndScansReadSmall) {
  struct Case { QString file; const char* refusal; } const refused[] = {
      {write(QStringLiteral("flat.webp"), flatWebp(16383, 4200)), "16383 x 16383"},
      {write(QStringLiteral("padded.webp"), flatWebp(9000, 20000)), "not enough memory for a picture of 9000 x 9000"},
      {write(QStringLiteral("float.tif"), sharedStripTiff(8000)), "8000 x 8000"},
      {write(QStringLiteral("two-bit.png"), greyPng(12000, 2)), "12000 x 12000"},
      {write(QStringLiteral("screen.gif"), smallFrameGif(8190, 1024)), "8190 x 8190"},
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

  // A text chunk that states 2 GB in a file of a few hundred bytes: neither
  // listing nor reading the file asks for them. Pixels cut short still read.
  QByteArray png;
  QBuffer buffer(&png);
  ASSERT_TRUE(buffer.open(QIODevice::WriteOnly) && test::Quarters(64, 48).save(&buffer, "PNG"));
  const QString cut = write(QStringLiteral("cut.png"), png.left(png.size() - 20));
  const QString lying = write(QStringLiteral("lying.png"), png.insert(33, QByteArray("\x7f\x00\x00\x18tEXtComment\0", 17)));
  const std::size_t listing = test::largestAllocationDuring([&] {
    EXPECT_FALSE(Imaging::FileInfo(lying));
    EXPECT_FALSE(Imaging::readScaled(lying, 128));
    EXPECT_TRUE(Imaging::FileInfo(cut));
  });
  EXPECT_LT(listing, std::size_t{32} << 20);

  QImage page(12001, 12000, QImage::Format_Mono);  // white, its top left quarter black
  page.setColorTable({qRgb(255, 255, 255), qRgb(0, 0, 0)});
  page.fill(0);
  for (int y = 0; y < page.height() / 2; ++y) std::memset(page.scanLine(y), 0xFF, 750);
  for (const char* name : {"page.png", "page.tif"}) {
    const QString file = QDir(folder_).filePath(QLatin1String(name));
    ASSERT_TRUE(page.save(file));
    EXPECT_EQ(Imaging::FileInfo(file)->bitsPerPixel, 1);
    const std::size_t largest = test::largestAllocationDuring([&] {
      const auto small = Imaging::readScaled(file, 100);
      ASSERT_TRUE(small) << small.error().toStdString();
      EXPECT_EQ(small->size(), QSize(100, 100));
      EXPECT_EQ(test::CornerColours(*small), "?WWW") << name;
    });
    EXPECT_LT(largest, std::size_t{32} << 20) << name;
  }
  QImage deep(6000, 6000, QImage::Format_Grayscale16);  // a 16-bit grey scan takes two bytes a pixel
  deep.fill(Qt::white);
  for (int y = 0; y < 3000; ++y) std::fill_n(reinterpret_cast<quint16*>(deep.scanLine(y)), 3000, quint16{0});
  QImageWriter tiff(QDir(folder_).filePath(QStringLiteral("deep.tif")));
  tiff.setCompression(1);
  ASSERT_TRUE(tiff.write(deep));
  const auto small = Imaging::readScaled(tiff.fileName(), 100);
  ASSERT_TRUE(small) << small.error().toStdString();
  EXPECT_EQ(test::CornerColours(*small), "?WWW");
}

}  // namespace
}  // namespace lumaset
