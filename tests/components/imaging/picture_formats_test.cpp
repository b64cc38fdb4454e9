// Pictures other than JPEG: PNG files of every kind read as Qt reads the ones
// it reads right (and right where it does not), the depth a file stores, and
// what each format asks of the decode memory before it is read.

#include "components/imaging/imaging.h"

#include <gtest/gtest.h>

#include <png.h>

#include <QColorSpace>
#include <QDir>
#include <QFileInfo>
#include <QImageReader>
#include <QImageWriter>

#include <cstdio>
#include <memory>
#include <thread>
#include <vector>

#include "components/imaging/decode_memory.h"
#include "support/hostile_pictures.h"
#include "support/test_support.h"

namespace lumaset {
namespace {

struct PngKind {
  const char* name;
  int colorType;
  int depth;
  bool transparentColour = false;
  bool gamma = false;
};

int channelsOf(int colorType) {
  static constexpr int kChannels[] = {1, 0, 3, 1, 2, 0, 4};
  return kChannels[colorType];
}

// A PNG of `kind` written by libpng, every sample a different value; the
// transparent colour, where there is one, is the first pixel's.
bool writePng(const QString& path, const PngKind& kind, int width, int height, bool interlaced) {
  FILE* out = std::fopen(QFile::encodeName(path).constData(), "wb");
  if (!out) return false;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    std::fclose(out);
    return false;
  }
  png_init_io(png, out);
  png_set_IHDR(png, info, width, height, kind.depth, kind.colorType,
               interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  const int most = (1 << kind.depth) - 1;
  if (kind.colorType == PNG_COLOR_TYPE_PALETTE) {
    std::vector<png_color> palette(1 << kind.depth);
    for (std::size_t i = 0; i < palette.size(); ++i) palette[i] = {png_byte(i * 37), png_byte(255 - i * 11), png_byte(i * 5)};
    png_set_PLTE(png, info, palette.data(), static_cast<int>(palette.size()));
    const png_byte alphas[] = {0, 128};
    if (kind.transparentColour) png_set_tRNS(png, info, alphas, 2, nullptr);
  } else if (kind.transparentColour) {
    png_color_16 colour{};  // the first pixel's samples are all 0
    png_set_tRNS(png, info, nullptr, 0, &colour);
  }
  if (kind.gamma) png_set_gAMA(png, info, 1 / 1.8);
  png_set_pHYs(png, info, 3780, 2835, PNG_RESOLUTION_METER);
  png_write_info(png, info);
  if (kind.depth == 16) png_set_swap(png);
  const int samples = channelsOf(kind.colorType);
  const int passes = png_set_interlace_handling(png);
  std::vector<png_uint_16> values(static_cast<std::size_t>(width) * samples);
  std::vector<png_byte> row(static_cast<std::size_t>(width) * samples * 2 + 1);
  for (int pass = 0; pass < passes; ++pass) {
    for (int y = 0; y < height; ++y) {
      for (int i = 0; i < width * samples; ++i) values[i] = static_cast<png_uint_16>((y * 131 + i * 7919) % (most + 1));
      if (y == 0) std::fill_n(values.begin(), samples, png_uint_16{0});
      std::fill(row.begin(), row.end(), png_byte{0});
      for (int i = 0; i < width * samples; ++i) {
        if (kind.depth == 16) {
          std::memcpy(&row[i * 2], &values[i], 2);
        } else {
          const int bit = i * kind.depth;
          row[bit / 8] |= static_cast<png_byte>(values[i] << (8 - kind.depth - bit % 8));
        }
      }
      png_write_row(png, row.data());
    }
  }
  png_write_end(png, info);
  png_destroy_write_struct(&png, &info);
  return std::fclose(out) == 0;
}

void expectSamePicture(const QImage& read, const QImage& expected) {
  ASSERT_EQ(read.format(), expected.format());
  ASSERT_EQ(read.size(), expected.size());
  EXPECT_EQ(read.colorTable(), expected.colorTable());
  EXPECT_EQ(read.colorSpace(), expected.colorSpace());
  EXPECT_EQ(read.dotsPerMeterX(), expected.dotsPerMeterX());
  EXPECT_EQ(read.dotsPerMeterY(), expected.dotsPerMeterY());
  for (int y = 0; y < expected.height(); ++y) {
    if (expected.depth() < 8) {  // the bits past a row's last pixel are no part of the picture
      for (int x = 0; x < expected.width(); ++x) ASSERT_EQ(read.pixelIndex(x, y), expected.pixelIndex(x, y));
      continue;
    }
    const auto rowBytes = static_cast<std::size_t>(expected.width() * expected.depth() / 8);
    ASSERT_EQ(std::memcmp(read.constScanLine(y), expected.constScanLine(y), rowBytes), 0) << "row " << y;
  }
}

class PictureFormatsTest : public ::testing::Test {
 protected:
  QString file(const QString& name) const { return QDir(folder_).filePath(name); }
  QString folder_ = test::freshFolder(QStringLiteral("picture-formats"));
};

// Qt reads a plain PNG of every kind right but the one below; an interlaced
// twin must give the very same picture.
TEST_F(PictureFormatsTest, PngsOfEveryKindReadAsQtReadsThem) {
  const PngKind kinds[] = {
      {"grey1", 0, 1},        {"grey1-clear", 0, 1, true}, {"grey2", 0, 2},          {"grey4-gamma", 0, 4, false, true},
      {"grey8", 0, 8},        {"grey8-clear", 0, 8, true}, {"grey16", 0, 16},        {"grey16-clear", 0, 16, true},
      {"rgb8", 2, 8},         {"rgb8-clear", 2, 8, true},  {"rgb16", 2, 16, false, true}, {"palette1", 3, 1},
      {"palette2-clear", 3, 2, true}, {"palette4", 3, 4},  {"palette8", 3, 8, true}, {"grey-alpha8", 4, 8},
      {"grey-alpha16", 4, 16}, {"rgba8", 6, 8},            {"rgba16", 6, 16, false, true}};
  for (const PngKind& kind : kinds) {
    // Some passes of an interlaced picture of a pixel or a few are empty.
    for (const QSize size : {QSize(37, 21), QSize(1, 1), QSize(3, 9)}) {
      SCOPED_TRACE(testing::Message() << kind.name << " " << size.width() << " x " << size.height());
      const QString plain = file(QStringLiteral("%1.png").arg(QLatin1String(kind.name)));
      const QString interlaced = file(QStringLiteral("%1-i.png").arg(QLatin1String(kind.name)));
      ASSERT_TRUE(writePng(plain, kind, size.width(), size.height(), false));
      ASSERT_TRUE(writePng(interlaced, kind, size.width(), size.height(), true));
      QImage expected;
      ASSERT_TRUE(QImageReader(plain, "png").read(&expected));
      const auto read = Imaging::ReadAsStored(interlaced);
      ASSERT_TRUE(read) << read.error().toStdString();
      expectSamePicture(*read, expected);
    }
    const auto small = Imaging::readScaled(file(QStringLiteral("%1-i.png").arg(QLatin1String(kind.name))), 2);
    ASSERT_TRUE(small) << small.error().toStdString();
    EXPECT_EQ(small->size(), QSize(1, 2));
  }
}

// An interlaced page, which Qt's reader would widen pass by pass for
// seconds without a way to stop it, is read by libpng, which stops when the
// read is no longer wanted.
TEST_F(PictureFormatsTest, AnInterlacedPageStopsWhenNoLongerWanted) {
  const QString path = file(QStringLiteral("page-i.png"));
  ASSERT_TRUE(writePng(path, {"grey1", 0, 1}, 600, 400, true));
  const DecodeStop::Scope stop([] { return true; });
  EXPECT_TRUE(Imaging::ReadAsStored(path).cancelled());
}

// Qt 6.4 gives a 16-bit colour picture with a transparent colour with its
// channels shifted; its samples come as the file holds them, and its
// transparent colour clear.
TEST_F(PictureFormatsTest, SixteenBitColourWithATransparentColourKeepsItsSamples) {
  const QString path = file(QStringLiteral("tbbn2c16.png"));
  ASSERT_TRUE(writePng(path, {"rgb16-clear", 2, 16, true}, 32, 32, false));
  const auto read = Imaging::ReadAsStored(path);
  ASSERT_TRUE(read) << read.error().toStdString();
  ASSERT_EQ(read->format(), QImage::Format_RGBA64);
  EXPECT_EQ(read->pixelColor(0, 0).alpha(), 0);
  for (const QPoint at : {QPoint(1, 0), QPoint(5, 9), QPoint(31, 31)}) {
    const int i = at.x() * 3;
    const QRgba64 pixel = reinterpret_cast<const QRgba64*>(read->constScanLine(at.y()))[at.x()];
    EXPECT_EQ(pixel.red(), (at.y() * 131 + i * 7919) % 65536);
    EXPECT_EQ(pixel.green(), (at.y() * 131 + (i + 1) * 7919) % 65536);
    EXPECT_EQ(pixel.blue(), (at.y() * 131 + (i + 2) * 7919) % 65536);
    EXPECT_EQ(pixel.alpha(), 65535);
  }
  Imaging imaging;
  ASSERT_TRUE(imaging.LoadFile(path));
  EXPECT_EQ(*imaging.PixelColor(0, 0), qRgb(255, 255, 255));  // laid on white
  EXPECT_NEAR(qRed(*imaging.PixelColor(5, 9)), ((9 * 131 + 15 * 7919) % 65536) / 257.0, 1);
}

// A file read with libpng that ends early, or holds another picture than
// its header says, is refused, never a fault.
TEST_F(PictureFormatsTest, DamagedPngsReadWithLibpngAreRefused) {
  const QString interlaced = file(QStringLiteral("page-i.png"));
  const QString deep = file(QStringLiteral("deep.png"));
  ASSERT_TRUE(writePng(interlaced, {"grey1", 0, 1}, 300, 200, true));
  ASSERT_TRUE(writePng(deep, {"rgb16-clear", 2, 16, true}, 300, 200, false));
  for (const QString& path : {interlaced, deep}) {
    SCOPED_TRACE(path.toStdString());
    const QByteArray whole = test::ReadBytes(path);
    QByteArray taller = whole;
    taller[22] = char(whole[22] + 1);  // a row more in the header than the pixels hold, its checksum wrong
    for (const QByteArray& bytes : {whole.left(whole.size() / 2), taller}) {
      ASSERT_TRUE(test::WriteText(path, bytes));
      const auto read = Imaging::ReadAsStored(path);
      ASSERT_FALSE(read);
      EXPECT_TRUE(read.error().contains(QLatin1String("damaged"))) << read.error().toStdString();
    }
  }
}

// Properties give the depth the file stores, not the one Qt widens it to.
TEST_F(PictureFormatsTest, ColourDepthIsTheFilesOwn) {
  const struct { PngKind kind; int bits; } cases[] = {
      {{"grey-alpha8", 4, 8}, 16}, {{"rgb8-clear", 2, 8, true}, 24}, {{"rgba8", 6, 8}, 32}, {{"rgb16", 2, 16}, 48},
      {{"grey16", 0, 16}, 16},     {{"palette4", 3, 4}, 4},           {{"grey1", 0, 1}, 1}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.kind.name);
    const QString path = file(QStringLiteral("%1.png").arg(QLatin1String(c.kind.name)));
    ASSERT_TRUE(writePng(path, c.kind, 9, 5, false));
    const auto facts = Imaging::FileInfo(path);
    ASSERT_TRUE(facts) << facts.error().toStdString();
    EXPECT_EQ(facts->bitsPerPixel, c.bits);
  }
}

qint64 heldBytes(QSize size, int bits) { return qint64{(size.width() * bits + 31) / 32} * 4 * size.height(); }

// What a full-size read asks for, format by format: the file's bytes while
// they are held, and the picture in the form its reader decodes it to; the
// full-size memory counts it widened to 32 bits a pixel besides.
TEST_F(PictureFormatsTest, EachFormatAsksForItsFileAndItsPictureAsDecoded) {
  const QSize size(301, 203);
  const QImage colour = test::Quarters(size.width(), size.height());
  const auto saved = [&](const QString& name, const QImage& image) {
    const QString path = file(name);
    EXPECT_TRUE(QImageWriter(path).write(image)) << name.toStdString();
    return path;
  };
  const QString interlacedPage = file(QStringLiteral("page-i.png"));
  ASSERT_TRUE(writePng(interlacedPage, {"grey1", 0, 1}, size.width(), size.height(), true));
  const QString deepPng = file(QStringLiteral("deep.png"));
  ASSERT_TRUE(writePng(deepPng, {"rgba16", 6, 16}, size.width(), size.height(), false));
  // Interlaced files go to libpng, which fills the picture in the form Qt's reader would give.
  const QString interlacedDeep = file(QStringLiteral("deep-i.png"));
  ASSERT_TRUE(writePng(interlacedDeep, {"rgba16", 6, 16}, size.width(), size.height(), true));
  const QString interlacedGrey = file(QStringLiteral("grey-i.png"));
  ASSERT_TRUE(writePng(interlacedGrey, {"grey8", 0, 8}, size.width(), size.height(), true));
  const QString interlacedColour = file(QStringLiteral("colour-i.png"));
  ASSERT_TRUE(writePng(interlacedColour, {"rgb8", 2, 8}, size.width(), size.height(), true));
  // libtiff decodes a strip beside the picture: Qt writes one strip of three
  // samples a pixel, which libtiff cuts into strips of at most 8 KB.
  const qint64 row = qint64{size.width()} * 3, strip = 8192 / row * row;
  // A bitmap is read from its file a megabyte of rows at a time: all the
  // rows of a picture this small, at the depth the file stores.
  const auto bitmap = [&](const QString& name, QImage::Format format) {
    const QString path = saved(name, colour.convertToFormat(format));
    return std::pair(path, heldBytes(size, Imaging::FileInfo(path)->bitsPerPixel));
  };
  const auto [colourBmp, colourRows] = bitmap(QStringLiteral("colour.bmp"), QImage::Format_RGB888);
  const auto [indexedBmp, indexedRows] = bitmap(QStringLiteral("indexed.bmp"), QImage::Format_Indexed8);
  const auto [pageBmp, pageRows] = bitmap(QStringLiteral("page.bmp"), QImage::Format_Mono);
  const struct { QString path; int bits; bool fileHeld; qint64 beside = 0; } cases[] = {
      {colourBmp, 32, false, colourRows},
      {indexedBmp, 8, false, indexedRows},
      {pageBmp, 1, false, pageRows},
      {saved(QStringLiteral("colour.tif"), colour), 32, false, strip},
      {saved(QStringLiteral("colour.webp"), colour), 32, true},
      // libpng reads a PNG from the file as it decodes it, through Qt or not, libtiff a TIFF
      {saved(QStringLiteral("colour.png"), colour), 32, false},
      {saved(QStringLiteral("grey.png"), colour.convertToFormat(QImage::Format_Grayscale8)), 8, false},
      {deepPng, 64, false},
      {interlacedPage, 1, false},
      {interlacedDeep, 64, false},
      {interlacedGrey, 8, false},
      {interlacedColour, 32, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path.toStdString());
    const auto asks = imaging_detail::decodeRequest(c.path, 0, true);
    ASSERT_TRUE(asks) << asks.error().toStdString();
    const qint64 decoded = (c.fileHeld ? QFileInfo(c.path).size() : 0) + heldBytes(size, c.bits) + c.beside;
    EXPECT_EQ(asks->decodeBytes, decoded);
    EXPECT_EQ(asks->fullSizeBytes, decoded + heldBytes(size, 32));
    const auto stored = imaging_detail::decodeRequest(c.path, 0, false);
    EXPECT_EQ(stored->fullSizeBytes, decoded);
    EXPECT_EQ(imaging_detail::decodeRequest(c.path, 100, true)->fullSizeBytes, 0) << "a thumbnail is no full-size read";
  }
  // libjpeg asks for its own decode memory; read whole, the picture comes widened.
  const auto jpeg = imaging_detail::decodeRequest(saved(QStringLiteral("photo.jpg"), colour), 0, true);
  ASSERT_TRUE(jpeg) << jpeg.error().toStdString();
  EXPECT_EQ(jpeg->fullSizeBytes, heldBytes(size, 32));
}

// A scan of 16000 x 16000 black and white, the largest picture read at all,
// fits the full-size memory widened to 32 bits a pixel.
TEST_F(PictureFormatsTest, AScanFitsTheFullSizeMemory) {
  const QString path = file(QStringLiteral("scan.png"));
  ASSERT_TRUE(test::WriteText(path, test::hostile::greyPng(16000, 1)));
  const auto asks = imaging_detail::decodeRequest(path, 0, true);
  ASSERT_TRUE(asks) << asks.error().toStdString();
  EXPECT_EQ(asks->fullSizeBytes, heldBytes({16000, 16000}, 1) + heldBytes({16000, 16000}, 32));
  EXPECT_LT(asks->fullSizeBytes, imaging_detail::kFullSizeBytes);
}

// A full-size read waits while the full-size memory is taken by others; a
// thumbnail of the same file does not.
TEST_F(PictureFormatsTest, FullSizeReadsShareAMemoryOfTheirOwn) {
  const QString path = file(QStringLiteral("photo.png"));
  ASSERT_TRUE(test::Quarters(640, 480).save(path));
  auto& memory = imaging_detail::FullSizeMemory();
  auto taken = std::make_unique<imaging_detail::DecodeMemory::Share>(memory, imaging_detail::kFullSizeBytes - (1 << 20));
  EXPECT_TRUE(Imaging::readScaled(path, 64));
  Status loaded = Error{QStringLiteral("not loaded")};
  std::thread load([&] { loaded = Imaging().LoadFile(path); });
  const bool waited = test::RunUntil([&] { return memory.waiting() == 1; });
  taken.reset();
  load.join();  // before any assertion may end the test
  EXPECT_TRUE(waited) << "the full-size read did not wait for its memory";
  EXPECT_TRUE(loaded) << loaded.error().toStdString();
}

}  // namespace
}  // namespace lumaset
