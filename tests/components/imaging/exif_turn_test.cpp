// EXIF data through a turn, read back with libexif: a JPEG's orientation
// becomes 1, its sizes and resolution trade places where the stored grid
// turns, its thumbnail turns with the picture and its maker note stays where
// it was; a PNG or WebP picture with an EXIF orientation is turned as it is
// shown, and shown so.

#include <gtest/gtest.h>

#include <libexif/exif-data.h>
#include <webp/mux.h>

#include <QBuffer>
#include <QColor>
#include <QDir>
#include <QImage>
#include <QTemporaryDir>
#include <QTransform>

#include "components/imaging/imaging.h"
#include "components/imaging/jpeg/jpeg_quarter_turn.h"
#include "components/imaging/png/png_chunks.h"
#include "components/imaging/png/png_quarter_turn.h"
#include "components/imaging/webp/webp_quarter_turn.h"

namespace lumaset::test {
namespace {

QByteArray be(uint32_t value, int size) {
  QByteArray bytes(size, '\0');
  for (int i = size - 1; i >= 0; --i, value >>= 8) bytes[i] = static_cast<char>(value & 0xFF);
  return bytes;
}

QByteArray entry(uint16_t tag, uint16_t type, uint32_t count, const QByteArray& inPlace) {
  return be(tag, 2) + be(type, 2) + be(count, 4) + inPlace + QByteArray(4 - inPlace.size(), '\0');
}

const QByteArray kMakerNote("Maker\x01\x02\x03\x04\x05\x06\x07", 12);

// EXIF data as a camera lays it out (big-endian): IFD0 with the orientation,
// a resolution of 72 across and 300 down and the EXIF pointer; the EXIF
// directory with the pixel sizes (SHORT across, LONG down) and a maker note;
// IFD1 pointing to the JPEG thumbnail at the end.
QByteArray exifBlock(int orientation, const QByteArray& thumbnail) {
  QByteArray b = QByteArray("MM\0*", 4) + be(8, 4);
  const uint32_t values = 8 + 2 + 4 * 12 + 4;  // after IFD0: the resolutions, then the EXIF directory
  const uint32_t exif = values + 16, makerNote = exif + 2 + 3 * 12 + 4, ifd1 = makerNote + 12;
  const uint32_t thumbnailAt = ifd1 + 2 + 3 * 12 + 4;
  b += be(4, 2) + entry(274, 3, 1, be(orientation, 2)) + entry(282, 5, 1, be(values, 4)) +
       entry(283, 5, 1, be(values + 8, 4)) + entry(34665, 4, 1, be(exif, 4)) + be(ifd1, 4);
  b += be(72, 4) + be(1, 4) + be(300, 4) + be(1, 4);
  b += be(3, 2) + entry(37500, 7, 12, be(makerNote, 4)) + entry(40962, 3, 1, be(48, 2)) + entry(40963, 4, 1, be(32, 4)) +
       be(0, 4) + kMakerNote;
  b += be(3, 2) + entry(259, 3, 1, be(6, 2)) + entry(513, 4, 1, be(thumbnailAt, 4)) +
       entry(514, 4, 1, be(static_cast<uint32_t>(thumbnail.size()), 4)) + be(0, 4);
  return b + thumbnail;
}

QByteArray encoded(const QImage& image, const char* format, int quality = 95) {
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  image.save(&buffer, format, quality);
  return bytes;
}

// Quadrants of red, green (right), blue (below) and white.
QImage quadrants(int width, int height) {
  QImage image(width, height, QImage::Format_RGB32);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      const bool right = x >= width / 2, below = y >= height / 2;
      image.setPixel(x, y, right ? (below ? qRgb(255, 255, 255) : qRgb(0, 255, 0)) : below ? qRgb(0, 0, 255) : qRgb(255, 0, 0));
    }
  return image;
}

// The colours at the middle of each quadrant, left to right and top down.
std::vector<QRgb> corners(const QImage& image) {
  std::vector<QRgb> colours;
  for (const auto& [x, y] : {std::pair{1, 1}, {3, 1}, {1, 3}, {3, 3}}) {
    const QColor c = image.pixelColor(image.width() * x / 4, image.height() * y / 4);
    colours.push_back(qRgb(c.red() > 128 ? 255 : 0, c.green() > 128 ? 255 : 0, c.blue() > 128 ? 255 : 0));
  }
  return colours;
}

struct Exif {
  ExifData* data;
  explicit Exif(const QByteArray& tiff) : data(exif_data_new()) {
    const QByteArray block = QByteArray("Exif\0\0", 6) + tiff;
    exif_data_load_data(data, reinterpret_cast<const unsigned char*>(block.constData()), static_cast<unsigned>(block.size()));
  }
  ~Exif() { exif_data_unref(data); }
  QByteArray value(ExifIfd ifd, ExifTag tag) const {
    const ExifEntry* e = exif_content_get_entry(data->ifd[ifd], tag);
    return e ? QByteArray(1, static_cast<char>(e->format)) + QByteArray(reinterpret_cast<const char*>(e->data), e->size) : "none";
  }
};

// The EXIF data of a JPEG's first APP1 segment.
QByteArray jpegExif(const QByteArray& jpeg) {
  for (qsizetype at = 2; at + 4 <= jpeg.size() && jpeg[at] == '\xFF';) {
    const qsizetype length = (static_cast<unsigned char>(jpeg[at + 2]) << 8) | static_cast<unsigned char>(jpeg[at + 3]);
    if (jpeg[at + 1] == '\xE1' && jpeg.mid(at + 4, 6) == QByteArray("Exif\0\0", 6)) return jpeg.mid(at + 10, length - 8);
    at += 2 + length;
  }
  return {};
}

TEST(ExifTurn, JpegThumbnailTurnsSizesAndResolutionFollowTheGridMakerNoteStays) {
  const QByteArray thumbnail = encoded(quadrants(32, 32), "jpeg");
  for (const int orientation : {1, 6}) {
    SCOPED_TRACE(orientation);
    const QByteArray exif = exifBlock(orientation, thumbnail);
    const QByteArray picture = encoded(quadrants(48, 32), "jpeg");
    const QByteArray segment = QByteArray("\xFF\xE1", 2) + be(static_cast<uint32_t>(exif.size() + 8), 2) + "Exif" + QByteArray(2, '\0') + exif;
    const Result<QByteArray> turned = TurnJpegClockwise(picture.left(2) + segment + picture.mid(2));
    ASSERT_TRUE(turned.ok()) << turned.error().toStdString();
    const QByteArray after = jpegExif(*turned);
    const Exif before(exif), read(after);
    EXPECT_EQ(read.value(EXIF_IFD_0, EXIF_TAG_ORIENTATION), QByteArray("\x03\0\x01", 3));
    // Stored upright, the grid turns: across and down trade places; stored
    // sideways, the turn stands it the other way up and they stay.
    const bool swapped = orientation == 1;
    const auto across = swapped ? EXIF_TAG_Y_RESOLUTION : EXIF_TAG_X_RESOLUTION;
    const auto down = swapped ? EXIF_TAG_X_RESOLUTION : EXIF_TAG_Y_RESOLUTION;
    EXPECT_EQ(read.value(EXIF_IFD_0, EXIF_TAG_X_RESOLUTION), before.value(EXIF_IFD_0, across));
    EXPECT_EQ(read.value(EXIF_IFD_0, EXIF_TAG_Y_RESOLUTION), before.value(EXIF_IFD_0, down));
    EXPECT_EQ(read.value(EXIF_IFD_EXIF, EXIF_TAG_PIXEL_X_DIMENSION),
              before.value(EXIF_IFD_EXIF, swapped ? EXIF_TAG_PIXEL_Y_DIMENSION : EXIF_TAG_PIXEL_X_DIMENSION));
    EXPECT_EQ(read.value(EXIF_IFD_EXIF, EXIF_TAG_PIXEL_Y_DIMENSION),
              before.value(EXIF_IFD_EXIF, swapped ? EXIF_TAG_PIXEL_X_DIMENSION : EXIF_TAG_PIXEL_Y_DIMENSION));
    EXPECT_EQ(after.mid(exif.indexOf(kMakerNote), kMakerNote.size()), kMakerNote);
    // The thumbnail shows what the picture shows: turned a quarter, or half
    // way round when it stood sideways.
    ASSERT_GT(read.data->size, 0u);
    const QByteArray smallBytes(reinterpret_cast<const char*>(read.data->data), read.data->size);
    // It takes the place of the old one, which ended the data, and keeps no
    // EXIF segment of its own from its turn.
    EXPECT_EQ(after.size(), exif.size() - thumbnail.size() + smallBytes.size());
    EXPECT_FALSE(smallBytes.contains("Exif"));
    const QImage small = QImage::fromData(smallBytes);
    const QImage big = QImage::fromData(*turned);
    const QTransform turn = QTransform().rotate(orientation == 1 ? 90 : 180);
    EXPECT_EQ(corners(small), corners(quadrants(32, 32).transformed(turn)));
    EXPECT_EQ(corners(big), corners(quadrants(48, 32).transformed(turn)));
  }
}

// The picture of each orientation as a viewer shows it.
QImage shown(const QImage& stored, int orientation) {
  const QTransform quarter = QTransform().rotate(90);
  switch (orientation) {
    case 2: return stored.mirrored(true, false);
    case 3: return stored.transformed(QTransform().rotate(180));
    case 4: return stored.mirrored(false, true);
    case 5: return stored.mirrored(false, true).transformed(quarter);
    case 6: return stored.transformed(quarter);
    case 7: return stored.mirrored(true, false).transformed(quarter);
    case 8: return stored.transformed(QTransform().rotate(270));
    default: return stored;
  }
}

QByteArray orientationExif(int orientation) {
  return QByteArray("MM\0*", 4) + be(8, 4) + be(1, 2) + entry(274, 3, 1, be(orientation, 2)) + be(0, 4);
}

QByteArray withExif(const QByteArray& file, const QByteArray& exif, bool png) {
  if (png) return file.left(33) + PngChunk("eXIf", exif) + file.mid(33);  // after IHDR
  const WebPData data{reinterpret_cast<const uint8_t*>(file.constData()), static_cast<size_t>(file.size())};
  WebPMux* mux = WebPMuxCreate(&data, 1);
  const WebPData chunk{reinterpret_cast<const uint8_t*>(exif.constData()), static_cast<size_t>(exif.size())};
  WebPMuxSetChunk(mux, "EXIF", &chunk, 1);
  WebPData whole{};
  WebPMuxAssemble(mux, &whole);
  QByteArray out(reinterpret_cast<const char*>(whole.bytes), static_cast<qsizetype>(whole.size));
  WebPDataClear(&whole);
  WebPMuxDelete(mux);
  return out;
}

QByteArray exifOf(const QByteArray& file, bool png) {
  if (png) {
    const qsizetype at = file.indexOf("eXIf");
    return at < 0 ? QByteArray() : file.mid(at + 4, QByteArray::fromHex(file.mid(at - 4, 4).toHex()).toHex().toUInt(nullptr, 16));
  }
  const qsizetype at = file.indexOf("EXIF");
  return at < 0 ? QByteArray() : file.mid(at + 8);
}

// Every orientation, in colour and in black and white (eight pixels a
// byte): the turned file holds what a viewer showed, turned clockwise, and
// says it stands upright; Lumaset shows such files as viewers do.
TEST(ExifTurn, PngAndWebpTurnAsShownAndStandUpright) {
  QImage mono = quadrants(13, 6).convertToFormat(QImage::Format_Mono, Qt::ThresholdDither);
  const std::vector<std::tuple<const char*, QImage, bool>> kinds = {
      {"png", quadrants(6, 4), true}, {"1-bit png", mono, true}, {"webp", quadrants(6, 4), false}};
  QTemporaryDir dir;
  for (const auto& [name, stored, png] : kinds) {
    for (int orientation = 1; orientation <= 8; ++orientation) {
      SCOPED_TRACE(testing::Message() << name << ", orientation " << orientation);
      const QByteArray file = withExif(encoded(stored, png ? "png" : "webp", 100), orientationExif(orientation), png);
      const QString path = dir.filePath(png ? "p.png" : "p.webp");
      QFile out(path);
      ASSERT_TRUE(out.open(QIODevice::WriteOnly) && out.write(file) == file.size());
      out.close();
      const Result<QImage> seen = Imaging::ReadAsStored(path);
      ASSERT_TRUE(seen.ok()) << seen.error().toStdString();
      const QImage expected = shown(stored, orientation).convertToFormat(QImage::Format_RGB32);
      EXPECT_EQ(seen->convertToFormat(QImage::Format_RGB32), expected);
      const Result<QByteArray> turned = png ? imaging_detail::turnPngClockwise(file) : imaging_detail::turnWebpClockwise(file);
      ASSERT_TRUE(turned.ok()) << turned.error().toStdString();
      EXPECT_EQ(QImage::fromData(*turned).convertToFormat(QImage::Format_RGB32), expected.transformed(QTransform().rotate(90)));
      EXPECT_EQ(Exif(exifOf(*turned, png)).value(EXIF_IFD_0, EXIF_TAG_ORIENTATION), QByteArray("\x03\0\x01", 3));
    }
  }
}

}  // namespace
}  // namespace lumaset::test
